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
    """VarloSim on `address` from a fresh folder, with its panel page on port 22080."""

    def __init__(self, program, address, axes=6, options=()):
        self.address = address
        self.folder = tempfile.mkdtemp(prefix="varlosim-")
        shutil.copy2(program, os.path.join(self.folder, "VarloSim"))  # its folder is its own
        self.log = os.path.join(self.folder, "VarloSim.log")
        with open(self.log, "w") as output:
            self.process = subprocess.Popen(
                [os.path.join(self.folder, "VarloSim"), "--root", self.folder, "--address", address,
                 "--axes", str(axes), "--exit-with-parent", *options], stdout=output, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 10
        while "VarloSim ready" not in open(self.log).read():
            if "cannot listen on %s" % address in open(self.log).read():
                self.process.wait(10)
                shutil.rmtree(self.folder, ignore_errors=True)
                pytest.skip("%s is taken by another program: %s" % (address, open(self.log).read().strip()))
            assert self.process.poll() is None and time.monotonic() < deadline, open(self.log).read()
            time.sleep(0.05)

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
        folder = os.path.join(self.folder, "controllerVR", "project", "project", project)
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "src0.lua"), "w") as script:
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

    def stop(self):
        self.process.terminate()
        self.process.wait(10)
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
