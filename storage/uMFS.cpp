#include "storage/uMFS.h"

#include "platform/Exception.h"
#include "storage/ByteText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QIODevice>

using bytetext::SameText;
using bytetext::Trim;

const QByteArray TMultiFileStorage::DataSeparator = QByteArrayLiteral("\r\n<[--$DATA$--]>\r\n");

namespace {

const QByteArray CRLF = QByteArrayLiteral("\r\n");

// Keys of a section line that fill the entry's own fields; a parameter of
// such a name would be taken for the field when read back.
bool IsFieldKey(const QByteArray& upperKey)
{
    return upperKey == "FILENAME" || upperKey == "ORIGINALPATH" || upperKey == "DATAPOSITION"
        || upperKey == "DATASIZE" || upperKey == "FILESIZE" || upperKey == "FILETIME";
}

[[noreturn]] void RefuseText(const QString& what, const QString& why)
{
    throw Exception(QStringLiteral("%1 cannot be stored in an MFS container: %2.").arg(what, why));
}

// Every text of the header must read back exactly as it was written.
void CheckLineText(const QByteArray& text, const QString& what)
{
    if (text.contains('\r') || text.contains('\n'))
        RefuseText(what, QStringLiteral("it contains a line break"));
}

void CheckParamName(const QByteArray& name, const QString& what)
{
    CheckLineText(name, what);
    if (name.contains('='))
        RefuseText(what, QStringLiteral("its name contains \"=\""));
    if (Trim(name).startsWith('['))
        RefuseText(what, QStringLiteral("its name begins with \"[\""));
}

QString Quoted(const QByteArray& name)
{
    return QLatin1Char('"') + QString::fromUtf8(name) + QLatin1Char('"');
}

} // namespace

TMultiFileStorage::TMultiFileStorage()
{
    TMultiFileStorage::Clear();
}

PMFSFile TMultiFileStorage::GetFile(int i)
{
    return (i >= 0 && i < GetCount()) ? &Files[std::size_t(i)] : nullptr;
}

void TMultiFileStorage::SetFile(int i, const TMFSFile* record)
{
    if (record && i >= 0 && i < GetCount())
        Files[std::size_t(i)] = *record;
}

PMFSParam TMultiFileStorage::GetGlobalParam(int j)
{
    return (j >= 0 && j < GlobalParamCount()) ? &Params[std::size_t(j)] : nullptr;
}

void TMultiFileStorage::SetGlobalParam(int j, const TMFSParam& record)
{
    if (j >= 0 && j < GlobalParamCount())
        Params[std::size_t(j)] = record;
}

int TMultiFileStorage::GetCount() const
{
    return int(Files.size());
}

QByteArray TMultiFileStorage::BuildFileHeader(PMFSFile entry, qint64& dataPosition, bool includeOriginalPath)
{
    if (!entry)
        return {};
    const int index = IndexOfFile(entry);
    const QString which = QStringLiteral("entry %1").arg(index);
    CheckLineText(entry->Name, QStringLiteral("The name of %1").arg(which));
    CheckLineText(entry->FileName, QStringLiteral("The file name of %1").arg(which));
    if (includeOriginalPath)
        CheckLineText(entry->OriginalPath, QStringLiteral("The original path of %1").arg(which));
    const std::optional<QByteArray> time = datetimedays::FormatMfs(entry->FileTime);
    if (!time)
        RefuseText(QStringLiteral("The time stamp of %1").arg(which),
                   QStringLiteral("it lies outside the years 1 to 9999"));
    for (const TMFSParam& p : entry->Params) {
        const QString what = QStringLiteral("Parameter %1 of %2").arg(Quoted(p.Name), which);
        CheckParamName(p.Name, what);
        if (IsFieldKey(bytetext::UpperCase(p.Name)))
            RefuseText(what, QStringLiteral("its name is that of a field of the entry"));
        CheckLineText(p.Value, what);
    }

    const QByteArray size = QByteArray::number(entry->Data.size());
    QByteArray text;
    text += '[' + entry->Name + ']' + CRLF;
    text += "FileName=" + entry->FileName + CRLF;
    if (includeOriginalPath)
        text += "OriginalPath=" + entry->OriginalPath + CRLF;
    text += "DataPosition=" + QByteArray::number(dataPosition) + CRLF;
    text += "DataSize=" + size + CRLF;
    text += "FileSize=" + size + CRLF;
    text += "FileTime=" + *time + CRLF;
    if (GetParamValue(entry, "DataCompression").isEmpty())
        text += "DataCompression=NONE" + CRLF;
    for (const TMFSParam& p : entry->Params)
        text += p.Name + '=' + p.Value + CRLF;
    text += CRLF;
    dataPosition += entry->Data.size();
    return text;
}

