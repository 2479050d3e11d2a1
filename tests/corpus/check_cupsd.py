#!/usr/bin/env python3
"""Shows that a real CUPS server takes the tool's output. Starts a private cupsd (own ServerRoot,
spool, cache and logs in a temporary directory, a Unix socket there as its only listener), adds
one queue with an A4-default PPD rewritten under LC_ALL=en_US.UTF-8 and one with the PPD as it
is, and checks that lpoptions marks *Letter and *A4 as their PageSize defaults.
Usage: check_cupsd.py TOOL PPDDIR"""
import glob, grp, os, pwd, re, subprocess, sys, tempfile, time

TOOL, PPDDIR = sys.argv[1:]
CUPSD = "/usr/sbin/cupsd"
if not os.access(CUPSD, os.X_OK):
    sys.exit(f"{CUPSD} not found; install cups-daemon")


def a4_with_letter(path):
    with open(path, "rb") as f:
        text = f.read()
    return re.search(rb"^\*DefaultPageSize: A4\s*$", text, re.M) and re.search(rb"^\*PageSize Letter[/:]", text, re.M)


ppd = next((p for p in sorted(glob.glob(os.path.join(PPDDIR, "*.ppd"))) if a4_with_letter(p)), None)
if ppd is None:
    sys.exit(f"no PPD in {PPDDIR} defaults to A4 and offers Letter")
failures = []
with tempfile.TemporaryDirectory(prefix="ppd-cupsd-") as tmp:
    for d in ("conf", "spool/tmp", "cache", "state", "log"):
        os.makedirs(os.path.join(tmp, d))
    sock = os.path.join(tmp, "cups.sock")
    # As root cupsd runs its helpers as lp; a normal user's cupsd must run as that user.
    group = grp.getgrgid(os.getgid()).gr_name
    user = f"User {pwd.getpwuid(os.getuid()).pw_name}\nGroup {group}\nSystemGroup {group}\n" if os.getuid() else ""
    with open(os.path.join(tmp, "cups-files.conf"), "w") as f:
        f.write(f"ServerRoot {tmp}/conf\nRequestRoot {tmp}/spool\nTempDir {tmp}/spool/tmp\n"
                f"CacheDir {tmp}/cache\nStateDir {tmp}/state\nErrorLog {tmp}/log/error_log\n"
                f"AccessLog {tmp}/log/access_log\nPageLog {tmp}/log/page_log\nFileDevice Yes\n{user}")
    # Anyone who can reach the socket may add queues, without authentication.
    with open(os.path.join(tmp, "cupsd.conf"), "w") as f:
        f.write(f"Listen {sock}\nBrowsing No\nWebInterface No\nLogLevel warn\n"
                "<Location />\nOrder allow,deny\nAllow all\n</Location>\n"
                "<Policy default>\n<Limit All>\nOrder deny,allow\n</Limit>\n</Policy>\n")
    rewritten = os.path.join(tmp, "letter.ppd")
    with open(rewritten, "wb") as out:
        subprocess.run([TOOL, "x", ppd], stdout=out, env=dict(os.environ, LC_ALL="en_US.UTF-8"), check=True)
    # Clients see only this server and none of the machine's or the user's settings.
    env = dict(os.environ, CUPS_SERVER=sock, CUPS_SERVERROOT=f"{tmp}/conf", HOME=tmp, LC_ALL="C")
    cupsd = subprocess.Popen([CUPSD, "-f", "-c", f"{tmp}/cupsd.conf", "-s", f"{tmp}/cups-files.conf"])
    try:
        for _ in range(100):
            ready = subprocess.run(["lpstat", "-r"], env=env, capture_output=True, text=True).stdout
            if cupsd.poll() is not None or ready == "scheduler is running\n":
                break
            time.sleep(0.1)
        for queue, source, want in (("letter", rewritten, "*Letter"), ("untouched", ppd, "*A4")):
            # lpadmin warns that PPD files are deprecated; that is expected.
            add = subprocess.run(["lpadmin", "-p", queue, "-v", "file:///dev/null", "-P", source, "-E"],
                                 env=env, capture_output=True, text=True)
            listed = subprocess.run(["lpoptions", "-p", queue, "-l"], env=env, capture_output=True, text=True)
            page_size = next((l for l in listed.stdout.splitlines() if l.startswith("PageSize/")), "(no PageSize)")
            print(f"{queue}: {os.path.basename(source)}: {page_size[:120]}")
            if add.returncode or want not in page_size.split():
                failures.append(f"FAIL {queue}: expected {want}; lpadmin said {add.stderr.strip()!r}, "
                                f"lpoptions said {listed.stderr.strip()!r}")
    finally:
        cupsd.terminate()
        cupsd.wait(10)
    if failures and os.path.exists(f"{tmp}/log/error_log"):
        failures += ["cupsd error_log:", open(f"{tmp}/log/error_log", errors="replace").read()[-2000:]]
print("\n".join(failures) or f"cupsd took {os.path.basename(ppd)} rewritten for en_US as *Letter, untouched as *A4")
sys.exit(1 if failures else 0)
