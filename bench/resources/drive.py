#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Norvane developers
# SPDX-License-Identifier: MIT
"""Resource use of Norvane with monitoring on, under a real X server (run inside tests/run-with-x.sh).

Starts a loopback model server, a text editor window (bench_typing_window) and the application under test
with private HOME/XDG folders and a dummy API key; then types into the editor through XTEST in bursts
separated by idle gaps, sampling the application's /proc entries every second. Prints CPU per phase
(active: from the first key of a burst until the application has gone idle again; idle: the rest),
resident memory over time, captures taken and bytes written. bench/resources/run.sh is the entry point.
"""

import argparse
import os
import random
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from model_server import ModelServer  # noqa: E402

# Input older than this makes the application's loop idle; one more tick and a little slack before the
# benchmark counts the application as idle.
IDLE_THRESHOLD = 20.0
IDLE_SLACK = 2.0

CLK_TCK = os.sysconf("SC_CLK_TCK")

# The application keeps this many screenshots in memory; memory is judged once it holds that many.
BUFFER_LIMIT = 10
# Resident memory settles within about five minutes of bursts (the buffer fills, the card is built, the
# allocator's per-thread arenas reach their working size); a shorter run cannot tell that from a leak.
FLAT_SLOPE = 1.0
FLAT_MINUTES = 10.0

SENTENCES = [
    "Agenda for Thursday: budget review, hiring plan, launch date.",
    "Action item: Priya sends the revised forecast by Friday.",
    "Decision: we keep the beta closed until the crash rate drops.",
    "Open question: who owns the onboarding emails after launch?",
    "Numbers from last week: 412 sign-ups, 37 paid, 9 refunds.",
    "Follow up with the design team about the settings screen.",
    "Risk: the payment provider changes its API in March.",
    "Idea: summarise support tickets every Monday morning.",
    "Next meeting moves to 10:30 because of the all-hands.",
    "Remember to copy these notes into the shared tracker.",
]


# ----------------------------------------------------------------------------------------------- /proc

def _stat_fields(path):
    with open(path) as f:
        text = f.read()
    close = text.rindex(")")
    comm = text[text.index("(") + 1:close]
    rest = text[close + 2:].split()
    # Fields 14 and 15 of proc(5) (utime, stime) are rest[11] and rest[12].
    return comm, int(rest[11]) + int(rest[12])


def process_ticks(pid):
    return _stat_fields(f"/proc/{pid}/stat")[1]


def thread_runtimes(pid):
    """Nanoseconds on a CPU per live thread, {tid: (name, ns)}, from schedstat."""
    threads = {}
    try:
        tids = os.listdir(f"/proc/{pid}/task")
    except OSError:
        return threads
    for tid in tids:
        try:
            comm = _stat_fields(f"/proc/{pid}/task/{tid}/stat")[0]
            with open(f"/proc/{pid}/task/{tid}/schedstat") as f:
                threads[tid] = (comm, int(f.read().split()[0]))
        except (OSError, ValueError, IndexError):
            pass
    return threads


def status_kb(pid):
    values = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            key, _, value = line.partition(":")
            if key.startswith(("Vm", "Rss")):
                values[key] = int(value.split()[0])
    return values


def largest_mappings(pid, count):
    """Resident kB per mapped file (anonymous memory as "[anon]"), largest first."""
    sizes = {}
    name = None
    with open(f"/proc/{pid}/smaps") as f:
        for line in f:
            head = line.split()
            if not head:
                continue
            if "-" in head[0] and not head[0].endswith(":"):
                name = head[5] if len(head) > 5 else "[anon]"
                name = os.path.basename(name) if name.startswith("/") else name
            elif head[0] == "Rss:":
                sizes[name] = sizes.get(name, 0) + int(head[1])
    return sorted(sizes.items(), key=lambda item: -item[1])[:count]


def io_counters(pid):
    counters = {}
    with open(f"/proc/{pid}/io") as f:
        for line in f:
            key, _, value = line.partition(":")
            counters[key.strip()] = int(value)
    return counters


def count_files(folder, suffix=""):
    try:
        return sum(1 for name in os.listdir(folder) if name.endswith(suffix))
    except OSError:
        return 0


