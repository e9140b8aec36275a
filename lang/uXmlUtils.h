#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <list>
#include <memory>

struct TXmlAttribute
{
    QString Name;
    QString Value;
};

// One element of an XML document: its name, its attributes in document order
// and its child elements. Text, comments and processing instructions are not
// kept: the language files carry everything in elements and attributes.
// Attribute order is kept because the language files are applied attribute by
// attribute and stop at the first one that fails.
class TXmlElement
{
public:
    explicit TXmlElement(QString name);

    const QString& Name() const { return m_name; }

    const QList<TXmlAttribute>& Attributes() const { return m_attributes; }
    bool HasAttribute(const QString& name) const;
    QString Attribute(const QString& name) const;
    // Replaces the value of an existing attribute, else appends one.
    void SetAttribute(const QString& name, const QString& value);

    // Children keep their addresses while siblings are appended.
    const std::list<TXmlElement>& Children() const { return m_children; }
    TXmlElement& AppendChild(const QString& name);
    // The first child element named exactly name; null when there is none.
    // An empty name matches nothing.
    const TXmlElement* FirstChild(const QString& name) const;

private:
    QString m_name;
    QList<TXmlAttribute> m_attributes;
    std::list<TXmlElement> m_children;
};

// A whole document: the document element and its subtree.
class TXmlDocument
{
public:
    explicit TXmlDocument(const QString& rootName);

    TXmlElement& DocumentElement() { return *m_root; }
    const TXmlElement& DocumentElement() const { return *m_root; }

    // Parses the bytes, decoding them by their XML declaration (UTF-8 when
    // there is none). A document that is not well-formed throws Exception
    // with the parser's message and position, prefixed by sourceName.
    static TXmlDocument Parse(const QByteArray& bytes, const QString& sourceName);
    // Reads and parses a file; a file that cannot be read, or is larger than
    // platform::MaxOperatorFileSize, throws EPlatformError.
    static TXmlDocument LoadFromFile(const QString& fileName);

    // The document with an XML declaration naming encoding, encoded in it.
    // Characters the encoding lacks are written as character references.
    QByteArray SaveToBytes(const QString& encoding) const;
    // Writes SaveToBytes(encoding) to the file, replacing it only once the
    // whole text is written. Throws Exception when that fails.
    void SaveToFile(const QString& fileName, const QString& encoding) const;

private:
    std::unique_ptr<TXmlElement> m_root;
};

// The attribute Name of Node; Default when Node is null or lacks it.
QString GetAttr(const TXmlElement* Node, const QString& Name, const QString& Default);

// xml encoded in the named encoding, with every character that the encoding
// cannot hold written as a character reference (&#x...;). Throws Exception
// for an encoding the platform does not know.
QByteArray EncodeXmlText(const QString& xml, const QString& encoding);
