#!/usr/bin/python3
"""I/Q recordings end to end, against the virtual instrument:

    iq_recording_test.py TAVLIN_CLI SIGMF_SCHEMA

- an FFT-sweep recording started and stopped over SCPI, and a zero-span one
  from the console, validate against the SigMF schema and their data files
  hold exactly the samples their captures describe;
- the FFT recording played back as a scene emitter reads the recorded
  emitters at the same frequencies and within 0.1 dB, and within 0.3 dB at
  another span;
- a recording that fills its disk (a small tmpfs, where this may mount one)
  stops with a message and leaves a valid pair.
"""
import json
import os
import re
import socket
import subprocess
import sys
import tempfile
import time

import jsonschema

CLI, SCHEMA = sys.argv[1], sys.argv[2]
EMITTERS = [(915.02e6, -40.0), (914.97e6, -50.0)]
DATETIME = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d+Z$")


class Scpi:
    """tavlin-cli serving SCPI on a port the system chooses."""

    def __init__(self, scene, folder):
        self.process = subprocess.Popen(
            [CLI, "--simulate=" + scene, "--scpi=127.0.0.1:0"], cwd=folder,
            stderr=subprocess.PIPE, text=True)
        port = None
        while port is None:
            line = self.process.stderr.readline()
            assert line, "tavlin-cli ended before serving SCPI"
            found = re.search(r"SCPI server on \S+ port (\d+)", line)
            port = int(found.group(1)) if found else None
        self.socket = socket.create_connection(("127.0.0.1", port), timeout=60)
        self.replies = self.socket.makefile("r")

    def write(self, text):
        self.socket.sendall((text + "\n").encode())

    def query(self, text):
        self.write(text)
        return self.replies.readline().strip()

    def close(self):
        assert self.query("SYST:ERR?") == '0,"No error"'
        self.replies.close()
        self.socket.close()
        self.process.wait(timeout=60)


def peaks(scpi):
    """The two strongest emitters of one sweep at the recording's span, then
    the weaker alone in a narrower span about it: (Hz, dBm) each."""
    found = []
    for settings, commands in (("FREQ:CENT 915 MHZ;SPAN 100 KHZ",
                                 ("CALC:MARK:MAX", "CALC:MARK:MAX:NEXT")),
                               ("FREQ:CENT 914.97 MHZ;SPAN 20 KHZ", ("CALC:MARK:MAX",))):
        scpi.write("INIT:CONT OFF;:" + settings)
        assert scpi.query("INIT;*OPC?") == "1"
        for command in commands:
            scpi.write(command)
            found.append((float(scpi.query("CALC:MARK:X?")), float(scpi.query("CALC:MARK:Y?"))))
    return found


def check_pair(base):
    """The meta validates and the data holds exactly what it describes."""
    with open(SCHEMA) as schema_file, open(base + ".sigmf-meta") as meta_file:
        schema, meta = json.load(schema_file), json.load(meta_file)
    jsonschema.validate(meta, schema)
    pairs = os.path.getsize(base + ".sigmf-data") // 4
    assert os.path.getsize(base + ".sigmf-data") == 4 * pairs
    assert meta["global"]["core:datatype"] == "ci16_le"
    assert {"name": "tavlin", "version": "1.0.0", "optional": True} in \
        meta["global"]["core:extensions"]
    starts = [c["core:sample_start"] for c in meta["captures"]]
    assert starts == sorted(set(starts)) and (not starts or starts[-1] < pairs), (starts, pairs)
    for capture in meta["captures"]:
        assert DATETIME.match(capture["core:datetime"]), capture["core:datetime"]
        assert "tavlin:scale_db" in capture and "tavlin:attenuation_db" in capture
    return meta


def record_and_play(folder):
    with open(os.path.join(folder, "source.json"), "w") as scene:
        json.dump({"signals": [{"freq_hz": f, "level_dbm": l} for f, l in EMITTERS]}, scene)
    scpi = Scpi("source.json", folder)
    recorded = peaks(scpi)
    scpi.write("FREQ:CENT 915 MHZ;SPAN 100 KHZ")
    scpi.write('MMEM:STOR:IQ "rec"')
    scpi.write("INIT:CONT ON")
    time.sleep(1.5)
    scpi.write("MMEM:STOR:IQ:STOP")
    running, written, captures, dropped = scpi.query("MMEM:STOR:IQ?").split(",")
    assert running == "0" and int(captures) >= 2 and dropped == "0", (written, captures)
    scpi.close()
    meta = check_pair(os.path.join(folder, "rec"))
    assert len(meta["captures"]) == int(captures)

    with open(os.path.join(folder, "play.json"), "w") as scene:
        json.dump({"signals": [{"iq_file": "rec.sigmf-meta"}]}, scene)
    scpi = Scpi("play.json", folder)
    played = peaks(scpi)
    scpi.close()
    # At the recording's own span within 0.1 dB; at another span the
    # recording's band correction and the unit's response meet, within 0.3.
    for (f0, l0), (f1, l1), tolerance in zip(recorded, played, (0.1, 0.1, 0.3)):
        assert f0 == f1 and abs(l0 - l1) < tolerance, (recorded, played)


def record_zero_span(folder):
    status = subprocess.run(
        [CLI, "--simulate", "-c", "FRE:CEN 915e6", "-c", "FRE:SPA 0", "--record-iq", "zero",
         "--seconds", "3"], cwd=folder, capture_output=True, text=True, timeout=120)
    assert status.returncode == 0, status.stderr
    assert check_pair(os.path.join(folder, "zero"))["captures"]


def fill_a_disk(folder):
    small = os.path.join(folder, "small")
    os.mkdir(small)
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=256k", "tmpfs", small],
                      capture_output=True).returncode != 0:
        print("no tmpfs could be mounted here: the full disk is left to the unit test")
        return
    try:
        status = subprocess.run(
            [CLI, "--simulate", "-c", "FRE:CEN 915e6", "-c", "FRE:SPA 100e3", "--record-iq",
             "small/rec", "--seconds", "5"], cwd=folder, capture_output=True, text=True,
            timeout=120)
        assert status.returncode == 1 and "No space left" in status.stderr, status.stderr
        assert check_pair(os.path.join(small, "rec"))["captures"]
    finally:
        subprocess.run(["umount", small])


with tempfile.TemporaryDirectory() as work:
    record_and_play(work)
    record_zero_span(work)
    fill_a_disk(work)
print("I/Q recordings: all checks passed")
