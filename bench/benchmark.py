#!/usr/bin/env python3
"""Measures ppd-paper-defaults against its floors and prints the results as two Markdown tables.

Under LC_ALL=en_US.UTF-8, where the tool really rewrites lines, against floor-block-copy and
floor-byte-copy, which do what such a run must: load CUPS, parse the PPD once and copy its text, in
blocks or byte by byte. Under LC_ALL=de_DE.UTF-8, where the tool only copies, against
floor-pass-through, which loads CUPS and copies the text byte by byte with putchar. All floors are
built from floor_copy.cpp. Nothing is asserted: the figures are printed, not judged.

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
TOOL = BUILD / "ppd-paper-defaults" / "ppd-paper-defaults"
# Each table: its title, its locale, and its programs, the tool last; the first floor is the one
# that the tool is held to.
TABLES = [
    ("Under en_US, where lines are rewritten", "en_US.UTF-8",
     {"byte floor": BUILD / "bench" / "floor-byte-copy", "block floor": BUILD / "bench" / "floor-block-copy",
      "tool": TOOL}),
    ("Under de_DE, where the PPD is only copied", "de_DE.UTF-8",
     {"pass-through floor": BUILD / "bench" / "floor-pass-through", "tool": TOOL}),
]
# A fixed, small environment, and the locale.
ENV = {"PATH": os.environ.get("PATH", "/usr/bin:/bin")}
# Where the stack lies moves a run's instruction count by up to 5% on a large PPD: the CUPS
# parser's strcmp takes a slower path for a string near the end of a page. So instructions are
# counted at eight stack positions across a page, set by the size of one more environment
# variable, and the least count is taken: the work without that toll, whatever the start.
STACK_PADS = range(0, 4096, 520)
RUNS = int(os.environ.get("BENCH_RUNS", "30"))


def run(args, locale="C.UTF-8", **kwargs):
    return subprocess.run(args, env=dict(ENV, LC_ALL=locale), check=True, **kwargs)


def instructions(program, ppd, locale, scratch):
    """Total instructions of a run, counted by callgrind: the least over the stack positions."""
    out, counts = scratch / "callgrind.out", []
    for pad in STACK_PADS:
        subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", program, "x", ppd],
                       env=dict(ENV, LC_ALL=locale, BENCH_STACK="x" * pad), check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        counts.append(int(re.search(r"^summary: (\d+)", out.read_text(), re.MULTILINE)[1]))
        out.unlink()
    return min(counts)


def wall_medians(programs, ppd, locale, scratch):
    """Median wall time in seconds of each program on `ppd`, all in one hyperfine run, and
    whether hyperfine warned of outliers, a sign of a busy machine."""
    out = scratch / "hyperfine.json"
    args = ["hyperfine", "-N", "--style", "none", "--warmup", "3", "--runs", str(RUNS),
            "--output", "null", "--export-json", str(out)]
    for name, program in programs.items():
        args += ["-n", name, f"{program} x {ppd}"]
    warnings = run(args, locale, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True).stderr
    results = json.loads(out.read_text())["results"]
    out.unlink()
    return {r["command"]: r["median"] for r in results}, "outliers" in warnings


def peak_rss_kib(programs, ppd, locale):
    """Peak resident memory in KiB of each program (/usr/bin/time -v), the median of 15 rounds that
    run each program once in turn; and the tool's excess over the first floor in each round. A
    single run moves by a few hundred KiB, more than the programs differ."""
    values = {name: [] for name in programs}
    for _ in range(15):
        for name, program in programs.items():
            report = run(["/usr/bin/time", "-v", program, "x", ppd], locale, stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE, text=True).stderr
            values[name].append(int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", report)[1]))
    excess = [tool - floor for tool, floor in zip(values["tool"], next(iter(values.values())))]
    return {name: statistics.median(v) for name, v in values.items()}, excess


def corpus_rate(program, ppds, locale):
    """PPDs per second over the whole corpus, two runs at a time; and xargs' exit status."""
    start = time.monotonic()
    done = subprocess.run(["xargs", "-0", "-P2", "-n1", str(program), "x"],
                          input=b"\0".join(bytes(p) for p in ppds), env=dict(ENV, LC_ALL=locale),
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


def table(title, locale, programs, sizes, corpus, scratch):
    """Measures `programs` under `locale` and prints the table, a row as it comes."""
    floors = [name for name in programs if name != "tool"]
    print(f"\n{title} (LC_ALL={locale}):\n")
    print(f"| PPD | measure | {' | '.join(programs)} | {' | '.join(f'tool / {f}' for f in floors)} |")
    print(f"|---|---|{'---:|' * (len(programs) + len(floors))}")

    def row(label, measure, values, show):
        cells = [show(values[name]) for name in programs] + [f"{values['tool'] / values[f]:.3f}" for f in floors]
        print(f"| {label} | {measure} | {' | '.join(cells)} |")

    noisy, excesses = [], []
    for size, ppd in sizes.items():
        label = f"{size}: {ppd.name}, {ppd.stat().st_size / 1000:.1f} kB"
        row(label, "instructions (M)", {name: instructions(p, ppd, locale, scratch) for name, p in programs.items()},
            lambda v: f"{v / 1e6:.2f}")
        wall, outliers = wall_medians(programs, ppd, locale, scratch)
        row(label, "wall time, median (ms)", wall, lambda v: f"{v * 1e3:.2f}")
        noisy += [size] if outliers else []
        rss, excess = peak_rss_kib(programs, ppd, locale)
        row(label, "peak RSS (KiB)", rss, lambda v: f"{v:.0f}")
        excesses.append(f"{size} {statistics.median(excess):+.0f} ({min(excess):+d} to {max(excess):+d})")

    # Each program twice, the second round in reverse order, so that a machine that grows
    # busier or quieter during the run favours none of them.
    rates, failed = {name: [] for name in programs}, set()
    for name in [*programs, *reversed(programs)]:
        rate, status = corpus_rate(programs[name], corpus, locale)
        rates[name].append(rate)
        failed |= {name} if status != 0 else set()
    row(f"whole corpus: {len(corpus)} PPDs, 2 workers", "PPDs per second",
        {name: statistics.mean(values) for name, values in rates.items()}, lambda v: f"{v:.0f}")
    print(f"\nPeak RSS, the tool's excess over the {floors[0]} in a round, median (least to most), KiB: "
          f"{'; '.join(excesses)}.")
    if noisy:
        print(f"hyperfine found outliers in the wall times of: {', '.join(noisy)}.")
    if failed:
        print(f"Some corpus runs exited non-zero: {', '.join(sorted(failed))}.")


def main():
    sys.stdout.reconfigure(line_buffering=True)  # rows as they come: the whole run takes minutes
    for _, _, programs in TABLES:
        for program in programs.values():
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
        print(f"Machine: {machine()}; load average {os.getloadavg()[0]:.2f} at the start")
        for title, locale, programs in TABLES:
            table(title, locale, programs, sizes, corpus, scratch)
        print(f"Load average {os.getloadavg()[0]:.2f} at the end.")


if __name__ == "__main__":
    main()
