"""Python binding of the Tervane motion libraries, over their flat C interfaces.

    tervane.varnelpci   the motion library (VNL_* functions, its records)
    tervane.qoradrv     the card-access library (QORA_* and RELM_LIO_* functions)

Each module offers every function of its library under its C name (and, for
the motion library, under its older name too), with the argument and result
types of the header; such a call returns what the C function returns. The
module's `checked` object offers the same functions but raises MotionError
when the call fails.
"""

from ._errors import MotionError

__all__ = ["MotionError"]
__version__ = "1.0.0"
