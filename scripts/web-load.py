#!/usr/bin/python3
"""What the web page's clients cost tavlin-server, on the virtual instrument
and loopback only. Each line states what was measured and its goal; the exit
status is 1 when a goal was missed:

- 20 pages watching the stream at once add less than 10 % of a core to the
  process that sweeps;
- a page that never reads does not grow the server's memory;
- 1000 connections opened and closed (requests and streams) leave no file
  descriptor behind;
- a page gets each sweep within 50 ms of its end (the end as an SCPI client
  hears of it: the reply to *OPC? after INIT:IMM).

Usage: scripts/web-load.py TAVLIN_SERVER [SECONDS_PER_CPU_SAMPLE]
"""
import os
import re
import socket
import subprocess
import sys
import tempfile
import threading
import time

SERVER = os.path.abspath(sys.argv[1])
SAMPLE_S = float(sys.argv[2]) if len(sys.argv) > 2 else 10.0
TICKS = os.sysconf("SC_CLK_TCK")


def start_server(folder):
    log = open(os.path.join(folder, "server.log"), "w+")
    process = subprocess.Popen([SERVER, "--simulate", "--scpi=127.0.0.1:0", "--web=127.0.0.1:0"],
                               cwd=folder, stdin=subprocess.DEVNULL, stderr=log)
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        log.seek(0)
        text = log.read()
        web = re.search(r"web page on 127\.0\.0\.1 port (\d+)", text)
        scpi = re.search(r"SCPI on 127\.0\.0\.1 port (\d+)", text)
        if web and scpi:
            return process, int(web.group(1)), int(scpi.group(1))
        time.sleep(0.1)
    raise SystemExit("tavlin-server did not start")


def cpu_seconds(pid):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def cpu_share(pid, seconds):
    """The process's CPU time over `seconds` of real time, in % of a core."""
    before, start = cpu_seconds(pid), time.monotonic()
    time.sleep(seconds)
    return 100.0 * (cpu_seconds(pid) - before) / (time.monotonic() - start)


def rss_kib(pid):
    return int(re.search(r"VmRSS:\s+(\d+)", open(f"/proc/{pid}/status").read()).group(1))


def open_descriptors(pid):
    return len(os.listdir(f"/proc/{pid}/fd"))


def request(port, path):
    return (f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n").encode()


def watcher(port, stop, counts, index):
    with socket.create_connection(("127.0.0.1", port)) as s:
        s.sendall(request(port, "/api/stream"))
        s.settimeout(1.0)
        while not stop.is_set():
            try:
                data = s.recv(65536)
            except socket.timeout:
                continue
            if not data:
                return
            counts[index] += data.count(b"\ndata: ") + data.startswith(b"data: ")


def measure_watchers(pid, port):
    idle = cpu_share(pid, SAMPLE_S)
    stop, counts = threading.Event(), [0] * 20
    threads = [threading.Thread(target=watcher, args=(port, stop, counts, i)) for i in range(20)]
    for t in threads:
        t.start()
    time.sleep(1.0)
    watched = cpu_share(pid, SAMPLE_S)
    stop.set()
    for t in threads:
        t.join()
    added = watched - idle
    print(f"sweeping alone {idle:.1f} % of a core; with 20 pages watching {watched:.1f} %: "
          f"+{added:.1f} % (goal < 10 %); screens each page got: {min(counts)} to {max(counts)}")
    return added < 10.0 and min(counts) > 0


def measure_stuck_page(pid, port):
    stuck = socket.socket()
    stuck.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    stuck.connect(("127.0.0.1", port))
    stuck.sendall(request(port, "/api/stream"))
    time.sleep(2.0)
    before = rss_kib(pid)
    time.sleep(3 * SAMPLE_S)
    after = rss_kib(pid)
    stuck.close()
    grown = after - before
    print(f"a page that never reads, {3 * SAMPLE_S:.0f} s: resident memory {before} KiB -> "
          f"{after} KiB ({grown:+d} KiB; goal < 2048)")
    return grown < 2048


def measure_cycles(pid, port):
    time.sleep(1.0)
    before = open_descriptors(pid)
    for i in range(1000):
        with socket.create_connection(("127.0.0.1", port)) as s:
            s.sendall(request(port, "/api/stream" if i % 2 else "/api/screen"))
            s.recv(4096)
    time.sleep(3.0)  # the streams' threads see their pages gone at the next screen
    after = open_descriptors(pid)
    print(f"1000 connections opened and closed: descriptors {before} -> {after} "
          f"(goal: no more than before)")
    return after <= before


def measure_latency(port, scpi_port):
    """The time from a single sweep's end to the page's event that shows the
    sweep stopped: negative (counted as 0) when the event came first."""
    events = []  # (arrival, sweeping)
    stop = threading.Event()

    def listen():
        with socket.create_connection(("127.0.0.1", port)) as s:
            s.sendall(request(port, "/api/stream"))
            s.settimeout(0.5)
            pending = b""
            while not stop.is_set():
                try:
                    pending += s.recv(65536)
                except socket.timeout:
                    continue
                *whole, pending = pending.split(b"\n\n")
                for event in whole:
                    if b"data: " in event:
                        events.append((time.monotonic(), b'"sweeping":true' in event))

    reader = threading.Thread(target=listen)
    reader.start()
    latencies = []
    with socket.create_connection(("127.0.0.1", scpi_port)) as scpi:
        replies = scpi.makefile("rb")
        scpi.sendall(b"INIT:CONT OFF;*OPC?\n")
        replies.readline()
        for _ in range(20):
            time.sleep(0.3)
            sent = time.monotonic()
            scpi.sendall(b"INIT:IMM;*OPC?\n")
            replies.readline()
            ended = time.monotonic()
            deadline = ended + 1.0
            # The sweep takes longer than this: an event sooner is of its start.
            begun = sent + 0.1
            stopped = []
            while not stopped and time.monotonic() < deadline:
                time.sleep(0.001)
                stopped = [t for t, sweeping in events if t > begun and not sweeping]
            latencies.append(max(0.0, stopped[0] - ended) * 1000 if stopped else 1000.0)
        scpi.sendall(b"INIT:CONT ON\n")
    stop.set()
    reader.join()
    latencies.sort()
    print(f"sweep end to the page's event, 20 single sweeps: median {latencies[10]:.1f} ms, "
          f"worst {latencies[-1]:.1f} ms (goal < 50 ms)")
    return latencies[-1] < 50.0


def main():
    with tempfile.TemporaryDirectory() as folder:
        process, port, scpi_port = start_server(folder)
        try:
            time.sleep(2.0)
            results = [measure_watchers(process.pid, port), measure_stuck_page(process.pid, port),
                       measure_cycles(process.pid, port), measure_latency(port, scpi_port)]
        finally:
            process.terminate()
            process.wait(10)
    print("every goal met" if all(results) else "goals missed")
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
