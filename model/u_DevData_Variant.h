#pragma once

// The value that crosses every item, packet and manager value operation of
// the device model, with the conversion rules between its kinds.

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>
#include <type_traits>
#include <variant>

// 64-bit fixed point with four decimals: Scaled = value * 10000.
struct Currency
{
    int64_t Scaled = 0;
    bool operator==(const Currency&) const = default;
};

// An error code carried as a value; it converts to nothing.
struct VariantError
{
    int32_t Code = 0;
    bool operator==(const VariantError&) const = default;
};

struct VariantNull
{
    bool operator==(const VariantNull&) const = default;
};

// The order matches the alternatives of Variant's storage.
enum class VariantKind : uint8_t
{
    Empty,
    Null,
    Int8,
    Int16,
    Int32,
    UInt8,
    UInt16,
    UInt32,
    Int64,
    Single,
    Double,
    Currency,
    Boolean,
    String,
    Date,
    Error,
};

// A tagged value. Text (kind String) is a byte string in the device's code
// page, windows-1250, exactly as a dtString field holds it in a record: the
// model never converts it. Conversion to and from the user interface's
// Unicode text happens at the UI boundary (ToDeviceText / FromDeviceText
// below); the one place inside the model that meets Unicode is the mapping
// document, whose attribute texts are encoded as they enter a Variant.
//
// Conversions (ToInt64, ToInt32, ToDouble, ToBool, ToText) raise
// EConvertError when the value has no such form. Empty and Null convert to
// 0, false and the empty text, so a missing item reads as an empty value.
class Variant
{
public:
    Variant() = default;
    Variant(int8_t v) : m_value(v) {}
    Variant(int16_t v) : m_value(v) {}
    Variant(int32_t v) : m_value(v) {}
    Variant(uint8_t v) : m_value(v) {}
    Variant(uint16_t v) : m_value(v) {}
    Variant(uint32_t v) : m_value(v) {}
    Variant(int64_t v) : m_value(v) {}
    // qint64 is long long, a type apart from int64_t on some platforms.
    template <class T>
        requires(std::is_same_v<T, long long> && !std::is_same_v<long long, int64_t>)
    Variant(T v) : m_value(int64_t(v))
    {
    }
    Variant(float v) : m_value(v) {}
    Variant(double v) : m_value(v) {}
    Variant(Currency v) : m_value(v) {}
    Variant(bool v) : m_value(v) {}
    Variant(const QByteArray& text) : m_value(text) {}
    Variant(const char* text) : m_value(QByteArray(text)) {}
    Variant(const QDateTime& v) : m_value(v) {}
    Variant(VariantError v) : m_value(v) {}

    static Variant Null() { Variant v; v.m_value = VariantNull{}; return v; }

    VariantKind Kind() const { return static_cast<VariantKind>(m_value.index()); }
    bool IsEmpty() const { return Kind() == VariantKind::Empty; }
    bool IsNull() const { return Kind() == VariantKind::Null; }
    bool IsText() const { return Kind() == VariantKind::String; }
    bool IsBoolean() const { return Kind() == VariantKind::Boolean; }
    // The integer kinds and the floating kinds (single, double, currency).
    bool IsNumeric() const;

    int64_t ToInt64() const;
    // Integer kinds keep their low 32 bits; floating kinds must fit.
    int32_t ToInt32() const;
    double ToDouble() const;
    bool ToBool() const;
    QByteArray ToText() const;

    static QString KindName(VariantKind kind);

    // Same kind and same value.
    bool operator==(const Variant&) const = default;

private:
    [[noreturn]] void CannotConvert(const char* target) const;

    std::variant<std::monostate, VariantNull, int8_t, int16_t, int32_t, uint8_t, uint16_t,
                 uint32_t, int64_t, float, double, Currency, bool, QByteArray, QDateTime,
                 VariantError>
        m_value;
};

// The UI boundary: Unicode text to the device's code page and back. A
// character windows-1250 lacks becomes the SUB byte 0x1A.
QByteArray ToDeviceText(const QString& text);
QString FromDeviceText(const QByteArray& bytes);

// Text to number in the forms the model accepts, without raising:
// integer text is optional leading blanks, an optional sign, then decimal
// digits or hexadecimal digits after "$", "x" or "0x" (hexadecimal wraps to
// the width); a decimal number is optional blanks, sign, digits with an
// optional fraction and exponent, optional blanks; a boolean is "true" or
// "false" in any letter case, or a decimal number (non-zero is true).
std::optional<int32_t> TryStrToInt32(QByteArrayView text);
std::optional<int64_t> TryStrToInt64(QByteArrayView text);
std::optional<double> TryStrToFloat(QByteArrayView text);
std::optional<bool> TryStrToBoolean(QByteArrayView text);

// The raising forms; the messages name the text.
int32_t StrToInt32(const QByteArray& text);
int64_t StrToInt64(const QByteArray& text);
bool StrToBoolean(const QByteArray& text);
