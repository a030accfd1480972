// The report of bench_generate: each measurement in a child process, set beside a bare vipsthumbnail + cp.
#pragma once

#include <string>

// Starts the last line of a measuring child: pictures, threads, thumbnail width, height and quality, then
// wall and processor seconds of placing, of the first run, and of the run after a change of effects.
inline constexpr char kFiguresTag[] = "figures:";

// The profile `veltrix generate` runs with, written by bench_generate: the default look, web size off.
inline constexpr char kBenchProfile[] = "bench";

// bench_generate [--repeat N] [FOLDER...]; without folders, corpus/photos and corpus/12mp under corpus.
int Report(int argc, char** argv, const char* corpus);

// `veltrix generate` of the folder's pictures run three times into one folder: into a fresh folder, again
// unchanged, and again after one picture changed; prints the best wall and processor time of each over
// `repeat` rounds, and a fresh first run pinned to one CPU and the bare tools making thumbnails of
// thumbW x thumbH at that quality. False when a run failed.
bool CommandLineRuns(const std::string& folder, int repeat, int thumbW, int thumbH, int quality);
