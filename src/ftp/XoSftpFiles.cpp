// SFTP client: the remote folder, storing, renaming and deleting files, and listing the folder's sizes.
#include "ftp/XoSftp.h"

#include <atomic>
#include <cstdint>

#include <sys/socket.h>

#include <libssh/libssh.h>
#include <libssh/sftp.h>

#include <QDir>
#include <QFile>
#include <QHash>

#include "common/VlxRegularFile.h"

namespace {

// Bytes per write request, and how many of them await their status at once: 2 MiB under way keeps a link
// with long round trips busy, and is what OpenSSH's server lets a channel have unread.
constexpr qsizetype kChunk = 32768;
constexpr int kWindow = 64;

// Status 4 is the protocol's catch-all (a full disk among others): the server's own text says more, unless
// it is only the word itself, as OpenSSH sends.
QString SftpErrorText(int code, const QString& serverText) {
    switch (code) {
    case SSH_FX_NO_SUCH_FILE:
    case SSH_FX_NO_SUCH_PATH:
        return "no such file or folder";
    case SSH_FX_PERMISSION_DENIED:
        return "permission denied";
    case SSH_FX_FILE_ALREADY_EXISTS:
        return "already exists";
    case SSH_FX_WRITE_PROTECT:
        return "write protected";
    case SSH_FX_NO_MEDIA:
        return "no space";
    case SSH_FX_FAILURE:
        if (serverText.isEmpty() || serverText.compare("failure", Qt::CaseInsensitive) == 0)
            return "failure";
        return "failure: " + serverText;
    default:
        return "failure (" + QString::number(code) + ")";
    }
}

// The text of the server's last status, which libssh keeps as its session's error.
QString ServerTextOf(ssh_session session) {
    const QString error = QString::fromUtf8(ssh_get_error(session));
    const QString prefix = "SFTP server: ";
    return error.startsWith(prefix) ? error.mid(prefix.size()).trimmed() : QString();
}

// SFTP packet types and limits of the requests sent here rather than through libssh.
constexpr char kFxpOpen = char(3);
constexpr char kFxpClose = char(4);
constexpr char kFxpWrite = char(6);
constexpr char kFxpExtended = char(200);
constexpr unsigned char kFxpStatus = 101;
constexpr unsigned char kFxpHandle = 102;
constexpr quint32 kFxfWrite = 0x02;
constexpr quint32 kFxfCreate = 0x08;
constexpr quint32 kFxfTruncate = 0x10;
constexpr quint32 kAttrPermissions = 0x04;
constexpr quint32 kMaxReplyBytes = 256 * 1024; // a status is a code and a line of text, a handle is short

void AppendUint32(QByteArray& packet, quint32 value) {
    for (const int shift : {24, 16, 8, 0})
        packet.append(static_cast<char>(value >> shift & 0xff));
}

void AppendString(QByteArray& packet, const QByteArray& text) {
    AppendUint32(packet, static_cast<quint32>(text.size()));
    packet.append(text);
}

void AppendUint64(QByteArray& packet, quint64 value) {
    AppendUint32(packet, static_cast<quint32>(value >> 32));
    AppendUint32(packet, static_cast<quint32>(value));
}

void PutUint32(QByteArray& bytes, qsizetype at, quint32 value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>(value >> (24 - 8 * i) & 0xff);
}

quint32 Uint32At(const QByteArray& bytes, qsizetype at) {
    quint32 value = 0;
    for (qsizetype i = at; i < at + 4; ++i)
        value = value << 8 | static_cast<unsigned char>(bytes[i]);
    return value;
}

// Milliseconds of one wait on the channel: a connection Await cut, for the time-out or an abort, is seen
// within it even where libssh would wait on.
constexpr int kReadWaitMs = 100;

// Exactly count bytes of the SFTP channel; false when it ended or failed first.
bool ReadChannel(ssh_channel channel, QByteArray& bytes, quint32 count) {
    bytes.resize(count);
    qsizetype got = 0;
    while (got < bytes.size()) {
        const int n = ssh_channel_read_timeout(channel, bytes.data() + got,
                                               static_cast<uint32_t>(bytes.size() - got), 0, kReadWaitMs);
        if (n < 0 || (n == 0 && (ssh_channel_is_eof(channel) || ssh_channel_is_closed(channel) ||
                                 !ssh_is_connected(ssh_channel_get_session(channel)))))
            return false;
        got += n;
    }
    return true;
}

// A reply to one of the requests sent here: a status (its code and the server's text) or a handle.
struct TSftpReply {
    quint32 Id = 0;
    int Code = SSH_FX_OK;
    QString Text;
    QByteArray Handle; // empty unless the reply is a handle
};

// One SSH_FXP_STATUS or SSH_FXP_HANDLE off the channel; false when the connection failed or what came is
// neither, or malformed.
bool ReadReply(ssh_channel channel, TSftpReply& reply) {
    reply = {};
    QByteArray bytes;
    if (!ReadChannel(channel, bytes, 4))
        return false;
    const quint32 length = Uint32At(bytes, 0);
    // Type and id, then a status's code and text length or a handle's length.
    if (length < 9 || length > kMaxReplyBytes || !ReadChannel(channel, bytes, length))
        return false;
    const auto type = static_cast<unsigned char>(bytes[0]);
    reply.Id = Uint32At(bytes, 1);
    if (type == kFxpHandle) {
        const quint32 handleLength = Uint32At(bytes, 5);
        if (handleLength == 0 || handleLength > length - 9)
            return false;
        reply.Handle = bytes.mid(9, handleLength);
        return true;
    }
    if (type != kFxpStatus || length < 13)
        return false;
    reply.Code = static_cast<int>(Uint32At(bytes, 5));
    const quint32 textLength = Uint32At(bytes, 9);
    reply.Text = textLength <= length - 13 ? QString::fromUtf8(bytes.mid(13, textLength)) : QString();
    return true;
}

// Requests written on the SFTP channel itself, for what libssh 0.10 has no call for or does a round trip at
// a time. They are made only between libssh's own calls: none of its requests is then outstanding and it
// has read nothing past its last reply, so every reply on the channel answers one of these. Their ids
// follow libssh's last one; it counts on from there once these are answered.
class TSftpRequests {
public:
    explicit TSftpRequests(sftp_session sftp) : FChannel(sftp->channel), FId(sftp->id_counter) {}

