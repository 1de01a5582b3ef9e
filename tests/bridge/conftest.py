"""A lab of VarloSim arms, a Mosquitto broker and varlo-bridge, all of the tests' own.

VARLOSIM and VARLO_BRIDGE name the programs. The lab serves arms "a" to "c" on 127.0.0.110 to
.112, a single VarloSim serves arm "d" on .113 (so that one controller can go away alone),
and the broker listens on 127.0.0.115 at a free port."""
import json
import os
import queue
import signal
import socket
import subprocess
import time
import urllib.request

import pytest

paho = pytest.importorskip("paho.mqtt.client")
from paho.mqtt.packettypes import PacketTypes  # noqa: E402
from paho.mqtt.properties import Properties  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
LAB = {"a": "127.0.0.110", "b": "127.0.0.111", "c": "127.0.0.112"}
SINGLE = ("d", "127.0.0.113")
BROKER = "127.0.0.115"
ALLOWED = "enable,movj,jointmovj,relmovj,io,stop,script"


def program(variable, *path):
    found = os.environ.get(variable) or os.path.join(ROOT, "build", *path)
    if not os.path.isfile(found):
        pytest.skip("%s is not built" % found)
    return found


def wait_for(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError("no %s within %s s" % (what, seconds))


def arm_state(address):
    """What the arm does, as VarloSim itself reports it (its panel port)."""
    with urllib.request.urlopen("http://%s:22080/state" % address, timeout=3) as reply:
        return json.load(reply)


class Process:
    def __init__(self, folder, name, command):
        self.folder, self.name, self.command, self.process = folder, name, command, None

    def start(self, ready=None):
        self.log = self.folder / (self.name + ".log")
        with open(self.log, "a") as output:
            self.process = subprocess.Popen(self.command, stdout=output, stderr=subprocess.STDOUT)
        if ready:
            wait_for(lambda: ready in self.log.read_text() or self.process.poll() is not None, 10, self.name)
            assert self.process.poll() is None, self.log.read_text()
        return self

    def stop(self, sig=signal.SIGTERM):
        if self.process and self.process.poll() is None:
            self.process.send_signal(sig)
            self.process.wait(10)
        return self.process.returncode if self.process else None


class Bus:
    """An MQTT 5 client of the test: every message it receives, in order."""

    def __init__(self, port, *filters):
        self.messages = queue.Queue()
        self.latest = {}  # topic -> the last payload
        self.client = paho.Client(client_id="test-%d-%f" % (os.getpid(), time.monotonic()), protocol=paho.MQTTv5)
        self.client.on_message = lambda client, data, message: self.received(message)
        self.client.connect(BROKER, port)
        for topic in filters:
            self.client.subscribe(topic, qos=1)
        self.client.loop_start()

    def received(self, message):
        try:
            payload = json.loads(message.payload)
        except ValueError:  # the tests' own malformed commands
            payload = None
        self.latest[message.topic] = payload
        self.messages.put((message, payload))

    def drain(self):
        """Forgets what arrived so far."""
        while not self.messages.empty():
            self.messages.get()

    def next(self, topic_filter, seconds=10, where=lambda payload: True):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            try:
                message, payload = self.messages.get(timeout=max(0.01, deadline - time.monotonic()))
            except queue.Empty:
                break
            if payload is not None and paho.topic_matches_sub(topic_filter, message.topic) and where(payload):
                return message, payload
        raise AssertionError("nothing on %s within %s s" % (topic_filter, seconds))

    def command(self, arm, name, payload, correlation=b"", seconds=25):
        """Publishes a command with a response topic and returns the answer's payload."""
        properties = Properties(PacketTypes.PUBLISH)
        properties.ResponseTopic = "test/answers"
        properties.CorrelationData = correlation or ("%s-%f" % (name, time.monotonic())).encode()
        body = payload if isinstance(payload, (bytes, str)) else json.dumps(payload)
        self.client.publish("varlo/v1/%s/cmd/%s" % (arm, name), body, qos=1, properties=properties)
        message, answer = self.next("test/answers", seconds,
                                    lambda a: a.get("command") == name and a.get("arm") == arm)
        assert message.properties.CorrelationData == properties.CorrelationData
        return answer

    def close(self):
        self.client.loop_stop()
        self.client.disconnect()


def every_arm_online(port):
    watcher = Bus(port, "varlo/v1/+/online")
    try:
        names = [arm for arm in LAB] + [SINGLE[0]]
        wait_for(lambda: all((watcher.latest.get("varlo/v1/%s/online" % arm) or {}).get("online") for arm in names),
                 15, "arms online")
    finally:
        watcher.close()


@pytest.fixture(scope="module")
def lab(tmp_path_factory):
    folder = tmp_path_factory.mktemp("bridge")
    with socket.socket() as probe:
        probe.bind((BROKER, 0))
        port = probe.getsockname()[1]
    (folder / "mosquitto.conf").write_text("listener %d %s\nallow_anonymous true\npersistence false\nlog_dest stderr\n" % (port, BROKER))
    sim = program("VARLOSIM", "sim", "VarloSim")
    bridge = program("VARLO_BRIDGE", "tools", "varlo-bridge", "varlo-bridge")
    (folder / "single").mkdir()
    parts = {
        "broker": Process(folder, "mosquitto", ["mosquitto", "-c", str(folder / "mosquitto.conf")]),
        "lab": Process(folder, "lab", [sim, "--root", str(folder), "--address", LAB["a"], "--arms", str(len(LAB)),
                                      "--exit-with-parent"]),
        "single": Process(folder, "single", [sim, "--root", str(folder / "single"), "--address", SINGLE[1],
                                            "--exit-with-parent"]),
        "bridge": Process(folder, "bridge", [bridge, "--broker", "%s:%d" % (BROKER, port), "--allow-commands", ALLOWED,
                                            "--client-id", "test-bridge-"]
                          + ["%s=%s" % arm for arm in list(LAB.items()) + [SINGLE]]),
    }
    parts["broker"].start("listen socket on port %d" % port)
    parts["lab"].start("VarloSim ready")
    parts["single"].start("VarloSim ready")
    parts["bridge"].start("varlo-bridge:")
    parts["port"] = port
    parts["folder"] = folder
    parts["online"] = lambda: every_arm_online(port)
    parts["online"]()
    yield parts
    for name in ("bridge", "single", "lab", "broker"):
        parts[name].stop()


@pytest.fixture
def bus(lab):
    client = Bus(lab["port"], "varlo/#", "test/answers")
    yield client
    client.close()