QByteArray TMultiFileStorage::GetDataByIndex(int i)
{
    return GetData(GetFile(i));
}

void TMultiFileStorage::SetDataByIndex(int i, const QByteArray& data)
{
    SetData(GetFile(i), data);
}

QByteArray TMultiFileStorage::GetData(PMFSFile entry)
{
    return entry ? entry->Data : QByteArray();
}

void TMultiFileStorage::SetData(PMFSFile entry, const QByteArray& data)
{
    if (entry)
        entry->Data = data;
}

void TMultiFileStorage::Clear()
{
    Files.clear();
    ClearGlobalParams();
}

void TMultiFileStorage::Delete(int i)
{
    if (i >= 0 && i < GetCount())
        Files.erase(Files.begin() + i);
}

PMFSFile TMultiFileStorage::AddFile(int index)
{
    return GetFile(InsertFile(index));
}

PMFSFile TMultiFileStorage::AddFileFromDiskP(const QString& path, const QByteArray& name, int index)
{
    return GetFile(AddFileFromDisk(path, name, index));
}

int TMultiFileStorage::AddFrom(TMultiFileStorage* other)
{
    if (!other)
        return 0;
    // Counted first: adding a storage to itself appends each entry once.
    const int n = other->GetCount();
    for (int i = 0; i < n; ++i)
        InsertCopy(*other->GetFile(i), -1);
    return n;
}

int TMultiFileStorage::InsertFile(int index)
{
    const int count = GetCount();
    const int position = (index >= 0 && index <= count) ? index : count;
    TMFSFile entry;
    entry.FileTime = datetimedays::Now();
    entry.Name = QByteArray::number(count + 1);
    Files.insert(Files.begin() + position, std::move(entry));
    return position;
}

int TMultiFileStorage::AddFileFromDisk(const QString& path, const QByteArray& name, int index)
{
    // Only a regular file of bounded size: a FIFO or a device would block
    // or never end.
    const QFileInfo info(path);
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        return -1;
    // One byte past the limit tells a file that grew after the check.
    QByteArray data = file.read(MaxDiskFileSize + 1);
    if (data.size() > MaxDiskFileSize)
        return -1;
    if (file.error() != QFileDevice::NoError)
        data.clear();
    const int position = InsertFile(index);
    TMFSFile& entry = Files[std::size_t(position)];
    entry.FileName = QFile::encodeName(info.fileName());
    entry.Name = name;
    entry.OriginalPath = QFile::encodeName(QDir::cleanPath(info.absoluteFilePath()));
    entry.Data = std::move(data);
    // The stamp is the file system's UTC time taken as calendar fields.
    const QDateTime modified = file.fileTime(QFileDevice::FileModificationTime);
    if (modified.isValid())
        entry.FileTime = datetimedays::FromDateTime(modified.toUTC());
    return position;
}

PMFSFile TMultiFileStorage::InsertCopy(const TMFSFile& record, int index)
{
    // The record may live in this storage, and adding an entry may move it.
    TMFSFile copy = record;
    PMFSFile entry = AddFile(index);
    *entry = std::move(copy);
    return entry;
}

int TMultiFileStorage::IndexOfFileName(const QByteArray& fileName) const
{
    for (std::size_t i = 0; i < Files.size(); ++i) {
        if (SameText(Files[i].FileName, fileName))
            return int(i);
    }
    return -1;
}

int TMultiFileStorage::IndexOfName(const QByteArray& name) const
{
    for (std::size_t i = 0; i < Files.size(); ++i) {
        if (SameText(Files[i].Name, name))
            return int(i);
    }
    return -1;
}

PMFSFile TMultiFileStorage::FindFileName(const QByteArray& fileName)
{
    return GetFile(IndexOfFileName(fileName));
}

PMFSFile TMultiFileStorage::FindName(const QByteArray& name)
{
    return GetFile(IndexOfName(name));
}

