#!/usr/bin/python3
"""Trains the tournament engine's network evaluation on self-play game records.

The network, seen from the side to move:
  - a line network, the same for the four directions: the 11 cells from -5 to +5 along a line
    through a cell (empty, own, opponent, or past the edge), embedded, then five 3-tap
    convolutions without padding, so that its reach is exactly 5 cells each way; its F
    outputs are the cell's features for that direction. The engine runs it once on every
    possible line content at start-up and keeps the results as a table;
  - per cell the sum of its four directions, clipped to [0, 1] (the features are quantised to
    1/512 as the engine's int16 table holds them), summed over the board and divided by 16;
  - a head of two hidden layers to one logit: the side to move's expected score.
Targets mix the game's result and the search's value mapped to a score. Whole games are held
out, boards are seen under the 8 symmetries, and a progress bar and a plot of the train and
held-out loss by epoch come with it. With --base tables the network learns a correction of
the evaluation tables' value (read from FILE.static beside each data file, written by
`pentad-tools static-values FILE FILE.static`): the engine then adds the two, and a network
that has learnt nothing yet plays as the tables do.

    tools/train_network.py --data a.games [b.games ...] --out net.bin --plot loss.png \
        [--epochs 6] [--seed 1] [--search-weight 0.7] [--base tables]

Game record files are written by `pentad-tools selfplay --engine tournament --records`; the
network file's layout is described in tournament/network.h.
"""
import argparse
import json
import math
import os
import struct
import sys
import time

import numpy as np

RADIUS = 5
WIDTH = 2 * RADIUS + 1
SIDE = 20
QUANT = 512          # the engine's int16 units of one feature
POOL = 16            # the board-wide sum of the clipped features is divided by this
VALUE_SCALE = 985.0  # engine units of one logit, the tables' fitted scale
MAGIC = b"PNTDNET1"


def read_games(path):
    """Yields (winner, unsearched, moves) with moves as a list of (cell, quiet, value)."""
    data = open(path, "rb").read()
    if data[:8] != b"PNTDGAME":
        sys.exit("%s: not a game record file (PNTDGAME)" % path)
    at = 32
    while at + 8 <= len(data):
        _game, winner, unsearched, n = struct.unpack_from("<IBBH", data, at)
        end = at + 8 + 4 * n
        if end > len(data):
            break
        raw = np.frombuffer(data, dtype="<u2", count=2 * n, offset=at + 8).reshape(n, 2)
        cells = (raw[:, 0] & 0x7FFF).astype(np.int32)
        quiet = (raw[:, 0] & 0x8000) != 0
        values = raw[:, 1].astype(np.int16).astype(np.int32)
        yield winner, unsearched, cells, quiet, values
        at = end


def positions(paths, search_weight, moves_out=None, with_base=False):
    """Boards (int8, 1 own, 2 opponent, from the side to move), targets, game numbers and the
    tables' values as logits (zeros without `with_base`); `moves_out`, if given, gets each
    position's moves so far."""
    boards, targets, games, bases = [], [], [], []
    game_no = 0
    for path in paths:
        static, at = None, 0
        if with_base:
            if not os.path.exists(path + ".static"):
                sys.exit("%s.static is missing: write it with pentad-tools static-values %s %s.static"
                         % (path, path, path))
            static = np.fromfile(path + ".static", dtype="<i2").astype(np.float32) / VALUE_SCALE
        for winner, _unsearched, cells, quiet, values in read_games(path):
            if static is not None and at + len(cells) > len(static):
                sys.exit("%s.static is shorter than its games: write it again" % path)
            board = np.zeros(SIDE * SIDE, dtype=np.int8)  # 1 black, 2 white
            for i, cell in enumerate(cells):
                black_to_move = i % 2 == 0
                v = values[i]
                if quiet[i] and v != -32768 and abs(v) < 20000:
                    own = 1 if black_to_move else 2
                    view = np.where(board == 0, 0, np.where(board == own, 1, 2)).astype(np.int8)
                    if winner == 2:
                        result = 0.5
                    else:
                        result = 1.0 if (winner == 0) == black_to_move else 0.0
                    search = 1.0 / (1.0 + math.exp(-v / VALUE_SCALE))
                    boards.append(view)
                    if moves_out is not None:
                        moves_out.append(cells[:i].tolist())
                    targets.append((1 - search_weight) * result + search_weight * search)
                    games.append(game_no)
                    bases.append(static[at + i] if static is not None else 0.0)
                board[cell] = 1 if i % 2 == 0 else 2
            game_no += 1
            at += len(cells)
    return (np.array(boards, dtype=np.int8).reshape(-1, SIDE, SIDE),
            np.array(targets, dtype=np.float32), np.array(games, dtype=np.int64),
            np.array(bases, dtype=np.float32))


