"""The host records of Varlo.h as ctypes structures.

Each structure has the exact layout of its C record. ``check_layouts()`` runs
at import and compares every size and the key offsets with the figures that
Varlo.h asserts at compile time, so a package that does not match the library
fails on import instead of corrupting memory later.
"""
from __future__ import annotations

import ctypes
from ctypes import c_bool, c_char, c_float, c_int32, c_uint8, c_uint16, c_uint32


class RunCmd(ctypes.Structure):
    """Cartesian target of MovJ and MovL (VarloRunCmd, 52 bytes)."""
    _fields_ = [
        ("x", c_float), ("y", c_float), ("z", c_float),
        ("a", c_float), ("b", c_float), ("c", c_float),
        ("tool", c_int32), ("user", c_int32),
        ("r", c_int32), ("d", c_int32), ("n", c_int32), ("cfg", c_int32),
        ("armOrientation", c_int32),
    ]


class IO(ctypes.Structure):
    """64 digital channels, channel 1 in value[0] (VarloIO, 65 bytes)."""
    _fields_ = [("enable", c_bool), ("value", c_bool * 64)]


class ExchangeRecord(ctypes.Structure):
    """The robot's live state in one packed record (VarloExchangeRecord, 2003 bytes)."""
    _pack_ = 1
    _fields_ = [
        ("isEnabled", c_bool),
        ("isPower", c_bool),
        ("isCollision", c_bool),
        ("isJog", c_bool),
        ("isAuto", c_bool),
        ("toolCoordinate", c_int32),
        ("userCoordinate", c_int32),
        ("jointCoordinate", c_float * 6),
        ("cartesianCoordinate", c_float * 6),
        ("alarms", (c_int32 * 64) * 7),
        ("rdnCoordinate", c_int32 * 4),
        ("armOrientation", c_int32),
        ("DO", IO),
        ("DI", IO),
    ]


class PayloadRecord(ctypes.Structure):
    """Centre of mass and mass of the payload (VarloPayloadRecord, 20 bytes)."""
    _fields_ = [
        ("x", c_float), ("y", c_float), ("z", c_float),
        ("loadValue", c_float),
        ("reserved", c_uint8 * 4),
    ]


class GPIOAI(ctypes.Structure):
    """Modes of the cabinet's two analog inputs (VarloGPIOAI, 8 bytes)."""
    _fields_ = [("mode1", c_int32), ("mode2", c_int32)]


class AnalogChannel(ctypes.Structure):
    """One analog channel: mode and value as the controller codes them (8 bytes)."""
    _fields_ = [("mode", c_int32), ("value", c_int32)]


class GPIOAO(ctypes.Structure):
    """The cabinet's two analog outputs, channel 1 first (VarloGPIOAO, 16 bytes)."""
    _fields_ = [("channel", AnalogChannel * 2)]


class VersionRecord(ctypes.Structure):
    """Version texts of the library and the controller (VarloVersionRecord, 100 bytes)."""
    _fields_ = [
        ("library", c_char * 25),
        ("control", c_char * 25),
        ("algs", c_char * 25),
        ("system", c_char * 25),
    ]


class AlarmRecord(ctypes.Structure):
    """One alarm of a catalogue with its UTF-16 texts (VarloAlarmRecord, 1544 bytes)."""
    _fields_ = [
        ("id", c_uint32),
        ("level", c_int32),
        ("description", c_uint16 * 256),
        ("cause", c_uint16 * 256),
        ("solution", c_uint16 * 256),
    ]


# Sizes and offsets as Varlo.h asserts them: record -> (size, {field: offset}).
LAYOUTS = {
    RunCmd: (52, {"x": 0, "c": 20, "tool": 24, "user": 28, "r": 32, "d": 36, "n": 40,
                  "cfg": 44, "armOrientation": 48}),
    IO: (65, {"enable": 0, "value": 1}),
    ExchangeRecord: (2003, {"isEnabled": 0, "isPower": 1, "isCollision": 2, "isJog": 3, "isAuto": 4,
                            "toolCoordinate": 5, "userCoordinate": 9, "jointCoordinate": 13,
                            "cartesianCoordinate": 37, "alarms": 61, "rdnCoordinate": 1853,
                            "armOrientation": 1869, "DO": 1873, "DI": 1938}),
    PayloadRecord: (20, {"loadValue": 12, "reserved": 16}),
    GPIOAI: (8, {"mode2": 4}),
    AnalogChannel: (8, {"value": 4}),
    GPIOAO: (16, {}),
    VersionRecord: (100, {"control": 25, "algs": 50, "system": 75}),
    AlarmRecord: (1544, {"level": 4, "description": 8, "cause": 520, "solution": 1032}),
}


def check_layouts() -> None:
    """Raises ImportError when a record differs from the layout Varlo.h asserts."""
    problems = []
    if ctypes.sizeof(c_bool) != 1 or ctypes.sizeof(c_float) != 4:
        problems.append("bool must be one byte and float four bytes")
    for record, (size, offsets) in LAYOUTS.items():
        if ctypes.sizeof(record) != size:
            problems.append("%s is %d bytes, Varlo.h says %d" % (record.__name__, ctypes.sizeof(record), size))
        for field, offset in offsets.items():
            actual = getattr(record, field).offset
            if actual != offset:
                problems.append("%s.%s at %d, Varlo.h says %d" % (record.__name__, field, actual, offset))
    if problems:
        raise ImportError("varlo: the records do not match Varlo.h: " + "; ".join(problems))


check_layouts()
