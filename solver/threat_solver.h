// Threat-space solvers for either side: victory by continuous fours (VCF) and by
// continuous threats (VCT, fours and open threes), on the engine's own line patterns.
//
// The attacker A is to move. In a VCF every A move makes a four and the defender answers
// at the one cell that stops the five; a defender's five point must be blocked first, and
// that block must itself be a four. In a VCT A may also play a threat that wins by a VCF
// if left alone; the defender may then answer on any cell of that VCF, on its final five
// points, or with a four of his own. Both are bounded by nodes, depth and the clock; the
// position of the engine state is always restored.
#pragma once

#include <array>
#include <cstdint>

#include "board/engine_state.h"
#include "solver/solver_table.h"
#include "solver/threat_board.h"

namespace pentad {

constexpr int MaxSolverLine = 96; ///< moves of a winning line, both sides

struct SolverLimits {
    int64_t maxNodes = 100000;
    int maxDepth = 30;     ///< VCF: attacker fours; VCT: attacker threat moves
    int vcfDepth = 12;     ///< VCT: depth of the VCFs that make a three a threat
    int64_t deadline = -1; ///< process clock (ms) at which the solve gives up; -1 none
};

struct SolverResult {
    bool win = false;
    bool complete = true;                      ///< false when a limit cut the solve short
    std::array<int16_t, MaxSolverLine> line{}; ///< attacker first, alternating
    int lineLength = 0;
    int64_t nodes = 0;
    int depth = 0; ///< threat moves of the win found
};

class ThreatSolver {
public:
    /// A VCF for the side to move `attacker` in the position of `e`.
    SolverResult vcf(EngineState &e, Side attacker, const SolverLimits &limits);
    /// A VCT, deepened one threat move at a time up to limits.maxDepth.
    SolverResult vct(EngineState &e, Side attacker, const SolverLimits &limits);

    /// The threat view the solves play on (tests follow stones on it).
    ThreatBoard &board() { return board_; }

    /// Forgets every proven and refuted position (a fresh start for reproducible runs).
    void clear() {
        vcfTable_.clear();
        vctTable_.clear();
    }

private:
    enum Outcome { Fail = 0, Win = 1, Abort = 2 };
    SolverResult vcfOnBoard(Side attacker, const SolverLimits &limits);
    SolverResult vctOnBoard(Side attacker, const SolverLimits &limits);
    template <Side A> Outcome vcfNode(int depth, int ply);
    template <Side A> Outcome vctOr(int depth, int ply);
    template <Side A> Outcome vctAnd(int depth, int ply);
    bool limitReached();
    /// When the attacker has a five point: it ends the line at `ply`.
    bool playsFive(Side attacker, int ply);
    void begin(const SolverLimits &limits);
    SolverResult finish(Outcome outcome);

    ThreatBoard board_;
    SolverTable vcfTable_, vctTable_;
    SolverLimits limits_;
    int64_t nodes_ = 0;
    bool aborted_ = false;
    std::array<int16_t, MaxSolverLine + 4> path_{};
    int winLength_ = 0;
    CellSet finalFives_;
};

/// The process-wide solver (its tables are allocated on first use).
ThreatSolver &threatSolver();

} // namespace pentad
