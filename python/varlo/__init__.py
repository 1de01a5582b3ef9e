"""Varlo for Python: drive a robot arm's controller through libVarlo.

    import varlo
    with varlo.Robot("127.0.0.1") as robot:      # VarloSim on this computer
        robot.movj(x=300, y=0, z=400, a=180, b=0, c=0)

``Robot`` is the Pythonic layer (see its module, varlo.robot). Underneath,
``load_library()`` gives every C function of Varlo.h with its ctypes types,
and the host records are ctypes structures (``RunCmd``, ``IO``,
``ExchangeRecord``, ...) whose layout is checked against Varlo.h at import.
Needs only libVarlo itself: no compiler.
"""
from ._library import (ConnectStateFunction, ExchangeFunction, Library, PROTOTYPES, find_library,
                       load_library)
from ._records import (GPIOAI, GPIOAO, IO, AlarmRecord, AnalogChannel, ExchangeRecord, PayloadRecord, RunCmd,
                       VersionRecord)
from .errors import (LibraryNotFoundError, VarloAlarmError, VarloArgumentError, VarloConnectionError, VarloError,
                     VarloRequestError, VarloTimeoutError)
from .robot import Robot
from .state import Alarm, AlarmInfo, ControlMode, Payload, Pose, State, Version

__version__ = "1.2.0"

__all__ = [
    "Robot", "State", "Pose", "Alarm", "AlarmInfo", "ControlMode", "Payload", "Version",
    "VarloError", "VarloConnectionError", "VarloAlarmError", "VarloTimeoutError", "VarloRequestError",
    "VarloArgumentError", "LibraryNotFoundError",
    "Library", "load_library", "find_library", "PROTOTYPES", "ConnectStateFunction", "ExchangeFunction",
    "RunCmd", "IO", "ExchangeRecord", "PayloadRecord", "GPIOAI", "AnalogChannel", "GPIOAO", "VersionRecord",
    "AlarmRecord",
]
