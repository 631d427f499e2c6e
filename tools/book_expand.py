#!/usr/bin/env python3
"""Grows Pentad's opening book source by long searches of the engine itself.

Starting from the two-stone openings, every position with X to move is analysed with
`pentad-tools book analyse` (a long clock and a raised node ceiling); the answer becomes a
record. The engine's best replies for O (its best move and the next root moves) give the
next positions, breadth first. Records already in the source are kept and not analysed
again, so the book can be grown over several sittings. Usage:

    tools/book_expand.py --tools build/release/pentad-tools --source book/data/book.txt \
        --target 320 --seconds 10 --reply-seconds 3 --jobs 2
"""
import argparse
import concurrent.futures
import json
import subprocess

BOARD = 20
FRAME_SPAN = 15
MAX_STONES = 32

# X on (9, 9); O adjacent straight (direct), adjacent diagonal (indirect), and the
# one-gap starts.
STARTS = [[(9, 9), (9, 10)], [(9, 9), (10, 10)], [(9, 9), (9, 11)], [(9, 9), (10, 11)], [(9, 9), (11, 11)]]
BRANCHING = {2: 5, 4: 4, 6: 3, 8: 2, 10: 2}  # O replies followed, by stones before X's answer


def transform(col, row, k):
    last = BOARD - 1
    return {0: (col, row), 1: (row, last - col), 2: (last - col, last - row), 3: (last - row, col),
            4: (col, last - row), 5: (last - row, last - col), 6: (last - col, row), 7: (row, col)}[k]


def canonical(moves):
    best = None
    for k in range(8):
        cells = [transform(c, r, k) for c, r in moves]
        min_c = min(c for c, _ in cells)
        min_r = min(r for _, r in cells)
        key = tuple(sorted((r - min_r, c - min_c, i % 2) for i, (c, r) in enumerate(cells)))
        best = key if best is None or key < best else best
    return best


def fits(moves):
    cols = [c for c, _ in moves]
    rows = [r for _, r in moves]
    return max(cols) - min(cols) < FRAME_SPAN and max(rows) - min(rows) < FRAME_SPAN


def text(moves):
    return " ".join(f"{c},{r}" for c, r in moves)


def analyse(tools, moves, seconds):
    out = subprocess.run([tools, "book", "analyse", text(moves), "--seconds", str(seconds)],
                         capture_output=True, text=True, check=True).stdout
    return json.loads(out.strip().splitlines()[-1])


def read_source(path):
    records = {}
    try:
        with open(path) as f:
            for line in f:
                line = line.split("#")[0].strip()
                if not line:
                    continue
                stones, answer = line.split(":")
                moves = [tuple(int(v) for v in m.split(",")) for m in stones.split()]
                records[canonical(moves)] = (moves, tuple(int(v) for v in answer.split(",")))
    except FileNotFoundError:
        pass
    return records


def expand_x(args, moves, known):
    """X to move: the book answer (searched unless already known), then O's replies."""
    if known is None:
        result = analyse(args.tools, moves, args.seconds)
        answer = (result["col"], result["row"])
    else:
        result, answer = {"best": 0, "level": 0}, known
    children = []
    after = moves + [answer]
    if abs(result["best"]) < 30000 and len(after) + 1 <= MAX_STONES:
        reply = analyse(args.tools, after, args.reply_seconds)
        width = BRANCHING.get(len(moves), 1)
        for cell in [reply["move"]] + reply["alternatives"]:
            move = (cell % BOARD, cell // BOARD)
            if len(children) < width and move not in after:
                children.append(after + [move])
    return moves, answer, result, children, known is None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tools", default="build/release/pentad-tools")
    parser.add_argument("--source", default="book/data/book.txt")
    parser.add_argument("--target", type=int, default=320)
    parser.add_argument("--seconds", type=int, default=10)
    parser.add_argument("--reply-seconds", type=int, default=3)
    parser.add_argument("--jobs", type=int, default=2)
    args = parser.parse_args()

    records = read_source(args.source)
    queued = set()
    frontier = [list(s) for s in STARTS]
    with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool, open(args.source, "a") as out:
        while frontier and len(records) < args.target:
            layer = []
            room = args.target - len(records)
            for moves in frontier:
                key = canonical(moves)
                if key in queued or not fits(moves):
                    continue
                queued.add(key)
                if key not in records:
                    if room == 0:
                        continue
                    room -= 1
                layer.append(moves)
            frontier = []
            known = [records[canonical(m)][1] if canonical(m) in records else None for m in layer]
            for moves, answer, result, children, fresh in pool.map(
                    lambda item: expand_x(args, *item), zip(layer, known)):
                if fresh and fits(moves + [answer]):
                    records[canonical(moves)] = (moves, answer)
                    out.write(f"{text(moves)} : {answer[0]},{answer[1]}  "
                              f"# value {result['best']}, level {result['level']}\n")
                    out.flush()
                frontier.extend(children)
    print(f"{len(records)} records in {args.source}")


if __name__ == "__main__":
    main()
