#!/usr/bin/env python3
"""A match between two pbrain engines, each started once per game.

Openings are short balanced starts near the centre (drawn from --seed, or read from
--openings: one line per opening, "x,y x,y ..." in play order); each opening is played
twice with the colours swapped, so the pair cancels the opening's bias. The referee sends
START 20, the time limits, then the opening as BOARD to the side to move, and TURN moves
after that. A five (or more) wins; an illegal move, a crash or an answer later than
timeout_turn plus --grace-ms loses; a full board is a draw. With --b-turn-ms engine B
gets its own time a move (time odds), and each side's lateness is judged by its own limit.
Prints every game, then the score of engine A, an Elo estimate with its 95% interval, and
the slowest answer.

    tools/pbrain_match.py --a "build/release/pbrain-pentad" \\
        --b "build/release/pbrain-pentad --classic" --games 40 --turn-ms 1000
"""
import argparse
import math
import random
import shlex
import sys
import threading

from pbrain_pipe import N, PbrainEngine, five


def random_openings(count, seed):
    """Three-stone starts within two cells of the centre, no two alike."""
    rng = random.Random(seed)
    seen, out = set(), []
    while len(out) < count:
        cells = []
        while len(cells) < 3:
            c = (10 + rng.randint(-2, 2)) * N + 10 + rng.randint(-2, 2)
            if c not in cells:
                cells.append(c)
        key = tuple(cells)
        if key not in seen:
            seen.add(key)
            out.append(cells)
    return out


