"""The command line `varlo` judged by what it does to the arm: each command line of the tables
runs against a VarloSim of this test's own (6 axes on 127.0.0.107, a 4-axis SCARA on .108), and
its effect is read from VarloSim's own state (the panel's GET /state), never from what varlo
printed. Rows run in order and build on each other. Also: Ctrl-C and SIGTERM during blocking
moves and jogs (the arm stands within 0.5 s), Ctrl-C typed on a terminal, a controller lost
during a move, and `watch` marking stale state. What `varlo record` wrote, read back with
varlo.read_recording(), against what VarloSim reported.

VARLO names the program, VARLOSIM the simulator (default: the build tree's)."""
import importlib.util
import json
import os
import pty
import shlex
import signal
import subprocess
import threading
import time

import pytest

import varlo  # its recordings' reader, from PYTHONPATH
from varlosim import at_joints, changed, module_sim, only, outputs_on, unmoved

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
VARLO = os.environ.get("VARLO", os.path.join(ROOT, "build", "tools", "varlo", "varlo"))
VARLOSIM = os.environ.get("VARLOSIM", os.path.join(ROOT, "build", "sim", "VarloSim"))
STANDS_WITHIN = 0.5  # seconds from the signal until VarloSim's arm stands


six = module_sim(VARLOSIM, "127.0.0.107", 6, VARLO)
scara = module_sim(VARLOSIM, "127.0.0.108", 4, VARLO)


def run(sim, line, timeout=60):
    return subprocess.run([VARLO] + shlex.split(line.format(a=sim.address)), capture_output=True, text=True,
                          timeout=timeout)


def outputs(expected):
    return lambda before, after: outputs_on(after) == expected


def mode(name):
    return lambda before, after: after["controlMode"] == name


def stored(name, holds):
    """The simulator's stored document `name` (its file) meets `holds`."""
    def check(sim):
        with open(sim.file(name + ".json")) as document:
            return holds(json.load(document))
    check.on_sim = True
    return check


def estop(pressed):
    return lambda before, after: after["emergencyStop"] == pressed and after["controlMode"] == "disable"


# (command line, exit code, effect on the arm: check(state before, state after), words the
# message holds). {a} is the simulator's address.
SIX = [
    ("io {a} do 5 on", 0, outputs({5}), []),
    ("io {a} do 6 on", 0, outputs({5, 6}), []),
    ("io {a} do 6 off", 0, outputs({5}), []),
    ("io {a} do 5 off", 0, outputs(set()), []),
    ("movj {a} 300 0 400 180 0 0", 1, unmoved, ["the arm is not enabled: run `varlo enable"]),
    ("jog {a} 1 + 0.3", 1, unmoved, ["the arm is not enabled"]),
    ("enable {a}", 0, mode("enable"), []),
    # Right after connecting, a Cartesian jog moves the tool along Z only.
    ("jog {a} 3 + 0.4 --cartesian", 0, only("cartesianCoordinate", [2], +1), []),
    ("jog {a} 1 + 0.3", 0, only("jointCoordinate", [0], +1), []),
    ("jog {a} 3 - 0.4 --cartesian", 0, only("cartesianCoordinate", [2], -1), []),
    ("jog {a} 2 - 0.3 --cartesian", 0, only("cartesianCoordinate", [1], -1), []),
    ("jog {a} 5 - 0.3", 0, only("jointCoordinate", [4], -1), []),
    ("jog {a} 7 + 0.3", 3, unmoved, ["the axis must be a whole number from 1 to 6"]),
    ("jointmovj {a} 0 0 90", 3, unmoved, ["usage: varlo jointmovj"]),
    ("jointmovj {a} 0 0 90 0 90 0", 0, at_joints([0, 0, 90, 0, 90, 0]), ["arrived"]),
    ("estop {a}", 0, estop(True), []),
    ("enable {a}", 1, estop(True), ["the emergency stop is pressed", "varlo estop {a} --release"]),
    ("movj {a} 300 0 400 180 0 0", 1, unmoved, ["the emergency stop is pressed"]),
    ("clear {a}", 1, lambda b, a: a["alarmList"], ["alarms still active", "the emergency stop is pressed"]),
    ("estop {a} --release", 0, lambda b, a: not a["emergencyStop"], []),
    ("clear {a}", 0, lambda b, a: not a["alarmList"], []),
    ("enable {a}", 0, mode("enable"), []),
    # A slow move: a short limit fails while the arm goes on; a long one waits for the arrival.
    ("speed {a} 5", 0, lambda b, a: True, []),
    ("relmovl {a} 0 0 -40 --timeout 0.3", 2, lambda b, a: a["moving"], ["did not end within 0.3 s"]),
    ("relmovl {a} 0 0 40 --timeout 60", 0, lambda b, a: not a["moving"], ["arrived"]),
    ("speed {a} 50", 0, lambda b, a: True, []),
    # One word per control mode, in text and JSON; JSON numbers as the text shows them.
    ("drag {a} --json", 0, mode("drag"), ['"controlMode": "drag"']),
    ("disable {a}", 0, mode("disable"), ["arm disabled"]),
    ("enable {a} --json", 0, mode("enable"), ['"controlMode": "enabled"']),
    ("speed {a} 33.3 --json", 0, stored("/settings/common", lambda d: abs(d["ratio"] - 33.3) < 1e-3), ['"speed": 33.3\n']),
    ("speed {a} 50", 0, lambda b, a: True, []),
    # Analog outputs keep whole numbers; a document of the wrong kinds is refused unless forced.
    ("io {a} ao 2 7.0", 0, stored("/settings/function/gpioAO", lambda d: d[1]["value"] == 7), []),
    ("io {a} ao 2 7.5", 3, stored("/settings/function/gpioAO", lambda d: d[1]["value"] == 7), ["whole number"]),
    ("doc set {a} /settings/common '{{\"ratio\": \"fast\"}}'", 3, stored("/settings/common", lambda d: d["ratio"] == 50),
     ["ratio is a number, not a text", "--force"]),
    ("doc set {a} /settings/function/gpioAO '[{{\"mode\": 0, \"value\": 1}}, {{\"mode\": 0, \"value\": \"3\"}}]' --force",
     0, stored("/settings/function/gpioAO", lambda d: d[1]["value"] == "3"), []),
    ("points {a} nosuchproject", 2, unmoved, ["no teach points file of project nosuchproject"]),
]

