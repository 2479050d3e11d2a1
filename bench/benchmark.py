#!/usr/bin/env python3
"""Measures ppd-paper-defaults against its two floors and prints the results as a Markdown table.

The floors (floor-block-copy and floor-byte-copy, both from floor_copy.cpp) do what every run
must: load CUPS, parse the PPD once and copy its text, in blocks or byte by byte. All runs use LC_ALL=en_US.UTF-8, so
the tool really rewrites lines. Nothing is asserted: the figures are printed, not judged.

Usage: bench/benchmark.py (from anywhere; `make bench` installs what it needs and runs it)
  BUILD_DIR       build directory holding the tool and the floors (default: build)
  PPD_CORPUS_DIR  directory of the unpacked openprinting PPDs (NNNNN.ppd); when unset they are
                  unpacked into a temporary directory with bench/unpack_openprinting_ppds.py
  BENCH_RUNS      hyperfine runs per command (default: 30)
"""

import json
import os
import platform
import re
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / os.environ.get("BUILD_DIR", "build")
PROGRAMS = {
    "block floor": BUILD / "bench" / "floor-block-copy",
    "byte floor": BUILD / "bench" / "floor-byte-copy",
    "tool": BUILD / "ppd-paper-defaults" / "ppd-paper-defaults",
}
# A fixed, small environment.
ENV = {"LC_ALL": "en_US.UTF-8", "PATH": os.environ.get("PATH", "/usr/bin:/bin")}
# Where the stack lies moves a run's instruction count by up to 5% on a large PPD: the CUPS
# parser's strcmp takes a slower path for a string near the end of a page. So instructions are
# counted at eight stack positions across a page, set by the size of one more environment
# variable, and the least count is taken: the work without that toll, whatever the start.
STACK_PADS = range(0, 4096, 520)
RUNS = int(os.environ.get("BENCH_RUNS", "30"))


def run(args, **kwargs):
    return subprocess.run(args, env=ENV, check=True, **kwargs)


def instructions(program, ppd, scratch):
    """Total instructions of a run, counted by callgrind: the least over the stack positions."""
    out, counts = scratch / "callgrind.out", []
    for pad in STACK_PADS:
        subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", program, "x", ppd],
                       env=dict(ENV, BENCH_STACK="x" * pad), check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        counts.append(int(re.search(r"^summary: (\d+)", out.read_text(), re.MULTILINE)[1]))
        out.unlink()
    return min(counts)


def wall_medians(ppd, scratch):
    """Median wall time in seconds of each program on `ppd`, all in one hyperfine run, and
    whether hyperfine warned of outliers, a sign of a busy machine."""
    out = scratch / "hyperfine.json"
    args = ["hyperfine", "-N", "--style", "none", "--warmup", "3", "--runs", str(RUNS),
            "--output", "null", "--export-json", str(out)]
    for name, program in PROGRAMS.items():
        args += ["-n", name, f"{program} x {ppd}"]
    warnings = run(args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True).stderr
    results = json.loads(out.read_text())["results"]
    out.unlink()
    return {r["command"]: r["median"] for r in results}, "outliers" in warnings


