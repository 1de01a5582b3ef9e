"""A VarloSim of the tests' own: VARLOSIM names the program (default: build/sim/VarloSim),
VARLO_TEST_ADDRESS its loopback address (default 127.0.0.90)."""
import json
import os
import shutil
import subprocess
import time
import urllib.request

import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


@pytest.fixture(scope="session")
def sim(tmp_path_factory):
    program = os.environ.get("VARLOSIM") or os.path.join(ROOT, "build", "sim", "VarloSim")
    if not os.path.isfile(program):
        pytest.skip("VarloSim is not built")
    address, folder = os.environ.get("VARLO_TEST_ADDRESS", "127.0.0.90"), tmp_path_factory.mktemp("varlosim")
    shutil.copy2(program, folder / "VarloSim")  # run from a folder of its own, as a user would
    log = folder / "VarloSim.log"
    with open(log, "w") as output:
        process = subprocess.Popen([str(folder / "VarloSim"), "--root", str(folder), "--address", address,
                                    "--exit-with-parent"], stdout=output, stderr=subprocess.STDOUT)
    deadline = time.monotonic() + 10
    while "VarloSim ready" not in log.read_text():
        assert process.poll() is None and time.monotonic() < deadline, log.read_text()
        time.sleep(0.1)
    yield address
    process.terminate()
    process.wait(10)


def post(address, path, body):
    """A POST to the simulator's API, for what only a test does (inputs, alarms)."""
    request = urllib.request.Request("http://%s:22000%s" % (address, path), json.dumps(body).encode(),
                                     {"Content-Type": "application/json"})
    with urllib.request.urlopen(request, timeout=3) as reply:
        return json.load(reply)
