// Server certificates the user chose to trust although they could not be verified, by SHA-256 fingerprint.
#pragma once

#include <functional>

#include <QString>

struct TTlsPeer;

// Beside the options file: certificates the user trusts although they could not be verified.
inline constexpr char kTrustFileName[] = "ftp-trust.json";

// Kept as JSON beside the options file, per host name (lower case, as typed in the panel):
// {"format": 1, "hosts": {"<host>": ["<AB:CD:... fingerprint>", ...]}}.
// A missing or unreadable file trusts nothing.
namespace FtpTrust {

bool IsTrusted(const QString& fileName, const QString& host, const QString& sha256);
// Adds the fingerprint for the host; throws Exception naming the file when it cannot be written.
void Trust(const QString& fileName, const QString& host, const QString& sha256);

// The question put to the user about a certificate the system cannot vouch for, naming who issued it.
QString Question(const QString& host, const TTlsPeer& peer);

// Whether to go on with such a certificate: trusted when its fingerprint was trusted for this host before,
// else when ask (given the question) says yes, which is then kept in the file. A trust that cannot be kept
// still holds for this connection; warn hears why it was not kept. No ask: not trusted.
bool Check(const QString& fileName, const QString& host, const TTlsPeer& peer,
           const std::function<bool(const QString& question)>& ask,
           const std::function<void(const QString& text)>& warn);

} // namespace FtpTrust
