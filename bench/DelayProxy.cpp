// The delaying proxy: one thread of its own, one timer for every chunk under way.
#include "DelayProxy.h"

#include <deque>
#include <memory>
#include <vector>

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

namespace {

// One direction of one connection: chunks in the order read, each with the time it may go on.
struct TLeg {
    QTcpSocket* From = nullptr;
    QTcpSocket* To = nullptr;
    std::deque<std::pair<qint64, QByteArray>> Chunks;
    qint64 CloseAt = -1; // the reading side closed: the writing side closes once all before has gone
    bool Closed = false;
    QByteArray Line; // FTP control replies: an unfinished line
};

} // namespace

class TDelayProxyCore : public QObject {
public:
    TDelayProxyCore(quint16 targetPort, int delayMs, bool ftp)
        : FTarget(targetPort), FDelay(delayMs), FFtp(ftp) {
        FClock.start();
    }

    quint16 Listen() { return ListenFor(FTarget, FFtp); }

private:
    quint16 ListenFor(quint16 target, bool control) {
        auto* server = new QTcpServer(this);
        if (!server->listen(QHostAddress::LocalHost, 0))
            return 0;
        connect(server, &QTcpServer::newConnection, this, [this, server, target, control] {
            while (QTcpSocket* client = server->nextPendingConnection())
                Accept(client, target, control);
        });
        return server->serverPort();
    }

    void Accept(QTcpSocket* client, quint16 target, bool control) {
        client->setParent(this);
        auto* upstream = new QTcpSocket(this);
        auto up = std::make_shared<TLeg>();
        auto down = std::make_shared<TLeg>();
        up->From = client;
        up->To = upstream;
        down->From = upstream;
        down->To = client;
        FLegs.push_back(up);
        FLegs.push_back(down);
        connect(client, &QTcpSocket::readyRead, this, [this, up] { Read(*up, false); });
        connect(upstream, &QTcpSocket::readyRead, this, [this, down, control] { Read(*down, control); });
        connect(client, &QTcpSocket::disconnected, this, [this, up] { Closing(*up); });
        connect(upstream, &QTcpSocket::disconnected, this, [this, down] { Closing(*down); });
        connect(upstream, &QTcpSocket::connected, this, [this] { Flush(); });
        // The connection is made one round trip after the client asked for it.
        QTimer::singleShot(2 * FDelay, Qt::PreciseTimer, upstream,
                           [upstream, target] { upstream->connectToHost(QHostAddress::LocalHost, target); });
    }

    void Read(TLeg& leg, bool control) {
        QByteArray data = leg.From->readAll();
        if (control)
            data = RewritePassive(leg, data);
        if (!data.isEmpty())
            leg.Chunks.emplace_back(FClock.elapsed() + FDelay, data);
        Schedule();
    }

    void Closing(TLeg& leg) {
        Read(leg, false);
        leg.CloseAt = FClock.elapsed() + FDelay;
        Schedule();
    }

    // "227 Entering Passive Mode (127,0,0,1,p1,p2)": a port of the proxy's own in place of the server's.
    QByteArray RewritePassive(TLeg& leg, const QByteArray& data) {
        leg.Line += data;
        QByteArray out;
        static const QRegularExpression passive(R"(^227 .*\((\d+),(\d+),(\d+),(\d+),(\d+),(\d+)\))");
        for (qsizetype end = leg.Line.indexOf('\n'); end >= 0; end = leg.Line.indexOf('\n')) {
            QByteArray line = leg.Line.left(end + 1);
            leg.Line.remove(0, end + 1);
            const auto match = passive.match(QString::fromLatin1(line));
            if (match.hasMatch()) {
                const quint16 port =
                    static_cast<quint16>(match.captured(5).toInt() * 256 + match.captured(6).toInt());
                const quint16 mine = ListenFor(port, false);
                line = QString("227 Entering Passive Mode (127,0,0,1,%1,%2).\r\n")
                           .arg(mine / 256)
                           .arg(mine % 256)
                           .toLatin1();
            }
            out += line;
        }
        return out;
    }

    // Every chunk whose time has come goes on; the timer is set for the next one.
    void Flush() {
        const qint64 now = FClock.elapsed();
        for (const auto& leg : FLegs) {
            if (leg->Closed || leg->To->state() != QAbstractSocket::ConnectedState)
                continue;
            while (!leg->Chunks.empty() && leg->Chunks.front().first <= now) {
                leg->To->write(leg->Chunks.front().second);
                leg->Chunks.pop_front();
            }
            if (leg->Chunks.empty() && leg->CloseAt >= 0 && leg->CloseAt <= now) {
                leg->Closed = true;
                leg->To->disconnectFromHost();
            }
        }
        Schedule();
    }

    void Schedule() {
        qint64 next = -1;
        for (const auto& leg : FLegs) {
            if (leg->Closed)
                continue;
            qint64 due = !leg->Chunks.empty() ? leg->Chunks.front().first : leg->CloseAt;
            if (due >= 0 && (next < 0 || due < next))
                next = due;
        }
        if (next < 0)
            return;
        if (!FTimer) {
            FTimer = new QTimer(this);
            FTimer->setSingleShot(true);
            FTimer->setTimerType(Qt::PreciseTimer);
            connect(FTimer, &QTimer::timeout, this, [this] { Flush(); });
        }
        const int wait = static_cast<int>(qMax<qint64>(0, next - FClock.elapsed()));
        if (!FTimer->isActive() || FTimer->remainingTime() > wait)
            FTimer->start(wait);
    }

    quint16 FTarget;
    int FDelay;
    bool FFtp;
    QElapsedTimer FClock;
    std::vector<std::shared_ptr<TLeg>> FLegs;
    QTimer* FTimer = nullptr;
};

TDelayProxy::TDelayProxy(quint16 targetPort, int delayMs, bool ftp)
    : FThread(new QThread), FCore(new TDelayProxyCore(targetPort, delayMs, ftp)) {
    FCore->moveToThread(FThread);
    FThread->start();
    QMetaObject::invokeMethod(
        FCore, [this] { FPort = FCore->Listen(); }, Qt::BlockingQueuedConnection);
}

TDelayProxy::~TDelayProxy() {
    QMetaObject::invokeMethod(
        FCore, [this] { delete FCore; }, Qt::BlockingQueuedConnection);
    FThread->quit();
    FThread->wait();
    delete FThread;
}
