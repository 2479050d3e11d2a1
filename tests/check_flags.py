#!/usr/bin/env python3
"""Checks that the build adds its hardening only where the flags given to CMake, or the compiler
itself, choose nothing: a distribution's stricter choice must reach the compiler unchanged. Each
case configures a build folder and preprocesses main.cpp with its own compile command, as the
build would compile it, and compares the macros that the compiler then defines.
Usage: check_flags.py BUILD_FOLDER_PREFIX   (on x86, from the top of the tree)"""
import json, os, shlex, subprocess, sys

prefix = os.path.abspath(sys.argv[1])
# Ubuntu's compiler sets _FORTIFY_SOURCE=3 itself whenever it optimises.
ubuntu_cxx = prefix + "-ubuntu/c++"
os.makedirs(os.path.dirname(ubuntu_cxx), exist_ok=True)
with open(ubuntu_cxx, "w") as f:
    f.write('#!/bin/sh\ncase " $* " in *" -O"[1-3s]*) exec c++ -D_FORTIFY_SOURCE=3 "$@";; esac\nexec c++ "$@"\n')
os.chmod(ubuntu_cxx, 0o755)

CASES = [  # CXXFLAGS, CMake options, macros that main.cpp must see
    ("", ["-DCMAKE_BUILD_TYPE=Release"], {"_FORTIFY_SOURCE": "2", "__SSP_STRONG__": "3", "__CET__": "3"}),
    ("-D_FORTIFY_SOURCE=3 -fstack-protector-all", ["-DCMAKE_BUILD_TYPE=Release"],
     {"_FORTIFY_SOURCE": "3", "__SSP_ALL__": "2"}),
    ("-D_FORTIFY_SOURCE=3 -fcf-protection=branch", ["-DCMAKE_BUILD_TYPE=RelWithDebInfo"],
     {"_FORTIFY_SOURCE": "3", "__CET__": "1"}),
    ("-Wp,-D_FORTIFY_SOURCE=3", ["-DPPD_PAPER_DEFAULTS_WERROR=ON"], {"_FORTIFY_SOURCE": "3"}),
    ("", ["-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_CXX_COMPILER=" + ubuntu_cxx], {"_FORTIFY_SOURCE": "3"}),
]

failures = 0
for n, (cxxflags, options, want) in enumerate(CASES):
    build = f"{prefix}-{n}"
    what = f"CXXFLAGS='{cxxflags}' cmake {' '.join(options)}"
    subprocess.run(["rm", "-rf", build], check=True)
    subprocess.run(["cmake", "-S", ".", "-B", build, "-DBUILD_TESTING=OFF", "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON",
                    *options], env=dict(os.environ, CXXFLAGS=cxxflags), check=True, capture_output=True)
    with open(os.path.join(build, "compile_commands.json")) as f:
        entry = next(e for e in json.load(f) if e["file"].endswith("/main.cpp"))
    words = shlex.split(entry["command"])
    o = words.index("-o")
    words = [w for w in words[:o] + words[o + 2:] if w != "-c"] + ["-E", "-dM"]
    run = subprocess.run(words, cwd=entry["directory"], capture_output=True, text=True)
    seen = dict(line.split()[1:3] for line in run.stdout.splitlines() if len(line.split()) == 3)
    got = {macro: seen.get(macro) for macro in want}
    if run.returncode != 0 or got != want:
        failures += 1
        print(f"check_flags: {what}: main.cpp sees {got}, not {want}: {run.stderr.strip()}")
print(f"check_flags: {len(CASES) - failures} passed, {failures} failed")
sys.exit(failures != 0)