PMFSFile TMultiFileStorage::FindByParam(const QByteArray& paramName, const QByteArray& value, bool ignoreCase)
{
    const QByteArray wanted = ignoreCase ? Trim(value) : value;
    for (TMFSFile& entry : Files) {
        for (const TMFSParam& p : entry.Params) {
            if (!SameText(p.Name, paramName))
                continue;
            if (ignoreCase ? SameText(Trim(p.Value), wanted) : p.Value == wanted)
                return &entry;
        }
    }
    return nullptr;
}

int TMultiFileStorage::IndexOfFile(const TMFSFile* entry) const
{
    for (std::size_t i = 0; i < Files.size(); ++i) {
        if (&Files[i] == entry)
            return int(i);
    }
    return -1;
}

void TMultiFileStorage::ClearParamsByIndex(int i)
{
    ClearParams(GetFile(i));
}

void TMultiFileStorage::ClearParams(PMFSFile entry)
{
    if (entry)
        entry->Params.clear();
}

int TMultiFileStorage::IndexOfParam(const TMFSFile* entry, const QByteArray& name) const
{
    if (!entry)
        return -1;
    for (std::size_t j = 0; j < entry->Params.size(); ++j) {
        if (SameText(entry->Params[j].Name, name))
            return int(j);
    }
    return -1;
}

int TMultiFileStorage::ParamCountByIndex(int i)
{
    return ParamCount(GetFile(i));
}

int TMultiFileStorage::ParamCount(const TMFSFile* entry) const
{
    return entry ? int(entry->Params.size()) : -1;
}

PMFSParam TMultiFileStorage::AddParamByIndex(int i)
{
    return AddParam(GetFile(i));
}

PMFSParam TMultiFileStorage::AddParamValue(PMFSFile entry, const QByteArray& name, const QByteArray& value)
{
    PMFSParam p = AddParam(entry);
    if (p) {
        p->Name = name;
        p->Value = value;
    }
    return p;
}

PMFSParam TMultiFileStorage::AddParamValueByIndex(int i, const QByteArray& name, const QByteArray& value)
{
    return AddParamValue(GetFile(i), name, value);
}

PMFSParam TMultiFileStorage::AddParam(PMFSFile entry)
{
    if (!entry)
        return nullptr;
    entry->Params.emplace_back();
    return &entry->Params.back();
}

void TMultiFileStorage::DeleteParamByIndex(int i, int j)
{
    DeleteParam(GetFile(i), j);
}

void TMultiFileStorage::DeleteParam(PMFSFile entry, int j)
{
    if (entry && j >= 0 && j < int(entry->Params.size()))
        entry->Params.erase(entry->Params.begin() + j);
}

void TMultiFileStorage::DeleteParamByNameByIndex(int i, const QByteArray& name)
{
    DeleteParamByName(GetFile(i), name);
}

void TMultiFileStorage::DeleteParamByName(PMFSFile entry, const QByteArray& name)
{
    DeleteParam(entry, IndexOfParam(entry, name));
}

PMFSParam TMultiFileStorage::GetParamByIndex(int i, int j)
{
    return GetParam(GetFile(i), j);
}

PMFSParam TMultiFileStorage::GetParam(PMFSFile entry, int j)
{
    if (!entry || j < 0 || j >= int(entry->Params.size()))
        return nullptr;
    return &entry->Params[std::size_t(j)];
}

PMFSParam TMultiFileStorage::GetParamByName(PMFSFile entry, const QByteArray& name)
{
    return GetParam(entry, IndexOfParam(entry, name));
}

PMFSParam TMultiFileStorage::GetParamByNameByIndex(int i, const QByteArray& name)
{
    return GetParamByName(GetFile(i), name);
}

QByteArray TMultiFileStorage::GetParamValue(PMFSFile entry, const QByteArray& name)
{
    const PMFSParam p = GetParamByName(entry, name);
    return p ? p->Value : QByteArray();
}

QByteArray TMultiFileStorage::GetParamValueByIndex(int i, const QByteArray& name)
{
    return GetParamValue(GetFile(i), name);
}

void TMultiFileStorage::SetParamValue(PMFSFile entry, const QByteArray& name, const QByteArray& value)
{
    if (!entry)
        return;
    if (PMFSParam p = GetParamByName(entry, name))
        p->Value = value;
    else
        AddParamValue(entry, name, value);
}

