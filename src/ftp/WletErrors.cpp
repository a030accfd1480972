// Socket error numbers and their texts (POSIX errno values mapped onto the numbering the texts use), and the
// kinds of failures.
#include <cerrno>
#include <cstdint>

#include "ftp/Wlet.h"

namespace {

struct TErrorRow {
    int Number;
    const char* Text;
};

const TErrorRow kErrorTable[] = {
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Wrong protocol type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection or reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references, can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to Host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network subsystem is unavailable"},
    {10092, "Incompatible version of WINSOCK.DLL"},
    {10093, "Successful WSAStartup not yet performed"},
    {11001, "Host not found"},
    {11002, "Non-Authoritative Host not found"},
    {11003, "Non-Recoverable error: FORMERR, REFUSED, NOTIMP"},
    {11004, "Valid name, no data record of requested type"},
    {0, "Unrecognized error code"},
};

const TErrorRow* FindError(int number) {
    for (const TErrorRow& row : kErrorTable)
        if (row.Number == number)
            return &row;
    return nullptr;
}

} // namespace

TNetFailure FailureOf(const std::exception& error) {
    const auto* net = dynamic_cast<const ENetError*>(&error);
    return net ? net->Kind() : TNetFailure::Other;
}

TNetFailure FailureOf(const std::exception_ptr& error) {
    if (!error)
        return TNetFailure::Other;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return FailureOf(e);
    } catch (...) {
        return TNetFailure::Other;
    }
}

int TWirelet::SocketErrorOf(int posixErrno) {
    switch (posixErrno) {
    case 0:
        return 0;
    case EINTR:
        return 10004;
    case EBADF:
        return 10009;
    case EACCES:
    case EPERM:
        return 10013;
    case EFAULT:
        return 10014;
    case EINVAL:
        return 10022;
    case EMFILE:
    case ENFILE:
        return 10024;
    case EAGAIN:
        return kErrWouldBlock;
    case EINPROGRESS:
        return 10036;
    case EALREADY:
        return 10037;
    case ENOTSOCK:
        return 10038;
    case EDESTADDRREQ:
        return 10039;
    case EMSGSIZE:
        return 10040;
    case EPROTOTYPE:
        return 10041;
    case ENOPROTOOPT:
        return 10042;
    case EPROTONOSUPPORT:
        return 10043;
    case ESOCKTNOSUPPORT:
        return 10044;
    case EOPNOTSUPP:
        return 10045;
    case EPFNOSUPPORT:
        return 10046;
    case EAFNOSUPPORT:
        return 10047;
    case EADDRINUSE:
        return 10048;
    case EADDRNOTAVAIL:
        return 10049;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return 10051;
    case ENETRESET:
        return 10052;
    case ECONNABORTED:
        return 10053;
    // A send after the peer reset the connection: the text the user knows for that case.
    case EPIPE:
    case ECONNRESET:
        return 10054;
    case ENOBUFS:
    case ENOMEM:
        return 10055;
    case EISCONN:
        return 10056;
    case ENOTCONN:
        return kErrNotConnected;
    case ESHUTDOWN:
        return 10058;
    case ETOOMANYREFS:
        return 10059;
    case ETIMEDOUT:
        return 10060;
    case ECONNREFUSED:
        return 10061;
    case ELOOP:
        return 10062;
    case ENAMETOOLONG:
        return 10063;
    case EHOSTDOWN:
        return 10064;
    case EHOSTUNREACH:
        return 10065;
    case ENOTEMPTY:
        return 10066;
    case EUSERS:
        return 10068;
    case EDQUOT:
        return 10069;
    case ESTALE:
        return 10070;
    case EREMOTE:
        return 10071;
    default:
        // Outside the table's range, so the text names the number and ErrorCheck still raises.
        return 20000 + posixErrno;
    }
}

TNetFailure TWirelet::FailureOfSocketError(int errorNumber) {
    switch (errorNumber) {
    case 10052: // dropped by the network
    case 10053: // aborted by this system
    case 10054: // reset by the peer
    case kErrNotConnected:
    case 10058: // shut down
        return TNetFailure::Lost;
    case 10060:
        return TNetFailure::TimedOut;
    default:
        return TNetFailure::Other;
    }
}

QString TWirelet::ErrorText(int errorNumber) {
    if (errorNumber == 0)
        return {};
    if (const TErrorRow* row = FindError(errorNumber))
        return QString::number(errorNumber) + ":" + QString::fromLatin1(row->Text);
    return "Unknown Error No. " + QString::number(errorNumber);
}

int TWirelet::ReplyCodeOf(const QString& line) {
    std::int64_t value = 0;
    int digits = 0;
    while (digits < line.size() && digits < 10 && line[digits] >= '0' && line[digits] <= '9') {
        value = value * 10 + (line[digits].unicode() - '0');
        ++digits;
    }
    // The code is kept in 16 bits; a longer number is no reply code.
    return value <= 32767 ? static_cast<int>(value) : 0;
}
