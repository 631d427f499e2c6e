#!/usr/bin/env python3
"""Packs the release archives: a Windows zip (pbrain-pentad.exe 32-bit, pbrain-pentad64.exe
64-bit, pbrain-pentad64-avx2.exe 64-bit for processors with AVX2, pentad.exe 32-bit) and a
Linux tarball (pbrain-pentad, pbrain-pentad-avx2, pentad, pentad-tools), each with
README.txt and the licence, named by the version.

    tools/dist/make_dist.py --version 0.2.0 --win64 dist/win64 --win32 dist/win32 \\
        --linux build/release --linux-avx2 build/avx2 --out dist
"""
import argparse
import io
import os
import tarfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--version", required=True)
    ap.add_argument("--win64", required=True)
    ap.add_argument("--win32", required=True)
    ap.add_argument("--linux", required=True)
    ap.add_argument("--linux-avx2", required=True, help="the build holding the AVX2 pbrain-pentad")
    ap.add_argument("--out", required=True)
    args = ap.parse_args()
    root = os.path.dirname(os.path.dirname(HERE))
    readme = open(os.path.join(HERE, "README.txt.in")).read().replace("@VERSION@", args.version)
    licence = open(os.path.join(root, "LICENSE")).read()
    os.makedirs(args.out, exist_ok=True)
    base = "pentad-%s" % args.version
    win = os.path.join(args.out, base + "-windows.zip")
    with zipfile.ZipFile(win, "w", zipfile.ZIP_DEFLATED) as z:
        z.write(os.path.join(args.win32, "pbrain-pentad.exe"), "pbrain-pentad.exe")
        z.write(os.path.join(args.win64, "pbrain-pentad.exe"), "pbrain-pentad64.exe")
        z.write(os.path.join(args.win64, "pbrain-pentad-avx2.exe"), "pbrain-pentad64-avx2.exe")
        z.write(os.path.join(args.win32, "pentad.exe"), "pentad.exe")
        z.writestr("README.txt", readme.replace("\n", "\r\n"))
        z.writestr("LICENSE.txt", licence.replace("\n", "\r\n"))
    linux = os.path.join(args.out, base + "-linux-x86_64.tar.gz")
    with tarfile.open(linux, "w:gz") as t:
        for name in ("pbrain-pentad", "pentad", "pentad-tools"):
            t.add(os.path.join(args.linux, name), arcname="%s/%s" % (base, name))
        t.add(os.path.join(args.linux_avx2, "pbrain-pentad"),
              arcname="%s/pbrain-pentad-avx2" % base)
        for name, text in (("README.txt", readme), ("LICENSE.txt", licence)):
            data = text.encode()
            info = tarfile.TarInfo("%s/%s" % (base, name))
            info.size = len(data)
            info.mode = 0o644
            t.addfile(info, io.BytesIO(data))
    for path in (win, linux):
        print("%s %d bytes" % (path, os.path.getsize(path)))


if __name__ == "__main__":
    main()
