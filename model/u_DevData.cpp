#include "model/u_DevData.h"

#include "model/u_DevData_Internal.h"
#include "platform/Exception.h"

#include <QDomElement>

#include <algorithm>

namespace devdata_xml {

QString AsciiLower(const QString& text)
{
    QString lower = text;
    for (QChar& c : lower)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + ('a' - 'A'));
    return lower;
}

std::optional<QByteArray> Attribute(const QDomElement& e, const char* name)
{
    const QString key = QString::fromLatin1(name);
    if (!e.hasAttribute(key))
        return std::nullopt;
    return ToDeviceText(e.attribute(key));
}

} // namespace devdata_xml

namespace {

const QString kHeaderItem = QStringLiteral("$header");

Variant ValueOf(const TDataItem* item)
{
    return item ? item->GetValue() : Variant::Null();
}

// `name` is the name or path as the caller gave it.
void SetValueOf(TDataItem* item, const QString& name, const Variant& value)
{
    if (!item)
        throw Exception(QStringLiteral("Polozka ") + name + QStringLiteral(" nebyla nalezena."));
    item->SetValue(value);
}

TDataPacketType StrToPacketType(const QString& keyword)
{
    const QString lower = devdata_xml::AsciiLower(keyword);
    if (lower == QLatin1String("setup") || lower == QLatin1String("setuprecord"))
        return ptSetup;
    if (lower == QLatin1String("query") || lower == QLatin1String("queryrecord"))
        return ptQuery;
    if (lower == QLatin1String("set") || lower == QLatin1String("setrecord"))
        return ptSet;
    return ptNone;
}

} // namespace

// ---- TDataPacket -------------------------------------------------------

TDataPacket::TDataPacket(const QString& Name, int32_t Size, const THeaders& Headers,
                         TDataPacketType PacketType)
{
    Init(Name, Size, Headers, PacketType);
}

TDataPacket::TDataPacket(const QDomElement& iNode)
{
    if (iNode.isNull())
        throw Exception(QStringLiteral("TDataPacket::Create> iNode je nil."));
    using devdata_xml::Attribute;
    int32_t size = 0;
    if (auto s = Attribute(iNode, "size"))
        size = StrToInt32(*s);
    THeaders headers;
    const char* const codes[] = {"h_query", "h_answer", "h_set", "h_setanswer"};
    for (size_t k = 0; k < headers.size(); ++k)
        headers[k] = iNode.attribute(QString::fromLatin1(codes[k]));
    TDataPacketType type = ptNone;
    if (iNode.hasAttribute(QStringLiteral("type")))
        type = StrToPacketType(iNode.attribute(QStringLiteral("type")));
    Init(iNode.attribute(QStringLiteral("name")), size, headers, type);
    if (iNode.hasAttribute(QStringLiteral("alias")))
        FAlias = iNode.attribute(QStringLiteral("alias"));

    devdata_xml::ForEachChild(iNode, QLatin1String("dataitem"),
                              [this](const QDomElement& child) { AddItemFromXML(child); });
    ApplyInitValues();
}

TDataPacket::~TDataPacket() = default;

void TDataPacket::Init(const QString& Name, int32_t Size, const THeaders& Headers,
                       TDataPacketType PacketType)
{
    // A hostile document must not make us allocate gigabytes; no datagram
    // can carry a larger record anyway.
    if (Size < 0 || Size > MaxRecordSize)
        throw Exception(QStringLiteral("TDataPacket::Create> Neplatna velikost zaznamu %1.")
                            .arg(Size));
    FName = Name;
    FLoaded = false;
    FData.assign(size_t(Size), 0);
    FHeaders = Headers;
    FPacketType = PacketType;
}

TDataItem* TDataPacket::Items(int32_t Index) const
{
    if (Index < 0 || Index >= ItemCount())
        return nullptr;
    return FItems[size_t(Index)].get();
}

int TDataPacket::AddItem(std::unique_ptr<TDataItem> Item)
{
    // An item on any other buffer would read memory this packet does not
    // own, and dangle once that buffer is gone.
    if (!Item || Item->Buffer().data() != FData.data() || Item->Buffer().size() != FData.size())
        return -1;
    FItems.push_back(std::move(Item));
    return ItemCount() - 1;
}

int TDataPacket::AddItemFromXML(const QDomElement& node)
{
    try {
        return AddItem(TDataItem::CreateFromXML(node, GetDataPtr()));
    } catch (const Exception&) {
        return -1;
    }
}

void TDataPacket::ClearItems()
{
    FItems.clear();
}

