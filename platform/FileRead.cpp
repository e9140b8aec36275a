#include "platform/FileRead.h"

#include "platform/Exception.h"
#include "platform/Posix.h"
#include "platform/UniqueFd.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace platform {

namespace {

// What the system says after a failed call, for the operator's message.
[[noreturn]] void Fail(EPlatformError::TKind kind, const QString& fileName)
{
    throw EPlatformError(kind, {fileName, ErrnoText(errno)});
}

} // namespace

QByteArray ReadFileWithin(const QString& FileName, qint64 MaxSize)
{
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never
    // come; the check below then refuses it unread.
    const UniqueFd fd(::open(QFile::encodeName(FileName).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0)
        Fail(EPlatformError::FileNotOpened, FileName);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        Fail(EPlatformError::FileNotOpened, FileName);
    if (!S_ISREG(st.st_mode)) {
        const QString reason = S_ISDIR(st.st_mode) ? ErrnoText(EISDIR) : QStringLiteral("Not a regular file");
        throw EPlatformError(EPlatformError::FileNotOpened, {FileName, reason});
    }
    if (st.st_size > MaxSize)
        throw EPlatformError(EPlatformError::FileTooLarge, {FileName});
    // A regular file never blocks, but reads of one opened non-blocking may
    // still fail with EAGAIN on some file systems.
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        Fail(EPlatformError::FileNotRead, FileName);

    // One byte more than the limit tells a file that grew past it.
    QByteArray bytes(std::min<qint64>(st.st_size, MaxSize) + 1, Qt::Uninitialized);
    qint64 have = 0;
    for (;;) {
        if (have == bytes.size()) {
            if (have > MaxSize)
                break;
            bytes.resize(std::min<qint64>(have + 64 * 1024, MaxSize + 1));
        }
        const ssize_t n = ::read(fd.get(), bytes.data() + have, size_t(bytes.size() - have));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            Fail(EPlatformError::FileNotRead, FileName);
        if (n == 0)
            break;
        have += n;
    }
    if (have > MaxSize)
        throw EPlatformError(EPlatformError::FileTooLarge, {FileName});
    bytes.truncate(have);
    return bytes;
}

} // namespace platform
