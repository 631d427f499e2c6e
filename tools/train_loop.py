#!/usr/bin/env python3
"""The network loop: self-play, train, export, A/B match, repeat.

Each round
  1. plays --games self-play games at --nodes a move with the current network (the tables in
     round 1 unless --start names a network), whole games with the search's values
     (pentad-tools selfplay --engine tournament --records, both cores, seed --seed + round,
     from tools/data/network_openings.txt with --random-moves random near moves);
  2. trains a network on the games of every round so far (tools/train_network.py, Debian's
     /usr/bin/python3 with python3-torch), with its loss plot and held-out check positions; by
     default as a correction of the tables' value (--base tables: pentad-tools static-values
     writes that value beside each game file);
  3. plays it against the current engine: --match-games games at --match-ms a move, colours
     paired, from the shared balanced openings (tools/pbrain_match.py);
  4. keeps it when it scores above one half.
Everything goes to --work (games, networks, plots, match logs, summary.md). A step whose
output is there is not done again, and self-play resumes a cut-short game file, so an
interrupted loop goes on where it stopped when run again. With --install the network kept
last becomes resources/tournament_network.bin with its check positions, the build is redone
and the network's bench signature written to tests/bench_network.sig.

    make train ROUNDS=2
"""
import argparse
import json
import os
import re
import shutil
import sys

from tune_loop import OPENINGS, ROOT, run


def engine(pbrain, network):
    return pbrain + (" --network " + network if network else "")


def main():
    ap = argparse.ArgumentParser(description="self-play, train, match, repeat")
    ap.add_argument("--rounds", type=int, default=1)
    ap.add_argument("--games", type=int, default=20000, help="self-play games a round")
    ap.add_argument("--nodes", type=int, default=5000, help="self-play nodes a move")
    ap.add_argument("--random-moves", type=int, default=5)
    ap.add_argument("--epochs", type=int, default=6)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--match-games", type=int, default=200)
    ap.add_argument("--match-ms", type=int, default=100)
    ap.add_argument("--openings", default=OPENINGS)
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "release"))
    ap.add_argument("--work", default=os.path.join(ROOT, "build", "train"))
    ap.add_argument("--start", help="the network to start from (default: the tables)")
    ap.add_argument("--base", choices=("none", "tables"), default="tables",
                    help="tables (default): networks learn a correction of the tables' value")
    ap.add_argument("--install", action="store_true",
                    help="make the kept network the embedded one and rebuild")
    args = ap.parse_args()

    tools = os.path.join(args.build, "pentad-tools")
    pbrain = os.path.join(args.build, "pbrain-pentad")
    os.makedirs(args.work, exist_ok=True)
    current = args.start
    rows = []
    for r in range(1, args.rounds + 1):
        stem = os.path.join(args.work, "round-%d" % r)
        done = stem + ".json"
        if os.path.exists(done):
            row = json.load(open(done))
        else:
            play, play_s = run([tools, "selfplay", "--engine", "tournament", "--records",
                                "--openings", os.path.join(ROOT, "tools", "data", "network_openings.txt"),
                                "--out", stem + ".games", "--games", str(args.games), "--nodes", str(args.nodes),
                                "--random-moves", str(args.random_moves), "--threads", "2",
                                "--seed", str(args.seed + r)] + (["--network", current] if current else []))
            rate = re.search(r"([0-9.]+) positions/s", play)
            data = sorted(os.path.join(args.work, f) for f in os.listdir(args.work) if f.endswith(".games"))
            if args.base == "tables":
                for games in data:
                    if not os.path.exists(games + ".static"):
                        run([tools, "static-values", games, games + ".static"])
            _, train_s = run(["/usr/bin/python3", os.path.join(ROOT, "tools", "train_network.py"), "--data"] +
                             data + ["--out", stem + ".bin", "--plot", stem + ".png", "--summary", stem + "-train.json",
                                     "--check", stem + ".check", "--epochs", str(args.epochs),
                                     "--seed", str(args.seed + r), "--base", args.base])
            train = json.load(open(stem + "-train.json"))
            match, match_s = run([sys.executable, os.path.join(ROOT, "tools", "pbrain_match.py"),
                                  "--a", engine(pbrain, stem + ".bin"), "--b", engine(pbrain, current),
                                  "--games", str(args.match_games), "--turn-ms", str(args.match_ms),
                                  "--match-ms", "0", "--openings", args.openings, "--parallel", "2"],
                                 log=stem + "-match.txt")
            score = re.search(r"score ([0-9.]+)/(\d+)", match)
            elo = re.search(r"Elo difference (.*)", match)
            row = {"round": r, "positions_per_s": float(rate.group(1)) if rate else None,
                   "selfplay_s": round(play_s), "train_s": round(train_s), "positions": train["positions"],
                   "held_out": train["held_out"], "score": float(score.group(1)), "games": int(score.group(2)),
                   "elo": elo.group(1) if elo else "?", "match_s": round(match_s)}
            row["kept"] = row["score"] > row["games"] / 2
            json.dump(row, open(done, "w"), indent=1)
        print("round %d: %d positions, held-out loss %.5f -> %.5f, new against current %.1f/%d, %s: %s" % (
            r, row["positions"], row["held_out"][0], min(row["held_out"]), row["score"], row["games"],
            row["elo"], "kept" if row["kept"] else "not kept"), flush=True)
        if row["kept"]:
            current = stem + ".bin"
        rows.append(row)

    with open(os.path.join(args.work, "summary.md"), "w") as f:
        f.write("| round | positions | held-out loss | new vs current | Elo | kept | self-play s | train s | match s |\n")
        f.write("|---|---|---|---|---|---|---|---|---|\n")
        for row in rows:
            f.write("| %d | %d | %.5f -> %.5f | %.1f/%d | %s | %s | %d | %d | %d |\n" % (
                row["round"], row["positions"], row["held_out"][0], min(row["held_out"]), row["score"],
                row["games"], row["elo"], "yes" if row["kept"] else "no", row["selfplay_s"], row["train_s"],
                row["match_s"]))
    print(open(os.path.join(args.work, "summary.md")).read())
    print("network kept: " + (current or "none (the tables)"))
    if args.install and current:
        shutil.copy(current, os.path.join(ROOT, "resources", "tournament_network.bin"))
        shutil.copy(current[:-4] + ".check", os.path.join(ROOT, "tests", "data", "network_check.txt"))
        run(["make", "-C", ROOT, "release"])
        bench, _ = run([tools, "bench", "--engine", "tournament", "--network", "embedded"])
        signature = re.search(r"signature (\d+)", bench).group(1)
        open(os.path.join(ROOT, "tests", "bench_network.sig"), "w").write(signature + "\n")
        print("installed into resources/tournament_network.bin; network bench signature " + signature)


if __name__ == "__main__":
    main()
