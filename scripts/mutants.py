#!/usr/bin/python3
"""How many planted faults the fast tests catch.

Plants one single-token fault at a time in a product source (a flipped comparison, an
off-by-one whole number, a swapped boolean, a changed decimal number), rebuilds the
fast tests (CTest label "fast") incrementally and runs them. A fault is caught when a
test fails or times out; one that does not compile is not counted. Works in a
detached git worktree of HEAD with its own build folder, never in this tree, and puts
every file back before the next fault. The same seed picks the same faults.

The share is of logic code. Left out, and listed at the start of every run: the device
backends that only the integration tests reach (EXCLUDED below, each with the test that
does) and the bodies of paintEvent(), whose pixels no test without a screen can judge.

    scripts/mutants.py [--seed 25] [--count 40] [--work /tmp/dovrane-mutants]
"""
import argparse
import random
import re
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
SKIP = re.compile(r"^(tests|bench|tools)/|^app/(gui_)?main\.cpp$")
# Backends of real devices and services; the fast tests drive their fakes instead.
EXCLUDED = {
    "pager/QtSerialPort.cpp": "the serial port (tst_serialport, on a pseudo-terminal)",
    "sensor/PulseAudioInput.cpp": "PulseAudio capture (tst_capture)",
    "sensor/QtAudioInput.cpp": "Qt Multimedia capture (tst_capture)",
    "engine/JournalLog.cpp": "the systemd journal (service tests)",
    "engine/ServiceNotifier.cpp": "systemd notifications (service tests)",
    "stream/StreamInput.cpp": "network streams through FFmpeg (stream_sources, e2e_feeds)",
}
PAINT = re.compile(r"::paintEvent\(")
# Binary operators stand between spaces (clang-format), template brackets never do.
FLIP = {"<": ">=", "<=": ">", ">": "<=", ">=": "<", "==": "!=", "!=": "=="}
TOKEN = re.compile(
    r"(?P<cmp> (?:<=|>=|==|!=|<|>) )|(?P<bool>\b(?:true|false)\b)"
    r"|(?P<real>(?<![\w.])\d+\.\d+(?:f)?\b)|(?P<int>(?<![\w.])\d+(?![\w.]))"
)
# Lines where a change is not a fault in behaviour: directives, assertions, comments.
INERT = re.compile(r"^\s*(#|//|/?\*|static_assert|Q_ASSERT|Q_STATIC_ASSERT)")
STRING = re.compile(r'"(?:\\.|[^"\\])*"|\'(?:\\.|[^\'\\])*\'')


def candidates(root):
    files = subprocess.run(["git", "ls-files", "*.cpp"], cwd=root, text=True,
                           capture_output=True, check=True).stdout.split()
    for name in sorted(f for f in files if not SKIP.search(f) and f not in EXCLUDED):
        depth = None  # brace depth inside a paintEvent() body, None outside one
        for number, line in enumerate((root / name).read_text().splitlines()):
            if depth is None and PAINT.search(line):
                depth = 0
            if depth is not None:
                depth += line.count("{") - line.count("}")
                if depth <= 0 and "}" in line:
                    depth = None
                continue
            if INERT.match(line):
                continue
            code = STRING.sub(lambda m: " " * len(m.group()), line.split("//")[0])
            for m in TOKEN.finditer(code):
                text, kind = m.group(), m.lastgroup
                if kind == "cmp":
                    new = " " + FLIP[text.strip()] + " "
                elif kind == "bool":
                    new = "false" if text == "true" else "true"
                elif kind == "real":
                    new = str(float(text.rstrip("f")) * 2 + 0.5) + ("f" if text.endswith("f") else "")
                else:
                    new = str(int(text) + 1)
                yield name, number, m.start(), text, new


def run(cmd, cwd, timeout=None):
    try:
        return subprocess.run(cmd, cwd=cwd, capture_output=True, timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return -1


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--seed", type=int, default=25)
    ap.add_argument("--count", type=int, default=40)
    ap.add_argument("--work", default="/tmp/dovrane-mutants")
    args = ap.parse_args()
    print("left out (logic code only):", flush=True)
    for name, why in EXCLUDED.items():
        print(f"  {name}: {why}", flush=True)
    print("  the body of every paintEvent()", flush=True)
    work, build = Path(args.work), Path(args.work) / "build-mutants"
    if not work.exists():
        subprocess.run(["git", "worktree", "add", "--detach", str(work), "HEAD"], cwd=ROOT, check=True)
    subprocess.run(["git", "checkout", "--detach", "-f", subprocess.run(
        ["git", "rev-parse", "HEAD"], cwd=ROOT, text=True, capture_output=True).stdout.strip()],
        cwd=work, check=True, capture_output=True)
    subprocess.run(["cmake", "-S", ".", "-B", str(build), "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                    "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"], cwd=work, check=True, capture_output=True)
    listing = subprocess.run(["ctest", "-N", "-L", "fast"], cwd=build, text=True,
                             capture_output=True, check=True).stdout
    targets = re.findall(r"Test +#\d+: (\S+)", listing)
    build_cmd = ["ninja", "-C", str(build)] + targets
    test_cmd = ["ctest", "-L", "fast", "--timeout", "300", "-j2", "--stop-on-failure"]
    if run(build_cmd, work) != 0 or run(test_cmd, build) != 0:
        sys.exit("the unchanged tree does not build or pass its fast tests")

    faults = random.Random(args.seed).sample(list(candidates(work)), args.count)
    caught, survivors, stillborn = 0, [], 0
    for name, number, column, old, new in faults:
        path = work / name
        original = path.read_text()
        lines = original.split("\n")
        line = lines[number]
        lines[number] = line[:column] + new + line[column + len(old):]
        where = f"{name}:{number + 1}: {old.strip()} -> {new.strip()}"
        try:
            path.write_text("\n".join(lines))
            if run(build_cmd, work) != 0:
                stillborn += 1
                print(f"does not build  {where}", flush=True)
                continue
            if run(test_cmd, build, timeout=900) != 0:
                caught += 1
                print(f"caught          {where}", flush=True)
            else:
                survivors.append(where)
                print(f"SURVIVED        {where}", flush=True)
        finally:
            path.write_text(original)
    built = len(faults) - stillborn
    print(f"\n{caught} of {built} faults that build caught ({100 * caught / max(built, 1):.0f} %), "
          f"seed {args.seed}; {stillborn} did not build")


if __name__ == "__main__":
    main()
