"""The C functions, through the C example host examples/c/varlo_steps.c, judged by what its
steps do to the arm, read from VarloSim's own state (127.0.0.120 with 6 axes, .121 a SCARA):
outputs keeping the others, jogs moving only what was asked (a Cartesian one right after
connecting), a disabled arm refused, axes a 4-axis arm lacks refused, Ctrl-C and SIGTERM during
jogs and moves, a controller that stops answering. Rows run in order and build on each other.

VARLO_STEPS names the program, VARLOSIM the simulator (default: the build tree's)."""
import os
import shlex
import signal
import subprocess
import time

import pytest

from varlosim import at_joints, changed, module_sim, only, outputs_on, unmoved

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
STEPS = os.environ.get("VARLO_STEPS", os.path.join(ROOT, "build", "examples", "c", "varlo-example-steps"))
VARLOSIM = os.environ.get("VARLOSIM", os.path.join(ROOT, "build", "sim", "VarloSim"))


six = module_sim(VARLOSIM, "127.0.0.120", 6, STEPS)
scara = module_sim(VARLOSIM, "127.0.0.121", 4, STEPS)


def start(sim, steps):
    return subprocess.Popen([STEPS, sim.address] + shlex.split(steps), stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True)


# (steps, exit code, effect on the arm: check(state before, state after))
SIX = [
    ("do 5 on", 0, lambda b, a: outputs_on(a) == {5}),
    ("do 6 on", 0, lambda b, a: outputs_on(a) == {5, 6}),
    ("do 6 off", 0, lambda b, a: outputs_on(a) == {5}),
    ("jointmovj 0 0 90 0 90 0", 1, unmoved),
    ("jog joint 0 + 0.3", 1, unmoved),
    ("enable", 0, lambda b, a: a["controlMode"] == "enable"),
    ("jog cartesian 2 + 0.4", 0, only("cartesianCoordinate", [2], +1)),
    ("jog joint 0 + 0.3", 0, only("jointCoordinate", [0], +1)),
    ("jog cartesian 1 - 0.3", 0, only("cartesianCoordinate", [1], -1)),
    ("jog joint 6 + 0.3", 3, unmoved),
    ("jointmovj 0 0 90 0 90 0", 0, at_joints([0, 0, 90, 0, 90, 0])),
]

SCARA = [
    ("enable", 0, lambda b, a: a["controlMode"] == "enable"),
    ("jog joint 4 + 0.3", 3, unmoved),
    ("jog cartesian 3 + 0.3", 3, unmoved),
    ("jog joint 3 + 0.3", 0, only("jointCoordinate", [3], +1)),
    ("jog cartesian 5 - 0.3", 0, only("cartesianCoordinate", [5], -1)),
]


def check_row(sim, steps, code, effect):
    sim.wait(lambda s: not s["moving"])
    before = sim.state()
    process = start(sim, steps)
    output = process.communicate(timeout=60)[0]
    assert process.returncode == code, output
    after = sim.state()
    assert effect(before, after), (before, after, output)


@pytest.mark.parametrize("steps,code,effect", SIX, ids=[row[0] for row in SIX])
def test_six_axes(six, steps, code, effect):
    check_row(six, steps, code, effect)


@pytest.mark.parametrize("steps,code,effect", SCARA, ids=[row[0] for row in SCARA])
def test_four_axes(scara, steps, code, effect):
    check_row(scara, steps, code, effect)


# (steps, signal, exit code, what the arm is left as)
INTERRUPTS = [
    ("jog joint 0 - 10", signal.SIGINT, 130, lambda s: s["controlMode"] == "enable" and not s["emergencyStop"]),
    ("jog cartesian 1 + 10", signal.SIGTERM, 143, lambda s: s["controlMode"] == "enable"),
    ("jointmovj -90 10 80 0 80 0", signal.SIGINT, 130, lambda s: s["emergencyStop"] and s["controlMode"] == "disable"),
]


@pytest.mark.parametrize("steps,sig,code,left", INTERRUPTS, ids=["%s %s" % (r[0], r[1].name) for r in INTERRUPTS])
def test_interrupted(six, steps, sig, code, left):
    for path, body in (("/panel/emergencyStop", {"value": False}), ("/protocol/exchange", {"alarms": True}),
                       ("/settings/common", {})):
        six.post(path, body)
    assert start(six, "enable").wait(30) == 0
    six.wait(lambda s: not s["moving"])
    before = six.state()
    process = start(six, steps)
    assert six.wait(lambda s: s["moving"], 10)
    time.sleep(0.3)
    process.send_signal(sig)
    signalled = time.monotonic()
    standing = six.wait(lambda s: not s["moving"], 5)
    stood = time.monotonic() - signalled
    output = process.communicate(timeout=30)[0]
    assert process.returncode == code, output
    assert standing and stood < 0.5, stood
    after = six.state()
    assert changed(before, after, "jointCoordinate", 1e-3) and not changed(standing, after, "jointCoordinate", 1e-3)
    assert left(after), after
    assert "interrupted" in output, output


def test_lost_controller(six):
    for path, body in (("/panel/emergencyStop", {"value": False}), ("/protocol/exchange", {"alarms": True})):
        six.post(path, body)
    assert start(six, "enable").wait(30) == 0
    process = start(six, "jointmovj 60 20 70 0 60 0")
    try:
        assert six.wait(lambda s: s["moving"], 10)
        os.kill(six.process.pid, signal.SIGSTOP)
        stopped = time.monotonic()
        output = process.communicate(timeout=30)[0]
        assert process.returncode == 2 and "stopped answering" in output, output
        assert time.monotonic() - stopped < 6
    finally:
        os.kill(six.process.pid, signal.SIGCONT)
        process.kill()
    assert six.wait(lambda s: not s["moving"], 30)
