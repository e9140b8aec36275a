#include "model/uf_DM.h"

#include "platform/Exception.h"
#include "platform/FileRead.h"

#include <QFile>
#include <QXmlStreamReader>

namespace {

// Deep nesting costs the tree builder stack; no document of ours comes
// near this.
constexpr int kMaxDepth = 256;

// Checks well-formedness and depth with the stream reader, which neither
// loads external entities nor expands entities beyond a small limit.
void CheckDocument(const QByteArray& text)
{
    QXmlStreamReader reader(text);
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++depth > kMaxDepth)
                reader.raiseError(QStringLiteral("Elements nested deeper than %1 levels").arg(kMaxDepth));
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    if (reader.hasError())
        throw EPlatformError(EPlatformError::XmlNotWellFormed,
                             {QString(), reader.errorString(), QString::number(reader.lineNumber()),
                              QString::number(reader.columnNumber())});
}

} // namespace

void XmlDocumentHolder::LoadFromBytes(const QByteArray& Text)
{
    Close();
    FText = Text;
}

void XmlDocumentHolder::LoadFromFile(const QString& FileName)
{
    LoadFromBytes(platform::ReadFileWithin(FileName, MaxFileSize));
}

void XmlDocumentHolder::Open()
{
    if (FActive)
        return;
    FDocument = QDomDocument();
    CheckDocument(FText);
    QString message;
    int line = 0;
    int column = 0;
    QDomDocument document;
    if (!document.setContent(FText, false, &message, &line, &column))
        throw EPlatformError(EPlatformError::XmlNotWellFormed,
                             {QString(), message, QString::number(line), QString::number(column)});
    FDocument = document;
    FActive = true;
}

void XmlDocumentHolder::Close()
{
    FDocument = QDomDocument();
    FActive = false;
}

TfDM::TfDM()
{
    XML.LoadFromBytes(BuiltInMapping());
}

QByteArray TfDM::BuiltInMapping()
{
    QFile file(QStringLiteral(":/model/uf_DM.xml"));
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("The built-in device mapping document is missing."));
    return file.readAll();
}
