"""Finding and loading libVarlo, and the prototypes of its 61 C functions.

``load_library()`` gives a ``Library``: the loaded shared library with the
argument and result types of every function of Varlo.h set, so ctypes checks
what a caller passes. Its attributes are the C functions themselves::

    lib = varlo.load_library()
    joints = (ctypes.c_float * 6)()
    lib.GetJointCoordinate(joints)

The library can never forget a callback once registered, so the callback
helpers of ``Library`` keep each ctypes function object alive for as long as
the process runs; a callback that Python had collected would crash the
process the next time the library called it.
"""
from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
import threading
from ctypes import POINTER, c_bool, c_char_p, c_float, c_int32, c_uint32, c_void_p
from typing import Callable

from ._records import AlarmRecord, ExchangeRecord, GPIOAI, GPIOAO, IO, PayloadRecord, RunCmd, VersionRecord
from .errors import LibraryNotFoundError, VarloError

# C type of a connection callback: (bool isConnected, void *userData).
ConnectStateFunction = ctypes.CFUNCTYPE(None, c_bool, c_void_p)

# C type of a state callback: (VarloExchangeRecord *record, void *userData).
ExchangeFunction = ctypes.CFUNCTYPE(None, POINTER(ExchangeRecord), c_void_p)

_floats = POINTER(c_float)
_ints = POINTER(c_int32)
_calibration = [_floats, _floats, c_int32]
_calibration_to_py = [_floats, _floats, _floats, _floats, c_int32]

# Every function of Varlo.h with its argument types; each returns int32_t.
PROTOTYPES = {
    # Connection
    "ConnectVarlo": [c_char_p],
    "DisconnectVarlo": [],
    "ConnectStateCallback": [ConnectStateFunction, c_void_p],
    # Motion, jog and speed
    "MovJ": [POINTER(RunCmd), c_bool],
    "MovL": [POINTER(RunCmd), c_bool],
    "JointMovJ": [_floats, c_bool],
    "RelMovJ": [_floats, c_bool],
    "RelMovL": [_floats, c_bool],
    "JointTeachStart": [c_int32, c_bool],
    "CoorTeachStart": [c_int32, c_bool],
    "TeachStop": [],
    "SetRapidRate": [c_int32],
    "GetRapidRate": [_ints],
    # State and IO
    "ExchangeCallback": [ExchangeFunction, c_void_p],
    "GetExchange": [POINTER(ExchangeRecord)],
    "GetCartesianCoordinate": [_floats],
    "GetJointCoordinate": [_floats],
    "GetRdnCoordinate": [_ints],
    "GetArmOrientation": [_ints],
    "GetDI": [POINTER(IO)],
    "GetDO": [POINTER(IO)],
    "GetControlMode": [_ints],
    "GetPowerMode": [POINTER(c_bool)],
    "SetDO": [POINTER(IO)],
    "ClearAlarms": [],
    # Frames, calibration, kinematics, payload, force sensor, analog IO
    "SetCoordinateUserIndex": [c_int32],
    "GetCoordinateUserIndex": [_ints],
    "SetCoordinateToolIndex": [c_int32],
    "GetCoordinateToolIndex": [_ints],
    "SetCoordinateUserParams": [_floats, c_int32],
    "GetCoordinateUserParams": [_floats, c_int32],
    "SetCoordinateToolParams": [_floats, c_int32],
    "GetCoordinateToolParams": [_floats, c_int32],
    "CalibrateCoordinateUser": _calibration,
    "CalibrateCoordinateToolPosition": _calibration,
    "CalibrateCoordinateToolPose": _calibration,
    "CalibrateCoordinateUserToPy": _calibration_to_py,
    "CalibrateCoordinateToolPositionToPy": _calibration_to_py,
    "CalibrateCoordinateToolPoseToPy": _calibration_to_py,
    "PositiveSolution": [_floats, c_int32, c_int32, _floats],
    "InverseSolution": [_floats, _ints, c_int32, c_int32, _floats],
    "SetPayLoad": [POINTER(PayloadRecord)],
    "GetPayLoad": [POINTER(PayloadRecord)],
    "SetForceSensor": [c_bool],
    "GetForceSensor": [POINTER(c_bool)],
    "GetForceOrgParams": [_floats],
    "SetForceHome": [],
    "SetTorqueParams": [c_float],
    "GetTorqueParams": [_floats],
    "GetAI": [POINTER(GPIOAI)],
    "GetAO": [POINTER(GPIOAO)],
    "SetAO": [POINTER(GPIOAO)],
    "SetTeachTrajectory": [c_bool],
    # Safety, alarms and version
    "GetVarloVersion": [POINTER(VersionRecord)],
    "SetControlMode": [_ints],
    "SetPowerMode": [c_bool],
    "GetAlarmsParameter": [c_uint32, c_int32, POINTER(AlarmRecord), c_bool],
    "SetCollisionMode": [c_bool, c_int32],
    "GetCollisionMode": [POINTER(c_bool), _ints],
    "ResetCollision": [],
    "EmergencyStop": [],
}