TDataItem* TDataPacket::FindItem(const QString& Name) const
{
    for (const auto& item : FItems)
        if (item->Name() == Name)
            return item.get();
    for (const auto& item : FItems)
        if (item->GetAlias() == Name)
            return item.get();
    return nullptr;
}

Variant TDataPacket::GetValue(const QString& Name) const
{
    return ValueOf(FindItem(Name));
}

void TDataPacket::SetValue(const QString& Name, const Variant& Value)
{
    SetValueOf(FindItem(Name), Name, Value);
}

int TDataPacket::ApplyInitValues()
{
    int count = 0;
    for (const auto& item : FItems)
        if (item->ApplyInit())
            ++count;
    return count;
}

int TDataPacket::ApplyDefaults()
{
    int count = 0;
    for (const auto& item : FItems) {
        item->ApplyInit();
        if (item->ApplyDefault())
            ++count;
    }
    return count;
}

QString TDataPacket::GetDisplayName() const
{
    return FAlias.isEmpty() ? FName : FAlias;
}

QByteArray TDataPacket::GetDataAsString() const
{
    return BytesOf(FData);
}

void TDataPacket::SetData(std::span<const uint8_t> Buffer)
{
    const size_t n = std::min(Buffer.size(), FData.size());
    std::copy_n(Buffer.begin(), n, FData.begin());
}

void TDataPacket::SetDataFromString(const QByteArray& s)
{
    SetData(ConstByteSpan(s));
}

const TDataItem* TDataPacket::HeaderItem() const
{
    for (const auto& item : FItems)
        if (item->Name() == kHeaderItem)
            return item.get();
    return nullptr;
}

TDataItem* TDataPacket::HeaderItem()
{
    return const_cast<TDataItem*>(std::as_const(*this).HeaderItem());
}

int32_t TDataPacket::GetHeaderPos() const
{
    const TDataItem* header = HeaderItem();
    return header ? header->Position() : 0;
}

int32_t TDataPacket::GetHeaderSize() const
{
    if (const TDataItem* header = HeaderItem())
        return header->GetByteSize();
    return GetDataSize() >= 4 ? 4 : 0;
}

QByteArray TDataPacket::GetHeaderBytes() const
{
    if (const TDataItem* header = HeaderItem())
        return header->GetRawString();
    if (FData.size() < 4)
        return {};
    return BytesOf(std::span(FData).first(4));
}

void TDataPacket::SetHeaderBytes(const QByteArray& Bytes)
{
    if (TDataItem* header = HeaderItem()) {
        header->SetRawString(Bytes);
        return;
    }
    if (FData.size() < 4)
        return;
    std::copy_n(Bytes.constData(), std::min<qsizetype>(Bytes.size(), 4), FData.begin());
}

void TDataPacket::SetHeaderByte(int32_t Index, uint8_t Value)
{
    // The header item lies inside the record, so this stays inside too.
    if (Index >= 0 && Index < GetHeaderSize())
        FData[size_t(GetHeaderPos() + Index)] = Value;
}

QByteArray TDataPacket::GetHeaderCode(int k) const
{
    if (k < 1 || k > 4)
        return {};
    return HexToBin(FHeaders[size_t(k - 1)]);
}

QByteArray TDataPacket::GetHeaderCodeByte(int k) const
{
    return ExtractCode(GetHeaderCode(k));
}

QByteArray TDataPacket::ExtractCode(const QByteArray& Bytes)
{
    if (Bytes.size() < CodeOffset + CodeLength)
        return {};
    return Bytes.mid(CodeOffset, CodeLength);
}

QByteArray TDataPacket::GetCurrentCode() const
{
    return ExtractCode(GetHeaderBytes());
}

namespace {

// The first kind whose defined code byte equals `code`.
TRecordKind MatchKind(const TDataPacket& packet, const QByteArray& code)
{
    if (code.isEmpty())
        return rkNone;
    for (int k = rkQuery; k <= rkSetAnswer; ++k) {
        const QByteArray kindCode = packet.GetHeaderCodeByte(k);
        if (!kindCode.isEmpty() && kindCode == code)
            return TRecordKind(k);
    }
    return rkNone;
}

} // namespace

TRecordKind TDataPacket::GetRecordKind() const
{
    return MatchKind(*this, GetCurrentCode());
}

void TDataPacket::SetHeader(TRecordKind k)
{
    if (k >= rkQuery && k <= rkSetAnswer)
        SetHeaderBytes(GetHeaderCode(k));
}

void TDataPacket::SetKind(TRecordKind k)
{
    if (GetRecordKind() != k)
        SetHeader(k);
}

