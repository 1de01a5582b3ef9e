#!/usr/bin/env python3
# The VarloSim panel end to end, in headless Chromium: the page loads without
# console errors, follows the arm that a host program moves through the
# library and plots its joints and tool speed, passes a clicked input to the
# library, stops a blocking motion with its emergency stop, and gets its live
# updates at 20 Hz or more.
#   tst_panel.py VARLOSIM PANELHOST ARTEFACT_FOLDER
import json
import os
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

SIM, HOST, OUT = sys.argv[1:4]
ADDRESS = "127.0.0.68"
PANEL = f"http://{ADDRESS}:22080/"
TARGET = [60, 20, 10, 0, 60, 0]
# Joints 1 and 6 turn: the tool point keeps its distance from the base axis, so
# that its speed stays even while the motion cruises.
PLOT_TARGET = [20, 20, 10, 0, 60, 40]


def wait_until(condition, seconds=10):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(0.05)
    return False


class PanelTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        os.makedirs(OUT, exist_ok=True)
        cls.root = tempfile.TemporaryDirectory()
        cls.sim = subprocess.Popen([SIM, "--root", cls.root.name, "--address", ADDRESS, "--exit-with-parent"],
                                   stdout=subprocess.PIPE, text=True)
        assert wait_until(lambda: "VarloSim ready" in cls.sim.stdout.readline()), "VarloSim did not start"
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for flag in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--user-data-dir=" + tempfile.mkdtemp(), "--window-size=1400,900",
                     # WebGL in software, so that the page draws with three.js as on a desktop.
                     "--use-angle=swiftshader", "--enable-unsafe-swiftshader"]:
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        cls.browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        cls.browser.get(PANEL)
        assert wait_until(lambda: cls.stats()["messages"] > 0), "no live update arrived"

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()
        cls.sim.terminate()
        cls.sim.wait(10)

    @classmethod
    def stats(cls):
        return cls.browser.execute_script("return Object.assign({}, window.panelStats)")

    def host(self, *args):
        process = subprocess.Popen([HOST, ADDRESS] + [str(a) for a in args], stdout=subprocess.PIPE, text=True)
        self.assertIn("connected", process.stdout.readline())
        return process

    def result(self, process):
        process.communicate(timeout=30)
        return process.returncode

    def sim_state(self):
        """VarloSim's own state (its panel port's GET /state)."""
        with urllib.request.urlopen(PANEL + "state", timeout=3) as reply:
            return json.load(reply)

    def newest(self):
        """The newest sample the plot drew: its joints and tool speed."""
        return self.stats()["newest"] or {"speed": -1, "joints": []}

    def plot_pixels(self):
        """How many pixels of the plot have each joint's colour, and the speed's."""
        return self.browser.execute_script("""
            const canvas = document.querySelector('#plot canvas');
            const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
            const colours = [...PLOT_COLOURS, SPEED_COLOUR].map((c) => [1, 3, 5].map((i) => parseInt(c.substr(i, 2), 16)));
            const counts = colours.map(() => 0);
            for (let p = 0; p < data.length; p += 4) {
              colours.forEach((c, i) => { if (c.every((v, k) => Math.abs(v - data[p + k]) < 24)) counts[i] += 1; });
            }
            return counts;""")

    def joints(self):
        cells = self.browser.find_elements(By.CSS_SELECTOR, "#positions tbody tr:first-child td")
        return [float(cell.text) for cell in cells]

    def shot(self, name):
        path = os.path.join(OUT, name + ".png")
        self.browser.save_screenshot(path)
        with open(path, "rb") as image:
            return image.read()

    def test_1_loads_without_console_errors(self):
        self.shot("loaded")
        self.assertEqual([e for e in self.browser.get_log("browser") if e["level"] == "SEVERE"], [])
        self.assertTrue(self.browser.execute_script("return !!document.querySelector('#view canvas')"))

    def test_2_live_updates_at_20_hz_or_more(self):
        first = self.stats()
        time.sleep(1)
        last = self.stats()
        rate = (last["messages"] - first["messages"]) / ((last["last"] - first["last"]) / 1000)
        print(f"live updates: {rate:.1f} per second")
        self.assertGreaterEqual(rate, 20)

    def test_3_movj_through_the_library_moves_the_drawn_arm(self):
        before = self.shot("before-move")
        self.assertNotEqual(self.joints()[:3], TARGET[:3])
        host = self.host("move", *TARGET)
        self.assertEqual(self.result(host), 0)
        self.assertTrue(wait_until(lambda: all(abs(a - b) < 0.01 for a, b in zip(self.joints(), TARGET))), self.joints())
        time.sleep(0.3)
        self.assertNotEqual(self.shot("after-move"), before)

    def test_4_the_plot_follows_a_motion(self):
        host = self.host("slow", *PLOT_TARGET)
        self.assertIn("moving", host.stdout.readline())
        # Halfway, where the tool's speed changes least, the plot draws every
        # joint and the tool's speed, in mm/s as VarloSim's own poses give it.
        halfway = (TARGET[0] + PLOT_TARGET[0]) / 2
        self.assertTrue(wait_until(lambda: self.sim_state()["jointCoordinate"][0] <= halfway, 30))
        first = self.sim_state()
        time.sleep(0.4)
        speed = self.newest()["speed"]
        time.sleep(0.4)
        last = self.sim_state()
        self.assertTrue(last["moving"], "the motion ended too soon to be judged")
        moved = sum((a - b) ** 2 for a, b in zip(last["tcpFrame"]["p"], first["tcpFrame"]["p"])) ** 0.5
        ratio = speed / (moved / (last["time"] - first["time"]))
        print(f"plotted tool speed {speed:.1f} mm/s, {ratio:.2f} times VarloSim's about then")
        self.assertLess(abs(ratio - 1), 0.25)
        self.assertTrue(all(count > 20 for count in self.plot_pixels()), self.plot_pixels())
        self.assertEqual(self.result(host), 0)
        # Standing at the target: the newest sample is VarloSim's state.
        joints = self.sim_state()["jointCoordinate"]
        self.assertTrue(wait_until(lambda: self.newest()["speed"] == 0
                                   and all(abs(a - b) < 0.01 for a, b in zip(self.newest()["joints"], joints))),
                        (self.newest(), joints))
        self.assertGreater(self.stats()["plotted"], 25)
        time.sleep(0.3)
        self.shot("plot-after-move")
        self.assertTrue(all(count > 20 for count in self.plot_pixels()), self.plot_pixels())

    def test_5_a_clicked_input_reaches_the_library(self):
        host = self.host("input", 5)
        self.browser.find_element(By.CSS_SELECTOR, '#di [data-index="4"]').click()
        self.assertEqual(self.result(host), 0)
        self.assertEqual(self.browser.find_element(By.CSS_SELECTOR, '#di [data-index="4"]').get_attribute("aria-pressed"), "true")

    def test_6_emergency_stop_ends_a_blocking_motion_with_1(self):
        host = self.host("slow", -60, 0, 0, 0, 90, 0)
        self.assertIn("moving", host.stdout.readline())
        self.assertTrue(wait_until(lambda: "moving" in self.browser.find_element(By.ID, "state").text))
        self.browser.find_element(By.ID, "estop").click()
        self.assertEqual(self.result(host), 1)
        self.assertTrue(wait_until(lambda: "Emergency stop" in self.browser.find_element(By.ID, "alarms").text))
        self.shot("emergency-stop")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
