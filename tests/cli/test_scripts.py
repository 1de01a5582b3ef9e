"""`varlo script run` and `varlo script debug` judged by what VarloSim did: its script's state
and line, its outputs and its arm (the panel's GET /state), against VarloSims of this test's own
on 127.0.0.84, .86 for a host name and 127.0.0.1 for "localhost" (CTest's locks "debugports"
and "loopback127001"). A host name that only varlo sees (a hosts file bound over /etc/hosts in a
mount namespace of its own, `unshare --mount`) is tried where that is allowed (as root).

VARLO names the program, VARLOSIM the simulator (default: the build tree's)."""
import json
import os
import shutil
import signal
import subprocess
import time

import pytest

from varlosim import Sim, module_sim, outputs_on

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
VARLO = os.environ.get("VARLO", os.path.join(ROOT, "build", "tools", "varlo", "varlo"))
VARLOSIM = os.environ.get("VARLOSIM", os.path.join(ROOT, "build", "sim", "VarloSim"))
ADDRESS = "127.0.0.84"
HOST_NAME = "varlo-test-controller"
sim = module_sim(VARLOSIM, ADDRESS, 6, VARLO)


def script(sim):
    return sim.state()["script"]


def varlo(*words, stdin="", prefix=()):
    return subprocess.run([*prefix, VARLO, *words], input=stdin, capture_output=True, text=True, timeout=60)


def start(*words):
    """varlo in the background; its input stays open until closed."""
    return subprocess.Popen([VARLO, *words], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True)


def own_hosts_file(folder, address):
    """A prefix that runs a program with HOST_NAME for `address` in a hosts file of its own (in
    `folder`); None where a mount namespace cannot be had."""
    hosts = os.path.join(folder, "hosts")
    with open("/etc/hosts") as system, open(hosts, "w") as own:
        own.write(system.read() + "\n%s %s\n" % (address, HOST_NAME))
    prefix = ("unshare", "--mount", "sh", "-c", 'mount --bind "$0" /etc/hosts && exec "$@"', hosts)
    if shutil.which("unshare") and subprocess.run([*prefix, "getent", "hosts", HOST_NAME],
                                                  capture_output=True).returncode == 0:
        return prefix
    return None


@pytest.mark.parametrize("mode", ["run", "debug"])
@pytest.mark.parametrize("host", ["localhost", HOST_NAME])
def test_a_controller_named_by_host_name(mode, host):
    # The script sets output 3 at its end; a debug session continues it from its first line.
    # VarloSim serves only the names it is told.
    named = Sim(VARLOSIM, "127.0.0.1" if host == "localhost" else "127.0.0.86", options=("--allow-host", HOST_NAME))
    try:
        prefix = () if host == "localhost" else own_hosts_file(named.folder, named.address)
        if prefix is None:
            pytest.skip("no mount namespace for a hosts file of its own (needs root)")
        named.script("named", "SetDO(2, false)\nprint('by name')\nSetDO(2, true)\n")
        done = varlo("script", mode, host, "named", stdin="c\n", prefix=prefix)
        assert done.returncode == 0, done.stdout + done.stderr
        assert script(named)["value"] == "stop" and outputs_on(named.state()) == {3}, done.stdout
    finally:
        named.stop()


@pytest.mark.parametrize("mode", ["run", "debug"])
def test_a_refused_start_is_reported_at_once(sim, mode):
    began = time.monotonic()
    done = varlo("script", mode, ADDRESS, "nosuch", stdin="q\n")
    assert done.returncode == 2, done.stdout + done.stderr
    assert "project nosuch has no src0.lua or main.lua" in done.stderr
    assert time.monotonic() - began < 10, "waited for a debuggee that the controller refused"
    assert script(sim)["prjname"] != "nosuch"


def test_json_lines_of_a_run_and_no_json_debugging(sim):
    sim.script("told", "SetDO(12, false)\nprint('told')\nSetDO(12, true)\n")
    done = varlo("script", "run", ADDRESS, "told", "--json")
    assert done.returncode == 0, done.stdout + done.stderr
    events = [json.loads(line) for line in done.stdout.splitlines()]
    assert {"event": "print", "text": "told"} in events and events[-1] == {"event": "ended"}, done.stdout
    assert script(sim)["value"] == "stop" and 13 in outputs_on(sim.state())
    # A debug session is a conversation: --json is refused before anything starts.
    sim.script("untold", "SetDO(13, true)\n")
    done = varlo("script", "debug", ADDRESS, "untold", "--json")
    assert done.returncode == 3 and json.loads(done.stdout)["exit"] == 3, done.stdout + done.stderr
    assert script(sim)["prjname"] != "untold" and 14 not in outputs_on(sim.state())


