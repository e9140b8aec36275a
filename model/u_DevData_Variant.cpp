#include "model/u_DevData_Variant.h"

#include "model/u_DevData_Internal.h"
#include "platform/Exception.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <cmath>
#include <limits>

namespace {

constexpr const char* kDeviceCodePage = "windows-1250";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Integer text of at most `bits` bits. Decimal values must fit the signed
// range; hexadecimal ones may use every bit and wrap, as "$FFFFFFFF" is -1.
std::optional<int64_t> ParseInteger(QByteArrayView text, int bits)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < n && text[i] == '$') {
        hex = true;
        ++i;
    } else if (i < n && (text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= n)
        return std::nullopt;

    const uint64_t widthMask = bits >= 64 ? ~uint64_t(0) : (uint64_t(1) << bits) - 1;
    uint64_t value = 0;
    if (hex) {
        for (; i < n; ++i) {
            const int d = HexDigitValue(char16_t(uint8_t(text[i])));
            if (d < 0 || value > (widthMask >> 4))
                return std::nullopt;
            value = (value << 4) | uint64_t(d);
        }
        if (negative)
            value = (~value + 1) & widthMask;
        // Sign-extend from the width so that the top bit means negative.
        if (bits < 64 && (value >> (bits - 1)) & 1)
            value |= ~widthMask;
        return static_cast<int64_t>(value);
    }

    const uint64_t limit = (uint64_t(1) << (bits - 1)) - (negative ? 0 : 1);
    for (; i < n; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        const uint64_t d = uint64_t(c - '0');
        if (value > (limit - d) / 10)
            return std::nullopt;
        value = value * 10 + d;
    }
    return negative ? static_cast<int64_t>(~value + 1) : static_cast<int64_t>(value);
}

// Round to nearest, ties to even, refusing what an int64 cannot hold.
std::optional<int64_t> RoundToInt64(double d)
{
    if (!std::isfinite(d))
        return std::nullopt;
    const double r = std::nearbyint(d);
    if (r < -9223372036854775808.0 || r >= 9223372036854775808.0)
        return std::nullopt;
    return static_cast<int64_t>(r);
}

int64_t CurrencyToInt64(Currency c)
{
    int64_t q = c.Scaled / 10000;
    const int64_t rem = c.Scaled % 10000;
    const int64_t sign = c.Scaled < 0 ? -1 : 1;
    const int64_t absRem = rem < 0 ? -rem : rem;
    if (absRem > 5000 || (absRem == 5000 && (q & 1) != 0))
        q += sign;
    return q;
}

QByteArray CurrencyToText(Currency c)
{
    const bool negative = c.Scaled < 0;
    const uint64_t magnitude = negative ? ~uint64_t(c.Scaled) + 1 : uint64_t(c.Scaled);
    QByteArray text = QByteArray::number(magnitude / 10000);
    QByteArray frac = QByteArray::number(magnitude % 10000).rightJustified(4, '0');
    while (frac.endsWith('0'))
        frac.chop(1);
    if (!frac.isEmpty())
        text += '.' + frac;
    return negative ? '-' + text : text;
}

} // namespace

bool Variant::IsNumeric() const
{
    switch (Kind()) {
    case VariantKind::Int8:
    case VariantKind::Int16:
    case VariantKind::Int32:
    case VariantKind::UInt8:
    case VariantKind::UInt16:
    case VariantKind::UInt32:
    case VariantKind::Int64:
    case VariantKind::Single:
    case VariantKind::Double:
    case VariantKind::Currency:
        return true;
    default:
        return false;
    }
}

QString Variant::KindName(VariantKind kind)
{
    static const char* const names[] = {"Empty",    "Null",   "ShortInt", "SmallInt",
                                        "Integer",  "Byte",   "Word",     "LongWord",
                                        "Int64",    "Single", "Double",   "Currency",
                                        "Boolean",  "String", "Date",     "Error"};
    return QString::fromLatin1(names[static_cast<int>(kind)]);
}

void Variant::CannotConvert(const char* target) const
{
    throw EConvertError(QStringLiteral("Could not convert variant of type (%1) into type (%2)")
                            .arg(KindName(Kind()), QLatin1String(target)));
}

int64_t Variant::ToInt64() const
{
    switch (Kind()) {
    case VariantKind::Empty:
    case VariantKind::Null:
        return 0;
    case VariantKind::Int8: return std::get<int8_t>(m_value);
    case VariantKind::Int16: return std::get<int16_t>(m_value);
    case VariantKind::Int32: return std::get<int32_t>(m_value);
    case VariantKind::UInt8: return std::get<uint8_t>(m_value);
    case VariantKind::UInt16: return std::get<uint16_t>(m_value);
    case VariantKind::UInt32: return std::get<uint32_t>(m_value);
    case VariantKind::Int64: return std::get<int64_t>(m_value);
    case VariantKind::Single:
    case VariantKind::Double:
        if (auto r = RoundToInt64(ToDouble()))
            return *r;
        CannotConvert("Int64");
    case VariantKind::Currency:
        return CurrencyToInt64(std::get<Currency>(m_value));
    case VariantKind::Boolean:
        return std::get<bool>(m_value) ? 1 : 0;
    case VariantKind::String:
        return StrToInt64(std::get<QByteArray>(m_value));
    case VariantKind::Date:
    case VariantKind::Error:
        break;
    }
    CannotConvert("Int64");
}

