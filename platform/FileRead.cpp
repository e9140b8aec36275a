#include "platform/FileRead.h"

#include "platform/Exception.h"

#include <QFile>

namespace platform {

QByteArray ReadFileWithin(const QString& FileName, qint64 MaxSize)
{
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EPlatformError(EPlatformError::FileNotOpened, {FileName, file.errorString()});
    if (file.size() > MaxSize)
        throw EPlatformError(EPlatformError::FileTooLarge, {FileName});
    const QByteArray bytes = file.read(MaxSize + 1);
    if (file.error() != QFileDevice::NoError)
        throw EPlatformError(EPlatformError::FileNotRead, {FileName, file.errorString()});
    if (bytes.size() > MaxSize)
        throw EPlatformError(EPlatformError::FileTooLarge, {FileName});
    return bytes;
}

} // namespace platform
