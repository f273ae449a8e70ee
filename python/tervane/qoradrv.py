"""The card-access library libqoradrv.so.1 through ctypes.

Every function of qoradrv.h is an attribute of this module under its name
and returns the C result: QORA_DONE (1) or QORA_REFUSED (0). QORA_GetVersion
returns 4 and QORA_GetIntSource whether the source read nonzero; neither
refuses. `checked` holds the same functions but raises MotionError(code 0)
for a refused call.

    from tervane import qoradrv as qd
    qd.checked.QORA210_Init(None, None, None, None, None, None, None, None, None, 0)
    value = ctypes.c_int32()
    qd.checked.QORA_ENC_GetValue(0, ctypes.byref(value), 0)

Interrupt routines are QORA_ISR objects; keep a reference for as long as
the card is open, the library calls them on the card's interrupt thread.
"""
import ctypes

from . import _loader
from ._qoradrv_signatures import ALIASES, FUNCTIONS

QORA_DONE = 1
QORA_REFUSED = 0
QORA_MAX_CARDS = 12
QORA_VERSION_BUFFER = 5
QORA_MAX_FLAGS = 16  # large enough for any module's condition flags

QORA_ISR = ctypes.CFUNCTYPE(None, ctypes.POINTER(ctypes.c_uint8))

library = _loader.load("libqoradrv.so.1")
functions = _loader.bind(library, FUNCTIONS, ALIASES, {"QORA_ISR": QORA_ISR})
globals().update(functions)

# Results that are not done/refused.
_NOT_A_VERDICT = {"QORA_GetVersion", "QORA_GetIntSource"}


def _failed(name, result):
    return name not in _NOT_A_VERDICT and result == QORA_REFUSED


checked = _loader.Checked(
    functions, _failed,
    lambda name, code: "refused: a card index of 12 or more, a card that is not open, "
                       "an argument out of range or a null output pointer")
