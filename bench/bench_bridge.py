#!/usr/bin/env python3
"""A lab of virtual arms bridged to Mosquitto: what it costs and how fast state travels.

    bench/bench_bridge.py [ARMS] [SECONDS]          (100 arms, 30 s by default)

Starts VarloSim --arms ARMS (127.0.20.1 and up), a Mosquitto broker (127.0.20.250, a free port)
and varlo-bridge between them, waits until every arm is online, then prints:
- CPU of the lab, the bridge and the broker over SECONDS (% of one core), their memory and threads;
- the time from an exchange reply (the state's "time") to a subscriber's receipt, median and p99;
- the broker's restart: the time until a new subscriber has a fresh state of every arm.
VARLOSIM and VARLO_BRIDGE name the programs (default: build/)."""
import json
import os
import socket
import statistics
import subprocess
import sys
import tempfile
import time

import paho.mqtt.client as mqtt

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ARMS = int(sys.argv[1]) if len(sys.argv) > 1 else 100
SECONDS = float(sys.argv[2]) if len(sys.argv) > 2 else 30
FIRST, BROKER = "127.0.20.1", "127.0.20.250"
TICKS = os.sysconf("SC_CLK_TCK")


def address(i):
    a, b, c, d = (int(x) for x in FIRST.split("."))
    n = (a << 24 | b << 16 | c << 8 | d) + i
    return ".".join(str(n >> s & 255) for s in (24, 16, 8, 0))


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def status(pid, key):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(key + ":"):
                return line.split()[1]
    return "?"


class Watcher:
    """A subscriber that keeps the latest state of every arm and the delays of their arrival."""

    def __init__(self, port):
        self.states, self.delays, self.online = {}, [], {}
        self.client = mqtt.Client(client_id="bench-%f" % time.monotonic(), protocol=mqtt.MQTTv5)
        self.client.on_message = self.received
        self.client.connect(BROKER, port)
        self.client.subscribe([("varlo/v1/+/state", 0), ("varlo/v1/+/online", 1)])
        self.client.loop_start()

    def received(self, client, data, message):
        now = time.time() * 1000
        payload = json.loads(message.payload)
        arm = message.topic.split("/")[2]
        if message.topic.endswith("/online"):
            self.online[arm] = payload["online"]
        elif not message.retain:
            self.delays.append(now - payload["time"])
            self.states[arm] = (now, payload)
        else:
            self.states.setdefault(arm, (0, payload))

    def close(self):
        self.client.loop_stop()
        self.client.disconnect()


def wait(condition, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.05)
    return False


def main():
    sim = os.environ.get("VARLOSIM", os.path.join(ROOT, "build", "sim", "VarloSim"))
    bridge = os.environ.get("VARLO_BRIDGE", os.path.join(ROOT, "build", "tools", "varlo-bridge", "varlo-bridge"))
    folder = tempfile.mkdtemp(prefix="bench-bridge-")
    with socket.socket() as probe:
        probe.bind((BROKER, 0))
        port = probe.getsockname()[1]
    conf = os.path.join(folder, "mosquitto.conf")
    with open(conf, "w") as f:
        f.write("listener %d %s\nallow_anonymous true\npersistence false\n" % (port, BROKER))
    arms = os.path.join(folder, "arms.conf")
    with open(arms, "w") as f:
        f.writelines("arm%d %s\n" % (i + 1, address(i)) for i in range(ARMS))
    log = open(os.path.join(folder, "log.txt"), "w")
    mosquitto = ["mosquitto"] if subprocess.run(["which", "mosquitto"], capture_output=True).returncode == 0 \
        else ["/usr/sbin/mosquitto"]
    processes = {
        "broker": subprocess.Popen(mosquitto + ["-c", conf], stdout=log, stderr=log),
        "lab": subprocess.Popen([sim, "--root", folder, "--address", FIRST, "--arms", str(ARMS), "--no-panel",
                                 "--exit-with-parent"], stdout=log, stderr=log),
    }
    time.sleep(1)
    processes["bridge"] = subprocess.Popen([bridge, "--broker", "%s:%d" % (BROKER, port), "--config", arms],
                                           stdout=log, stderr=log)
    try:
        watcher = Watcher(port)
        started = time.monotonic()
        if not wait(lambda: sum(watcher.online.values()) == ARMS, 120):
            sys.exit("only %d of %d arms came online" % (sum(watcher.online.values()), ARMS))
        print("all %d arms online %.1f s after the bridge started" % (ARMS, time.monotonic() - started))
        time.sleep(3)
        print("load average before: %s" % open("/proc/loadavg").read().strip())
        before = {name: cpu_seconds(p.pid) for name, p in processes.items()}
        watcher.delays.clear()
        clock = time.monotonic()
        time.sleep(SECONDS)
        elapsed = time.monotonic() - clock
        total = 0.0
        for name, p in processes.items():
            share = (cpu_seconds(p.pid) - before[name]) / elapsed * 100
            total += share
            print("%-7s CPU %5.1f %% of one core, RSS %s kB, threads %s"
                  % (name, share, status(p.pid, "VmRSS"), status(p.pid, "Threads")))
        print("together CPU %5.1f %% of one core for %d arms (%.2f %% per arm)" % (total, ARMS, total / ARMS))
        print("load average after: %s" % open("/proc/loadavg").read().strip())
        delays = sorted(watcher.delays)
        print("states received %d (%.1f per arm per second)" % (len(delays), len(delays) / elapsed / ARMS))
        print("exchange reply to subscriber: median %.2f ms, p99 %.2f ms"
              % (statistics.median(delays), delays[int(len(delays) * 0.99)]))
        watcher.close()

        # The broker goes away and comes back, with nothing kept.
        processes["broker"].terminate()
        processes["broker"].wait(10)
        restarted = time.time() * 1000
        clock = time.monotonic()
        processes["broker"] = subprocess.Popen(mosquitto + ["-c", conf], stdout=log, stderr=log)
        fresh = None
        while time.monotonic() - clock < 60:
            try:
                fresh = Watcher(port)
                break
            except OSError:
                time.sleep(0.02)
        recovered = wait(lambda: len([1 for at, s in list(fresh.states.values()) if s["time"] > restarted]) == ARMS, 60)
        print("broker restart: a fresh state of all %d arms %.2f s after the restart%s"
              % (ARMS, time.monotonic() - clock, "" if recovered else " (not all came back)"))
        fresh.close()
    finally:
        for name in ("bridge", "lab", "broker"):
            processes[name].terminate()
            processes[name].wait(10)


if __name__ == "__main__":
    main()
