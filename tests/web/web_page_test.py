#!/usr/bin/python3
"""tavlin-server's web page in a real browser (headless Chromium driven by
Selenium) on the virtual instrument: the page loads, draws a trace that
changes from sweep to sweep, its keys reach the instrument as an SCPI client
sees it, and without the token nothing is served. Runs under ctest:

    web_page_test.py TAVLIN_SERVER [SCREENSHOT.png]

With a second argument the page's screenshot is written there.
"""
import json
import os
import re
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

SERVER = sys.argv[1] if len(sys.argv) > 1 else "build/tavlin-server"
SCREENSHOT = sys.argv[2] if len(sys.argv) > 2 else None
STRONGEST_HZ = 915.2e6
SCENE = {"signals": [{"freq_hz": 910.0e6, "level_dbm": -45},
                     {"freq_hz": STRONGEST_HZ, "level_dbm": -20},
                     {"freq_hz": 921.0e6, "level_dbm": -35}]}


class Server:
    """tavlin-server on the scene, in its own folder, on free ports."""

    def __init__(self, folder, *options):
        scene = os.path.join(folder, "scene.json")
        with open(scene, "w") as f:
            json.dump(SCENE, f)
        self.log = os.path.join(folder, "server.log")
        with open(self.log, "w") as log:
            self.process = subprocess.Popen(
                [SERVER, "--simulate=" + scene, "--scpi=127.0.0.1:0", "--web=127.0.0.1:0",
                 *options], cwd=folder, stdin=subprocess.DEVNULL, stderr=log)
        self.web = self.announced(r"web page on 127\.0\.0\.1 port (\d+)")
        self.scpi = self.announced(r"SCPI on 127\.0\.0\.1 port (\d+)")
        self.url = f"http://127.0.0.1:{self.web}"

    def announced(self, pattern):
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            with open(self.log) as log:
                text = log.read()
            found = re.search(pattern, text)
            if found:
                return int(found.group(1))
            assert self.process.poll() is None, text
            time.sleep(0.1)
        raise AssertionError("not announced: " + pattern)

    def ask(self, query):
        with socket.create_connection(("127.0.0.1", self.scpi), timeout=10) as s:
            s.sendall(query.encode() + b"\n")
            return s.makefile("rb").readline().decode().strip()

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


def browser():
    options = webdriver.ChromeOptions()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu",
                     "--disable-dev-shm-usage", "--window-size=1040,1000"):
        options.add_argument(argument)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def status(url, headers=None):
    """The status and body of a GET."""
    try:
        with urllib.request.urlopen(urllib.request.Request(url, headers=headers or {}),
                                    timeout=10) as reply:
            return reply.status, reply.read(100)
    except urllib.error.HTTPError as error:
        return error.code, error.read()


class OpenPageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.server = Server(cls.folder.name)
        cls.browser = browser()
        cls.browser.get(cls.server.url + "/")
        cls.wait = WebDriverWait(cls.browser, 30, poll_frequency=0.05)
        cls.wait.until(lambda b: b.execute_script(
            "return window.tavlinLast && window.tavlinLast.connected && "
            "window.tavlinLast.traceA.some(r => r !== null)"))

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()
        cls.server.stop()
        cls.folder.cleanup()

    def script(self, code):
        return self.browser.execute_script(code)

    def test_spectrogram_ticked_runs_the_waterfall_below(self):
        self.browser.find_element(By.ID, "spectrogram-on").click()
        self.wait.until(lambda b: b.execute_script(
            "const s = window.tavlinLast.spectrogram;"
            "return s && s.seq > 1 && s.levels.length === 641 && "
            "!document.getElementById('spectrogram').hidden"))

    def test_the_trace_saves_as_csv_and_the_screen_as_png(self):
        csv, png = self.browser.execute_async_script("""
            const done = arguments[arguments.length - 1];
            const csv = fetch('/api/trace.csv').then(r => r.text());
            const png = new Promise(resolve => document.getElementById('screen').toBlob(
                blob => blob.arrayBuffer().then(b => resolve(Array.from(new Uint8Array(b, 0, 8)))),
                'image/png'));
            Promise.all([csv, png]).then(done);""")
        lines = csv.splitlines()
        self.assertEqual(lines[0], "Frequency (Hz),Level (dBm)")
        self.assertEqual(len(lines), 642)
        self.assertEqual(bytes(png), b"\x89PNG\r\n\x1a\n")

    def test_the_trace_is_drawn_and_changes_from_sweep_to_sweep(self):
        first = self.script("return [window.tavlinFrames, window.tavlinLast.traceA]")
        self.wait.until(lambda b: b.execute_script(
            "return window.tavlinFrames > arguments[0] && "
            "JSON.stringify(window.tavlinLast.traceA) !== JSON.stringify(arguments[1])",
            *first))
        green = self.script("""
            const data = document.getElementById('screen').getContext('2d')
                .getImageData(10, 70, 641, 501).data;
            let n = 0;
            for (let i = 0; i < data.length; i += 4)
                if (data[i] === 0 && data[i + 1] === 255 && data[i + 2] === 0) n++;
            return n;""")
        self.assertGreater(green, 500, "trace A is not drawn in green")
        status_line = self.browser.find_element(By.ID, "status")
        self.assertEqual(status_line.get_attribute("data-connected"), "true")
        self.assertIn("TV000123", self.browser.find_element(By.ID, "unit").text)
        self.assertIn("START 902", self.script(
            "return window.tavlinLast.texts.map(t => t.text).join('|')"))
        if SCREENSHOT:
            for field in self.browser.find_elements(By.CSS_SELECTOR, "#panel input:not([type=checkbox])"):
                field.clear()
            self.browser.find_element(By.ID, "peak").click()
            self.wait.until(lambda b: b.execute_script(
                "return window.tavlinLast.markers.length === 1"))
            time.sleep(8)  # the waterfall fills a little
            self.browser.save_screenshot(SCREENSHOT)

    def test_a_centre_set_on_the_page_is_seen_by_an_scpi_client(self):
        field = self.browser.find_element(By.ID, "center")
        field.clear()
        field.send_keys("916.5")
        self.browser.find_element(By.CSS_SELECTOR, "button[data-field=center]").click()
        deadline = time.monotonic() + 10
        while self.server.ask("FREQ:CENT?") != "916500000.000":
            self.assertLess(time.monotonic(), deadline, "the centre never reached SCPI")
            time.sleep(0.1)
        field.clear()
        field.send_keys("nine hundred")
        self.browser.find_element(By.CSS_SELECTOR, "button[data-field=center]").click()
        self.wait.until(lambda b: b.find_element(By.ID, "message").text != "")
        self.assertEqual(self.server.ask("FREQ:CENT?"), "916500000.000")
        self.server.ask("FREQ:CENT 915 MHZ;*OPC?")

    def test_peak_puts_the_marker_on_the_strongest_emitter(self):
        self.browser.find_element(By.ID, "peak").click()
        self.wait.until(lambda b: b.execute_script(
            "return window.tavlinLast.markers.length === 1 && "
            "window.tavlinLast.readout.text !== ''"))
        marker_hz = float(self.server.ask("CALC:MARK:X?"))
        self.assertAlmostEqual(marker_hz, STRONGEST_HZ, delta=150e3)


class TokenTest(unittest.TestCase):
    def test_a_wrong_or_missing_token_gets_401_and_no_data(self):
        with tempfile.TemporaryDirectory() as folder:
            token_file = os.path.join(folder, "token")
            server = Server(folder, "--token-file=" + token_file)
            try:
                self.assertEqual(os.stat(token_file).st_mode & 0o777, 0o600)
                with open(token_file) as f:
                    token = f.read().strip()
                for path in ("/", "/app.js", "/api/screen", "/api/stream", "/api/trace.csv"):
                    self.assertEqual(status(server.url + path), (401, b""), path)
                    self.assertEqual(status(server.url + path + "?token=x" + token),
                                     (401, b""), path)
                    self.assertEqual(status(server.url + path,
                                            {"Authorization": "Bearer " + token[:-1]}),
                                     (401, b""), path)
                page = browser()
                try:
                    page.get(f"{server.url}/?token={token}")
                    WebDriverWait(page, 30).until(lambda b: b.execute_script(
                        "return window.tavlinLast && window.tavlinLast.connected"))
                finally:
                    page.quit()
            finally:
                server.stop()


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