SCARA = [
    ("enable {a}", 0, mode("enable"), []),
    ("jog {a} 6 + 0.3", 3, unmoved, ["has 4 axes and cannot jog joint 6"]),
    ("jog {a} 5 - 0.3", 3, unmoved, ["cannot jog joint 5"]),
    ("jog {a} 4 + 0.3 --cartesian", 3, unmoved, ["cannot jog A"]),
    ("jointmovj {a} 10 20 -100 30 0 0", 3, unmoved, ["has 4 axes: give 4 joint positions"]),
    ("jointmovj {a} 10 20 -100 30", 0, at_joints([10, 20, -100, 30]), ["-100.000 mm"]),
    ("jog {a} 4 + 0.3", 0, only("jointCoordinate", [3], +1), []),
    ("jog {a} 6 - 0.3 --cartesian", 0, only("cartesianCoordinate", [5], -1), []),
    ("status {a}", 0, lambda b, a: True, ["4 axes", "mm"]),
    ("fk {a} 10 20 -100 30 0 0", 3, unmoved, ["has 4 axes: give 4 joint positions"]),
    ("ik {a} 558.219 193.936 -100 0 0 60", 0, unmoved, ["-100.000 mm"]),
]


def check_row(sim, line, code, effect, words):
    sim.wait(lambda s: not s["moving"])
    before = sim.state()
    done = run(sim, line)
    output = done.stdout + done.stderr
    assert done.returncode == code, output
    after = sim.state()
    assert effect(sim) if getattr(effect, "on_sim", False) else effect(before, after), (before, after, output)
    for word in words:
        assert word.format(a=sim.address) in output, output


@pytest.mark.parametrize("line,code,effect,words", SIX, ids=[row[0] for row in SIX])
def test_six_axes(six, line, code, effect, words):
    check_row(six, line, code, effect, words)


@pytest.mark.parametrize("line,code,effect,words", SCARA, ids=[row[0] for row in SCARA])
def test_four_axes(scara, line, code, effect, words):
    check_row(scara, line, code, effect, words)


def interrupt(sim, start, stop):
    """Starts the command (start() gives its process), signals it once the arm moves (stop()),
    and returns (exit code, output, seconds until VarloSim's arm stood, state before, after)."""
    assert run(sim, "enable {a}").returncode == 0
    sim.wait(lambda s: not s["moving"])
    before = sim.state()
    process, read = start()
    assert sim.wait(lambda s: s["moving"], 10), read()
    time.sleep(0.3)
    stop(process)
    signalled = time.monotonic()
    standing = sim.wait(lambda s: not s["moving"], 5)
    stood = time.monotonic() - signalled
    code = process.wait(10)
    after = sim.state()
    assert standing and not changed(standing, after, "jointCoordinate", 1e-3), "the arm moved on"
    return code, read(), stood, before, after


