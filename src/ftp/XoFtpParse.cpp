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

namespace {

struct TWord {
    qsizetype Start;
    qsizetype End; // one past the last character
};

QList<TWord> WordsOf(const QString& line) {
    QList<TWord> words;
    qsizetype pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && line[pos] == ' ')
            ++pos;
        const qsizetype start = pos;
        while (pos < line.size() && line[pos] != ' ')
            ++pos;
        if (pos > start)
            words.append({start, pos});
    }
    return words;
}

bool AllDigits(QStringView text, qsizetype minLength, qsizetype maxLength) {
    if (text.size() < minLength || text.size() > maxLength)
        return false;
    for (const QChar c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// A time of day (9:05, 23:32) or a year (2019).
bool IsTimeOrYear(QStringView text) {
    const qsizetype colon = text.indexOf(':');
    if (colon < 0)
        return AllDigits(text, 4, 4);
    return AllDigits(text.left(colon), 1, 2) && AllDigits(text.mid(colon + 1), 2, 2);
}

// The word index of the month of "size month day time-or-year name": the first such run after the links
// and owner columns, with a name after it; -1 when the line has none.
qsizetype DateWord(const QString& line, const QList<TWord>& words) {
    const auto word = [&](qsizetype i) {
        return QStringView(line).mid(words[i].Start, words[i].End - words[i].Start);
    };
    for (qsizetype i = 3; i + 3 < words.size(); ++i) {
        const QStringView month = word(i);
        if (AllDigits(word(i - 1), 1, 20) && !month.isEmpty() && month[0].isLetter() &&
            AllDigits(word(i + 1), 1, 2) && IsTimeOrYear(word(i + 2)))
            return i;
    }
    return -1;
}

} // namespace

// The name is everything after the date, blanks included, and a symbolic link's " -> target" is cut off.
// A line without a recognisable date is read from the end, which keeps the size and date right whether a
// server prints owner and group or one of them.
void TFTPUnixList::ParseLine(const QString& line) {
    TFTPDirectoryList::ParseLine(line);
    const int n = FFieldCount;
    if (n <= 7)
        return;
    const QList<TWord> words = WordsOf(line);
    const qsizetype date = DateWord(line, words);
    if (date < 0) {
        NameList.append(FFields[n]);
        SizeList.append(FFields[n - 4]);
        DateList.append(FFields[n - 3] + ' ' + FFields[n - 2] + ' ' + FFields[n - 1]);
        AttrList.append(FFields[1]);
        return;
    }
    const auto text = [&](qsizetype i) { return line.mid(words[i].Start, words[i].End - words[i].Start); };
    QString name = line.mid(words[date + 3].Start);
    const qsizetype arrow = name.indexOf(" -> ");
    if (arrow > 0 && FFields[1].startsWith('l', Qt::CaseInsensitive))
        name.truncate(arrow);
    NameList.append(name);
    SizeList.append(text(date - 1));
    DateList.append(text(date) + ' ' + text(date + 1) + ' ' + text(date + 2));
    AttrList.append(FFields[1]);
}

// ---- Replies

namespace XoFtpReply {

QString WithoutLineEnd(QString line) {
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

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

int EpsvPort(const QString& reply) {
    const QString line = reply.trimmed();
    const qsizetype end = line.lastIndexOf('|');
    const qsizetype start = end > 0 ? line.lastIndexOf('|', end - 1) : -1;
    bool valid = false;
    const int port = start < 0 ? 0 : line.mid(start + 1, end - start - 1).toInt(&valid);
    if (!valid || port <= 0 || port > 65535)
        throw FTPException("Unusable passive mode reply: " + line);
    return port;
}

QString QuotedPath(const QString& reply) {
    const qsizetype open = reply.indexOf('"');
    if (open < 0)
        return {};
    QString path;
    for (qsizetype i = open + 1; i < reply.size(); ++i) {
        if (reply[i] == '"') {
            if (i + 1 >= reply.size() || reply[i + 1] != '"')
                break;
            ++i;
        }
        path += reply[i];
    }
    return path;
}

bool EndsTransfer(int code) {
    switch (code) {
    case 225:
    case 226:
    case 425:
    case 426:
    case 450:
    case 451:
    case 452:
    case 551:
    case 552:
        return true;
    default:
        return false;
    }
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
