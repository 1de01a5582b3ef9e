"""The Robot class against VarloSim: connection, motions, state, IO, callbacks, settings."""
import gc

import pytest
from pytest import approx

import varlo

from conftest import post


def test_connect_failure_names_the_address_and_the_wait():
    robot = varlo.Robot("127.0.0.254")  # nothing listens there
    with pytest.raises(varlo.VarloConnectionError) as caught:
        robot.connect()
    assert str(caught.value) == "no controller answered at 127.0.0.254 within 5 s"
    assert caught.value.code == 1 and not robot.connected


@pytest.fixture(scope="module")
def robot(sim):
    with varlo.Robot(sim) as robot:
        yield robot


def test_blocking_motion_moves_the_arm_and_feeds_the_state_handlers(robot):
    states = []
    handler = robot.on_state(states.append)
    gc.collect()  # the library's callbacks must not depend on references the caller holds
    before = robot.joints
    robot.movj(x=300, y=0, z=400, a=180, b=0, c=0)
    assert robot.control_mode == varlo.ControlMode.ENABLED  # enabled for the motion
    assert max(abs(a - b) for a, b in zip(before, robot.joints)) > 5
    assert robot.pose[:3] == approx((300, 0, 400), abs=0.5)
    assert states and states[-1].joints == robot.joints
    robot.remove_handler(handler)


def test_relative_and_joint_motions_arrive_and_a_refused_one_raises(robot):
    start_joints, start = robot.joints, robot.pose
    robot.relmovl(dz=30)
    assert robot.pose.z == approx(start.z + 30, abs=0.5)
    robot.relmovj(dx=-20, block=False)  # returns at once; the arm arrives later
    assert robot.wait_until(lambda: robot.pose.x == approx(start.x - 20, abs=0.5), timeout=10)
    robot.jointmovj(start_joints)
    assert robot.joints == approx(start_joints, abs=0.1)
    with pytest.raises(varlo.VarloAlarmError) as caught:
        robot.movl(5000, 0, 400, 180, 0, 0)
    assert caught.value.code == 1 and caught.value.function == "MovL"


def test_an_exception_in_a_handler_comes_out_of_the_call(robot):
    def failing(state):
        raise RuntimeError("raised in a handler")
    robot.on_state(failing)
    try:
        with pytest.raises(RuntimeError, match="raised in a handler"):
            robot.wait(0.7)
    finally:
        robot.remove_handler(failing)


def test_outputs_and_inputs_round_trip(robot, sim):
    robot.do = {1, 4, 64}
    assert robot.do == {1, 4, 64}
    robot.set_do(4, False)
    assert robot.do == {1, 64}
    post(sim, "/sim/inputs", {"index": 2, "value": True})  # input channel 3
    assert robot.wait_until(lambda: robot.di == {3})
    assert robot.state.di == {3} and robot.state.do == {1, 64}


def test_alarm_words_are_decoded_and_cleared(robot, sim):
    post(sim, "/sim/alarm", {"group": 0, "id": 40, "value": True})
    assert robot.wait_until(lambda: robot.alarms == (varlo.Alarm(0, 40),))
    info = robot.alarm_info(40)
    assert info.id == 40 and info.description and info.solution
    assert robot.alarm_info(40, english=False).description not in ("", info.description)
    robot.clear_alarms()
    assert robot.wait_until(lambda: not robot.alarms)


def test_settings_round_trip(robot):
    robot.speed = 40
    assert robot.speed == 40
    robot.set_tool_frame(3, (1, 2, 3, 0, 0, 90))
    assert robot.tool_frame(3) == approx((1, 2, 3, 0, 0, 90))
    robot.payload = (0, 0, 40, 1.5)
    assert robot.payload == approx((0, 0, 40, 1.5))
    assert robot.forward(robot.joints)[:3] == approx(robot.pose[:3], abs=0.1)
    assert robot.inverse(robot.pose) == approx(robot.joints, abs=0.1)


def test_disconnect_tells_the_handlers_and_ends_the_calls(robot):
    events = []
    robot.on_connection(events.append)
    robot.disconnect()
    assert events == [False] and not robot.connected
    with pytest.raises(varlo.VarloConnectionError, match="not connected"):
        robot.joints
