#pragma once

// Byte strings (QByteArray) seen as the byte spans the model reads and
// writes records through.

#include <QByteArray>

#include <cstdint>
#include <span>

inline std::span<uint8_t> ByteSpan(QByteArray& bytes)
{
    return {reinterpret_cast<uint8_t*>(bytes.data()), size_t(bytes.size())};
}

inline std::span<const uint8_t> ConstByteSpan(const QByteArray& bytes)
{
    return {reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())};
}

inline QByteArray BytesOf(std::span<const uint8_t> bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}
