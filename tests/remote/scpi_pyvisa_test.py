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


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
