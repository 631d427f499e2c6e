#!/usr/bin/env python3
"""Unpacks a release archive and plays one move with each of its executables: the
exchange-file engine in a folder of exchange files, the pbrain engines over a pipe. The
AVX2 pbrain engine (run only on a processor with AVX2) must play the same moves as the plain
one with the network evaluation at a node limit. Windows archives run under the command given
by --wine."""
import argparse
import os
import shlex
import subprocess
import sys
import tarfile
import tempfile
import zipfile


def move_ok(text):
    try:
        x, y = (int(v) for v in text.strip().split(","))
        return 0 <= x < 20 and 0 <= y < 20
    except ValueError:
        return False


def exchange(cmd, folder):
    with open(os.path.join(folder, "tah.dat"), "w") as f:
        f.write("O")
    with open(os.path.join(folder, "plocha.dat"), "w") as f:
        rows = ["-" * 20] * 20
        rows[10] = "-" * 10 + "X" + "-" * 9
        f.write("\n".join(rows) + "\n")
    with open(os.path.join(folder, "timeouts.dat"), "w") as f:
        f.write("1 100000")
    r = subprocess.run(cmd, cwd=folder, capture_output=True, timeout=120)
    return r.returncode == 0 and move_ok(open(os.path.join(folder, "tah.dat")).read())


def pbrain(cmd):
    script = "START 20\nINFO timeout_turn 300\nTURN 10,10\nEND\n"
    r = subprocess.run(cmd, input=script.encode(), capture_output=True, timeout=120)
    answers = [l for l in r.stdout.decode(errors="replace").splitlines()
               if l and not l.startswith("MESSAGE")]
    return answers[:1] == ["OK"] and len(answers) == 2 and move_ok(answers[1])


# A few moves at a node limit with the network evaluation, the one part of the engine whose
# arithmetic the AVX2 build does with other instructions.
SAME_MOVES = ("START 20\nINFO max_node 20000\nINFO timeout_turn 30000\n"
              "BOARD\n10,10,1\n11,11,2\n10,11,1\n9,12,2\nDONE\nTURN 12,12\nTURN 9,9\nEND\n")


def moves(cmd):
    r = subprocess.run(cmd + ["--seed", "1", "--network", "embedded"], input=SAME_MOVES.encode(),
                       capture_output=True, timeout=300)
    return [l for l in r.stdout.decode(errors="replace").splitlines()
            if l and not l.startswith("MESSAGE") and l != "OK"]


def has_avx2():
    try:
        return " avx2" in open("/proc/cpuinfo").read()
    except OSError:
        return False


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("archive")
    ap.add_argument("--wine", default="")
    ap.add_argument("--skip", action="append", default=[], help="an executable not to run")
    args = ap.parse_args()
    prefix = shlex.split(args.wine)
    ok = True
    with tempfile.TemporaryDirectory() as tmp:
        if args.archive.endswith(".zip"):
            zipfile.ZipFile(args.archive).extractall(tmp)
        else:
            tarfile.open(args.archive).extractall(tmp)
        for dirpath, _, files in os.walk(tmp):
            for name in sorted(files):
                path = os.path.join(dirpath, name)
                if (name.startswith("pentad-tools") or name in args.skip or
                        ("avx2" in name and not has_avx2())):
                    print("%s: not run" % name)
                    continue
                if name.startswith("pentad"):
                    folder = tempfile.mkdtemp(dir=tmp)
                    passed = exchange(prefix + [path], folder)
                elif name.startswith("pbrain-pentad"):
                    passed = pbrain(prefix + [path])
                else:
                    continue
                print("%s: %s" % (name, "one move played" if passed else "FAILED"))
                ok &= passed
                plain = os.path.join(dirpath, name.replace("-avx2", ""))
                if "avx2" in name and passed and os.path.exists(plain):
                    a, b = moves(prefix + [plain]), moves(prefix + [path])
                    same = len(a) == 3 and a == b
                    print("%s: %s" % (name, "the same moves as %s: %s" % (
                        os.path.basename(plain), " ".join(a)) if same else
                        "FAILED: %s against %s" % (b, a)))
                    ok &= same
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
