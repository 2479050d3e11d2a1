#!/usr/bin/env python3
"""Checks ppd-paper-defaults on the PPDs of Debian's openprinting-ppds, unpacked into a temporary
folder: under de_DE the output is the input; under en_US each line that begins with one of the four
keys is cut at its colon and ends ": Letter" with the line's own ending, where the PPD offers Letter
and is not a "J" market model; cupstestppd says nothing new of a changed PPD. Then a private cupsd,
which never touches the machine's, takes a rewritten A4 PPD and an untouched one as two queues, and
must show *Letter and *A4. PPD_CORPUS_STEP=N takes every Nth PPD only. Prints the totals, and for
each failure the PPD and what differs.
Usage: check_real_ppds.py [EMULATOR...] TOOL"""
import grp, os, pwd, re, subprocess, sys, tempfile, time
from concurrent.futures import ThreadPoolExecutor

TOOL = sys.argv[1:]
KEYS = (b"*DefaultPageSize", b"*DefaultPageRegion", b"*DefaultImageableArea", b"*DefaultPaperDimension")
LINE = re.compile(rb"[^\n]*\n|[^\n]+\Z")
OFFERS_LETTER = re.compile(rb"^\*PageSize\s+Letter\s*[/:]", re.M)
MARKET_J = re.compile(rb'^\*(?i:TOLVMarket):\s*"?J"?\s*$', re.M)  # the parser ignores the key's case


def run_tool(path, locale):
    return subprocess.run([*TOOL, "x", path], capture_output=True, env=dict(os.environ, LC_ALL=locale))


def check_ppd(path, changed_dir):
    """Checks the output under de_DE and en_US; returns whether it differs from the input, and then
    leaves it in `changed_dir`. Raises on a failure."""
    text = open(path, "rb").read()
    letter = OFFERS_LETTER.search(text) and not MARKET_J.search(text)
    found = LINE.findall(text)  # a last line without an ending takes that of the line before it
    lines = [l[: l.index(b":")] + (b": Letter\r\n" if (l if l.endswith(b"\n") else prev).endswith(b"\r\n") else b": Letter\n")
             if letter and l.startswith(KEYS) and b":" in l else l for prev, l in zip([b""] + found, found)]
    for locale, want in ("de_DE.UTF-8", text), ("en_US.UTF-8", b"".join(lines)):
        run = run_tool(path, locale)
        assert run.returncode == 0, f"{locale}: exit status {run.returncode}: {run.stderr.decode(errors='replace')}"
        got = run.stdout
        n = next((i for i, (w, g) in enumerate(zip(want, got)) if w != g), min(len(want), len(got)))
        assert got == want, f"{locale}: first difference at byte {n}: expected {want[n:n+80]!r}, got {got[n:n+80]!r}"
    if want != text:
        open(os.path.join(changed_dir, os.path.basename(path)), "wb").write(want)
    return want != text


def cupstestppd_reports(folder, names):
    """cupstestppd's warnings and errors for each PPD in `folder`, and FAIL, in one run."""
    out = subprocess.run(["cupstestppd", *(os.path.join(folder, n) for n in names)],
                         capture_output=True, text=True, errors="replace").stdout
    reports = {}
    for line in out.splitlines():
        if line[:1].strip():  # "PATH: PASS", "PATH: FAIL"
            path, verdict = line.rsplit(": ", 1)
            report = reports[os.path.basename(path)] = set() if verdict == "PASS" else {verdict}
        elif line.strip():
            report.add(line.strip())
    return reports


def check_corpus(ppd_dir, names, changed_dir):
    failures, changed, shown = [], [], time.monotonic()
    with ThreadPoolExecutor(2) as pool:
        for n, (name, job) in enumerate([(n, pool.submit(check_ppd, os.path.join(ppd_dir, n), changed_dir))
                                         for n in names], 1):
            try:
                changed += [name] if job.result() else []
            except Exception as e:
                failures.append(f"FAIL {name}: {e}")
            if time.monotonic() - shown >= 20 or n == len(names):  # progress, for whoever waits
                print(f"{n} of {len(names)} PPDs checked, {len(failures)} failed", flush=True)
                shown = time.monotonic()
    # A rewrite must not give cupstestppd anything new to say: no warning, error or FAIL.
    before, after = cupstestppd_reports(ppd_dir, changed), cupstestppd_reports(changed_dir, changed)
    gained = {n: after.get(n, {"no report"}) - before.get(n, set()) for n in changed}
    failures += [f"FAIL {n}: cupstestppd says of the output only: {sorted(g)}" for n, g in gained.items() if g]
    print(f"PPDs checked: {len(names)}, failed: {len(failures)}; changed under en_US: {len(changed)}", flush=True)
    return failures


