#include "lang/ControlProperties.h"

#include "platform/Exception.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMetaProperty>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTextEdit>
#include <QTreeWidget>

namespace {

enum class Slot { None, WindowTitle, LabelText, ButtonText, GroupTitle, ToolTip, EditText, PlainText };

bool is(const QString& name, const char* what)
{
    return name.compare(QLatin1String(what), Qt::CaseInsensitive) == 0;
}

Slot slotFor(const QWidget* w, const QString& name)
{
    if (is(name, "Caption")) {
        if (qobject_cast<const QLabel*>(w))
            return Slot::LabelText;
        if (qobject_cast<const QAbstractButton*>(w))
            return Slot::ButtonText;
        if (qobject_cast<const QGroupBox*>(w))
            return Slot::GroupTitle;
        if (w->isWindow())
            return Slot::WindowTitle;
    } else if (is(name, "Hint")) {
        // A control with a hint of its own (the navigation frames) keeps it
        // in step with its tool tip; plain widgets have only the tool tip.
        if (w->metaObject()->indexOfProperty("Hint") < 0)
            return Slot::ToolTip;
    } else if (is(name, "Text")) {
        if (qobject_cast<const QLineEdit*>(w))
            return Slot::EditText;
        if (qobject_cast<const QTextEdit*>(w) || qobject_cast<const QPlainTextEdit*>(w))
            return Slot::PlainText;
    }
    return Slot::None;
}

QString readSlot(const QWidget* w, Slot slot)
{
    switch (slot) {
    case Slot::WindowTitle: return w->windowTitle();
    case Slot::LabelText: return static_cast<const QLabel*>(w)->text();
    case Slot::ButtonText: return static_cast<const QAbstractButton*>(w)->text();
    case Slot::GroupTitle: return static_cast<const QGroupBox*>(w)->title();
    case Slot::ToolTip: return w->toolTip();
    case Slot::EditText: return static_cast<const QLineEdit*>(w)->text();
    case Slot::PlainText:
        if (auto* edit = qobject_cast<const QTextEdit*>(w))
            return edit->toPlainText();
        return static_cast<const QPlainTextEdit*>(w)->toPlainText();
    case Slot::None: break;
    }
    return {};
}

void writeSlot(QWidget* w, Slot slot, const QString& text)
{
    switch (slot) {
    case Slot::WindowTitle: w->setWindowTitle(text); break;
    case Slot::LabelText: static_cast<QLabel*>(w)->setText(text); break;
    case Slot::ButtonText: static_cast<QAbstractButton*>(w)->setText(text); break;
    case Slot::GroupTitle: static_cast<QGroupBox*>(w)->setTitle(text); break;
    case Slot::ToolTip: w->setToolTip(text); break;
    case Slot::EditText: static_cast<QLineEdit*>(w)->setText(text); break;
    case Slot::PlainText:
        if (auto* edit = qobject_cast<QTextEdit*>(w))
            edit->setPlainText(text);
        else
            static_cast<QPlainTextEdit*>(w)->setPlainText(text);
        break;
    case Slot::None: break;
    }
}

QMetaProperty findProperty(const QObject* object, const QString& name)
{
    const QMetaObject* meta = object->metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (name.compare(QLatin1String(property.name()), Qt::CaseInsensitive) == 0)
            return property;
    }
    return {};
}

