#include "model/u_DevData_Item.h"

#include "model/u_DevData_Bytes.h"
#include "model/u_DevData_Text.h"
#include "model/u_DevData_Internal.h"
#include "platform/Exception.h"

#include <QDomElement>

#include <algorithm>

using devdata_xml::AsciiLower;
using devdata_xml::Attribute;

TDataItemType StrToDataItemType(const QString& Keyword)
{
    struct Entry
    {
        const char16_t* keyword;
        TDataItemType type;
    };
    static constexpr Entry table[] = {
        {u"enum", dtEnum},         {u"unsig", dtUnsigned},      {u"unsigned", dtUnsigned},
        {u"unsignumber", dtUnsigned}, {u"number", dtUnsigned},  {u"word", dtUnsigned},
        {u"sig", dtSigned},        {u"signed", dtSigned},       {u"signumber", dtSigned},
        {u"int", dtSigned},        {u"string", dtString},       {u"char", dtString},
        {u"ip", dtIPAddress},      {u"ipaddress", dtIPAddress}, {u"mac", dtMACAddress},
        {u"macaddress", dtMACAddress}, {u"hexa", dtHexa},       {u"bool", dtBool},
        {u"boolean", dtBool},
    };
    const QString lower = AsciiLower(Keyword);
    for (const Entry& entry : table)
        if (lower == QStringView(entry.keyword))
            return entry.type;
    return dtUnknown;
}

uint32_t BitMask(uint8_t N, uint8_t Offset)
{
    const uint32_t mask = N >= 32 ? 0xFFFFFFFFu : (uint32_t(1) << N) - 1;
    return mask << (Offset % 32);
}

int64_t Pow2(uint8_t N)
{
    return N < 64 ? static_cast<int64_t>(uint64_t(1) << N) : 0;
}

TDataItem::TDataItem(const QString& Name, std::span<uint8_t> Buffer, TDataItemType DataType,
                     int32_t Position, uint16_t SizeBits, uint8_t BitsOffset)
    : FDataType(DataType), FSizeBits(SizeBits), FBitsOffset(BitsOffset), FBuffer(Buffer),
      FPosition(Position), FName(Name)
{
    const int64_t end = int64_t(Position) + GetByteSize();
    const bool bitsInside = !IsBitField() || int(BitsOffset) + SizeBits <= 8;
    if (Position < 0 || end > int64_t(Buffer.size()) || !bitsInside)
        throw Exception(QStringLiteral("Polozka ") + Name + QStringLiteral(" nelezi v zaznamu."));
    SetRangeByType();
}

TDataItem::~TDataItem() = default;

void TDataItem::SetRangeByType()
{
    // Unsigned arithmetic: 2^63 and its negation must not overflow.
    const uint8_t n = uint8_t(FSizeBits & 0xFF);
    switch (FDataType) {
    case dtEnum:
    case dtUnsigned:
        FMinValue = 0;
        FMaxValue = static_cast<int64_t>(uint64_t(Pow2(n)) - 1);
        break;
    case dtBool:
        FMinValue = 0;
        FMaxValue = 1;
        break;
    case dtSigned: {
        const uint64_t half = uint64_t(Pow2(uint8_t(n - 1)));
        FMinValue = static_cast<int64_t>(uint64_t(0) - half);
        FMaxValue = static_cast<int64_t>(half - 1);
        break;
    }
    case dtIPAddress:
        FMinValue = 0;
        FMaxValue = 0xFFFFFFFFLL;
        break;
    case dtMACAddress:
        FMinValue = 0;
        FMaxValue = 0xFFFFFFFFFFFFLL;
        break;
    default:
        FMinValue = 0;
        FMaxValue = 0;
        break;
    }
}

std::unique_ptr<TDataItem> TDataItem::CreateFromXML(const QDomElement& iNode,
                                                    std::span<uint8_t> Buffer)
{
    if (iNode.isNull())
        throw Exception(QStringLiteral("TDataItem::Konstruktoru nebyl zadan nod."));

    // The place of the item: a failure here means no item.
    TDataItemType type = dtUnknown;
    if (iNode.hasAttribute(QStringLiteral("type")))
        type = StrToDataItemType(iNode.attribute(QStringLiteral("type")));
    uint16_t sizeBits = 0;
    if (auto size = Attribute(iNode, "size"))
        sizeBits = uint16_t(uint32_t(StrToInt32(*size)) * 8u);
    else if (auto bits = Attribute(iNode, "sizebits"))
        sizeBits = uint16_t(StrToInt32(*bits));
    int32_t position = 0;
    if (auto pos = Attribute(iNode, "position"))
        position = StrToInt32(*pos);
    uint8_t bitsOffset = 0;
    if (auto ofs = Attribute(iNode, "bitsoffset"))
        bitsOffset = uint8_t(StrToInt32(*ofs));

    auto item = std::make_unique<TDataItem>(iNode.attribute(QStringLiteral("name")), Buffer, type,
                                            position, sizeBits, bitsOffset);
    if (iNode.hasAttribute(QStringLiteral("alias")))
        item->FAlias = iNode.attribute(QStringLiteral("alias"));

    // Each group below stops at its first value that does not convert and
    // keeps what it set before; the item is made all the same.
    try {
        if (auto v = Attribute(iNode, "minvalue")) {
            const int64_t min = StrToInt64(*v);
            if (item->FMinValue <= min && min <= item->FMaxValue)
                item->FMinValue = min;
        } else if (auto f = Attribute(iNode, "false_value")) {
            item->FMinValue = StrToInt64(*f);
        }
        if (auto v = Attribute(iNode, "maxvalue")) {
            const int64_t max = StrToInt64(*v);
            if (item->FMinValue <= max && max <= item->FMaxValue)
                item->FMaxValue = max;
        } else if (auto t = Attribute(iNode, "true_value")) {
            item->FMaxValue = StrToInt64(*t);
        }
    } catch (const Exception&) {
    }

    if (iNode.hasAttribute(QStringLiteral("caption")))
        item->FCaption = iNode.attribute(QStringLiteral("caption"));

    try {
        if (auto mask = Attribute(iNode, "bitmask"))
            item->FKeepMask = ~uint32_t(StrToInt64(*mask));
        else if (auto keep = Attribute(iNode, "bitmask_negative"))
            item->FKeepMask = uint32_t(StrToInt64(*keep));
    } catch (const Exception&) {
    }

    // Range and mask are settled first, so "true"/"false" here encode as
    // the document's true_value/false_value.
    try {
        if (auto init = Attribute(iNode, "init_value"))
            item->SetInitText(Variant(*init));
        else if (iNode.hasAttribute(QStringLiteral("init_value_hexa")))
            item->SetInitRaw(HexToBin(iNode.attribute(QStringLiteral("init_value_hexa"))));
        if (auto def = Attribute(iNode, "default_value"))
            item->SetDefaultText(Variant(*def));
        else if (iNode.hasAttribute(QStringLiteral("default_value_hexa")))
            item->SetDefaultRaw(HexToBin(iNode.attribute(QStringLiteral("default_value_hexa"))));
    } catch (const Exception&) {
    }

    item->ReadEnumItems(iNode);
    if (item->FDataType == dtBool && item->FEnumItems.empty()) {
        item->AddEnumItem(QStringLiteral("True"), int32_t(uint32_t(item->FMaxValue)));
        item->AddEnumItem(QStringLiteral("False"), int32_t(uint32_t(item->FMinValue)));
    }

    try {
        if (auto ro = Attribute(iNode, "readonly"))
            item->FReadOnly = StrToBoolean(*ro);
    } catch (const Exception&) {
    }
    return item;
}

