"""VarloSims of the tests' own: VARLOSIM names the program (default: build/sim/VarloSim),
VARLO_TEST_ADDRESS the first one's loopback address (default 127.0.0.90), VARLO_TEST_ADDRESS_4
the 4-axis one's (default 127.0.0.96). The tests judge by the simulator's own state (its
panel port's GET /state) and its files."""
import json
import os
import shutil
import subprocess
import sys
import time
import urllib.request

import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


class Sim:
    """A running VarloSim: its address, project folder and state."""

    def __init__(self, folder, address, axes=6):
        program = os.environ.get("VARLOSIM") or os.path.join(ROOT, "build", "sim", "VarloSim")
        if not os.path.isfile(program):
            pytest.skip("VarloSim is not built")
        self.address, self.folder = address, folder
        self.project = os.path.join(str(folder), "controllerVR", "project")
        shutil.copy2(program, folder / "VarloSim")  # run from a folder of its own, as a user would
        log = folder / "VarloSim.log"
        with open(log, "w") as output:
            self.process = subprocess.Popen([str(folder / "VarloSim"), "--root", str(folder), "--address", address,
                                             "--axes", str(axes), "--exit-with-parent"],
                                            stdout=output, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 10
        while "VarloSim ready" not in log.read_text():
            assert self.process.poll() is None and time.monotonic() < deadline, log.read_text()
            time.sleep(0.1)

    def state(self):
        """The simulator's own live state (its panel port's GET /state)."""
        with urllib.request.urlopen("http://%s:22080/state" % self.address, timeout=3) as reply:
            return json.load(reply)

    def post(self, path, body):
        """A POST to the simulator's API, for what only a test does (inputs, alarms)."""
        request = urllib.request.Request("http://%s:22000%s" % (self.address, path), json.dumps(body).encode(),
                                         {"Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=3) as reply:
            return json.load(reply)

    def file(self, name):
        """The path of a document or project file in the simulator's folder."""
        return os.path.join(self.project, *name.strip("/").split("/"))

    def write_script(self, project, text):
        os.makedirs(self.file("project/" + project), exist_ok=True)
        with open(self.file("project/%s/src0.lua" % project), "w") as script:
            script.write(text)

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


@pytest.fixture(scope="session")
def sim(tmp_path_factory):
    started = Sim(tmp_path_factory.mktemp("varlosim"), os.environ.get("VARLO_TEST_ADDRESS", "127.0.0.90"))
    yield started
    started.stop()


@pytest.fixture(scope="session")
def sim4(tmp_path_factory):
    started = Sim(tmp_path_factory.mktemp("varlosim4"), os.environ.get("VARLO_TEST_ADDRESS_4", "127.0.0.96"), axes=4)
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
