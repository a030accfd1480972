// The report of bench_generate: each measurement in a child process, set beside a bare vipsthumbnail + cp.
#pragma once

// Starts the last line of a measuring child: pictures, threads, thumbnail width, height and quality, then
// wall and processor seconds of placing, of the first run, and of the run after a change of effects.
inline constexpr char kFiguresTag[] = "figures:";

// bench_generate [--repeat N] [FOLDER...]; without folders, corpus/photos and corpus/12mp under corpus.
int Report(int argc, char** argv, const char* corpus);
