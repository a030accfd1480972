// Helpers shared by the tests.
#include "support/TestSupport.h"

#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>

#include <gtest/gtest.h>

QString TestData(const QString& relative) {
    return QStringLiteral(VELTRIX_TEST_DATA) + "/" + relative;
}

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size()) << path.toStdString();
}

TTempDir::TTempDir() {
    EXPECT_TRUE(FDir.isValid());
}

QString TTempDir::Path() const {
    return FDir.path() + "/";
}

QString WithoutRunTime(const QString& text) {
    return QString(text).replace(QRegularExpression(", in [0-9]+\\.[0-9] s"), ", in T s");
}

QString FirstDifference(const QByteArray& expected, const QByteArray& actual) {
    const qsizetype common = std::min(expected.size(), actual.size());
    for (qsizetype i = 0; i < common; ++i) {
        if (expected[i] != actual[i]) {
            const qsizetype from = std::max<qsizetype>(0, i - 20);
            return QString("first difference at byte %1:\nexpected ...%2\nactual   ...%3")
                .arg(i)
                .arg(QString::fromUtf8(expected.mid(from, 60)))
                .arg(QString::fromUtf8(actual.mid(from, 60)));
        }
    }
    if (expected.size() != actual.size())
        return QString("lengths differ: expected %1, actual %2 (equal for the first %3 bytes)")
            .arg(expected.size())
            .arg(actual.size())
            .arg(common);
    return {};
}

bool PumpUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 60000)
            return false;
        QCoreApplication::processEvents();
        ::usleep(1000);
    }
    return true;
}

void EnsureGuiApplication() {
    EnsureApplication<QGuiApplication>();
}
