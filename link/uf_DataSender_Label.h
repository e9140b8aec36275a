#pragma once

// The text of the conversation window: its status line and its messages.
// Plain text, wrapped at spaces as a word-wrapped label wraps it. A word too
// long for a line (a path, a command) breaks after one of its separators
// ('/', '-', '_', '.', ...), and a part still too long between any two
// letters, so no text is ever cut off at the right. text() is the text as
// set; alignment is left and top.

#include <QLabel>
#include <QStringList>

class QFont;

class TMessageLabel : public QLabel
{
public:
    explicit TMessageLabel(QWidget* Parent);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int Width) const override;
    QSize sizeHint() const override;
    // As wide as one letter, as any word may break.
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* Event) override;
};

// The lines Text takes at Width pixels in Font, as the label draws them
// (the breaks it adds are not part of the lines).
QStringList WrappedMessageLines(const QString& Text, const QFont& Font, int Width);
