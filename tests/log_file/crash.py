#!/usr/bin/env python3
# The log file against crashes and a full disk.
#
# crash.py TAP: TAP is the program telling each line its window gets (with
# the moment) on standard output.
#
# Crashes: the program on a fast demo client is killed with SIGKILL at ten
# random moments, each run appending to the same file. After each kill the
# run's part of the file must hold whole lines only, in order, each one a line
# the window had, and nothing the window had more than a second before the
# kill may be missing. Prints the figures: lines logged, lines in the file,
# the worst gap (the oldest line missing at a kill).
#
# Full disk: with /dev/full as the log file, the failure is reported once and
# the window goes on logging.
import os
import random
import signal
import subprocess
import sys
import tempfile
import threading
import time

RUNS = 10
DEADLINE = 60.0


def start(tap, log_file, seed):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    return subprocess.Popen(
        [tap, "--demo", "--demo-interval", "1", "--seed", str(seed), "--log-file", log_file],
        # Unbuffered: communicate() reads past any buffer of ours.
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env, bufsize=0)


class Window:
    # The lines the program's window got, read as they come: a full pipe
    # would stop the program between its window and its file.

    def __init__(self, process):
        self.lines = []  # (moment in seconds, text)
        self.reader = threading.Thread(target=self._read, args=(process.stdout,))
        self.reader.start()

    def _read(self, stdout):
        for raw in stdout:
            moment, _, text = raw.decode("utf-8").rstrip("\n").partition(" ")
            self.lines.append((int(moment) / 1e9, text))

    def wait_for(self, count):
        deadline = time.monotonic() + DEADLINE
        while len(self.lines) < count:
            if time.monotonic() > deadline or not self.reader.is_alive():
                sys.exit(f"FAIL: the window had {len(self.lines)} lines, not {count}")
            time.sleep(0.01)  # polling, with the deadline above

    def all(self):
        self.reader.join(DEADLINE)
        return self.lines


def crashes(tap, work):
    log_file = os.path.join(work, "crash.log")
    rng = random.Random(int(os.environ.get("CRASH_SEED", time.time_ns())))
    logged = kept = 0
    worst_gap = 0.0
    for run in range(RUNS):
        start_size = os.path.getsize(log_file) if os.path.exists(log_file) else 0
        process = start(tap, log_file, run)
        lines = Window(process)
        lines.wait_for(2)
        # The random moment of the crash: what the test is about, not a wait.
        time.sleep(rng.uniform(0.05, 1.5))
        killed_at = time.monotonic()
        process.send_signal(signal.SIGKILL)
        process.wait(DEADLINE)
        window = lines.all()
        with open(log_file, "rb") as f:
            f.seek(start_size)
            part = f.read().decode("utf-8")
        if part and not part.endswith("\n"):
            sys.exit(f"FAIL: run {run}: the file ends inside a line: {part[-80:]!r}")
        in_file = [line for line in part.split("\n")[:-1] if not line.startswith("Date changed to ")]
        texts = [text for _, text in window]
        if in_file != texts[:len(in_file)]:
            bad = next(i for i, line in enumerate(in_file) if i >= len(texts) or line != texts[i])
            sys.exit(f"FAIL: run {run}: file line {bad} {in_file[bad]!r} is not the window's")
        missing = window[len(in_file):]
        gap = killed_at - missing[0][0] if missing else 0.0
        if gap > 1.0:
            sys.exit(f"FAIL: run {run}: a line logged {gap:.3f} s before the kill is missing")
        worst_gap = max(worst_gap, gap)
        logged += len(window)
        kept += len(in_file)
        print(f"run {run}: {len(window)} lines logged, {len(in_file)} in the file, "
              f"gap {gap * 1000:.1f} ms")
    print(f"crashes: {logged} lines logged, {kept} in the file, "
          f"worst gap {worst_gap * 1000:.1f} ms")


def full_disk(tap):
    if not os.path.exists("/dev/full"):
        print("full disk: skipped, no /dev/full")
        return
    process = start(tap, "/dev/full", 1)
    # Well after the first write failed, the window is still logging.
    Window(process).wait_for(2000)
    process.send_signal(signal.SIGKILL)
    errors = process.stderr.read()
    process.wait(DEADLINE)
    reports = [line for line in errors.decode(errors="replace").splitlines()
               if "Lines cannot be written to the log file /dev/full" in line]
    if len(reports) != 1:
        sys.exit(f"FAIL: full disk reported {len(reports)} times: {errors.decode(errors='replace')}")
    print("full disk: " + reports[0])


def main():
    tap = sys.argv[1]
    with tempfile.TemporaryDirectory() as work:
        crashes(tap, work)
        full_disk(tap)


if __name__ == "__main__":
    main()
