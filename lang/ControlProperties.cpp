#include "lang/ControlProperties.h"

#include "platform/Exception.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMetaProperty>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QStyle>
#include <QTableWidget>
#include <QTextEdit>
#include <QTreeWidget>

#include <algorithm>
#include <vector>

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

// ---------------------------------------------------------------- fitting

namespace {

const char DesignRectProperty[] = "vynDesignRect";
const char DesignSizeProperty[] = "vynDesignSize";
const char FitWrappedProperty[] = "vynFitWrapped";
// Kept free at a panel's edge when a text grows towards it; a line that
// needs the whole panel keeps at least MinEdge.
constexpr int EdgeMargin = 8;
constexpr int MinEdge = 2;
// Kept free between a text and the control beside or below it.
constexpr int RowGap = 4;
// At most this much of the original distance is kept between a control and
// what grew above it: a button row at the bottom stays where it is.
constexpr int MaxGap = 8;

bool HasText(const QLabel* label)
{
    return !label->text().isEmpty() && label->pixmap().isNull();
}

// Where a label's text lies in its box; the box for every other control.
QRect UsedRect(const QWidget* w)
{
    const auto* label = qobject_cast<const QLabel*>(w);
    if (!label || !HasText(label))
        return w->geometry();
    const QRect box = w->geometry();
    QSize need = label->wordWrap() ? QSize(box.width(), label->heightForWidth(box.width())) : label->sizeHint();
    need = need.boundedTo(box.size());
    return QStyle::alignedRect(label->layoutDirection(), label->alignment(), need, box);
}

// Controls with inner parts of their own are never rearranged.
bool HoldsPlacedControls(const QWidget* w)
{
    return !qobject_cast<const QAbstractButton*>(w) && !qobject_cast<const QComboBox*>(w) &&
           !qobject_cast<const QLineEdit*>(w) && !w->inherits("QAbstractSpinBox") &&
           !w->inherits("QAbstractScrollArea") && !qobject_cast<const QLabel*>(w);
}

void Place(QWidget* w, const QRect& r)
{
    if (w->geometry() == r)
        return;
    if (!w->property(DesignRectProperty).isValid())
        w->setProperty(DesignRectProperty, w->geometry());
    w->setGeometry(r);
}

void RestoreDesign(QWidget* w)
{
    if (const QVariant design = w->property(DesignRectProperty); design.isValid())
        w->setGeometry(design.toRect());
    if (w->property(FitWrappedProperty).toBool()) {
        static_cast<QLabel*>(w)->setWordWrap(false);
        w->setProperty(FitWrappedProperty, QVariant());
    }
}

bool FixedSize(const QWidget* w)
{
    return w->minimumSize() == w->maximumSize();
}

void SetWindowHeight(QWidget* window, int height)
{
    if (!window->property(DesignSizeProperty).isValid())
        window->setProperty(DesignSizeProperty, window->size());
    if (FixedSize(window))
        window->setFixedSize(window->width(), height);
    else
        window->resize(window->width(), height);
}

// How far right a label in Siblings may reach: the panel's edge less its
// margin, or the next control in its row.
int RightLimit(const QWidget* Container, const QWidget* Label, const QList<QWidget*>& Siblings)
{
    const QRect own = Label->geometry();
    int limit = Container->width() - EdgeMargin;
    for (const QWidget* s : Siblings) {
        const QRect r = s->geometry();
        if (s != Label && r.left() >= own.right() && r.top() <= own.bottom() && r.bottom() >= own.top())
            limit = std::min(limit, r.left() - RowGap);
    }
    return limit;
}

void FitLabel(QWidget* Container, QLabel* Label, const QList<QWidget*>& Siblings)
{
    QRect r = Label->geometry();
    if (!Label->wordWrap()) {
        const int need = Label->sizeHint().width();
        // A box may be wider than its panel as long as its text is not.
        if (need > r.width() || r.left() + need > Container->width()) {
            const int right = RightLimit(Container, Label, Siblings);
            const int leftmost = std::min(r.left(), EdgeMargin);
            const int alone = Container->width() - need;
            if (r.left() + need <= right) {
                r.setWidth(need);
            } else if (right - need >= leftmost) {
                r.moveLeft(right - need);
                r.setWidth(need);
            } else if (right == Container->width() - EdgeMargin && alone >= 2 * MinEdge) {
                // One line across the whole panel rather than two lines
                // that would reach into the buttons below.
                r.moveLeft(alone / 2);
                r.setWidth(need);
            } else {
                Label->setWordWrap(true);
                Label->setProperty(FitWrappedProperty, true);
                r.setWidth(std::max(1, right - r.left()));
            }
        }
    }
    const int needHeight = Label->wordWrap() ? Label->heightForWidth(r.width()) : Label->sizeHint().height();
    if (needHeight > r.height())
        r.setHeight(needHeight);
    Place(Label, r);
}

bool SharesColumns(const QRect& a, const QRect& b)
{
    return a.left() <= b.right() && b.left() <= a.right();
}

void FitLevel(QWidget* Container)
{
    QList<QWidget*> kids;
    for (QObject* child : Container->children()) {
        if (child->isWidgetType() && !static_cast<QWidget*>(child)->isWindow())
            kids.append(static_cast<QWidget*>(child));
    }
    for (QWidget* w : kids)
        RestoreDesign(w);
    if (Container->isWindow()) {
        if (const QVariant size = Container->property(DesignSizeProperty); size.isValid())
            SetWindowHeight(Container, size.toSize().height());
    }
    // A window still being built has not laid out its panels yet, and a
    // stack sizes only the page in front.
    if (QLayout* layout = Container->layout())
        layout->activate();
    if (auto* stack = qobject_cast<QStackedWidget*>(Container)) {
        for (int i = 0; i < stack->count(); ++i)
            stack->widget(i)->setGeometry(stack->contentsRect());
    }
    const bool placedByHand = !Container->layout();
    std::vector<QRect> designUsed;
    for (QWidget* w : kids)
        designUsed.push_back(UsedRect(w));

    for (QWidget* w : kids)
        if (HoldsPlacedControls(w))
            FitLevel(w);
    if (!placedByHand)
        return;
    for (QWidget* w : kids)
        if (auto* label = qobject_cast<QLabel*>(w); label && HasText(label))
            FitLabel(Container, label, kids);

    // Top to bottom, each control clears what grew or moved above it.
    std::vector<size_t> order(size_t(kids.size()));
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return designUsed[a].top() < designUsed[b].top(); });
    for (size_t k = 0; k < order.size(); ++k) {
        QWidget* s = kids[qsizetype(order[k])];
        const QRect design = designUsed[order[k]];
        int needTop = design.top();
        for (size_t m = 0; m < k; ++m) {
            const size_t p = order[m];
            const QRect now = UsedRect(kids[qsizetype(p)]);
            if (designUsed[p].top() >= design.top() || now.bottom() <= designUsed[p].bottom() ||
                !SharesColumns(now, s->geometry()))
                continue;
            const int gap = std::clamp(design.top() - designUsed[p].bottom() - 1, RowGap, MaxGap);
            needTop = std::max(needTop, now.bottom() + 1 + gap);
        }
        const int shift = needTop - UsedRect(s).top();
        if (shift > 0)
            Place(s, s->geometry().translated(0, shift));
    }

    // The container grows with its content, keeping its bottom margin.
    int designBottom = 0;
    int bottom = 0;
    for (qsizetype i = 0; i < kids.size(); ++i) {
        designBottom = std::max(designBottom, designUsed[size_t(i)].bottom() + 1);
        bottom = std::max(bottom, UsedRect(kids[i]).bottom() + 1);
    }
    const int needHeight = bottom + std::max(0, Container->height() - designBottom);
    if (bottom <= designBottom || needHeight <= Container->height())
        return;
    if (Container->isWindow())
        SetWindowHeight(Container, needHeight);
    else if (Container->parentWidget() && !Container->parentWidget()->layout())
        Place(Container, QRect(Container->geometry().topLeft(), QSize(Container->width(), needHeight)));
}

} // namespace

void FitControlTexts(QWidget* Window)
{
    if (Window)
        FitLevel(Window);
}
