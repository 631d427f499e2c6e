#!/usr/bin/python3
"""Fits the tournament engine's evaluation tables to self-play results.

The static value of a position, from the side to move's view, is linear in the tables:

    value = sum over empty cells of value[combination for the mover] - value[combination for
            the other side] + threat[mover's strongest cell pattern][other's strongest] + tempo

so a file of positions with game results (pentad-tools selfplay --engine tournament) is a
logistic regression: P(win) = 1 / (1 + exp(-value / scale)). The scale is fitted first, to
the starting tables and the results; then value, threat and tempo are fitted by L-BFGS to
the mean log loss plus an L2 pull toward the starting tables. The target of a position is
its result, or with --search-weight W, (1 - W) * result + W * P(the search's value) where
the file holds that value (format 2). A share of the games is held out, and the tables
kept are those of the iteration that predicts them best. One value table serves both
colours (the features are own counts less the other's), and a combination is a sorted set
of its four line patterns, so values cannot differ between colours or between the orders of
the directions. The ordering tables (attack, defend) are copied from the start.

Runs on Debian's own Python (/usr/bin/python3) with python3-numpy, python3-scipy and
python3-matplotlib.
"""
import argparse
import json
import struct
import sys
import time

import numpy as np
import scipy.optimize
import scipy.sparse

COMBOS, PATTERNS = 1820, 13
EVAL_MAGIC = b"PNTDEVAL"
POS_MAGIC = {1: b"PNTDPOS1", 2: b"PNTDPOS2"}  # by format version
NO_VALUE = -32768                             # a position no search valued
EVAL_BYTES = 16 + 2 * (3 * COMBOS + PATTERNS * PATTERNS)
THREAT0 = COMBOS                      # first threat column
TEMPO = COMBOS + PATTERNS * PATTERNS  # the tempo column
COLUMNS = TEMPO + 1


def read_tables(path):
    data = open(path, "rb").read()
    if len(data) != EVAL_BYTES or data[:8] != EVAL_MAGIC:
        sys.exit("tune_eval: %s is not an evaluation file of %d bytes" % (path, EVAL_BYTES))
    version, combos, patterns, tempo = struct.unpack_from("<HHHh", data, 8)
    if (version, combos, patterns) != (1, COMBOS, PATTERNS):
        sys.exit("tune_eval: %s: version %d, %d combinations, %d patterns do not fit"
                 % (path, version, combos, patterns))
    v = np.frombuffer(data, dtype="<i2", offset=16).astype(np.int64)
    return {"tempo": tempo, "value": v[:COMBOS], "attack": v[COMBOS:2 * COMBOS],
            "defend": v[2 * COMBOS:3 * COMBOS], "threat": v[3 * COMBOS:]}


def write_tables(path, tables):
    def clip(a):
        return np.clip(np.rint(a), -32767, 32767).astype("<i2")
    out = bytearray(EVAL_MAGIC)
    out += struct.pack("<HHHh", 1, COMBOS, PATTERNS, int(clip(np.array([tables["tempo"]]))[0]))
    for name in ("value", "attack", "defend", "threat"):
        out += clip(tables[name]).tobytes()
    assert len(out) == EVAL_BYTES
    open(path, "wb").write(bytes(out))


