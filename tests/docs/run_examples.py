#!/usr/bin/env python3
"""Runs every example of the README and the user manual as a reader pastes it.

Each fenced block marked sh, console or python is run as written: sh blocks
by bash (every line must succeed), console blocks line by line for their
"$ " lines (the other lines are the output shown), python blocks by the
system's python3 with PYTHONPATH at the repository's python/ folder. A block
that talks to the SCPI socket or the automation server gets a
`tavlin-cli --simulate` serving the port it uses. Every block runs in a
scratch folder of its own that reaches the scenes as scenes/, with the build
folder first on PATH.

A block fails when it exits non-zero, runs out of time, or prints "error",
"cannot" or "unknown option" (but for what the line before it says it
prints: <!-- example: prints "cannot be right" -->); the failure names the
file and line of the block. A block that cannot run here is skipped only
when the line before it says so: <!-- example: not run (the reason) -->. The
skipped blocks are listed. A block that takes minutes (a whole factory
adjustment on the virtual bench) says so, <!-- example: long (the reason) -->,
and runs only with --long, or alone with --only-long.

usage: run_examples.py --cli BUILD/tavlin-cli --source REPO [--repeat N]
                       [--long | --only-long] [--block FILE:LINE]...
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

DOCUMENTS = ["README.md", "docs/manual.md"]
RUNNABLE = {"sh", "console", "python"}
SKIP_MARK = re.compile(r"<!--\s*example:\s*not run\s*\((.*)\)\s*-->")
# What a block is meant to print although it reads like a complaint (a blank
# unit's messages): <!-- example: prints "cannot be right", "..." -->
EXPECTED_MARK = re.compile(r"<!--\s*example:.*?\bprints\s+(.*?)\s*-->")
LONG_MARK = re.compile(r"<!--\s*example:\s*long\b")
BAD_OUTPUT = re.compile(r"\berror\b|cannot|unknown option", re.IGNORECASE)
# The SCPI error queue's empty answer is a reply, not a complaint.
HARMLESS = re.compile(r'0,"No error"')
BLOCK_SECONDS = 900
SERVER_START_SECONDS = 60


class Block:
    def __init__(self, path, line, kind, text, mark):
        self.path, self.line, self.kind, self.text = path, line, kind, text
        skip = SKIP_MARK.search(mark)
        self.skip = skip.group(1) if skip else None
        self.long = LONG_MARK.search(mark) is not None
        expected = EXPECTED_MARK.search(mark)
        self.expected = re.findall(r'"([^"]+)"', expected.group(1)) if expected else []

    def where(self):
        return f"{self.path}:{self.line}"


def read_blocks(source):
    blocks = []
    for document in DOCUMENTS:
        lines = open(os.path.join(source, document), encoding="utf-8").read().split("\n")
        i = 0
        while i < len(lines):
            opening = re.match(r"^\s*```(\S*)\s*$", lines[i])
            if not opening:
                i += 1
                continue
            end = i + 1
            while end < len(lines) and not lines[end].strip().startswith("```"):
                end += 1
            kind = opening.group(1)
            if kind in RUNNABLE:
                before = next((l for l in reversed(lines[:i]) if l.strip()), "")
                blocks.append(Block(document, i + 1, kind, "\n".join(lines[i + 1:end]) + "\n",
                                    before))
            i = end + 1
    return blocks


def console_script(text):
    """The commands of a console block: its "$ " lines and their continuations."""
    commands, continuing = [], False
    for line in text.split("\n"):
        if line.startswith("$ ") or continuing:
            commands.append(line[2:] if line.startswith("$ ") and not continuing else line)
            continuing = line.endswith("\\")
    return "\n".join(commands) + "\n"


def servers_for(text):
    """The tavlin-cli options that serve what a python block connects to."""
    scpi = re.search(r"::(\d+)::SOCKET", text)
    if scpi:
        return [f"--scpi=127.0.0.1:{scpi.group(1)}"]
    ports = re.findall(r'create_connection\(\(\s*"127\.0\.0\.1"\s*,\s*(\d+)\s*\)\)', text)
    if len(ports) == 2:
        return [f"--automation=127.0.0.1:{ports[0]}:{ports[1]}"]
    if len(ports) == 1:
        return [f"--scpi=127.0.0.1:{ports[0]}"]
    return []


def start_server(options, folder, env):
    """tavlin-cli serving the block's port, once it listens; or why not."""
    log = open(os.path.join(folder, "server.log"), "w+")
    server = subprocess.Popen(["tavlin-cli", "--simulate"] + options, cwd=folder, env=env,
                              stdin=subprocess.DEVNULL, stdout=log, stderr=log)
    deadline = time.monotonic() + SERVER_START_SECONDS
    while time.monotonic() < deadline:
        log.seek(0)
        said = log.read()
        if " on 127.0.0.1 " in said or " server on " in said:
            return server, log, ""
        if server.poll() is not None:
            return None, log, f"the server ended at once:\n{said}"
        time.sleep(0.1)
    server.kill()
    server.wait()
    return None, log, "the server did not listen within a minute"


