// A TCP proxy on 127.0.0.1 that holds every chunk of data for a fixed delay in each direction, as a long
// network path does, without limiting how many bytes are under way. A new connection reaches the target one
// round trip later. For FTP it also carries the passive data connections: the addresses of "227" replies are
// rewritten to ports of the proxy's own that lead, delayed the same way, to the server's.
#pragma once

#include <QtGlobal>

class QThread;
class TDelayProxyCore;

class TDelayProxy {
public:
    TDelayProxy(quint16 targetPort, int delayMs, bool ftp);
    ~TDelayProxy();
    TDelayProxy(const TDelayProxy&) = delete;
    TDelayProxy& operator=(const TDelayProxy&) = delete;

    // 0 when it could not listen.
    quint16 Port() const { return FPort; }

private:
    QThread* FThread;
    TDelayProxyCore* FCore;
    quint16 FPort = 0;
};