def read_positions(paths):
    """Results (0, 0.5, 1), the search's values (nan where none), game ids, and the sparse
    feature rows of every position."""
    results, values, games, rows, cols, vals = [], [], [], [], [], []
    count = 0
    for file_index, path in enumerate(paths):
        data = open(path, "rb").read()
        if data[:8] not in POS_MAGIC.values():
            sys.exit("tune_eval: %s is not a position file" % path)
        version, combos, patterns = struct.unpack_from("<HHH", data, 8)
        if data[:8] != POS_MAGIC.get(version) or (combos, patterns) != (COMBOS, PATTERNS):
            sys.exit("tune_eval: %s does not fit this engine's tables" % path)
        # Version 2 records carry the search's value after the stone count.
        extra = 2 if version == 2 else 0
        at = 32
        while at + 8 <= len(data):
            game, _winner, _pad, n_pos = struct.unpack_from("<IBBH", data, at)
            at += 8
            for _ in range(n_pos):
                if at + 6 + extra > len(data):
                    break
                result, mover, other, _stones = struct.unpack_from("<BBBB", data, at)
                value = struct.unpack_from("<h", data, at + 4)[0] if extra else NO_VALUE
                n = struct.unpack_from("<H", data, at + 4 + extra)[0]
                at += 6 + extra
                pairs = np.frombuffer(data, dtype="<i2", count=2 * n, offset=at).reshape(n, 2)
                at += 4 * n
                rows.append(np.full(n + 2, count, dtype=np.int64))
                cols.append(np.concatenate([pairs[:, 0].astype(np.uint16).astype(np.int64),
                                            [THREAT0 + mover * PATTERNS + other, TEMPO]]))
                vals.append(np.concatenate([pairs[:, 1].astype(np.float64), [1.0, 1.0]]))
                results.append(result / 2.0)
                values.append(np.nan if value == NO_VALUE else float(value))
                games.append(file_index * 10**7 + game)
                count += 1
    if count == 0:
        sys.exit("tune_eval: no positions in %s" % ", ".join(paths))
    x = scipy.sparse.csr_matrix((np.concatenate(vals), (np.concatenate(rows), np.concatenate(cols))),
                                shape=(count, COLUMNS))
    return np.array(results), np.array(values), np.array(games), x


def log_loss(p, y):
    p = np.clip(p, 1e-9, 1 - 1e-9)
    return float(-np.mean(y * np.log(p) + (1 - y) * np.log(1 - p)))


