#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QComboBox;
class QWidget;

// How the texts of language files meet Qt widgets, all in one place.
//
// Property names (compared without regard to case):
//   Caption  window title of a window; text of a label, button, check box or
//            radio button; title of a group box
//   Hint     tool tip of any widget
//   Text     text of a line edit, plain text of a text edit
//   other    the widget's Qt property of that name (Q_PROPERTY), if any
// A name that none of these gives is an unknown property.
//
// Item lists: combo boxes. List-view columns: the header labels of tree and
// table widgets.
//
// Child controls: the child widgets that are not windows of their own, in the
// order of QObject::children(). A widget without a name, or one of Qt's own
// "qt_..." widgets (a scroll area's viewport, a tab widget's stack), is no
// control of its own: its children stand in its place, so language files
// follow the controls the program names and not Qt's inner structure.

// A widget that only shows texts its parent owns (the inner panel of a
// navigation frame) carries this dynamic property set to true. Its caption
// and hint belong to the parent: read from the parent, they appear once in a
// template, so a translated caption is never overwritten by the part's copy.
inline constexpr char ShowsParentTextsProperty[] = "vynShowsParentTexts";
bool ShowsParentTexts(const QWidget* control);

// The caption of control; nothing when it has no Caption in the map above or
// shows its parent's texts.
std::optional<QString> GetControlCaption(const QWidget* control);
// Empty for a control that shows its parent's texts.
QString GetControlHint(const QWidget* control);

// Sets the property Name of Control from text, converted to the property's
// type. Throws Exception when the control has no such property or the text
// does not convert (EConvertError for integer properties).
void SetControlProperty(QWidget* Control, const QString& Name, const QString& text);

// The line list of a control that has one, with its selected line.
class TItemList
{
public:
    explicit TItemList(QComboBox* combo) : m_combo(combo) {}

    QStringList Lines() const;
    // Replaces the texts line by line, so lines that stay keep their data.
    void SetLines(const QStringList& lines);
    int ItemIndex() const;
    void SetItemIndex(int index);

private:
    QComboBox* m_combo;
};

// The item list of a combo box; nothing for every other control (Qt has no
// radio-group control).
std::optional<TItemList> GetItemsOf(QWidget* Control);

bool IsListView(const QWidget* control);
// The column captions of a list view, in column order.
QStringList GetColumnCaptions(const QWidget* control);
// Sets the caption of column k to captions[k] for every existing column that
// has one; captions beyond the last column are ignored.
void SetColumnCaptions(QWidget* control, const QStringList& captions);

QList<QWidget*> ChildControls(const QWidget* control);

// Lets the labels of Window that are placed by hand (not by a layout) show
// their whole text: a label too narrow grows to the right, moves left when
// the room to the right is short, or wraps within its row; a wrapped label
// grows downwards. What lies below a grown control moves down as far as it
// must, and a window (or a hand-placed panel) grows when its content
// reaches past its bottom. Controls whose texts fit stay where they were
// built; every call starts again from those places, so texts that fit again
// bring back the original layout exactly.
void FitControlTexts(QWidget* Window);
