"""Finding and binding a shared library of the stack.

A library is looked for, in this order: next to this package's modules;
in the library folder of the installation the package belongs to (written
into _install.py at install time); then by its soname through the system's
normal search (LD_LIBRARY_PATH, the linker cache, the standard folders).
"""
import ctypes
import os

_HERE = os.path.dirname(os.path.abspath(__file__))


def _candidates(soname):
    yield os.path.join(_HERE, soname)
    try:
        from . import _install  # written by `cmake --install`
        yield os.path.normpath(os.path.join(_HERE, _install.LIBDIR, soname))
    except ImportError:
        pass
    yield soname


def load(soname):
    """The library `soname` (e.g. "libvarnelpci.so.1"), loaded with its symbols global.

    RTLD_GLOBAL so that both libraries of a process, and the stand-ins they
    load, share one card table and one clock.
    """
    problems = []
    for path in _candidates(soname):
        if os.sep in path and not os.path.exists(path):
            continue
        try:
            return ctypes.CDLL(path, mode=ctypes.RTLD_GLOBAL)
        except OSError as e:
            problems.append(str(e))
    raise OSError("cannot load %s: %s" % (soname, "; ".join(problems) or "not found"))


_SCALARS = {
    "void": None,
    "char": ctypes.c_char,
    "int": ctypes.c_int,
    "float": ctypes.c_float,
    "double": ctypes.c_double,
    "int8": ctypes.c_int8,
    "uint8": ctypes.c_uint8,
    "int16": ctypes.c_int16,
    "uint16": ctypes.c_uint16,
    "int32": ctypes.c_int32,
    "uint32": ctypes.c_uint32,
}


class _NullableRoutine:
    """A routine parameter that also takes None (a null pointer: no routine)."""

    def __init__(self, routine_type):
        self.routine_type = routine_type

    def from_param(self, value):
        return None if value is None else self.routine_type.from_param(value)


def resolve(short, named):
    """The ctypes type of a short type name of the signature tables.

    `named` maps the library's own type names (records, routine types).
    """
    stars = len(short) - len(short.rstrip("*"))
    base = short.rstrip("*")
    if stars and base == "void":
        t = ctypes.c_void_p
        stars -= 1
    elif base in _SCALARS:
        t = _SCALARS[base]
    elif base in named:
        t = named[base]
        if not stars and issubclass(t, ctypes._CFuncPtr):
            return _NullableRoutine(t)
    else:
        raise KeyError("no ctypes type for " + short)
    for _ in range(stars):
        t = ctypes.POINTER(t)
    return t


def bind(library, functions, aliases, named):
    """Sets argtypes and restype of every function and its older names.

    Returns {name: foreign function} for the header names and the older ones.
    """
    bound = {}
    signatures = {}
    for name, result, parameters in functions:
        signatures[name] = (resolve(result, named), [resolve(p, named) for p in parameters])
    for name, (restype, argtypes) in signatures.items():
        f = getattr(library, name)
        f.restype, f.argtypes = restype, argtypes
        bound[name] = f
    for old, target in aliases.items():
        restype, argtypes = signatures[target]
        f = getattr(library, old)
        f.restype, f.argtypes = restype, argtypes
        bound[old] = f
    return bound


class Checked:
    """The library's functions, raising MotionError where `failed` says a result is one."""

    def __init__(self, functions, failed, meaning):
        self._functions = functions
        self._failed = failed
        self._meaning = meaning

    def __getattr__(self, name):
        try:
            f = self._functions[name]
        except KeyError:
            raise AttributeError(name) from None
        failed, meaning = self._failed, self._meaning

        def call(*args):
            result = f(*args)
            if failed(name, result):
                from ._errors import MotionError
                raise MotionError(name, int(result), meaning(name, int(result)))
            return result

        call.__name__ = name
        setattr(self, name, call)
        return call

    def __dir__(self):
        return sorted(self._functions)
