"""The controller's script followed from Python (two Robots running scripts at once, a start
that cannot be done), and Ctrl-C or SIGTERM sent to a Python program during a blocking move,
a jog and a script run: VarloSim's state is the judge."""
import signal
import threading
import time

import pytest

import varlo

from conftest import VARLOSIM, Sim, python_child, wait_for

SWEEP = "for i = 1, 50 do\n  JointMovJ({60, 20, 40, 0, 60, 0})\n  JointMovJ({-60, 0, 30, 0, 60, 0})\nend\n"


@pytest.mark.parametrize("script, lines, prints, last", [
    ('print("first")\nlocal x = 0\nfor i = 1, 2 do\n  x = x + i\nend\nprint("sum " .. x)\n',
     [1, 2, 3, 4, 3, 4, 3, 6], ["first", "sum 3"], ("finished", 0, "")),
    ('print("before")\nerror("broken here")\nprint("never")\n', [1, 2], ["before"], ("error", 2, "broken here")),
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
        assert tuple(events[-1]) == last and handled == events
        assert sim.state()["script"]["value"] == "stop" and robot.script_state.state == "stopped"


@pytest.fixture(scope="module")
def other_sim(tmp_path_factory):
    started = Sim(VARLOSIM, "127.0.0.99", folder=tmp_path_factory.mktemp("other"))
    yield started
    started.stop()


# Two arms, each its own script: its prints, the lines that move it, where it ends.
TWO_SCRIPTS = [
    ('print("A: départ →")\nJointMovJ({30, 10, 20, 0, 60, 0})\nWait(200)\nprint("A: fin")\n',
     [("print", 0, "A: départ →"), ("move", 2, ""), ("print", 0, "A: fin"), ("finished", 0, "")],
     [30, 10, 20, 0, 60, 0]),
    ('for i = 1, 3 do\n  print("B " .. i)\nend\nJointMovJ({-30, 0, 30, 0, 60, 0})\nprint("B → done")\n',
     [("print", 0, "B 1"), ("print", 0, "B 2"), ("print", 0, "B 3"), ("move", 4, ""), ("print", 0, "B → done"),
      ("finished", 0, "")],
     [-30, 0, 30, 0, 60, 0]),
]


def test_two_robots_run_scripts_at_once_each_seeing_its_own(sim, other_sim):
    sims = (sim, other_sim)
    for simulator, (script, _, _) in zip(sims, TWO_SCRIPTS):
        simulator.script("two", script)
    with varlo.Robot(sim.address) as first, varlo.Robot(other_sim.address) as second:
        robots = (first, second)
        handled = ([], [])
        for robot, events in zip(robots, handled):
            robot.enable()
            robot.speed = 50
            robot.on_script(events.append)
            robot.run_script("two")
        assert [s.state()["script"]["value"] for s in sims] == ["run", "run"]
        for robot, simulator, events, (_, expected, joints) in zip(robots, sims, handled, TWO_SCRIPTS):
            seen = list(robot.script_events(timeout=30))
            assert [(e.kind, e.line, e.text) for e in seen if e.kind != "line"] == expected
            assert seen == events  # the handlers saw the same, and nothing of the other arm
            state = simulator.state()
            assert state["script"]["value"] == "stop" and not state["moving"]
            assert state["jointCoordinate"] == pytest.approx(joints, abs=0.1)
        # The second Robot's stop reaches its own controller only, and only that Robot hears of it.
        for simulator, robot, events in zip(sims, robots, handled):
            simulator.script("sweep", SWEEP)
            events.clear()
            robot.run_script("sweep")
        assert wait_for(lambda: all(s.state()["moving"] for s in sims))
        second.stop_script()
        assert [e.kind for e in second.script_events(timeout=5)][-1] == "stopped"
        first.wait(0.5)
        assert other_sim.state()["script"]["value"] == "stop" and not other_sim.state()["moving"]
        assert sim.state()["script"]["value"] == "run" and sim.state()["moving"]
        assert handled[0] and {e.kind for e in handled[0]} <= {"line", "move"}
        first.stop_script()
        assert [e.kind for e in first.script_events(timeout=5)][-1] == "stopped"
        assert wait_for(lambda: not sim.state()["moving"]) and sim.state()["script"]["value"] == "stop"


HOLDER = """
import sys, time, varlo
with varlo.Robot(sys.argv[1]) as robot:
    robot.script_state  # this program now listens on the script notification ports
    print("ready", flush=True)
    time.sleep(60)
"""


@pytest.mark.parametrize("case, message", [
    ("no script", r"the script of project none was not started: .+"),
    ("ports held", r"^the script's notifications cannot be received: UDP port 500\d is taken by python3 \(pid \d+\)"),
    ("continue after the end", r"the script was not continued: .+"),
])
def test_a_script_that_cannot_start_raises_at_once(sim, case, message):
    sim.script("quick", 'print("ran")\n')
    holder = python_child("-c", HOLDER, sim.address) if case == "ports held" else None
    try:
        if holder:
            assert holder.stdout.readline().strip() == "ready", holder.stderr.read()
        with varlo.Robot(sim.address) as robot:
            handled = []
            robot.on_script(handled.append)
            if case == "continue after the end":
                robot.run_script("quick")
                assert [e.kind for e in robot.script_events(timeout=10)][-1] == "finished"
                handled.clear()
            started = time.monotonic()
            with pytest.raises(varlo.VarloRequestError, match=message):
                robot.continue_script() if case == "continue after the end" else robot.run_script(
                    "none" if case == "no script" else "quick")
            assert time.monotonic() - started < 2
            assert handled == [] and list(robot.script_events(timeout=1)) == []
            assert sim.state()["script"]["value"] == "stop"
    finally:
        if holder:
            holder.kill()
            holder.wait()


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
