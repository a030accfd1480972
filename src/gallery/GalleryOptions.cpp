// The options file's keys, their sections and defaults, declared once in one table.
#include "gallery/GalleryOptions.h"

#include <variant>

#include "settings/VlxIniFile.h"

namespace {

// Ports are kept as text, as earlier versions wrote them; a text that is no port gives the default port.
struct TPortField {
    int* Port;
};
using TFieldRef = std::variant<bool*, int*, QString*, TPortField, TFtpEncryption*, TUploadProtocol*>;

struct TOptionRow {
    const char* Section;
    const char* Key;
    TFieldRef (*Field)(TOptions&);
    const char* Default; // none: a missing key leaves the field as it was (a port: the range's default)
    const TSettingRange* Range; // numbers: brought into it
};

// In the order they are written.
const TOptionRow kRows[] = {
    {"Common", "LoadOnStartup", [](TOptions& o) -> TFieldRef { return &o.Common.LoadOnStartup; }, nullptr,
     nullptr},
    {"Common", "OverFileConf", [](TOptions& o) -> TFieldRef { return &o.Common.OverFileConf; }, nullptr,
     nullptr},
    {"Common", "ClearTmpDir", [](TOptions& o) -> TFieldRef { return &o.Common.ClearTmpDir; }, nullptr,
     nullptr},
    {"Common", "Profile", [](TOptions& o) -> TFieldRef { return &o.Common.Profile; }, "default", nullptr},
    {"TableGrid", "Width", [](TOptions& o) -> TFieldRef { return &o.TableGrid.Width; }, nullptr,
     &kGridCellWidthRange},
    {"TableGrid", "Height", [](TOptions& o) -> TFieldRef { return &o.TableGrid.Height; }, nullptr,
     &kGridCellHeightRange},
    {"TableGrid", "AutoUpdate", [](TOptions& o) -> TFieldRef { return &o.TableGrid.AutoUpdate; }, nullptr,
     nullptr},
    {"Ftp", "Host", [](TOptions& o) -> TFieldRef { return &o.Ftp.Host; }, "", nullptr},
    {"Ftp", "Port", [](TOptions& o) -> TFieldRef { return TPortField{&o.Ftp.Port}; }, nullptr,
     &kFtpPortRange},
    {"Ftp", "UserID", [](TOptions& o) -> TFieldRef { return &o.Ftp.UserID; }, "", nullptr},
    {"Ftp", "RemoteDir", [](TOptions& o) -> TFieldRef { return &o.Ftp.RemoteDir; }, "", nullptr},
    // Files written before the setting existed read as passive, the panel's default.
    {"Ftp", "Passive", [](TOptions& o) -> TFieldRef { return &o.Ftp.Passive; }, "1", nullptr},
    {"Ftp", "ChangedOnly", [](TOptions& o) -> TFieldRef { return &o.Ftp.ChangedOnly; }, "1", nullptr},
    {"Ftp", "RemoveStale", [](TOptions& o) -> TFieldRef { return &o.Ftp.RemoveStale; }, "0", nullptr},
    // Files written before encryption existed were written for plain FTP: they keep it.
    {"Ftp", "Encryption", [](TOptions& o) -> TFieldRef { return &o.Ftp.Encryption; }, "none", nullptr},
    // Files written before SFTP existed were written for FTP.
    {"Ftp", "Protocol", [](TOptions& o) -> TFieldRef { return &o.Ftp.Protocol; }, "ftp", nullptr},
    {"Ftp", "KeyFile", [](TOptions& o) -> TFieldRef { return &o.Ftp.KeyFile; }, "", nullptr},
    // Files written before parallel uploads existed get the default.
    {"Ftp", "Connections", [](TOptions& o) -> TFieldRef { return &o.Ftp.Connections; }, "3",
     &kUploadConnectionsRange},
    // Files written before the keyring was used kept no password anywhere.
    {"Ftp", "RememberPassword", [](TOptions& o) -> TFieldRef { return &o.Ftp.RememberPassword; }, "0",
     nullptr},
};

template <class... T> struct TOverload : T... { using T::operator()...; };

void ReadRow(const TIniFile& ini, const TOptionRow& row, TOptions& options) {
    const QString def = row.Default ? QString::fromLatin1(row.Default) : QString();
    std::visit(
        TOverload{
            [&](bool* v) { *v = ini.ReadBool(row.Section, row.Key, row.Default ? def.toInt() != 0 : *v); },
            [&](int* v) {
                *v = row.Range->Clamp(ini.ReadInteger(row.Section, row.Key, row.Default ? def.toInt() : *v));
            },
            [&](QString* v) { *v = ini.ReadString(row.Section, row.Key, row.Default ? def : *v); },
            [&](TPortField v) {
                QString note;
                const QString stored =
                    ini.ReadString(row.Section, row.Key, QString::number(row.Range->Default));
                *v.Port = PortFromText(stored, note);
                if (!note.isEmpty())
                    options.Notes << note;
            },
            [&](TFtpEncryption* v) { *v = EncryptionFromText(ini.ReadString(row.Section, row.Key, def)); },
            [&](TUploadProtocol* v) { *v = ProtocolFromText(ini.ReadString(row.Section, row.Key, def)); },
        },
        row.Field(options));
}

void WriteRow(TIniFile& ini, const TOptionRow& row, TOptions& options) {
    std::visit(TOverload{
                   [&](bool* v) { ini.WriteBool(row.Section, row.Key, *v); },
                   [&](int* v) { ini.WriteInteger(row.Section, row.Key, *v); },
                   [&](QString* v) {
                       // Without a profile name the one stored stays (the profiles file was never read).
                       if (!v->isEmpty() || v != &options.Common.Profile)
                           ini.WriteString(row.Section, row.Key, *v);
                   },
                   [&](TPortField v) { ini.WriteString(row.Section, row.Key, QString::number(*v.Port)); },
                   [&](TFtpEncryption* v) { ini.WriteString(row.Section, row.Key, EncryptionText(*v)); },
                   [&](TUploadProtocol* v) { ini.WriteString(row.Section, row.Key, ProtocolText(*v)); },
               },
               row.Field(options));
}

} // namespace

TOptions ReadOptions(const QString& fileName, const TOptions& current) {
    const TIniFile ini(fileName);
    TOptions options = current;
    options.Notes.clear();
    for (const TOptionRow& row : kRows)
        ReadRow(ini, row, options);
    return options;
}

void WriteOptions(const QString& fileName, const TOptions& options) {
    TIniFile ini(fileName);
    TOptions written = options;
    for (const TOptionRow& row : kRows)
        WriteRow(ini, row, written);
}