_NAMES = ("libVarlo.so.1", "libVarlo.so") if sys.platform != "win32" else ("Varlo.dll",)
_PACKAGE_DIR = os.path.dirname(os.path.abspath(__file__))


def _installed_library_dirs() -> list:
    """The library folder written at installation, then the usual system folders."""
    dirs = []
    try:
        from ._install import LIBRARY_DIR  # written by `cmake --install`
        dirs.append(LIBRARY_DIR)
    except ImportError:
        pass
    prefix = os.path.dirname(os.path.dirname(os.path.dirname(_PACKAGE_DIR)))  # PREFIX/lib/pythonX/site/varlo
    multiarch = getattr(sys.implementation, "_multiarch", None)
    for root in (prefix, "/usr/local", "/usr"):
        dirs += [os.path.join(root, "lib")] + ([os.path.join(root, "lib", multiarch)] if multiarch else [])
        dirs.append(os.path.join(root, "lib64"))
    return dirs


def _build_tree_dirs() -> list:
    """build/ of the source tree this package lies in (python/varlo), if it is one."""
    source = os.path.dirname(os.path.dirname(_PACKAGE_DIR))
    if not os.path.isfile(os.path.join(source, "include", "Varlo.h")):
        return []
    build = os.environ.get("VARLO_BUILD_DIR", "build")
    return [os.path.join(source, build)]


def find_library(path: str | None = None) -> str:
    """The file of libVarlo to load.

    In this order: ``path``; the environment variable VARLO_LIBRARY; the
    package's own folder; the library folder of the installation and the
    system's (also through ``ctypes.util.find_library('Varlo')``); the build
    folder of the source tree the package lies in. A ``path`` or VARLO_LIBRARY
    that names no file is an error, not a reason to look elsewhere.
    """
    for explicit, origin in ((path, "the path given"), (os.environ.get("VARLO_LIBRARY"), "VARLO_LIBRARY")):
        if explicit:
            if not os.path.isfile(explicit):
                raise LibraryNotFoundError("libVarlo not found: %s names %r, which is not a file" % (origin, explicit))
            return os.path.abspath(explicit)
    looked = []
    for folder in [_PACKAGE_DIR] + _installed_library_dirs() + [None] + _build_tree_dirs():
        if folder is None:
            found = ctypes.util.find_library("Varlo")
            if found:
                return found
            looked.append("the system's library search")
            continue
        for name in _NAMES:
            candidate = os.path.join(folder, name)
            if os.path.isfile(candidate):
                return candidate
        looked.append(folder)
    raise LibraryNotFoundError("libVarlo not found; looked in %s. Set VARLO_LIBRARY to the file, or pass its path."
                               % ", ".join(dict.fromkeys(looked)))


