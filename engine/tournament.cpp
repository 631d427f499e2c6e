#include "engine/tournament.h"

#include <algorithm>
#include <array>
#include <initializer_list>

#include "book/opening.h"
#include "platform/platform.h"
#include "search/search.h"
#include "search/shape_search.h"
#include "threats/threat_classes.h"

namespace pentad {
namespace {

// Shares of the move's time budget by which each step must be done; the search gets what
// is left before the check's share.
constexpr double OwnVcfShare = 0.03;
constexpr double ThreatShare = 0.06;
constexpr double OwnVctShare = 0.15;
constexpr double SearchShare = 0.90;
constexpr double CheckShare = 0.97;
/// The shape search starts no deeper iteration once this share of its time is gone, since
/// the next one takes several times as long as all before it.
constexpr double SoftSearchShare = 0.6;
constexpr int UnclockedShapeDepth = 6; ///< depth of the shape search without clock or limit

class MoveClock {
public:
    explicit MoveClock(const EngineState &e)
        : origin_(e.ClockOrigin), budget_(e.Deadline), on_(e.ClockEnabled) {}
    /// The process clock by which a step with this share must end; -1 without a clock.
    int64_t until(double share) const {
        return on_ ? origin_ + int64_t(double(std::max(budget_, 0)) * share) : -1;
    }
    bool passed(double share) const {
        return stopRequested() || (on_ && processClockMs() >= until(share));
    }

private:
    int64_t origin_;
    int32_t budget_;
    bool on_;
};

SolverLimits limitsOf(int64_t nodes, int depth, int64_t deadline) {
    SolverLimits l;
    l.maxNodes = nodes;
    l.maxDepth = depth;
    l.deadline = deadline;
    return l;
}

/// Keeps in e.RootMoveFilter the answers not shown to lose: those after which the opponent
/// has no forcing win, and those no check could settle. They are checked in rounds of
/// growing node limits, so that the plain refutations are found before the time share runs
/// out on the hard cases; a check cut short by its limit leaves the answer open for the
/// next round. Returns the number shown to refute.
template <typename Solve>
int keepRefutations(EngineState &e, ThreatBoard &board, Side us, const CellSet &answers,
                    std::initializer_list<int64_t> rounds, const MoveClock &clock, double share,
                    Solve &&solve) {
    std::array<int16_t, CellCount> open{};
    int openCount = 0, refuted = 0;
    answers.forEach([&](int cell) {
        if (e.Board[size_t(cell)] == Empty) open[size_t(openCount++)] = int16_t(cell);
    });
    for (int64_t nodes : rounds) {
        int still = 0;
        for (int i = 0; i < openCount; ++i) {
            const int cell = open[size_t(i)];
            if (clock.passed(share)) {
                open[size_t(still++)] = int16_t(cell);
                continue;
            }
            board.play(cell, us);
            const SolverResult after = solve(nodes);
            board.undo(cell, us);
            if (!after.complete) {
                open[size_t(still++)] = int16_t(cell);
            } else if (!after.win) {
                append(e.RootMoveFilter, cell);
                ++refuted;
            }
        }
        openCount = still;
        if (openCount == 0 || clock.passed(share)) break;
    }
    // An answer no check could settle is not known to lose: the search may still pick it.
    for (int i = 0; i < openCount; ++i)
        append(e.RootMoveFilter, open[size_t(i)]);
    return refuted;
}

/// The shape search's limits: the search's share of the move, or with the clock off a fixed
/// depth, two plies for each root search the caller allows.
ShapeSearchLimits shapeLimitsOf(const EngineState &e, const MoveClock &clock,
                                const SearchObserver *observer) {
    ShapeSearchLimits l;
    int iterations = observer && observer->maxIterations > 0 ? observer->maxIterations : 0;
    if (e.MaxIterations > 0)
        iterations = iterations > 0 ? std::min(iterations, e.MaxIterations) : e.MaxIterations;
    if (iterations > 0)
        l.maxDepth = std::min(MaxShapeDepth, ShapePliesPerIteration * iterations);
    else if (!e.ClockEnabled)
        l.maxDepth = UnclockedShapeDepth;
    l.maxNodes = e.NodeLimit;
    if (e.ClockEnabled) {
        const int64_t now = processClockMs();
        l.deadline = clock.until(SearchShare);
        l.softDeadline =
            now + int64_t(double(std::max<int64_t>(l.deadline - now, 0)) * SoftSearchShare);
    }
    return l;
}

} // namespace

const char *moveSourceName(MoveSource source) {
    switch (source) {
    case MoveSource::Opening:
        return "opening";
    case MoveSource::Five:
        return "five";
    case MoveSource::Vcf:
        return "vcf";
    case MoveSource::Vct:
        return "vct";
    case MoveSource::Search:
        return "search";
    case MoveSource::Verified:
        return "verified";
    case MoveSource::Fallback:
        return "fallback";
    }
    return "search";
}

int chooseTournamentMove(EngineState &e, MoveReport &report, const TournamentLimits &limits,
                         SearchObserver *observer) {
    report = MoveReport{};
    e.SolverNodes = 0;
    const Side us = e.MoveNumber % 2 == 1 ? X : O, them = opponent(us);
    if (e.MoveHistory.count == 0) {
        report.source = MoveSource::Opening;
        return prepareOpening(e);
    }
    computeDeadline(e);
    const MoveClock clock(e);
    const int64_t solveStart = processClockMs();
    ThreatSolver &solver = threatSolver();
    ThreatBoard &board = solver.board();
    board.attach(e);
    auto account = [&](const SolverResult &r) { report.solverNodes += r.nodes; };
    auto usable = [&](const SolverResult &r) {
        return r.win && r.lineLength > 0 && r.line[0] >= 0 && r.line[0] < CellCount &&
               e.Board[size_t(r.line[0])] == Empty;
    };
    auto decided = [&](MoveSource source, const SolverResult &r) {
        report.source = source;
        report.line = r;
        report.solverMs = processClockMs() - solveStart;
        return int(r.line[0]);
    };
    // 1. An own five, then an own VCF.
    if (!board.fives(us).empty()) {
        SolverResult five;
        five.win = true;
        five.lineLength = 1;
        five.line[0] = int16_t(board.fives(us).first());
        return decided(MoveSource::Five, five);
    }
    SolverResult own =
        solver.vcfOnBoard(us, limitsOf(limits.ownVcfNodes, 40, clock.until(OwnVcfShare)));
    account(own);
    if (usable(own)) return decided(MoveSource::Vcf, own);
    // 2. The opponent's VCF, were he to move: keep only the answers after which he has none
    // (the cells of his line, its final five points, our own fours).
    SolverResult threat =
        solver.vcfOnBoard(them, limitsOf(limits.threatVcfNodes, 40, clock.until(ThreatShare)));
    account(threat);
    e.RootMoveFilter.count = 0;
    if (threat.win) {
        report.opponentThreat = true;
        CellSet answers = solver.finalFives();
        for (int i = 0; i < threat.lineLength; ++i)
            answers.set(threat.line[size_t(i)]);
        answers |= board.fours(us);
        answers.forEach([&](int cell) {
            if (e.Board[size_t(cell)] != Empty || clock.passed(ThreatShare)) return;
            board.play(cell, us);
            SolverResult after = solver.vcfOnBoard(
                them, limitsOf(limits.checkVcfNodes, 40, clock.until(ThreatShare)));
            board.undo(cell, us);
            account(after);
            if (!after.win && after.complete) append(e.RootMoveFilter, cell);
        });
        report.refutations = e.RootMoveFilter.count;
    } else {
        // 3. An own VCT, when the opponent has no forcing win of his own.
        SolverLimits l = limitsOf(limits.ownVctNodes, limits.vctDepth, clock.until(OwnVctShare));
        SolverResult vct = solver.vctOnBoard(us, l);
        account(vct);
        if (usable(vct)) return decided(MoveSource::Vct, vct);
        // 4. The opponent's VCT, were he to move: keep the answers after which he has none.
        SolverResult vctThreat;
        if (limits.vctThreatFilter) {
            SolverLimits threatLimits = limitsOf(limits.threatVctNodes, limits.vctDepth,
                                                 clock.until(limits.vctThreatShare));
            threatLimits.collectZone = true;
            vctThreat = solver.vctOnBoard(them, threatLimits);
            account(vctThreat);
        }
        if (vctThreat.win && vctThreat.lineLength > 0) {
            report.opponentVct = true;
            // An answer must leave him no win as deep as the one found, and one move more.
            const int refuteDepth =
                std::max(limits.checkVctDepth, std::min(vctThreat.depth + 1, limits.vctDepth));
            // Only a stone on his proof, or a forcing move of ours, can refute it.
            CellSet answers = solver.zone();
            answers |= board.fours(us);
            answers |= board.threes(us);
            report.refutations = keepRefutations(
                e, board, us, answers,
                {limits.checkVctNodes / 20, limits.checkVctNodes / 4, limits.checkVctNodes}, clock,
                limits.vctThreatShare, [&](int64_t nodes) {
                    SolverResult r = solver.vctOnBoard(
                        them, limitsOf(nodes, refuteDepth, clock.until(limits.vctThreatShare)));
                    account(r);
                    return r;
                });
        }
    }
    report.solverMs = processClockMs() - solveStart;
    // 4. The search, restricted to the refutations when there are any.
    const int32_t savedOverride = e.DeadlineOverride;
    if (e.ClockEnabled) e.DeadlineOverride = int32_t(double(std::max(e.Deadline, 0)) * SearchShare);
    MoveList<CellCount> order;
    int best = prepareOpening(e);
    if (best < 0 && limits.shapeSearch && !e.BookMoveFlag) {
        const ShapeSearchResult r = shapeSearch(e, shapeLimitsOf(e, clock, observer), observer);
        best = r.move;
        order = r.order;
    } else if (best < 0) {
        // The search keeps the threat view attached and moves it along with its stones.
        if (limits.vcfInSearch) board.attach(e);
        e.SolverInSearch = limits.vcfInSearch;
        searchMove(e, observer);
        e.SolverInSearch = false;
        report.solverNodes += e.SolverNodes;
        best = e.IterationLine[1];
        order.count = int16_t(std::min<int>(e.RootFullCount, CellCount));
        for (int i = 1; i <= order.count; ++i)
            order.cells[size_t(i)] = e.RootMoves.cells[size_t(i)];
    }
    e.DeadlineOverride = savedOverride;
    e.RootMoveFilter.count = 0;
    if (best < 0 || best >= CellCount || e.Board[size_t(best)] != Empty)
        best = int(std::find(e.Board.begin(), e.Board.end(), int32_t(Empty)) - e.Board.begin());
    // 5. The check: the first move of the root's order after which the opponent has no VCF
    // and no short VCT.
    const int64_t checkStart = processClockMs();
    board.attach(e);
    auto safe = [&](int cell) {
        board.play(cell, us);
        SolverResult vcf =
            solver.vcfOnBoard(them, limitsOf(limits.checkVcfNodes, 40, clock.until(CheckShare)));
        account(vcf);
        bool ok = !vcf.win;
        if (ok) {
            SolverResult vct =
                solver.vctOnBoard(them, limitsOf(limits.checkVctNodes, limits.checkVctDepth,
                                                 clock.until(CheckShare)));
            account(vct);
            ok = !vct.win;
        }
        board.undo(cell, us);
        return ok;
    };
    int chosen = -1;
    report.source = MoveSource::Fallback;
    for (int i = 0; i <= order.count && report.checked < limits.checkedMoves; ++i) {
        const int cell = i == 0 ? best : order.cells[size_t(i)];
        if (i > 0 && cell == best) continue;
        if (cell < 0 || cell >= CellCount || e.Board[size_t(cell)] != Empty) continue;
        if (clock.passed(CheckShare)) break;
        ++report.checked;
        if (safe(cell)) {
            chosen = cell;
            report.source = i == 0 ? MoveSource::Search : MoveSource::Verified;
            break;
        }
    }
    report.solverMs += processClockMs() - checkStart;
    return chosen >= 0 ? chosen : best;
}

} // namespace pentad
