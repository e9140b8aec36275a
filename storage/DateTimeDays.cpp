#include "storage/DateTimeDays.h"

#include "storage/ByteText.h"

#include <cmath>
#include <cstdint>

namespace datetimedays {
namespace {

constexpr std::int64_t MSecsPerDay = 86400000;
// 0001-01-01 and 9999-12-31 as day numbers.
constexpr double MinDays = -693593.0;
constexpr double MaxDays = 2958466.0;

QDate Epoch()
{
    return QDate(1899, 12, 30);
}

// Digits from position i, at least one and at most maxDigits; advances i.
std::optional<int> ReadNumber(const QByteArray& s, qsizetype& i, int maxDigits)
{
    int value = 0;
    int digits = 0;
    while (i < s.size() && digits < maxDigits && s[i] >= '0' && s[i] <= '9') {
        value = value * 10 + (s[i] - '0');
        ++digits;
        ++i;
    }
    if (digits == 0)
        return std::nullopt;
    return value;
}

bool Expect(const QByteArray& s, qsizetype& i, char c)
{
    if (i < s.size() && s[i] == c) {
        ++i;
        return true;
    }
    return false;
}

} // namespace

TDateTime Encode(const QDate& date, const QTime& time)
{
    const double days = double(Epoch().daysTo(date));
    const double fraction = double(time.msecsSinceStartOfDay()) / double(MSecsPerDay);
    return days >= 0 ? days + fraction : days - fraction;
}

TDateTime FromDateTime(const QDateTime& dt)
{
    return Encode(dt.date(), dt.time());
}

TDateTime Now()
{
    return FromDateTime(QDateTime::currentDateTime());
}

std::optional<QDateTime> Decode(TDateTime value)
{
    if (!std::isfinite(value) || value <= MinDays - 1 || value >= MaxDays)
        return std::nullopt;
    const std::int64_t total = std::llround(value * double(MSecsPerDay));
    const std::int64_t days = total / MSecsPerDay;
    const std::int64_t msecs = (total < 0 ? -total : total) % MSecsPerDay;
    const QDate date = Epoch().addDays(days);
    if (!date.isValid() || date.year() < 1 || date.year() > 9999)
        return std::nullopt;
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(int(msecs)));
}

std::optional<QByteArray> FormatMfs(TDateTime value)
{
    const std::optional<QDateTime> dt = Decode(value);
    if (!dt)
        return std::nullopt;
    const QDate d = dt->date();
    const QTime t = dt->time();
    QByteArray text = QByteArray::number(d.year()).rightJustified(4, '0') + '-'
        + QByteArray::number(d.month()).rightJustified(2, '0') + '-'
        + QByteArray::number(d.day()).rightJustified(2, '0');
    if (t.hour() != 0 || t.minute() != 0 || t.second() != 0) {
        text += ' ' + QByteArray::number(t.hour()).rightJustified(2, '0') + ':'
            + QByteArray::number(t.minute()).rightJustified(2, '0') + ':'
            + QByteArray::number(t.second()).rightJustified(2, '0');
    }
    return text;
}

std::optional<TDateTime> ParseMfs(const QByteArray& text)
{
    const QByteArray s = bytetext::Trim(text);
    qsizetype i = 0;
    const auto year = ReadNumber(s, i, 4);
    if (!year || !Expect(s, i, '-'))
        return std::nullopt;
    const auto month = ReadNumber(s, i, 2);
    if (!month || !Expect(s, i, '-'))
        return std::nullopt;
    const auto day = ReadNumber(s, i, 2);
    if (!day)
        return std::nullopt;
    const QDate date(*year, *month, *day);
    if (!date.isValid() || *year < 1)
        return std::nullopt;
    if (i == s.size())
        return Encode(date, QTime(0, 0));

    if (static_cast<unsigned char>(s[i]) > 0x20)
        return std::nullopt;
    while (i < s.size() && static_cast<unsigned char>(s[i]) <= 0x20)
        ++i;
    const auto hour = ReadNumber(s, i, 2);
    if (!hour || !Expect(s, i, ':'))
        return std::nullopt;
    const auto minute = ReadNumber(s, i, 2);
    if (!minute)
        return std::nullopt;
    int second = 0;
    int msec = 0;
    if (Expect(s, i, ':')) {
        const auto sec = ReadNumber(s, i, 2);
        if (!sec)
            return std::nullopt;
        second = *sec;
        if (Expect(s, i, '.')) {
            const qsizetype start = i;
            const auto ms = ReadNumber(s, i, 3);
            if (!ms)
                return std::nullopt;
            // ".5" is half a second, not five milliseconds.
            msec = *ms;
            for (qsizetype n = i - start; n < 3; ++n)
                msec *= 10;
        }
    }
    if (i != s.size())
        return std::nullopt;
    const QTime time(*hour, *minute, second, msec);
    if (!time.isValid())
        return std::nullopt;
    return Encode(date, time);
}

} // namespace datetimedays
