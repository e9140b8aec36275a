#pragma once

#include "storage/DateTimeDays.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

class QIODevice;

// One name=value pair of an entry or of the whole storage.
struct TMFSParam
{
    QByteArray Name;
    QByteArray Value;
};
using AMFSParams = std::vector<TMFSParam>;

// One file of the storage. All texts are byte strings: the containers store
// them as they are, and a round trip must not alter a single byte.
struct TMFSFile
{
    QByteArray FileName;     // name inside the container, no path
    QByteArray OriginalPath; // full path of the source file, when taken from disk
    TDateTime FileTime = 0;
    QByteArray Name;         // section name in the text container
    QByteArray Data;
    AMFSParams Params;
};
using AMFSFiles = std::vector<TMFSFile>;

// Pointers into the storage stay valid until the next operation that adds or
// removes entries or parameters.
using PMFSFile = TMFSFile*;
using PMFSParam = TMFSParam*;

// An ordered set of named files with their parameters, plus global
// parameters, held in memory; written and read as the MFS text container
// (a header of name=value lines, a separator line, then the data area).
class TMultiFileStorage
{
public:
    // Asked before a file on disk is overwritten; gets the question text, the
    // caption and the classic message-box flags (Yes/No, question icon) and
    // answers with a classic button code. Without it nothing is overwritten.
    using TOverwriteQuery =
        std::function<int(const QString& text, const QString& caption, unsigned flags)>;
    TOverwriteQuery OnOverwriteQuery;

    static constexpr int IDYES = 6;
    static constexpr unsigned OverwriteQueryFlags = 0x24; // Yes/No, question icon

    // The largest file taken from disk, as for the device mapping document.
    static constexpr qint64 MaxDiskFileSize = 16 * 1024 * 1024;

    // Written containers never let entries share data, so a reader's
    // entries hold at most the input's size plus this much (room for the
    // odd overlapping entry); a directory pointing many entries at the same
    // bytes would otherwise multiply a small input many times over.
    static constexpr qint64 SharedDataAllowance = 64 * 1024;

    // The line that divides the header from the data area.
    static const QByteArray DataSeparator;

    TMultiFileStorage();
    virtual ~TMultiFileStorage() = default;
    TMultiFileStorage(const TMultiFileStorage&) = delete;
    TMultiFileStorage& operator=(const TMultiFileStorage&) = delete;

    virtual PMFSFile GetFile(int i);
    virtual void SetFile(int i, const TMFSFile* record);
    virtual PMFSParam GetGlobalParam(int j);
    virtual void SetGlobalParam(int j, const TMFSParam& record);
    virtual int GetCount() const;
    // The entry's header block; advances the data position by its data length.
    virtual QByteArray BuildFileHeader(PMFSFile entry, qint64& dataPosition, bool includeOriginalPath);

    virtual QByteArray GetDataByIndex(int i);
    virtual void SetDataByIndex(int i, const QByteArray& data);
    virtual QByteArray GetData(PMFSFile entry);
    virtual void SetData(PMFSFile entry, const QByteArray& data);

    virtual void Clear();
    virtual void Delete(int i);
    virtual PMFSFile AddFile(int index);
    virtual PMFSFile AddFileFromDiskP(const QString& path, const QByteArray& name, int index);
    virtual int AddFrom(TMultiFileStorage* other);
    virtual int InsertFile(int index);
    virtual int AddFileFromDisk(const QString& path, const QByteArray& name, int index);
    virtual PMFSFile InsertCopy(const TMFSFile& record, int index);

    virtual int IndexOfFileName(const QByteArray& fileName) const;
    virtual int IndexOfName(const QByteArray& name) const;
    virtual PMFSFile FindFileName(const QByteArray& fileName);
    virtual PMFSFile FindName(const QByteArray& name);
    virtual PMFSFile FindByParam(const QByteArray& paramName, const QByteArray& value, bool ignoreCase);
    virtual int IndexOfFile(const TMFSFile* entry) const;

    virtual void ClearParamsByIndex(int i);
    virtual void ClearParams(PMFSFile entry);
    virtual int IndexOfParam(const TMFSFile* entry, const QByteArray& name) const;
    virtual int ParamCountByIndex(int i);
    virtual int ParamCount(const TMFSFile* entry) const;
    virtual PMFSParam AddParamByIndex(int i);
    virtual PMFSParam AddParamValue(PMFSFile entry, const QByteArray& name, const QByteArray& value);
    virtual PMFSParam AddParamValueByIndex(int i, const QByteArray& name, const QByteArray& value);
    virtual PMFSParam AddParam(PMFSFile entry);
    virtual void DeleteParamByIndex(int i, int j);
    virtual void DeleteParam(PMFSFile entry, int j);
    virtual void DeleteParamByNameByIndex(int i, const QByteArray& name);
    virtual void DeleteParamByName(PMFSFile entry, const QByteArray& name);
    virtual PMFSParam GetParamByIndex(int i, int j);
    virtual PMFSParam GetParam(PMFSFile entry, int j);
    virtual PMFSParam GetParamByName(PMFSFile entry, const QByteArray& name);
    virtual PMFSParam GetParamByNameByIndex(int i, const QByteArray& name);
    virtual QByteArray GetParamValue(PMFSFile entry, const QByteArray& name);
    virtual QByteArray GetParamValueByIndex(int i, const QByteArray& name);
    virtual void SetParamValue(PMFSFile entry, const QByteArray& name, const QByteArray& value);
    virtual void SetParamValueByIndex(int i, const QByteArray& name, const QByteArray& value);

    virtual void ClearGlobalParams();
    virtual PMFSParam AddGlobalParam();
    virtual void SetGlobalParamValue(const QByteArray& name, const QByteArray& value);
    virtual QByteArray GetGlobalParamValue(const QByteArray& name) const;
    virtual int GlobalParamCount() const;
    virtual void DeleteGlobalParam(int j);
    virtual void DeleteGlobalParamByName(const QByteArray& name);
    virtual int IndexOfGlobalParam(const QByteArray& name) const;

    // Reads an MFS text container; False when it has no data separator.
    // Throws Exception (storage emptied) when the entries would together
    // hold more than the text's size plus SharedDataAllowance, and for an
    // unknown data compression.
    virtual bool LoadFromString(const QByteArray& text);
    // Writes the MFS text container at the stream's position; returns the
    // number of bytes the stream took. Throws Exception, before writing
    // anything, when a text would not read back as it stands.
    virtual qint64 SaveToStream(QIODevice& stream);

    virtual bool ExtractFile(int i, const QString& fileName, bool ask);
    virtual bool SaveFileTo(PMFSFile entry, const QString& fileName, bool ask);
    virtual qint64 TotalDataSize() const;
    virtual void DoNothing();

    // Summary of the last LoadFromString: "[Name],position,size" per entry, joined by "|".
    const QByteArray& GetLoadMap() const { return LoadMap; }

protected:
    AMFSFiles Files;
    AMFSParams Params;
    QByteArray LoadMap;

    // Writes one piece; false when the stream took less than all of it.
    static bool WritePiece(QIODevice& stream, const QByteArray& piece, qint64& written);
};
