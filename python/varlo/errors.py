"""Exceptions of the Python layer, each carrying the library's result code.

The codes are those of the C functions (Varlo.h): 1 no connection or a motion
that ended in an alarm, 2 a failed request or a motion that did not end in
time, 3 an invalid argument. Every exception's message says what went wrong
in the terms of the call that failed.
"""
from __future__ import annotations

# Done.
OK = 0
# No controller answered, or the Robot is not connected.
NO_CONNECTION = 1
# A motion ended in an alarm or was refused.
ALARM = 1
# The controller request failed.
REQUEST_FAILED = 2
# A blocking motion did not end in time.
MOTION_TIMEOUT = 2
# An argument was refused; nothing was sent.
INVALID_ARGUMENT = 3

# A blocking motion gives up after this many seconds unless given a timeout.
MOTION_LIMIT_S = 20.0
# ConnectVarlo waits about this long for the controller.
CONNECT_LIMIT_S = 5.0


class VarloError(Exception):
    """Base of every Varlo exception.

    ``code`` is the library's result code (None when the failure was found
    without calling the library), ``function`` the C function that gave it.
    """

    def __init__(self, message: str, code: int | None = None, function: str | None = None):
        """The exception with its message, result code and C function."""
        super().__init__(message)
        # The library's result code, None when the library was not called.
        self.code = code
        # The C function that gave the code, or None.
        self.function = function


class VarloConnectionError(VarloError, ConnectionError):
    """No controller answered, or the Robot is not connected."""


class VarloAlarmError(VarloError):
    """A motion ended in an alarm, or the controller refused it."""


class VarloNotEnabledError(VarloAlarmError):
    """A motion or jog was refused because the arm is not enabled: call
    ``Robot.enable()`` first."""


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


# How a blocking motion of the compiled core ended: it arrived.
ARRIVED = 0
# It ended in an alarm.
ENDED_IN_ALARM = 1
# It did not end within its time limit.
TIMED_OUT = 2
# Ctrl-C (or another interruption) stopped it.
INTERRUPTED = 3
# The connection was lost while it ran.
CONNECTION_LOST = 4
# The controller did not answer the motion command.
NOT_ANSWERED = 5


def not_enabled(what: str, address: str) -> VarloNotEnabledError:
    """The exception for a motion refused because the arm is disabled."""
    return VarloNotEnabledError("%s refused: the arm at %s is not enabled; call robot.enable() first" % (what, address),
                                ALARM)


def motion_error(outcome: int, what: str, address: str, limit: float, alarms: str = "") -> VarloError:
    """The exception for a blocking motion that did not arrive.

    ``what`` names the motion ("MovJ to Pose(...)"), ``limit`` the seconds it
    was given, ``alarms`` the active alarms in words.
    """
    if outcome == ENDED_IN_ALARM:
        detail = "active alarms: %s" % alarms if alarms else "is the target within reach? did another program stop the arm?"
        return VarloAlarmError("%s ended in an alarm or was refused (%s)" % (what, detail), ALARM)
    if outcome == TIMED_OUT:
        return VarloTimeoutError("%s did not end within %g s (a longer move needs timeout=)" % (what, limit),
                                 MOTION_TIMEOUT)
    if outcome == CONNECTION_LOST:
        return VarloConnectionError("the connection to the controller at %s was lost during %s: the arm's state is "
                                    "unknown" % (address, what), NO_CONNECTION)
    if outcome == NOT_ANSWERED:
        return VarloRequestError("the controller at %s did not answer the %s command" % (address, what),
                                 REQUEST_FAILED)
    return VarloError("%s was stopped before it arrived (stop() was called)" % what, None)


def connect_error(address: str, elapsed: float, limit: float = CONNECT_LIMIT_S) -> VarloConnectionError:
    """The exception for a connection that failed after ``elapsed`` of ``limit`` seconds.

    Without any controller the wait takes the full time; a quicker failure
    means that the controller answered but does not report a robot of 4 or 6
    axes.
    """
    if elapsed >= limit - 0.05:
        message = "no controller answered at %s within %g s" % (address, limit)
    else:
        message = ("the controller at %s answered but reports no robot of 4 or 6 axes"
                   " (or the connection dropped)" % address)
    return VarloConnectionError(message, NO_CONNECTION, "ConnectVarlo")