QByteArray TDataPacket::GetQueryHeader() const
{
    return GetHeaderCode(rkQuery);
}

QByteArray TDataPacket::GetSetRecord()
{
    SetKind(rkSet);
    return GetDataAsString();
}

TRecordKind TDataPacket::IdentifyRecord(std::span<const uint8_t> Buffer) const
{
    const size_t pos = size_t(GetHeaderPos());
    const size_t size = size_t(GetHeaderSize());
    if (Buffer.size() < pos + size)
        return rkNone;
    return MatchKind(*this, ExtractCode(BytesOf(Buffer.subspan(pos, size))));
}

bool TDataPacket::IsAnswer(std::span<const uint8_t> Buffer) const
{
    const TRecordKind kind = IdentifyRecord(Buffer);
    return kind == rkAnswer || kind == rkSetAnswer;
}

bool TDataPacket::LoadFromBuffer(std::span<const uint8_t> Buffer)
{
    const TRecordKind kind = IdentifyRecord(Buffer);
    if (kind != rkAnswer && kind != rkSetAnswer)
        return false;
    SetData(Buffer);
    if (kind == rkAnswer)
        FLoaded = true;
    ApplyInitValues();
    return true;
}

bool TDataPacket::LoadFromString(const QByteArray& s)
{
    if (s.isEmpty())
        return false;
    return LoadFromBuffer(ConstByteSpan(s));
}

// ---- TDataManager ------------------------------------------------------

TDataManager::TDataManager(const QString& Name) : FName(Name) {}

TDataManager::TDataManager(const QDomElement& iNode)
{
    LoadFromXML(iNode);
}

TDataManager::~TDataManager()
{
    Clear();
}

void TDataManager::LoadFromXML(const QDomElement& iNode)
{
    if (iNode.isNull())
        throw Exception(QStringLiteral("TDataManager::LoadFromXML> iNode je nil."));
    if (iNode.hasAttribute(QStringLiteral("name")))
        FName = iNode.attribute(QStringLiteral("name"));
    Clear();
    devdata_xml::ForEachChild(iNode, QLatin1String("datapacket"),
                              [this](const QDomElement& child) { AddPacketFromXML(child); });
}

int TDataManager::AddPacket(std::unique_ptr<TDataPacket> Packet)
{
    if (!Packet || FRecordBytes + Packet->GetDataSize() > MaxModelRecordBytes)
        return -1;
    FRecordBytes += Packet->GetDataSize();
    FPackets.push_back(std::move(Packet));
    return Count() - 1;
}

int TDataManager::AddPacketFromXML(const QDomElement& node)
{
    try {
        return AddPacket(std::make_unique<TDataPacket>(node));
    } catch (const Exception&) {
        return -1;
    }
}

void TDataManager::Clear()
{
    FPackets.clear();
    FRecordBytes = 0;
}

TDataPacket* TDataManager::GetPacket(int32_t Index) const
{
    if (Index < 0 || Index >= Count())
        return nullptr;
    return FPackets[size_t(Index)].get();
}

TDataPacket* TDataManager::FindPacket(const QString& Name) const
{
    for (const auto& packet : FPackets)
        if (packet->Name() == Name)
            return packet.get();
    for (const auto& packet : FPackets)
        if (packet->GetDisplayName() == Name)
            return packet.get();
    return nullptr;
}

TDataItem* TDataManager::FindItem(const QString& Path) const
{
    const qsizetype dot = Path.indexOf(QLatin1Char('.'));
    if (dot >= 0) {
        const TDataPacket* packet = FindPacket(Path.left(dot));
        return packet ? packet->FindItem(Path.mid(dot + 1)) : nullptr;
    }
    for (const auto& packet : FPackets)
        if (TDataItem* item = packet->FindItem(Path))
            return item;
    return nullptr;
}

Variant TDataManager::GetValue(const QString& Path) const
{
    return ValueOf(FindItem(Path));
}

void TDataManager::SetValue(const QString& Path, const Variant& Value)
{
    SetValueOf(FindItem(Path), Path, Value);
}

int TDataManager::ApplyDefaults()
{
    int count = 0;
    for (const auto& packet : FPackets)
        count += packet->ApplyDefaults();
    return count;
}

int TDataManager::FindPacketForRecord(const QByteArray& Record, TDataPacketType PacketType) const
{
    if (Record.isEmpty())
        return -1;
    for (int i = 0; i < Count(); ++i) {
        const TDataPacket& packet = *FPackets[size_t(i)];
        if ((PacketType == ptNone || PacketType == packet.PacketType()) && packet.IsAnswer(Record))
            return i;
    }
    return -1;
}
