#include "storage/uCOB.h"

#include "platform/Exception.h"
#include "storage/ByteText.h"

#include <QIODevice>
#include <QtEndian>

#include <cstdint>
#include <limits>

using bytetext::ReplaceAll;
using bytetext::Trim;

namespace {

const QByteArray Magic = QByteArrayLiteral("CoB1");
const QByteArray CRLF = QByteArrayLiteral("\r\n");
const QByteArray LineJoin = QByteArrayLiteral("||");
const QByteArray ContentTypeMarker = QByteArrayLiteral("\r\nContent-type:");
constexpr qsizetype DirRecordFixedSize = 7;

template <typename T>
void AppendLittleEndian(QByteArray& out, T value)
{
    char bytes[sizeof(T)];
    qToLittleEndian(value, bytes);
    out.append(bytes, sizeof(T));
}

template <typename T>
T ReadLittleEndian(const QByteArray& in, qsizetype at)
{
    return qFromLittleEndian<T>(in.constData() + at);
}

} // namespace

qint64 TCOBFileStorage::SaveToStream(QIODevice& stream)
{
    const QByteArray image = BuildImage();
    qint64 written = 0;
    WritePiece(stream, image, written);
    return written;
}

bool TCOBFileStorage::LoadFromString(const QByteArray& image)
{
    if (image.size() < HeaderFixedSize() || !image.startsWith(Magic))
        return false;
    Clear();
    qsizetype at = Magic.size();
    qint64 loaded = 0;
    while (at < image.size()) {
        const int nameLen = static_cast<unsigned char>(image[at]);
        if (nameLen == 0)
            return true;
        if (image.size() - at < DirRecordFixedSize + nameLen)
            return false;
        const quint16 blockSize = ReadLittleEndian<quint16>(image, at + 1);
        const quint32 blockOffset = ReadLittleEndian<quint32>(image, at + 3);
        // A block cut short by the end of the image gives what is there.
        const qint64 n = qint64(blockOffset) < image.size() ? std::min<qint64>(blockSize, image.size() - blockOffset) : 0;
        loaded += n;
        if (loaded > image.size() + SharedDataAllowance)
            return false;
        PMFSFile entry = AddFile(-1);
        entry->FileName = image.mid(at + DirRecordFixedSize, nameLen);
        if (n > 0)
            entry->Data = image.mid(blockOffset, n);
        at += DirRecordFixedSize + nameLen;
    }
    return true;
}

QByteArray TCOBFileStorage::BuildImage()
{
    const int count = GetCount();
    std::vector<QByteArray> headers;
    headers.reserve(std::size_t(count));
    QByteArray image = Magic;
    qint64 offset = GetHeaderSize();
    for (int i = 0; i < count; ++i) {
        const TMFSFile& entry = *GetFile(i);
        // A zero length would end the directory for a reader and hide this
        // entry and all after it; a longer name does not fit its length byte.
        if (entry.FileName.isEmpty())
            throw Exception(QStringLiteral("CoB1 image: entry %1 has no file name.").arg(i));
        if (entry.FileName.size() > MaxFileNameSize)
            throw Exception(QStringLiteral("CoB1 image: the file name of entry %1 is %2 bytes long "
                                           "(at most %3 bytes).")
                                .arg(i)
                                .arg(entry.FileName.size())
                                .arg(MaxFileNameSize));
        headers.push_back(GetHttpHeader(i));
        const qint64 blockSize = qint64(headers.back().size()) + entry.Data.size();
        if (blockSize > MaxBlockSize)
            return {};
        if (offset + blockSize > qint64(std::numeric_limits<quint32>::max()))
            throw Exception(QStringLiteral("CoB1 image: the files do not fit into 4 GB."));
        image += char(entry.FileName.size());
        AppendLittleEndian(image, quint16(blockSize));
        AppendLittleEndian(image, quint32(offset));
        image += entry.FileName;
        offset += blockSize;
    }
    image += '\0';
    for (int i = 0; i < count; ++i) {
        image += headers[std::size_t(i)];
        image += GetFile(i)->Data;
    }
    return image;
}

qint64 TCOBFileStorage::GetHeaderSize()
{
    qint64 size = HeaderFixedSize();
    for (int i = 0; i < GetCount(); ++i)
        size += DirEntrySize(i);
    return size;
}

int TCOBFileStorage::HeaderFixedSize()
{
    return Magic.size() + 1;
}

qint64 TCOBFileStorage::DirEntrySize(int i)
{
    const PMFSFile entry = GetFile(i);
    return entry ? DirRecordFixedSize + entry->FileName.size() : 0;
}

QByteArray TCOBFileStorage::GetHttpHeader(int i)
{
    const QByteArray lines = HeaderLines(i);
    if (!lines.isEmpty())
        return lines + CRLF + CRLF;
    QByteArray contentType = Trim(GetContentType(i));
    if (contentType.isEmpty())
        return {};
    contentType = Trim(ReplaceAll(contentType, LineJoin, CRLF));
    return "HTTP/1.1 200 OK" + CRLF + "Content-type: " + contentType + CRLF + CRLF;
}

QByteArray TCOBFileStorage::GetContentType(int i)
{
    // The marker includes the line break before it: a header that opens with
    // its content-type line yields none.
    const QByteArray lines = HeaderLines(i);
    if (lines.isEmpty())
        return Trim(GetParamValueByIndex(i, "content-type"));
    const qsizetype at = lines.indexOf(ContentTypeMarker);
    if (at < 0)
        return {};
    const qsizetype start = at + ContentTypeMarker.size();
    qsizetype end = lines.indexOf(CRLF, start);
    if (end < 0)
        end = lines.size();
    return Trim(lines.mid(start, end - start));
}

QByteArray TCOBFileStorage::HeaderLines(int i)
{
    return Trim(ReplaceAll(GetParamValueByIndex(i, "http-header"), LineJoin, CRLF));
}

void TCOBFileStorage::SetHttpHeader(int i, const QByteArray& header)
{
    const QByteArray joined = ReplaceAll(Trim(header), CRLF, LineJoin);
    if (!joined.isEmpty())
        SetParamValueByIndex(i, "http-header", joined);
    else
        DeleteParamByNameByIndex(i, "http-header");
    DeleteParamByNameByIndex(i, "content-type");
}