void TMultiFileStorage::SetParamValueByIndex(int i, const QByteArray& name, const QByteArray& value)
{
    SetParamValue(GetFile(i), name, value);
}

void TMultiFileStorage::ClearGlobalParams()
{
    Params.clear();
}

PMFSParam TMultiFileStorage::AddGlobalParam()
{
    Params.emplace_back();
    return &Params.back();
}

void TMultiFileStorage::SetGlobalParamValue(const QByteArray& name, const QByteArray& value)
{
    if (PMFSParam p = GetGlobalParam(IndexOfGlobalParam(name))) {
        p->Value = value;
        return;
    }
    PMFSParam p = AddGlobalParam();
    p->Name = Trim(name);
    p->Value = value;
}

QByteArray TMultiFileStorage::GetGlobalParamValue(const QByteArray& name) const
{
    const int j = IndexOfGlobalParam(name);
    return j >= 0 ? Params[std::size_t(j)].Value : QByteArray();
}

int TMultiFileStorage::GlobalParamCount() const
{
    return int(Params.size());
}

void TMultiFileStorage::DeleteGlobalParam(int j)
{
    if (j >= 0 && j < GlobalParamCount())
        Params.erase(Params.begin() + j);
}

void TMultiFileStorage::DeleteGlobalParamByName(const QByteArray& name)
{
    DeleteGlobalParam(IndexOfGlobalParam(name));
}

int TMultiFileStorage::IndexOfGlobalParam(const QByteArray& name) const
{
    const QByteArray wanted = Trim(name);
    for (std::size_t j = 0; j < Params.size(); ++j) {
        if (SameText(Trim(Params[j].Name), wanted))
            return int(j);
    }
    return -1;
}

