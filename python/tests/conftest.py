"""VarloSims of the tests' own: VARLOSIM names the program (default: build/sim/VarloSim),
VARLO_TEST_ADDRESS the first one's loopback address (default 127.0.0.90), VARLO_TEST_ADDRESS_4
the 4-axis one's (default 127.0.0.96). The tests judge by the simulator's own state (its
panel port's GET /state) and its files."""
import os
import subprocess
import sys
import time

import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tests", "cli"))
from varlosim import Sim  # noqa: E402  (the suite's one way of starting a VarloSim)

VARLOSIM = os.environ.get("VARLOSIM") or os.path.join(ROOT, "build", "sim", "VarloSim")


@pytest.fixture(scope="session")
def sim(tmp_path_factory):
    started = Sim(VARLOSIM, os.environ.get("VARLO_TEST_ADDRESS", "127.0.0.90"), folder=tmp_path_factory.mktemp("varlosim"))
    yield started
    started.stop()


@pytest.fixture(scope="session")
def sim4(tmp_path_factory):
    started = Sim(VARLOSIM, os.environ.get("VARLO_TEST_ADDRESS_4", "127.0.0.96"), axes=4,
                  folder=tmp_path_factory.mktemp("varlosim4"))
    yield started
    started.stop()


def wait_for(condition, timeout=5.0):
    """Polls ``condition`` until it holds; its last value."""
    deadline = time.monotonic() + timeout
    while not condition() and time.monotonic() < deadline:
        time.sleep(0.02)
    return condition()


def python_child(*arguments):
    """A Python program run as a child with the package on its path; stdout a pipe."""
    environment = dict(os.environ, PYTHONPATH=os.path.join(ROOT, "python"))
    return subprocess.Popen([sys.executable] + [str(a) for a in arguments], env=environment,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
