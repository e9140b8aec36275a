#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Files the operator hands the program (language files, the settings file)
// are read whole; a larger one is refused rather than read into memory.
inline constexpr qint64 MaxOperatorFileSize = 16 * 1024 * 1024;

// The whole content of a regular file of at most MaxSize bytes. Anything
// else (a FIFO, a device, a folder) is refused without waiting for it or
// reading from it. The size is checked before anything is read, and a file
// that grows meanwhile is still never read past the limit. Throws
// EPlatformError: FileNotOpened (also for what is not a regular file, with
// the reason), FileNotRead or FileTooLarge.
QByteArray ReadFileWithin(const QString& FileName, qint64 MaxSize = MaxOperatorFileSize);

} // namespace platform
