// The real FTP server of the window's upload tests, behind a header of its own: the window's fixture and
// the network helpers each bring their own way of printing texts, and no file includes both.
#pragma once

#include <memory>

#include <QString>

class TPyFtpServer;

// pyftpdlib serving root on 127.0.0.1 to one user, on a free port.
class TUploadServer {
public:
    TUploadServer(const QString& root, const QString& user, const QString& password);
    ~TUploadServer();

    // 0 when the server did not start; Error() then says why.
    int Port() const;
    QString Error() const;

private:
    std::unique_ptr<TPyFtpServer> FServer;
};
