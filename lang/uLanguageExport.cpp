#include "lang/uLanguageExport.h"

#include "lang/ControlProperties.h"

#include <QWidget>

#include <optional>
#include <utility>

namespace {

bool isXmlName(const QString& name)
{
    if (name.isEmpty() || !(name[0].isLetter() || name[0] == u'_'))
        return false;
    for (const QChar c : name) {
        if (!(c.isLetterOrNumber() || c == u'_' || c == u'-' || c == u'.'))
            return false;
    }
    return true;
}

} // namespace

void ExportControl(QWidget* Control, TXmlElement* ParentNode)
{
    if (!Control || !ParentNode || !isXmlName(Control->objectName()))
        return;
    TXmlElement& element = ParentNode->AppendChild(Control->objectName());
    ExportItems(Control, element);
    if (const std::optional<QString> caption = GetControlCaption(Control); caption && !caption->isEmpty())
        element.SetAttribute(QStringLiteral("caption"), *caption);
    if (const QString hint = GetControlHint(Control); !hint.isEmpty())
        element.SetAttribute(QStringLiteral("hint"), hint);
    const QList<QWidget*> children = ChildControls(Control);
    for (QWidget* child : children)
        ExportControl(child, &element);
}

void ExportItems(QWidget* Control, TXmlElement& Node)
{
    std::optional<QStringList> lines;
    if (const std::optional<TItemList> list = GetItemsOf(Control))
        lines = list->Lines(); // an empty list still gets its "items"
    else if (QStringList columns = GetColumnCaptions(Control); !columns.isEmpty())
        lines = std::move(columns);
    if (!lines)
        return;
    TXmlElement& items = Node.AppendChild(QStringLiteral("items"));
    for (const QString& line : std::as_const(*lines))
        items.AppendChild(QStringLiteral("item")).SetAttribute(QStringLiteral("value"), line);
}

void ExportFormTemplate(QWidget* Form, const QString& FileName)
{
    TXmlDocument doc(QStringLiteral("root"));
    ExportControl(Form, &doc.DocumentElement());
    doc.SaveToFile(FileName, QStringLiteral("windows-1250"));
}
