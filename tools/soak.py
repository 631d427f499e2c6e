#!/usr/bin/env python3
"""Soak run: many fast games under tight clocks, failing on any fault.

pbrain: pbrain-pentad plays itself and a random-moving pbrain opponent this script brings
along (run as `soak.py --random-pbrain`), with timeout_turn drawn from 100..300 ms and a
time_left that shrinks with every answer. exchange: the exchange-file engine is started
once per move in a folder of exchange files, as a file-protocol manager drives it, against
the random mover, with timeouts.dat "1 MATCH". Any illegal move, crash, protocol error or
answer over its limit fails the run. Prints the counts and the slowest answer against its
limit.

    tools/soak.py --protocol pbrain --games 100
    tools/soak.py --protocol exchange --games 100
"""
import argparse
import os
import random
import shlex
import subprocess
import sys
import tempfile
import threading
import time

from pbrain_pipe import N, PbrainEngine, five


def random_pbrain():
    """A pbrain engine that answers every request with a random empty cell."""
    board = [0] * (N * N)
    rng = random.Random(os.getpid())

    def move():
        free = [c for c in range(N * N) if board[c] == 0]
        c = rng.choice(free)
        board[c] = 1
        print("%d,%d" % (c % N, c // N), flush=True)

    lines = iter(sys.stdin.readline, "")
    for line in lines:
        words = line.strip().split()
        if not words:
            continue
        cmd = words[0].upper()
        if cmd == "START":
            board = [0] * (N * N)
            print("OK", flush=True)
        elif cmd == "BEGIN":
            move()
        elif cmd == "TURN":
            x, y = map(int, words[1].split(","))
            board[y * N + x] = 2
            move()
        elif cmd == "BOARD":
            board = [0] * (N * N)
            for l in lines:
                if l.strip().upper() == "DONE":
                    break
                x, y, f = map(int, l.strip().split(","))
                board[y * N + x] = f
            move()
        elif cmd == "END":
            return


class Stats:
    def __init__(self):
        self.games = self.moves = self.illegal = self.crashes = self.over = self.errors = 0
        self.slowest = (0.0, 1)  # (answer ms, its limit ms) with the largest ratio
        self.lock = threading.Lock()

    def answer(self, ms, limit):
        with self.lock:
            self.moves += 1
            if ms / limit > self.slowest[0] / self.slowest[1]:
                self.slowest = (ms, limit)
            if ms > limit:
                self.over += 1

    def report(self, label):
        print("%s: %d games, %d moves by the engine, %d illegal moves, %d crashes, %d protocol "
              "errors, %d answers over the limit; slowest answer %.0f ms against a limit of "
              "%d ms" % (label, self.games, self.moves, self.illegal, self.crashes, self.errors,
                         self.over, self.slowest[0], self.slowest[1]))
        return self.illegal + self.crashes + self.errors + self.over == 0


def pbrain_game(engine_cmd, opponent_cmd, rng, stats, engine_checked):
    """One game; engine_checked[i] says whether player i is the engine under test."""
    turn = rng.randint(100, 300)
    match = turn * rng.randint(15, 40)
    players = [PbrainEngine(engine_cmd if engine_checked[0] else opponent_cmd),
               PbrainEngine(engine_cmd if engine_checked[1] else opponent_cmd)]
    left = [match, match]
    board = [0] * (N * N)
    last = None
    try:
        for p in players:
            p.send("START 20")
            ok, _ = p.answer(5)
            if ok != "OK":
                stats.errors += 1
                return
            p.send("INFO timeout_turn %d" % turn)
            p.send("INFO timeout_match %d" % match)
        for ply in range(N * N):
            side = ply % 2
            p = players[side]
            p.send("INFO time_left %d" % left[side])
            p.send("BEGIN" if last is None else "TURN %d,%d" % (last % N, last // N))
            limit = max(1, min(turn, left[side]))
            line, ms = p.answer(limit / 1000 + 5)
            left[side] -= int(ms)
            if line is None:
                if engine_checked[side]:
                    stats.crashes += 1 if p.proc.poll() is not None else 0
                    stats.over += 1 if p.proc.poll() is None else 0
                return
            if engine_checked[side]:
                stats.answer(ms, limit)
            try:
                x, y = (int(v) for v in line.split(","))
                cell = y * N + x
                legal = 0 <= x < N and 0 <= y < N and board[cell] == 0
            except ValueError:
                legal = False
            if not legal:
                if engine_checked[side]:
                    stats.illegal += 1
                return
            board[cell] = side + 1
            last = cell
            if five(board, cell, side + 1):
                return
    finally:
        for i, p in enumerate(players):
            if not p.close() and engine_checked[i]:
                stats.errors += 1
        stats.games += 1


def exchange_game(engine, rng, stats):
    """The exchange-file engine (X or O at random) against random moves."""
    match = rng.randint(3000, 8000)
    engine_side = rng.randint(0, 1)
    board = [0] * (N * N)
    left = match
    with tempfile.TemporaryDirectory() as folder:
        for ply in range(N * N):
            side = ply % 2
            if side != engine_side:
                cell = rng.choice([c for c in range(N * N) if board[c] == 0])
            else:
                with open(os.path.join(folder, "plocha.dat"), "w") as f:
                    for r in range(N):
                        f.write("".join("-XO"[board[r * N + c]] for c in range(N)) + "\n")
                with open(os.path.join(folder, "tah.dat"), "w") as f:
                    f.write("XO"[side])
                with open(os.path.join(folder, "timeouts.dat"), "w") as f:
                    f.write("1 %d" % max(left, 0))
                start = time.monotonic()
                try:
                    r = subprocess.run(engine, cwd=folder, capture_output=True, timeout=10)
                except subprocess.TimeoutExpired:
                    stats.over += 1
                    break
                ms = (time.monotonic() - start) * 1000
                left -= int(ms)
                if r.returncode != 0:
                    stats.crashes += 1
                    break
                stats.answer(ms, 1000)
                try:
                    x, y = (int(v) for v in open(os.path.join(folder, "tah.dat")).read().split(","))
                    cell = y * N + x
                    legal = 0 <= x < N and 0 <= y < N and board[cell] == 0
                except ValueError:
                    legal = False
                if not legal:
                    stats.illegal += 1
                    break
            board[cell] = side + 1
            if five(board, cell, side + 1):
                break
    stats.games += 1


def main():
    if "--random-pbrain" in sys.argv:
        return random_pbrain()
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--protocol", choices=["pbrain", "exchange"], required=True)
    ap.add_argument("--games", type=int, default=100)
    ap.add_argument("--pbrain", default="build/release/pbrain-pentad")
    ap.add_argument("--engine", default="build/release/pentad")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--parallel", type=int, default=1)
    args = ap.parse_args()
    rng = random.Random(args.seed)
    stats = Stats()
    random_cmd = [sys.executable, os.path.abspath(__file__), "--random-pbrain"]
    engine_cmd = shlex.split(args.pbrain)
    engine = [os.path.abspath(shlex.split(args.engine)[0])] + shlex.split(args.engine)[1:]
    jobs = list(range(args.games))
    lock = threading.Lock()

    def worker(seed):
        local = random.Random(seed)
        while True:
            with lock:
                if not jobs:
                    return
                g = jobs.pop()
            if args.protocol == "exchange":
                exchange_game(engine, local, stats)
            elif g % 2 == 0:
                pbrain_game(engine_cmd, engine_cmd, local, stats, (True, True))
            else:
                checked = (True, False) if g % 4 == 1 else (False, True)
                pbrain_game(engine_cmd, random_cmd, local, stats, checked)

    threads = [threading.Thread(target=worker, args=(rng.random(),)) for _ in range(args.parallel)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return 0 if stats.report(args.protocol) else 1


if __name__ == "__main__":
    sys.exit(main())
