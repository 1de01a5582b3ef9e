"""The command-line host `varlo` against one VarloSim, command line by command line.

Run by CTest inside scripts/with-varlosim.sh: VARLO names the program, VARLO_TEST_ADDRESS
the simulator's address, VARLO_CLI_GROUP the half of the table to run ("motion" or
"settings": two simulators, so the halves run side by side). The rows of a half run in
order and build on each other (enable, move, ...)."""
import json
import os
import shlex
import subprocess

import pytest

VARLO = os.environ.get("VARLO", "build/tools/varlo/varlo")
ADDRESS = os.environ.get("VARLO_TEST_ADDRESS", "127.0.0.103")
GROUP = os.environ.get("VARLO_CLI_GROUP", "motion")

# (command line, exit code, fragments the output holds); {a} is the simulator's address.
MOTION = [
    ("status {a}", 0, ["6 axes", "arm         disabled, power on", "alarms      none"]),
    ("movj {a} 300 0 400 180 0 0", 1, ["the arm is not enabled: run `varlo enable {a}` first"]),
    ("enable {a}", 0, ["arm enabled"]),
    ("movj {a} 300 0 400 180 0 0", 0, ["arrived after", "pose    x 300.000  y 0.000  z 400.000  a 180.000"]),
    ("relmovl {a} 0 0 -50", 0, ["z 350.000"]),
    ("relmovj {a} 0 0 -10 --no-wait", 0, ["motion accepted"]),
    ("jointmovj {a} 0 0 90 0 90 0", 0, ["joints  0.000 0.000 90.000 0.000 90.000 0.000"]),
    ("movj {a} 3000 0 400 180 0 0", 1, ["the controller refused the motion"]),
    ("jog {a} 1 - 0.3", 0, ["jogged joint 1-"]),
    ("estop {a}", 0, ["emergency stop pressed"]),
    ("alarms {a}", 0, ["controller alarm", "cause:", "solution:"]),
    ("movj {a} 300 0 400 180 0 0", 1, ["the emergency stop is pressed", "varlo estop {a} --release", "varlo clear {a}"]),
    ("clear {a}", 1, ["alarms still active"]),
    ("estop {a} --release", 0, ["emergency stop released"]),
    ("clear {a}", 0, ["alarms cleared"]),
    ("power {a} off", 0, ["power off"]),
    ("enable {a}", 0, ["arm enabled"]),
    ("drag {a}", 0, ["arm drag"]),
    ("disable {a}", 0, ["arm disabled"]),
]
SETTINGS = [
    ("speed {a} 40", 0, ["speed 40 %"]),
    ("io {a} do 3 on", 0, ["output 3 on"]),
    ("io {a} di 5 on", 0, ["input 5 on"]),
    ("io {a}", 0, ["digital outputs  3", "digital inputs   5"]),
    ("fk {a} 0 0 90 0 90 0", 0, ["x -10.000  y 0.000  z 360.000"]),
    ("ik {a} 300 0 400 180 0 0", 0, ["0.000 -7.153 51.475"]),
    ("frames {a} tool 2 0 0 100 0 0 0 --name gripper", 0, ['tool 2  0.000 0.000 100.000 0.000 0.000 0.000  "gripper"']),
    ("frames {a}", 0, ["tool 0", "tool 2", "user 0"]),
    ("points {a} demo", 2, ["no teach points file of project demo"]),
    ("doc set {a} /settings/common '{{\"ratio\": 55}}'", 0, ["/settings/common written"]),
    ("speed {a}", 0, ["speed 55 %"]),
    ("version {a}", 0, ["library    1.2.0_", "control"]),
    # What a person gets wrong.
    ("status 127.0.0.254", 1, ["no controller answered at 127.0.0.254 within 5 s"]),
    ("movj {a} 1 2 3", 3, ["usage: varlo movj ADDRESS X Y Z A B C"]),
    ("movj {a} 1 2 3 4 5 x", 3, ['a coordinate must be a number, not "x"']),
    ("jog {a} 7 + 1", 3, ["the axis must be a whole number from 1 to 6"]),
    ("io {a} do 65 on", 3, ["the channel must be a whole number from 1 to 64"]),
    ("doc set {a} /settings/common '{{\"ratio\":'", 3, ["the new document is not JSON"]),
    ("speed {a} --fast", 3, ["varlo speed has no option --fast"]),
    ("frobnicate {a}", 3, ['no command "frobnicate"']),
    ("io --help", 0, ["do CHANNEL on|off", "Exit codes"]),
    ("", 3, ["usage: varlo COMMAND"]),
    ("--version", 0, ["varlo 1.2.0", "libVarlo 1.2.0"]),
]


def run(line):
    words = shlex.split(line.format(a=ADDRESS))
    return subprocess.run([VARLO] + words, capture_output=True, text=True, timeout=60)


CASES = MOTION if GROUP == "motion" else SETTINGS


@pytest.mark.parametrize("line,code,fragments", CASES, ids=[case[0] for case in CASES])
def test_command(line, code, fragments):
    done = run(line)
    status, output = done.returncode, done.stdout + done.stderr
    assert status == code, output
    for fragment in fragments:
        assert fragment.format(a=ADDRESS) in output, output


# --json: one document on success, {"error", "exit"} on failure; watch: one object per line.
@pytest.mark.parametrize("line,code,key,value", [
    ("status {a} --json", 0, "controlMode", "disabled"),
    ("watch {a} --count 2 --json", 0, "axes", 6),
    ("speed {a} 200 --json", 3, "exit", 3),
])
def test_json(line, code, key, value):
    if GROUP != "settings":
        pytest.skip("in the settings half")
    done = run(line)
    assert done.returncode == code, done.stdout + done.stderr
    lines = done.stdout.splitlines()
    documents = [json.loads(text) for text in lines] if len(lines) > 1 and lines[0] != "{" else [json.loads(done.stdout)]
    assert documents and all(document[key] == value for document in documents), done.stdout


def test_a_watch_beside_a_motion():
    """A second program that only watches must not disturb the one that moves the arm."""
    if GROUP != "motion":
        pytest.skip("in the motion half")
    watch = subprocess.Popen([VARLO, "watch", ADDRESS, "--count", "20", "--json"], stdout=subprocess.PIPE, text=True)
    try:
        for line in ("enable {a}", "movj {a} 300 100 300 180 0 0"):
            done = run(line)
            assert done.returncode == 0, done.stdout + done.stderr
        states = [json.loads(text) for text in watch.communicate(timeout=30)[0].splitlines()]
    finally:
        watch.kill()
    assert states[-1]["controlMode"] == "enabled" and states[-1]["pose"][:3] == pytest.approx([300, 100, 300], abs=0.01)
