#pragma once

// One field of a fixed-length device record: where it lies in the record,
// how its bytes are read and written, its range, named values and stored
// init and default values.

#include "model/u_DevData_Variant.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

class QDomElement;

enum TDataItemType : uint8_t
{
    dtUnknown = 0,
    dtEnum = 1,
    dtBool = 2,
    dtSigned = 3,
    dtUnsigned = 4,
    dtString = 5,
    dtIPAddress = 6,
    dtMACAddress = 7,
    dtHexa = 8,
};

// A named value of an item.
struct TDEnumItem
{
    int32_t Value = 0;
    QString Name;
};
// In document order, never sorted; names may repeat (the first one wins).
using AEnumItems = std::vector<TDEnumItem>;

// The type keyword of a "dataitem" element, compared after lower-casing
// A-Z; anything else is dtUnknown.
TDataItemType StrToDataItemType(const QString& Keyword);

// The N lowest bits set (all 32 from N = 32 on), shifted left by
// Offset mod 32.
uint32_t BitMask(uint8_t N, uint8_t Offset);
// 2^N for N below 64, else 0.
int64_t Pow2(uint8_t N);

// An item does not own its bytes: it reads and writes inside the record of
// its packet, which must outlive it and never move.
//
// Out-of-record items are refused when they are made: the constructor
// raises when the item's bytes (for a bit field, its one byte with the
// field's bits inside it) do not lie wholly inside the record it is given.
// A packet leaves such an element of a mapping document out like any other
// item that cannot be built. Since an item's place never changes after
// construction, no access can then reach outside the record, whatever the
// document says.
class TDataItem
{
public:
    // Raises when the item would lie outside Buffer.
    TDataItem(const QString& Name, std::span<uint8_t> Buffer, TDataItemType DataType,
              int32_t Position, uint16_t SizeBits, uint8_t BitsOffset);
    // From a "dataitem" element, on the record Buffer. Raises when iNode is
    // null, when a place attribute (size, sizebits, position, bitsoffset) is
    // not integer text, or when the item would lie outside Buffer.
    static std::unique_ptr<TDataItem> CreateFromXML(const QDomElement& iNode,
                                                    std::span<uint8_t> Buffer);
    ~TDataItem();
    TDataItem(const TDataItem&) = delete;
    TDataItem& operator=(const TDataItem&) = delete;

    // The description; fixed after construction.
    TDataItemType DataType() const { return FDataType; }
    uint16_t SizeBits() const { return FSizeBits; }
    // Lowest bit of a bit field (SizeBits below 8) inside its byte.
    uint8_t BitsOffset() const { return FBitsOffset; }
    std::span<uint8_t> Buffer() const { return FBuffer; }
    int32_t Position() const { return FPosition; }
    // The range serves the settings pages and the bool encoding (MinValue
    // means false, MaxValue true); writes never enforce it.
    int64_t MaxValue() const { return FMaxValue; }
    int64_t MinValue() const { return FMinValue; }
    const AEnumItems& EnumItems() const { return FEnumItems; }
    const QString& Name() const { return FName; }
    // Stored values: GetByteSize bytes laid out as at position 0 of a
    // record; empty when there is none.
    const QByteArray& InitValue() const { return FInitValue; }
    const QByteArray& DefaultValue() const { return FDefaultValue; }
    const QString& Caption() const { return FCaption; }
    // Bits of the item's bytes that belong to something else: kept on
    // write, cleared on read.
    uint32_t KeepMask() const { return FKeepMask; }
    bool ReadOnly() const { return FReadOnly; }
    // Index of the named value the document marks default, or -1.
    int32_t DefaultEnumIndex() const { return FDefaultEnumIndex; }
    const QString& GetAlias() const { return FAlias; }

    uint16_t GetByteSize() const;
    // The item's bytes inside its record.
    std::span<uint8_t> GetDataPtr() const;
    int32_t GetEnumCount() const;
    // Null when Index is out of range.
    const TDEnumItem* GetEnumItem(int32_t Index) const;
    void AddEnumItem(const QString& Name, int32_t Value);

    bool HasInitValue() const { return !FInitValue.isEmpty(); }
    bool HasDefaultValue() const { return !FDefaultValue.isEmpty(); }
    // Store a value encoded by the item's type rules (a null Value clears
    // it). A value that does not encode leaves nothing stored and raises.
    void SetInitText(const Variant& Value);
    void SetDefaultText(const Variant& Value);
    // Store raw bytes, cut or zero-padded to the byte size (empty clears).
    void SetInitRaw(const QByteArray& Bytes);
    void SetDefaultRaw(const QByteArray& Bytes);
    // The stored value as the item's raw bytes (bit field shifted down,
    // kept bits cleared); empty when none.
    QByteArray GetInitRaw() const;
    QByteArray GetDefaultRaw() const;
    // Write the stored value into the record; false when none is stored.
    // A read-only item returns true and the record stays as it is.
    bool ApplyInit();
    bool ApplyDefault();

    // Typed access (see the codec). GetValue gives an empty Variant for an
    // item without a value; SetValue ignores a null Value and leaves the
    // record as it was when it raises.
    Variant GetValue() const;
    void SetValue(const Variant& Value);
    int64_t GetAsInt64() const;

    // Raw access. GetRawValue with an empty Dest returns the byte size and
    // copies nothing; otherwise it returns the count of bytes given.
    // SetRawValue returns false for a read-only item or empty Src.
    int32_t GetRawValue(std::span<uint8_t> Dest) const;
    bool SetRawValue(std::span<const uint8_t> Src);
    QByteArray GetRawString() const;
    void SetRawString(const QByteArray& Bytes);

private:
    bool IsBitField() const { return FSizeBits < 8; }
    void SetRangeByType();
    void ReadEnumItems(const QDomElement& iNode);

    // The codec proper, over any bytes laid out like the item's field:
    // the record or a stored value. WriteRaw ignores ReadOnly, which
    // guards only the record.
    int32_t ReadRaw(std::span<const uint8_t> Field, std::span<uint8_t> Dest) const;
    void WriteRaw(std::span<uint8_t> Field, std::span<const uint8_t> Src) const;
    // The scratch that SetValue writes, or nothing when the value changes
    // nothing (null, byte size 0, unknown type).
    std::optional<QByteArray> EncodeValue(const Variant& Value) const;
    // GetValue's and GetAsInt64's scratch: at least 8 zero-extended bytes.
    QByteArray ReadScratch() const;
    uint32_t SignExtend(uint32_t r) const;
    bool DecodeBool(uint32_t r) const;
    std::optional<int32_t> FindEnumValue(const QByteArray& Text) const;

    void StoreText(QByteArray& Store, const Variant& Value);
    void StoreRaw(QByteArray& Store, const QByteArray& Bytes);
    QByteArray ReadStored(const QByteArray& Store) const;
    bool ApplyStored(const QByteArray& Store);

    TDataItemType FDataType = dtUnknown;
    uint16_t FSizeBits = 0;
    uint8_t FBitsOffset = 0;
    std::span<uint8_t> FBuffer;
    int32_t FPosition = 0;
    int64_t FMaxValue = 0;
    int64_t FMinValue = 0;
    AEnumItems FEnumItems;
    QString FName;
    QByteArray FInitValue;
    QByteArray FDefaultValue;
    QString FCaption;
    uint32_t FKeepMask = 0;
    bool FReadOnly = false;
    int32_t FDefaultEnumIndex = -1;
    QString FAlias;
};
