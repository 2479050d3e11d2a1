#!/usr/bin/env python3
"""Fails each allocation of a run of ppd-paper-defaults, and each call of the system calls in CALLS
from the first that names the PPD on, once in turn (strace's fault injection), on the PPDs below,
under en_US (one also under de_DE, where it is only copied) and as on the BSDs (simulate.cpp's
`bsd`); then every read from the copy's first on, as on a bad sector; then runs the tool on a large
"J" PPD under memory limits. Each run must give the right output with status 0, or status 1 and one
message line, which names the error where a read of the PPD or the output failed; a read that a
signal interrupts must be retried; a clean run closes standard output. Counted, not failed: runs
with a failed allocation ended by a signal with nothing written (libcups crashes on some; on no
other fault), and the iconv PPD come out with Letter, as the manual page allows.
Usage: fault_sweep.py SIMULATE_LIBRARY TOOL"""
import errno, gzip, os, random, re, subprocess, sys, tempfile
from concurrent.futures import ThreadPoolExecutor

SIMULATE, TOOL = sys.argv[1:]
ENOMEM, EIO = ": " + os.strerror(errno.ENOMEM), ": " + os.strerror(errno.EIO)
CALLS = {"openat": "EIO", "newfstatat": "EIO", "fcntl": "EIO", "lseek": "EIO", "read": "EIO", "pread64": "EIO",
         "write": "EIO", "close": "EIO", "mmap": "ENOMEM"}


def make_ppd(market, head=b"", options=b"", letter=b"Letter"):
    """A PPD with A4 defaults, the page size `letter`, `head` and `options`, and the market keyword
    unless `market` is empty; and the tool's output of it."""
    text = (b'*PPD-Adobe: "4.3"\n' + head + (b"*TOLVMarket: " + market + b"\n" if market else b"") +
            b'*OpenUI *PageSize: PickOne\n*DefaultPageSize: A4\n*PageSize A4: "a"\n*PageSize ' + letter +
            b': "l"\n*CloseUI: *PageSize\n' + options +
            b"*DefaultPageRegion: A4\n*DefaultImageableArea: A4\n*DefaultPaperDimension: A4\n")
    return text, as_letter(text) if market != b"J" and letter == b"Letter" else text


def as_letter(text):
    return re.sub(rb"(?m)^(\*Default[A-Za-z]+): A4", rb"\1: Letter", text)


def run(ppd, prefix=(), simulate=None, locale="en_US.UTF-8"):
    """Runs the tool as on the BSDs, whose stdio sets errno on a write that succeeds."""
    env = {"LC_ALL": locale, "LD_PRELOAD": SIMULATE, "PPD_TEST_SIMULATE": f"bsd,{simulate or ''}"}
    return subprocess.run([*prefix, TOOL, "x", ppd], capture_output=True, env=env)


def judge(result, wants, error, quiet):
    """None for a run that is right (its output one of `wants`), or fails as `error` (None: must not
    fail) allows, having written nothing if `quiet`; "signal" for one ended by a signal that wrote
    nothing where `error` allows ENOMEM, a failed allocation; "unseen" for the second of `wants`;
    otherwise what is wrong."""
    lines = result.stderr.decode(errors="replace").splitlines()
    if result.returncode == 0 and result.stdout in wants[1:] and not lines:
        return "unseen"
    if (result.returncode == 0 and result.stdout == wants[0] and not lines) or (
            error is not None and result.returncode == 1 and len(lines) == 1 and lines[0].endswith(error)
            and not (quiet and result.stdout)):
        return None
    if error is not None and ENOMEM in error and result.returncode < 0 and not result.stdout:
        return "signal"
    return f"status {result.returncode}, {len(result.stdout)} of {len(wants[0])} bytes written, stderr {lines[:2]}"


def inject(error, when):
    """strace failing the calls that `when` names as `error`, at the counts it gives them."""
    return ("strace", "-o", "/dev/null", *(f"-einject={name}:error={error}:when={n}" for name, n in when.items()))


def sweep(ppd, want, trace, unseen=(), locale="en_US.UTF-8"):
    """(what, (ppd, prefix, simulate, locale), wants, error, quiet) for each failure to make in a run on
    `ppd`: one before the copy (before the rewind, the last lseek to the start) must write nothing. A
    failed allocation may also give the output `unseen`."""
    count = run(ppd, simulate="count-allocs", locale=locale).stderr.split()
    # The CUPS file layer calls a failure to get memory for decompressing an input/output error.
    error = (ENOMEM, EIO) if ppd.endswith(".gz") else ENOMEM
    jobs = [(f"allocation {n}", (ppd, (), f"fail-alloc={n}", locale), (want, *unseen), error, True)
            for n in range(1, int(count[-1]) + 1)]
    assert run(ppd, ("strace", "-o", trace, "-e", "trace=" + ",".join(CALLS)), locale=locale).returncode == 0
    calls = [(m[1], m[2], line) for line in open(trace) if (m := re.match(r"(\w+)\((\d*)", line))]
    # Only closing standard output reports an error that a file system keeps until then.
    assert ("close", "1") in [call[:2] for call in calls], f"{ppd}: standard output is never closed"
    start = next(i for i, (_, _, line) in enumerate(calls) if f'"{ppd}"' in line)
    fd = next(line for name, _, line in calls[start:] if name == "openat").split()[-1]
    rewind = max(i for i, (name, _, line) in enumerate(calls) if line.startswith(f"lseek({fd}, 0, SEEK_SET)"))
    # A read error that persists, as on a bad sector: every read from the copy's first on fails.
    copy = next(i for i, (name, first, _) in enumerate(calls) if i > rewind and name == "read" and first == fd)
    when = {name: f"{sum(call[0] == name for call in calls[:copy]) + 1}+" for name in ("read", "pread64")}
    jobs.append(("every read from the copy on", (ppd, inject("EIO", when), None, locale), (want,), EIO, False))
    for i, (name, first, line) in enumerate(calls[start:], start):
        n = sum(call[0] == name for call in calls[: i + 1])  # strace counts each system call apart
        reads = name in ("read", "pread64") and first == fd
        named = reads or (name in ("write", "close") and first == "1")
        # A read that fails where the file ends, after its last byte, counts as that end.
        error = None if name == "read" and reads and line.rstrip().endswith("= 0") else EIO if named else ""
        jobs.append((f"{name} {n}", (ppd, inject(CALLS[name], {name: n}), None, locale), (want,), error, i <= rewind))
        if reads:  # a read that a signal interrupts is retried, by the CUPS file layer and the tool
            jobs.append((f"{name} {n} interrupted", (ppd, inject("EINTR", {name: n}), None, locale), (want,), None, False))
    return jobs


