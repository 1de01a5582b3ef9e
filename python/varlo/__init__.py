"""Varlo for Python: drive robot arm controllers through libVarlo.

    import varlo
    with varlo.Robot("127.0.0.1") as robot:      # VarloSim on this computer
        robot.enable()                           # the arm moves only once enabled
        robot.movj(x=300, y=0, z=400, a=180, b=0, c=0)

``Robot`` (varlo.robot) drives one controller through its own connection;
a program makes one Robot per controller. It runs on the compiled module
varlo._varlo, built on libVarlo's C++ interface.

Underneath, and without the compiled module, ``load_library()`` gives the 61
C functions of Varlo.h through ctypes, with the host records as ctypes
structures (``RunCmd``, ``IO``, ``ExchangeRecord``, ...) whose layout is
checked against Varlo.h at import. That layer is a fallback with the C
functions' limits: one controller per process, no Ctrl-C during their waits,
no scripts, documents or teach points; ``Robot`` does not use it.

Numbers for people, as in the command line ``varlo``: ``Robot``'s axes and
joints are 1 to 6 (1 to 4 on a 4-axis arm), its IO channels 1 to 64, frames
0 to 9; lists of joints start with joint 1. The C functions of
``load_library()`` keep Varlo.h's numbering from 0: axes 0 to 5, and an IO
record's ``value[0]`` is channel 1. The control mode is DISABLED, ENABLED or DRAG (``ControlMode``), the
command line's "disabled", "enabled", "drag".

``read_recording(path)`` reads back a file written by ``varlo record``: the
live state, one row per state exchange (pandas optional: ``to_pandas=True``).
"""
from ._library import (ConnectStateFunction, ExchangeFunction, Library, PROTOTYPES, find_library,
                       load_library)
from ._records import (GPIOAI, GPIOAO, IO, AlarmRecord, AnalogChannel, ExchangeRecord, PayloadRecord, RunCmd,
                       VersionRecord)
from .errors import (LibraryNotFoundError, VarloAlarmError, VarloArgumentError, VarloConnectionError, VarloError,
                     VarloNotEnabledError, VarloRequestError, VarloTimeoutError)
from .recording import read_recording, recording_to_dataframe
from .robot import Robot
from .state import (Alarm, AlarmInfo, ControlMode, Frame, Pallet, Payload, Pose, ScriptEvent, ScriptState, State,
                    TeachPoint, Version)

__version__ = "1.2.0"

__all__ = [
    "Robot", "State", "Pose", "Alarm", "AlarmInfo", "ControlMode", "Payload", "Version", "Frame", "TeachPoint",
    "Pallet", "ScriptState", "ScriptEvent", "read_recording", "recording_to_dataframe",
    "VarloError", "VarloConnectionError", "VarloAlarmError", "VarloNotEnabledError", "VarloTimeoutError",
    "VarloRequestError", "VarloArgumentError", "LibraryNotFoundError",
    "Library", "load_library", "find_library", "PROTOTYPES", "ConnectStateFunction", "ExchangeFunction",
    "RunCmd", "IO", "ExchangeRecord", "PayloadRecord", "GPIOAI", "AnalogChannel", "GPIOAO", "VersionRecord",
    "AlarmRecord",
]
