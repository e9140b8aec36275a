#include "platform/HttpClient.h"

#include "platform/Exception.h"

namespace platform {

QByteArray HttpGet(const QString& Url, const HttpOptions&, const TransferEvents&)
{
    throw Exception(QStringLiteral("HTTP client not available: ") + Url);
}

} // namespace platform
