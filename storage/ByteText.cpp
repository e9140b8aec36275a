#include "storage/ByteText.h"

#include "platform/HexDigit.h"

#include <cstdint>

namespace bytetext {
namespace {

bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) <= 0x20;
}

char AsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

} // namespace

QByteArray Trim(const QByteArray& s)
{
    qsizetype first = 0;
    qsizetype last = s.size();
    while (first < last && IsBlank(s[first]))
        ++first;
    while (last > first && IsBlank(s[last - 1]))
        --last;
    return s.mid(first, last - first);
}

QByteArray UpperCase(const QByteArray& s)
{
    QByteArray r(s);
    for (char& c : r)
        c = AsciiUpper(c);
    return r;
}

QByteArray LowerCase(const QByteArray& s)
{
    QByteArray r(s);
    for (char& c : r)
        c = AsciiLower(c);
    return r;
}

bool SameText(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i]))
            return false;
    }
    return true;
}

QByteArray ReplaceAll(QByteArray s, const QByteArray& from, const QByteArray& to)
{
    if (from.isEmpty())
        return s;
    return s.replace(from, to);
}

int ValInteger(const QByteArray& s)
{
    qsizetype i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    // The magnitude may reach 2^31 only for a negative number.
    const std::int64_t limit = negative ? std::int64_t(INT32_MAX) + 1 : INT32_MAX;
    std::int64_t value = 0;
    for (; i < s.size(); ++i) {
        const int d = base == 16 ? HexDigitValue(char16_t(uint8_t(s[i]))) : (s[i] >= '0' && s[i] <= '9' ? s[i] - '0' : -1);
        if (d < 0)
            break;
        const std::int64_t next = value * base + d;
        if (next > limit)
            break;
        value = next;
    }
    return static_cast<int>(negative ? -value : value);
}

} // namespace bytetext
