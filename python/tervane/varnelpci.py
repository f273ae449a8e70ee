"""The motion library libvarnelpci.so.1 through ctypes.

Records are ctypes.Structure classes laid out as in varnelpci.h. Every
function of the header is an attribute of this module under its name, and
every older name the library exports too (VNL_set_fspd beside
VNL_SetFeedSpeed); such a call returns the C result: 0 or a count or index
on success, a negative code (VNL_ERR_*) on failure.

`checked` holds the same functions but raises MotionError for a negative
result of a function whose result is a code or a value (int32_t or double):

    from tervane import varnelpci as vnl
    vnl.VNL_EnableSimulation()
    vnl.checked.VNL_InitSystem(1, vnl.CardConfig(2, 0, 0, 0), 1)
    vnl.checked.VNL_Line(10, 5, 0, 0, 0, 0, 0)

Records may be passed by value where the C function takes a pointer to one
(ctypes passes them by reference); outputs go through ctypes.byref().
"""
import ctypes

from . import _loader
from ._varnelpci_signatures import ALIASES, CODES, FUNCTIONS


class CardConfig(ctypes.Structure):
    _fields_ = [
        ("wCardType", ctypes.c_int16),  # 2 = QORA210, 3 = QORA310
        ("wParam1", ctypes.c_int16),
        ("wParam2", ctypes.c_int16),
        ("wReserved", ctypes.c_int16),
    ]


class HOME_CONFIG(ctypes.Structure):
    _fields_ = [
        ("wType", ctypes.c_int16),
        ("wPhase0Dir", ctypes.c_int16),
        ("wPhase1Dir", ctypes.c_int16),
        ("wSensorMode", ctypes.c_int16),
        ("dfHomeOffset", ctypes.c_double),
    ]


class ENCODER_CONFIG(ctypes.Structure):
    _fields_ = [
        ("wType", ctypes.c_int16),
        ("wAInverse", ctypes.c_int16),
        ("wBInverse", ctypes.c_int16),
        ("wCInverse", ctypes.c_int16),
        ("wABSwap", ctypes.c_int16),
        ("wReserved", ctypes.c_int16 * 3),
    ]


class MACHINE_PARAM(ctypes.Structure):
    _fields_ = [
        ("wDirReverse", ctypes.c_int16),
        ("wRPM", ctypes.c_uint16),
        ("dwPPR", ctypes.c_uint32),
        ("dfPitch", ctypes.c_double),
        ("dfGearRatio", ctypes.c_double),
        ("dfHighLimit", ctypes.c_double),
        ("dfLowLimit", ctypes.c_double),
        ("dfHighLimitOffset", ctypes.c_double),
        ("dfLowLimitOffset", ctypes.c_double),
        ("wPulseMode", ctypes.c_int16),
        ("wPulseWidth", ctypes.c_int16),
        ("wCommandMode", ctypes.c_int16),
        ("HomeConfig", HOME_CONFIG),
        ("EncoderConfig", ENCODER_CONFIG),
        ("wOverTravelUpSensorMode", ctypes.c_int16),
        ("wOverTravelDownSensorMode", ctypes.c_int16),
    ]


class COMP_PARAM(ctypes.Structure):
    _fields_ = [
        ("dwInterval", ctypes.c_int32),
        ("wZeroIndex", ctypes.c_int16),
        ("wPositive", ctypes.c_int16 * 256),
        ("wNegative", ctypes.c_int16 * 256),
    ]


class CurrentCommandInfo(ctypes.Structure):
    _fields_ = [
        ("nKind", ctypes.c_int32),
        ("nIndex", ctypes.c_int32),
        ("dfSpeed", ctypes.c_double),
        ("dfTarget", ctypes.c_double * 6),
    ]


class MotionCommand(ctypes.Structure):
    _fields_ = [
        ("dwCode", ctypes.c_uint32),
        ("dwReserved", ctypes.c_uint32),
        ("dfSpeed", ctypes.c_double),
        ("dwIndex", ctypes.c_uint32),
        ("dwCoordMode", ctypes.c_uint32),
        ("dfTarget", ctypes.c_double * 6),
        ("dfCentre", ctypes.c_double * 3),
        ("dfReference", ctypes.c_double * 3),
        ("nDirection", ctypes.c_int32),
        ("dwPlane", ctypes.c_uint32),
    ]


RECORDS = (CardConfig, HOME_CONFIG, ENCODER_CONFIG, MACHINE_PARAM, COMP_PARAM,
           CurrentCommandInfo, MotionCommand)

VNL_CycleRoutine = ctypes.CFUNCTYPE(None)
VNL_Routine = ctypes.CFUNCTYPE(None, ctypes.c_void_p)
VNL_PeriodObserver = ctypes.CFUNCTYPE(None, ctypes.c_void_p)

# The return codes, as in the header (VNL_OK, VNL_ERR_NOT_READY, ...).
globals().update({name: value for value, name in CODES.items()})

MEANINGS = {
    0: "done",
    -1: "the library is not initialised (or the card is not ready)",
    -2: "the group's command queue is full",
    -3: "the cycle did not answer in time",
    -4: "the group is not at rest",
    -5: "an argument is out of range",
    -6: "no such group, or the group has no axes",
    -7: "the feed speed is out of range",
    -8: "blending refused",
    -9: "the axis is in closed loop",
    -10: "no homing is running",
    -11: "the group could not be held",
    -12: "the group is not held",
    -13: "the abort did not complete",
    -14: "the call is not allowed in this state, or the card refused it",
}


def meaning(code):
    """What a result code of the motion library says."""
    return MEANINGS.get(code, "unknown result %d" % code)


_TYPES = {t.__name__: t for t in RECORDS}
_TYPES.update(VNL_CycleRoutine=VNL_CycleRoutine, VNL_Routine=VNL_Routine,
              VNL_PeriodObserver=VNL_PeriodObserver)

library = _loader.load("libvarnelpci.so.1")
functions = _loader.bind(library, FUNCTIONS, ALIASES, _TYPES)
globals().update(functions)

_CODED = {name for name, result, _ in FUNCTIONS if result in ("int32", "double")}
_CODED |= {old for old, target in ALIASES.items() if target in _CODED}


def _failed(name, result):
    return name in _CODED and result < 0


checked = _loader.Checked(functions, _failed, lambda name, code: meaning(code))
