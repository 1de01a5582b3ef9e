"""VarloSims of a test's own, and the arm's state as VarloSim itself reports it (its panel's
GET /state), so that a host is judged by what happened to the arm, not by what it printed."""
import json
import os
import shutil
import subprocess
import tempfile
import time
import urllib.request

import pytest


class Sim:
    """VarloSim on `address`, run as a copy in a folder of its own (`folder`, else a fresh
    temporary one), with its panel page on port 22080. A test whose address another program
    holds is skipped, saying so."""

    def __init__(self, program, address, axes=6, options=(), folder=None):
        if not os.path.isfile(program):
            pytest.skip("VarloSim is not built (%s)" % program)
        self.address = address
        self.owns_folder = folder is None
        self.folder = tempfile.mkdtemp(prefix="varlosim-") if folder is None else str(folder)
        self.project = os.path.join(self.folder, "controllerVR", "project")
        shutil.copy2(program, os.path.join(self.folder, "VarloSim"))  # its folder is its own, as a user's
        self.log = os.path.join(self.folder, "VarloSim.log")
        with open(self.log, "w") as output:
            self.process = subprocess.Popen(
                [os.path.join(self.folder, "VarloSim"), "--root", self.folder, "--address", address,
                 "--axes", str(axes), "--exit-with-parent", *options], stdout=output, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 10
        while "VarloSim ready" not in self.log_text():
            said = self.log_text()
            if "cannot listen on %s" % address in said:
                self.process.wait(10)
                self.remove_folder()  # the log with it: what it said is kept in `said`
                pytest.skip("%s is taken by another program: %s" % (address, said.strip()))
            assert self.process.poll() is None and time.monotonic() < deadline, said
            time.sleep(0.05)

    def log_text(self):
        with open(self.log) as log:
            return log.read()

    def state(self):
        with urllib.request.urlopen("http://%s:22080/state" % self.address, timeout=3) as reply:
            return json.load(reply)

    def post(self, path, body):
        request = urllib.request.Request("http://%s:22000%s" % (self.address, path), json.dumps(body).encode(),
                                         {"Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=3) as reply:
            return json.load(reply)

    def script(self, project, text):
        """Makes `text` the Lua script of project `project`."""
        os.makedirs(self.file("project/" + project), exist_ok=True)
        with open(self.file("project/%s/src0.lua" % project), "w") as script:
            script.write(text)

    def wait(self, condition, seconds=10):
        """The first state that meets `condition`, or None after `seconds`."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            state = self.state()
            if condition(state):
                return state
            time.sleep(0.02)
        return None

    def file(self, name):
        """The path of a document or project file in the simulator's folder."""
        return os.path.join(self.project, *name.strip("/").split("/"))

    def stop(self):
        self.process.terminate()
        self.process.wait(10)
        self.remove_folder()

    def remove_folder(self):
        if self.owns_folder:
            shutil.rmtree(self.folder, ignore_errors=True)


def module_sim(program, address, axes, *needed):
    """A pytest fixture: a Sim for the module's tests, skipped when a program is not built."""
    @pytest.fixture(scope="module")
    def fixture():
        if not all(os.path.isfile(path) for path in (program,) + needed):
            pytest.skip("VarloSim or the host is not built")
        sim = Sim(program, address, axes)
        yield sim
        sim.stop()
    return fixture


def outputs_on(state):
    """The digital outputs that are on, 1 to 64."""
    return {k + 1 for k in range(64) if state["outputs"][k // 8] >> (k % 8) & 1}


def changed(before, after, key, tolerance=0.05):
    """The indices of `key` (a list of numbers) that differ by more than `tolerance`; the angles
    A, B, C of a pose compare as angles (180 and -180 are the same)."""
    def difference(i, a, b):
        d = a - b
        return (d + 180) % 360 - 180 if key == "cartesianCoordinate" and i >= 3 else d
    return [i for i, (a, b) in enumerate(zip(before[key], after[key])) if abs(difference(i, a, b)) > tolerance]


# Effects on the arm: check(state before, state after).

def only(key, indices, sign=0):
    """Only `indices` of `key` moved (in the direction of `sign` when given)."""
    def check(before, after):
        moved = changed(before, after, key)
        return moved == indices and all(sign * (after[key][i] - before[key][i]) >= 0 for i in indices)
    return check


def unmoved(before, after):
    return not changed(before, after, "jointCoordinate", 1e-3) and not after["moving"]


def at_joints(values):
    return lambda before, after: not changed({"jointCoordinate": values}, after, "jointCoordinate", 0.01)