bool isIntegerType(QMetaType type)
{
    switch (type.id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

} // namespace

bool ShowsParentTexts(const QWidget* control)
{
    return control->property(ShowsParentTextsProperty).toBool();
}

std::optional<QString> GetControlCaption(const QWidget* control)
{
    if (ShowsParentTexts(control))
        return std::nullopt;
    if (const Slot slot = slotFor(control, QStringLiteral("Caption")); slot != Slot::None)
        return readSlot(control, slot);
    const QMetaProperty property = findProperty(control, QStringLiteral("Caption"));
    if (property.isReadable())
        return property.read(control).toString();
    return std::nullopt;
}

QString GetControlHint(const QWidget* control)
{
    if (ShowsParentTexts(control))
        return {};
    if (const Slot slot = slotFor(control, QStringLiteral("Hint")); slot != Slot::None)
        return readSlot(control, slot);
    return findProperty(control, QStringLiteral("Hint")).read(control).toString();
}

void SetControlProperty(QWidget* Control, const QString& Name, const QString& text)
{
    if (const Slot slot = slotFor(Control, Name); slot != Slot::None) {
        writeSlot(Control, slot, text);
        return;
    }
    const QMetaProperty property = findProperty(Control, Name);
    if (!property.isValid())
        throw Exception(QStringLiteral("Property %1 does not exist").arg(Name));
    if (!property.isWritable())
        throw Exception(QStringLiteral("Property %1 is read-only").arg(Name));
    if (!property.write(Control, text)) {
        if (isIntegerType(property.metaType()))
            throw EConvertError::NotAnInteger(text);
        throw Exception(QStringLiteral("Invalid property value"));
    }
}

QStringList TItemList::Lines() const
{
    QStringList lines;
    for (int i = 0; i < m_combo->count(); ++i)
        lines.append(m_combo->itemText(i));
    return lines;
}

void TItemList::SetLines(const QStringList& lines)
{
    const int count = static_cast<int>(lines.size());
    while (m_combo->count() > count)
        m_combo->removeItem(m_combo->count() - 1);
    for (int i = 0; i < count; ++i) {
        if (i < m_combo->count())
            m_combo->setItemText(i, lines[i]);
        else
            m_combo->addItem(lines[i]);
    }
}

int TItemList::ItemIndex() const
{
    return m_combo->currentIndex();
}

void TItemList::SetItemIndex(int index)
{
    m_combo->setCurrentIndex(index);
}

std::optional<TItemList> GetItemsOf(QWidget* Control)
{
    if (auto* combo = qobject_cast<QComboBox*>(Control))
        return TItemList(combo);
    return std::nullopt;
}

bool IsListView(const QWidget* control)
{
    return qobject_cast<const QTreeWidget*>(control) || qobject_cast<const QTableWidget*>(control);
}

QStringList GetColumnCaptions(const QWidget* control)
{
    QStringList captions;
    if (auto* tree = qobject_cast<const QTreeWidget*>(control)) {
        for (int k = 0; k < tree->columnCount(); ++k)
            captions.append(tree->headerItem()->text(k));
    } else if (auto* table = qobject_cast<const QTableWidget*>(control)) {
        for (int k = 0; k < table->columnCount(); ++k) {
            const QTableWidgetItem* item = table->horizontalHeaderItem(k);
            captions.append(item ? item->text() : QString());
        }
    }
    return captions;
}

void SetColumnCaptions(QWidget* control, const QStringList& captions)
{
    if (auto* tree = qobject_cast<QTreeWidget*>(control)) {
        const int n = std::min(tree->columnCount(), static_cast<int>(captions.size()));
        for (int k = 0; k < n; ++k)
            tree->headerItem()->setText(k, captions[k]);
    } else if (auto* table = qobject_cast<QTableWidget*>(control)) {
        const int n = std::min(table->columnCount(), static_cast<int>(captions.size()));
        for (int k = 0; k < n; ++k) {
            if (QTableWidgetItem* item = table->horizontalHeaderItem(k))
                item->setText(captions[k]);
            else
                table->setHorizontalHeaderItem(k, new QTableWidgetItem(captions[k]));
        }
    }
}

QList<QWidget*> ChildControls(const QWidget* control)
{
    QList<QWidget*> controls;
    for (QObject* child : control->children()) {
        if (!child->isWidgetType())
            continue;
        auto* widget = static_cast<QWidget*>(child);
        if (widget->isWindow())
            continue;
        const QString name = widget->objectName();
        if (name.isEmpty() || name.startsWith(QLatin1String("qt_")))
            controls += ChildControls(widget);
        else
            controls.append(widget);
    }
    return controls;
}
