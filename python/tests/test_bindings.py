"""The ctypes layer against Varlo.h and the library, and the Python-side checks; no controller needed."""
import ctypes
import math
import os
import re

import pytest

import varlo
from varlo import errors
from varlo._records import LAYOUTS

from conftest import ROOT

with open(os.path.join(ROOT, "include", "Varlo.h")) as header_file:
    HEADER = header_file.read()


def test_records_have_the_layout_the_header_asserts():
    records = {"Varlo" + record.__name__: record for record in LAYOUTS}
    assert set(re.findall(r"typedef struct (Varlo\w+)", HEADER)) == set(records)
    sizes = re.findall(r"sizeof\((Varlo\w+)\) == (\d+)", HEADER)
    offsets = re.findall(r"offsetof\((Varlo\w+), (\w+)\) == (\d+)", HEADER)
    assert len(sizes) == 9 and len(offsets) >= 30
    for name, size in sizes:
        assert ctypes.sizeof(records[name]) == int(size), name
    for name, field, offset in offsets:
        assert getattr(records[name], field).offset == int(offset), (name, field)


def expected_ctype(parameter):
    """The ctypes type of one C parameter of Varlo.h, such as 'const float frame[6]'."""
    pointer = "*" in parameter or "[" in parameter
    words = parameter.replace("const ", "").replace("*", " ").split()
    plain = {"int32_t": ctypes.c_int32, "uint32_t": ctypes.c_uint32, "bool": ctypes.c_bool, "float": ctypes.c_float,
             "char": ctypes.c_char, "void": None, "VarloConnectStateFunction": varlo.ConnectStateFunction,
             "VarloExchangeFunction": varlo.ExchangeFunction}
    base = plain[words[0]] if words[0] in plain else getattr(varlo, words[0][len("Varlo"):])
    if not pointer:
        return base
    return {ctypes.c_char: ctypes.c_char_p, None: ctypes.c_void_p}.get(base) or ctypes.POINTER(base)


def test_every_function_of_the_header_has_its_prototype():
    declared = re.findall(r"VARLO_FUNCTION\(int32_t\)\s+(\w+)\(([^)]*)\)", HEADER)
    assert len(declared) == 61 and {name for name, _ in declared} == set(varlo.PROTOTYPES)
    library = varlo.load_library()
    for name, parameters in declared:
        parameters = [p for p in parameters.split(",") if p != "void"]
        assert getattr(library, name).argtypes == [expected_ctype(p) for p in parameters], name
        assert getattr(library, name).restype is ctypes.c_int32


def test_library_search_honours_an_explicit_path(monkeypatch):
    with pytest.raises(varlo.LibraryNotFoundError, match="/nowhere/libVarlo.so"):
        varlo.find_library("/nowhere/libVarlo.so")
    monkeypatch.setenv("VARLO_LIBRARY", "/elsewhere/libVarlo.so")
    with pytest.raises(varlo.LibraryNotFoundError, match="VARLO_LIBRARY"):
        varlo.find_library()


@pytest.mark.parametrize("call", [
    lambda robot: robot.movj(math.nan, 0, 400, 180, 0, 0),
    lambda robot: robot.jointmovj([0, 0, 90, 0, 90]),
    lambda robot: robot.set_do(65),
    lambda robot: setattr(robot, "speed", 0),
])
def test_invalid_arguments_are_refused_before_anything_is_sent(call):
    robot = varlo.Robot("10.0.0.5")  # never connected: an argument that passed would fail on the connection
    with pytest.raises(ValueError) as caught:
        call(robot)
    assert caught.value.code == errors.INVALID_ARGUMENT
