// SFTP client: the remote folder, storing, renaming and deleting files, and listing the folder's sizes.
#include "ftp/XoSftp.h"

#include <atomic>
#include <cstdint>

#include <fcntl.h>
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
constexpr char kFxpWrite = char(6);
constexpr char kFxpExtended = char(200);
constexpr unsigned char kFxpStatus = 101;
constexpr quint32 kMaxStatusBytes = 256 * 1024; // a status is a code and a line of text

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

// One SSH_FXP_STATUS off the channel: its request's id, the code and the server's text; false when the
// connection failed or what came is no status.
bool ReadStatus(ssh_channel channel, quint32& id, int& code, QString& text) {
    QByteArray reply;
    if (!ReadChannel(channel, reply, 4))
        return false;
    const quint32 length = Uint32At(reply, 0);
    // Type, id and code, then the text's length.
    if (length < 13 || length > kMaxStatusBytes || !ReadChannel(channel, reply, length))
        return false;
    if (static_cast<unsigned char>(reply[0]) != kFxpStatus)
        return false;
    id = Uint32At(reply, 1);
    code = static_cast<int>(Uint32At(reply, 5));
    const quint32 textLength = Uint32At(reply, 9);
    text = textLength <= length - 13 ? QString::fromUtf8(reply.mid(13, textLength)) : QString();
    return true;
}

// posix-rename@openssh.com, which libssh 0.10 has no call for: the request is written on the SFTP channel
// and its status read back here. Between libssh's own calls none of its requests is outstanding and it has
// read nothing past its last reply, so what comes next on the channel is this reply. The server's status
// code (0: renamed) and its text; -1 when the connection failed or went out of step.
int PosixRename(sftp_session sftp, const QByteArray& from, const QByteArray& to, QString& text) {
    const quint32 id = sftp->id_counter + 1; // unused by any request in flight: there is none
    QByteArray body;
    body.append(kFxpExtended);
    AppendUint32(body, id);
    AppendString(body, "posix-rename@openssh.com");
    AppendString(body, from);
    AppendString(body, to);
    QByteArray packet;
    AppendUint32(packet, static_cast<quint32>(body.size()));
    packet.append(body);
    if (ssh_channel_write(sftp->channel, packet.constData(), static_cast<uint32_t>(packet.size())) !=
        packet.size())
        return -1;
    quint32 replyId = 0;
    int code = 0;
    if (!ReadStatus(sftp->channel, replyId, code, text) || replyId != id)
        return -1;
    return code;
}

enum class TWriteEnd { Written, Refused, ReadFailed, Aborted, Lost };

// The rest of file, from the remote offset on, in write requests of which up to kWindow await their status
// at once: libssh 0.10 sends one and waits for its answer, a round trip per piece. As for posix-rename, none
// of libssh's own requests is in flight meanwhile, so every reply on the channel answers one of these, in
// whatever order the server sends them; all are read before libssh's next request, the close. sent grows by
// each piece the server took; the first refusal's code and text are kept, and nothing more is sent after it
// or an abort. Lost: the channel failed or went out of step.
TWriteEnd WriteWindowed(sftp_file remote, QFile& file, quint64 offset, const std::atomic<bool>& abort,
                        std::atomic<qint64>& sent, int& code, QString& serverText) {
    ssh_channel channel = remote->sftp->channel;
    const QByteArray handle(static_cast<const char*>(ssh_string_data(remote->handle)),
                            static_cast<qsizetype>(ssh_string_len(remote->handle)));
    // The ids after libssh's last one; it counts on from there once these are answered.
    quint32 id = remote->sftp->id_counter;
    QHash<quint32, qint64> pending; // bytes of each request awaiting its status, by id
    TWriteEnd end = TWriteEnd::Written;
    bool more = true;
    QByteArray packet;
    for (;;) {
        while (more && end == TWriteEnd::Written && pending.size() < kWindow) {
            if (abort) {
                end = TWriteEnd::Aborted;
                break;
            }
            // Length, type, id, handle, offset and the data's length, then the data read in place.
            packet.resize(0); // keeps its buffer for the next piece
            AppendUint32(packet, 0);
            packet.append(kFxpWrite);
            AppendUint32(packet, ++id);
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
            PutUint32(packet, 0, static_cast<quint32>(packet.size() - 4));
            PutUint32(packet, header - 4, static_cast<quint32>(n));
            if (ssh_channel_write(channel, packet.constData(), static_cast<uint32_t>(packet.size())) !=
                packet.size())
                return TWriteEnd::Lost;
            pending.insert(id, n);
            offset += static_cast<quint64>(n);
        }
        if (pending.isEmpty())
            return end;
        quint32 replyId = 0;
        int status = SSH_FX_OK;
        QString text;
        if (!ReadStatus(channel, replyId, status, text))
            return TWriteEnd::Lost;
        const auto request = pending.constFind(replyId);
        if (request == pending.constEnd())
            return TWriteEnd::Lost;
        if (status == SSH_FX_OK) {
            sent += *request;
        } else if (end == TWriteEnd::Written) {
            end = TWriteEnd::Refused;
            code = status;
            serverText = text;
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
    enum { kOk, kOpenFailed, kWriteFailed, kReadFailed, kAborted, kLost };
    // The server's status as it refused, taken before the close, whose own status would replace it.
    int code = SSH_FX_OK;
    QString serverText;
    const int rc = Await([this, &file, offset, name = path.toUtf8(), &code, &serverText] {
        const auto refused = [&] {
            code = sftp_get_error(FSftp);
            serverText = ServerTextOf(FSession);
            return int(kWriteFailed);
        };
        const int flags = offset > 0 ? O_WRONLY : O_WRONLY | O_CREAT | O_TRUNC;
        sftp_file remote = sftp_open(FSftp, name.constData(), flags, 0644);
        if (!remote) {
            refused();
            return int(kOpenFailed);
        }
        int result = kOk;
        switch (WriteWindowed(remote, file, static_cast<quint64>(offset), FAbort, FSent, code, serverText)) {
        case TWriteEnd::Written:
            break;
        case TWriteEnd::Refused:
            result = kWriteFailed;
            break;
        case TWriteEnd::ReadFailed:
            result = kReadFailed;
            break;
        case TWriteEnd::Aborted:
            result = kAborted;
            break;
        case TWriteEnd::Lost:
            // Replies may still be on their way that libssh would take for answers to its close: the
            // connection is ended, and the close only frees the file.
            if (FSocket >= 0)
                ::shutdown(FSocket, SHUT_RDWR);
            result = kLost;
            break;
        }
        if (sftp_close(remote) != SSH_NO_ERROR && result == kOk)
            result = refused();
        return result;
    });
    if (rc == kAborted || (FAbort && (FLost || rc == kLost)))
        throw EAbortError(QString("Upload aborted"));
    if (rc == kReadFailed)
        throw Exception("Cannot read file \"" + localPath + "\": " + file.errorString());
    if (rc == kLost) {
        FLost = true;
        throw ESockError("Connection to " + FHost + " lost while storing " + path, LostKind());
    }
    if (rc != kOk)
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
