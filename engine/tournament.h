// The tournament mode of the move choice: the engine as designed, with threat solvers
// around it. Own fives and forcing wins are played at once, an opponent's forcing win
// restricts the root to the answers that refute it, and the search's choice is checked
// against the opponent's forcing wins before it is played.
#pragma once

#include <cstdint>

#include "board/engine_state.h"
#include "search/search.h"
#include "solver/threat_solver.h"

namespace pentad {

/// Which step chose the move.
enum class MoveSource : uint8_t {
    Opening,  ///< the empty-board move
    Five,     ///< an own five
    Vcf,      ///< the first move of an own VCF
    Vct,      ///< the first move of an own VCT
    Search,   ///< the search's choice, passing the check
    Verified, ///< a later root move: the search's choice let the opponent win by force
    Fallback, ///< every checked move lets the opponent win; the search's choice stands
};
const char *moveSourceName(MoveSource source);

struct MoveReport {
    MoveSource source = MoveSource::Search;
    SolverResult line;           ///< the solver's winning line when a solver decided
    int64_t solverNodes = 0;     ///< all solver nodes of the move
    int64_t solverMs = 0;        ///< time the solvers took
    bool opponentThreat = false; ///< the opponent had a VCF before the move
    bool opponentVct = false;    ///< ... or a VCT
    int refutations = 0;         ///< root moves kept because they were shown to refute it
    int checked = 0;             ///< search choices checked after the search
};

/// Node limits of the solvers; with the clock off they alone bound them, so a search
/// with a fixed seed and no clock stays reproducible.
struct TournamentLimits {
    int64_t ownVcfNodes = 200000;
    int64_t ownVctNodes = 300000;
    int64_t threatVcfNodes = 100000;
    int64_t threatVctNodes = 50000;
    int64_t checkVcfNodes = 30000;
    int64_t checkVctNodes = 20000;
    int checkedMoves = 12;
    int vctDepth = 8;
    int checkVctDepth = 4;        ///< threat moves of the opponent VCTs the checks look for
    double vctThreatShare = 0.22; ///< share of the move's time by which step 4 must be done
    bool vcfInSearch = false;     ///< search nodes whose side to move wins by fours are won
    bool vctThreatFilter = false; ///< restrict the root to refutations of his VCT too
    /// The mode's own search on line shapes chooses in place of the engine as designed's;
    /// book positions keep the engine as designed, which plays the book's answer. Off by
    /// default: in matches it has not played stronger than the search it would replace.
    bool shapeSearch = false;
};

/// The tournament move for the side to move of a prepared position (see preparePosition).
/// The observer is told of every root search, as in searchMove.
int chooseTournamentMove(EngineState &e, MoveReport &report,
                         const TournamentLimits &limits = TournamentLimits{},
                         SearchObserver *observer = nullptr);

} // namespace pentad
