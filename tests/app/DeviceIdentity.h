#pragma once

// A window put into the loaded state by hand must hold a supported
// device's identity in its model, or the identity check refuses it.
#include "app/uf_VYN.h"
#include "model/u_DevData.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// The identity bytes of the record, little-endian as the device sends them.
inline void SetDeviceIdentity(TfVYN& w, uint16_t prefix, uint16_t type, uint8_t version)
{
    TDataPacket* packet = w.FDataManager->FindPacket(QStringLiteral("SetupRecord4"));
    QByteArray record = packet->GetDataAsString();
    record[116] = char(prefix & 0xFF);
    record[117] = char(prefix >> 8);
    record[118] = char(version);
    record[119] = char(type & 0xFF);
    record[120] = char(type >> 8);
    packet->SetDataFromString(record);
}

inline void GiveSupportedIdentity(TfVYN& w)
{
    SetDeviceIdentity(w, 0xEE03, 201, 17);
}
