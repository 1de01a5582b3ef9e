"""Robot against VarloSim, judged by the simulator's own state: connection, motions,
refusals, IO, alarms, the emergency stop, settings and documents, two arms at once."""
import asyncio
import json
import os
import time

import pytest
from pytest import approx

import varlo

from conftest import ROOT, python_child, wait_for


def test_connect_failure_names_the_address_and_the_wait():
    robot = varlo.Robot("127.0.0.254")  # nothing listens there
    with pytest.raises(varlo.VarloConnectionError) as caught:
        robot.connect(timeout=1)
    assert str(caught.value) == "no controller answered at 127.0.0.254 within 1 s"
    assert caught.value.code == 1 and not robot.connected


@pytest.fixture(scope="module")
def robot(sim):
    with varlo.Robot(sim.address) as robot:
        yield robot


def sim_joints(sim):
    return sim.state()["jointCoordinate"]


def test_a_disabled_arm_refuses_every_motion_and_nothing_moves(robot, sim):
    robot.disable()
    before = sim_joints(sim)
    for motion in (lambda: robot.movj(300, 0, 400, 180, 0, 0), lambda: robot.jointmovj([10, 0, 0, 0, 90, 0]),
                   lambda: robot.relmovl(dz=10), lambda: robot.jog(1, True, 0.2)):
        with pytest.raises(varlo.VarloNotEnabledError, match=r"not enabled; call robot.enable\(\) first"):
            motion()
    robot.wait(0.4)
    assert sim_joints(sim) == before and sim.state()["controlMode"] == "disable"


@pytest.mark.parametrize("motion, check", [
    (lambda r: r.movj(300, 0, 400, 180, 0, 0), lambda s: s["cartesianCoordinate"][:3] == approx([300, 0, 400], abs=0.5)),
    (lambda r: r.relmovl(dz=30), lambda s: s["cartesianCoordinate"][2] == approx(430, abs=0.5)),
    (lambda r: r.jointmovj([10, 5, 20, 0, 60, 0], timeout=60), lambda s: s["jointCoordinate"] == approx([10, 5, 20, 0, 60, 0], abs=0.1)),
])
def test_blocking_motions_arrive_where_asked(robot, sim, motion, check):
    robot.enable()
    motion(robot)
    state = sim.state()
    assert check(state) and not state["moving"]
    assert robot.joints == approx(state["jointCoordinate"], abs=0.01)  # the mirror caught up


def test_a_refused_motion_raises_and_an_exception_in_a_handler_ends_the_call(robot, sim):
    robot.enable()
    with pytest.raises(varlo.VarloAlarmError) as caught:
        robot.movl(5000, 0, 400, 180, 0, 0)
    assert caught.value.code == 1 and caught.value.function == "MovL"

    def failing(state):
        raise RuntimeError("raised in a handler")
    robot.on_state(failing)
    try:
        with pytest.raises(RuntimeError, match="raised in a handler"):
            robot.jointmovj([-40, 0, 30, 0, 60, 0])
    finally:
        robot.remove_handler(failing)
    assert not sim.state()["moving"]  # the motion the call started was stopped
    assert sim_joints(sim)[0] > -39


def test_a_blocking_move_stopped_by_the_program_itself_is_not_an_arrival_nor_an_alarm(robot, sim):
    robot.enable()
    start = sim_joints(sim)[0]
    asked = []

    def stop_midway(state):
        if not asked and abs(state.joints[0] - start) > 3:
            asked.append("stop")  # before the call: its own wait delivers states too
            asked.append(robot.stop())
    robot.on_state(stop_midway)
    try:
        with pytest.raises(varlo.VarloError, match="was stopped before it arrived") as caught:
            robot.jointmovj([start + 40, 0, 0, 0, 90, 0])
    finally:
        robot.remove_handler(stop_midway)
    assert type(caught.value) is varlo.VarloError and asked == ["stop", True]
    state = sim.state()
    assert not state["moving"] and 3 < abs(state["jointCoordinate"][0] - start) < 39