def play_game(cmd_first, cmd_second, opening, args, turn_ms):
    """Plays one game; returns (result for the first player: 1, 0.5, 0; moves; note; slowest).
    turn_ms holds each player's time a move, first player first."""
    engines = [PbrainEngine(shlex.split(cmd_first)), PbrainEngine(shlex.split(cmd_second))]
    board = [0] * (N * N)
    moves = list(opening)
    for i, c in enumerate(opening):
        board[c] = 1 + i % 2
    slowest = 0.0
    left = [args.match_ms, args.match_ms]
    try:
        for e, ms in zip(engines, turn_ms):
            e.send("START 20")
            if e.answer(5)[0] != "OK":
                return 0.5, moves, "engine did not start", slowest
            e.send("INFO timeout_turn %d" % ms)
            e.send("INFO timeout_match %d" % args.match_ms)
            e.send("INFO rule 0")
            if args.max_node:
                e.send("INFO max_node %d" % args.max_node)
            if args.max_memory:
                e.send("INFO max_memory %d" % args.max_memory)
        first_request = [True, True]
        while True:
            side = len(moves) % 2  # 0: first player to move
            e = engines[side]
            limit = turn_ms[side] / 1000.0
            if args.match_ms > 0:
                e.send("INFO time_left %d" % left[side])
            if first_request[side]:
                first_request[side] = False
                if moves:
                    e.send("BOARD")
                    for c in moves:
                        own = 1 if board[c] == side + 1 else 2
                        e.send("%d,%d,%d" % (c % N, c // N, own))
                    e.send("DONE")
                else:
                    e.send("BEGIN")
            else:
                last = moves[-1]
                e.send("TURN %d,%d" % (last % N, last // N))
            line, took = e.answer(limit + args.grace_ms / 1000.0 + 5)
            took /= 1000.0
            slowest = max(slowest, took)
            left[side] -= int(took * 1000)
            loss = 0.0 if side == 0 else 1.0
            if line is None:
                return loss, moves, "side %d gave no answer" % side, slowest
            if took > limit + args.grace_ms / 1000.0:
                return loss, moves, "side %d answered after %.0f ms" % (side, took * 1000), slowest
            try:
                x, y = (int(v) for v in line.split(","))
                cell = y * N + x
                ok = 0 <= x < N and 0 <= y < N and board[cell] == 0
            except ValueError:
                ok = False
            if not ok:
                return loss, moves, "side %d played an illegal move '%s'" % (side, line), slowest
            board[cell] = side + 1
            moves.append(cell)
            if five(board, cell, side + 1):
                return 1.0 - loss, moves, "five", slowest
            if len(moves) == N * N:
                return 0.5, moves, "full board", slowest
    finally:
        for e in engines:
            e.close()
        if args.verbose:
            for i, e in enumerate(engines):
                for m in e.messages:
                    print("  side %d: %s" % (i, m))


def elo(points):
    n = len(points)
    score = sum(points) / n
    if score <= 0 or score >= 1:
        return score, None
    var = sum((p - score) ** 2 for p in points) / n
    margin = 1.96 * math.sqrt(var / n)
    f = lambda p: -400 * math.log10(1 / min(max(p, 1e-6), 1 - 1e-6) - 1)
    return score, (f(score), f(score - margin), f(score + margin))


def colour_split(points):
    """A's points as the first player and as the second, and how the pairs of one opening
    went: (first, second, pairs won twice, pairs split, pairs lost twice). Games 2i and 2i+1
    are one opening with the colours swapped, A first in the even one. When one colour wins
    most games, most pairs split and only the unsplit ones tell the engines apart."""
    first, second = sum(points[0::2]), sum(points[1::2])
    won = split = lost = 0
    for a, b in zip(points[0::2], points[1::2]):
        won += a + b == 2
        lost += a + b == 0
        split += 0 < a + b < 2
    return first, second, won, split, lost


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--a", required=True, help="command of engine A")
    ap.add_argument("--b", required=True, help="command of engine B")
    ap.add_argument("--games", type=int, default=40, help="games, an even number")
    ap.add_argument("--turn-ms", type=int, default=1000)
    ap.add_argument("--b-turn-ms", type=int, default=0,
                    help="engine B's time a move, for time-odds matches (0: --turn-ms)")
    ap.add_argument("--match-ms", type=int, default=0, help="0: no match limit")
    ap.add_argument("--grace-ms", type=int, default=200, help="lateness tolerated")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--openings", help="file of openings, one per line")
    ap.add_argument("--verbose", action="store_true", help="print the engines' MESSAGE lines")
    ap.add_argument("--max-node", type=int, default=0, help="INFO max_node for both engines")
    ap.add_argument("--max-memory", type=int, default=0, help="INFO max_memory in bytes")
    ap.add_argument("--moves-out", help="write every game's moves to this file")
    ap.add_argument("--parallel", type=int, default=1, help="games played at once")
    args = ap.parse_args()
    pairs = (args.games + 1) // 2
    if args.openings:
        with open(args.openings) as f:
            openings = [[int(y) * N + int(x) for x, y in (m.split(",") for m in l.split())]
                        for l in f if l.strip()]
        openings = (openings * pairs)[:pairs]
    else:
        openings = random_openings(pairs, args.seed)
    jobs = []
    for i, op in enumerate(openings):
        jobs.append((2 * i, args.a, args.b, op, True))
        jobs.append((2 * i + 1, args.b, args.a, op, False))
    jobs = jobs[:args.games]
    results = [None] * len(jobs)
    lock = threading.Lock()

    def worker():
        while True:
            with lock:
                if not pending:
                    return
                job = pending.pop(0)
            g, first, second, op, a_first = job
            times = (args.turn_ms, b_turn_ms) if a_first else (b_turn_ms, args.turn_ms)
            r, moves, note, slowest = play_game(first, second, op, args, times)
            points = r if a_first else 1 - r
            results[g] = (points, slowest, moves)
            with lock:
                print("game %d: A %s, %s, %.1f after %d moves (%s); slowest %.0f ms" % (
                    g + 1, "first" if a_first else "second", "win" if points == 1 else
                    "loss" if points == 0 else "draw", points, len(moves), note,
                    slowest * 1000), flush=True)

    b_turn_ms = args.b_turn_ms or args.turn_ms
    pending = list(jobs)
    threads = [threading.Thread(target=worker) for _ in range(max(1, args.parallel))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    points = [r[0] for r in results]
    if args.moves_out:
        with open(args.moves_out, "w") as f:
            for g, r in enumerate(results):
                f.write("game %d: %s\n" % (g + 1, " ".join("%d,%d" % (c % N, c // N) for c in r[2])))
    score, e = elo(points)
    wins, losses = points.count(1.0), points.count(0.0)
    print("A: %d wins, %d losses, %d draws in %d games, score %.1f/%d (%.1f%%)" % (
        wins, losses, len(points) - wins - losses, len(points), sum(points), len(points),
        100 * score))
    first, second, won, split, lost = colour_split(points)
    print("A as first player %.1f/%d, as second %.1f/%d; pairs won %d, split %d, lost %d" % (
        first, len(points[0::2]), second, len(points[1::2]), won, split, lost))
    if e:
        print("Elo difference %+.0f (95%% interval %+.0f .. %+.0f)" % e)
    else:
        print("Elo difference unbounded")
    print("slowest answer %.0f ms against a limit of %d ms" % (
        1000 * max(r[1] for r in results), max(args.turn_ms, b_turn_ms)))


if __name__ == "__main__":
    sys.exit(main())
