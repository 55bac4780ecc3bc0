"""The Python driver against the console's SCPI socket on the virtual
instrument, checked against the default scene's carriers:

    903.5 MHz -42 dBm, 915 MHz -25 dBm, 919.25 MHz -60 dBm (AM 1 kHz, 50 %),
    924.6 MHz -50 dBm (FM 1 kHz, 25 kHz peak deviation), 927.4 MHz -75 dBm.

The test starts ``tavlin-cli --simulate=SCENE --scpi=127.0.0.1:0`` in a
folder of its own and reads the port it names on standard error. The console
serves one client and ends with it, so the whole class is one session.
``TAVLIN_CLI`` and ``TAVLIN_SCENE`` name the console and the scene (the
build folder's and the repository's by default).
"""
from __future__ import annotations

import math
import os
import queue
import re
import subprocess
import tempfile
import threading
import unittest
import wave
from typing import IO, Optional

from pyvisa.errors import VisaIOError

from tavlin import ReadingWarning, ScpiError, TavlinAnalyzer

_REPOSITORY = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CLI = os.environ.get("TAVLIN_CLI", os.path.join(_REPOSITORY, "build", "tavlin-cli"))
SCENE = os.environ.get("TAVLIN_SCENE", os.path.join(_REPOSITORY, "scenes", "default.json"))

# The factory-calibrated virtual unit reads a carrier's level within a few
# tenths of a dB in every sweep kind; a peak between two trace points loses
# a little more to the RBW filter's shape.
LEVEL_DB = 0.5


def _read_lines(stream: IO[str], lines: "queue.Queue[str]") -> None:
    """Keeps reading the console's messages so that it never waits on them."""
    for line in stream:
        lines.put(line)


