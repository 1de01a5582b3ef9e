"""`varlo script run` and `varlo script debug` against VarloSims of their own, judged by
what the simulator did: its script state (GET /debugger/state), its outputs and its arm
(the panel's GET /state).

Run by CTest: VARLO and VARLOSIM name the programs. The simulators serve 127.0.0.84 and,
for the host name "localhost", 127.0.0.1 (CTest's locks "debugports" and "loopback127001").
A host name that only varlo sees (a hosts file bound over /etc/hosts in a mount namespace
of its own, with `unshare --mount`) is tried where that is allowed (as root)."""
import json
import os
import pathlib
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import urllib.request

import pytest

VARLO = os.environ.get("VARLO", "build/tools/varlo/varlo")
VARLOSIM = os.environ.get("VARLOSIM", "build/sim/VarloSim")
ADDRESS = "127.0.0.84"
HOST_NAME = "varlo-test-controller"


def request(url, body=None):
    data = None if body is None else json.dumps(body).encode()
    with urllib.request.urlopen(urllib.request.Request(url, data, {"Content-Type": "application/json"}), timeout=5) as reply:
        return json.loads(reply.read() or b"{}")


def wait_for(predicate, seconds=5.0):
    end = time.monotonic() + seconds
    while not predicate():
        if time.monotonic() > end:
            return False
        time.sleep(0.05)
    return True