class Library:
    """The loaded libVarlo with typed functions; one per library file and process.

    The library keeps one connection and one live state for the whole process,
    so every ``Robot`` on the same file shares this object.
    """

    def __init__(self, path: str):
        """Loads the library file ``path``; LibraryNotFoundError when it cannot."""
        # The library file.
        self.path = path
        try:
            self._dll = ctypes.CDLL(path)
        except OSError as error:
            raise LibraryNotFoundError("cannot load libVarlo from %s: %s" % (path, error)) from None
        for name, argtypes in PROTOTYPES.items():
            function = getattr(self._dll, name)
            function.argtypes = argtypes
            function.restype = c_int32
            setattr(self, name, function)
        self._kept = []           # callbacks registered with the library: alive for good
        self._dispatching = False
        # Exceptions raised by handlers, for the caller to re-raise.
        self.pending_errors = []
        # State callbacks so far: tells when a new exchange reply came in.
        self.state_notifications = 0
        # The thread that connected first; the library must be called from it.
        self.thread = None
        # The Robot connected through this library, if any.
        self.active_robot = None

    def connect_state_callback(self, function: Callable[[bool, object], None], user_data: int | None = None):
        """Registers ``function(is_connected, user_data)`` with ConnectStateCallback.

        Returns the ctypes function object, which stays alive for as long as
        the process runs (the library cannot forget it).
        """
        wrapper = ConnectStateFunction(function)
        self._register(self.ConnectStateCallback, wrapper, user_data)
        return wrapper

    def exchange_callback(self, function: Callable, user_data: int | None = None):
        """Registers ``function(record_pointer, user_data)`` with ExchangeCallback.

        The record behind the pointer is valid only during the call. Returns
        the ctypes function object, kept alive for as long as the process runs.
        """
        wrapper = ExchangeFunction(function)
        self._register(self.ExchangeCallback, wrapper, user_data)
        return wrapper

    def _register(self, register, wrapper, user_data):
        result = register(wrapper, user_data)
        if result != 0:
            raise VarloError("%s refused the callback (result %d)" % (register.__name__, result), result,
                             register.__name__)
        self._kept.append(wrapper)

    def install_dispatchers(self) -> None:
        """Registers (once) the callbacks that pass the library's notifications
        to the connected Robot.

        One C callback of each kind serves every Robot of the process, so
        creating Robots never adds registrations that could not be removed.
        """
        if self._dispatching:
            return
        self._dispatching = True
        self.connect_state_callback(lambda connected, _: self._dispatch("_connection_changed", bool(connected)))
        self.exchange_callback(lambda record, _: self._dispatch_state(record))

    def _dispatch_state(self, record) -> None:
        self.state_notifications += 1
        self._dispatch("_state_changed", record)

    def _dispatch(self, method: str, value) -> None:
        # An exception must not unwind into the C library; it is kept and
        # raised by the Robot call during which the handler ran.
        robot = self.active_robot
        if robot is None:
            return
        try:
            getattr(robot, method)(value)
        except BaseException as error:  # noqa: B902 - handed to the caller
            self.pending_errors.append(error)

    def take_pending_error(self):
        """The first exception a handler raised since the last call, if any."""
        errors, self.pending_errors = self.pending_errors, []
        return errors[0] if errors else None

    def check_thread(self) -> None:
        """Raises RuntimeError when called from another thread than the one that connected."""
        current = threading.get_ident()
        if self.thread is None:
            self.thread = current
        elif self.thread != current:
            raise RuntimeError("libVarlo must be called from one thread: the one that connected first")


_libraries = {}


def load_library(path: str | None = None) -> Library:
    """The ``Library`` for ``path`` (or the one ``find_library`` finds), loaded once per file."""
    found = find_library(path)
    key = os.path.realpath(found) if os.path.isabs(found) else found
    if key not in _libraries:
        # The library's own diagnostics (Qt debug output) stay quiet unless
        # the user asked for them.
        os.environ.setdefault("QT_LOGGING_RULES", "default.debug=false")
        _libraries[key] = Library(found)
    return _libraries[key]
