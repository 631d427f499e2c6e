#!/usr/bin/env python3
"""The evaluation tuning loop: self-play, fit, A/B match, repeat.

Each round
  1. plays --games self-play games at --nodes a move with the current tables
     (pentad-tools selfplay --engine tournament, both cores, seed --seed + round),
  2. fits new tables to the positions of every round so far, starting from the current ones
     (tools/tune_eval.py, on Debian's /usr/bin/python3), with its loss plot,
  3. plays the new tables against the current ones: --match-games games at --match-ms a
     move, colours paired, from the balanced openings (tools/pbrain_match.py),
  4. keeps the new tables when they score above one half, else keeps the current ones.
Everything goes to --work (positions, tables, plots, match logs, summary.md); with
--install the tables kept last are copied to resources/tournament_eval.bin, and the build is
redone so the engine embeds them. A round that was finished (its files are there) is not
played again, so an interrupted loop is resumed by running it again.

    make tune ROUNDS=2
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OPENINGS = os.path.join(os.path.dirname(ROOT), "shared", "openings", "balanced_freestyle_20x20.txt")


def run(cmd, log=None):
    print("+ " + " ".join(cmd), flush=True)
    t0 = time.time()
    out = subprocess.run(cmd, check=True, stdout=subprocess.PIPE, text=True).stdout
    if log:
        open(log, "w").write(out)
    return out, time.time() - t0


def main():
    ap = argparse.ArgumentParser(description="self-play, fit, match, repeat")
    ap.add_argument("--rounds", type=int, default=1)
    ap.add_argument("--games", type=int, default=2000, help="self-play games a round")
    ap.add_argument("--nodes", type=int, default=20000, help="self-play nodes a move")
    ap.add_argument("--search-weight", type=float, default=0.8,
                    help="share of the fit's target taken from the search's value (tune_eval.py)")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--match-games", type=int, default=400)
    ap.add_argument("--match-ms", type=int, default=100)
    ap.add_argument("--openings", default=OPENINGS)
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "release"))
    ap.add_argument("--work", default=os.path.join(ROOT, "build", "tune"))
    ap.add_argument("--start", default=os.path.join(ROOT, "resources", "tournament_eval.bin"))
    ap.add_argument("--install", action="store_true", help="copy the kept tables into resources/ and rebuild")
    args = ap.parse_args()

    tools = os.path.join(args.build, "pentad-tools")
    pbrain = os.path.join(args.build, "pbrain-pentad")
    os.makedirs(args.work, exist_ok=True)
    current = os.path.join(args.work, "round-0.bin")
    if not os.path.exists(current):
        shutil.copy(args.start, current)
    rows = []
    for r in range(1, args.rounds + 1):
        stem = os.path.join(args.work, "round-%d" % r)
        done = stem + ".json"
        if os.path.exists(done):
            row = json.load(open(done))
        else:
            play, play_s = run([tools, "selfplay", "--engine", "tournament", "--openings", args.openings,
                                "--out", stem + ".pos", "--games", str(args.games), "--nodes", str(args.nodes),
                                "--threads", "2", "--seed", str(args.seed + r), "--eval-file", current])
            print(play.strip())
            rate = re.search(r"([0-9.]+) positions/s", play)
            data = sorted(os.path.join(args.work, f) for f in os.listdir(args.work) if f.endswith(".pos"))
            run(["/usr/bin/python3", os.path.join(ROOT, "tools", "tune_eval.py"), "--data"] + data +
                ["--start", current, "--out", stem + ".bin", "--plot", stem + ".png", "--summary",
                 stem + "-fit.json", "--search-weight", str(args.search_weight)])
            fit = json.load(open(stem + "-fit.json"))
            match, match_s = run([sys.executable, os.path.join(ROOT, "tools", "pbrain_match.py"),
                                  "--a", "%s --eval-file %s" % (pbrain, stem + ".bin"),
                                  "--b", "%s --eval-file %s" % (pbrain, current),
                                  "--games", str(args.match_games), "--turn-ms", str(args.match_ms),
                                  "--match-ms", "0", "--openings", args.openings, "--parallel", "2"],
                                 log=stem + "-match.txt")
            score = re.search(r"score ([0-9.]+)/(\d+)", match)
            elo = re.search(r"Elo difference (.*)", match)
            row = {"round": r, "positions_per_s": float(rate.group(1)) if rate else None,
                   "selfplay_s": round(play_s), "fit": fit, "score": float(score.group(1)),
                   "games": int(score.group(2)), "elo": elo.group(1) if elo else "?",
                   "match_s": round(match_s)}
            row["kept"] = row["score"] > row["games"] / 2
            json.dump(row, open(done, "w"), indent=1)
        print("round %d: held-out loss %.5f -> %.5f, new against current %.1f/%d, %s: %s" % (
            r, row["fit"]["held_out_loss_start"], row["fit"]["held_out_loss"], row["score"], row["games"],
            row["elo"], "kept" if row["kept"] else "not kept"), flush=True)
        if row["kept"]:
            current = stem + ".bin"
        rows.append(row)

    with open(os.path.join(args.work, "summary.md"), "w") as f:
        f.write("| round | positions | scale | held-out loss | new vs current | Elo | kept | self-play s | fit s | match s |\n")
        f.write("|---|---|---|---|---|---|---|---|---|---|\n")
        for row in rows:
            fit = row["fit"]
            f.write("| %d | %d | %.0f | %.5f -> %.5f | %.1f/%d | %s | %s | %d | %.1f | %d |\n" % (
                row["round"], fit["positions"], fit["scale"], fit["held_out_loss_start"], fit["held_out_loss"],
                row["score"], row["games"], row["elo"], "yes" if row["kept"] else "no",
                row["selfplay_s"], fit["fit_seconds"], row["match_s"]))
    print(open(os.path.join(args.work, "summary.md")).read())
    print("tables kept: " + current)
    if args.install:
        shutil.copy(current, os.path.join(ROOT, "resources", "tournament_eval.bin"))
        run(["make", "-C", ROOT, "release"])
        print("installed into resources/tournament_eval.bin and rebuilt")


if __name__ == "__main__":
    main()
