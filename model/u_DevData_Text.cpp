#include "model/u_DevData_Text.h"

#include "model/u_DevData_Internal.h"

#include "platform/Exception.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

namespace {

bool IsHexSeparator(QChar c)
{
    return c == u'-' || c == u' ' || c == u'\r' || c == u'\n' || c == u'\t' || c == u'.';
}

} // namespace

QByteArray HexToBin(const QString& Text)
{
    QString digits;
    digits.reserve(Text.size());
    for (QChar c : Text)
        if (!IsHexSeparator(c))
            digits.append(c);

    QByteArray bytes(digits.size() / 2, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const int hi = HexDigitValue(digits[2 * i].unicode());
        const int lo = HexDigitValue(digits[2 * i + 1].unicode());
        if (hi < 0 || lo < 0)
            throw EConvertError::NotAnInteger(QLatin1Char('$') + digits.mid(2 * i, 2));
        bytes[i] = char((hi << 4) | lo);
    }
    return bytes;
}

QString BinToHex(const QByteArray& Bytes)
{
    return QString::fromLatin1(Bytes.toHex().toUpper());
}

QString IPToStr(uint32_t Address)
{
    uint8_t b[4];
    std::memcpy(b, &Address, sizeof b);
    return QStringLiteral("%1.%2.%3.%4").arg(b[0]).arg(b[1]).arg(b[2]).arg(b[3]);
}

uint32_t StrToIP(const QString& Text)
{
    // inet_addr stops at a NUL byte; text with one inside is no address.
    const QByteArray bytes = Text.toLatin1();
    if (bytes.contains('\0'))
        return INADDR_NONE;
    return inet_addr(bytes.constData());
}

QString MACToStr(std::span<const uint8_t, 6> Address)
{
    QString text;
    for (size_t i = 0; i < Address.size(); ++i) {
        if (i > 0)
            text += QLatin1Char('-');
        text += QStringLiteral("%1").arg(Address[i], 2, 16, QLatin1Char('0'));
    }
    return text;
}

bool StrToMAC(const QString& Text, std::span<uint8_t, 6> Dest)
{
    const QByteArray bytes = HexToBin(Text);
    const size_t n = std::min<size_t>(size_t(bytes.size()), Dest.size());
    std::copy_n(reinterpret_cast<const uint8_t*>(bytes.constData()), n, Dest.begin());
    return bytes.size() == 6;
}
