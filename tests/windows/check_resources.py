#!/usr/bin/env python3
"""Checks that each Windows executable carries the engine's data resources: RCDATA
(type 10) entries named WHITES (19683 bytes), SEC4 (6561 bytes) and JAPANESE (the size of
resources/japanese.bin), and the tournament engine's TOURNAMENTEVAL and TOURNAMENTNET.
Reads the PE resource directory directly."""
import os
import struct
import sys

RT_RCDATA = 10
HERE = os.path.dirname(os.path.abspath(__file__))
BOOK = os.path.join(HERE, "..", "..", "resources", "japanese.bin")
NETWORK = os.path.join(HERE, "..", "..", "resources", "tournament_network.bin")
EXPECTED = {"WHITES": 19683, "SEC4": 6561, "JAPANESE": os.path.getsize(BOOK), "TOURNAMENTEVAL": 11274,
            "TOURNAMENTNET": os.path.getsize(NETWORK)}


def resources(path):
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    sections = struct.unpack_from("<H", data, pe + 6)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    rsrc_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
    table = optional + optional_size

    def offset(rva):
        for i in range(sections):
            _, vsize, vaddr, rawsize, rawptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
            if vaddr <= rva < vaddr + max(vsize, rawsize):
                return rva - vaddr + rawptr
        raise ValueError("address outside every section")

    base = offset(rsrc_rva)

    def entries(directory):
        named, ids = struct.unpack_from("<HH", data, base + directory + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, base + directory + 16 + 8 * i)
            yield name, target

    def name_of(name):
        if name & 0x80000000:
            at = base + (name & 0x7FFFFFFF)
            length = struct.unpack_from("<H", data, at)[0]
            return data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
        return name

    found = {}
    for type_name, type_target in entries(0):
        if name_of(type_name) != RT_RCDATA:
            continue
        for res_name, res_target in entries(type_target & 0x7FFFFFFF):
            for _, lang_target in entries(res_target & 0x7FFFFFFF):
                _, size = struct.unpack_from("<II", data, base + lang_target)
                found[name_of(res_name)] = size
    return found


def main():
    bad = 0
    for path in sys.argv[1:]:
        found = resources(path)
        for name, size in EXPECTED.items():
            if found.get(name) != size:
                print(f"{path}: RCDATA {name} has {found.get(name)} bytes, expected {size}")
                bad += 1
        if not bad:
            print(f"{path}: RCDATA " + ", ".join(f"{n} {s}" for n, s in sorted(found.items())))
    sys.exit(1 if bad else 0)


if __name__ == "__main__":
    main()
