"""Exceptions of the Python layer, each carrying the library's result code.

The C functions return small codes (Varlo.h): 0 done, 1 no connection or a
motion that ended in an alarm, 2 a failed request or a motion that did not end
within 20 s, 3 an invalid argument. The Robot class turns every code other
than 0 into one of the exceptions below, with a message that says what went
wrong in the terms of the call that failed.
"""
from __future__ import annotations

OK = 0
NO_CONNECTION = 1
ALARM = 1
REQUEST_FAILED = 2
MOTION_TIMEOUT = 2
INVALID_ARGUMENT = 3

# A blocking motion gives up after this many seconds (Varlo.h).
MOTION_LIMIT_S = 20.0
# ConnectVarlo waits about this long for the controller.
CONNECT_LIMIT_S = 5.0


class VarloError(Exception):
    """Base of every Varlo exception.

    ``code`` is the library's result code (None when the failure was found
    without calling the library), ``function`` the C function that gave it.
    """

    def __init__(self, message: str, code: int | None = None, function: str | None = None):
        super().__init__(message)
        self.code = code
        self.function = function


class VarloConnectionError(VarloError, ConnectionError):
    """No controller answered, or the Robot is not connected."""


class VarloAlarmError(VarloError):
    """A motion ended in an alarm, or the controller refused it."""


class VarloTimeoutError(VarloError, TimeoutError):
    """A motion, or a change the controller was asked for, did not finish in time."""


class VarloRequestError(VarloError):
    """The controller did not answer a request, or could not do what it was asked."""


class VarloArgumentError(VarloError, ValueError):
    """An argument that the library refuses (or would refuse): nothing was sent."""


class LibraryNotFoundError(VarloError, OSError):
    """libVarlo could not be found or loaded."""


def invalid(message: str, function: str | None = None) -> VarloArgumentError:
    """The exception for an argument refused before anything was sent."""
    return VarloArgumentError(message, INVALID_ARGUMENT, function)


def call_error(code: int, function: str, what: str, address: str) -> VarloError:
    """The exception for a failed call other than a motion.

    ``what`` names the operation in words ("read the torque parameter").
    """
    if code == NO_CONNECTION:
        return VarloConnectionError("cannot %s: not connected to a controller" % what, code, function)
    if code == REQUEST_FAILED:
        return VarloRequestError("the controller at %s could not %s (no answer, or it refused)" % (address, what),
                                 code, function)
    if code == INVALID_ARGUMENT:
        return VarloArgumentError("cannot %s: %s refused its arguments" % (what, function), code, function)
    return VarloError("cannot %s: %s returned the unknown result %d" % (what, function, code), code, function)


def motion_error(code: int, function: str, what: str, address: str, elapsed: float, alarms: str = "") -> VarloError:
    """The exception for a motion function that did not return 0.

    Code 2 means either that the command was not answered or that the motion
    did not end within 20 s; the time the call took tells them apart.
    """
    if code == ALARM:
        detail = "active alarms: %s" % alarms if alarms else "is the arm enabled and the target within reach?"
        return VarloAlarmError("%s ended in an alarm or was refused (%s)" % (what, detail), code, function)
    if code == MOTION_TIMEOUT and elapsed >= MOTION_LIMIT_S:
        return VarloTimeoutError("%s did not end within %g s" % (what, MOTION_LIMIT_S), code, function)
    if code == REQUEST_FAILED:
        return VarloRequestError("the controller at %s did not answer the %s command" % (address, what),
                                 code, function)
    return call_error(code, function, what, address)


def connect_error(address: str, elapsed: float) -> VarloConnectionError:
    """The exception for ConnectVarlo's 1.

    Without any controller the call waits the full time; a quicker 1 means that
    the controller answered but does not report a robot of 4 or 6 axes.
    """
    if elapsed >= CONNECT_LIMIT_S:
        message = "no controller answered at %s within %g s" % (address, CONNECT_LIMIT_S)
    else:
        message = ("the controller at %s answered but reports no robot of 4 or 6 axes"
                   " (or the connection dropped)" % address)
    return VarloConnectionError(message, NO_CONNECTION, "ConnectVarlo")