    // A request of that type, its body to be appended after its id; its id.
    quint32 Begin(char type) {
        FPacket.resize(0); // keeps its buffer for the next request
        AppendUint32(FPacket, 0);
        FPacket.append(type);
        AppendUint32(FPacket, ++FId);
        return FId;
    }
    QByteArray& Packet() { return FPacket; }
    // Sends the request begun; false when the channel failed.
    bool Send() {
        PutUint32(FPacket, 0, static_cast<quint32>(FPacket.size() - 4));
        return ssh_channel_write(FChannel, FPacket.constData(), static_cast<uint32_t>(FPacket.size())) ==
               FPacket.size();
    }
    bool Read(TSftpReply& reply) { return ReadReply(FChannel, reply); }

private:
    ssh_channel FChannel;
    quint32 FId;
    QByteArray FPacket;
};

// posix-rename@openssh.com: the server's status code (0: renamed) and its text; -1 when the connection
// failed or went out of step.
int PosixRename(sftp_session sftp, const QByteArray& from, const QByteArray& to, QString& text) {
    TSftpRequests requests(sftp);
    const quint32 id = requests.Begin(kFxpExtended);
    AppendString(requests.Packet(), "posix-rename@openssh.com");
    AppendString(requests.Packet(), from);
    AppendString(requests.Packet(), to);
    TSftpReply reply;
    if (!requests.Send() || !requests.Read(reply) || reply.Id != id || !reply.Handle.isEmpty())
        return -1;
    text = reply.Text;
    return reply.Code;
}

enum class TWriteEnd { Written, OpenRefused, Refused, ReadFailed, Aborted, Lost };

// Opens the remote file, sends the rest of file from the remote offset on in write requests of which up to
// kWindow await their status at once, and closes it: libssh 0.10 sends one request and waits for its
// answer, a round trip per piece. The close goes right after the last piece, since a server takes the
// requests on one handle in order, so a small file's data and close take one round trip after its open.
// Replies are matched by id in whatever order the server sends them, and all are read before the next request
// of libssh. sent grows by each piece the server took; the first refusal's code and text are kept, and no
// more pieces are sent after it or an abort. Lost: the channel failed or went out of step.
TWriteEnd StoreWindowed(sftp_session sftp, const QByteArray& path, QFile& file, quint64 offset,
                        const std::atomic<bool>& abort, std::atomic<qint64>& sent, int& code,
                        QString& serverText) {
    TSftpRequests requests(sftp);
    const quint32 openId = requests.Begin(kFxpOpen);
    AppendString(requests.Packet(), path);
    AppendUint32(requests.Packet(), offset > 0 ? kFxfWrite : kFxfWrite | kFxfCreate | kFxfTruncate);
    AppendUint32(requests.Packet(), kAttrPermissions);
    AppendUint32(requests.Packet(), 0644);
    TSftpReply reply;
    if (!requests.Send() || !requests.Read(reply) || reply.Id != openId)
        return TWriteEnd::Lost;
    if (reply.Handle.isEmpty()) {
        code = reply.Code == SSH_FX_OK ? SSH_FX_FAILURE : reply.Code;
        serverText = reply.Text;
        return TWriteEnd::OpenRefused;
    }
    const QByteArray handle = reply.Handle;
    QHash<quint32, qint64> pending; // bytes of each write awaiting its status, by id; the close: -1
    TWriteEnd end = TWriteEnd::Written;
    bool more = true;
    bool closeSent = false;
    for (;;) {
        while (more && end == TWriteEnd::Written && pending.size() < kWindow) {
            if (abort) {
                end = TWriteEnd::Aborted;
                break;
            }
            // Handle, offset and the data's length, then the data read in place.
            const quint32 id = requests.Begin(kFxpWrite);
            QByteArray& packet = requests.Packet();
            AppendString(packet, handle);
            AppendUint64(packet, offset);
            AppendUint32(packet, 0);
            const qsizetype header = packet.size();
            packet.resize(header + kChunk);
            const qint64 n = file.read(packet.data() + header, kChunk);
            if (n < 0)
                end = TWriteEnd::ReadFailed;
            if (n <= 0) {
                more = false;
                break;
            }
            packet.resize(header + n);
            PutUint32(packet, header - 4, static_cast<quint32>(n));
            if (!requests.Send())
                return TWriteEnd::Lost;
            pending.insert(id, n);
            offset += static_cast<quint64>(n);
        }
        if (!more || end != TWriteEnd::Written) {
            if (!closeSent) {
                // Sent whatever ended the writes: the server frees the handle either way.
                const quint32 id = requests.Begin(kFxpClose);
                AppendString(requests.Packet(), handle);
                if (!requests.Send())
                    return TWriteEnd::Lost;
                pending.insert(id, -1);
                closeSent = true;
            }
            if (pending.isEmpty())
                return end;
        }
        if (!requests.Read(reply) || !reply.Handle.isEmpty())
            return TWriteEnd::Lost;
        const auto request = pending.constFind(reply.Id);
        if (request == pending.constEnd())
            return TWriteEnd::Lost;
        if (reply.Code == SSH_FX_OK) {
            if (*request > 0)
                sent += *request;
        } else if (end == TWriteEnd::Written) {
            end = TWriteEnd::Refused;
            code = reply.Code;
            serverText = reply.Text;
        }
        pending.erase(request);
    }
}

} // namespace

