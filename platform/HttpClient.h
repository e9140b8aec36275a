#pragma once

#include "platform/Transfer.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace platform {

// One GET's limits; each request carries its own, nothing is shared.
struct HttpOptions
{
    int ConnectTimeoutMs = 5000;
    int ReadTimeoutMs = 10000;  // no head line or body byte for this long ends the request
    int TotalTimeoutMs = 30000; // a trickling peer cannot hold us longer
    int64_t MaxBody = 1 << 20;
    uint32_t LocalAddress = 0; // network order as inet_addr gives; 0: any
};

// The body of Url. Any failure (no connection, time-out, a status other
// than 2xx, a body over MaxBody, a head over 64 KiB, cancelled) raises
// Exception whose text says what went wrong (the status line for a
// refused request, cut as PeerText cuts it).
QByteArray HttpGet(const QString& Url, const HttpOptions& Options, const TransferEvents& Events = {});

} // namespace platform
