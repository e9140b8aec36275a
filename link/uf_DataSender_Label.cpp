#include "link/uf_DataSender_Label.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

#include <cmath>

namespace {

constexpr QChar ZeroWidthSpace(0x200B);

bool IsSeparator(QChar c)
{
    return QStringView(u"/\\-_.,:;=+&?@|").contains(c);
}

// The text as a word-wrapped label draws it (CR as a space, LF as a line
// break), with a break chance after each separator of a word wider than
// the line: the lines then end at the separators rather than anywhere.
QString Breakable(const QString& Text, const QFontMetricsF& Metrics, qreal Width)
{
    QString out;
    out.reserve(Text.size() + 8);
    const qsizetype n = Text.size();
    for (qsizetype i = 0; i < n;) {
        if (Text[i].isSpace()) {
            out += Text[i] == u'\n' ? QChar(QChar::LineSeparator) : Text[i] == u'\r' ? QChar(u' ') : Text[i];
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < n && !Text[end].isSpace())
            ++end;
        const QString word = Text.mid(i, end - i);
        if (Metrics.horizontalAdvance(word) <= Width) {
            out += word;
        } else {
            for (qsizetype k = 0; k < word.size(); ++k) {
                out += word[k];
                if (IsSeparator(word[k]) && k + 1 < word.size() && !IsSeparator(word[k + 1]))
                    out += ZeroWidthSpace;
            }
        }
        i = end;
    }
    return out;
}

// Lays Text out at Width as a label's drawText does (lines on whole pixels,
// the font's leading above each); a part of a word too long for a line
// breaks anywhere. Returns the height taken.
int LayOut(QTextLayout& Layout, const QString& Text, const QFont& Font, int Width)
{
    const QFontMetricsF metrics(Font);
    Layout.setText(Breakable(Text, metrics, Width));
    Layout.setFont(Font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setTextDirection(Qt::LeftToRight);
    Layout.setTextOption(option);
    Layout.setCacheEnabled(true);
    qreal height = 0;
    Layout.beginLayout();
    for (QTextLine line = Layout.createLine(); line.isValid(); line = Layout.createLine()) {
        line.setLineWidth(Width);
        height = std::ceil(height + metrics.leading());
        line.setPosition(QPointF(0, height));
        height += line.ascent() + line.descent();
    }
    Layout.endLayout();
    return static_cast<int>(std::ceil(height));
}

} // namespace

TMessageLabel::TMessageLabel(QWidget* Parent) : QLabel(Parent)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

int TMessageLabel::heightForWidth(int Width) const
{
    const QMargins m = contentsMargins();
    if (text().isEmpty())
        return m.top() + m.bottom();
    QTextLayout layout;
    return LayOut(layout, text(), font(), std::max(1, Width - m.left() - m.right())) + m.top() + m.bottom();
}

QSize TMessageLabel::sizeHint() const
{
    return {width(), heightForWidth(width())};
}

QSize TMessageLabel::minimumSizeHint() const
{
    const QFontMetrics metrics(font());
    const QMargins m = contentsMargins();
    return {metrics.maxWidth() + m.left() + m.right(), metrics.height() + m.top() + m.bottom()};
}

void TMessageLabel::paintEvent(QPaintEvent*)
{
    if (text().isEmpty())
        return;
    const QRect room = contentsRect();
    QTextLayout layout;
    LayOut(layout, text(), font(), std::max(1, room.width()));
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.setClipRect(room);
    layout.draw(&painter, room.topLeft());
}

QStringList WrappedMessageLines(const QString& Text, const QFont& Font, int Width)
{
    QTextLayout layout;
    LayOut(layout, Text, Font, Width);
    QStringList lines;
    const QString shown = layout.text();
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        QString text = shown.mid(line.textStart(), line.textLength());
        text.remove(ZeroWidthSpace);
        while (!text.isEmpty() && text.back().isSpace())
            text.chop(1);
        lines << text;
    }
    return lines;
}
