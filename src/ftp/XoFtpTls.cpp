// FTP client: explicit TLS on the control connection (AUTH TLS) and on every data connection (PROT P).
#include "ftp/XoFtp.h"

void TXoFTP::SecureControl() {
    Report(1, "AUTH TLS");
    Transaction("AUTH TLS");
    if (FReplyCode != 234) {
        const QString reply = XoFtpReply::WithoutLineEnd(FLastReplyText);
        if (FEncryption == TFtpEncryption::Require) {
            if (OnConnectionFailed)
                OnConnectionFailed(this);
            throw FTPException(Host() + " does not offer TLS (" + reply +
                               "); TLS is required, so the password was not sent");
        }
        Report(1, Host() + " does not offer TLS: the connection is not encrypted");
        return;
    }
    StartTls();
    CheckCertificate();
    Report(1, "Encrypted with " + TlsVersion());
}

void TXoFTP::CheckCertificate() {
    const TTlsPeer& peer = TlsPeer();
    if (peer.Problem.isEmpty())
        return;
    bool trusted = false;
    if (OnCertificateCheck && !peer.Sha256.isEmpty())
        OnCertificateCheck(peer, trusted);
    if (!trusted) {
        if (OnConnectionFailed)
            OnConnectionFailed(this);
        throw EIdentityError("The certificate of " + Host() + " could not be verified (" + peer.Problem +
                             ") and is not trusted: the connection was stopped");
    }
}

void TXoFTP::SecureData() {
    Transaction("PBSZ 0");
    if (FReplyCode < 400)
        Transaction("PROT P");
    FDataTls = FReplyCode >= 200 && FReplyCode < 300;
    if (FDataTls)
        return;
    const QString reply = XoFtpReply::WithoutLineEnd(FLastReplyText);
    if (FEncryption == TFtpEncryption::Require || FEncryption == TFtpEncryption::Implicit)
        throw FTPException(Host() + " refused to encrypt data connections (" + reply + ")");
    Report(1, Host() + " refused to encrypt data connections: files are sent unencrypted");
}

void TXoFTP::SecureDataConnection() {
    ssl_session_st* session = TlsSession();
    try {
        FDataConn->StartTls(session);
    } catch (...) {
        FreeTlsSession(session);
        throw;
    }
    FreeTlsSession(session);
    Report(4, FDataConn->TlsResumed() ? "Data connection: TLS session resumed"
                                      : "Data connection: new TLS session");
    // The data connection must lead to the server the user trusted, not to whoever connected first.
    if (FDataConn->TlsPeer().Sha256 != TlsPeer().Sha256)
        throw ESockError("The data connection to " + Host() +
                         " presented another certificate than the control connection");
}