def tree_size(folder):
    total = 0
    for root, _, files in os.walk(folder):
        for name in files:
            try:
                total += os.lstat(os.path.join(root, name)).st_size
            except OSError:
                pass
    return total


def load_average():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


# ---------------------------------------------------------------------------------------------- sampling

class Sampler(threading.Thread):
    """Samples the process once per period; each sample is
    (time, ticks, VmRSS kB, VmHWM kB, threads, captures, RssAnon kB)."""

    def __init__(self, pid, captures_dir, period):
        super().__init__(daemon=True)
        self.pid = pid
        self.captures_dir = captures_dir
        self.period = period
        self.samples = []
        self.done = threading.Event()

    def sample(self):
        now = time.monotonic()
        ticks = process_ticks(self.pid)
        status = status_kb(self.pid)
        self.samples.append((now, ticks, status.get("VmRSS", 0), status.get("VmHWM", 0),
                             thread_runtimes(self.pid), count_files(self.captures_dir, ".jpg"),
                             status.get("RssAnon", 0)))

    def run(self):
        next_time = time.monotonic()
        while not self.done.is_set():
            try:
                self.sample()
            except (OSError, ValueError):
                return
            next_time += self.period
            self.done.wait(max(0.0, next_time - time.monotonic()))


def _steps(samples, start, end):
    """Consecutive sample pairs whose midpoint lies in [start, end): phases split the run without overlap."""
    return [(a, b) for a, b in zip(samples, samples[1:]) if start <= (a[0] + b[0]) / 2 < end]


def ticks_between(samples, start, end):
    """CPU clock ticks of the whole process (dead threads included) and wall seconds in [start, end)."""
    steps = _steps(samples, start, end)
    return sum(b[1] - a[1] for a, b in steps), sum(b[0] - a[0] for a, b in steps)


def runtime_between(samples, start, end):
    """Nanoseconds on a CPU per thread name in [start, end), for threads alive at both ends of a step."""
    used = {}
    for before, after in _steps(samples, start, end):
        for tid, (comm, ns) in after[4].items():
            if tid in before[4]:
                used[comm] = used.get(comm, 0) + ns - before[4][tid][1]
    return used


# ------------------------------------------------------------------------------------------------ input

