#pragma once

// Uses the command lines of a shown window as an administrator does: each
// holds its command whole on one line in full height, scrolls only when the
// window already takes the screen's width, and gives exactly the command to
// Ctrl+A or Home and Shift+End, then Ctrl+C; the mouse from before the first
// letter to the line's right edge takes what the line shows of it.

#include "platform/CommandView.h"
#include "support/QStringPrint.h"

#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

// Qt shows or hides a scroll bar once its range has settled.
inline bool CommandScrollBarsSettled(const platform::TCommandView& view)
{
    return std::all_of(view.Lines().begin(), view.Lines().end(), [](const platform::TCommandLine* line) {
        return line->horizontalScrollBar()->isVisible() == (line->horizontalScrollBar()->maximum() > 0);
    });
}

inline void ExpectCommandLines(const platform::TCommandView& view, const QStringList& commands, bool screenWide)
{
    ASSERT_EQ(view.Lines().size(), commands.size());
    EXPECT_TRUE(QTest::qWaitFor([&] { return CommandScrollBarsSettled(view); }, 5000));
    for (qsizetype i = 0; i < commands.size(); ++i) {
        platform::TCommandLine* line = view.Lines()[i];
        SCOPED_TRACE(commands[i].toStdString());
        EXPECT_EQ(line->Command(), commands[i]);
        EXPECT_EQ(line->document()->firstBlock().layout()->lineCount(), 1);
        const bool whole = line->horizontalScrollBar()->maximum() == 0;
        EXPECT_EQ(whole, line->width() >= line->FullWidth()) << line->width() << " of " << line->FullWidth();
        EXPECT_TRUE(whole || screenWide);
        EXPECT_LT(line->cursorRect(QTextCursor(line->document())).bottom(), line->viewport()->height());
        line->setFocus();
        for (const auto& [key, modifier] : {std::pair{Qt::Key_A, Qt::ControlModifier}, {Qt::Key_End, Qt::ShiftModifier}}) {
            QApplication::clipboard()->clear();
            line->moveCursor(QTextCursor::End);
            QTest::keyClick(line, Qt::Key_Home);
            QTest::keyClick(line, key, modifier);
            QTest::keyClick(line, Qt::Key_C, Qt::ControlModifier);
            EXPECT_EQ(QApplication::clipboard()->text(), commands[i]) << key;
        }
        // Not pressed in the selection, which would drag the text away.
        QApplication::clipboard()->clear();
        line->moveCursor(QTextCursor::Start);
        QWidget* area = line->viewport();
        const int middle = area->height() / 2;
        QTest::mousePress(area, Qt::LeftButton, {}, QPoint(1, middle));
        QTest::mouseMove(area, QPoint(area->width() - 1, middle));
        QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(area->width() - 1, middle));
        line->copy();
        const QString dragged = QApplication::clipboard()->text();
        EXPECT_TRUE(!dragged.isEmpty() && commands[i].startsWith(dragged)) << dragged.toStdString();
        EXPECT_EQ(dragged == commands[i], whole);
    }
}
