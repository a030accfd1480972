// A command's progress on the error stream: a bar redrawn in place on a terminal, else one line per phase with
// its counter once the phase is over.
#pragma once

#include <QString>

struct TCliStreams;

class TCliProgress {
public:
    explicit TCliProgress(const TCliStreams& streams) : FStreams(streams) {}

    // The next phase begins; unnamed phases take the generation run's names in order.
    void NewPhase(int total, const QString& name = {});
    void Value(int value);
    // Ends the current phase's line; a phase that counted nothing has none.
    void EndPhase();

private:
    void Draw();

    const TCliStreams& FStreams;
    int FPhaseIndex = 0;
    QString FPhase;
    int FTotal = 0;
    int FCount = 0;
};
