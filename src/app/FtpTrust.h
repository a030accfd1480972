// Server certificates the user chose to trust although they could not be verified, by SHA-256 fingerprint.
#pragma once

#include <QString>

// Kept as JSON beside the options file, per host name (lower case, as typed in the panel):
// {"format": 1, "hosts": {"<host>": ["<AB:CD:... fingerprint>", ...]}}.
// A missing or unreadable file trusts nothing.
namespace FtpTrust {

bool IsTrusted(const QString& fileName, const QString& host, const QString& sha256);
// Adds the fingerprint for the host; throws Exception naming the file when it cannot be written.
void Trust(const QString& fileName, const QString& host, const QString& sha256);

} // namespace FtpTrust
