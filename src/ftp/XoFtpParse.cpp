// Directory listing line parsers and the reply text helpers of the FTP client.
#include "ftp/XoFtp.h"

// ---- Listing lines

QString TFTPDirectoryList::Field(int n) const {
    return n >= 1 && n <= FFieldCount ? FFields[n] : QString();
}

void TFTPDirectoryList::Clear() {
    AttrList.clear();
    NameList.clear();
    DateList.clear();
    SizeList.clear();
}

// Only the space character separates fields; runs of blanks count as one separator, a leading blank makes an
// empty first field and trailing blanks an empty last one. Past the last slot, the earliest fields after the
// first give way, so that the first field and the last 24 (which the entry is read from) are kept.
void TFTPDirectoryList::ParseLine(const QString& line) {
    for (QString& slot : FFields)
        slot.clear();
    int slot = 1;
    int pos = 0;
    while (pos < line.size()) {
        if (line[pos] == ' ') {
            if (slot == kFieldSlots) {
                for (int i = 2; i < kFieldSlots; ++i)
                    FFields[i] = std::move(FFields[i + 1]);
            } else {
                ++slot;
            }
            FFields[slot].clear();
            while (pos < line.size() && line[pos] == ' ')
                ++pos;
            continue;
        }
        QString& field = FFields[slot];
        // A field is cut at its length limit, never between the two halves of a surrogate pair.
        if (field.size() < kFieldLength && !(field.size() == kFieldLength - 1 && line[pos].isHighSurrogate()))
            field.append(line[pos]);
        ++pos;
    }
    FFieldCount = slot;
}

// Counting from the end keeps the size and date right whether a server prints owner and group or one of them.
void TFTPUnixList::ParseLine(const QString& line) {
    TFTPDirectoryList::ParseLine(line);
    const int n = FFieldCount;
    if (n <= 7)
        return;
    NameList.append(FFields[n]);
    SizeList.append(FFields[n - 4]);
    DateList.append(FFields[n - 3] + ' ' + FFields[n - 2] + ' ' + FFields[n - 1]);
    AttrList.append(FFields[1]);
}

// ---- Replies

namespace XoFtpReply {

QString NthField(const QString& text, QChar delimiter, int n) {
    if (n < 1)
        return {};
    qsizetype start = 0;
    for (int i = 1; i < n; ++i) {
        start = text.indexOf(delimiter, start);
        if (start < 0)
            return {};
        ++start;
    }
    const qsizetype end = text.indexOf(delimiter, start);
    return text.mid(start, end < 0 ? -1 : end - start);
}

namespace {

bool StartsWithCode(const QString& line) {
    return line.size() >= 3 && line[0].isDigit() && line[1].isDigit() && line[2].isDigit();
}

} // namespace

// A reply opened by "ddd-" runs until a line that starts with the same code and a blank (or ends after the
// code), whatever the lines between look like. Other lines continue while they start with a blank or carry a
// hyphen as their fourth character. An empty line means the connection closed.
bool Continues(const QString& first, const QString& previous) {
    if (previous.isEmpty())
        return false;
    const bool multiLine = StartsWithCode(first) && first.size() >= 4 && first[3] == '-';
    if (multiLine) {
        if (!previous.startsWith(first.left(3)))
            return true;
        const QChar after = previous.size() > 3 ? previous[3] : QChar('\n');
        return !(after == ' ' || after == '\r' || after == '\n');
    }
    return previous[0] == ' ' || (previous.size() >= 4 && previous[3] == '-');
}

int PasvPort(const QString& reply) {
    const QString line = reply.trimmed();
    const QString lowText = NthField(line, ',', 6).section(')', 0, 0).trimmed();
    const QString highText = NthField(line, ',', 5).trimmed();
    bool lowOk = false;
    bool highOk = false;
    const int low = lowText.toInt(&lowOk);
    const int high = highText.toInt(&highOk);
    if (!lowOk || !highOk || low < 0 || low > 255 || high < 0 || high > 255 || high * 256 + low == 0)
        throw FTPException("Unusable passive mode reply: " + line);
    return high * 256 + low;
}

int VendorFromSyst(const QString& reply) {
    // In this order, so that a reply naming VMS is not taken for VM.
    static const struct {
        const char* Text;
        int Vendor;
    } kSystems[] = {{"UNIX", kVendorUnix},   {"NETWARE", kVendorNetWare}, {"DOS", kVendorDos},
                    {"VMS", kVendorVms},     {"MVS", kVendorMvs},         {"VM", kVendorVm},
                    {"MACOS", kVendorMacOs}, {"OS/400", kVendorOs400}};
    const QString first = reply.section('\n', 0, 0);
    for (const auto& system : kSystems)
        if (first.contains(QLatin1String(system.Text), Qt::CaseSensitive))
            return system.Vendor;
    return kVendorOther;
}

TCmdType TransTypeOf(const QString& command) {
    const QString word = command.section(' ', 0, 0) + ' ';
    if (word == "CWD ")
        return TCmdType::ChangeDir;
    if (word == "DELE ")
        return TCmdType::Delete;
    if (word == "MKD ")
        return TCmdType::MakeDir;
    if (word == "RMD ")
        return TCmdType::RemoveDir;
    if (command == "PWD")
        return TCmdType::CurrentDir;
    return TCmdType::DoCommand;
}

void CheckCommandText(const QString& command) {
    if (command.contains('\r') || command.contains('\n') || command.contains(QChar(0)))
        throw FTPException("Command " + command.section(' ', 0, 0).left(8) +
                           " not sent: its text holds a line break or NUL character");
}

} // namespace XoFtpReply
