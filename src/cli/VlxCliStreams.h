// What every command shares: the streams it writes and reads, and its exit statuses.
#pragma once

class QTextStream;

// Exit statuses of the command line.
inline constexpr int kCliOk = 0;
inline constexpr int kCliFailed = 1;
inline constexpr int kCliBadArguments = 2;

// Where the command writes: the folder written on Out, progress and errors on Err (a bar when Err is a
// terminal, one line per phase otherwise). In is where a password is read when the environment has none;
// on a terminal it is read without echo.
struct TCliStreams {
    QTextStream& Out;
    QTextStream& Err;
    bool ErrIsTerminal = false;
    QTextStream* In = nullptr;
    bool InIsTerminal = false;
};

// The environment variable `veltrix upload` takes the FTP password from.
inline constexpr char kFtpPasswordVariable[] = "VELTRIX_FTP_PASSWORD";
