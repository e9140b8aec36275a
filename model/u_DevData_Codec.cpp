// How a TDataItem reads and writes its field in the record bytes.
//
// Numbers are little-endian. A bit field (below 8 bits) lives in the one
// byte at Position, bits BitsOffset upwards. KeepMask lies over the first
// four bytes as a little-endian word (over the field's own bits for a bit
// field) and is used only when at most four bytes move.

#include "model/u_DevData_Item.h"

#include "model/u_DevData_Bytes.h"
#include "model/u_DevData_Text.h"
#include "platform/Exception.h"

#include <algorithm>
#include <cstring>

namespace {

uint32_t LoadLE(std::span<const uint8_t> bytes, size_t n)
{
    uint32_t w = 0;
    for (size_t i = 0; i < n && i < 4; ++i)
        w |= uint32_t(bytes[i]) << (8 * i);
    return w;
}

void StoreLE(std::span<uint8_t> bytes, size_t n, uint32_t w)
{
    for (size_t i = 0; i < n && i < 4; ++i)
        bytes[i] = uint8_t(w >> (8 * i));
}

[[noreturn]] void Incompatible()
{
    throw Exception(QStringLiteral("Nekompatibilni typ hodnoty."));
}

} // namespace

int32_t TDataItem::ReadRaw(std::span<const uint8_t> Field, std::span<uint8_t> Dest) const
{
    const size_t byteSize = GetByteSize();
    if (Dest.empty())
        return int32_t(byteSize);

    if (IsBitField()) {
        uint32_t v = 0;
        if (FSizeBits > 0)
            v = (uint32_t(Field[0]) & BitMask(uint8_t(FSizeBits), FBitsOffset)) >> FBitsOffset;
        if (FKeepMask != 0)
            v &= ~FKeepMask;
        const size_t n = std::min<size_t>(Dest.size(), 4);
        std::fill_n(Dest.begin(), n, uint8_t(0));
        Dest[0] = uint8_t(v);
        return int32_t(n);
    }

    size_t n = Dest.size();
    if (n > byteSize) {
        if (byteSize < 4)
            std::fill_n(Dest.begin(), std::min<size_t>(4, n), uint8_t(0));
        n = byteSize;
    }
    if (FKeepMask != 0 && n <= 4)
        StoreLE(Dest, n, LoadLE(Field, n) & ~FKeepMask);
    else
        std::copy_n(Field.begin(), n, Dest.begin());
    return int32_t(n);
}

void TDataItem::WriteRaw(std::span<uint8_t> Field, std::span<const uint8_t> Src) const
{
    if (Src.empty())
        return;
    if (IsBitField()) {
        if (FSizeBits == 0)
            return;
        uint32_t m = BitMask(uint8_t(FSizeBits), 0);
        if (FKeepMask != 0)
            m &= ~FKeepMask;
        const uint32_t b = Field[0];
        Field[0] = uint8_t((b & ~(m << FBitsOffset)) | ((uint32_t(Src[0]) & m) << FBitsOffset));
        return;
    }
    const size_t n = std::min<size_t>(Src.size(), GetByteSize());
    if (FKeepMask != 0 && n <= 4) {
        const uint32_t kept = LoadLE(Field, n) & FKeepMask;
        StoreLE(Field, n, kept | (LoadLE(Src, n) & ~FKeepMask));
    } else {
        std::copy_n(Src.begin(), n, Field.begin());
    }
}

int32_t TDataItem::GetRawValue(std::span<uint8_t> Dest) const
{
    return ReadRaw(GetDataPtr(), Dest);
}

bool TDataItem::SetRawValue(std::span<const uint8_t> Src)
{
    if (FReadOnly || Src.empty())
        return false;
    WriteRaw(GetDataPtr(), Src);
    return true;
}

QByteArray TDataItem::GetRawString() const
{
    QByteArray scratch(GetByteSize(), '\0');
    GetRawValue(ByteSpan(scratch));
    return scratch;
}

