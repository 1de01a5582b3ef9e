"""The controller's script followed from Python, and Ctrl-C or SIGTERM sent to a Python
program during a blocking move, a jog and a script run: VarloSim's state is the judge."""
import signal
import threading
import time

import pytest

import varlo

from conftest import VARLOSIM, Sim, python_child, wait_for

SWEEP = "for i = 1, 50 do\n  JointMovJ({60, 20, 40, 0, 60, 0})\n  JointMovJ({-60, 0, 30, 0, 60, 0})\nend\n"


@pytest.mark.parametrize("script, lines, prints, last", [
    ('print("first")\nlocal x = 0\nfor i = 1, 2 do\n  x = x + i\nend\nprint("sum " .. x)\n',
     [1, 2, 3, 4, 3, 4, 3, 6], ["first", "sum 3"], ("finished", 0)),
    ('print("before")\nerror("broken here")\nprint("never")\n', [1, 2], ["before"], ("error", 2)),
])
def test_script_notifications_arrive_in_order(sim, script, lines, prints, last):
    sim.script("notes", script)
    with varlo.Robot(sim.address) as robot:
        handled = []
        robot.on_script(handled.append)
        robot.run_script("notes")
        events = list(robot.script_events(timeout=10))
        assert [e.line for e in events if e.kind == "line"] == lines
        assert [e.text for e in events if e.kind == "print"] == prints
        assert (events[-1].kind, events[-1].line) == last and handled == events
        assert sim.state()["script"]["value"] == "stop" and robot.script_state.state == "stopped"


CHILD = """
import sys, varlo
with varlo.Robot(sys.argv[1]) as robot:
    robot.enable()
    robot.speed = 20
    print("ready", flush=True)
    if sys.argv[2] == "move":
        robot.jointmovj([90, 30, 60, 0, 60, 90], timeout=60)
    elif sys.argv[2] == "jog":
        robot.jog(1, True, 30)
    else:
        robot.run_script("sweep")
        for event in robot.script_events():
            pass
"""


@pytest.mark.parametrize("action, signal_number", [
    ("move", signal.SIGINT), ("move", signal.SIGTERM), ("jog", signal.SIGINT), ("script", signal.SIGINT),
    ("script", signal.SIGTERM),
])
def test_an_interrupted_blocking_call_leaves_the_arm_standing(sim, action, signal_number):
    sim.script("sweep", SWEEP)
    child = python_child("-c", CHILD, sim.address, action)
    try:
        assert child.stdout.readline().strip() == "ready", child.stderr.read()
        assert wait_for(lambda: sim.state()["moving"]), "the arm never moved"
        time.sleep(0.3)
        child.send_signal(signal_number)
        sent = time.monotonic()
        assert wait_for(lambda: not sim.state()["moving"], 2.0)
        assert time.monotonic() - sent <= 0.5
        _, errors = child.communicate(timeout=10)
    finally:
        child.kill()
    assert child.returncode != 0 and "KeyboardInterrupt" in errors
    state = sim.state()
    assert not state["moving"] and state["script"]["value"] == "stop"
    time.sleep(0.5)
    assert not sim.state()["moving"]  # nothing set going again on the way out


def test_a_controller_lost_during_a_blocking_move_is_named(tmp_path):
    lost = Sim(VARLOSIM, "127.0.0.98", folder=tmp_path)
    with varlo.Robot(lost.address) as robot:
        robot.enable()
        robot.speed = 10
        threading.Timer(1.0, lost.stop).start()
        with pytest.raises(varlo.VarloConnectionError, match="connection to the controller at 127.0.0.98 was lost"):
            robot.jointmovj([120, 30, 60, 0, 60, 90], timeout=60)
