// The real FTP server of the window's upload tests.
#include "UploadServer.h"

#include "support/FtpTestSupport.h"

TUploadServer::TUploadServer(const QString& root, const QString& user, const QString& password)
    : FServer(std::make_unique<TPyFtpServer>(root, user, password)) {}

TUploadServer::~TUploadServer() = default;

int TUploadServer::Port() const {
    return FServer->Port();
}

QString TUploadServer::Error() const {
    return FServer->Error();
}
