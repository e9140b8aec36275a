#pragma once

#include "platform/Transfer.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace platform {

struct TftpOptions
{
    uint16_t Port = 69;
    int BlockSize = 512;        // requested; the server may answer smaller
    int TimeoutMs = 3000;       // receive time-out per packet
    int TotalTimeoutMs = 60000; // a stalling server cannot hold us longer
    uint32_t LocalAddress = 0;  // network order as inet_addr gives; 0: any
};

// Writes Data as RemoteName to Host (dotted IPv4 text) in octet mode.
// Failures raise Exception; an error packet from the server gives its own
// error text, cut as PeerText cuts it. A silent server gets the last packet
// again after each TimeoutMs, three times at most, and never past
// TotalTimeoutMs.
void TftpPut(const QString& Host, const QString& RemoteName, const QByteArray& Data, const TftpOptions& Options,
             const TransferEvents& Events = {});

} // namespace platform
