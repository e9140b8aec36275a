#pragma once

#include <QByteArray>

#include <optional>

// Text routines on byte strings with the classic semantics the containers were
// designed on: case folding touches ASCII letters only, trimming removes every
// byte up to and including the space, and nothing stops at a NUL byte.
namespace bytetext {

QByteArray Trim(const QByteArray& s);
QByteArray UpperCase(const QByteArray& s);
QByteArray LowerCase(const QByteArray& s);
bool SameText(const QByteArray& a, const QByteArray& b);

// Every occurrence of `from` (not empty) replaced by `to`, scanning left to right.
QByteArray ReplaceAll(QByteArray s, const QByteArray& from, const QByteArray& to);

// Lenient integer reading: leading blanks, an optional sign, decimal digits or
// hexadecimal ones after "$" or "0x". When the text does not convert
// completely, the number formed by its leading valid part is taken (0 when
// there is none). Digits that would leave the 32-bit range end the valid part.
int ValInteger(const QByteArray& s);

} // namespace bytetext
