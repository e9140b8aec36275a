#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Files the operator hands the program (language files, the settings file)
// are read whole; a larger one is refused rather than read into memory.
inline constexpr qint64 MaxOperatorFileSize = 16 * 1024 * 1024;

// The whole content of a file of at most MaxSize bytes. The size is checked
// before anything is read, and a file that grows meanwhile (or a pipe, which
// has no size) is still never read past the limit. Throws EPlatformError:
// FileNotOpened, FileNotRead or FileTooLarge.
QByteArray ReadFileWithin(const QString& FileName, qint64 MaxSize = MaxOperatorFileSize);

} // namespace platform
