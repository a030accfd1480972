// Helpers shared by the tests: test data paths, temporary folders, file bytes, a GUI application.
#pragma once

#include <functional>

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QTemporaryDir>

// Path of a committed test file: tests/data/<relative>.
QString TestData(const QString& relative);

// Whole content of a file; empty when it cannot be read.
QByteArray ReadBytes(const QString& path);

// Writes bytes to a file, creating or replacing it; fails the test when it cannot.
void WriteBytes(const QString& path, const QByteArray& bytes);

// A fresh folder removed with everything in it at the end of the test. Path() ends in '/'.
class TTempDir {
public:
    TTempDir();
    QString Path() const;
    QString File(const QString& name) const { return Path() + name; }

private:
    QTemporaryDir FDir;
};

// Message of the first byte where two texts differ ("" when equal), to print with a failed comparison.
QString FirstDifference(const QByteArray& expected, const QByteArray& actual);

// An upload's end text with the time it took left out: "…, in 2.4 s" reads "…, in T s".
QString WithoutRunTime(const QString& text);

// Makes sure an application object exists, made as a TApp on the offscreen platform when there is none yet;
// it lives for the whole test program. Idempotent.
template <typename TApp> void EnsureApplication() {
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "veltrix-test";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new TApp(argc, argv);
}

// Processes events until the predicate holds; false after a minute, a bound that only a hang reaches.
bool PumpUntil(const std::function<bool()>& done);

// Makes sure a QGuiApplication exists (fonts and painting need one); idempotent.
void EnsureGuiApplication();