# (command line, signal, exit code): the motion started far away, slowly, and interrupted.
INTERRUPTS = [
    ("movj {a} 200 -300 300 180 0 0", signal.SIGINT, 130),
    ("movl {a} 350 100 350 180 0 0", signal.SIGTERM, 143),
    ("jointmovj {a} -90 10 80 0 80 0", signal.SIGINT, 130),
    ("relmovj {a} -100 -100 -50", signal.SIGTERM, 143),
    ("relmovl {a} 0 -150 -80", signal.SIGINT, 130),
    ("jog {a} 1 - 10", signal.SIGINT, 130),
    ("jog {a} 2 + 10 --cartesian", signal.SIGTERM, 143),
]


@pytest.mark.parametrize("line,sig,code", INTERRUPTS, ids=["%s %s" % (r[0], r[1].name) for r in INTERRUPTS])
def test_interrupted_hosts_leave_the_arm_standing(six, line, sig, code):
    assert run(six, "speed {a} 10").returncode == 0
    processes = []

    def start():
        processes.append(subprocess.Popen([VARLO] + shlex.split(line.format(a=six.address)),
                                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True))
        return processes[0], lambda: processes[0].stdout.read() if processes[0].poll() is not None else ""

    status, output, stood, before, after = interrupt(six, start, lambda p: p.send_signal(sig))
    assert status == code, output
    assert stood < STANDS_WITHIN, stood
    assert after["controlMode"] == "enable" and not after["alarmList"] and not any(after["jog"]), after
    assert changed(before, after, "jointCoordinate", 1e-3), "the arm never moved"
    assert "interrupted" in output and "still enabled" in output and "again" in output, output


def test_ctrl_c_typed_on_a_terminal(six):
    """Ctrl-C on the terminal the command runs on: the terminal's SIGINT to its process group."""
    assert run(six, "speed {a} 10").returncode == 0
    pid, fd = None, None
    chunks = []

    def start():
        nonlocal pid, fd
        pid, fd = pty.fork()
        if pid == 0:
            os.execv(VARLO, [VARLO, "movj", six.address, "200", "300", "300", "180", "0", "0"])

        class Child:
            def wait(self, seconds):
                deadline = time.monotonic() + seconds
                while time.monotonic() < deadline:
                    done, status = os.waitpid(pid, os.WNOHANG)
                    if done:
                        return os.waitstatus_to_exitcode(status)
                    drain()
                    time.sleep(0.02)
                raise TimeoutError

        return Child(), lambda: b"".join(chunks).decode(errors="replace")

    def drain():
        try:
            while True:
                chunk = os.read(fd, 4096)
                if not chunk:
                    break
                chunks.append(chunk)
                if len(chunk) < 4096:
                    break
        except OSError:
            pass

    def type_ctrl_c(_):
        drain()
        os.write(fd, b"\x03")

    status, output, stood, _, after = interrupt(six, start, type_ctrl_c)
    drain()
    os.close(fd)
    assert status == 130, output
    assert stood < STANDS_WITHIN, stood
    assert after["controlMode"] == "enable", after