class Console:
    """tavlin-cli serving SCPI on the virtual instrument."""

    def __init__(self, folder: str) -> None:
        self.process = subprocess.Popen(
            [CLI, "--simulate=" + os.path.abspath(SCENE), "--scpi=127.0.0.1:0"],
            cwd=folder, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        self.lines: "queue.Queue[str]" = queue.Queue()
        self.reader = threading.Thread(target=_read_lines, args=(self.process.stderr, self.lines),
                                       daemon=True)
        self.reader.start()

    def port(self) -> int:
        while True:
            line = self.lines.get(timeout=60)
            found = re.search(r"SCPI server on \S+ port (\d+)$", line.strip())
            if found:
                return int(found.group(1))

    def stop(self) -> Optional[int]:
        """Waits for the console to end after its client; kills it if it does not."""
        try:
            return self.process.wait(timeout=60)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            return None
        finally:
            self.reader.join(timeout=5)  # the console has ended: its messages too
            self.process.stderr.close()


class AnalyzerTest(unittest.TestCase):
    folder: tempfile.TemporaryDirectory
    console: Console
    analyzer: TavlinAnalyzer

    @classmethod
    def setUpClass(cls) -> None:
        cls.folder = tempfile.TemporaryDirectory()
        cls.console = Console(cls.folder.name)
        try:
            port = cls.console.port()
            cls.analyzer = TavlinAnalyzer("TCPIP0::127.0.0.1::%d::SOCKET" % port)
        except BaseException:
            cls.console.process.kill()
            cls.folder.cleanup()
            raise

    @classmethod
    def tearDownClass(cls) -> None:
        cls.analyzer.adapter.connection.close()
        ended = cls.console.stop()
        cls.folder.cleanup()
        assert ended == 0, "the console did not end cleanly with its client: %s" % ended

    def setUp(self) -> None:
        self.analyzer.preset()
        self.analyzer.continuous = False
        # A measurement switched on stays on through a preset, and makes
        # step sweeps draw power-averaged points.
        self.analyzer.channel_power_on = self.analyzer.occupied_bandwidth_on = False

    def sweep(self, center_hz: float, span_hz: float) -> None:
        self.analyzer.center_frequency = center_hz
        self.analyzer.span = span_hz
        self.analyzer.single_sweep()

    def test_identity(self) -> None:
        self.assertEqual(self.analyzer.id.split(",")[:3], ["Tavlin", "TAVLIN-44", "TV000123"])

    def test_frequencies_follow_each_other(self) -> None:
        a = self.analyzer
        rows = [  # name, settings in order, (start, stop) expected
            ("centre then span", [("center_frequency", 433.92e6), ("span", 2e6)],
             (432.92e6, 434.92e6)),
            ("start then stop", [("start_frequency", 100e6), ("stop_frequency", 300e6)],
             (100e6, 300e6)),
            ("zero span", [("center_frequency", 915e6), ("span", 0.0)], (915e6, 915e6)),
        ]
        for name, settings, (start, stop) in rows:
            with self.subTest(name):
                for prop, value in settings:
                    setattr(a, prop, value)
                self.assertEqual((a.start_frequency, a.stop_frequency), (start, stop))
                self.assertEqual(a.center_frequency, (start + stop) / 2)
                self.assertEqual(a.span, stop - start)

    def test_settings_read_back(self) -> None:
        rows = [  # property, value set, value read back
            ("reference_level", -30.0, -30.0),
            ("attenuation", 7.0, 5.0),  # steps of 5 dB
            ("average_count", 10, 10.0),
            ("detector", "average", "AVER"),
            ("trace_mode", "MAXHold", "MAXH"),
            ("preamplifier", True, True),
            ("level_unit", "dbuv", "DBUV"),
            ("continuous", True, True),
            ("channel_power_on", True, True),
            ("occupied_bandwidth_on", True, True),
            ("receiver_if_bandwidth", 120e3, 120e3),
            ("receiver_audio_filter", "LPASs", "LPAS"),
            ("receiver_shows_am", True, True),
            ("receiver_shows_fm", False, False),
        ]
        for prop, value, expected in rows:
            with self.subTest(prop):
                setattr(self.analyzer, prop, value)
                self.assertEqual(getattr(self.analyzer, prop), expected)
        self.analyzer.continuous = False

    def test_rbw_is_one_the_sweep_can_give(self) -> None:
        self.analyzer.span = 2e6
        self.analyzer.rbw = 12345.0
        self.assertFalse(self.analyzer.rbw_auto)
        self.assertNotEqual(self.analyzer.rbw, 12345.0)
        self.analyzer.rbw_auto = True
        self.assertTrue(self.analyzer.rbw_auto)
        self.assertEqual(self.analyzer.sweep_points, 641)
        self.assertGreater(self.analyzer.sweep_time, 0.0)

    def test_refusals_raise_with_the_queued_errors(self) -> None:
        a = self.analyzer
        rows = [  # name, action, codes
            ("frequency out of range", lambda: setattr(a, "center_frequency", 5e9), [-222]),
            ("unknown detector", lambda: setattr(a, "detector", "QUASIPEAK"), [-224]),
            ("unknown header", lambda: a.command("FREQ:BOGUS 1"), [-113]),
            ("marker 2 off", lambda: a.marker(2).level, [-221]),
            ("no trace stored as trace B", lambda: a.trace(2), [-221]),
            ("path in a file name", lambda: a.store_state("../x.pqz"), [-257]),
            ("absent state file", lambda: a.load_state("absent.pqz"), [-256]),
        ]
        for name, action, codes in rows:
            with self.subTest(name):
                with self.assertRaises(ScpiError) as raised:
                    action()
                self.assertEqual(raised.exception.codes, codes)
                self.assertEqual(a.error_queue(), [])
        self.assertEqual(a.center_frequency, 915e6)

    def test_text_that_would_end_a_command_is_refused_before_sending(self) -> None:
        a = self.analyzer
        for name, action in [("keyword", lambda: setattr(a, "level_unit", "W;*RST")),
                             ("file name", lambda: a.store_state('x";*RST;"y.pqz'))]:
            with self.subTest(name):
                a.reference_level = -33.0
                with self.assertRaises(ValueError):
                    action()
                self.assertEqual(a.reference_level, -33.0)

    def test_a_reply_that_comes_too_late_is_not_taken_for_the_next(self) -> None:
        a = self.analyzer
        a.center_frequency = 924.6e6
        usual = a.adapter.connection.timeout
        a.adapter.connection.timeout = 300  # ms: a capture at 15 kHz IF takes 2.2 s
        try:
            with self.assertRaises(VisaIOError):
                a.ask("MEAS:REC? 1")
        finally:
            a.adapter.connection.timeout = usual
        self.assertEqual(a.center_frequency, 924.6e6)
        self.assertEqual(a.span, 26e6)

    def test_trace_finds_the_carrier(self) -> None:
        self.sweep(915e6, 2e6)
        frequencies, levels = self.analyzer.trace()
        self.assertEqual((len(frequencies), len(levels)), (641, 641))
        self.assertEqual((frequencies[0], frequencies[-1]), (914e6, 916e6))
        peak = int(levels.argmax())
        self.assertAlmostEqual(frequencies[peak], 915e6, delta=2e6 / 640)
        self.assertAlmostEqual(levels[peak], -25.0, delta=LEVEL_DB)
        self.assertLess(float(levels.min()), -80.0)
        self.assertFalse(any(math.isnan(v) for v in levels))

    def test_trace_in_another_unit(self) -> None:
        self.sweep(915e6, 2e6)
        _, dbm = self.analyzer.trace()
        self.analyzer.level_unit = "DBMV"  # 50 ohm: dBmV = dBm + 47.0
        _, dbmv = self.analyzer.trace()
        self.assertAlmostEqual(float(dbmv.max() - dbm.max()), 46.99, delta=0.01)

    def test_marker_peak_searches(self) -> None:
        self.sweep(915e6, 26e6)
        marker = self.analyzer.marker(1)
        rows = [  # search, carrier's frequency and level, level tolerance
            ("peak", marker.peak, 915e6, -25.0, LEVEL_DB),
            ("next peak", marker.next_peak, 903.5e6, -42.0, LEVEL_DB),
            # Each point's peak catches the FM carrier at another instant.
            ("next peak again", marker.next_peak, 924.6e6, -50.0, 3.0),
        ]
        for name, search, hz, dbm, tolerance_db in rows:
            with self.subTest(name):
                search()
                self.assertAlmostEqual(marker.frequency, hz, delta=26e6 / 640)
                self.assertAlmostEqual(marker.level, dbm, delta=tolerance_db)
        # The nearest peak right of the carrier (a noise peak), then left of
        # that again: the carrier.
        marker.peak()
        marker.next_peak_right()
        self.assertGreater(marker.frequency, 915e6)
        marker.next_peak_left()
        self.assertAlmostEqual(marker.frequency, 915e6, delta=26e6 / 640)

    def test_marker_placed_and_switched(self) -> None:
        self.sweep(915e6, 26e6)
        marker = self.analyzer.marker(1)
        self.assertFalse(marker.on)
        marker.frequency = 903.5e6
        self.assertTrue(marker.on)
        self.assertAlmostEqual(marker.frequency, 903.5e6, delta=26e6 / 640)
        # A placed marker reads its own point, which may lie beside the
        # emitter's crest by up to half a point (and the noise rides on it).
        self.assertAlmostEqual(marker.level, -42.0, delta=2 * LEVEL_DB)
        marker.on = False
        self.assertFalse(marker.on)

    def test_delta_marker_reads_the_difference(self) -> None:
        self.sweep(915e6, 26e6)
        self.analyzer.marker(1).peak()
        self.analyzer.delta = True
        self.analyzer.marker(2).next_peak()
        self.assertAlmostEqual(self.analyzer.delta_frequency, 903.5e6 - 915e6, delta=26e6 / 640)
        self.assertAlmostEqual(self.analyzer.delta_level, -42.0 - -25.0, delta=2 * LEVEL_DB)

    def test_marker_to_centre(self) -> None:
        self.sweep(915e6, 26e6)
        marker = self.analyzer.marker(1)
        marker.peak()
        marker.next_peak()
        marker.to_center()
        self.assertAlmostEqual(self.analyzer.center_frequency, 903.5e6, delta=26e6 / 640)

    def test_noise_marker_reads_density(self) -> None:
        marker = self.analyzer.marker(1)
        marker.noise = True
        self.assertTrue(marker.noise)
        densities = []
        for span_hz in (2e6, 100e3):  # no carrier within 4 MHz; RBW 25 kHz, 1.6 kHz
            self.sweep(910e6, span_hz)
            marker.peak()
            densities.append(marker.level)
        # Per hertz, the noise reads the same through either filter (12 dB
        # apart); the highest point of the noise varies by a dB or two.
        self.assertAlmostEqual(densities[0], densities[1], delta=3.0)
        self.assertLess(densities[0], -120.0)

    def test_counter_counts_the_carrier(self) -> None:
        self.sweep(915e6, 100e3)
        marker = self.analyzer.marker(1)
        marker.peak()
        marker.counter = True
        self.analyzer.single_sweep()
        self.assertTrue(marker.counter)
        self.assertAlmostEqual(marker.counted_frequency, 915e6, delta=10.0)

    def test_channel_power_and_occupied_bandwidth(self) -> None:
        self.analyzer.center_frequency, self.analyzer.span = 915e6, 100e3
        power = self.analyzer.channel_power()
        self.assertAlmostEqual(power.power_dbm, -25.0, delta=LEVEL_DB)
        self.assertLess(power.density_dbm_hz, power.power_dbm - 40.0)
        self.assertEqual(self.analyzer.channel_power(sweep=False), power)
        occupied = self.analyzer.occupied_bandwidth()
        self.assertLess(occupied.bandwidth_hz, 10e3)  # a carrier: about the RBW
        self.assertAlmostEqual(occupied.frequency_error_hz, 0.0, delta=100.0)

    def test_limit_verdict(self) -> None:
        for name, allowed_dbm, failed in [("over the line", -30, True),
                                          ("under the line", -10, False)]:
            with self.subTest(name):
                mask = "mask%d.csv" % -allowed_dbm
                with open(os.path.join(self.folder.name, mask), "w") as out:
                    out.write("upper\n905e6,%d\n925e6,%d\n" % (allowed_dbm, allowed_dbm))
                self.analyzer.load_limit_mask(mask)
                self.sweep(915e6, 2e6)
                self.assertEqual(self.analyzer.limit_failed, failed)

    def test_state_file_round_trip(self) -> None:
        a = self.analyzer
        a.center_frequency, a.span, a.reference_level = 433.92e6, 1e6, -40.0
        a.store_state("bench.pqz")
        a.preset()
        a.load_state("bench.pqz")
        self.assertEqual((a.center_frequency, a.span, a.reference_level), (433.92e6, 1e6, -40.0))

    def test_receiver_on_the_fm_carrier(self) -> None:
        a = self.analyzer
        a.center_frequency, a.receiver_if_bandwidth = 924.6e6, 120e3
        reading = a.receiver(captures=2)
        self.assertAlmostEqual(reading.carrier_frequency_hz, 924.6e6, delta=100.0)
        self.assertAlmostEqual(reading.fm_deviation_peak_plus_hz, 25e3, delta=2.5e3)
        self.assertAlmostEqual(reading.fm_audio_frequency_hz, 1e3, delta=20.0)
        self.assertTrue(math.isnan(reading.am_depth_rms_percent))  # AM not shown

    def test_receiver_on_the_am_carrier(self) -> None:
        a = self.analyzer
        a.center_frequency, a.receiver_if_bandwidth = 919.25e6, 120e3
        a.receiver_shows_am, a.receiver_shows_fm = True, False
        reading = a.receiver()
        self.assertAlmostEqual(reading.am_depth_peak_plus_percent, 50.0, delta=5.0)
        self.assertAlmostEqual(reading.am_audio_frequency_hz, 1e3, delta=20.0)
        self.assertTrue(math.isnan(reading.fm_deviation_rms_hz))

    def test_harmonics_of_the_carrier(self) -> None:
        self.analyzer.center_frequency = 915e6
        with self.assertWarns(ReadingWarning):  # harmonics 5 to 10 lie beyond 4.4 GHz
            frequencies, levels = self.analyzer.harmonics()
        self.assertEqual(len(frequencies), 10)
        self.assertAlmostEqual(frequencies[0], 915e6, delta=100e3)
        for n in range(2, 5):  # no harmonic in the scene: the highest noise near it
            self.assertAlmostEqual(frequencies[n - 1], n * 915e6, delta=2e6)
        self.assertAlmostEqual(levels[0], -25.0, delta=LEVEL_DB)
        self.assertTrue(all(math.isnan(v) for v in levels[4:]))

    def test_phase_noise_curve(self) -> None:
        self.analyzer.center_frequency = 915e6
        offsets, dbc_hz = self.analyzer.phase_noise()
        self.assertEqual(len(offsets), 721)
        self.assertEqual((offsets[0], offsets[-1]), (1.0, 1e6))
        measured = [v for v in dbc_hz if not math.isnan(v)]
        self.assertTrue(measured)
        self.assertTrue(all(v < -20.0 for v in measured))

    def test_audio_recording(self) -> None:
        self.analyzer.center_frequency = 924.6e6
        self.analyzer.record_audio("fm.wav", 0.5, "FM")
        with wave.open(os.path.join(self.folder.name, "fm.wav")) as sound:
            self.assertAlmostEqual(sound.getnframes() / sound.getframerate(), 0.5, delta=0.05)


if __name__ == "__main__":
    unittest.main()
