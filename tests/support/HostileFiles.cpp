// Full disks, pipes, device links and PNG chunks made for the tests.
#include "support/HostileFiles.h"

#include <sys/mount.h>
#include <sys/stat.h>

#include <QFile>

#include <gtest/gtest.h>

TTinyDisk::TTinyDisk() {
    FMounted = ::mount("tmpfs", QFile::encodeName(FDir.Path()).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                       "size=64k,mode=0700") == 0;
}

TTinyDisk::~TTinyDisk() {
    if (FMounted)
        ::umount2(QFile::encodeName(FDir.Path()).constData(), MNT_DETACH);
}

void TTinyDisk::Fill() {
    QFile filler(File(".filler"));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    const QByteArray block(4096, '\0');
    for (int i = 0; i < 1000 && filler.write(block) == block.size(); ++i) {
    }
    ASSERT_LT(filler.size(), 1000 * block.size()) << "the disk never filled";
}

void MakeFifo(const QString& path) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0) << path.toStdString();
}

void MakeZeroLink(const QString& path) {
    ASSERT_TRUE(QFile::link("/dev/zero", path)) << path.toStdString();
}

namespace {

quint32 Crc32(const QByteArray& bytes) {
    quint32 crc = 0xFFFFFFFF;
    for (const char byte : bytes) {
        crc ^= uchar(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

QByteArray Be32(quint32 value) {
    const char bytes[] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    return QByteArray(bytes, 4);
}

} // namespace

QByteArray PngWithChunk(const QByteArray& png, const QByteArray& type, const QByteArray& data, bool atEnd) {
    const QByteArray chunk = Be32(quint32(data.size())) + type + data + Be32(Crc32(type + data));
    // The header chunk is the first: 8 bytes of signature, then its 13 bytes framed by 12.
    const qsizetype at = atEnd ? png.lastIndexOf("IEND") - 4 : 8 + 12 + 13;
    EXPECT_GT(at, 8) << "not a PNG";
    return png.left(at) + chunk + png.mid(at);
}

QByteArray ZlibStream(const QByteArray& bytes) {
    return qCompress(bytes).mid(4); // Qt's own length comes first
}
