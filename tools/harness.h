// The tuning harness: replaying recorded games through the search, and self-play between
// the stored weight sets. Never on the move path.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "board/engine_state.h"

namespace pentad {

constexpr int MaxRecordedMoves = 63;

/// Makes stored weight set k (0..2) the working weights, as activateParameters does.
void applyWeightSet(EngineState &e, int k);
/// The harness's search settings: budget base 3, default move limit 32, no leaf noise.
void useTuningSettings(EngineState &e);
/// Places a stone of the side to move and records it in the history.
void playMove(EngineState &e, int cell);
/// Whether a stone of the side to move on the cell completes five.
bool makesFive(EngineState &e, int cell);
/// True when every line pattern lies in 0..6560; otherwise clears the first bad cell's
/// horizontal pattern and returns false.
bool checkLinePatterns(EngineState &e);
/// Empty board, settings and counters for a new harness game.
void startHarnessGame(EngineState &e);

struct GameRecord {
    std::vector<int> moves;         ///< cells in play order
    std::vector<std::string> notes; ///< what was done with unusual input
};

/// Reads a glk.rec record: two header words, then "x,y" moves counted from 1. Reading
/// stops at the end, at the first item that is not a move on a free cell, or after 63
/// moves. False when the file cannot be read.
bool readGameRecord(const std::filesystem::path &file, GameRecord &record);

/// Replays the record with weight set k through the search, printing "%d.  = %f" after
/// each position to `out`; returns the final total of the root-value statistic.
double replayGameRecord(EngineState &e, const GameRecord &record, int k, FILE *out);

struct SelfPlayGame {
    int opening = 0;
    std::vector<int> moves;
    int result = 1; ///< 2 X made five, 0 O made five, 1 the board filled (a draw)
};

/// One game between stored sets setX (for X) and setO (for O), from one of ten fixed
/// three-stone openings chosen with the runtime's rand.
SelfPlayGame playSelfGame(EngineState &e, int setX, int setO);

} // namespace pentad
