#pragma once

// The data module: the device mapping document built into the program and
// a second, empty document for short-lived parses (the device's status
// page).

#include "platform/FileRead.h"

#include <QByteArray>
#include <QDomDocument>
#include <QDomElement>
#include <QString>

// An XML document held as its source text and, once opened, its parsed
// tree. Parsing never resolves external entities; a parse error raises an
// Exception with the parser's text, line and column.
class XmlDocumentHolder
{
public:
    // Files larger than this are refused rather than read into memory.
    static constexpr qint64 MaxFileSize = platform::MaxOperatorFileSize;

    // Replaces the source text and closes the document.
    void LoadFromBytes(const QByteArray& Text);
    // Reads the whole file as the new source text and closes the document.
    // Raises when it cannot be read or is larger than MaxFileSize; the
    // holder is then unchanged.
    void LoadFromFile(const QString& FileName);
    const QByteArray& Text() const { return FText; }

    // Parses the source text (nothing when already open). On failure the
    // document stays closed and empty, and the error is raised.
    void Open();
    void Close();
    bool Active() const { return FActive; }

    const QDomDocument& Document() const { return FDocument; }
    // Null when the document is closed or empty.
    QDomElement DocumentElement() const { return FDocument.documentElement(); }

private:
    QByteArray FText;
    QDomDocument FDocument;
    bool FActive = false;
};

class TfDM
{
public:
    // XML holds the built-in device mapping document (not yet opened);
    // XML_Temp holds nothing.
    TfDM();

    XmlDocumentHolder XML;
    XmlDocumentHolder XML_Temp;

    // The built-in device mapping document as compiled into the program.
    static QByteArray BuiltInMapping();
};