def check_cupsd(ppd, tmp):
    """Returns the failures of a private cupsd, which keeps everything in `tmp`."""
    for d in ("conf", "spool/tmp", "cache", "state", "log"):
        os.makedirs(os.path.join(tmp, d))
    # As root cupsd runs its helpers as lp; a normal user's cupsd must run as that user.
    group = grp.getgrgid(os.getgid()).gr_name
    user = f"User {pwd.getpwuid(os.getuid()).pw_name}\nGroup {group}\nSystemGroup {group}\n" if os.getuid() else ""
    with open(f"{tmp}/cups-files.conf", "w") as f:
        f.write(f"ServerRoot {tmp}/conf\nRequestRoot {tmp}/spool\nTempDir {tmp}/spool/tmp\n"
                f"CacheDir {tmp}/cache\nStateDir {tmp}/state\nErrorLog {tmp}/log/error_log\n"
                f"AccessLog {tmp}/log/access_log\nPageLog {tmp}/log/page_log\nFileDevice Yes\n{user}")
    # Anyone who can reach the socket may add queues, without authentication.
    with open(f"{tmp}/cupsd.conf", "w") as f:
        f.write(f"Listen {tmp}/cups.sock\nBrowsing No\nWebInterface No\nLogLevel warn\n"
                "<Location />\nOrder allow,deny\nAllow all\n</Location>\n"
                "<Policy default>\n<Limit All>\nOrder deny,allow\n</Limit>\n</Policy>\n")
    open(f"{tmp}/letter.ppd", "wb").write(run_tool(ppd, "en_US.UTF-8").stdout)
    env = dict(os.environ, CUPS_SERVER=f"{tmp}/cups.sock", CUPS_SERVERROOT=f"{tmp}/conf", HOME=tmp, LC_ALL="C")
    client = lambda *args: subprocess.run(args, env=env, capture_output=True, text=True)
    cupsd = subprocess.Popen(["/usr/sbin/cupsd", "-f", "-c", f"{tmp}/cupsd.conf", "-s", f"{tmp}/cups-files.conf"])
    failures = []
    try:
        for _ in range(100):
            if cupsd.poll() is not None or client("lpstat", "-r").stdout == "scheduler is running\n":
                break
            time.sleep(0.1)
        for queue, source, want in ("letter", f"{tmp}/letter.ppd", "*Letter"), ("untouched", ppd, "*A4"):
            add = client("/usr/sbin/lpadmin", "-p", queue, "-v", "file:///dev/null", "-P", source, "-E")
            listed = client("lpoptions", "-p", queue, "-l").stdout.splitlines()
            page_size = next((l for l in listed if l.startswith("PageSize/")), "(no PageSize)")
            print(f"cupsd queue {queue}: {page_size[:100]}", flush=True)
            if add.returncode or want not in page_size.split():
                failures.append(f"FAIL cupsd queue {queue} from {ppd}: expected {want}; "
                                f"lpadmin said {add.stderr.strip()!r}")
    finally:
        cupsd.terminate()
        cupsd.wait(10)
    return failures


with tempfile.TemporaryDirectory(prefix="ppd-real-") as tmp:
    ppd_dir, changed_dir = f"{tmp}/ppds", f"{tmp}/changed"
    os.mkdir(changed_dir)
    unpacker = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../bench/unpack_openprinting_ppds.py")
    subprocess.run([sys.executable, unpacker, ppd_dir], check=True, stdout=subprocess.DEVNULL)
    names = sorted(os.listdir(ppd_dir))
    failures = check_corpus(ppd_dir, names[:: int(os.environ.get("PPD_CORPUS_STEP", "1"))], changed_dir)
    a4 = re.compile(rb"^\*DefaultPageSize: A4\s*$", re.M)
    ppd = next(f"{ppd_dir}/{n}" for n in names if a4.search(open(f"{ppd_dir}/{n}", "rb").read()))
    failures += check_cupsd(ppd, f"{tmp}/cupsd")
print(*failures[:20], sep="\n")
sys.exit(1 if failures else 0)