def test_values_round_trip_through_the_command_line(sim):
    # The script checks the values that the session set: output 6 says it found them.
    sim.script("values", "s = 'start'\nt = 0\nSetDO(5, false)\n"
                         "if s == [[it's \"q\" <tag> a>b]] and t[1][1] == 'x' and next(t[2]) == nil and t.k == '{}'"
                         " then SetDO(5, true) end\n")
    session = "b 3\nc\nset s 'it\\'s \"q\" <tag> a>b'\nset t {{'x'}, {}, k = '{}'}\np s\np t\nbt\nc\n"
    done = varlo("script", "debug", ADDRESS, "values", stdin=session)
    assert done.returncode == 0, done.stdout + done.stderr
    assert script(sim)["value"] == "stop" and 6 in outputs_on(sim.state()), done.stdout
    # Shown as Lua writes them, after `set`, by `p` and by `bt`.
    for shown in ("s = 'it\\'s \"q\" <tag> a>b'", "t = {{'x'}, {}, k = '{}'}"):
        assert done.stdout.count(shown) == 3, done.stdout


def test_a_session_after_one_that_stepped_past_the_end(sim):
    sim.script("steps", "SetDO(6, false)\nSetDO(7, false)\nSetDO(6, true)\nSetDO(7, true)\n")
    done = varlo("script", "debug", ADDRESS, "steps", stdin="b 4\nc\nn\n")
    assert done.returncode == 0 and "the script has ended" in done.stdout, done.stdout + done.stderr
    assert script(sim)["value"] == "stop" and {7, 8} <= outputs_on(sim.state())
    # Its first step is a step: three steps run lines 1 to 3, q stops it before line 4.
    done = varlo("script", "debug", ADDRESS, "steps", stdin="s\ns\ns\nq\n")
    assert done.returncode == 0 and "paused at line 4" in done.stdout, done.stdout + done.stderr
    state = sim.state()
    assert state["script"]["value"] == "stop" and 7 in outputs_on(state) and 8 not in outputs_on(state)


def test_the_readme_session_on_the_demo(sim):
    done = varlo("script", "debug", ADDRESS, "demo", stdin="b 8\nc\np total\nn\nset total 40\nbt\nq\n")
    assert done.returncode == 0, done.stdout + done.stderr
    for shown in ("paused at line 8", "total = 0", "total = 40", "stopped"):
        assert shown in done.stdout, done.stdout
    for chatter in ("Server", "Waitting"):
        assert chatter not in done.stdout
    assert script(sim)["value"] == "stop"


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
    assert script(sim)["value"] == "run"
    sim.post("/debugger/stop", {})
    assert sim.wait(lambda state: state["script"]["value"] == "stop")


MOVES = "while true do\n  JointMovJ({60, 0, 90, 0, 90, 0})\n  JointMovJ({-60, 0, 90, 0, 90, 0})\nend\n"


@pytest.mark.parametrize("mode,number,code", [("run", signal.SIGINT, 130), ("run", signal.SIGTERM, 143),
                                              ("debug", signal.SIGINT, 130), ("debug", signal.SIGTERM, 143)])
def test_an_interrupted_host_stops_the_script_and_the_arm(sim, mode, number, code):
    sim.post("/settings/controlMode", {"controlMode": "enable"})
    sim.script("moves", MOVES)
    host = start("script", mode, ADDRESS, "moves")
    if mode == "debug":
        host.stdin.write("c\n")
        host.stdin.flush()
    assert sim.wait(lambda state: state["script"]["value"] == "run" and state["moving"])
    host.send_signal(number)
    output, errors = host.communicate(timeout=15)
    assert host.returncode == code, output + errors
    stopped = sim.state()
    assert stopped["script"]["value"] == "stop"
    time.sleep(0.3)
    assert not sim.state()["moving"] and sim.state()["jointCoordinate"] == stopped["jointCoordinate"]


def test_a_script_that_pauses_itself(sim):
    sim.script("pausing", "SetDO(10, false)\nprint('before')\npause()\nSetDO(10, true)\n")
    host = start("script", "run", ADDRESS, "pausing")
    assert sim.wait(lambda state: state["script"]["value"] == "pause")
    host.send_signal(signal.SIGTERM)
    output, errors = host.communicate(timeout=15)
    assert host.returncode == 143, output + errors
    assert "the script paused itself at line 3" in output, output
    assert script(sim)["value"] == "stop" and 11 not in outputs_on(sim.state())


def test_a_second_program_is_refused(sim):
    sim.script("loop", LOOP)
    first = start("script", "run", ADDRESS, "loop")
    try:
        assert sim.wait(lambda state: state["script"]["value"] == "run")
        second = varlo("script", "run", ADDRESS, "demo")
        assert second.returncode == 2, second.stdout + second.stderr
        assert "UDP port 5000 is taken by varlo (pid %d)" % first.pid in second.stderr
        # The first program's script goes on, and the first program still follows it.
        assert script(sim)["value"] == "run" and script(sim)["prjname"] == "loop"
        first.send_signal(signal.SIGINT)
        output, errors = first.communicate(timeout=15)
        assert first.returncode == 130 and "line 6" in output, output + errors
        assert script(sim)["value"] == "stop"
    finally:
        first.kill()


def test_a_killed_host_leaves_no_script_running(sim):
    sim.script("loop", LOOP)
    host = start("script", "debug", ADDRESS, "loop")
    host.stdin.write("c\n")
    host.stdin.flush()
    assert sim.wait(lambda state: state["script"]["value"] == "run")
    host.kill()
    host.communicate()
    # The debug server sees its host gone and stops the script.
    assert sim.wait(lambda state: state["script"]["value"] == "stop", 5)
