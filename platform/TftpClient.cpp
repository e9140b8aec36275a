#include "platform/TftpClient.h"

#include "platform/Exception.h"

namespace platform {

void TftpPut(const QString& Host, const QString&, const QByteArray&, const TftpOptions&, const TransferEvents&)
{
    throw Exception(QStringLiteral("TFTP client not available: ") + Host);
}

} // namespace platform
