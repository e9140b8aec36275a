#pragma once

#include <QByteArray>
#include <QDateTime>

#include <optional>

// Time stamps are kept in the classic date-time form: days since 1899-12-30
// as a double, the fraction being the time of day. Dates before the epoch
// carry the time of day as a positive fraction subtracted from the day number.
using TDateTime = double;

namespace datetimedays {

TDateTime Encode(const QDate& date, const QTime& time);
TDateTime FromDateTime(const QDateTime& dt);
TDateTime Now();

// Calendar fields of a date-time, rounded to the millisecond; nothing for a
// value outside the years 1 to 9999 (or not a number).
std::optional<QDateTime> Decode(TDateTime value);

// The container's date-time text: "YYYY-MM-DD", then " hh:nn:ss" in 24-hour
// form unless hour, minute and second are all zero. A fixed form rather than
// the system locale's, so a file written on one machine reads on any other.
std::optional<QByteArray> FormatMfs(TDateTime value);

// Reads what FormatMfs writes, leniently: surrounding blanks, one- or
// two-digit fields, a time with or without seconds and milliseconds.
std::optional<TDateTime> ParseMfs(const QByteArray& text);

} // namespace datetimedays