void TDataItem::SetRawString(const QByteArray& Bytes)
{
    QByteArray fitted = Bytes.left(GetByteSize());
    fitted.append(GetByteSize() - fitted.size(), '\0');
    SetRawValue(ConstByteSpan(fitted));
}

QByteArray TDataItem::ReadScratch() const
{
    size_t w = GetByteSize();
    const bool number = FDataType == dtEnum || FDataType == dtSigned || FDataType == dtUnsigned
                        || FDataType == dtBool;
    if (w < 4 && number)
        w = 4;
    // Zero beyond w, so a short IP or MAC item reads as its own bytes
    // zero-extended and nothing past the item is ever looked at.
    QByteArray scratch(qsizetype(std::max<size_t>(w, 8)), '\0');
    ReadRaw(GetDataPtr(), ByteSpan(scratch).first(w));
    scratch.truncate(qsizetype(std::max<size_t>(w, 6)));
    return scratch;
}

uint32_t TDataItem::SignExtend(uint32_t r) const
{
    if (FSizeBits >= 32)
        return r;
    const uint32_t signBit = uint32_t(1) << (FSizeBits - 1);
    return (r & signBit) ? (r | ~(signBit - 1)) : r;
}

bool TDataItem::DecodeBool(uint32_t r) const
{
    if (int64_t(r) == FMinValue)
        return false;
    return r != 0 || FMaxValue == 0;
}

Variant TDataItem::GetValue() const
{
    const uint16_t byteSize = GetByteSize();
    if (byteSize == 0)
        return {};
    const QByteArray scratch = ReadScratch();
    const uint32_t r = LoadLE(ConstByteSpan(scratch), 4);
    switch (FDataType) {
    case dtEnum:
    case dtUnsigned:
        return Variant(r);
    case dtSigned:
        return Variant(int32_t(SignExtend(r)));
    case dtBool:
        return Variant(DecodeBool(r));
    case dtString: {
        const QByteArray field = scratch.left(byteSize);
        const qsizetype end = field.indexOf('\0');
        return Variant(end < 0 ? field : field.left(end));
    }
    case dtIPAddress:
        return Variant(IPToStr(r).toLatin1());
    case dtMACAddress:
        return Variant(MACToStr(ConstByteSpan(scratch).first<6>()).toLatin1());
    case dtHexa:
        return Variant(BinToHex(scratch.left(byteSize)).toLatin1());
    default:
        return {};
    }
}

int64_t TDataItem::GetAsInt64() const
{
    const uint16_t byteSize = GetByteSize();
    if (byteSize == 0)
        throw Exception(QStringLiteral("Zadna hodnota k prevedeni na cislo."));
    const QByteArray scratch = ReadScratch();
    const uint32_t r = LoadLE(ConstByteSpan(scratch), 4);
    switch (FDataType) {
    case dtEnum:
    case dtUnsigned:
    case dtIPAddress:
        return r;
    case dtSigned:
        return int32_t(SignExtend(r));
    case dtBool:
        return DecodeBool(r) ? 1 : 0;
    case dtString: {
        const QByteArray field = scratch.left(byteSize);
        const qsizetype end = field.indexOf('\0');
        return StrToInt32(end < 0 ? field : field.left(end));
    }
    case dtMACAddress: {
        uint64_t v = 0;
        for (int i = 5; i >= 0; --i)
            v = (v << 8) | uint8_t(scratch[i]);
        return int64_t(v);
    }
    case dtHexa: {
        if (byteSize > 8)
            throw Exception(QStringLiteral("Data nelze prevest na cislo."));
        uint64_t v = 0;
        for (int i = byteSize - 1; i >= 0; --i)
            v = (v << 8) | uint8_t(scratch[i]);
        return int64_t(v);
    }
    default:
        return 0;
    }
}

std::optional<int32_t> TDataItem::FindEnumValue(const QByteArray& Text) const
{
    for (const TDEnumItem& e : FEnumItems)
        if (ToDeviceText(e.Name) == Text)
            return e.Value;
    return std::nullopt;
}

