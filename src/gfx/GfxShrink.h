// Shrinking a picture by area averaging, for pictures published smaller than they are.
#pragma once

#include <QImage>

// The picture shrunk to w x h by area averaging: each destination pixel is the mean of the part of the source
// it covers, border pixels counted by the fraction of them it covers, so every source pixel weighs the same
// and nothing is dropped (unlike a nearest-pixel stretch, no moiré or lost lines). source is Format_BGR888;
// w and h are at least 1 and at most its size. The result is Format_BGR888, exact in integers, the same on
// every thread and machine.
QImage AreaShrunk(const QImage& source, int w, int h);
