// Victory by continuous threats: an AND/OR search over fours and open threes, deepened
// one threat move at a time, with a VCF at every attacker node.
#include <algorithm>

#include "solver/threat_solver.h"

namespace pentad {
namespace {

constexpr uint64_t OrSalt[3] = {0, 0x94d049bb133111ebull, 0xbf58476d1ce4e5b9ull};
constexpr uint64_t AndSalt[3] = {0, 0x2545f4914f6cdd1dull, 0x5851f42d4c957f2dull};
constexpr uint64_t VcfDepthSalt = 0x14057b7ef767814full;

/// Cells in descending rank, equal ranks in the order they were added (cell order).
struct RankedCells {
    std::array<int16_t, CellCount> cells;
    std::array<uint8_t, CellCount> ranks;
    int count = 0;

    void add(int cell, int rank) {
        int j = count++;
        while (j > 0 && ranks[size_t(j - 1)] < rank) {
            cells[size_t(j)] = cells[size_t(j - 1)];
            ranks[size_t(j)] = ranks[size_t(j - 1)];
            --j;
        }
        cells[size_t(j)] = int16_t(cell);
        ranks[size_t(j)] = uint8_t(rank);
    }
};

} // namespace

SolverResult ThreatSolver::vct(EngineState &e, Side attacker, const SolverLimits &limits) {
    board_.attach(e);
    return vctOnBoard(attacker, limits);
}

SolverResult ThreatSolver::vctOnBoard(Side attacker, const SolverLimits &limits) {
    begin(limits);
    Outcome o = Fail;
    int depth = 1;
    for (; depth <= limits.maxDepth; ++depth) {
        o = attacker == X ? vctOr<X>(depth, 0) : vctOr<O>(depth, 0);
        if (o != Fail) break;
    }
    SolverResult r = finish(o);
    r.depth = r.win ? depth : 0;
    return r;
}

// The attacker to move with `depth` threat moves left.
template <Side A> ThreatSolver::Outcome ThreatSolver::vctOr(int depth, int ply) {
    constexpr Side D = opponent(A);
    if (limitReached()) return Abort;
    ++nodes_;
    ThreatBoard &b = board_;
    if (playsFive(A, ply)) return Win;
    const int defenderFives = b.fives(D).countUpToTwo();
    if (defenderFives >= 2 || ply + 4 >= MaxSolverLine) return Fail;
    const uint64_t key = b.key() ^ OrSalt[A] ^ (VcfDepthSalt * uint64_t(limits_.vcfDepth));
    const int known = vctTable_.probe(key, depth);
    if (known == 0) return Fail;
    // A known win names no move, so the root searches on to find one.
    if (known == 1 && ply > 0) {
        winLength_ = ply;
        return Win;
    }
    // 1. Fours alone may already win.
    Outcome quick = vcfNode<A>(limits_.vcfDepth, ply);
    if (quick != Fail) return quick;
    if (depth <= 0) return Fail;
    // 2. Otherwise every four and open three (only the block while he has a five point).
    CellSet candidates = b.fives(D);
    if (defenderFives == 0) {
        candidates = b.fours(A);
        candidates |= b.threes(A);
    }
    // Fours before threes (they leave the defender one answer), and among each the moves
    // that threaten on more lines first; ties in cell order.
    RankedCells moves;
    candidates.forEach([&](int m) {
        int r = 0;
        if (defenderFives == 0) {
            r = b.level(m, A) <= FourLevel ? 16 : 0;
            for (int d = 0; d < DirectionCount; ++d)
                r += std::max(0, 4 - b.lineLevel(m, d, A));
        }
        moves.add(m, r);
    });
    for (int i = 0; i < moves.count; ++i) {
        const int m = moves.cells[size_t(i)];
        b.play(m, A);
        path_[size_t(ply)] = int16_t(m);
        Outcome r = vctAnd<A>(depth - 1, ply + 1);
        b.undo(m, A);
        if (r == Win) {
            vctTable_.storeWin(key, depth);
            return Win;
        }
        if (r == Abort) return Abort;
    }
    vctTable_.storeFail(key, depth);
    return Fail;
}

// The defender to move after an attacker threat; every answer must still lose.
template <Side A> ThreatSolver::Outcome ThreatSolver::vctAnd(int depth, int ply) {
    constexpr Side D = opponent(A);
    if (limitReached()) return Abort;
    ++nodes_;
    ThreatBoard &b = board_;
    const int points = b.fives(A).countUpToTwo();
    if (points >= 2) {
        winLength_ = ply;
        return Win;
    }
    if (ply + 4 >= MaxSolverLine) return Fail;
    const uint64_t key = b.key() ^ AndSalt[A] ^ (VcfDepthSalt * uint64_t(limits_.vcfDepth));
    const int known = vctTable_.probe(key, depth);
    if (known == 0) return Fail;
    if (known == 1) {
        winLength_ = ply;
        return Win;
    }
    CellSet answers = b.fives(A);
    if (points == 0) {
        // A threat only if, left alone, the attacker wins by fours. The defender may answer
        // on that VCF's cells, on its final five points, or with a four of his own.
        Outcome threat = vcfNode<A>(limits_.vcfDepth, ply);
        if (threat == Abort) return Abort;
        if (threat == Fail) {
            vctTable_.storeFail(key, depth);
            return Fail;
        }
        for (int i = ply; i < winLength_; ++i)
            answers.set(path_[size_t(i)]);
        answers |= finalFives_;
        answers |= b.fours(D);
    }
    std::array<int16_t, MaxSolverLine> kept{};
    int keptLength = -1;
    // The answers that block his strongest points or make the defender's own come first:
    // one of them refutes most often, and a refutation ends the node.
    RankedCells replies;
    answers.forEach([&](int r) {
        if (b.state().Board[size_t(r)] == Empty)
            replies.add(r, std::max(0, 4 - b.level(r, A)) + std::max(0, 4 - b.level(r, D)));
    });
    for (int i = 0; i < replies.count; ++i) {
        const int r = replies.cells[size_t(i)];
        b.play(r, D);
        path_[size_t(ply)] = int16_t(r);
        Outcome o = vctOr<A>(depth, ply + 1);
        b.undo(r, D);
        if (o == Abort) return Abort;
        if (o == Fail) {
            vctTable_.storeFail(key, depth);
            return Fail;
        }
        // Keep the line of the first answer as the one to report.
        if (keptLength < 0) {
            keptLength = winLength_;
            std::copy(path_.begin() + ply, path_.begin() + winLength_, kept.begin() + ply);
        }
    }
    if (keptLength >= 0) {
        std::copy(kept.begin() + ply, kept.begin() + keptLength, path_.begin() + ply);
        winLength_ = keptLength;
    } else {
        winLength_ = ply;
    }
    vctTable_.storeWin(key, depth);
    return Win;
}

template ThreatSolver::Outcome ThreatSolver::vctOr<X>(int, int);
template ThreatSolver::Outcome ThreatSolver::vctOr<O>(int, int);
template ThreatSolver::Outcome ThreatSolver::vctAnd<X>(int, int);
template ThreatSolver::Outcome ThreatSolver::vctAnd<O>(int, int);

} // namespace pentad
