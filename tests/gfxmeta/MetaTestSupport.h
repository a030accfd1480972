// Helpers of the metafile tests: test data paths, region colours, and metafiles built record by record.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRect>
#include <QString>

// tests/data/gfxmeta/<relative>.
QString MetaData(const QString& relative);

struct TMeanColour {
    double Red = 0, Green = 0, Blue = 0;
    double Distance(const TMeanColour& other) const; // the largest difference of one channel
};
TMeanColour MeanColour(const QImage& image, const QRect& region);
TMeanColour Rgb(int red, int green, int blue);
std::ostream& operator<<(std::ostream& out, const TMeanColour& colour);

// A placeable WMF of width x height pixels at 96 units per inch, with the given records and META_EOF.
class TWmfBuilder {
public:
    // The words, then tail (padded to whole words).
    TWmfBuilder& Record(quint16 function, const QList<qint16>& words, const QByteArray& tail = {});
    TWmfBuilder& Raw(const QByteArray& record);
    QByteArray Bytes(int width, int height) const;

private:
    QByteArray FRecords;
    int FCount = 0;
};

// An EMF of width x height pixels (frame at 96 dpi, reference device at 96 dpi) with the given records.
class TEmfBuilder {
public:
    TEmfBuilder& Record(quint32 type, const QList<qint32>& values);
    QByteArray Bytes(int width, int height) const;

private:
    QByteArray FRecords;
    int FCount = 0;
};
