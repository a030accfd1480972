// The FTP settings of an upload as one value: the server, the account, the remote folder and how to talk.
#pragma once

#include <QString>

#include "common/SettingRange.h"
#include "ftp/XoFtp.h"

inline constexpr TSettingRange kFtpPortRange{1, 65535, 21};
inline constexpr int kSftpPort = 22;
inline constexpr int kImplicitFtpsPort = 990;
// Connections an upload stores files over at once.
inline constexpr TSettingRange kUploadConnectionsRange{1, 8, 3};

// How the files travel: FTP (in clear or with TLS) or SFTP (over SSH).
enum class TUploadProtocol { Ftp, Sftp };

// The password is never one of them: it is given for each run, or kept in the desktop's keyring.
struct TFtpSettings {
    QString Host;
    int Port = kFtpPortRange.Default;
    QString UserID;
    QString RemoteDir; // as typed, blanks included
    bool Passive = true;
    TFtpEncryption Encryption = TFtpEncryption::None;
    bool ChangedOnly = true; // leave out files the server holds as last uploaded
    // Once index.html is stored, delete the files an earlier upload stored in this folder that the gallery
    // no longer has (known from the upload record; no other file of the folder is touched).
    bool RemoveStale = false;
    TUploadProtocol Protocol = TUploadProtocol::Ftp;
    QString KeyFile; // SFTP: a private key to log in with; empty: the agent or the password
    // Files stored at once, each over a connection of its own.
    int Connections = kUploadConnectionsRange.Default;
    // The password kept in the desktop's keyring for this server and user (never in the options file).
    bool RememberPassword = false;

    bool operator==(const TFtpSettings&) const = default;
};

// Encryption as stored: "none", "auto" (TLS if the server offers it), "require" or "implicit" (TLS from the
// first byte, port 990); anything else reads as "none", the letter case ignored.
QString EncryptionText(TFtpEncryption encryption);
TFtpEncryption EncryptionFromText(const QString& text);

// Protocol as stored: "ftp" or "sftp"; anything else reads as "ftp", the letter case ignored.
QString ProtocolText(TUploadProtocol protocol);
TUploadProtocol ProtocolFromText(const QString& text);
// The port a server usually listens on for the protocol and encryption: 21, 22 or 990.
int DefaultPortOf(TUploadProtocol protocol, TFtpEncryption encryption);

// The port of a stored text; the default port when the text is no port from 1 to 65535, and then note says
// so (else it is emptied).
int PortFromText(const QString& text, QString& note);

// Sets the client to the settings (15-second time-out) and logs in; a failed attempt is closed before its
// error goes on to the caller.
void ConnectFtp(TXoFTP& client, const TFtpSettings& settings, const QString& password);

// While connected without TLS although it was wanted if offered: "not encrypted: HOST does not offer TLS";
// else empty.
QString NotEncryptedText(const TXoFTP& client);