def peak_rss_kib(ppd):
    """Peak resident memory in KiB of each program (/usr/bin/time -v), the median of 15 rounds that
    run each program once in turn; and the tool's excess over the byte floor in each round. A
    single run moves by a few hundred KiB, more than the programs differ."""
    values = {name: [] for name in PROGRAMS}
    for _ in range(15):
        for name, program in PROGRAMS.items():
            report = run(["/usr/bin/time", "-v", program, "x", ppd], stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE, text=True).stderr
            values[name].append(int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", report)[1]))
    excess = [tool - floor for tool, floor in zip(values["tool"], values["byte floor"])]
    return {name: statistics.median(v) for name, v in values.items()}, excess


def corpus_rate(program, ppds):
    """PPDs per second over the whole corpus, two runs at a time; and xargs' exit status."""
    start = time.monotonic()
    done = subprocess.run(["xargs", "-0", "-P2", "-n1", str(program), "x"],
                          input=b"\0".join(bytes(p) for p in ppds), env=ENV,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return len(ppds) / (time.monotonic() - start), done.returncode


def machine():
    """The CPU, cores, system and compiler, for the record."""
    cpu = re.search(r"^model name\s*:\s*(.*)$", Path("/proc/cpuinfo").read_text(), re.MULTILINE)
    system = platform.freedesktop_os_release().get("PRETTY_NAME", platform.system())
    compiler = re.search(r"^CMAKE_CXX_COMPILER:\w+=(.*)$",
                         (BUILD / "CMakeCache.txt").read_text(), re.MULTILINE)[1]
    version = run([compiler, "--version"], stdout=subprocess.PIPE, text=True).stdout
    return f"{cpu[1] if cpu else '?'}, {os.cpu_count()} cores; {system}; {version.splitlines()[0]}"


def ratio(value, base):
    return f"{value / base:.3f}"


def main():
    sys.stdout.reconfigure(line_buffering=True)  # rows as they come: the whole run takes minutes
    for program in PROGRAMS.values():
        if not program.is_file():
            sys.exit(f"benchmark: {program} is missing; build first (make build)")
    with tempfile.TemporaryDirectory(prefix="ppd-bench.") as tmp:
        scratch = Path(tmp)
        corpus_dir = os.environ.get("PPD_CORPUS_DIR")
        if not corpus_dir:
            unpacker = ROOT / "bench" / "unpack_openprinting_ppds.py"
            if not unpacker.is_file():
                sys.exit(f"benchmark: {unpacker} is missing; set PPD_CORPUS_DIR")
            corpus_dir = scratch / "corpus"
            run([sys.executable, unpacker, corpus_dir], stdout=subprocess.DEVNULL)
        # By size, then name, so that the same corpus always gives the same median and largest.
        corpus = sorted(Path(corpus_dir).glob("*.ppd"), key=lambda p: (p.stat().st_size, p.name))
        if not corpus:
            sys.exit(f"benchmark: no PPDs in {corpus_dir}")
        sizes = {
            "small": ROOT / "examples" / "example-a4.ppd",
            "median": corpus[(len(corpus) - 1) // 2],
            "largest": corpus[-1],
        }

        print(f"Machine: {machine()}; load average {os.getloadavg()[0]:.2f} at the start\n")
        noisy, excesses = [], []
        print("| PPD | measure | block floor | byte floor | tool | tool / byte floor "
              "| tool / block floor |")
        print("|---|---|---:|---:|---:|---:|---:|")
        for size, ppd in sizes.items():
            label = f"{size}: {ppd.name}, {ppd.stat().st_size / 1000:.1f} kB"
            ir = {name: instructions(p, ppd, scratch) for name, p in PROGRAMS.items()}
            wall, outliers = wall_medians(ppd, scratch)
            if outliers:
                noisy.append(size)
            rss, excess = peak_rss_kib(ppd)
            excesses.append(f"{size} {statistics.median(excess):+.0f} ({min(excess):+d} to {max(excess):+d})")
            rows = [
                ("instructions (M)", ir, lambda v: f"{v / 1e6:.2f}"),
                ("wall time, median (ms)", wall, lambda v: f"{v * 1e3:.2f}"),
                ("peak RSS (KiB)", rss, lambda v: f"{v:.0f}"),
            ]
            for measure, values, show in rows:
                cells = " | ".join(show(values[name]) for name in PROGRAMS)
                print(f"| {label} | {measure} | {cells} | "
                      f"{ratio(values['tool'], values['byte floor'])} | "
                      f"{ratio(values['tool'], values['block floor'])} |")

        # Each program twice, the second round in reverse order, so that a machine that grows
        # busier or quieter during the run favours none of them.
        rates, failed = {name: [] for name in PROGRAMS}, set()
        for name in [*PROGRAMS, *reversed(PROGRAMS)]:
            rate, status = corpus_rate(PROGRAMS[name], corpus)
            rates[name].append(rate)
            if status != 0:
                failed.add(name)
        rates = {name: statistics.mean(values) for name, values in rates.items()}
        cells = " | ".join(f"{rates[name]:.0f}" for name in PROGRAMS)
        print(f"| whole corpus: {len(corpus)} PPDs, 2 workers | PPDs per second | {cells} | "
              f"{ratio(rates['tool'], rates['byte floor'])} | "
              f"{ratio(rates['tool'], rates['block floor'])} |")
        print(f"\nPeak RSS, the tool's excess over the byte floor in a round, median (least to most), KiB: "
              f"{'; '.join(excesses)}.")
        print(f"Load average {os.getloadavg()[0]:.2f} at the end.")
        if noisy:
            print(f"hyperfine found outliers in the wall times of: {', '.join(noisy)}.")
        if failed:
            print(f"Some corpus runs exited non-zero: {', '.join(sorted(failed))}.")


if __name__ == "__main__":
    main()
