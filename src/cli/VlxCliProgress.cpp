// Progress on the error stream: a bar on a terminal, a line per phase otherwise.
#include "cli/VlxCliProgress.h"

#include <algorithm>

#include <QTextStream>

void TCliProgress::NewPhase(int total, const QString& name) {
    EndPhase();
    FPhase = name;
    FTotal = total;
    FCount = 0;
}

void TCliProgress::Value(int value) {
    if (value == FCount)
        return;
    FCount = value;
    if (FStreams.ErrIsTerminal)
        Draw();
}

void TCliProgress::EndPhase() {
    if (FPhase.isEmpty() || FCount == 0)
        return;
    if (!FStreams.ErrIsTerminal)
        FStreams.Err << FPhase << ' ' << FCount << '/' << FTotal;
    FStreams.Err << '\n';
    FStreams.Err.flush();
    FPhase.clear();
}

void TCliProgress::Draw() {
    const int width = 30;
    const int filled = FTotal > 0 ? std::min(FCount, FTotal) * width / FTotal : width;
    FStreams.Err << '\r' << FPhase.leftJustified(11) << '[' << QString(filled, '#')
                 << QString(width - filled, ' ') << "] " << FCount << '/' << FTotal;
    FStreams.Err.flush();
}
