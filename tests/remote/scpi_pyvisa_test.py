#!/usr/bin/python3
"""tavlin-cli's SCPI socket driven by pyvisa-py, as a bench user drives an
analyzer: identity, a sweep waited for with *OPC?, a marker on the peak, the
trace, and the error queue. Runs under ctest:

    scpi_pyvisa_test.py TAVLIN_CLI SCENE_FILE

The console listens on a port the system chooses (the usual 5025 may be in
use by another run on the same machine) and names it on standard error.
"""
import os
import re
import subprocess
import sys
import tempfile

import pyvisa


def main(cli, scene):
    with tempfile.TemporaryDirectory() as folder:
        server = subprocess.Popen([cli, "--simulate=" + os.path.abspath(scene),
                                   "--scpi=127.0.0.1:0"],
                                  cwd=folder, stderr=subprocess.PIPE, text=True)
        try:
            first_line = server.stderr.readline().strip()
            announced = re.search(r"port (\d+)$", first_line)
            assert announced, "the console did not name its port: " + first_line
            resources = pyvisa.ResourceManager("@py")
            analyzer = resources.open_resource(
                "TCPIP0::127.0.0.1::%s::SOCKET" % announced.group(1),
                read_termination="\n", write_termination="\n", timeout=30000)
            identity = analyzer.query("*IDN?").split(",")
            assert identity[:3] == ["Tavlin", "TAVLIN-44", "TV000123"], identity

            analyzer.write("*CLS;:FREQ:CENT 915 MHZ;SPAN 2MHz")
            analyzer.write("INIT:IMM")
            assert analyzer.query("*OPC?") == "1"
            analyzer.write("CALC:MARK1:MAX")
            peak_hz = float(analyzer.query("CALC:MARK1:X?"))
            peak_dbm = float(analyzer.query("CALC:MARK1:Y?"))
            assert abs(peak_hz - 915e6) < 10e3, peak_hz
            assert abs(peak_dbm - -25.0) < 2.0, peak_dbm
            trace = analyzer.query_ascii_values("TRAC:DATA? TRACE1")
            assert len(trace) == 641 and abs(max(trace) - peak_dbm) < 0.01, len(trace)
            assert analyzer.query("SYST:ERR?") == '0,"No error"'

            analyzer.write("FREQ:CENT 5 GHZ")
            assert analyzer.query("SYST:ERR:NEXT?") == '-222,"Data out of range"'
            assert float(analyzer.query("FREQ:CENT?")) == 915e6
            analyzer.close()
            resources.close()
            assert server.wait(timeout=60) == 0, "the console did not end with its client"
        finally:
            if server.poll() is None:
                server.kill()
    print("SCPI over pyvisa-py: peak %.0f Hz at %.2f dBm" % (peak_hz, peak_dbm))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
