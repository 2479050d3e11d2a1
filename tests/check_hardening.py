#!/usr/bin/env python3
"""check_hardening.py PROGRAM...: hardening-check finds each PROGRAM hardened, and no PROGRAM needs
the C++ runtime, whose loading costs each run more than the rest of the work on a small PPD.
Control-flow protection is left to --flags: no program gets its mark where the C library's start-up
files lack it, as Debian 12's do. check_hardening.py --flags PREFIX (on x86, at the top of the
tree): the build adds hardening only where the flags given to CMake, or the compiler, choose none,
and always -fstack-clash-protection (whose probes a binary holds only where a frame is large); each
case is configured in PREFIX-N, and main.cpp preprocessed as it would be built."""
import json, os, re, shlex, subprocess, sys


def output(*command, **options):
    return subprocess.run(command, capture_output=True, text=True, **options)


def check_programs(programs):
    failed = subprocess.run(["hardening-check", "--nocfprotection", *programs]).returncode
    for program in programs:
        if re.search(r"\(NEEDED\).*\[(libstdc\+\+|libgcc_s)", output("readelf", "-d", program).stdout):
            print(f"check_hardening: {program}: needs the C++ runtime", file=sys.stderr)
            failed = 1
    return failed


def check_flags(prefix):
    prefix = os.path.abspath(prefix)
    # Ubuntu's compiler sets _FORTIFY_SOURCE=3 itself whenever it optimises.
    ubuntu_cxx = prefix + "-ubuntu/c++"
    os.makedirs(os.path.dirname(ubuntu_cxx), exist_ok=True)
    with open(ubuntu_cxx, "w") as f:
        f.write('#!/bin/sh\ncase " $* " in *" -O"[1-3s]*) exec c++ -D_FORTIFY_SOURCE=3 "$@";; esac\nexec c++ "$@"\n')
    os.chmod(ubuntu_cxx, 0o755)
    cases = [  # CXXFLAGS, CMake options, macros that main.cpp must see
        ("", ["-DCMAKE_BUILD_TYPE=Release"], {"_FORTIFY_SOURCE": "2", "__SSP_STRONG__": "3", "__CET__": "3"}),
        ("-D_FORTIFY_SOURCE=3 -fstack-protector-all", ["-DCMAKE_BUILD_TYPE=Release"],
         {"_FORTIFY_SOURCE": "3", "__SSP_ALL__": "2"}),
        ("-D_FORTIFY_SOURCE=3 -fcf-protection=branch", ["-DCMAKE_BUILD_TYPE=RelWithDebInfo"],
         {"_FORTIFY_SOURCE": "3", "__CET__": "1"}),
        ("-Wp,-D_FORTIFY_SOURCE=3", ["-DPPD_PAPER_DEFAULTS_WERROR=ON"], {"_FORTIFY_SOURCE": "3"}),
        ("", ["-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_CXX_COMPILER=" + ubuntu_cxx], {"_FORTIFY_SOURCE": "3"}),
    ]
    failures = 0
    for n, (cxxflags, options, want) in enumerate(cases):
        build = f"{prefix}-{n}"
        subprocess.run(["rm", "-rf", build], check=True)
        subprocess.run(["cmake", "-S", ".", "-B", build, "-DBUILD_TESTING=OFF", "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON",
                        *options], env=dict(os.environ, CXXFLAGS=cxxflags), check=True, capture_output=True)
        with open(os.path.join(build, "compile_commands.json")) as f:
            entry = next(e for e in json.load(f) if e["file"].endswith("/main.cpp"))
        words = shlex.split(entry["command"])
        o = words.index("-o")
        run = output(*[w for w in words[:o] + words[o + 2:] if w != "-c"], "-E", "-dM", cwd=entry["directory"])
        seen = dict(line.split()[1:3] for line in run.stdout.splitlines() if len(line.split()) == 3)
        got = {macro: seen.get(macro) for macro in want}
        clash = "-fstack-clash-protection" in words
        if run.returncode != 0 or got != want or not clash:
            failures += 1
            print(f"check_hardening: CXXFLAGS='{cxxflags}' cmake {' '.join(options)}: main.cpp sees {got}, "
                  f"not {want}; stack clash protection: {clash}: {run.stderr.strip()}")
    print(f"check_hardening: {len(cases) - failures} flag cases passed, {failures} failed")
    return failures


if __name__ == "__main__":
    sys.exit(1 if (check_flags(sys.argv[2]) if sys.argv[1] == "--flags" else check_programs(sys.argv[1:]))
             else 0)