def sigmoid(z):
    return 0.5 * (1 + np.tanh(0.5 * z))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--data", nargs="+", required=True, help="position files of selfplay")
    ap.add_argument("--start", required=True, help="the tables to start from")
    ap.add_argument("--out", required=True, help="the fitted tables")
    ap.add_argument("--plot", help="PNG of the losses by iteration and of the calibration")
    ap.add_argument("--summary", help="JSON of the fit's figures")
    ap.add_argument("--lam", type=float, default=1e-9, help="L2 pull toward the start (per value^2)")
    ap.add_argument("--iterations", type=int, default=500)
    ap.add_argument("--held-out", type=float, default=0.1, help="share of the games held out")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--search-weight", type=float, default=0.0,
                    help="share of the target taken from the search's value (0: the result alone)")
    args = ap.parse_args()

    t0 = time.time()
    start = read_tables(args.start)
    results, values, games, x = read_positions(args.data)
    # Whole games are held out: positions of one game are too alike to test each other.
    rng = np.random.default_rng(args.seed)
    unique = np.unique(games)
    held_games = set(rng.choice(unique, size=max(1, int(len(unique) * args.held_out)), replace=False).tolist())
    held = np.array([g in held_games for g in games])
    read_s = time.time() - t0

    w0 = np.zeros(COLUMNS)
    w0[:COMBOS] = start["value"]
    w0[THREAT0:TEMPO] = start["threat"]
    w0[TEMPO] = start["tempo"]
    # 1. The scale that fits the starting tables best to the results.
    v0 = x[~held] @ w0
    fit = scipy.optimize.minimize_scalar(lambda lk: log_loss(sigmoid(v0 / np.exp(lk)), results[~held]),
                                         bounds=(np.log(10), np.log(20000)), method="bounded")
    scale = float(np.exp(fit.x))
    # The target: the result, moved toward the search's value where there is one. A search
    # of thousands of nodes judges a position with far less noise than one game's end.
    searched = ~np.isnan(values)
    y = results.copy()
    y[searched] = (1 - args.search_weight) * results[searched] + \
        args.search_weight * sigmoid(np.clip(values[searched], -4 * scale, 4 * scale) / scale)
    xt, yt, xh, yh = x[~held], y[~held], x[held], y[held]

    # 2. L-BFGS on the training positions.
    n = xt.shape[0]

    # The fit moves u = (w - w0) / scale, so that gradients are of order one and the
    # optimizer's stopping rules mean what they say.
    def objective(u):
        w = w0 + scale * u
        p = sigmoid((xt @ w) / scale)
        grad = (xt.T @ (p - yt)) / n + 2 * args.lam * scale * scale * u
        return log_loss(p, yt) + args.lam * scale * scale * float(u @ u), grad

    history = []
    best = {"loss": float("inf"), "u": np.zeros(COLUMNS), "iteration": 0}

    # The held-out games stop the fit: the tables kept are those of the iteration that
    # predicted them best, as later iterations only learn the training games' noise.
    def record(u):
        w = w0 + scale * u
        history.append((log_loss(sigmoid((xt @ w) / scale), yt), log_loss(sigmoid((xh @ w) / scale), yh)))
        if history[-1][1] < best["loss"]:
            best.update(loss=history[-1][1], u=np.array(u), iteration=len(history) - 1)

    record(np.zeros(COLUMNS))
    t1 = time.time()
    limit = 30000 / scale
    scipy.optimize.minimize(objective, np.zeros(COLUMNS), jac=True, method="L-BFGS-B", callback=record,
                            bounds=[(-limit - w0[i] / scale, limit - w0[i] / scale) for i in range(COLUMNS)],
                            options={"maxiter": args.iterations, "ftol": 1e-10, "gtol": 1e-8})
    fit_s = time.time() - t1
    w = w0 + scale * best["u"]
    tables = dict(start)
    tables["value"] = w[:COMBOS]
    tables["threat"] = w[THREAT0:TEMPO]
    tables["tempo"] = w[TEMPO]
    write_tables(args.out, tables)

    summary = {
        "positions": int(len(y)), "searched": int(searched.sum()), "games": int(len(unique)),
        "held_out_positions": int(held.sum()),
        "scale": round(scale, 1), "iterations": len(history) - 1,
        "train_loss_start": round(history[0][0], 5), "held_out_loss_start": round(history[0][1], 5),
        "kept_iteration": best["iteration"],
        "train_loss": round(history[best["iteration"]][0], 5), "held_out_loss": round(best["loss"], 5),
        "held_out_result_loss_start": round(log_loss(sigmoid((xh @ w0) / scale), results[held]), 5),
        "held_out_result_loss": round(log_loss(sigmoid((xh @ w) / scale), results[held]), 5),
        "read_seconds": round(read_s, 2), "fit_seconds": round(fit_s, 2),
    }
    print("positions %d (%d games), %d held out; scale %.0f" % (
        summary["positions"], summary["games"], summary["held_out_positions"], scale))
    print("train loss %.5f -> %.5f, held-out loss %.5f -> %.5f, %d iterations, %.1f s to read, %.1f s to fit" % (
        history[0][0], history[best["iteration"]][0], history[0][1], best["loss"], len(history) - 1, read_s, fit_s))
    print("kept the tables of iteration %d, the best on the held-out games" % best["iteration"])
    print("wrote %s" % args.out)
    if args.summary:
        json.dump(summary, open(args.summary, "w"), indent=1)
    if args.plot:
        plot(args.plot, history, sigmoid((xh @ w) / scale), results[held], sigmoid((xh @ w0) / scale))


def plot(path, history, predicted, observed, predicted_start):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    fig, (a, b) = plt.subplots(1, 2, figsize=(11, 4.2))
    it = np.arange(len(history))
    a.plot(it, [h[0] for h in history], label="train")
    a.plot(it, [h[1] for h in history], label="held out")
    a.set_xlabel("L-BFGS iteration")
    a.set_ylabel("mean log loss")
    a.set_title("Loss by iteration")
    a.legend()
    a.grid(alpha=.3)
    for pred, label, style in ((predicted_start, "start tables", "o--"), (predicted, "fitted", "o-")):
        edges = np.quantile(pred, np.linspace(0, 1, 16))
        idx = np.clip(np.searchsorted(edges, pred, side="right") - 1, 0, 14)
        px = [pred[idx == k].mean() for k in range(15) if np.any(idx == k)]
        oy = [observed[idx == k].mean() for k in range(15) if np.any(idx == k)]
        b.plot(px, oy, style, label=label, markersize=4)
    b.plot([0, 1], [0, 1], color="grey", lw=.8)
    b.set_xlabel("predicted score of the side to move")
    b.set_ylabel("observed score (held-out games)")
    b.set_title("Calibration")
    b.legend()
    b.grid(alpha=.3)
    fig.tight_layout()
    fig.savefig(path, dpi=110)


if __name__ == "__main__":
    main()
