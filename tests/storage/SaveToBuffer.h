#pragma once

#include "storage/uMFS.h"

#include <QBuffer>

// What a storage writes into a fresh memory stream, and the writer's count.
inline QByteArray SaveToBuffer(TMultiFileStorage& storage, qint64* result = nullptr)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const qint64 n = storage.SaveToStream(buffer);
    if (result)
        *result = n;
    return buffer.data();
}
