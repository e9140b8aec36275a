#pragma once

// The pieces every settings page is built from: plain-text labels, edits,
// spin edits and check boxes named as the language files address them.
#include "app/UpDown.h"
#include "app/ufrm_Tlacitko.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QSpinBox>
#include <QStyle>

namespace pagekit {

// A frame of the main window (button, menu item) with its name, texts and size.
template <class Frame>
Frame* MakeFrame(QWidget* parent, const QString& name, const QString& caption, const QString& hint, QSize size)
{
    auto* frame = new Frame(parent);
    frame->setObjectName(name);
    frame->SetCaption(caption);
    frame->SetHint(hint);
    frame->setFixedSize(size);
    return frame;
}

inline QLabel* Label(QWidget* page, const QString& name, const QString& text)
{
    auto* label = new QLabel(text, page);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    return label;
}

inline QLabel* Heading(QWidget* page, const QString& name, const QString& text)
{
    QLabel* label = Label(page, name, text);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

inline QLineEdit* Edit(QWidget* page, const QString& name, const QString& text = QString())
{
    auto* edit = new QLineEdit(text, page);
    edit->setObjectName(name);
    return edit;
}

// Copies typed into one spin edit reach the others once the number is
// complete (Enter, leaving, arrows), not at every keystroke.
inline QSpinBox* Spin(QWidget* page, const QString& name, int min, int max, int value)
{
    auto* spin = new QSpinBox(page);
    spin->setObjectName(name);
    spin->setRange(min, max);
    spin->setValue(value);
    spin->setKeyboardTracking(false);
    return spin;
}

inline QCheckBox* Check(QWidget* page, const QString& name, const QString& caption)
{
    auto* box = new QCheckBox(caption, page);
    box->setObjectName(name);
    return box;
}

inline TfrmTlacitko* AtButton(QWidget* page, const QString& name, const QString& hint)
{
    auto* button = new TfrmTlacitko(page);
    button->setObjectName(name);
    button->SetCaption(QStringLiteral("@"));
    button->SetHint(hint);
    button->setFixedSize(24, 20);
    return button;
}

// The information icon of a shared-values mark. The first look-up of an
// icon reads the desktop's icon theme, which costs start-up several
// milliseconds; the pages start hidden, so the icon is taken when a mark is
// first shown. Until then a clear picture of the same size holds its place,
// and the layout is the same either way.
class TSharedMark final : public QLabel
{
public:
    explicit TSharedMark(QWidget* parent)
        : QLabel(parent)
    {
        QPixmap placeholder(IconSize, IconSize);
        placeholder.fill(Qt::transparent);
        setPixmap(placeholder);
    }

protected:
    void showEvent(QShowEvent* event) override
    {
        if (!FIconTaken) {
            FIconTaken = true;
            setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(IconSize, IconSize));
        }
        QLabel::showEvent(event);
    }

private:
    static constexpr int IconSize = 16;
    bool FIconTaken = false;
};

// A picture whose hint says which pages share the values beside it.
inline QLabel* SharedMark(QWidget* page, const QString& name, const QString& hint)
{
    auto* mark = new TSharedMark(page);
    mark->setObjectName(name);
    mark->setToolTip(hint);
    return mark;
}

inline QGridLayout* PageGrid(QWidget* page)
{
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(12, 8, 12, 8);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(4);
    grid->setColumnStretch(1, 1);
    return grid;
}

// A control and what stands right of it, in one grid cell.
inline QHBoxLayout* Row(QWidget* first, QWidget* second = nullptr, QWidget* third = nullptr)
{
    auto* row = new QHBoxLayout;
    row->setSpacing(4);
    for (QWidget* w : {first, second, third})
        if (w)
            row->addWidget(w);
    row->addStretch(1);
    return row;
}

const QString AtHint = QStringLiteral("Převést symbolickou adresu na IP adresu (musí být dostupná)");
const QString BandHint = QStringLiteral("Tyto parametry jsou společné pro E-mail a SNMP");
const QString SendingHint = QStringLiteral("Tyto parametry jsou společné pro TCP, HTTP GET a SOAP");

} // namespace pagekit