def test_lost_controller(six, tmp_path):
    """The controller stops answering during a move, and while `watch` shows the state and `record`
    records it."""
    assert run(six, "enable {a}").returncode == 0
    assert run(six, "speed {a} 5").returncode == 0
    watch = subprocess.Popen([VARLO, "watch", six.address, "--json"], stdout=subprocess.PIPE, text=True)
    lines = []  # (when it came, the state)
    reader = threading.Thread(target=lambda: lines.extend((time.monotonic(), json.loads(line)) for line in watch.stdout),
                              daemon=True)
    reader.start()
    recording = str(tmp_path / "lost.csv")
    recorder = subprocess.Popen([VARLO, "record", six.address, recording], stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, text=True)
    move = subprocess.Popen([VARLO, "movj", six.address, "250", "250", "300", "180", "0", "0", "--timeout", "4"],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    try:
        assert six.wait(lambda s: s["moving"], 10)
        time.sleep(0.5)
        os.kill(six.process.pid, signal.SIGSTOP)
        gone = time.monotonic()
        output, _ = move.communicate(timeout=30)
        assert move.returncode == 2, output
        assert "connection to the controller at %s was lost" % six.address in output, output
        # record: the loss reported, the rows until then kept whole.
        output, _ = recorder.communicate(timeout=30)
        assert recorder.returncode == 2 and "was lost" in output and "lost.csv keeps" in output, output
        assert varlo.read_recording(recording), output
        # watch: the state is marked stale about a second after the last answer, and
        # fresh again once the controller answers.
        os.kill(six.process.pid, signal.SIGCONT)
        assert six.wait(lambda s: not s["moving"], 30)
        time.sleep(1)
    finally:
        os.kill(six.process.pid, signal.SIGCONT)
        move.kill()
        watch.kill()
        recorder.kill()
    reader.join(5)
    stale = [when - gone for when, state in lines if state["stale"] and when > gone]
    assert stale and stale[0] < 2.5, stale
    assert not lines[-1][1]["stale"], lines[-1]


# What `varlo record` wrote while the arm moved, against what VarloSim reports: (arm, joint
# columns, how the recording ends).
RECORDINGS = [
    ("six", ["j1_deg", "j2_deg", "j3_deg", "j4_deg", "j5_deg", "j6_deg"], signal.SIGINT),
    ("scara", ["j1_deg", "j2_deg", "j3_mm", "j4_deg"], signal.SIGTERM),
    ("six", ["j1_deg", "j2_deg", "j3_deg", "j4_deg", "j5_deg", "j6_deg"], "--seconds"),
]


@pytest.mark.parametrize("arm,joints,end", RECORDINGS, ids=["%s %s" % (r[0], getattr(r[2], "name", r[2]))
                                                            for r in RECORDINGS])
def test_record_writes_what_the_arm_did(request, tmp_path, arm, joints, end):
    sim = request.getfixturevalue(arm)
    assert run(sim, "enable {a}").returncode == 0 and run(sim, "speed {a} 30").returncode == 0
    here = sim.wait(lambda s: not s["moving"])["jointCoordinate"][:len(joints)]
    start, stop = here[0], here[0] + (25 if here[0] < 90 else -25)
    path = str(tmp_path / "arm.csv")
    recorder = subprocess.Popen([VARLO, "record", sim.address, path] + (["--seconds", "4"] if end == "--seconds" else []),
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    time.sleep(1)  # connected, recording the arm standing
    assert run(sim, "jointmovj {a} %s --no-wait" % " ".join(map(str, [stop] + here[1:]))).returncode == 0
    seen = [sim.wait(lambda s: s["moving"]), sim.wait(lambda s: not s["moving"])]
    if end != "--seconds":
        time.sleep(0.5)
        recorder.send_signal(end)
    output = recorder.communicate(timeout=10)[0]
    assert recorder.returncode == 0, output
    with open(path) as recorded:
        text = recorded.read()
    lines = text.splitlines()
    assert text.endswith("\n") and lines[0].startswith(",".join(["t_s"] + joints + ["x_mm", "y_mm", "z_mm"])), lines[0]
    rows = varlo.read_recording(path)  # whole rows only, one per line
    assert len(rows) == len(lines) - 1 and [row["t_s"] for row in rows] == [float(l.split(",")[0]) for l in lines[1:]]
    gaps = sorted(b["t_s"] - a["t_s"] for a, b in zip(rows, rows[1:]))
    assert 0.15 < gaps[len(gaps) // 2] < 0.6, gaps  # about one row per exchange (0.3 s)
    # The arm standing before and after, and on the way: joint 1 spans what VarloSim reported.
    first = [row["j1_deg"] for row in rows]
    low, high = sorted((start, stop))
    assert abs(first[0] - start) < 0.01 and abs(first[-1] - stop) < 0.01, first
    assert any(low + 1 < value < high - 1 for value in first) and all(low - 0.01 < v < high + 0.01 for v in first)
    assert all(abs(seen[1]["jointCoordinate"][i] - rows[-1][name]) < 0.01 for i, name in enumerate(joints))
    assert rows[-1]["mode"] == "enabled" and rows[-1]["power"] and rows[-1]["alarms"] == "", rows[-1]
    if importlib.util.find_spec("pandas"):
        assert list(varlo.read_recording(path, to_pandas=True)["j1_deg"]) == first
    else:
        with pytest.raises(ImportError, match="needs pandas"):
            varlo.read_recording(path, to_pandas=True)
