// Progress of a command on the error stream.
#pragma once

#include <QString>

#include "cli/VlxCliStreams.h"

// A bar redrawn in place on a terminal, else one line per phase with its counter once the phase is over.
class TCliProgress {
public:
    explicit TCliProgress(const TCliStreams& streams) : FStreams(streams) {}

    // The next phase begins, named as the run names it.
    void NewPhase(int total, const QString& name);
    void Value(int value);
    // Ends the current phase's line; a phase that counted nothing has none.
    void EndPhase();

private:
    void Draw();

    const TCliStreams& FStreams;
    QString FPhase;
    int FTotal = 0;
    int FCount = 0;
};
