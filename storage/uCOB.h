#pragma once

#include "storage/uMFS.h"

// The CoB1 upload image: "CoB1", a directory of (name length, block size,
// block offset, name) records ended by a zero byte, then one block per file
// holding its HTTP response header and its bytes. All integers little-endian.
//
// Per file, the header comes from the entry parameter "http-header" (lines
// joined by "||") or, without it, from a bare "content-type".
class TCOBFileStorage : public TMultiFileStorage
{
public:
    static constexpr int MaxBlockSize = 65535;
    static constexpr int MaxFileNameSize = 255;

    // Writes the image in one write; 0 and nothing written when a block is too
    // large. Throws Exception for a file name the directory cannot hold.
    qint64 SaveToStream(QIODevice& stream) override;
    // Reads an image; False for a bad magic (storage untouched), a
    // directory record cut off by the end of the image, or blocks that
    // together would hold more than the image's size plus
    // SharedDataAllowance (earlier entries kept).
    bool LoadFromString(const QByteArray& image) override;

    // The whole image, or empty when any block would exceed 65535 bytes.
    // Throws Exception for an empty file name or one over 255 bytes.
    virtual QByteArray BuildImage();
    virtual qint64 GetHeaderSize();
    virtual int HeaderFixedSize();
    virtual qint64 DirEntrySize(int i);
    virtual QByteArray GetHttpHeader(int i);
    virtual QByteArray GetContentType(int i);
    virtual void SetHttpHeader(int i, const QByteArray& header);

protected:
    // The stored header as CR LF separated lines, trimmed. A header that is
    // blank (or only "||") counts as absent, so the content type applies
    // rather than a block that opens with an empty header.
    QByteArray HeaderLines(int i);
};