def stop_server(server):
    """The console ends when its client has gone; one that does not is ended."""
    try:
        server.wait(timeout=30)
    except subprocess.TimeoutExpired:
        server.kill()
        server.wait()


def run_in_group(command, folder, env):
    """The output and exit status of a command; one that runs out of time is
    ended with every process it started (status None)."""
    process = subprocess.Popen(command, cwd=folder, env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                               start_new_session=True)
    try:
        output, _ = process.communicate(timeout=BLOCK_SECONDS)
        return output.decode(errors="replace"), process.returncode
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        output, _ = process.communicate()
        return (output.decode(errors="replace") +
                f"\n(did not end within {BLOCK_SECONDS} s)"), None


def run_block(block, source, build, scratch_root):
    """"" when the block ran as written, else why not."""
    folder = tempfile.mkdtemp(dir=scratch_root)
    os.symlink(os.path.join(source, "scenes"), os.path.join(folder, "scenes"))
    env = dict(os.environ)
    env["PATH"] = build + os.pathsep + env.get("PATH", "")
    env["PYTHONPATH"] = os.path.join(source, "python")
    server = None
    if block.kind == "python":
        options = servers_for(block.text)
        if options:
            server, log, why = start_server(options, folder, env)
            if server is None:
                log.close()
                return why
        command = ["/usr/bin/python3", "-c", block.text]
    elif block.kind == "console":
        command = ["bash", "-c", console_script(block.text)]
    else:
        command = ["bash", "-e", "-c", block.text]
    output, status = run_in_group(command, folder, env)
    if server is not None:
        stop_server(server)
        log.seek(0)
        output += log.read()
        log.close()
    shutil.rmtree(folder, ignore_errors=True)
    if status != 0:
        return f"exit status {status}:\n{output[-2000:]}"
    for phrase in block.expected:
        output = output.replace(phrase, "")
    complaint = BAD_OUTPUT.search(HARMLESS.sub("", output))
    if complaint:
        return f"printed '{complaint.group(0)}':\n{output[-2000:]}"
    return ""


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--cli", required=True, help="the built tavlin-cli")
    parser.add_argument("--source", required=True, help="the repository")
    parser.add_argument("--repeat", type=int, default=1, help="run every example N times")
    length = parser.add_mutually_exclusive_group()
    length.add_argument("--long", action="store_true", help="run the long examples too")
    length.add_argument("--only-long", action="store_true", help="run the long examples alone")
    parser.add_argument("--block", action="append", default=[],
                        help="run only the block that opens at FILE:LINE (may be repeated)")
    args = parser.parse_args()
    source = os.path.abspath(args.source)
    build = os.path.dirname(os.path.abspath(args.cli))
    blocks = [b for b in read_blocks(source) if not args.block or b.where() in args.block]
    if not args.block:
        blocks = [b for b in blocks if (args.long or b.long == args.only_long)]
    failures = {}
    scratch_root = tempfile.mkdtemp(prefix="tavlin-examples-")
    try:
        for round_ in range(args.repeat):
            for block in blocks:
                if block.skip is not None:
                    continue
                why = run_block(block, source, build, scratch_root)
                print(f"{'FAIL' if why else 'ok  '} {block.where()} ({block.kind})"
                      + (f" round {round_ + 1}" if args.repeat > 1 else ""), flush=True)
                if why:
                    failures.setdefault(block.where(), []).append(why)
    finally:
        shutil.rmtree(scratch_root, ignore_errors=True)
    for block in blocks:
        if block.skip is not None:
            print(f"skipped {block.where()} ({block.kind}): {block.skip}")
    ran = sum(1 for b in blocks if b.skip is None)
    for where, whys in failures.items():
        print(f"\n{where}: failed {len(whys)} of {args.repeat}; first: {whys[0]}")
    print(f"\n{ran} examples run {args.repeat} times, {len(failures)} failed at least once, "
          f"{len(blocks) - ran} skipped")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