int32_t Variant::ToInt32() const
{
    switch (Kind()) {
    case VariantKind::String:
        return StrToInt32(std::get<QByteArray>(m_value));
    case VariantKind::Single:
    case VariantKind::Double:
    case VariantKind::Currency: {
        const int64_t v = ToInt64();
        if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
            CannotConvert("Integer");
        return static_cast<int32_t>(v);
    }
    default:
        return static_cast<int32_t>(static_cast<uint32_t>(ToInt64()));
    }
}

double Variant::ToDouble() const
{
    switch (Kind()) {
    case VariantKind::Single: return std::get<float>(m_value);
    case VariantKind::Double: return std::get<double>(m_value);
    case VariantKind::Currency: return double(std::get<Currency>(m_value).Scaled) / 10000.0;
    case VariantKind::String: {
        const QByteArray& text = std::get<QByteArray>(m_value);
        if (auto d = TryStrToFloat(text))
            return *d;
        throw EConvertError(QStringLiteral("'%1' is not a valid floating point value")
                                .arg(FromDeviceText(text)));
    }
    default:
        return double(ToInt64());
    }
}

bool Variant::ToBool() const
{
    switch (Kind()) {
    case VariantKind::Boolean: return std::get<bool>(m_value);
    case VariantKind::Single:
    case VariantKind::Double: return ToDouble() != 0.0;
    case VariantKind::String: return StrToBoolean(std::get<QByteArray>(m_value));
    default: return ToInt64() != 0;
    }
}

QByteArray Variant::ToText() const
{
    switch (Kind()) {
    case VariantKind::Empty:
    case VariantKind::Null:
        return QByteArray("");
    case VariantKind::Single:
        return QByteArray::number(double(std::get<float>(m_value)), 'g', 7);
    case VariantKind::Double:
        return QByteArray::number(std::get<double>(m_value), 'g', 15);
    case VariantKind::Currency:
        return CurrencyToText(std::get<Currency>(m_value));
    case VariantKind::Boolean:
        return std::get<bool>(m_value) ? QByteArray("True") : QByteArray("False");
    case VariantKind::String:
        return std::get<QByteArray>(m_value);
    case VariantKind::Date:
        return std::get<QDateTime>(m_value).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toLatin1();
    case VariantKind::Error:
        CannotConvert("String");
    default:
        return QByteArray::number(qlonglong(ToInt64()));
    }
}

QByteArray ToDeviceText(const QString& text)
{
    QStringEncoder encoder(kDeviceCodePage, QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        return text.toLatin1();
    return encoder.encode(text);
}

QString FromDeviceText(const QByteArray& bytes)
{
    QStringDecoder decoder(kDeviceCodePage, QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return QString::fromLatin1(bytes);
    return decoder.decode(bytes);
}

std::optional<int32_t> TryStrToInt32(QByteArrayView text)
{
    if (auto v = ParseInteger(text, 32))
        return static_cast<int32_t>(*v);
    return std::nullopt;
}

std::optional<int64_t> TryStrToInt64(QByteArrayView text)
{
    return ParseInteger(text, 64);
}

std::optional<double> TryStrToFloat(QByteArrayView text)
{
    // Checked by hand first: the library parsers also take "inf", "nan" and
    // hexadecimal floats, which are not decimal numbers.
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && IsBlank(text[i]))
        ++i;
    const qsizetype start = i;
    if (i < n && (text[i] == '+' || text[i] == '-'))
        ++i;
    int digits = 0;
    for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i)
        ++digits;
    if (i < n && text[i] == '.')
        for (++i; i < n && text[i] >= '0' && text[i] <= '9'; ++i)
            ++digits;
    if (digits == 0)
        return std::nullopt;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-'))
            ++i;
        int expDigits = 0;
        for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i)
            ++expDigits;
        if (expDigits == 0)
            return std::nullopt;
    }
    const qsizetype end = i;
    while (i < n && IsBlank(text[i]))
        ++i;
    if (i != n)
        return std::nullopt;
    bool ok = false;
    const double d = text.sliced(start, end - start).toByteArray().toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return d;
}

std::optional<bool> TryStrToBoolean(QByteArrayView text)
{
    if (text.compare(QByteArrayView("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(QByteArrayView("false"), Qt::CaseInsensitive) == 0)
        return false;
    if (auto d = TryStrToFloat(text))
        return *d != 0.0;
    return std::nullopt;
}

int32_t StrToInt32(const QByteArray& text)
{
    if (auto v = TryStrToInt32(text))
        return *v;
    throw EConvertError::NotAnInteger(FromDeviceText(text));
}

int64_t StrToInt64(const QByteArray& text)
{
    if (auto v = TryStrToInt64(text))
        return *v;
    throw EConvertError::NotAnInteger(FromDeviceText(text));
}

bool StrToBoolean(const QByteArray& text)
{
    if (auto v = TryStrToBoolean(text))
        return *v;
    throw EConvertError(QStringLiteral("'%1' is not a valid boolean value").arg(FromDeviceText(text)));
}
