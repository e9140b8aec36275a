#include "lang/uLanguageForms.h"

#include "lang/ControlProperties.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QSignalBlocker>
#include <QWidget>

namespace {

// Notes parentless widgets as they are created, because
// QApplication::topLevelWidgets() has no defined order. QWidget's constructor
// sends every widget a QEvent::Create, which passes the application's event
// filters; a window this misses still counts, after the noted ones.
class CreationOrder final : public QObject
{
public:
    using QObject::QObject;

    QList<QPointer<QWidget>> created;

    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::Create && object->isWidgetType()
            && !static_cast<QWidget*>(object)->parentWidget()) {
            if (created.size() >= 2 * m_keptAfterPrune + 32)
                prune();
            created.append(static_cast<QWidget*>(object));
        }
        return false;
    }

private:
    // Widgets built without a parent are usually put into a layout at once;
    // only the ones still parentless matter.
    void prune()
    {
        created.removeIf([](const QPointer<QWidget>& w) { return !w || w->parentWidget(); });
        m_keptAfterPrune = created.size();
    }

    qsizetype m_keptAfterPrune = 0;
};

QPointer<CreationOrder> g_creationOrder;

void ApplyItems(QWidget* Control, const TXmlElement& Node)
{
    const TXmlElement* items = Node.FirstChild(QStringLiteral("items"));
    if (!items)
        return;
    std::optional<TItemList> list = GetItemsOf(Control);
    if (!list)
        return;
    // The program's own change of the lines is no choice of the user: no
    // change signals reach the window's handlers.
    const QSignalBlocker quiet(Control);
    const int index = list->ItemIndex();
    QStringList lines;
    for (const TXmlElement& item : items->Children()) {
        if (item.Name() == u"item")
            lines.append(GetAttr(&item, QStringLiteral("value"), QStringLiteral("<Error In Lng File>")));
    }
    list->SetLines(lines);
    list->SetItemIndex(index);
}

void ApplyNode(QWidget* Control, const TXmlElement& Node)
{
    ApplyItems(Control, Node);
    if (const TXmlElement* items = Node.FirstChild(QStringLiteral("items")); items && IsListView(Control)) {
        // Every child counts here, whatever its name.
        QStringList captions;
        for (const TXmlElement& column : items->Children())
            captions.append(GetAttr(&column, QStringLiteral("value"), QString()));
        SetColumnCaptions(Control, captions);
    }
    for (const TXmlAttribute& attribute : Node.Attributes())
        SetControlProperty(Control, attribute.Name, attribute.Value);
    for (const TXmlElement& child : Node.Children()) {
        if (QWidget* control = FindChildControl(Control, child.Name()))
            ApplyNode(control, child);
    }
}

class WindowTranslator final : public TFormTranslator
{
public:
    void ApplyForms(const TXmlElement& forms) override
    {
        for (const TXmlElement& form : forms.Children()) {
            const QList<QWidget*> windows = ApplicationWindows();
            for (QWidget* window : windows) {
                if (window->objectName() == form.Name()) {
                    ::ApplyNode(window, form);
                    FitControlTexts(window);
                    break;
                }
            }
        }
    }

    void ApplyNode(QObject* control, const TXmlElement& node) override
    {
        if (auto* widget = qobject_cast<QWidget*>(control))
            ::ApplyNode(widget, node);
    }
};

} // namespace

void InstallWindowTranslation(TLanguage& language)
{
    static WindowTranslator translator;
    if (!g_creationOrder && QCoreApplication::instance()) {
        g_creationOrder = new CreationOrder(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(g_creationOrder);
    }
    language.SetFormTranslator(&translator);
}

void TranslateNewWindow(QWidget* Window, const TLanguage& language)
{
    language.TranslateForm(Window);
    // Also without a language file: built-in texts may need more room than
    // their places give them too.
    FitControlTexts(Window);
}

QList<QWidget*> ApplicationWindows()
{
    QList<QWidget*> windows;
    if (g_creationOrder) {
        for (const QPointer<QWidget>& widget : std::as_const(g_creationOrder->created)) {
            if (widget && !widget->parentWidget())
                windows.append(widget);
        }
    }
    const QWidgetList all = QApplication::topLevelWidgets();
    for (QWidget* widget : all) {
        if (!widget->parentWidget() && !windows.contains(widget))
            windows.append(widget);
    }
    return windows;
}

QWidget* FindChildControl(QWidget* Parent, const QString& Name)
{
    if (!Parent)
        return nullptr;
    const QList<QWidget*> controls = ChildControls(Parent);
    for (QWidget* control : controls) {
        if (control->objectName() == Name)
            return control;
    }
    return nullptr;
}