bool TMultiFileStorage::LoadFromString(const QByteArray& text)
{
    Clear();
    LoadMap.clear();
    const qsizetype separator = text.indexOf(DataSeparator);
    if (separator < 0)
        return false;
    const qsizetype dataStart = separator + DataSeparator.size();

    // Name lookups by folded name: a header of many distinct names must not
    // cost a scan of all earlier ones per line.
    QHash<QByteArray, int> globalIndex;
    QHash<QByteArray, int> paramIndex;
    int current = -1;
    qint64 position = 0;
    qint64 size = 0;
    qint64 loaded = 0;
    bool positionGiven = false;
    bool sizeGiven = false;
    QByteArray sectionMap;

    const auto closeSection = [&] {
        if (current < 0)
            return;
        if (!LoadMap.isEmpty())
            LoadMap += '|';
        LoadMap += sectionMap;
    };

    qsizetype lineStart = 0;
    while (lineStart <= separator) {
        qsizetype lineEnd = lineStart;
        while (lineEnd < separator && text[lineEnd] != '\r' && text[lineEnd] != '\n')
            ++lineEnd;
        const QByteArray line = text.mid(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;

        const QByteArray trimmed = Trim(line);
        if (trimmed.isEmpty())
            continue;
        if (trimmed.startsWith('[')) {
            closeSection();
            current = InsertFile(-1);
            Files[std::size_t(current)].Name =
                trimmed.size() >= 2 ? trimmed.mid(1, trimmed.size() - 2) : QByteArray();
            positionGiven = sizeGiven = false;
            position = size = 0;
            sectionMap = '[' + Files[std::size_t(current)].Name + ']';
            paramIndex.clear();
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            continue;
        const QByteArray key = line.left(eq);
        const QByteArray value = line.mid(eq + 1);

        if (current < 0) {
            const QByteArray folded = bytetext::LowerCase(Trim(key));
            const auto found = globalIndex.constFind(folded);
            if (found != globalIndex.constEnd()) {
                Params[std::size_t(*found)].Value = value;
            } else {
                globalIndex.insert(folded, GlobalParamCount());
                Params.push_back({Trim(key), value});
            }
            continue;
        }

        TMFSFile& entry = Files[std::size_t(current)];
        const QByteArray upperKey = bytetext::UpperCase(key);
        if (upperKey == "FILENAME") {
            entry.FileName = value;
        } else if (upperKey == "ORIGINALPATH") {
            entry.OriginalPath = value;
        } else if (upperKey == "DATAPOSITION") {
            position = bytetext::ValInteger(value);
            positionGiven = true;
        } else if (upperKey == "DATASIZE") {
            size = bytetext::ValInteger(value);
            sizeGiven = true;
        } else if (upperKey == "FILETIME") {
            if (const auto time = datetimedays::ParseMfs(value))
                entry.FileTime = *time;
        } else if (upperKey == "FILESIZE") {
            // The data size is what counts.
        } else if (upperKey == "DATACOMPRESSION") {
            const QByteArray method = bytetext::LowerCase(Trim(value));
            if (!method.isEmpty() && method != "none")
                throw Exception(QStringLiteral("Unknown compression : ") + QString::fromUtf8(value));
        } else {
            const QByteArray folded = bytetext::LowerCase(key);
            const auto found = paramIndex.constFind(folded);
            if (found != paramIndex.constEnd()) {
                entry.Params[std::size_t(*found)].Value = value;
            } else {
                paramIndex.insert(folded, int(entry.Params.size()));
                entry.Params.push_back({key, value});
            }
        }

        if (entry.Data.isEmpty() && positionGiven && position >= 0 && sizeGiven && size >= 1) {
            const qint64 from = dataStart + position;
            if (from < text.size()) {
                const qint64 n = std::min<qint64>(size, text.size() - from);
                loaded += n;
                if (loaded > text.size() + SharedDataAllowance) {
                    Clear();
                    throw Exception(QStringLiteral("MFS text: its entries claim more data than the text holds."));
                }
                entry.Data = text.mid(from, n);
                sectionMap += ',' + QByteArray::number(position) + ',' + QByteArray::number(size);
            }
        }
    }
    closeSection();
    return true;
}

bool TMultiFileStorage::WritePiece(QIODevice& stream, const QByteArray& piece, qint64& written)
{
    if (piece.isEmpty())
        return true;
    const qint64 n = stream.write(piece);
    if (n > 0)
        written += n;
    return n == piece.size();
}

qint64 TMultiFileStorage::SaveToStream(QIODevice& stream)
{
    // Everything is checked and formatted before the first byte goes out, so
    // a refused storage leaves the stream as it was.
    QByteArray globals;
    for (const TMFSParam& p : Params) {
        const QString what = QStringLiteral("Global parameter %1").arg(Quoted(p.Name));
        CheckParamName(p.Name, what);
        CheckLineText(p.Value, what);
        globals += p.Name + '=' + p.Value + CRLF;
    }
    if (!Params.empty())
        globals += CRLF;
    std::vector<QByteArray> headers;
    headers.reserve(Files.size());
    qint64 dataPosition = 0;
    for (TMFSFile& entry : Files)
        headers.push_back(BuildFileHeader(&entry, dataPosition, false));

    qint64 written = 0;
    if (!WritePiece(stream, globals, written))
        return written;
    for (const QByteArray& header : headers) {
        if (!WritePiece(stream, header, written))
            return written;
    }
    if (!WritePiece(stream, DataSeparator, written))
        return written;
    for (const TMFSFile& entry : Files) {
        if (!WritePiece(stream, entry.Data, written))
            return written;
    }
    return written;
}

bool TMultiFileStorage::ExtractFile(int i, const QString& fileName, bool ask)
{
    PMFSFile entry = GetFile(i);
    return entry && SaveFileTo(entry, fileName, ask);
}

bool TMultiFileStorage::SaveFileTo(PMFSFile entry, const QString& fileName, bool ask)
{
    if (!entry)
        return false;
    const QByteArray data = entry->Data;
    if (ask && QFileInfo::exists(fileName)) {
        const int answer = OnOverwriteQuery
            ? OnOverwriteQuery(QStringLiteral("Overwrite file ") + fileName + QLatin1Char('?'),
                               QStringLiteral("Overwrite existing file"), OverwriteQueryFlags)
            : 0;
        if (answer != IDYES)
            return false;
    }
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    // A full disk may show only when the buffer is flushed.
    const bool written = data.isEmpty() || file.write(data) == data.size();
    const bool flushed = file.flush();
    file.close();
    return written && flushed && file.error() == QFileDevice::NoError;
}

qint64 TMultiFileStorage::TotalDataSize() const
{
    qint64 total = 0;
    for (const TMFSFile& entry : Files)
        total += entry.Data.size();
    return total;
}

void TMultiFileStorage::DoNothing()
{
}
