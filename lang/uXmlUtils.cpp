#include "lang/uXmlUtils.h"

#include "platform/Exception.h"
#include "platform/FileRead.h"

#include <QSaveFile>
#include <QStringEncoder>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <optional>
#include <utility>
#include <vector>

namespace {

// Far deeper than any window's control tree; it keeps a hostile file from
// exhausting the stack when the tree is written or freed.
constexpr size_t MaxElementDepth = 512;

void writeElement(QXmlStreamWriter& writer, const TXmlElement& element)
{
    writer.writeStartElement(element.Name());
    for (const TXmlAttribute& attribute : element.Attributes())
        writer.writeAttribute(attribute.Name, attribute.Value);
    for (const TXmlElement& child : element.Children())
        writeElement(writer, child);
    writer.writeEndElement();
}

} // namespace

TXmlElement::TXmlElement(QString name)
    : m_name(std::move(name))
{
}

bool TXmlElement::HasAttribute(const QString& name) const
{
    for (const TXmlAttribute& attribute : m_attributes) {
        if (attribute.Name == name)
            return true;
    }
    return false;
}

QString TXmlElement::Attribute(const QString& name) const
{
    for (const TXmlAttribute& attribute : m_attributes) {
        if (attribute.Name == name)
            return attribute.Value;
    }
    return {};
}

void TXmlElement::SetAttribute(const QString& name, const QString& value)
{
    for (TXmlAttribute& attribute : m_attributes) {
        if (attribute.Name == name) {
            attribute.Value = value;
            return;
        }
    }
    m_attributes.append({name, value});
}

TXmlElement& TXmlElement::AppendChild(const QString& name)
{
    return m_children.emplace_back(name);
}

const TXmlElement* TXmlElement::FirstChild(const QString& name) const
{
    if (name.isEmpty())
        return nullptr;
    for (const TXmlElement& child : m_children) {
        if (child.Name() == name)
            return &child;
    }
    return nullptr;
}

TXmlDocument::TXmlDocument(const QString& rootName)
    : m_root(std::make_unique<TXmlElement>(rootName))
{
}

TXmlDocument TXmlDocument::Parse(const QByteArray& bytes, const QString& sourceName)
{
    QXmlStreamReader reader(bytes);
    reader.setNamespaceProcessing(false);
    TXmlDocument doc{QString()};
    std::vector<TXmlElement*> open;
    bool rootSeen = false;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QString name = reader.qualifiedName().toString();
            TXmlElement* element = nullptr;
            if (!rootSeen) {
                *doc.m_root = TXmlElement(name);
                element = doc.m_root.get();
                rootSeen = true;
            } else {
                element = &open.back()->AppendChild(name);
            }
            open.push_back(element);
            if (open.size() > MaxElementDepth) {
                reader.raiseError(QStringLiteral("Elements are nested too deeply."));
                break;
            }
            for (const QXmlStreamAttribute& attribute : reader.attributes())
                element->SetAttribute(attribute.qualifiedName().toString(), attribute.value().toString());
        } else if (token == QXmlStreamReader::EndElement) {
            open.pop_back();
        }
    }
    if (reader.hasError()) {
        throw EPlatformError(EPlatformError::XmlNotWellFormed,
                             {sourceName, reader.errorString(), QString::number(reader.lineNumber()),
                              QString::number(reader.columnNumber())});
    }
    return doc;
}

TXmlDocument TXmlDocument::LoadFromFile(const QString& fileName)
{
    return Parse(platform::ReadFileWithin(fileName), fileName);
}

QByteArray TXmlDocument::SaveToBytes(const QString& encoding) const
{
    QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"%1\"?>").arg(encoding);
    QXmlStreamWriter writer(&text);
    writer.setAutoFormatting(true);
    writeElement(writer, *m_root);
    text += u'\n';
    return EncodeXmlText(text, encoding);
}

void TXmlDocument::SaveToFile(const QString& fileName, const QString& encoding) const
{
    const QByteArray bytes = SaveToBytes(encoding);
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw Exception(QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, file.errorString()));
}

QString GetAttr(const TXmlElement* Node, const QString& Name, const QString& Default)
{
    if (!Node || !Node->HasAttribute(Name))
        return Default;
    return Node->Attribute(Name);
}

QByteArray EncodeXmlText(const QString& xml, const QString& encoding)
{
    const QByteArray name = encoding.toLatin1();
    // Built in place each time: a moved encoder loses track of its errors.
    std::optional<QStringEncoder> encoder(std::in_place, name.constData());
    if (!encoder->isValid())
        throw Exception(QStringLiteral("Unsupported encoding \"%1\".").arg(encoding));
    QByteArray whole = encoder->encode(xml);
    if (!encoder->hasError())
        return whole;

    // Rare: go character by character. An encoder keeps its error flag, so
    // a fresh one takes over after each character it could not hold.
    encoder.emplace(name.constData());
    QByteArray out;
    out.reserve(whole.size() + 64);
    for (qsizetype i = 0; i < xml.size();) {
        const qsizetype len = (xml[i].isHighSurrogate() && i + 1 < xml.size()) ? 2 : 1;
        const QStringView ch = QStringView(xml).mid(i, len);
        const QByteArray bytes = encoder->encode(ch);
        if (encoder->hasError()) {
            const char32_t code = len == 2 ? QChar::surrogateToUcs4(ch[0], ch[1]) : ch[0].unicode();
            out += "&#x" + QByteArray::number(static_cast<uint>(code), 16).toUpper() + ';';
            encoder.emplace(name.constData());
        } else {
            out += bytes;
        }
        i += len;
    }
    return out;
}
