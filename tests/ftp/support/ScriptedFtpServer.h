// A scripted FTP server on 127.0.0.1, in a thread of its own, for what real servers will not do on demand.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <thread>

#include <QByteArray>
#include <QStringList>

// Serves one control connection. Every verb has a sound default reply; a test replaces the replies it needs
// (raw bytes, line ends included) and reads back the exact commands the client sent.
class TScriptedFtpServer {
public:
    TScriptedFtpServer();
    ~TScriptedFtpServer();

    int Port() const { return FPort; }

    // Before Start: what the server sends on connecting (empty: nothing, the server stays silent).
    void SetGreeting(const QByteArray& greeting) { FGreeting = greeting; }
    // The reply to a verb; for LIST and STOR a reply other than 1xx means no data transfer.
    void SetReply(const QByteArray& verb, const QByteArray& reply) { FReplies[verb] = reply; }
    // The reply after a LIST's or STOR's data (default 226; 426 when the transfer was cut short).
    void SetFinalReply(const QByteArray& verb, const QByteArray& reply) { FFinalReplies[verb] = reply; }
    // The verb gets no answer at all; the server keeps the connection open and listens on.
    void SetSilent(const QByteArray& verb) { FSilent[verb] = true; }
    // The verb's reply (the greeting for an empty verb; for LIST the listing's data) never ends: line, sent
    // over and over every everyMs milliseconds (0: at full speed) until the client closes or the server's
    // patience runs out.
    void SetEndless(const QByteArray& verb, const QByteArray& line, int everyMs) {
        FEndlessVerb = verb;
        FEndlessLine = line;
        FEndlessEveryMs = everyMs;
    }
    // While the server runs: the endless reply's pace from the next connection on.
    void SetEndlessEvery(int everyMs) { FEndlessEveryMs = everyMs; }
    // The endless reply has begun.
    bool EndlessStarted() const { return FEndlessStarted; }
    // The server closes the control connection when the verb arrives, without answering it.
    void SetCloseOn(const QByteArray& verb) { FCloseOn[verb] = true; }
    // The server answers the verb, then closes the control connection.
    void SetCloseAfter(const QByteArray& verb) { FCloseAfter[verb] = true; }
    // A STOR's data is never read (a server that stopped taking data); once the client closes the data
    // connection the server sends no closing reply.
    void SetStallData(bool stall) { FStallData = stall; }
    // The first four numbers of the PASV reply (the server itself listens on 127.0.0.1 regardless).
    void SetPasvAddress(const QByteArray& address) { FPasvAddress = address; }
    void SetListing(const QByteArray& listing) { FListing = listing; }
    // The data connection of LIST or STOR is closed by the server after this many bytes (-1: never).
    void SetCloseDataAfter(qint64 bytes) { FCloseDataAfter = bytes; }
    // Serves this many control connections one after the other; silences and the stalled STOR hold for the
    // first only.
    void SetConnections(int count) { FConnections = count; }

    void Start();
    // Waits for the server's thread to end (the client sent QUIT or closed), at most a few seconds.
    void Stop();

    QStringList Transcript() const;
    QByteArray Stored() const;
    // Problems the server met (an unexpected data connection, a bad PORT); empty when all went as scripted.
    QString Errors() const;

private:
    void Run();
    void Serve(int control);
    bool ReadCommand(int control, QByteArray& pending, QByteArray& command);
    void Answer(int control, const QByteArray& verb, const QByteArray& argument);
    void Transfer(int control, const QByteArray& verb, const QByteArray& argument);
    int OpenData();
    void Note(const QString& problem);
    void SendEndlessly(int fd);

    int FListener = -1;
    int FPort = 0;
    int FPasvListener = -1;
    QByteArray FPortArgument;
    QByteArray FGreeting = "220 Scripted server ready.\r\n";
    std::map<QByteArray, QByteArray> FReplies;
    std::map<QByteArray, QByteArray> FFinalReplies;
    std::map<QByteArray, bool> FSilent;
    std::map<QByteArray, bool> FCloseOn;
    std::map<QByteArray, bool> FCloseAfter;
    bool FStallData = false;
    QByteArray FPasvAddress = "127,0,0,1";
    QByteArray FListing;
    qint64 FCloseDataAfter = -1;
    int FConnections = 1;
    QByteArray FEndlessVerb;
    QByteArray FEndlessLine;
    std::atomic<int> FEndlessEveryMs{0};
    std::atomic<bool> FEndlessStarted{false};

    mutable std::mutex FMutex;
    QStringList FTranscript;
    QByteArray FStored;
    QString FErrors;
    std::atomic<bool> FStop{false};
    std::atomic<bool> FDone{false};
    std::thread FThread;
};
