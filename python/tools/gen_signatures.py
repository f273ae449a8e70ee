#!/usr/bin/env python3
"""Writes the Python signature tables of the two libraries from their headers.

    gen_signatures.py varnelpci OUT HEADER... -- SOURCE...
    gen_signatures.py qoradrv OUT HEADER...

Every "VNL_API <result> <name>(<parameters>);" (or QORADRV_API) of the
headers is one function; each "VNL_OLD(<old>, <name>)" of the sources is an
older name with the signature of <name>, as tv-bindgen reads them for the
operator program. Types are written as short names that the binding resolves
("int32", "uint16*", "CardConfig*", "QORA_ISR"); the output is plain data.

python/tests checks that the committed tables are what this writes.
"""
import re
import sys

_MACROS = {"varnelpci": "VNL_API", "qoradrv": "QORADRV_API"}

# C spellings of the headers and their short names.
_BASE = {
    "void": "void",
    "char": "char",
    "int": "int",
    "float": "float",
    "double": "double",
    "int8_t": "int8",
    "uint8_t": "uint8",
    "int16_t": "int16",
    "uint16_t": "uint16",
    "int32_t": "int32",
    "uint32_t": "uint32",
}


def strip_comments(text):
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    return re.sub(r"//[^\n]*", "", text)


def short_type(c_type):
    """'const CardConfig* cards' without its name -> 'CardConfig*'."""
    t = c_type.replace("const ", " ").strip()
    stars = t.count("*")
    base = t.replace("*", " ").split()
    if len(base) != 1:
        raise ValueError("cannot read type: " + c_type)
    name = _BASE.get(base[0], base[0])
    return name + "*" * stars


def parameter_type(parameter):
    parameter = parameter.strip()
    if parameter == "void":
        return None
    # The last identifier is the parameter's name.
    m = re.match(r"^(.*?)([A-Za-z_]\w*)$", parameter)
    if not m or not m.group(1).strip():
        raise ValueError("cannot read parameter: " + parameter)
    return short_type(m.group(1))


def header_functions(text, macro):
    text = strip_comments(text)
    pattern = re.compile(macro + r"\s+([^;(]*?)\b(\w+)\s*\(([^)]*)\)\s*;", re.S)
    functions = []
    for result, name, parameters in pattern.findall(text):
        types = [t for t in (parameter_type(p) for p in parameters.split(",")) if t is not None]
        functions.append((name, short_type(result), types))
    return functions


def old_names(texts):
    aliases = []
    for text in texts:
        for old, target in re.findall(r"^\s*VNL_OLD\(\s*(\w+)\s*,\s*(\w+)\s*\)", text, re.M):
            aliases.append((old, target))
    return sorted(set(aliases))


def result_codes(text):
    """The enum of return codes: VNL_OK = 0, VNL_ERR_... = -n."""
    return [(name, int(value)) for name, value in
            re.findall(r"\b(VNL_(?:OK|ERR_\w+))\s*=\s*(-?\d+)", strip_comments(text))]


def render(library, functions, aliases, codes):
    lines = [
        "# The signatures of lib%s, written by python/tools/gen_signatures.py" % library,
        "# from the library's headers. Do not edit: run scripts/python-signatures.",
        "",
        "# (name, result, [parameter types])",
        "FUNCTIONS = [",
    ]
    for name, result, types in functions:
        lines.append("    (%r, %r, %r)," % (name, result, types))
    lines += ["]", "", "# older name -> the function it is another name of", "ALIASES = {"]
    for old, target in aliases:
        lines.append("    %r: %r," % (old, target))
    lines += ["}", ""]
    if codes:
        lines += ["# return code -> its name in the header", "CODES = {"]
        for name, value in codes:
            lines.append("    %d: %r," % (value, name))
        lines += ["}", ""]
    return "\n".join(lines)


def main(argv):
    if len(argv) < 4 or argv[1] not in _MACROS:
        sys.stderr.write(__doc__)
        return 2
    library, out = argv[1], argv[2]
    rest = argv[3:]
    headers, sources = (rest[: rest.index("--")], rest[rest.index("--") + 1:]) if "--" in rest \
        else (rest, [])
    header_texts = [open(h, encoding="utf-8").read() for h in headers]
    functions = []
    for text in header_texts:
        functions += header_functions(text, _MACROS[library])
    known = {f[0] for f in functions}
    aliases = [(old, target) for old, target in
               old_names(open(s, encoding="utf-8").read() for s in sources)
               if old not in known]
    missing = [target for _, target in aliases if target not in known]
    if missing:
        sys.stderr.write("aliases of functions not in the headers: %s\n" % ", ".join(missing))
        return 1
    codes = result_codes(header_texts[0]) if library == "varnelpci" else []
    with open(out, "w", encoding="utf-8") as f:
        f.write(render(library, functions, aliases, codes))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