QString TXoSftp::PathOf(const QString& name) const {
    if (name.startsWith('/'))
        return QDir::cleanPath(name);
    return QDir::cleanPath(FDir + '/' + name);
}

void TXoSftp::CheckConnected() const {
    if (!IsConnected())
        throw ESockError("Not connected to " + FHost, TNetFailure::Lost);
}

void TXoSftp::Fail(const QString& what, const QString& path) const {
    Fail(what, path, sftp_get_error(FSftp), ServerTextOf(FSession));
}

void TXoSftp::Fail(const QString& what, const QString& path, int code, const QString& serverText) const {
    if (FLost || !ssh_is_connected(FSession))
        throw ESockError("Connection to " + FHost + " lost: " + QString::fromUtf8(ssh_get_error(FSession)),
                         FLost ? LostKind() : TNetFailure::Lost);
    throw ERemoteRefusal(what + " " + path + ": " + SftpErrorText(code, serverText));
}

void TXoSftp::ChangeDir(const QString& dir) {
    CheckConnected();
    const QString path = PathOf(dir);
    bool isDir = false;
    const int rc = Await([sftp = FSftp, name = path.toUtf8(), &isDir] {
        sftp_attributes attributes = sftp_stat(sftp, name.constData());
        if (!attributes)
            return -1;
        isDir = attributes->type == SSH_FILEXFER_TYPE_DIRECTORY;
        sftp_attributes_free(attributes);
        return 0;
    });
    if (rc != 0)
        Fail("Cannot enter", path);
    if (!isDir)
        throw ERemoteRefusal("Cannot enter " + path + ": not a folder");
    FDir = path;
}

void TXoSftp::MakeDir(const QString& dir) {
    CheckConnected();
    const QString path = PathOf(dir);
    if (Await([sftp = FSftp, name = path.toUtf8()] { return sftp_mkdir(sftp, name.constData(), 0755); }) != 0)
        Fail("Cannot make the folder", path);
}

// Written with several pieces under way; an abort ends it once the pieces in flight are answered.
void TXoSftp::Upload(const QString& localPath, const QString& remoteName) {
    UploadFrom(localPath, remoteName, 0);
}

