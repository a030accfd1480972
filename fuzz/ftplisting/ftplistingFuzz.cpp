// Fuzz target: every line of the input through the Unix listing parser; the four lists must stay aligned.
#include <cstdint>
#include <cstdlib>

#include <QByteArray>

#include "ftp/XoFtp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    TFTPUnixList parser;
    for (const QByteArray& line : bytes.split('\n')) {
        parser.ParseLine(QString::fromUtf8(line));
        if (parser.FieldCount() < 1 || parser.FieldCount() > TFTPDirectoryList::kFieldSlots)
            std::abort();
        for (int i = 1; i <= parser.FieldCount(); ++i)
            if (parser.Field(i).size() > TFTPDirectoryList::kFieldLength)
                std::abort();
    }
    const qsizetype n = parser.NameList.size();
    if (parser.AttrList.size() != n || parser.DateList.size() != n || parser.SizeList.size() != n)
        std::abort();
    parser.Clear();
    return 0;
}
