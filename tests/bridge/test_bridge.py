"""varlo-bridge against a real Mosquitto broker: topics, retained state, the last will, commands
with correlation data, refusals, redelivery, a broker restart, a controller lost and back.

Every effect on an arm is judged by VarloSim's own state (its panel port), never by what the
bridge said."""
import json
import signal
import time

import pytest

from conftest import LAB, SINGLE, Bus, arm_state, wait_for

ARMS = dict(LAB, **{SINGLE[0]: SINGLE[1]})
HOME = {"x": 300, "y": 0, "z": 400, "a": 180, "b": 0, "c": 0}


def pose(arm):
    return arm_state(ARMS[arm])["cartesianCoordinate"]


def output_on(arm, channel):
    return bool(arm_state(ARMS[arm])["outputs"][(channel - 1) // 8] >> ((channel - 1) % 8) & 1)


def test_state_and_online_of_every_arm(bus):
    states = {}
    while len(states) < len(ARMS):
        _, state = bus.next("varlo/v1/+/state", where=lambda s: s["online"])
        states[state["arm"]] = state
    for arm, state in states.items():
        assert set(state) >= {"seq", "time", "controlMode", "power", "joints", "pose", "outputs", "inputs",
                              "alarms", "script", "online"}
        assert abs(state["time"] / 1000 - time.time()) < 10
        assert state["joints"] == pytest.approx(arm_state(ARMS[arm])["jointCoordinate"], abs=0.01)
    assert wait_for(lambda: bus.latest.get("varlo/v1/a/online"), 5, "online")["online"] is True


# (arm, command, payload, answer code, what VarloSim must show afterwards)
COMMANDS = [
    ("a", "enable", {}, 0, lambda: arm_state(LAB["a"])["controlMode"] == "enable"),
    ("a", "movj", HOME, 0, lambda: pose("a")[:3] == pytest.approx([300, 0, 400], abs=0.1)),
    ("a", "io", {"do": 3, "on": True}, 0, lambda: output_on("a", 3)),
    # Not on the allowed list: the arm stays enabled.
    ("a", "disable", {}, 4, lambda: arm_state(LAB["a"])["controlMode"] == "enable"),
    # Malformed or oversized payloads: an error answer, nothing moves.
    ("a", "movj", b"{\"x\": 300,", 3, lambda: pose("a")[:3] == pytest.approx([300, 0, 400], abs=0.1)),
    ("a", "movj", dict(HOME, x="310"), 3, lambda: pose("a")[0] == pytest.approx(300, abs=0.1)),
    ("a", "movj", dict(HOME, speed=100), 3, lambda: pose("a")[0] == pytest.approx(300, abs=0.1)),
    ("a", "movj", json.dumps(dict(HOME, x=310, pad="x" * 20000)), 3, lambda: pose("a")[0] == pytest.approx(300, abs=0.1)),
    ("a", "movj", "[1, 2, 3]", 3, lambda: pose("a")[0] == pytest.approx(300, abs=0.1)),
    ("a", "frobnicate", {}, 3, lambda: pose("a")[0] == pytest.approx(300, abs=0.1)),
    # Refused by the arm: b was never enabled, and stays where it is.
    ("b", "movj", HOME, 1, lambda: arm_state(LAB["b"])["jointCoordinate"] == pytest.approx([0, 0, 0, 0, 90, 0])),
]


@pytest.mark.parametrize("arm,name,payload,code,effect", COMMANDS,
                         ids=["%s %s %d" % (row[0], row[1], row[3]) for row in COMMANDS])
def test_command(bus, arm, name, payload, code, effect):
    answer = bus.command(arm, name, payload)
    assert (answer["code"], answer["ok"]) == (code, code == 0), answer
    assert answer["message"]
    assert effect(), arm_state(ARMS[arm])


def test_redelivered_command_runs_once(bus):
    bus.command("c", "enable", {})
    start = pose("c")[2]
    first = bus.command("c", "relmovj", {"id": "down-once", "dx": 0, "dy": 0, "dz": -20})
    again = bus.command("c", "relmovj", {"id": "down-once", "dx": 0, "dy": 0, "dz": -20})
    assert first["ok"] and again == first
    time.sleep(0.5)
    assert pose("c")[2] == pytest.approx(start - 20, abs=0.1)


# Two arms run scripts at once through the bridge: (project, script, the outputs (1 to 64) it
# leaves on, the line of its error or None).
SCRIPTS = {
    "a": ("counting", "SetDO(10, false)\nWait(150)\nSetDO(10, true)\nWait(150)\n", {11}, None),
    "b": ("broken", "SetDO(11, false)\nSetDO(12, false)\nSetDO(11, true)\nWait(150)\nnosuch()\nSetDO(12, true)\n",
          {12}, 5),
}


def test_script_events_of_every_arm(lab, bus):
    for arm, (project, text, _, _) in SCRIPTS.items():
        folder = lab["folder"] / LAB[arm] / "controllerVR" / "project" / "project" / project
        folder.mkdir(parents=True, exist_ok=True)
        (folder / "src0.lua").write_text(text)
    # The events on a client of their own: waiting for an answer skips what comes before it.
    listener = Bus(lab["port"], "varlo/v1/+/event/script")
    try:
        for arm, (project, _, _, _) in SCRIPTS.items():
            assert bus.command(arm, "script/run", {"project": project})["ok"]
        events = {arm: [] for arm in SCRIPTS}
        while not all(any(e["event"] == "finished" for e in events[arm]) for arm in SCRIPTS):
            _, event = listener.next("varlo/v1/+/event/script")
            events.setdefault(event["arm"], []).append(event)
    finally:
        listener.close()
    for arm, (project, text, outputs, error_line) in SCRIPTS.items():
        state = arm_state(LAB[arm])
        # What the arm did: the script ran to its end or to its error, and stopped.
        assert state["script"]["value"] == "stop", state["script"]
        assert {channel for channel in range(10, 14) if output_on(arm, channel)} == outputs
        # What the bridge said of it, in order: started, its lines, the error if any, finished.
        kinds = [e["event"] for e in events[arm]]
        assert kinds[0] == "started" and kinds[-1] == "finished" and events[arm][0]["project"] == project, kinds
        lines = [e["line"] for e in events[arm] if e["event"] == "line"]
        last = error_line or len(text.splitlines())
        assert lines == sorted(lines) and lines[0] == 1 and lines[-1] == last, lines
        errors = [e for e in events[arm] if e["event"] == "error"]
        assert len(errors) == (1 if error_line else 0), errors
        assert not errors or "nosuch" in errors[0]["message"], errors
        assert events[arm][-1]["project"] == project


def test_late_subscriber_gets_retained_state(lab):
    late = Bus(lab["port"], "varlo/v1/b/state", "varlo/v1/b/online")
    try:
        message, state = late.next("varlo/v1/b/state", seconds=3)
        assert message.retain and state["arm"] == "b"
        first = state["seq"]
        _, later = late.next("varlo/v1/b/state", seconds=3)
        assert later["seq"] > first
    finally:
        late.close()


@pytest.mark.slow
def test_stopping_the_bridge_stops_its_motion_and_marks_arms_offline(lab, bus):
    bus.command("a", "enable", {})
    bus.command("a", "movj", HOME)
    # A long motion the bridge commanded (without waiting for its answer), then SIGTERM.
    bus.client.publish("varlo/v1/a/cmd/jointmovj", json.dumps({"joints": [120, 0, 0, 0, 90, 0], "timeout": 60}), qos=1)
    joint1 = lambda: arm_state(LAB["a"])["jointCoordinate"][0]
    wait_for(lambda: joint1() > 5, 5, "motion")
    assert lab["bridge"].stop(signal.SIGTERM) == 0
    _, offline = bus.next("varlo/v1/a/online", where=lambda p: not p["online"])
    assert offline["reason"] == "bridge stopped"
    stopped_at = joint1()
    time.sleep(0.6)
    assert joint1() == pytest.approx(stopped_at, abs=0.01) and joint1() < 115
    # The last will: a bridge that dies marks its arms offline.
    lab["bridge"].start("varlo-bridge:")
    lab["online"]()
    bus.drain()
    lab["bridge"].stop(signal.SIGKILL)
    _, will = bus.next("varlo/v1/c/online", where=lambda p: not p["online"])
    assert will["reason"] == "bridge lost"
    lab["bridge"].start("varlo-bridge:")
    lab["online"]()


@pytest.mark.slow
def test_broker_restart(lab):
    lab["broker"].stop()
    lab["broker"].start("listen socket on port %d" % lab["port"])
    started = time.monotonic()
    # The broker kept nothing: the bridge brings every arm's picture back.
    after = wait_for(lambda: _try_bus(lab["port"]), 15, "broker")
    try:
        for arm in ARMS:
            message, state = after.next("varlo/v1/%s/state" % arm, seconds=15)
            assert state["online"]
        print("state back %.2f s after the broker restarted" % (time.monotonic() - started))
        assert after.command("c", "enable", {})["ok"]
        assert after.command("c", "movj", HOME)["ok"]
        assert pose("c")[:3] == pytest.approx([300, 0, 400], abs=0.1)
    finally:
        after.close()


def _try_bus(port):
    try:
        return Bus(port, "varlo/#", "test/answers")
    except OSError:
        return None


@pytest.mark.slow
def test_controller_lost_and_back(lab, bus):
    bus.drain()
    lab["single"].stop(signal.SIGKILL)
    # The library declares a controller lost after 12 s without an answer.
    _, lost = bus.next("varlo/v1/d/online", seconds=20, where=lambda p: not p["online"])
    assert lost["reason"] == "controller lost"
    # The others go on meanwhile.
    _, other = bus.next("varlo/v1/a/state", seconds=3)
    assert other["online"]
    assert bus.command("d", "enable", {})["code"] == 1
    lab["single"].start("VarloSim ready")
    bus.next("varlo/v1/d/online", seconds=15, where=lambda p: p["online"])
    assert bus.command("d", "enable", {})["ok"]
    assert arm_state(SINGLE[1])["controlMode"] == "enable"
