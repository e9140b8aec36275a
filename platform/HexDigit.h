#pragma once

// The value of an ASCII hexadecimal digit (either case), -1 for anything
// else. Only ASCII counts: Unicode digits of other scripts are not digits
// in addresses, records or files.
constexpr int HexDigitValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}