void TXoSftp::UploadFrom(const QString& localPath, const QString& remoteName, qint64 offset) {
    CheckConnected();
    FAbort = false;
    QFile file;
    if (const QString problem = OpenRegularInput(file, localPath); !problem.isEmpty())
        throw Exception("Cannot open file \"" + localPath + "\": " + problem);
    if (!file.seek(offset))
        throw Exception("Cannot open file \"" + localPath + "\": " + file.errorString());
    FTransferSize = file.size();
    FSent = 0;
    const QString path = PathOf(remoteName);
    // The server's status as it refused, before the close, whose own status would replace it.
    int code = SSH_FX_OK;
    QString serverText;
    const auto end =
        static_cast<TWriteEnd>(Await([this, &file, offset, name = path.toUtf8(), &code, &serverText] {
            const TWriteEnd result = StoreWindowed(FSftp, name, file, static_cast<quint64>(offset), FAbort,
                                                   FSent, code, serverText);
            // Replies may still be on their way that libssh would take for answers to its next request.
            if (result == TWriteEnd::Lost && FSocket >= 0)
                ::shutdown(FSocket, SHUT_RDWR);
            return static_cast<int>(result);
        }));
    if (end == TWriteEnd::Aborted || (FAbort && (FLost || end == TWriteEnd::Lost)))
        throw EAbortError(QString("Upload aborted"));
    if (end == TWriteEnd::ReadFailed)
        throw Exception("Cannot read file \"" + localPath + "\": " + file.errorString());
    if (end == TWriteEnd::Lost) {
        FLost = true;
        throw ESockError("Connection to " + FHost + " lost while storing " + path, LostKind());
    }
    if (end != TWriteEnd::Written)
        Fail("Cannot store", path, code, serverText);
}

// SFTP version 3 servers refuse to rename onto an existing file: without posix-rename it is removed first,
// and its name is missing until the rename that follows.
void TXoSftp::Rename(const QString& from, const QString& to) {
    CheckConnected();
    const QString source = PathOf(from);
    const QString target = PathOf(to);
    if (FPosixRename) {
        QString text;
        const int status = Await([sftp = FSftp, a = source.toUtf8(), b = target.toUtf8(), &text] {
            return PosixRename(sftp, a, b, text);
        });
        if (status == SSH_FX_OK)
            return;
        if (status < 0) {
            // A reply not read to its end leaves the channel out of step for every request after it.
            FLost = true;
            throw ESockError("Connection to " + FHost + " lost while renaming " + source, LostKind());
        }
        throw ERemoteRefusal("Cannot rename " + source + " to " + target + ": " +
                             SftpErrorText(status, text));
    }
    const int rc = Await([sftp = FSftp, a = source.toUtf8(), b = target.toUtf8()] {
        if (sftp_rename(sftp, a.constData(), b.constData()) == 0)
            return 0;
        // The published file goes only when there is one to take its place.
        sftp_attributes replacement = sftp_stat(sftp, a.constData());
        if (!replacement)
            return -1;
        sftp_attributes_free(replacement);
        sftp_attributes existing = sftp_stat(sftp, b.constData());
        if (!existing)
            return -1;
        sftp_attributes_free(existing);
        if (sftp_unlink(sftp, b.constData()) != 0)
            return -1;
        return sftp_rename(sftp, a.constData(), b.constData());
    });
    if (rc != 0)
        Fail("Cannot rename " + source + " to", target);
}

qint64 TXoSftp::RemoteSize(const QString& name) {
    CheckConnected();
    qint64 size = -1;
    Await([sftp = FSftp, p = PathOf(name).toUtf8(), &size] {
        if (sftp_attributes attributes = sftp_stat(sftp, p.constData())) {
            size = static_cast<qint64>(attributes->size);
            sftp_attributes_free(attributes);
        }
        return 0;
    });
    return size;
}

void TXoSftp::Delete(const QString& name) {
    CheckConnected();
    FAbort = false;
    const QString path = PathOf(name);
    if (Await([sftp = FSftp, p = path.toUtf8()] { return sftp_unlink(sftp, p.constData()); }) != 0)
        Fail("Cannot delete", path);
}

QHash<QString, qint64> TXoSftp::FileSizes() {
    CheckConnected();
    QHash<QString, qint64> sizes;
    const int rc = Await([sftp = FSftp, p = FDir.toUtf8(), &sizes] {
        sftp_dir dir = sftp_opendir(sftp, p.constData());
        if (!dir)
            return -1;
        while (sftp_attributes entry = sftp_readdir(sftp, dir)) {
            if (entry->type == SSH_FILEXFER_TYPE_REGULAR && entry->name)
                sizes.insert(QString::fromUtf8(entry->name), static_cast<qint64>(entry->size));
            sftp_attributes_free(entry);
        }
        const bool complete = sftp_dir_eof(dir);
        sftp_closedir(dir);
        return complete ? 0 : -1;
    });
    if (rc != 0)
        Fail("Cannot list", FDir);
    return sizes;
}
