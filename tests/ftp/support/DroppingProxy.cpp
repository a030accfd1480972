// A TCP relay on 127.0.0.1 that drops its connections when told to, or sends later ones elsewhere.
#include "DroppingProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <vector>

namespace {

int ConnectTo(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Closed with a reset, as a dropped connection ends.
void Reset(int fd) {
    const linger now{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
    close(fd);
}

} // namespace

TDroppingProxy::TDroppingProxy(int targetPort) : FTarget(targetPort) {
    FListener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(FListener, 8) != 0 ||
        getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    FPort = ntohs(address.sin_port);
    FThread = std::thread([this] { Serve(); });
}

TDroppingProxy::~TDroppingProxy() {
    FStop = true;
    if (FThread.joinable())
        FThread.join();
    close(FListener);
}

void TDroppingProxy::DropNow() {
    const int before = FDrops;
    FDrop = true;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (FDrops == before && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// Pairs of sockets, client side then server side; bounded waits so that the destructor ends it.
void TDroppingProxy::Serve() {
    std::vector<int> sockets;
    std::vector<char> buffer(65536);
    while (!FStop) {
        if (FDrop) {
            for (const int fd : sockets)
                Reset(fd);
            sockets.clear();
            FDrop = false;
            ++FDrops;
        }
        std::vector<pollfd> polled{{FListener, POLLIN, 0}};
        for (const int fd : sockets)
            polled.push_back({fd, POLLIN, 0});
        if (poll(polled.data(), polled.size(), 10) <= 0)
            continue;
        if (polled[0].revents & POLLIN) {
            const int client = accept(FListener, nullptr, nullptr);
            const int target = FRelayed++ > 0 && FLaterTarget > 0 ? FLaterTarget.load() : FTarget;
            const int server = client < 0 ? -1 : ConnectTo(target);
            if (server < 0) {
                if (client >= 0)
                    close(client);
            } else {
                sockets.push_back(client);
                sockets.push_back(server);
            }
        }
        for (size_t i = 1; i < polled.size(); ++i) {
            if (!(polled[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const size_t index = i - 1;
            const int from = polled[i].fd;
            const int to = sockets[index ^ 1];
            const ssize_t n = read(from, buffer.data(), buffer.size());
            if (n <= 0 || send(to, buffer.data(), static_cast<size_t>(n), MSG_NOSIGNAL) != n) {
                // One side ended: the pair ends (a half close is not needed by the clients relayed here).
                close(sockets[index & ~size_t(1)]);
                close(sockets[index | 1]);
                sockets[index & ~size_t(1)] = sockets[index | 1] = -1;
            }
        }
        std::erase(sockets, -1);
    }
    for (const int fd : sockets)
        close(fd);
}
