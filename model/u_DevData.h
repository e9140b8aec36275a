#pragma once

// The device data model: the setup records of the device as packets of
// typed items, built from the device mapping document, read and written by
// item path ("packet.item" or a bare item name). Include this header for
// all of it: Variant, the text forms, TDataItem, TDataPacket, TDataManager.
//
// Failures are Exception objects whose Message() is shown to the user as it
// is. The model is used from the user-interface thread only.

#include "model/u_DevData_Bytes.h"
#include "model/u_DevData_Item.h"
#include "model/u_DevData_Text.h"
#include "model/u_DevData_Variant.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

class QDomElement;

enum TDataPacketType : uint8_t
{
    ptNone = 0,
    ptQuery = 1,
    ptSetup = 2,
    ptSet = 3,
};

// Kind k (1..4) belongs to header code k of a packet.
enum TRecordKind : uint8_t
{
    rkNone = 0,
    rkQuery = 1,
    rkAnswer = 2,
    rkSet = 3,
    rkSetAnswer = 4,
};

// Header codes as hex text, in kind order: [0] query, [1] answer, [2] set,
// [3] set-answer. An empty text means the kind is not defined.
using THeaders = std::array<QString, 4>;

// Largest record a packet accepts: one record travels in one UDP datagram.
inline constexpr int32_t MaxRecordSize = 65535;
// Largest sum of record sizes a manager holds, so that a short document
// cannot demand gigabytes by listing many large records.
inline constexpr int64_t MaxModelRecordBytes = 16 * 1024 * 1024;

// One record type of the device: the record bytes, the items inside them
// and the header codes that tell the datagrams of this record apart. The
// kind of a record is decided by its header byte 3 alone.
class TDataPacket
{
public:
    // An empty, zero-filled record; items come by AddItem. Raises when Size
    // is negative or above MaxRecordSize.
    TDataPacket(const QString& Name, int32_t Size, const THeaders& Headers,
                TDataPacketType PacketType);
    // From a "datapacket" element: attributes, then every "dataitem" child
    // (one that cannot be built is left out), then the init values.
    explicit TDataPacket(const QDomElement& iNode);
    ~TDataPacket();
    TDataPacket(const TDataPacket&) = delete;
    TDataPacket& operator=(const TDataPacket&) = delete;

    const QString& Name() const { return FName; }
    const QString& Alias() const { return FAlias; }
    TDataPacketType PacketType() const { return FPacketType; }
    const THeaders& Headers() const { return FHeaders; }
    bool Loaded() const { return FLoaded; }
    int32_t ItemCount() const { return int32_t(FItems.size()); }
    // Null when Index is out of range.
    TDataItem* Items(int32_t Index) const;
    static constexpr int32_t CodeOffset = 3;
    static constexpr int32_t CodeLength = 1;

    // Takes an item made on this packet's record (GetDataPtr); returns its
    // index, or -1 for a null item or one made on another buffer.
    int AddItem(std::unique_ptr<TDataItem> Item);
    // Builds an item from a "dataitem" element; -1 when it cannot be built.
    int AddItemFromXML(const QDomElement& node);
    void ClearItems();
    // By name first, then by alias; exact comparison. Null when none.
    TDataItem* FindItem(const QString& Name) const;
    bool HasItem(const QString& Name) const { return FindItem(Name) != nullptr; }
    // Null Variant when there is no such item.
    Variant GetValue(const QString& Name) const;
    // Raises "Polozka <Name> nebyla nalezena." when there is no such item.
    void SetValue(const QString& Name, const Variant& Value);
    // Counts of the stored values applied. ApplyDefaults applies each
    // item's init value, then its default value, and counts the defaults.
    int ApplyInitValues();
    int ApplyDefaults();
    // Alias when not empty, else Name.
    QString GetDisplayName() const;

    // The record: allocated once, never moved (items point into it).
    std::span<uint8_t> GetDataPtr() { return {FData.data(), FData.size()}; }
    int32_t GetDataSize() const { return int32_t(FData.size()); }
    QByteArray GetDataAsString() const;
    // Copies min(length, size) bytes to the start of the record.
    void SetData(std::span<const uint8_t> Buffer);
    void SetDataFromString(const QByteArray& s);

