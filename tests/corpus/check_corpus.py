#!/usr/bin/env python3
"""Runs ppd-paper-defaults on every PPD in PPDDIR and checks that, for each one,
  (a) under LC_ALL=de_DE.UTF-8 the output is the input, byte for byte, with exit status 0;
  (b) under LC_ALL=en_US.UTF-8 only lines that begin with a default paper key change, each to
      the text before its ':' and ": Letter" plus a line feed, and only where Letter applies;
  (c) a PPD that `cupstestppd -q` passes still passes after the rewrite;
  (d) the CUPS PPD API marks "Letter" as the default PageSize of a rewritten PPD that has a
      *DefaultPageSize line.
Prints the totals; a failure names the PPD and its first differing line.
Usage: check_corpus.py TOOL PAGE_SIZE_PROBE PPDDIR"""
import os, re, subprocess, sys, tempfile, time
from concurrent.futures import ThreadPoolExecutor

TOOL, PROBE, PPDDIR = sys.argv[1:]
KEYS = (b"*DefaultPageSize", b"*DefaultPageRegion", b"*DefaultImageableArea", b"*DefaultPaperDimension")
LINE = re.compile(rb"[^\n]*\n|[^\n]+\Z")


def run(cmd, locale=None):
    env = dict(os.environ, LC_ALL=locale) if locale else None
    return subprocess.run(cmd, capture_output=True, env=env)


def first_difference(want, got):
    want, got = LINE.findall(want), LINE.findall(got)
    n = next((i for i, (w, g) in enumerate(zip(want, got)) if w != g), min(len(want), len(got)))
    line = lambda lines: repr(lines[n][:100]) if n < len(lines) else "(no line)"
    return f"first differing line {n + 1}: expected {line(want)}, got {line(got)}"


def rewritten(line):
    return line[: line.index(b":")] + b": Letter\n" if line.startswith(KEYS) and b":" in line else line


def check(name, scratch):
    """Returns (lines changed, cupstestppd passes kept, PageSize checked); raises on a failure."""
    path, out = os.path.join(PPDDIR, name), os.path.join(scratch, name)
    with open(path, "rb") as f:
        text = f.read()
    de = run([TOOL, "x", path], "de_DE.UTF-8")
    assert de.returncode == 0, f"de_DE: exit status {de.returncode}: {de.stderr.decode(errors='replace').strip()}"
    assert de.stdout == text, f"de_DE: output differs from the input, {first_difference(text, de.stdout)}"

    us = run([TOOL, "x", path], "en_US.UTF-8")
    assert us.returncode == 0, f"en_US: exit status {us.returncode}: {us.stderr.decode(errors='replace').strip()}"
    # The same decision the tool makes: not market "J" and a "Letter" PageSize, or a PPD the parser rejects.
    before = run([PROBE, path]).stdout.decode(errors="replace").rstrip("\n").split(" ", 2)
    letter = before == ["unreadable"] or (before[1] == "1" and before[2][:32] != "J")
    want = b"".join(map(rewritten, LINE.findall(text))) if letter else text
    assert us.stdout == want, f"en_US: {first_difference(want, us.stdout)}"
    changed = sum(a != b for a, b in zip(LINE.findall(text), LINE.findall(us.stdout)))
    kept = checked = 0
    if changed:
        with open(out, "wb") as f:
            f.write(us.stdout)
        if run(["cupstestppd", "-q", path]).returncode == 0:
            if run(["cupstestppd", "-q", out]).returncode != 0:
                why = run(["cupstestppd", out]).stdout.decode(errors="replace")[-300:].strip()
                raise AssertionError(f"en_US: cupstestppd passes the input but fails the output: {why}")
            kept = 1
    if letter and before != ["unreadable"] and re.search(rb"^\*DefaultPageSize\s*:", text, re.M):
        marked = run([PROBE, out]).stdout.decode(errors="replace").split(" ")[0] if changed else before[0]
        assert marked == "Letter", f"en_US: the CUPS PPD API marks PageSize {marked!r}, not Letter"
        checked = 1
    if changed:
        os.remove(out)
    return changed, kept, checked


start = time.monotonic()
names = sorted(n for n in os.listdir(PPDDIR) if n.endswith(".ppd"))
failures, totals = [], [0, 0, 0, 0]
with tempfile.TemporaryDirectory(prefix="ppd-corpus-") as scratch, ThreadPoolExecutor(2) as pool:
    for name, job in [(n, pool.submit(check, n, scratch)) for n in names]:
        try:
            result = job.result()
        except Exception as e:
            failures.append(f"FAIL {name}: {e}")
            continue
        totals = [t + r for t, r in zip(totals, (result[0] > 0, *result))]
print(f"PPDs checked: {len(names)}, failed: {len(failures)}, time taken: {time.monotonic() - start:.0f} s")
print(f"Changed under en_US: {totals[0]} files, {totals[1]} lines")
print(f"cupstestppd -q: {totals[2]} changed PPDs pass both before and after the rewrite")
print(f"CUPS PPD API: default PageSize Letter in {totals[3]} en_US outputs that have a *DefaultPageSize line")
if failures:
    print(*failures[:20], sep="\n")
sys.exit(1 if failures or not names else 0)
