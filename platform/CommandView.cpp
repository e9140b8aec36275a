#include "platform/CommandView.h"

#include <QAbstractTextDocumentLayout>
#include <QFontDatabase>
#include <QScrollBar>
#include <QTextBlock>
#include <QVBoxLayout>

#include <cmath>

namespace platform {

namespace {

// Kept free between two commands.
constexpr int LineGap = 4;

// A fixed-pitch font as large as the window's own: a command reads letter
// by letter (l, 1 and I; quotes and spaces) and is set apart from the text.
QFont FixedFontLike(const QFont& Font)
{
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (Font.pixelSize() > 0)
        fixed.setPixelSize(Font.pixelSize());
    else
        fixed.setPointSizeF(Font.pointSizeF());
    return fixed;
}

} // namespace

TCommandLine::TCommandLine(const QString& Command, QWidget* Parent) : QPlainTextEdit(Parent)
{
    setFont(FixedFontLike(Parent ? Parent->font() : font()));
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setWordWrapMode(QTextOption::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setTabChangesFocus(true);
    setUndoRedoEnabled(false);
    setPlainText(Command);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

int TCommandLine::LineHeight() const
{
    const QTextBlock block = document()->firstBlock();
    return static_cast<int>(std::ceil(blockBoundingRect(block).height() + 2 * document()->documentMargin())) +
           2 * frameWidth();
}

int TCommandLine::FullWidth() const
{
    // Whole pixels of the text's width, as the scroll bar's range counts them.
    return static_cast<int>(document()->documentLayout()->documentSize().width()) + 2 * frameWidth();
}

int TCommandLine::heightForWidth(int Width) const
{
    return LineHeight() + (Width < FullWidth() ? horizontalScrollBar()->sizeHint().height() : 0);
}

QSize TCommandLine::sizeHint() const
{
    return {FullWidth(), heightForWidth(FullWidth())};
}

QSize TCommandLine::minimumSizeHint() const
{
    const int width = std::min(FullWidth(), 8 * fontMetrics().averageCharWidth() + 2 * frameWidth());
    return {width, heightForWidth(width)};
}

TCommandView::TCommandView(QWidget* Parent) : QWidget(Parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(LineGap);
}

void TCommandView::SetCommands(const QStringList& Commands)
{
    if (Commands == this->Commands())
        return;
    qDeleteAll(FLines);
    FLines.clear();
    for (const QString& command : Commands) {
        auto* line = new TCommandLine(command, this);
        layout()->addWidget(line);
        FLines << line;
    }
    updateGeometry();
}

QStringList TCommandView::Commands() const
{
    QStringList commands;
    for (const TCommandLine* line : FLines)
        commands << line->Command();
    return commands;
}

int TCommandView::FullWidth() const
{
    int width = 0;
    for (const TCommandLine* line : FLines)
        width = std::max(width, line->FullWidth());
    return width;
}

} // namespace platform
