#!/usr/bin/env python3
"""Writes the tournament engine's hand-set evaluation tables (resources/tournament_eval.bin).

The layout is the one tournament/evaluation.h describes. The values are a starting point: each
cell's potential is the sum of its line-pattern values plus a bonus for its cell pattern,
and a tuner may replace the whole file with fitted values in the same layout.
"""
import argparse
import itertools
import struct

# Line patterns, weakest first (as tournament/patterns.h).
DEAD, B1, F1, B2, F2, F2A, F2B, B3, F3, F3S, B4, F4, F5 = range(13)
# Cell patterns, weakest first.
(NONE, FLEX2, BLOCK3, FLEX2X2, BLOCK3_PLUS, FLEX3, FLEX3_PLUS, FLEX3X2, BLOCK4, BLOCK4_PLUS,
 BLOCK4_FLEX3, FLEX4, FIVE) = range(13)

LINE_VALUE = [0, 1, 2, 3, 6, 7, 8, 8, 20, 24, 24, 60, 100]
CELL_BONUS = [0, 0, 0, 6, 8, 0, 10, 60, 0, 14, 90, 120, 0]
ATTACK = [0, 60, 80, 150, 200, 400, 600, 2000, 500, 1000, 3000, 5000, 10000]
DEFEND = [0, 40, 50, 100, 150, 300, 450, 1500, 300, 600, 2000, 4000, 9000]
MOVER = [0, 0, 0, 10, 20, 40, 60, 1200, 20, 60, 2500, 4000, 8000]
OTHER = [0, 0, 0, 5, 10, 20, 30, 400, 10, 30, 800, 900, 2000]
TEMPO = 20


def combine(lines):
    n = [0] * 13
    for p in lines:
        n[p] += 1
    threes, twos = n[F3] + n[F3S], n[F2] + n[F2A] + n[F2B]
    if n[F5]:
        return FIVE
    if n[F4] or n[B4] >= 2:
        return FLEX4
    if n[B4]:
        return BLOCK4_FLEX3 if threes else BLOCK4_PLUS if (n[B3] or twos) else BLOCK4
    if threes >= 2:
        return FLEX3X2
    if threes:
        return FLEX3_PLUS if (n[B3] or twos) else FLEX3
    if n[B3] >= 2 or (n[B3] and twos):
        return BLOCK3_PLUS
    if twos >= 2:
        return FLEX2X2
    if n[B3]:
        return BLOCK3
    return FLEX2 if twos else NONE


def clamp(v):
    return max(-32768, min(32767, v))


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--out", default="resources/tournament_eval.bin")
    args = parser.parse_args()
    combos = list(itertools.combinations_with_replacement(range(13), 4))
    assert len(combos) == 1820
    value, attack, defend = [], [], []
    for c in combos:
        cell = combine(c)
        lines = sum(LINE_VALUE[p] for p in c)
        value.append(clamp(lines + CELL_BONUS[cell]))
        attack.append(clamp(ATTACK[cell] + 2 * lines))
        defend.append(clamp(DEFEND[cell] + lines))
    threat = []
    for mover in range(13):
        for other in range(13):
            bonus = MOVER[mover]
            if other >= BLOCK4 and mover in (FLEX3X2, FLEX3_PLUS, FLEX3):
                bonus //= 2  # his fours may win the tempo back
            threat.append(clamp(bonus - OTHER[other]))
    data = b"PNTDEVAL" + struct.pack("<HHHh", 1, 1820, 13, TEMPO)
    data += struct.pack("<%dh" % (3 * 1820 + 169), *(value + attack + defend + threat))
    with open(args.out, "wb") as f:
        f.write(data)
    print("wrote %s (%d bytes)" % (args.out, len(data)))


if __name__ == "__main__":
    main()
