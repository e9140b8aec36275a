#pragma once

// Text forms of the model's binary values: hex pairs, dotted IPv4
// addresses and MAC addresses.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <span>

// Pairs of hex digits to bytes. "-", " ", ".", CR, LF and TAB are dropped
// first; a last unpaired digit is ignored. A pair that is not two hex digits
// raises EConvertError naming "$" and the pair.
QByteArray HexToBin(const QString& Text);
// Two upper-case hex digits per byte, nothing between them.
QString BinToHex(const QByteArray& Bytes);

// An IPv4 address is a uint32_t whose memory bytes (least significant first)
// are the dotted numbers in text order, as inet_addr gives it.
QString IPToStr(uint32_t Address);
// inet_addr's conversion: bad text gives 0xFFFFFFFF, the same value as
// 255.255.255.255; nothing is raised.
uint32_t StrToIP(const QString& Text);

// Six lower-case hex pairs joined by "-".
QString MACToStr(std::span<const uint8_t, 6> Address);
// HexToBin of the text; its first min(count, 6) bytes go to Dest, the rest
// of Dest stays. True exactly when the text gave six bytes. Raises as
// HexToBin does (":" is not a separator).
bool StrToMAC(const QString& Text, std::span<uint8_t, 6> Dest);