std::optional<QByteArray> TDataItem::EncodeValue(const Variant& Value) const
{
    const uint16_t byteSize = GetByteSize();
    if (Value.IsNull() || byteSize == 0 || FDataType == dtUnknown)
        return std::nullopt;
    if (FDataType == dtMACAddress && byteSize < 6)
        throw Exception(QStringLiteral("Nedostatek prostoru pro MAC adresu."));

    size_t w = byteSize;
    const bool number = FDataType == dtEnum || FDataType == dtBool || FDataType == dtSigned
                        || FDataType == dtUnsigned || FDataType == dtIPAddress;
    if (w < 4 && number)
        w = 4;
    QByteArray scratch(qsizetype(w), '\0');
    auto putNumber = [&](uint32_t n) { StoreLE(ByteSpan(scratch), 4, n); };
    auto putBytes = [&](const QByteArray& bytes) {
        std::copy_n(bytes.constData(), std::min<qsizetype>(bytes.size(), scratch.size()),
                    scratch.data());
    };

    switch (FDataType) {
    case dtEnum:
    case dtUnsigned:
    case dtSigned: {
        int32_t n = 0;
        if (Value.IsNumeric()) {
            n = FDataType == dtSigned ? Value.ToInt32() : int32_t(uint32_t(Value.ToInt64()));
        } else if (Value.IsText()) {
            const QByteArray text = Value.ToText();
            const std::optional<int32_t> named = FindEnumValue(text);
            n = named ? *named : StrToInt32(text);
        } else if (Value.IsBoolean()) {
            n = Value.ToBool() ? 1 : 0;
        } else {
            Incompatible();
        }
        // The item's own sign bit must be set, not just bit 31.
        if (FDataType == dtSigned && n < 0 && FSizeBits != 32)
            n = int32_t((uint32_t(n) & 0x7FFFFFFFu) | BitMask(1, uint8_t(FSizeBits - 1)));
        putNumber(uint32_t(n));
        break;
    }
    case dtBool: {
        uint32_t n = 0;
        if (Value.IsNumeric()) {
            n = uint32_t(Value.ToInt32());
        } else if (Value.IsText()) {
            const QByteArray text = Value.ToText();
            if (auto i = TryStrToInt32(text))
                n = uint32_t(*i);
            else
                n = uint32_t(StrToBoolean(text) ? FMaxValue : FMinValue);
        } else if (Value.IsBoolean()) {
            n = uint32_t(Value.ToBool() ? FMaxValue : FMinValue);
        } else {
            Incompatible();
        }
        putNumber(n);
        break;
    }
    case dtString:
        putBytes(Value.ToText());
        break;
    case dtIPAddress:
        if (Value.IsNumeric())
            putNumber(uint32_t(Value.ToInt64()));
        else if (Value.IsText())
            putNumber(StrToIP(FromDeviceText(Value.ToText())));
        else
            Incompatible();
        break;
    case dtMACAddress:
        if (Value.Kind() == VariantKind::Int64 || Value.Kind() == VariantKind::Double) {
            const uint64_t v = uint64_t(Value.ToInt64());
            for (int i = 0; i < 6; ++i)
                scratch[i] = char(uint8_t(v >> (8 * i)));
        } else if (Value.IsText()) {
            // Fewer than six bytes leave zeros; the count is not checked.
            StrToMAC(FromDeviceText(Value.ToText()), ByteSpan(scratch).first<6>());
        } else {
            Incompatible();
        }
        break;
    case dtHexa:
        putBytes(HexToBin(FromDeviceText(Value.ToText())));
        break;
    default:
        return std::nullopt;
    }
    return scratch;
}

void TDataItem::SetValue(const Variant& Value)
{
    if (auto scratch = EncodeValue(Value))
        SetRawValue(ConstByteSpan(*scratch));
}