def test_outputs_keep_the_others_and_inputs_arrive(robot, sim):
    robot.do = {1, 4, 64}
    robot.set_do(5, True)
    robot.set_do(4, False)
    packed = sim.state()["outputs"]  # eight bytes, channel 1 in bit 0 of the first
    assert {i + 1 for i in range(64) if packed[i // 8] >> (i % 8) & 1} == robot.state.do == {1, 5, 64}
    sim.post("/sim/inputs", {"index": 2, "value": True})  # input channel 3
    assert robot.wait_until(lambda: robot.di == {3})


def test_emergency_stop_press_release_and_the_alarm_it_leaves(robot, sim):
    robot.enable()
    robot.jointmovj([0, 0, 60, 0, 60, 0], block=False)
    robot.emergency_stop()
    assert wait_for(lambda: sim.state()["emergencyStop"] and not sim.state()["moving"])
    assert robot.wait_until(lambda: robot.control_mode == varlo.ControlMode.DISABLED)
    with pytest.raises(varlo.VarloAlarmError, match="emergency stop is pressed: release it"):
        robot.clear_alarms()
    with pytest.raises(varlo.VarloAlarmError, match="release_emergency_stop"):
        robot.enable()
    robot.release_emergency_stop()
    assert wait_for(lambda: not sim.state()["emergencyStop"])
    robot.clear_alarms()
    assert sim.state()["alarmList"] == []
    robot.enable()
    assert sim.state()["controlMode"] == "enable"


@pytest.mark.parametrize("key, press, state_key, expected", [
    ("auto", lambda r, on: r.set_auto_mode(on), "autoManual", {True: "auto", False: "manual"}),
    ("enabling", lambda r, on: r.set_enabling_switch(on), "threeSwitch", {True: "pressed", False: "released"}),
])
def test_panel_keys(robot, sim, key, press, state_key, expected):
    for on in (True, False):
        press(robot, on)
        assert wait_for(lambda: sim.state()[state_key] == expected[on]), key


def test_frames_and_settings_round_trip(robot, sim):
    robot.set_tool_frame(3, (1, 2, 3, 0, 0, 90), name="gripper")
    frames = robot.tool_frames()
    assert frames[3] == (True, "gripper", approx((1, 2, 3, 0, 0, 90))) and len(frames) == 10
    robot.user_index = 0
    robot.payload = (0, 0, 40, 1.5)
    assert robot.payload == approx((0, 0, 40, 1.5))
    assert robot.forward(robot.joints)[:3] == approx(robot.pose[:3], abs=0.1)
    points = [varlo.TeachPoint(1, "home", varlo.Pose(300, 0, 400, 180, 0, 0), rdn=(1, 1, 1, 1)),
              varlo.TeachPoint(2, "pick", varlo.Pose(350, 50, 300, 180, 0, 0), tool=3, rdn=(1, 1, 1, 1))]
    robot.set_teach_points("cell", points)
    assert robot.teach_points("cell") == points
    with open(sim.file("project/cell/points.json")) as stored:
        assert [point["alias"] for point in json.load(stored)] == ["home", "pick"]


def test_pallets_and_user_frames_reach_the_controllers_documents(robot, sim):
    pallet = varlo.Pallet(2, "tray", 1, 0, (3, 2, 1), (40.0, 30.0, 0.0), varlo.Pose(300, 0, 200, 180, 0, 0),
                          varlo.Pose(300, 0, 300, 180, 0, 0), False, varlo.Pose(300, 0, 250, 180, 0, 0))
    robot.set_pallets([pallet])
    assert robot.pallets() == [pallet]
    with open(sim.file("/process/pallet.json")) as stored:
        document = json.load(stored)[0]
    assert (document["id"], document["name"], document["userCoord"]) == (2, "tray", 1)
    assert document["firstPoint"]["z"] == 200 and document["safePoint"]["z"] == 300
    frames = robot.user_frames()
    frames[4] = varlo.Frame(True, "table", varlo.Pose(500, -100, 20, 0, 0, 45))
    robot.set_user_frames(frames)
    assert robot.user_frames() == frames and robot.user_frame(4) == frames[4].pose


def test_a_move_longer_than_its_timeout_raises_and_stop_stands_the_arm(robot, sim):
    robot.enable()
    robot.speed = 10
    with pytest.raises(varlo.VarloTimeoutError, match="did not end within 0.5 s"):
        robot.jointmovj([100, 20, 40, 0, 60, 0], timeout=0.5)
    assert sim.state()["moving"]  # the arm goes on: only the wait ended
    assert robot.stop() and not sim.state()["moving"]
    robot.speed = 50


def test_next_state_lets_other_tasks_run(robot):
    async def main():
        ticks = []

        async def ticker():
            while True:
                ticks.append(1)
                await asyncio.sleep(0.01)
        task = asyncio.ensure_future(ticker())
        states = [await robot.next_state(timeout=2) for _ in range(3)]
        task.cancel()
        return states, len(ticks)
    states, ticks = asyncio.run(main())
    assert all(isinstance(state, varlo.State) for state in states) and ticks >= 10


def test_documents_round_trip(robot):
    with robot.edit_document("/settings/common") as common:
        common["ratio"] = 40
    assert robot.speed == 40 and robot.read_document("/settings/common")["ratio"] == 40
    assert robot.read_document("/settings/nothingHere") is None


# The file service hands the first two out as they are stored (neither is a document) and
# answers an error for the others, which are not JSON: none reads as a missing document.
@pytest.mark.parametrize("stored", ["42", '"a text"', '{"ratio": 4', ""])
def test_a_document_that_could_not_be_read_is_never_written_back(robot, sim, stored):
    with open(sim.file("/settings/damaged.json"), "w") as damaged:
        damaged.write(stored)
    with pytest.raises(varlo.VarloRequestError, match="could not read the document /settings/damaged"):
        with robot.edit_document("/settings/damaged") as document:
            document["lost"] = True
    robot.wait(0.3)
    with open(sim.file("/settings/damaged.json")) as damaged:
        assert damaged.read() == stored


def test_two_robots_each_see_only_their_own_arm(sim, sim4):
    with varlo.Robot(sim.address) as six, varlo.Robot(sim4.address) as four:
        assert (six.axis_count, four.axis_count) == (6, 4)
        four.enable()
        before = sim_joints(sim)
        four.jointmovj([20, 60, -80, 30])
        assert sim4.state()["jointCoordinate"][:4] == approx([20, 60, -80, 30], abs=0.1)
        assert sim_joints(sim) == before and six.joints == approx(before, abs=0.01)
        assert four.joints[:4] == approx([20, 60, -80, 30], abs=0.1)
        for refused in (lambda: four.jog(5, True, 0.2), lambda: four.jointmovj([0, 0, 0, 0, 0, 0])):
            with pytest.raises(varlo.VarloArgumentError):
                refused()
        assert not sim4.state()["moving"]


def test_the_two_arms_example_moves_each_arm_in_turn(sim, sim4):
    sims = (sim, sim4)
    start = [s.state()["jointCoordinate"][0] for s in sims]
    child = python_child(os.path.join(ROOT, "examples", "python", "two_arms.py"), sim.address, sim4.address)
    seen = set()  # which arms were away from their start at once
    while child.poll() is None:
        seen.add(tuple(abs(s.state()["jointCoordinate"][0] - a) > 5 for s, a in zip(sims, start)))
        time.sleep(0.02)
    assert child.returncode == 0, child.stderr.read()
    assert {(True, False), (False, True)} <= seen and (True, True) not in seen
    assert [s.state()["jointCoordinate"][0] for s in sims] == approx(start, abs=0.1)


def test_disconnect_tells_the_handlers_and_ends_the_calls(robot):
    events = []
    robot.on_connection(events.append)
    robot.disconnect()
    assert events == [False] and not robot.connected
    with pytest.raises(varlo.VarloConnectionError, match="not connected"):
        robot.joints
