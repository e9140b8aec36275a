#pragma once

#include "model/u_DevData.h"
#include "model/uf_DM.h"

#include <QDomDocument>

#include <memory>

// A parsed snippet; the element stays valid as long as this lives.
struct XmlSnippet
{
    QDomDocument doc;
    QDomElement root;
    explicit XmlSnippet(const QString& text)
    {
        doc.setContent(text);
        root = doc.documentElement();
    }
};

// An item from `<dataitem ATTRS>CHILDREN</dataitem>` on `record`.
inline std::unique_ptr<TDataItem> ItemFromXml(const QString& attrs, QByteArray& record,
                                              const QString& children = QString())
{
    XmlSnippet xml(QStringLiteral("<dataitem %1>%2</dataitem>").arg(attrs, children));
    return TDataItem::CreateFromXML(xml.root, ByteSpan(record));
}

inline QByteArray Bytes(const char* hex)
{
    return QByteArray::fromHex(hex);
}

// The fourth byte of a record tells its kind; the other bytes are 11, so
// that bytes a packet leaves alone show.
inline QByteArray Record(int size, uint8_t code)
{
    QByteArray r(size, '\x11');
    r[3] = char(code);
    return r;
}

inline QDomElement DataManagerOf(const QDomDocument& doc)
{
    return doc.documentElement()
        .firstChildElement(QStringLiteral("device_mapping"))
        .firstChildElement(QStringLiteral("datamanager"));
}

inline std::unique_ptr<TDataManager> BuiltInModel()
{
    TfDM dm;
    dm.XML.Open();
    return std::make_unique<TDataManager>(DataManagerOf(dm.XML.Document()));
}

inline std::unique_ptr<TDataManager> ModelFromPackets(const QString& packets)
{
    XmlSnippet xml(QStringLiteral("<datamanager name=\"T\">%1</datamanager>").arg(packets));
    return std::make_unique<TDataManager>(xml.root);
}
