// Fuzz target: reply handling on arbitrary server text: reply codes, multi-line reply ends, PASV ports.
#include <cstdint>
#include <cstdlib>

#include <QByteArray>
#include <QStringList>

#include "ftp/XoFtp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QStringList lines = text.split('\n');
    // A multi-line reply never reads past the lines there are.
    int used = 0;
    QString current = lines[0] + '\n';
    while (XoFtpReply::Continues(lines[0] + '\n', current)) {
        ++used;
        current = used < lines.size() ? lines[used] + '\n' : QString();
    }
    for (const QString& line : lines) {
        const int code = TWirelet::ReplyCodeOf(line);
        if (code < 0 || code > 32767)
            std::abort();
        try {
            const int port = XoFtpReply::PasvPort(line);
            if (port < 1 || port > 65535)
                std::abort();
        } catch (const FTPException&) {
            // Unusable PASV replies are refused; that is the expected outcome for most input.
        }
        (void)XoFtpReply::VendorFromSyst(line);
        (void)XoFtpReply::TransTypeOf(line);
        (void)XoFtpReply::NthField(line, ',', code % 8);
    }
    return 0;
}
