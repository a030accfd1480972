// A TCP relay on 127.0.0.1 to a local port that cuts every connection through it once when told to: a
// connection lost mid-transfer, as a network drops it. It can also relay the connections after the first to
// another port: another server answering at the same address, as a listener in between would.
#pragma once

#include <atomic>
#include <thread>

class TDroppingProxy {
public:
    explicit TDroppingProxy(int targetPort);
    ~TDroppingProxy();
    TDroppingProxy(const TDroppingProxy&) = delete;
    TDroppingProxy& operator=(const TDroppingProxy&) = delete;

    int Port() const { return FPort; }
    // Resets the connections open now (waits at most a few seconds for it); later ones are relayed.
    void DropNow();
    int Drops() const { return FDrops; }
    // Before the first connection: where the connections after the first go.
    void SetLaterTarget(int port) { FLaterTarget = port; }

private:
    void Serve();

    int FTarget;
    std::atomic<int> FLaterTarget = 0;
    int FRelayed = 0;
    int FListener = -1;
    int FPort = 0;
    std::atomic<bool> FStop = false;
    std::atomic<bool> FDrop = false;
    std::atomic<int> FDrops = 0;
    std::thread FThread;
};
