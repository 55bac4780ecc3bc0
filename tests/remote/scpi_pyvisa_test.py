#!/usr/bin/python3
"""tavlin-cli's SCPI socket driven by pyvisa-py, as a bench user drives an
analyzer: identity, a sweep waited for with *OPC?, a marker on the peak, the
trace, and the error queue. Meanwhile a client of the automation server
sweeps and reads the trace over and over, so that both servers are busy at
once (the sanitizer builds run this too). Runs under ctest:

    scpi_pyvisa_test.py TAVLIN_CLI SCENE_FILE

The console listens on ports the system chooses (the usual 5025 may be in
use by another run on the same machine) and names them on standard error.
"""
import os
import re
import subprocess
import sys
import socket
import tempfile
import threading
import time

import pyvisa


def automation_client(ports, stop, failures):
    """Sweeps and reads the trace until told to stop."""
    try:
        commands = socket.create_connection(("127.0.0.1", ports[0]))
        replies = socket.create_connection(("127.0.0.1", ports[1])).makefile("rb")
        while not stop.is_set():
            commands.sendall(b"TRI:SIN\nTRA:DAT ?\n*OPC?\n")
            lines = [replies.readline() for _ in range(642)]
            assert lines[-1] == b"1\r\n", lines[-1]
        commands.close()
    except Exception as error:  # reported by the main thread
        failures.append(error)


def bench_analyzer_script(analyzer):
    """What a script written for a bench analyzer does, with the common SCPI
    tree only: settings, a sweep waited for by polling the event status
    register, the trace as a binary block, markers, the noise marker and the
    status bytes. Returns the peak and the noise density there."""
    analyzer.write("*RST;*CLS;:INIT:CONT OFF")
    analyzer.write("SENS:FREQ:CENT 915 MHZ;SPAN 2 MHZ")
    analyzer.write("SENS:BAND:RES 25 KHZ")
    rbw = float(analyzer.query("SENS:BAND:RES?"))
    assert rbw == 25e3, rbw
    analyzer.write("DISP:WIND:TRAC:Y:SCAL:RLEV -10 DBM")
    analyzer.write("SENS:DET:FUNC POS;:DISP:WIND:TRAC:MODE WRIT")
    assert analyzer.query("SENS:DET:FUNC?;:DISP:WIND:TRAC:MODE?") == "POS;WRIT"

    def sweep():
        analyzer.write("*ESE 1;*CLS;:INIT:IMM;*OPC")
        deadline = time.monotonic() + 30  # a bound against a hang
        while not int(analyzer.query("*ESR?")) & 1:
            assert time.monotonic() < deadline, "*OPC never set the event"
            time.sleep(0.01)

    sweep()
    analyzer.write("FORM:DATA REAL,32;:FORM:BORD NORM")
    trace = analyzer.query_binary_values("TRAC:DATA? TRACE1", datatype="f",
                                         is_big_endian=True)
    analyzer.write("FORM:DATA ASC")
    analyzer.write("CALC:MARK1:MAX")
    peak_hz = float(analyzer.query("CALC:MARK1:X?"))
    peak_dbm = float(analyzer.query("CALC:MARK1:Y?"))
    assert len(trace) == 641 and abs(max(trace) - peak_dbm) < 0.01, (len(trace), peak_dbm)
    assert abs(peak_hz - 915e6) < 30e3 and abs(peak_dbm - -25.0) < 2.0, (peak_hz, peak_dbm)

    analyzer.write("CALC:MARK1:FUNC:NOIS ON")
    sweep()
    analyzer.write("CALC:MARK1:MAX")
    density = float(analyzer.query("CALC:MARK1:Y?"))
    assert abs(density - (peak_dbm - 44.0)) < 3.0, density  # 10 log(25 kHz) = 44 dB
    analyzer.write("CALC:MARK1:X 915.5 MHZ")
    noise = float(analyzer.query("CALC:MARK1:Y?"))
    assert noise < density - 20.0, (noise, density)
    stb = int(analyzer.query("*STB?"))
    assert stb & 4 == 0, stb
    assert analyzer.query("SYST:ERR:ALL?") == '0,"No error"'
    analyzer.write("SENS:DET:FUNC NEG")
    assert int(analyzer.query("*STB?")) & 4 == 4
    assert analyzer.query("SYST:ERR:ALL?") == '-224,"Illegal parameter value"'
    analyzer.write("CALC:MARK1:FUNC:NOIS OFF")
    return peak_hz, peak_dbm, noise


def main(cli, scene):
    with tempfile.TemporaryDirectory() as folder:
        server = subprocess.Popen([cli, "--simulate=" + os.path.abspath(scene),
                                   "--automation=127.0.0.1:0:0", "--scpi=127.0.0.1:0"],
                                  cwd=folder, stderr=subprocess.PIPE, text=True)
        stop, failures = threading.Event(), []
        try:
            lines = [server.stderr.readline().strip() for _ in range(2)]
            automation = re.search(r"ports (\d+) and (\d+)$", lines[0])
            scpi = re.search(r"port (\d+)$", lines[1])
            assert automation and scpi, "the console did not name its ports: %s" % lines
            busy = threading.Thread(target=automation_client, args=(
                (int(automation.group(1)), int(automation.group(2))), stop, failures))
            busy.start()
            resources = pyvisa.ResourceManager("@py")
            analyzer = resources.open_resource(
                "TCPIP0::127.0.0.1::%s::SOCKET" % scpi.group(1),
                read_termination="\n", write_termination="\n", timeout=30000)
            identity = analyzer.query("*IDN?").split(",")
            assert identity[:3] == ["Tavlin", "TAVLIN-44", "TV000123"], identity

            analyzer.write("*CLS;:FREQ:CENT 915 MHZ;SPAN 2MHz")
            # The other client sweeps too: a sweep it began before the new
            # frequencies may be the one the first wait sees end.
            for _ in range(2):
                analyzer.write("INIT:IMM")
                assert analyzer.query("*OPC?") == "1"
            analyzer.write("CALC:MARK1:MAX")
            peak_hz = float(analyzer.query("CALC:MARK1:X?"))
            peak_dbm = float(analyzer.query("CALC:MARK1:Y?"))
            assert abs(peak_hz - 915e6) < 10e3, peak_hz
            assert abs(peak_dbm - -25.0) < 2.0, peak_dbm
            trace = analyzer.query_ascii_values("TRAC:DATA? TRACE1")
            assert len(trace) == 641 and abs(max(trace) - peak_dbm) < 1.0, len(trace)
            assert analyzer.query("SYST:ERR?") == '0,"No error"'

            analyzer.write("FREQ:CENT 5 GHZ")
            assert analyzer.query("SYST:ERR:NEXT?") == '-222,"Data out of range"'
            assert float(analyzer.query("FREQ:CENT?")) == 915e6
            stop.set()
            busy.join()
            bench = bench_analyzer_script(analyzer)
            # A preset answers within pyvisa's default time-out of 2 s.
            analyzer.timeout = 2000
            analyzer.write("*RST")
            assert analyzer.query("*IDN?").split(",")[2] == "TV000123"
            assert float(analyzer.query("FREQ:SPAN?")) == 26e6
            analyzer.close()
            resources.close()
            assert not failures, failures
            assert server.wait(timeout=60) == 0, "the console did not end with its clients"
        finally:
            stop.set()
            if server.poll() is None:
                server.kill()
    print("SCPI over pyvisa-py: peak %.0f Hz at %.2f dBm" % (peak_hz, peak_dbm))
    print("A bench analyzer's script: peak %.0f Hz at %.2f dBm, noise %.2f dBm/Hz" % bench)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
