#pragma once

// The commands of a message, shown where an administrator can take them:
// each whole on a line of its own, never wrapped, in a fixed-pitch font,
// selectable by mouse and keyboard and copied as it is. A window gives a
// command the width it needs where the screen allows; a narrower line
// scrolls sideways, with a scroll bar, so no part is out of reach.

#include <QList>
#include <QPlainTextEdit>
#include <QStringList>
#include <QWidget>

namespace platform {

// One command on one read-only line. Ctrl+A and Ctrl+C (or the context
// menu) copy exactly the command. Enter, Escape and Tab go on to the window,
// so its default button still answers Enter.
class TCommandLine : public QPlainTextEdit
{
public:
    TCommandLine(const QString& Command, QWidget* Parent);

    QString Command() const { return toPlainText(); }
    // As wide as the line shows the whole command without scrolling.
    int FullWidth() const;

    bool hasHeightForWidth() const override { return true; }
    // The line, and below it the scroll bar when Width is too narrow.
    int heightForWidth(int Width) const override;
    QSize sizeHint() const override;
    // Narrow: a message box keeps wrapping its text as it always does.
    QSize minimumSizeHint() const override;

private:
    int LineHeight() const;
};

// The commands one under another. Its height depends on its width (a
// scroll bar under each line too narrow for its command).
class TCommandView : public QWidget
{
public:
    explicit TCommandView(QWidget* Parent);

    // Replaces the lines; no commands leave the view empty (height 0).
    void SetCommands(const QStringList& Commands);
    QStringList Commands() const;
    const QList<TCommandLine*>& Lines() const { return FLines; }
    // The width at which every command shows whole.
    int FullWidth() const;

private:
    QList<TCommandLine*> FLines;
};

} // namespace platform