DIRECTIONS = ((0, 1), (1, 0), (1, 1), (1, -1))


def line_codes(boards):
    """[B, 400, 4] base-4 codes of each cell's 11-cell line per direction (3 past the edge)."""
    b = boards.shape[0]
    padded = np.full((b, SIDE + 2 * RADIUS, SIDE + 2 * RADIUS), 3, dtype=np.int32)
    padded[:, RADIUS:RADIUS + SIDE, RADIUS:RADIUS + SIDE] = boards
    codes = np.zeros((b, SIDE, SIDE, 4), dtype=np.int32)
    for d, (dy, dx) in enumerate(DIRECTIONS):
        for k in range(-RADIUS, RADIUS + 1):
            y0, x0 = RADIUS + k * dy, RADIUS + k * dx
            codes[:, :, :, d] += padded[:, y0:y0 + SIDE, x0:x0 + SIDE] << (2 * (k + RADIUS))
    return codes.reshape(b, SIDE * SIDE, 4)


def symmetry(boards, s):
    if s & 4:
        boards = boards.transpose(0, 2, 1)
    if s & 1:
        boards = boards[:, ::-1, :]
    if s & 2:
        boards = boards[:, :, ::-1]
    return np.ascontiguousarray(boards)


def build_model(torch, channels, features, hidden):
    nn = torch.nn

    class Quantise(torch.autograd.Function):
        @staticmethod
        def forward(ctx, x):
            return torch.clamp(torch.round(x * QUANT), -8000, 8000) / QUANT

        @staticmethod
        def backward(ctx, g):
            return g

    class Net(nn.Module):
        def __init__(self):
            super().__init__()
            self.embed = nn.Embedding(4, channels)
            self.convs = nn.ModuleList([nn.Conv1d(channels, channels, 3) for _ in range(RADIUS - 1)] +
                                       [nn.Conv1d(channels, features, 3)])
            # The board-wide sums, standardised; the export folds this into the head's first layer.
            self.norm = nn.BatchNorm1d(features, affine=False, momentum=0.1)
            self.h1 = nn.Linear(features, hidden)
            self.h2 = nn.Linear(hidden, hidden)
            self.out = nn.Linear(hidden, 1)
            # Cells start inside the clip, with a gradient: a quarter of the clip a direction.
            # and their features spread across it from the start, so that the head sees the
            # position's lines rather than a near constant.
            with torch.no_grad():
                self.convs[-1].bias.fill_(0.125)
                for conv in self.convs:
                    conv.weight.mul_(3.0)

        def line(self, windows):
            x = self.embed(windows).transpose(1, 2)
            for conv in self.convs[:-1]:
                x = torch.relu(conv(x))
            return self.convs[-1](x).squeeze(-1)

        def forward(self, codes):
            # The line network runs once per distinct line content of the batch, and the
            # clipped cell sum once per distinct four lines of a cell; a sparse matrix of how
            # often each of those a position holds then pools them.
            batch = codes.shape[0]
            unique, inverse = torch.unique(codes, return_inverse=True)
            digits = (unique.long().unsqueeze(1) >> (2 * torch.arange(WIDTH))) & 3
            feats = Quantise.apply(self.line(digits))
            inv = inverse.view(-1, 4).long()
            u = len(unique)
            pairs1, i1 = torch.unique(inv[:, 0] * u + inv[:, 1], return_inverse=True)
            pairs2, i2 = torch.unique(inv[:, 2] * u + inv[:, 3], return_inverse=True)
            tuples, cell_of = torch.unique(i1 * len(pairs2) + i2, return_inverse=True)
            p1, p2 = pairs1[tuples // len(pairs2)], pairs2[tuples % len(pairs2)]
            cell = feats[p1 // u] + feats[p1 % u] + feats[p2 // u] + feats[p2 % u]
            act = torch.clamp(cell, 0.0, 1.0)
            rows = torch.arange(batch).repeat_interleave(codes.shape[1])
            counts = torch.sparse_coo_tensor(torch.stack([rows, cell_of]),
                                             torch.full((len(cell_of),), 1.0 / POOL),
                                             (batch, len(tuples))).coalesce()
            pooled = self.norm(torch.sparse.mm(counts, act))
            h = torch.relu(self.h1(pooled))
            h = torch.relu(self.h2(h))
            return self.out(h).squeeze(-1)

    return Net()


def export(net, path, channels, features, hidden, base):
    """The network file: a header, then every weight as float32 (tournament/network.h)."""
    import torch
    blob = bytearray(MAGIC)
    blob += struct.pack("<HHHHHHHHf", 2 if base else 1, 0, RADIUS, channels, features, hidden,
                        QUANT, POOL, VALUE_SCALE)
    if base:
        blob += struct.pack("<HH", 1, 0)
    arrays = [net.embed.weight]
    for conv in net.convs:
        arrays += [conv.weight, conv.bias]
    # h1(standardise(x)) = (W1 / sd) x + (b1 - W1 mean / sd)
    sd = torch.sqrt(net.norm.running_var + net.norm.eps)
    w1 = net.h1.weight / sd
    b1 = net.h1.bias - (net.h1.weight * (net.norm.running_mean / sd)).sum(dim=1)
    arrays += [w1, b1, net.h2.weight, net.h2.bias, net.out.weight, net.out.bias]
    for a in arrays:
        blob += a.detach().numpy().astype("<f4").tobytes()
    open(path, "wb").write(bytes(blob))
    return len(blob)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--data", nargs="+", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--plot")
    ap.add_argument("--summary")
    ap.add_argument("--epochs", type=int, default=6)
    ap.add_argument("--batch", type=int, default=4096)
    ap.add_argument("--lr", type=float, default=2e-3)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--search-weight", type=float, default=0.7)
    ap.add_argument("--channels", type=int, default=16)
    ap.add_argument("--features", type=int, default=16)
    ap.add_argument("--hidden", type=int, default=32)
    ap.add_argument("--holdout", type=float, default=0.05)
    ap.add_argument("--max-positions", type=int, default=0)
    ap.add_argument("--base", choices=("none", "tables"), default="none",
                    help="tables: learn a correction of the evaluation tables' value")
    ap.add_argument("--check", help="write a few held-out positions with the value the network "
                    "gives them, for the engine's test to compare its own against")
    args = ap.parse_args()

    import torch
    torch.set_num_threads(2)
    torch.manual_seed(args.seed)
    rng = np.random.default_rng(args.seed)

    t0 = time.time()
    history_moves = [] if args.check else None
    with_base = args.base == "tables"
    boards, targets, games, bases = positions(args.data, args.search_weight, history_moves, with_base)
    if args.max_positions and len(boards) > args.max_positions:
        m = args.max_positions
        boards, targets, games, bases = boards[:m], targets[:m], games[:m], bases[:m]
    held = np.isin(games, rng.permutation(games.max() + 1)[:max(1, int((games.max() + 1) * args.holdout))])
    train_idx, test_idx = np.flatnonzero(~held), np.flatnonzero(held)
    print("positions %d (train %d, held out %d, from %d games), read in %.1f s"
          % (len(boards), len(train_idx), len(test_idx), games.max() + 1, time.time() - t0), flush=True)

    net = build_model(torch, args.channels, args.features, args.hidden)
    if with_base:
        # A correction starts at nothing: the engine then plays as the tables do.
        with torch.no_grad():
            net.out.weight.zero_()
            net.out.bias.zero_()
    params = sum(p.numel() for p in net.parameters())
    print("parameters %d" % params, flush=True)
    opt = torch.optim.Adam(net.parameters(), lr=args.lr)
    sched = torch.optim.lr_scheduler.CosineAnnealingLR(opt, T_max=max(1, args.epochs))
    loss_fn = torch.nn.BCEWithLogitsLoss()

    def recalibrate():
        """The standardisation's statistics afresh, for the network as it now is: the running
        averages lag behind a line network that is still learning."""
        net.norm.reset_running_stats()
        net.norm.momentum = None
        sample = rng.choice(train_idx, size=min(len(train_idx), 8 * args.batch), replace=False)
        with torch.no_grad():
            for i in range(0, len(sample), args.batch):
                net(torch.from_numpy(line_codes(boards[np.sort(sample[i:i + args.batch])])))
        net.norm.momentum = 0.1

    def evaluate(idx):
        recalibrate()
        net.eval()
        total, n = 0.0, 0
        with torch.no_grad():
            for i in range(0, len(idx), 4096):
                part = idx[i:i + 4096]
                codes = torch.from_numpy(line_codes(boards[part]))
                logits = net(codes) + torch.from_numpy(bases[part])
                total += float(loss_fn(logits, torch.from_numpy(targets[part]))) * len(part)
                n += len(part)
        net.train()
        return total / max(n, 1)

    history = {"train": [], "held_out": [evaluate(test_idx)], "epoch_seconds": []}
    print("epoch 0: held-out loss %.5f" % history["held_out"][0], flush=True)
    best = (history["held_out"][0], None)
    for epoch in range(1, args.epochs + 1):
        start = time.time()
        order = rng.permutation(train_idx)
        running, seen = 0.0, 0
        batches = (len(order) + args.batch - 1) // args.batch
        for bi in range(batches):
            part = np.sort(order[bi * args.batch:(bi + 1) * args.batch])
            sym = int(rng.integers(8))
            codes = torch.from_numpy(line_codes(symmetry(boards[part], sym)))
            logits = net(codes) + torch.from_numpy(bases[part])
            loss = loss_fn(logits, torch.from_numpy(targets[part]))
            opt.zero_grad()
            loss.backward()
            opt.step()
            running += float(loss) * len(part)
            seen += len(part)
            if bi % 20 == 0 or bi == batches - 1:
                done = (bi + 1) / batches
                bar = "#" * int(30 * done) + "." * (30 - int(30 * done))
                left = (time.time() - start) / done * (1 - done)
                sys.stderr.write("\repoch %d [%s] %5.1f%% loss %.5f, %.0f s left " %
                                 (epoch, bar, 100 * done, running / seen, left))
                sys.stderr.flush()
        sched.step()
        sys.stderr.write("\n")
        history["train"].append(running / seen)
        history["held_out"].append(evaluate(test_idx))
        history["epoch_seconds"].append(time.time() - start)
        print("epoch %d: train loss %.5f, held-out loss %.5f, %.0f s" %
              (epoch, history["train"][-1], history["held_out"][-1], history["epoch_seconds"][-1]), flush=True)
        if history["held_out"][-1] < best[0]:
            best = (history["held_out"][-1], {k: v.clone() for k, v in net.state_dict().items()})
    if best[1] is not None:
        net.load_state_dict(best[1])
    t1 = time.time()
    size = export(net, args.out, args.channels, args.features, args.hidden, with_base)
    print("kept held-out loss %.5f; wrote %s (%d bytes) in %.2f s" % (best[0], args.out, size, time.time() - t1))
    history.update(positions=int(len(boards)), parameters=int(params), kept=best[0])
    if args.check:
        # The engine's value: the logit in its units, as tournament/network.cpp rounds it (the
        # network's own part, without the tables' value).
        net.eval()
        picks = test_idx[:: max(1, len(test_idx) // 8)][:8]
        with torch.no_grad():
            logits = net(torch.from_numpy(line_codes(boards[picks]))).numpy()
        with open(args.check, "w") as f:
            for i, logit in zip(picks, logits):
                value = max(-20000, min(20000, int(round(float(logit) * VALUE_SCALE))))
                f.write("%d %s\n" % (value, " ".join(str(c) for c in history_moves[i])))
    if args.summary:
        json.dump(history, open(args.summary, "w"), indent=1)
    if args.plot:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
        fig, ax = plt.subplots(figsize=(6, 4))
        ax.plot(range(1, len(history["train"]) + 1), history["train"], "o-", label="train")
        ax.plot(range(0, len(history["held_out"])), history["held_out"], "s-", label="held out")
        ax.set_xlabel("epoch")
        ax.set_ylabel("cross-entropy")
        ax.set_title("Network: %d positions, %d parameters" % (len(boards), params))
        ax.legend()
        fig.tight_layout()
        fig.savefig(args.plot, dpi=90)


if __name__ == "__main__":
    main()
