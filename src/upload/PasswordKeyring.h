// Upload passwords kept in the desktop's keyring (the Secret Service), never in the options file.
#pragma once

#include <optional>

#include <QString>

#include "upload/FtpSettings.h"

// What a kept password is found under: the protocol, user, host and port ("sftp://ann@example.org:22"), so
// that the passwords of different servers never mix.
QString KeyringKeyOf(const TFtpSettings& settings);

// Each call waits for the keyring at most TimeOut milliseconds, so a missing or stuck keyring service never
// hangs the program; its answer then counts as "no keyring".
class TPasswordKeyring {
public:
    static constexpr int kDefaultTimeOut = 5000;
    static constexpr char kService[] = "Veltrix";

    // Whether a keyring answers; when not, Error() says why in words for the user. Asked once, then kept.
    bool Available();
    // The password kept under the key; none when there is none or the keyring does not answer.
    std::optional<QString> Read(const QString& key);
    // False when the keyring did not keep it (Error() says why).
    bool Write(const QString& key, const QString& password);
    // True when nothing is kept under the key any more.
    bool Remove(const QString& key);
    // After a log-in with the password kept for settings failed: a password the server refused (FTP's 530
    // to it, an SSH log-in refused after it was tried) is removed, so that it is not offered again. True
    // when the failure was that refusal; what to tell the user then starts with RefusedKeptPasswordText.
    bool ForgetRefused(const TFtpSettings& settings, TNetFailure failure);
    // Why the last call failed; empty after one that succeeded.
    const QString& Error() const { return FError; }

    int TimeOut = kDefaultTimeOut;

private:
    std::optional<bool> FAvailable;
    QString FError;
};

// Says that the server refused the password kept for settings, and that it is gone from the keyring.
QString RefusedKeptPasswordText(const TFtpSettings& settings);

// The text shown where "Remember password" cannot be used.
inline constexpr char kNoKeyringText[] = "No system keyring available: the password is asked for each upload";