    // The header is the "$header" item's bytes, or the first 4 bytes of a
    // record of at least 4 bytes, or nothing.
    int32_t GetHeaderPos() const;
    int32_t GetHeaderSize() const;
    QByteArray GetHeaderBytes() const;
    void SetHeaderBytes(const QByteArray& Bytes);
    // Writes one byte of the header; an index outside it is ignored.
    void SetHeaderByte(int32_t Index, uint8_t Value);
    // Bytes of header code k (1..4); raise when that code is not hex text.
    QByteArray GetHeaderCode(int k) const;
    QByteArray GetHeaderCodeByte(int k) const;
    // Byte 3 of Bytes, or empty when they are shorter.
    static QByteArray ExtractCode(const QByteArray& Bytes);
    QByteArray GetCurrentCode() const;
    TRecordKind GetRecordKind() const;
    // Replaces the whole header by code k; other k do nothing.
    void SetHeader(TRecordKind k);
    void SetKind(TRecordKind k);
    // The query datagram: the bytes of header code 1.
    QByteArray GetQueryHeader() const;
    // The set datagram: the record behind the set header.
    QByteArray GetSetRecord();

    // Received datagrams; the held record is not touched.
    TRecordKind IdentifyRecord(std::span<const uint8_t> Buffer) const;
    TRecordKind IdentifyRecord(const QByteArray& Buffer) const
    {
        return IdentifyRecord(ConstByteSpan(Buffer));
    }
    bool IsAnswer(std::span<const uint8_t> Buffer) const;
    bool IsAnswer(const QByteArray& Buffer) const { return IsAnswer(ConstByteSpan(Buffer)); }
    // Accepts an answer (marks the packet loaded) or a set-answer: copies
    // it into the record and re-applies the init values. False otherwise.
    bool LoadFromBuffer(std::span<const uint8_t> Buffer);
    bool LoadFromString(const QByteArray& s);
    void SetLoaded(bool b) { FLoaded = b; }

private:
    void Init(const QString& Name, int32_t Size, const THeaders& Headers,
              TDataPacketType PacketType);
    const TDataItem* HeaderItem() const;
    TDataItem* HeaderItem();

    std::vector<uint8_t> FData;
    std::vector<std::unique_ptr<TDataItem>> FItems;
    THeaders FHeaders;
    QString FName;
    QString FAlias;
    TDataPacketType FPacketType = ptNone;
    bool FLoaded = false;
};

// All packets of one device in document order. Item paths: the text before
// the first "." names a packet (by name, then display name), the rest an
// item of it; a path without "." is an item name looked up in the first
// packet that has it.
class TDataManager
{
public:
    explicit TDataManager(const QString& Name = QString());
    // LoadFromXML of a "datamanager" element.
    explicit TDataManager(const QDomElement& iNode);
    ~TDataManager();
    TDataManager(const TDataManager&) = delete;
    TDataManager& operator=(const TDataManager&) = delete;

    const QString& Name() const { return FName; }
    int32_t Count() const { return int32_t(FPackets.size()); }

    // Reads the name, then replaces all packets by the "datapacket"
    // children; a packet that cannot be built is left out.
    void LoadFromXML(const QDomElement& iNode);
    // The manager owns the packet from then on; -1 for null or when the
    // records would exceed MaxModelRecordBytes.
    int AddPacket(std::unique_ptr<TDataPacket> Packet);
    int AddPacketFromXML(const QDomElement& node);
    // Frees all packets: every packet or item pointer obtained before is
    // invalid afterwards.
    void Clear();
    // Null when Index is out of range.
    TDataPacket* GetPacket(int32_t Index) const;
    TDataPacket* FindPacket(const QString& Name) const;
    TDataItem* FindItem(const QString& Path) const;
    // Null Variant when the path finds no item.
    Variant GetValue(const QString& Path) const;
    // Raises "Polozka <Path> nebyla nalezena." when the path finds no item.
    void SetValue(const QString& Path, const Variant& Value);
    int ApplyDefaults();
    // Index of the first packet of that type (any type for ptNone) for
    // which Record is an answer or set-answer; -1 when none or empty.
    int FindPacketForRecord(const QByteArray& Record, TDataPacketType PacketType) const;

private:
    std::vector<std::unique_ptr<TDataPacket>> FPackets;
    int64_t FRecordBytes = 0;
    QString FName;
};
