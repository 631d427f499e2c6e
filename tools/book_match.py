#!/usr/bin/env python3
"""Plays the engine with its opening book against the same build without it.

Each game starts on an empty board; the side with the book plays X in odd games and O in
even ones (the book answers positions with X to move). Moves come from `pentad-tools
search` with a short clock; the two players differ only in `--no-book`. Prints each result
and the score of the side with the book. Usage:

    tools/book_match.py --tools build/release/pentad-tools --games 20 --turn-s 1
"""
import argparse
import json
import os
import subprocess
import tempfile

from pbrain_pipe import five

BOARD = 20


def move(tools, folder, board, stones, seed, turn_s, book):
    with open(os.path.join(folder, "plocha.dat"), "w") as f:
        for r in range(BOARD):
            f.write("".join(board[r * BOARD:(r + 1) * BOARD]) + "\n")
    with open(os.path.join(folder, "tah.dat"), "w") as f:
        f.write("X" if stones % 2 == 0 else "O")
    command = [tools, "search", folder, "--seed", str(seed), "--turn-s", str(turn_s), "--match-ms", "100000000"]
    if not book:
        command.append("--no-book")
    out = subprocess.run(command, capture_output=True, text=True, check=True).stdout
    return json.loads(out.strip().splitlines()[-1])["move"]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tools", default="build/release/pentad-tools")
    parser.add_argument("--games", type=int, default=20)
    parser.add_argument("--turn-s", type=int, default=1)
    args = parser.parse_args()
    points = 0.0
    with tempfile.TemporaryDirectory() as folder:
        for game in range(1, args.games + 1):
            book_plays_x = game % 2 == 1
            board = ["-"] * (BOARD * BOARD)
            result = 0.5
            for stones in range(BOARD * BOARD):
                x_to_move = stones % 2 == 0
                with_book = x_to_move == book_plays_x
                cell = move(args.tools, folder, board, stones, 1000 * game + stones, args.turn_s, with_book)
                side = "X" if x_to_move else "O"
                assert board[cell] == "-", "illegal move"
                board[cell] = side
                if five(board, cell, side):
                    result = 1.0 if with_book else 0.0
                    break
            points += result
            print(f"game {game}: book plays {'X' if book_plays_x else 'O'}, "
                  f"{'book side wins' if result == 1 else 'book side loses' if result == 0 else 'draw'} "
                  f"after {stones + 1} stones", flush=True)
    print(f"book side scored {points} of {args.games} ({100 * points / args.games:.0f}%)")


if __name__ == "__main__":
    main()