class Sim:
    def __init__(self, address):
        self.address = address
        self.root = tempfile.mkdtemp(prefix="varlo-script-")
        # Named in requests as HOST_NAME too (VarloSim serves only the names it is told).
        self.process = subprocess.Popen([VARLOSIM, "--root", self.root, "--address", address, "--exit-with-parent",
                                         "--allow-host", HOST_NAME], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def ready():
            try:
                socket.create_connection((address, 22000), 0.2).close()
                return True
            except OSError:
                return False
        assert wait_for(ready, 10), "VarloSim did not start"
        request(f"http://{address}:22000/settings/controlMode", {"controlMode": "enable"})

    def close(self):
        self.process.terminate()
        self.process.wait()
        shutil.rmtree(self.root, ignore_errors=True)

    def script(self, project, text):
        folder = pathlib.Path(self.root, "controllerVR/project/project", project)
        folder.mkdir(parents=True, exist_ok=True)
        (folder / "src0.lua").write_text(text)

    def state(self):
        return request(f"http://{self.address}:22000/debugger/state")

    def panel(self):
        return request(f"http://{self.address}:22080/state")

    def output(self, channel):
        return bool(self.panel()["outputs"][channel // 8] >> channel % 8 & 1)

    def stop(self):
        request(f"http://{self.address}:22000/debugger/stop", {})


@pytest.fixture(scope="module")
def sim():
    started = Sim(ADDRESS)
    yield started
    started.close()


def varlo(*words, stdin="", prefix=()):
    return subprocess.run([*prefix, VARLO, *words], input=stdin, capture_output=True, text=True, timeout=60)


def start(*words):
    """varlo in the background; its input stays open until closed."""
    return subprocess.Popen([VARLO, *words], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True)


def own_hosts_file(folder):
    """A prefix that runs a program with HOST_NAME for ADDRESS in a hosts file of its own
    (in `folder`); None where a mount namespace cannot be had."""
    hosts = pathlib.Path(folder, "hosts")
    hosts.write_text(pathlib.Path("/etc/hosts").read_text() + f"\n{ADDRESS} {HOST_NAME}\n")
    prefix = ("unshare", "--mount", "sh", "-c", 'mount --bind "$0" /etc/hosts && exec "$@"', str(hosts))
    if shutil.which("unshare") and subprocess.run([*prefix, "getent", "hosts", HOST_NAME],
                                                  capture_output=True).returncode == 0:
        return prefix
    return None


# The script sets output 2 at its end; a debug session continues it from its first line.
@pytest.mark.parametrize("mode", ["run", "debug"])
@pytest.mark.parametrize("host", ["localhost", HOST_NAME])
def test_a_controller_named_by_host_name(sim, mode, host):
    prefix = ()
    target = sim
    if host == "localhost":
        target = Sim("127.0.0.1")
    else:
        prefix = own_hosts_file(sim.root)
        if prefix is None:
            pytest.skip("no mount namespace for a hosts file of its own (needs root)")
    try:
        target.script("named", "SetDO(2, false)\nprint('by name')\nSetDO(2, true)\n")
        done = varlo("script", mode, host, "named", stdin="c\n", prefix=prefix)
        assert done.returncode == 0, done.stdout + done.stderr
        assert target.state()["value"] == "stop" and target.output(2), done.stdout
    finally:
        if target is not sim:
            target.close()


@pytest.mark.parametrize("mode", ["run", "debug"])
def test_a_refused_start_is_reported_at_once(sim, mode):
    began = time.monotonic()
    done = varlo("script", mode, ADDRESS, "nosuch", stdin="q\n")
    assert done.returncode == 2, done.stdout + done.stderr
    assert "project nosuch has no src0.lua or main.lua" in done.stderr
    assert time.monotonic() - began < 10, "waited for a debuggee that the controller refused"
    assert sim.state()["prjname"] != "nosuch"


def test_values_round_trip_through_the_command_line(sim):
    # The script checks the values that the session set: output 5 says it found them.
    sim.script("values", "s = 'start'\nt = 0\nSetDO(5, false)\n"
                         "if s == [[it's \"q\" <tag> a>b]] and t[1][1] == 'x' and next(t[2]) == nil and t.k == '{}'"
                         " then SetDO(5, true) end\n")
    session = ("b 3\nc\nset s 'it\\'s \"q\" <tag> a>b'\nset t {{'x'}, {}, k = '{}'}\n"
               "p s\np t\nbt\nc\n")
    done = varlo("script", "debug", ADDRESS, "values", stdin=session)
    assert done.returncode == 0, done.stdout + done.stderr
    assert sim.state()["value"] == "stop" and sim.output(5), done.stdout
    # Shown as Lua writes them, by `p` and by `bt`.
    for shown in ("s = 'it\\'s \"q\" <tag> a>b'", "t = {{'x'}, {}, k = '{}'}"):
        assert done.stdout.count(shown) == 3, done.stdout  # set, p, bt


def test_a_session_after_one_that_stepped_past_the_end(sim):
    sim.script("steps", "SetDO(6, false)\nSetDO(7, false)\nSetDO(6, true)\nSetDO(7, true)\n")
    done = varlo("script", "debug", ADDRESS, "steps", stdin="b 4\nc\nn\n")
    assert done.returncode == 0 and "the script has ended" in done.stdout, done.stdout + done.stderr
    assert sim.state()["value"] == "stop" and sim.output(7)
    # Its first step is a step: three steps run lines 1 to 3, q stops it before line 4.
    done = varlo("script", "debug", ADDRESS, "steps", stdin="s\ns\ns\nq\n")
    assert done.returncode == 0, done.stdout + done.stderr
    assert "paused at line 4" in done.stdout, done.stdout
    assert sim.state()["value"] == "stop" and sim.output(6) and not sim.output(7)


def test_the_readme_session_on_the_demo(sim):
    done = varlo("script", "debug", ADDRESS, "demo", stdin="b 8\nc\np total\nn\nset total 40\nbt\nq\n")
    assert done.returncode == 0, done.stdout + done.stderr
    for shown in ("paused at line 8", "total = 0", "total = 40", "stopped"):
        assert shown in done.stdout, done.stdout
    for chatter in ("Server", "Waitting"):
        assert chatter not in done.stdout
    assert sim.state()["value"] == "stop"


LOOP = "n = 0\n-- counts\nwhile true do\n  n = n + 1\n  SetDO(9, n % 2 == 0)\n  Wait(20)\nend\n"


def test_breakpoints_pause_and_detach(sim):
    sim.script("loop", LOOP)
    session = start("script", "debug", ADDRESS, "loop")
    for line, wait in (("b 2\nc\n", 1.0), ("pause\np n\nb 6\nc\nd\nc\n", 1.0), ("b 5\n", 1.0), ("detach\n", 0)):
        session.stdin.write(line)
        session.stdin.flush()
        time.sleep(wait)
    output, errors = session.communicate(timeout=30)
    assert session.returncode == 0, output + errors
    for shown in ("line 2 of src0.lua holds no code", "running (line", "paused at line 6", "paused at line 5", "detached"):
        assert shown in output, output
    # Detached: the script runs on by itself.
    assert sim.state()["value"] == "run"
    sim.stop()
    assert wait_for(lambda: sim.state()["value"] == "stop")


MOVES = "while true do\n  JointMovJ({60, 0, 90, 0, 90, 0})\n  JointMovJ({-60, 0, 90, 0, 90, 0})\nend\n"


@pytest.mark.parametrize("mode,number,code", [("run", signal.SIGINT, 130), ("run", signal.SIGTERM, 143),
                                              ("debug", signal.SIGINT, 130), ("debug", signal.SIGTERM, 143)])
def test_an_interrupted_host_stops_the_script_and_the_arm(sim, mode, number, code):
    sim.script("moves", MOVES)
    host = start("script", mode, ADDRESS, "moves")
    if mode == "debug":
        host.stdin.write("c\n")
        host.stdin.flush()
    assert wait_for(lambda: sim.state()["value"] == "run" and sim.panel()["moving"], 10)
    host.send_signal(number)
    output, errors = host.communicate(timeout=15)
    assert host.returncode == code, output + errors
    assert sim.state()["value"] == "stop"
    joints = sim.panel()["jointCoordinate"]
    time.sleep(0.3)
    assert not sim.panel()["moving"] and sim.panel()["jointCoordinate"] == joints


def test_a_script_that_pauses_itself(sim):
    sim.script("pausing", "SetDO(10, false)\nprint('before')\npause()\nSetDO(10, true)\n")
    host = start("script", "run", ADDRESS, "pausing")
    assert wait_for(lambda: sim.state()["value"] == "pause")
    host.send_signal(signal.SIGTERM)
    output, errors = host.communicate(timeout=15)
    assert host.returncode == 143, output + errors
    assert "the script paused itself at line 3" in output, output
    assert sim.state()["value"] == "stop" and not sim.output(10)


def test_a_second_program_is_refused(sim):
    sim.script("loop", LOOP)
    first = start("script", "run", ADDRESS, "loop")
    try:
        assert wait_for(lambda: sim.state()["value"] == "run")
        second = varlo("script", "run", ADDRESS, "demo")
        assert second.returncode == 2, second.stdout + second.stderr
        assert f"UDP port 5000 is taken by varlo (pid {first.pid})" in second.stderr
        # The first program's script goes on, and it still follows it.
        assert sim.state() == {"value": "run", "prjname": "loop"}
        first.send_signal(signal.SIGINT)
        output, errors = first.communicate(timeout=15)
        assert first.returncode == 130 and "line 6" in output, output + errors
        assert sim.state()["value"] == "stop"
    finally:
        first.kill()


def test_a_killed_host_leaves_no_script_running(sim):
    sim.script("loop", LOOP)
    host = start("script", "debug", ADDRESS, "loop")
    host.stdin.write("c\n")
    host.stdin.flush()
    assert wait_for(lambda: sim.state()["value"] == "run", 10)
    host.kill()
    host.communicate()
    # The debug server sees its host gone and stops the script.
    assert wait_for(lambda: sim.state()["value"] == "stop")