def xdotool(*args):
    subprocess.run(["xdotool", *args], check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def type_burst(window_id, seconds, rng, delay_ms):
    """Types sentences into the editor for about `seconds`; returns when the last key went out."""
    xdotool("windowactivate", "--sync", window_id)
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        xdotool("type", "--delay", str(delay_ms), "--", rng.choice(SENTENCES))
        xdotool("key", "Return")
        # Short thinking pauses, well inside the application's active window.
        if rng.random() < 0.3 and time.monotonic() + 3 < end:
            time.sleep(rng.uniform(1.0, 3.0))
    return time.monotonic()


# ----------------------------------------------------------------------------------------------- report

def cpu_line(name, phase, target):
    ticks, ns, wall = phase
    cpu_stat = ticks / CLK_TCK
    cpu_sched = ns / 1e9
    # utime+stime moves in whole clock ticks; schedstat is exact for the threads that lived through the
    # phase. The larger of the two is the figure judged.
    cpu = max(cpu_stat, cpu_sched)
    per_min = cpu / wall * 60 if wall > 0 else 0.0
    percent = cpu / wall * 100 if wall > 0 else 0.0
    verdict = ""
    if target is not None:
        verdict = "ok" if percent < target else "MISSED"
        target = f"< {target:g} %"
    return (f"  {name:<8} {wall:8.1f} {cpu_stat:8.2f} {cpu_sched:9.3f} {per_min:10.3f} {percent:11.3f} %   "
            f"{target or '':<9} {verdict}")


def mb(kb):
    return kb / 1024.0


def slope_mb_per_min(points):
    """Least-squares slope of (seconds, kB) points in MB per minute."""
    if len(points) < 2:
        return 0.0
    n = len(points)
    mean_t = sum(t for t, _ in points) / n
    mean_v = sum(v for _, v in points) / n
    var = sum((t - mean_t) ** 2 for t, _ in points)
    if var == 0:
        return 0.0
    cov = sum((t - mean_t) * (v - mean_v) for t, v in points)
    return cov / var * 60 / 1024.0


# ------------------------------------------------------------------------------------------------- main

def wait_for_line(path, text, timeout, process):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if process.poll() is not None:
            return False
        try:
            with open(path, errors="replace") as f:
                if text in f.read():
                    return True
        except OSError:
            pass
        time.sleep(0.1)
    return False


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--app", required=True, help="path of norvane_under_test")
    parser.add_argument("--typing-window", required=True, help="path of bench_typing_window")
    parser.add_argument("--minutes", type=float, default=5.0, help="monitoring time, start-up excluded")
    parser.add_argument("--burst", type=float, default=30.0, help="seconds of typing per burst")
    parser.add_argument("--gap", type=float, default=60.0,
                        help="seconds without input after each burst (at least 25)")
    parser.add_argument("--settle", type=float, default=10.0,
                        help="seconds after monitoring starts that count as start-up")
    parser.add_argument("--delay", type=int, default=70, help="milliseconds between typed keys")
    parser.add_argument("--opportunity-every", type=int, default=3,
                        help="answer analyses 1, N+1, 2N+1... with an opportunity, so a nudge shows (0: never)")
    parser.add_argument("--wrap", default="", help="command prefix for the application, e.g. valgrind")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folders and the log")
    parser.add_argument("--csv", help="write the samples (seconds, ticks, VmRSS kB, VmHWM kB, RssAnon kB, captures) here")
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    if args.gap < IDLE_THRESHOLD + IDLE_SLACK + 3:
        parser.error("--gap must leave the application time to go idle (at least 25 s)")
    if not os.environ.get("DISPLAY"):
        parser.error("no DISPLAY: run this through tests/run-with-x.sh")

    rng = random.Random(args.seed)
    tmp = tempfile.mkdtemp(prefix="norvane-bench-")
    home = os.path.join(tmp, "home")
    config = os.path.join(tmp, "config")
    data = os.path.join(tmp, "data")
    cache = os.path.join(tmp, "cache")
    runtime = os.path.join(tmp, "runtime")
    for folder in (home, config, data, cache, runtime):
        os.makedirs(folder, mode=0o700)
    os.makedirs(os.path.join(config, "Norvane"), mode=0o700)
    # The settings store is QSettings in INI format: XDG_CONFIG_HOME/Norvane/Norvane.ini.
    settings = os.path.join(config, "Norvane", "Norvane.ini")
    with open(settings, "w") as f:
        f.write("[General]\ngemini_api_key=bench-dummy-key\n")
    os.chmod(settings, 0o600)
    data_dir = os.path.join(data, "Norvane")
    captures_dir = os.path.join(data_dir, "screenshots", "captures")
    log_path = os.path.join(tmp, "norvane.log")

    server = ModelServer(args.opportunity_every).start()
    load_start = load_average()

    editor = subprocess.Popen([args.typing_window], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              text=True)
    line = editor.stdout.readline().split()
    if len(line) != 2 or line[0] != "WINDOW":
        print("the typing window did not start", file=sys.stderr)
        editor.kill()
        return 1
    window_id = line[1]
    xdotool("windowactivate", "--sync", window_id)

    env = dict(os.environ)
    env.update({
        "HOME": home,
        "XDG_CONFIG_HOME": config,
        "XDG_DATA_HOME": data,
        "XDG_CACHE_HOME": cache,
        "XDG_RUNTIME_DIR": runtime,
        "QT_QPA_PLATFORM": "xcb",
        "NORVANE_TEST_GEMINI_ENDPOINT": f"http://127.0.0.1:{server.port}",
        "NORVANE_TEST_START_MONITORING": "1",
    })
    env.pop("WAYLAND_DISPLAY", None)
    log = open(log_path, "w")
    t_launch = time.monotonic()
    app = subprocess.Popen(shlex.split(args.wrap) + [args.app], env=env, stdout=log,
                           stderr=subprocess.STDOUT)
    sampler = Sampler(app.pid, captures_dir, 1.0)
    sampler.start()

    failed = None
    bursts = []  # (start, last key, idle from, idle until)
    try:
        timeout = 300 if args.wrap else 30
        if not wait_for_line(log_path, "Monitoring started", timeout, app):
            failed = "monitoring did not start (see the log)"
        else:
            t_monitoring = time.monotonic()
            t_end = t_monitoring + args.minutes * 60
            t_settled = t_monitoring + args.settle
            time.sleep(max(0.0, t_settled - time.monotonic()))
            while time.monotonic() + args.burst + args.gap <= t_end + 1:
                start = time.monotonic()
                last_key = type_burst(window_id, args.burst, rng, args.delay)
                idle_from = last_key + IDLE_THRESHOLD + IDLE_SLACK
                next_start = min(last_key + args.gap, t_end)
                time.sleep(max(0.0, next_start - time.monotonic()))
                if app.poll() is not None:
                    failed = f"the application exited with {app.returncode} during the run"
                    break
                bursts.append((start, last_key, idle_from, time.monotonic()))
            if not failed:
                time.sleep(max(0.0, t_end - time.monotonic()))
                if not bursts:
                    failed = "the run was too short for one burst and one gap"
    finally:
        sampler.done.set()
        sampler.join()
        io, status, mappings = {}, {}, []
        try:
            if app.poll() is None:
                sampler.sample()
                io = io_counters(app.pid)
                status = status_kb(app.pid)
                mappings = largest_mappings(app.pid, 6)
        except OSError:
            pass
        captures = count_files(captures_dir, ".jpg")
        data_bytes = tree_size(data_dir)
        load_end = load_average()
        exit_code = None
        if app.poll() is None:
            app.send_signal(signal.SIGTERM)
            try:
                exit_code = app.wait(timeout=60 if args.wrap else 15)
            except subprocess.TimeoutExpired:
                app.kill()
                exit_code = "killed after SIGTERM timed out"
        else:
            exit_code = app.returncode
        log.close()
        editor.kill()
        editor.wait()
        server.stop()

    samples = sampler.samples
    if args.csv:
        t0 = samples[0][0] if samples else 0
        with open(args.csv, "w") as f:
            f.write("seconds,cpu_ticks,vmrss_kb,vmhwm_kb,rssanon_kb,captures\n")
            for s in samples:
                f.write(f"{s[0] - t0:.2f},{s[1]},{s[2]},{s[3]},{s[6]},{s[5]}\n")

    if failed:
        print(f"benchmark failed: {failed}", file=sys.stderr)
        print(f"log: {log_path}", file=sys.stderr)
        return 1

    # Phases: start-up, then active (first key of a burst until the application is idle again) and idle.
    phases = {"start-up": [(t_launch, t_settled)], "active": [], "idle": []}
    cursor = t_settled
    for start, _, idle_from, _ in bursts:
        phases["idle"].append((cursor, start))
        phases["active"].append((start, idle_from))
        cursor = idle_from
    phases["idle"].append((cursor, samples[-1][0] + 1))

    totals = {}
    by_thread = {}
    for name, intervals in phases.items():
        ticks = ns = wall = 0
        for start, end in intervals:
            t, w = ticks_between(samples, start, end)
            used = runtime_between(samples, start, end)
            ticks += t
            wall += w
            ns += sum(used.values())
            for comm, value in used.items():
                by_thread.setdefault(comm, {}).setdefault(name, 0)
                by_thread[comm][name] += value
        totals[name] = (ticks, ns, wall)

    def percent_of(start, end):
        t, w = ticks_between(samples, start, end)
        ns = sum(runtime_between(samples, start, end).values())
        return max(t / CLK_TCK, ns / 1e9) / w * 100 if w else 0.0

    def last_before(moment, index):
        return [s[index] for s in samples if s[0] <= moment][-1]

    rss_values = [s[2] for s in samples if s[0] >= t_settled]
    final_rss, final_hwm = samples[-1][2], samples[-1][3]
    # The first minutes fill the application's buffer (BUFFER_LIMIT captures), build the nudge card and
    # let the allocator settle, so flatness is judged on the second half of the run: a least-squares
    # slope of VmRSS below FLAT_SLOPE MB/min.
    middle = t_settled + (samples[-1][0] - t_settled) / 2
    late = [(s[0], s[2]) for s in samples if s[0] >= middle]
    late_anon = [s[6] for s in samples if s[0] >= middle]
    late_slope = slope_mb_per_min(late)
    full = [s[2] for s in samples if s[5] >= BUFFER_LIMIT]
    peak_ok = final_hwm < 100 * 1024
    if args.minutes < FLAT_MINUTES:
        flat_verdict = f"not judged (needs a run of {FLAT_MINUTES:g} min or more)"
    else:
        flat_verdict = "ok" if late_slope < FLAT_SLOPE else "MISSED"
    print()
    print(f"Norvane resource benchmark: {args.minutes:g} min of monitoring, {len(bursts)} bursts of "
          f"~{args.burst:g} s typing, gaps of {args.gap:g} s (active = first key until "
          f"{IDLE_THRESHOLD + IDLE_SLACK:g} s after the last)")
    print(f"load average: {load_start} at start, {load_end} at end ({os.cpu_count()} cores)")
    print()
    print("  phase      wall s    CPU s  sched s  CPU s/min  % of a core   target")
    print(cpu_line("start-up", totals["start-up"], None))
    print(cpu_line("active", totals["active"], 1.0))
    print(cpu_line("idle", totals["idle"], 0.1))
    print()
    print("  burst  typing s  active % core  idle % core  VmRSS at end MB  RssAnon MB  captures so far")
    for n, (start, last_key, idle_from, idle_until) in enumerate(bursts, 1):
        print(f"  {n:5}  {last_key - start:8.1f}  {percent_of(start, idle_from):13.3f}  "
              f"{percent_of(idle_from, idle_until):11.3f}  {mb(last_before(idle_until, 2)):15.1f}  "
              f"{mb(last_before(idle_until, 6)):10.1f}  {last_before(idle_until, 5):15}")
    print()
    print(f"  memory: VmRSS after start-up {mb(rss_values[0]) if rss_values else 0:.1f} MB, "
          f"min/max while monitoring {mb(min(rss_values)):.1f}/{mb(max(rss_values)):.1f} MB, "
          f"final {mb(final_rss):.1f} MB, peak VmHWM {mb(final_hwm):.1f} MB")
    print(f"          second half ({(samples[-1][0] - middle) / 60:.1f} min): VmRSS "
          f"{mb(min(v for _, v in late)):.1f}..{mb(max(v for _, v in late)):.1f} MB, RssAnon "
          f"{mb(min(late_anon)):.1f}..{mb(max(late_anon)):.1f} MB, slope {late_slope:+.2f} MB/min; "
          + (f"VmRSS when the buffer first held {BUFFER_LIMIT} captures {mb(full[0]):.1f} MB"
             if full else f"the buffer never held {BUFFER_LIMIT} captures"))
    print(f"          targets: peak < 100 MB   {'ok' if peak_ok else 'MISSED'};   flat (slope < {FLAT_SLOPE:g} "
          f"MB/min over the second half)   {flat_verdict}")
    if status:
        print(f"          final RssAnon {mb(status.get('RssAnon', 0)):.1f} MB, RssFile "
              f"{mb(status.get('RssFile', 0)):.1f} MB, RssShmem {mb(status.get('RssShmem', 0)):.1f} MB; "
              "largest: " + ", ".join(f"{name} {mb(kb):.1f}" for name, kb in mappings))
    print(f"  captures: {captures} files in the captures folder "
          f"({captures / len(bursts):.1f} per burst); analyses asked {server.analyses}, "
          f"opportunities answered {server.opportunities}, recommendations {server.recommendations}")
    print(f"  written: write_bytes {io.get('write_bytes', 0) / 1024:.0f} kB, "
          f"wchar {io.get('wchar', 0) / 1024:.0f} kB; data folder {data_bytes / 1024:.0f} kB; "
          f"sent to the model {server.request_bytes / 1024:.0f} kB")
    ranked = sorted(by_thread.items(), key=lambda item: -sum(item[1].values()))[:7]
    print("  CPU ms by thread (start-up/active/idle): " + ", ".join(
        f"{comm} {v.get('start-up', 0) / 1e6:.0f}/{v.get('active', 0) / 1e6:.0f}/{v.get('idle', 0) / 1e6:.0f}"
        for comm, v in ranked))
    print(f"  exit after SIGTERM: {exit_code}")
    if args.keep:
        print(f"  kept: {tmp} (log: {log_path})")
    else:
        shutil.rmtree(tmp, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
