#include "platform/MessageBox.h"

#include "platform/CommandText.h"
#include "platform/CommandView.h"

#include <QApplication>
#include <QFontMetrics>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <array>
#include <memory>
#include <utility>
#include <vector>

namespace platform {

namespace {

MessageBoxHook& hook()
{
    static MessageBoxHook h;
    return h;
}

struct ButtonDef {
    QMessageBox::StandardButton qt;
    int code;
};

// Button sets by the low four bits of the flags, in the order the buttons
// stand (the order the default-button flags count in).
std::vector<ButtonDef> buttonsFor(unsigned flags)
{
    switch (flags & 0xF) {
    case MB_OKCANCEL:
        return {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_ABORTRETRYIGNORE:
        return {{QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}};
    case MB_YESNOCANCEL:
        return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_YESNO:
        return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
    case MB_RETRYCANCEL:
        return {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
    default:
        return {{QMessageBox::Ok, IDOK}};
    }
}

QMessageBox::Icon iconFor(unsigned flags)
{
    switch (flags & 0xF0) {
    case MB_ICONHAND:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONEXCLAMATION:
        return QMessageBox::Warning;
    case MB_ICONASTERISK:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

// What Escape or the close box answers: Cancel when the set has it, else No
// for Yes/No, else OK for a lone OK button. Abort/Retry/Ignore cannot be
// dismissed that way; Qt then keeps the box open, which matches.
int escapeCodeFor(const std::vector<ButtonDef>& buttons)
{
    for (const auto& b : buttons)
        if (b.code == IDCANCEL)
            return IDCANCEL;
    if (buttons.size() == 2 && buttons[1].code == IDNO)
        return IDNO;
    if (buttons.size() == 1)
        return IDOK;
    return 0;
}

// Qt's message box with the commands of its message below the text, above
// the buttons. Qt sizes the box for its text as it always does (the command
// lines ask for little width), on showing and on each layout request; the
// box then grows wider for the commands, within the screen, about the same
// centre. Being a class of its own also keeps Qt from handing the box to a
// native dialog that would not show the commands.
class TCommandMessageBox : public QMessageBox
{
    Q_OBJECT
public:
    TCommandMessageBox(Icon icon, const QString& caption, const QString& text, QWidget* owner,
                       const QStringList& commands)
        : QMessageBox(icon, caption, text, NoButton, owner), FView(new TCommandView(this))
    {
        FView->setObjectName(QStringLiteral("txtCommand"));
        FView->SetCommands(commands);
    }

protected:
    void showEvent(QShowEvent* event) override
    {
        PlaceView();
        QMessageBox::showEvent(event);
        FitCommands(true);
    }

    bool event(QEvent* event) override
    {
        const bool done = QMessageBox::event(event);
        if (event->type() == QEvent::LayoutRequest)
            FitCommands(false);
        return done;
    }

private:
    // Into the row of the button box, under the text's column; the button
    // box and whatever stands below it move one row down. Qt builds its
    // layout anew when the icon or the texts change, hence on showing.
    void PlaceView()
    {
        auto* grid = qobject_cast<QGridLayout*>(layout());
        if (!grid) {
            if (layout() && layout()->indexOf(FView) < 0)
                layout()->addWidget(FView);
            return;
        }
        if (grid->indexOf(FView) >= 0)
            return;
        int row = grid->rowCount(), column = 0, r = 0, c = 0, rows = 0, columns = 0;
        if (const int buttons = grid->indexOf(findChild<QDialogButtonBox*>()); buttons >= 0)
            grid->getItemPosition(buttons, &row, &c, &rows, &columns);
        if (const int text = grid->indexOf(findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))); text >= 0)
            grid->getItemPosition(text, &r, &column, &rows, &columns);
        struct Moved {
            QLayoutItem* item;
            int row, column, rows, columns;
        };
        std::vector<Moved> moved;
        for (int i = grid->count() - 1; i >= 0; --i) {
            grid->getItemPosition(i, &r, &c, &rows, &columns);
            if (r >= row)
                moved.push_back({grid->takeAt(i), r, c, rows, columns});
        }
        for (const Moved& m : moved)
            grid->addItem(m.item, m.row + 1, m.column, m.rows, m.columns, m.item->alignment());
        grid->addWidget(FView, row, column, 1, std::max(1, grid->columnCount() - column));
    }

    // On showing about the centre Qt placed the box at; later Qt keeps the
    // box's left edge, and so does this.
    void FitCommands(bool centre)
    {
        if (!isVisible() || !layout() || !screen())
            return;
        layout()->activate();
        const int lack = FView->FullWidth() - FView->width();
        const QRect room = screen()->availableGeometry();
        const QSize frame = frameGeometry().size() - size();
        const int width = std::min(this->width() + lack, room.width() - frame.width());
        if (lack <= 0 || width <= this->width())
            return;
        const int height = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width)
                                                          : layout()->totalMinimumSize().height();
        QRect placed(QPoint(), QSize(width, height) + frame);
        placed.moveTopLeft(frameGeometry().topLeft());
        if (centre)
            placed.moveCenter(frameGeometry().center());
        placed.moveLeft(std::max(room.left(), std::min(placed.left(), room.right() + 1 - placed.width())));
        placed.moveTop(std::max(room.top(), std::min(placed.top(), room.bottom() + 1 - placed.height())));
        setFixedSize(width, height);
        move(placed.topLeft());
        QCoreApplication::removePostedEvents(this, QEvent::LayoutRequest);
    }

    TCommandView* FView;
};

} // namespace

void SetMessageBoxHook(MessageBoxHook h)
{
    hook() = std::move(h);
}

int MessageBox(QWidget* owner, const QString& text, const QString& caption, unsigned flags)
{
    if (hook())
        return hook()(owner, text, caption, flags);

    const auto buttons = buttonsFor(flags);
    MessageParts parts = SplitCommands(text);
    // Qt's box takes at most the screen's width, on a screen wider than 1024
    // pixels 480 less and no more than 1000; with its icon and margins taken
    // off that is its text column. A word wider than the column is cut off at
    // the right, so a path that wide keeps its break chances.
    const QScreen* screen = owner && owner->screen() ? owner->screen() : QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->availableGeometry().width() : 1024;
    const int column = (screenWidth <= 1024 ? screenWidth : std::min(screenWidth - 480, 1000)) - 160;
    const QFontMetrics metrics(QApplication::font("QMessageBoxLabel"));
    parts.text = LoosenWidePaths(parts.text, [&](const QString& run) {
        return metrics.horizontalAdvance(run.trimmed()) <= column;
    });
    const std::unique_ptr<QMessageBox> shown =
        parts.commands.isEmpty()
            ? std::make_unique<QMessageBox>(iconFor(flags), caption, parts.text, QMessageBox::NoButton, owner)
            : std::make_unique<TCommandMessageBox>(iconFor(flags), caption, parts.text, owner, parts.commands);
    QMessageBox& box = *shown;
    // Device and system texts show as they came, never as markup.
    box.setTextFormat(Qt::PlainText);
    std::vector<std::pair<QAbstractButton*, int>> made;
    for (const auto& b : buttons)
        made.emplace_back(box.addButton(b.qt), b.code);

    const std::size_t defIndex = (flags & MB_DEFBUTTON3) ? 2 : (flags & MB_DEFBUTTON2) ? 1 : 0;
    if (defIndex < made.size())
        box.setDefaultButton(qobject_cast<QPushButton*>(made[defIndex].first));

    const int escCode = escapeCodeFor(buttons);
    for (const auto& [button, code] : made)
        if (code == escCode)
            box.setEscapeButton(button);

    box.exec();
    for (const auto& [button, code] : made)
        if (box.clickedButton() == button)
            return code;
    return escCode != 0 ? escCode : IDCANCEL;
}

} // namespace platform

#include "MessageBox.moc"
