// Victory by continuous fours, and the solver's shared entry and limit handling.
#include "platform/platform.h"
#include "solver/threat_solver.h"

namespace pentad {
namespace {

// Keys of the two tables: the position key with the attacker (and for the VCT the kind
// of node and the depth of its VCFs) folded in.
constexpr uint64_t VcfSalt[3] = {0, 0x9e3779b97f4a7c15ull, 0xc2b2ae3d27d4eb4full};

} // namespace

ThreatSolver &threatSolver() {
    static ThreatSolver solver;
    return solver;
}

void ThreatSolver::begin(const SolverLimits &limits) {
    limits_ = limits;
    nodes_ = 0;
    aborted_ = false;
    winLength_ = 0;
}

bool ThreatSolver::limitReached() {
    if (aborted_) return true;
    if (nodes_ >= limits_.maxNodes) aborted_ = true;
    if ((nodes_ & 255) == 0 &&
        (stopRequested() || (limits_.deadline >= 0 && processClockMs() >= limits_.deadline)))
        aborted_ = true;
    return aborted_;
}

bool ThreatSolver::playsFive(Side attacker, int ply) {
    const CellSet &fives = board_.fives(attacker);
    if (fives.empty()) return false;
    path_[size_t(ply)] = int16_t(fives.first());
    winLength_ = ply + 1;
    finalFives_ = fives;
    return true;
}

SolverResult ThreatSolver::finish(Outcome outcome) {
    SolverResult r;
    r.win = outcome == Win;
    r.complete = outcome != Abort;
    r.nodes = nodes_;
    if (r.win) {
        r.lineLength = winLength_;
        for (int i = 0; i < winLength_; ++i)
            r.line[size_t(i)] = path_[size_t(i)];
    }
    return r;
}

SolverResult ThreatSolver::vcf(EngineState &e, Side attacker, const SolverLimits &limits) {
    board_.attach(e);
    return vcfOnBoard(attacker, limits);
}

SolverResult ThreatSolver::vcfOnBoard(Side attacker, const SolverLimits &limits) {
    begin(limits);
    Outcome o = attacker == X ? vcfNode<X>(limits.maxDepth, 0) : vcfNode<O>(limits.maxDepth, 0);
    SolverResult r = finish(o);
    r.depth = (r.lineLength + 1) / 2;
    return r;
}

// One attacker move of a VCF: `depth` fours remain; path_[ply] receives the move.
template <Side A> ThreatSolver::Outcome ThreatSolver::vcfNode(int depth, int ply) {
    constexpr Side D = opponent(A);
    if (limitReached()) return Abort;
    ++nodes_;
    ThreatBoard &b = board_;
    // 1. A five point wins at once.
    if (playsFive(A, ply)) return Win;
    // 2. Two defender five points cannot both be blocked; one must be blocked with a four.
    const int defenderFives = b.fives(D).countUpToTwo();
    if (defenderFives >= 2 || depth <= 0 || ply + 2 >= MaxSolverLine) return Fail;
    const uint64_t key = b.key() ^ VcfSalt[A];
    const int known = vcfTable_.probe(key, depth);
    if (known == 0) return Fail;
    const CellSet candidates = defenderFives == 1 ? b.fives(D) & b.fours(A) : b.fours(A);
    // 3. Open fours first (they win outright), then the plain fours in cell order.
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t w = 0; w < candidates.words.size(); ++w) {
            for (uint64_t bits = candidates.words[w]; bits; bits &= bits - 1) {
                const int m = int(w * 64) + std::countr_zero(bits);
                if ((b.level(m, A) == OpenFourLevel) != (pass == 0)) continue;
                b.play(m, A);
                path_[size_t(ply)] = int16_t(m);
                Outcome r = Fail;
                const int points = b.fives(A).countUpToTwo();
                if (points >= 2) {
                    // The defender has no five and cannot stop two.
                    winLength_ = ply + 1;
                    finalFives_ = b.fives(A);
                    r = Win;
                } else if (points == 1) {
                    // 4. The forced block; a block that makes him two five points refutes.
                    const int block = b.fives(A).first();
                    b.play(block, D);
                    path_[size_t(ply + 1)] = int16_t(block);
                    if (b.fives(D).countUpToTwo() < 2) r = vcfNode<A>(depth - 1, ply + 2);
                    b.undo(block, D);
                }
                b.undo(m, A);
                if (r != Fail) return r;
            }
        }
    }
    vcfTable_.storeFail(key, depth);
    return Fail;
}

template ThreatSolver::Outcome ThreatSolver::vcfNode<X>(int, int);
template ThreatSolver::Outcome ThreatSolver::vcfNode<O>(int, int);

} // namespace pentad
