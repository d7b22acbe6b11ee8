#include "core/wholefile.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* why)
{
    const auto fail = [why](const QString& reason) {
        if (why)
            *why = reason.isEmpty() ? QStringLiteral("not every byte could be written") : reason;
        return false;
    };
    // Unbuffered: a buffered write only fills memory and reports success, and the
    // failure of the flush at commit time would not stop the rename.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(file.errorString());
    // A write cut short (the disk filled part way) is followed by one that says why.
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            const QString reason = file.errorString();
            file.cancelWriting();
            return fail(reason); // the temporary file goes with `file`
        }
        done += n;
    }
    if (!file.flush() || !file.commit())
        return fail(file.errorString());
    return true;
}

std::optional<QByteArray> readRegularFile(
    const QString& path, qint64 maxBytes, QString* why, ReadRefusal* refusal)
{
    const auto fail = [why, refusal](ReadRefusal kind, const QString& reason) {
        if (why)
            *why = reason;
        if (refusal)
            *refusal = kind;
        return std::nullopt;
    };
    const auto systemFailure = [&fail](int error) {
        return fail(error == ENOENT ? ReadRefusal::Missing : ReadRefusal::Failed,
            QString::fromLocal8Bit(std::strerror(error)));
    };
    const auto tooLarge = [&] {
        return fail(
            ReadRefusal::TooLarge, QStringLiteral("it is larger than %1 bytes").arg(maxBytes));
    };
    // True, with the reason given, when a file of this kind and size is not read.
    const auto refused = [&](const struct stat& s) {
        if (S_ISDIR(s.st_mode))
            fail(ReadRefusal::NotRegular, QStringLiteral("it is a folder"));
        else if (!S_ISREG(s.st_mode))
            fail(ReadRefusal::NotRegular, QStringLiteral("it is not a regular file"));
        else if (s.st_size > maxBytes)
            tooLarge();
        else
            return false;
        return true;
    };
    if (path.isEmpty())
        return systemFailure(ENOENT);
    const QByteArray name = QFile::encodeName(path);
    struct stat s = {};
    // The kind is known before anything is opened: opening a serial device alone
    // changes its control lines.
    if (::stat(name.constData(), &s) != 0)
        return systemFailure(errno);
    if (refused(s))
        return std::nullopt;
        // Not blocking, and checked again once open, in case a pipe took the file's place.
#ifdef Q_OS_WIN
    // No pipe blocks an open there; binary, or the C library would translate line ends.
    const int fd = ::open(name.constData(), O_RDONLY | O_BINARY | O_NOINHERIT);
#else
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
#endif
    if (fd < 0)
        return systemFailure(errno);
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(ReadRefusal::Failed, file.errorString());
    }
    if (::fstat(fd, &s) != 0)
        return systemFailure(errno);
    if (refused(s))
        return std::nullopt;
    // In pieces up to one byte past the limit, which catches a file that grew since
    // its size was taken without reserving the whole limit.
    QByteArray bytes;
    while (bytes.size() <= maxBytes) {
        const QByteArray piece
            = file.read(std::min<qint64>(64 * 1024, maxBytes + 1 - bytes.size()));
        if (file.error() != QFileDevice::NoError)
            return fail(ReadRefusal::Failed, file.errorString());
        if (piece.isEmpty())
            break;
        bytes += piece;
    }
    if (bytes.size() > maxBytes)
        return tooLarge();
    if (refusal)
        *refusal = ReadRefusal::None;
    return bytes;
}
