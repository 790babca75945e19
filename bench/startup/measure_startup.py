#!/usr/bin/env python3
"""Launches the real program several times and reports the median time from launch until the
main window is first painted, and its resident memory (VmRSS) a few seconds later.

usage: bench/startup/measure_startup.py [--runs N] [--platform offscreen|xvfb] [BINARY]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time


def rss_mib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024.0
    return float("nan")


def one_run(binary, env, settle):
    launched = time.monotonic()
    proc = subprocess.Popen([binary], env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                            text=True)
    try:
        line = proc.stdout.readline()
        if not line.startswith("shown "):
            raise RuntimeError(f"no startup probe output from {binary}: {line!r}")
        shown = float(line.split()[1]) - launched
        time.sleep(settle)
        rss = rss_mib(proc.pid)
    finally:
        proc.terminate()
        proc.wait(timeout=10)
    return shown, rss


def start_xvfb():
    """Starts Xvfb on a display number it picks itself (-displayfd), so it can never land on
    another X server; returns the process and the display name once it accepts clients."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
                             "-nolisten", "tcp"], pass_fds=(write_end,),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as announced:
        number = announced.readline().strip()
    if not number.isdigit():
        xvfb.terminate()
        xvfb.wait()
        raise RuntimeError("Xvfb did not announce a display number")
    return xvfb, ":" + number


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default_binary = os.path.join(here, "..", "..", "build", "velmoran")
    ap = argparse.ArgumentParser()
    ap.add_argument("binary", nargs="?", default=default_binary)
    ap.add_argument("--runs", type=int, default=10)
    ap.add_argument("--settle", type=float, default=3.0, help="seconds before reading VmRSS")
    ap.add_argument("--platform", choices=["offscreen", "xvfb", "auto"], default="auto")
    args = ap.parse_args()

    env = dict(os.environ, VELMORAN_STARTUP_PROBE="1")
    xvfb = None
    platform = args.platform
    if platform == "auto":
        platform = "xvfb" if shutil.which("Xvfb") else "offscreen"
    if platform == "xvfb":
        xvfb, display = start_xvfb()
        env["DISPLAY"] = display
        env["QT_QPA_PLATFORM"] = "xcb"
    else:
        env["QT_QPA_PLATFORM"] = "offscreen"
    try:
        one_run(args.binary, env, 0.1)  # warm the page cache and the font cache
        results = [one_run(args.binary, env, args.settle) for _ in range(args.runs)]
    finally:
        if xvfb:
            xvfb.terminate()
            xvfb.wait()
    shown = [r[0] * 1000 for r in results]
    rss = [r[1] for r in results]
    print(f"platform: {platform}, runs: {args.runs}")
    print(f"launch to shown: median {statistics.median(shown):.1f} ms "
          f"(min {min(shown):.1f}, max {max(shown):.1f})")
    print(f"resident after {args.settle:g} s: median {statistics.median(rss):.1f} MiB "
          f"(min {min(rss):.1f}, max {max(rss):.1f})")


if __name__ == "__main__":
    sys.exit(main())
