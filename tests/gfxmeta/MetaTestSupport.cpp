// Helpers of the metafile tests.
#include "MetaTestSupport.h"

#include <algorithm>
#include <cmath>
#include <ostream>

#include <QtEndian>

#include "support/TestSupport.h"

namespace {

void Put16(QByteArray& bytes, quint16 value) {
    bytes.append(char(value & 0xFF)).append(char(value >> 8));
}

void Put32(QByteArray& bytes, quint32 value) {
    Put16(bytes, quint16(value & 0xFFFF));
    Put16(bytes, quint16(value >> 16));
}

} // namespace

QString MetaData(const QString& relative) {
    return TestData("gfxmeta/" + relative);
}

double TMeanColour::Distance(const TMeanColour& other) const {
    return std::max(
        {std::fabs(Red - other.Red), std::fabs(Green - other.Green), std::fabs(Blue - other.Blue)});
}

TMeanColour MeanColour(const QImage& image, const QRect& region) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    TMeanColour mean;
    const QRect area = region & rgb.rect();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb pixel = rgb.pixel(x, y);
            mean.Red += qRed(pixel);
            mean.Green += qGreen(pixel);
            mean.Blue += qBlue(pixel);
        }
    const double count = std::max<qsizetype>(1, qsizetype(area.width()) * area.height());
    mean.Red /= count;
    mean.Green /= count;
    mean.Blue /= count;
    return mean;
}

TMeanColour Rgb(int red, int green, int blue) {
    return TMeanColour{double(red), double(green), double(blue)};
}

std::ostream& operator<<(std::ostream& out, const TMeanColour& colour) {
    return out << "rgb(" << colour.Red << ", " << colour.Green << ", " << colour.Blue << ")";
}

TWmfBuilder& TWmfBuilder::Record(quint16 function, const QList<qint16>& words, const QByteArray& tail) {
    QByteArray padded = tail;
    if (padded.size() % 2)
        padded.append('\0');
    QByteArray record;
    Put32(record, quint32(3 + words.size() + padded.size() / 2));
    Put16(record, function);
    for (qint16 w : words)
        Put16(record, quint16(w));
    return Raw(record + padded);
}

TWmfBuilder& TWmfBuilder::Raw(const QByteArray& record) {
    FRecords += record;
    ++FCount;
    return *this;
}

QByteArray TWmfBuilder::Bytes(int width, int height) const {
    QByteArray bytes;
    Put32(bytes, 0x9AC6CDD7);
    Put16(bytes, 0);
    for (int v : {0, 0, width, height})
        Put16(bytes, quint16(v));
    Put16(bytes, 96);
    Put32(bytes, 0);
    quint16 checksum = 0;
    for (int i = 0; i < 20; i += 2)
        checksum ^= qFromLittleEndian<quint16>(bytes.constData() + i);
    Put16(bytes, checksum);
    const QByteArray eof = QByteArray::fromHex("030000000000");
    Put16(bytes, 1);
    Put16(bytes, 9);
    Put16(bytes, 0x0300);
    Put32(bytes, quint32((18 + FRecords.size() + eof.size()) / 2));
    Put16(bytes, 16);
    Put32(bytes, 3);
    Put16(bytes, 0);
    return bytes + FRecords + eof;
}

TEmfBuilder& TEmfBuilder::Record(quint32 type, const QList<qint32>& values) {
    Put32(FRecords, type);
    Put32(FRecords, quint32(8 + 4 * values.size()));
    for (qint32 v : values)
        Put32(FRecords, quint32(v));
    ++FCount;
    return *this;
}

QByteArray TEmfBuilder::Bytes(int width, int height) const {
    QByteArray header;
    Put32(header, 1);
    Put32(header, 88);
    for (int v : {0, 0, width - 1, height - 1})
        Put32(header, quint32(v));
    for (int v : {0, 0, width * 2540 / 96, height * 2540 / 96})
        Put32(header, quint32(v));
    Put32(header, 0x464D4520);
    Put32(header, 0x10000);
    const QByteArray eof = QByteArray::fromHex("0e00000014000000000000001000000014000000");
    Put32(header, quint32(88 + FRecords.size() + 20));
    Put32(header, quint32(FCount + 2));
    Put16(header, 16);
    Put16(header, 0);
    for (int v : {0, 0, 0, 1920, 1440, 508, 381}) // a reference device of exactly 96 dpi
        Put32(header, quint32(v));
    return header + FRecords + eof;
}