void TDataItem::ReadEnumItems(const QDomElement& iNode)
{
    int32_t last = -1;
    devdata_xml::ForEachChild(iNode, QLatin1String("enumitem"), [&](const QDomElement& child) {
        if (!child.hasAttribute(QStringLiteral("name")))
            return;
        try {
            // Without a value the numbering goes on from the largest so far.
            int32_t value = int32_t(uint32_t(last) + 1);
            if (auto v = Attribute(child, "value"))
                value = StrToInt32(*v);
            const QString mark = child.attribute(QStringLiteral("default"));
            if (child.hasAttribute(QStringLiteral("default"))
                && (mark == QLatin1String("default") || mark == QLatin1String("true")))
                FDefaultEnumIndex = int32_t(FEnumItems.size());
            last = std::max(last, value);
            AddEnumItem(child.attribute(QStringLiteral("name")), value);
        } catch (const Exception&) {
        }
    });
}

uint16_t TDataItem::GetByteSize() const
{
    return uint16_t(FSizeBits / 8 + (FSizeBits % 8 != 0 ? 1 : 0));
}

std::span<uint8_t> TDataItem::GetDataPtr() const
{
    return FBuffer.subspan(size_t(FPosition), GetByteSize());
}

int32_t TDataItem::GetEnumCount() const
{
    return int32_t(FEnumItems.size());
}

const TDEnumItem* TDataItem::GetEnumItem(int32_t Index) const
{
    if (Index < 0 || Index >= GetEnumCount())
        return nullptr;
    return &FEnumItems[size_t(Index)];
}

void TDataItem::AddEnumItem(const QString& Name, int32_t Value)
{
    FEnumItems.push_back(TDEnumItem{Value, Name});
}

// Stored values are encoded and read back by the same codec as the record,
// over their own bytes.

void TDataItem::StoreText(QByteArray& Store, const Variant& Value)
{
    Store.clear();
    if (Value.IsNull())
        return;
    QByteArray scratch(GetByteSize(), '\0');
    if (auto encoded = EncodeValue(Value))
        WriteRaw(ByteSpan(scratch), ConstByteSpan(*encoded));
    Store = scratch;
}

void TDataItem::StoreRaw(QByteArray& Store, const QByteArray& Bytes)
{
    Store.clear();
    if (Bytes.isEmpty())
        return;
    QByteArray scratch(GetByteSize(), '\0');
    QByteArray fitted = Bytes.left(scratch.size());
    fitted.append(scratch.size() - fitted.size(), '\0');
    WriteRaw(ByteSpan(scratch), ConstByteSpan(fitted));
    Store = scratch;
}

QByteArray TDataItem::ReadStored(const QByteArray& Store) const
{
    if (Store.isEmpty())
        return {};
    QByteArray raw(GetByteSize(), '\0');
    ReadRaw(ConstByteSpan(Store), ByteSpan(raw));
    return raw;
}

bool TDataItem::ApplyStored(const QByteArray& Store)
{
    if (Store.isEmpty())
        return false;
    SetRawString(ReadStored(Store));
    return true;
}

void TDataItem::SetInitText(const Variant& Value) { StoreText(FInitValue, Value); }
void TDataItem::SetDefaultText(const Variant& Value) { StoreText(FDefaultValue, Value); }
void TDataItem::SetInitRaw(const QByteArray& Bytes) { StoreRaw(FInitValue, Bytes); }
void TDataItem::SetDefaultRaw(const QByteArray& Bytes) { StoreRaw(FDefaultValue, Bytes); }
QByteArray TDataItem::GetInitRaw() const { return ReadStored(FInitValue); }
QByteArray TDataItem::GetDefaultRaw() const { return ReadStored(FDefaultValue); }
bool TDataItem::ApplyInit() { return ApplyStored(FInitValue); }
bool TDataItem::ApplyDefault() { return ApplyStored(FDefaultValue); }