with tempfile.TemporaryDirectory(prefix="ppd-sweep-") as tmp, ThreadPoolExecutor(2) as pool:
    # 100 KB that compresses to little, then 12 KB that compresses to half: a read of the gzip PPD
    # fails after its text has passed the compressed size.
    noise = random.Random(1).randbytes(6000).hex().encode()
    comments = b"*% a comment line of fifty bytes, to fill 100 KB.\n" * 2000 + b"".join(
        b"*% " + noise[i:i + 60] + b"\n" for i in range(0, len(noise), 60))
    jobs = []
    for market in b"W", b"J":
        text, want = make_ppd(market, comments)
        for name, data in (f"{tmp}/{market.decode()}.ppd", text), (f"{tmp}/{market.decode()}.ppd.gz", gzip.compress(text, mtime=0)):
            open(name, "wb").write(data)
            assert judge(run(name), (want,), None, False) is None, f"{name}: wrong without a failure"
            jobs += sweep(name, want, f"{tmp}/trace")
    # Under a locale without Letter, the copy alone.
    jobs += sweep(f"{tmp}/W.ppd", make_ppd(b"W", comments)[0], f"{tmp}/trace", locale="de_DE.UTF-8")
    # A message, its name quoted, leaves in one write: lines of processes that share a log never mix.
    run(f"{tmp}/no\nsuch", ("strace", "-o", f"{tmp}/trace", "-e", "trace=write"))
    assert sum(line.startswith("write(2,") for line in open(f"{tmp}/trace")) == 1, "a message in pieces"
    # gzip data that the CUPS file layer reads whole in its first read; without a market keyword or
    # Letter, so that only the parser could say that it keeps A4.
    text, want = make_ppd(b"", letter=b"USLetter")
    open(f"{tmp}/small.ppd.gz", "wb").write(gzip.compress(text, mtime=0))
    jobs += sweep(f"{tmp}/small.ppd.gz", want, f"{tmp}/trace")
    # A "J" PPD in WindowsANSI: iconv converts its translations after the market keyword is stored.
    text, want = make_ppd(b"J", b"*LanguageEncoding: WindowsANSI\n", b"*OpenUI *Tray/" + b"\xe9" * 60 +
                          b": PickOne\n*DefaultTray: a\n*Tray a/" + b"\xe9" * 60 + b': "a"\n*CloseUI: *Tray\n')
    open(f"{tmp}/iconv.ppd", "wb").write(text)
    jobs += sweep(f"{tmp}/iconv.ppd", want, f"{tmp}/trace", unseen=[as_letter(text)])
    # A "J" PPD of 5 MB, one option of 300,000 choices, under memory limits from 20,000 KiB on.
    big, same = make_ppd(b"J", options=b"*OpenUI *Big: PickOne\n*DefaultBig: c0\n" +
                         b"".join(b'*Big c%d: "x"\n' % i for i in range(300000)) + b"*CloseUI: *Big\n")
    open(f"{tmp}/big.ppd", "wb").write(big)
    jobs += [(f"under {kib} KiB", (f"{tmp}/big.ppd", ("prlimit", f"--as={kib * 1024}", "--"), None, "en_US.UTF-8"),
              (same,), ENOMEM, True) for kib in range(20000, 120001, 2000)]
    verdicts = []
    for verdict in pool.map(lambda job: (f"{job[1][0]} ({job[1][3]}): {job[0]}", judge(run(*job[1]), *job[2:])), jobs):
        verdicts.append(verdict)
        if len(verdicts) % 200 == 0:  # progress, every few seconds, for whoever waits
            print(f"{len(verdicts)} of {len(jobs)} runs made", flush=True)

failures = [f"FAIL {what}: {verdict}" for what, verdict in verdicts if verdict not in (None, "signal", "unseen")]
signalled = [what for what, verdict in verdicts if verdict == "signal"]
unseen = sum(verdict == "unseen" for _, verdict in verdicts)
print(f"runs: {len(jobs)}, failed: {len(failures)}; ended by a signal, nothing written: {len(signalled)}; "
      f"a failed allocation unseen in the iconv PPD: {unseen}")
print(*signalled, *failures[:20], sep="\n")
sys.exit(1 if failures else 0)
