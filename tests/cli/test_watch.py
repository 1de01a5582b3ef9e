"""`varlo watch` over several arms, judged against each VarloSim's own state (its panel's
GET /state): three VarloSims of the test's own (127.0.0.140 - .142), each left in a different
state; one of them killed while watched, which marks its line stale and then offline while the
others stay live.

VARLO names the program, VARLOSIM the simulator (default: the build tree's)."""
import json
import os
import subprocess
import threading
import time

import pytest

from varlosim import Sim, outputs_on

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
VARLO = os.environ.get("VARLO", os.path.join(ROOT, "build", "tools", "varlo", "varlo"))
VARLOSIM = os.environ.get("VARLOSIM", os.path.join(ROOT, "build", "sim", "VarloSim"))
MODES = {"enable": "enabled", "disable": "disabled", "drag": "drag"}
# Each arm's name, address and the command lines that make its state its own.
ARMS = [("left", "127.0.0.140", ["enable {a}"]),
        ("middle", "127.0.0.141", ["io {a} do 3 on", "io {a} do 7 on"]),
        ("right", "127.0.0.142", ["estop {a}"])]


@pytest.fixture(scope="module")
def sims():
    if not (os.path.isfile(VARLO) and os.path.isfile(VARLOSIM)):
        pytest.skip("VarloSim or varlo is not built")
    started = []
    try:
        for name, address, lines in ARMS:
            started.append(Sim(VARLOSIM, address))
            for line in lines:
                done = subprocess.run([VARLO] + line.format(a=address).split(), capture_output=True, text=True)
                assert done.returncode == 0, done.stderr
        yield started
    finally:
        for sim in started:
            if sim.process.poll() is None:
                sim.stop()


def matches(line, state):
    """Whether watch's object for an arm says what its VarloSim says."""
    return (line["online"] and not line["stale"]
            and line["controlMode"] == MODES[state["controlMode"]]
            and all(abs(a - b) < 0.01 for a, b in zip(line["joints"], state["jointCoordinate"]))
            and set(line["outputs"]) == outputs_on(state)
            and len(line["alarms"]) == len(state["alarmList"]))


def test_arms_watched_and_one_lost(sims):
    words = ["%s=%s" % (name, address) for name, address, _ in ARMS]
    watch = subprocess.Popen([VARLO, "watch", *words, "--json"], stdout=subprocess.PIPE, text=True)
    lines = []  # (when it came, the object)
    reader = threading.Thread(target=lambda: lines.extend((time.monotonic(), json.loads(line)) for line in watch.stdout),
                              daemon=True)
    reader.start()
    try:
        # Every arm's line agrees with its own VarloSim.
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            states = {name: sim.state() for (name, _, _), sim in zip(ARMS, sims)}
            latest = {line["arm"]: line for _, line in list(lines)}
            if all(name in latest and matches(latest[name], states[name]) for name in states):
                break
            time.sleep(0.1)
        else:
            pytest.fail("watch never matched the arms: %s" % latest)
        assert states["right"]["alarmList"], states["right"]  # the pressed emergency stop's alarm is shown
        assert {line["address"] for _, line in lines} == {address for _, address, _ in ARMS}

        # The right arm's controller dies: its line goes stale within about a second and
        # offline once the library gives it up; the others stay live meanwhile.
        sims[2].process.kill()
        sims[2].process.wait(10)
        gone = time.monotonic()
        while time.monotonic() < gone + 20 and not any(l["arm"] == "right" and not l["online"] for _, l in lines):
            time.sleep(0.2)
        time.sleep(1)
    finally:
        watch.kill()
    reader.join(5)
    after = [(when - gone, line) for when, line in lines if when > gone]
    right = [(t, line) for t, line in after if line["arm"] == "right"]
    stale = [t for t, line in right if line["stale"]]
    assert stale and stale[0] < 2.5, right
    offline = [t for t, line in right if not line["online"]]
    assert offline, right
    for name in ("left", "middle"):
        # Fresh states all along: at least two a second, none stale.
        times = [t for t, line in after if line["arm"] == name]
        assert all(not line["stale"] for _, line in after if line["arm"] == name)
        assert len(times) >= 2 * int(offline[0]), (name, len(times), offline[0])

    # A watch started now: the dead arm's line says so, the others show their arms.
    table = subprocess.run([VARLO, "watch", *words, "--count", "3"], capture_output=True, text=True, timeout=20)
    assert table.returncode == 0, table.stderr
    last = table.stdout.strip().split("\n\n")[-1].splitlines()
    assert [line.split()[0] for line in last] == ["left", "middle", "right"], table.stdout
    for line, sim in zip(last[:2], sims):
        assert line.split()[1] == "online" and line.split()[2] == MODES[sim.state()["controlMode"]], table.stdout
    assert last[2].split()[1] == "offline", table.stdout
