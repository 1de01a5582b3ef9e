"""The Python example host examples/python/varlo_host.py, judged by what it does to the arm,
read from VarloSim's own state while it runs (127.0.0.92): it turns joint 1 by 15 degrees,
lifts the tool 20 mm at 60 % speed, switches output 2 on and off again, goes back to where it started and
leaves the arm disabled, with no alarm left by the target out of reach it tries.

VARLOSIM names the simulator (default: the build tree's); the package and its compiled core
come from PYTHONPATH and VARLO_LIBRARY, as for the package's own tests."""
import os
import subprocess
import sys
import time

from varlosim import changed, module_sim, outputs_on

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
EXAMPLE = os.path.join(ROOT, "examples", "python", "varlo_host.py")
VARLOSIM = os.environ.get("VARLOSIM", os.path.join(ROOT, "build", "sim", "VarloSim"))

sim = module_sim(VARLOSIM, os.environ.get("VARLO_TEST_ADDRESS", "127.0.0.92"), 6, EXAMPLE)


def test_the_example_moves_the_arm_as_it_says_and_leaves_it_as_found(sim):
    before = sim.state()
    child = subprocess.Popen([sys.executable, EXAMPLE, sim.address], stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, text=True)
    seen = []  # the arm's states while the example runs
    while child.poll() is None:
        seen.append(sim.state())
        time.sleep(0.02)
    output = child.communicate(timeout=30)[0]
    assert child.returncode == 0, output
    after = sim.state()

    def most(key, index):
        return max(state[key][index] - before[key][index] for state in seen)
    assert abs(most("jointCoordinate", 0) - 15) < 0.1, output  # jointmovj: joint 1 by +15 only
    assert abs(most("cartesianCoordinate", 2) - 20) < 0.1, output  # relmovl: 20 mm up
    assert any(outputs_on(state) == outputs_on(before) | {2} for state in seen), output
    # Back where it started, output 2 off again, disabled on leaving, nothing moving or alarmed.
    assert not changed(before, after, "jointCoordinate", 0.01), (before, after)
    assert outputs_on(after) == outputs_on(before) and not after["moving"]
    assert after["controlMode"] == "disable" and after["controlParams"][0] == 60, after  # speed 60 %
    assert not any(any(group) for group in sim.post("/protocol/exchange", {})["alarms"])
