// Labels placed by hand make room for their texts, push what lies below
// them only as far as needed, and give every place back when texts fit.
#include "lang/ControlProperties.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

struct Panel
{
    Panel(bool controlBeside)
    {
        window.setFixedSize(200, 100);
        label = new QLabel(QStringLiteral("Ab"), &window);
        label->setGeometry(8, 8, 60, 14);
        edit = new QLineEdit(&window);
        edit->setGeometry(8, 26, 184, 20);
        button = new QPushButton(QStringLiteral("OK"), &window);
        button->setGeometry(112, 70, 80, 22);
        if (controlBeside) {
            beside = new QLineEdit(&window);
            beside->setGeometry(120, 8, 72, 16);
        }
    }
    QWidget window;
    QLabel* label;
    QLineEdit* edit;
    QPushButton* button;
    QLineEdit* beside = nullptr;
};

} // namespace

TEST(FitControlTexts, LabelsGrowWrapAndPushOnlyAsFarAsTheirTextsNeed)
{
    const QString word = QStringLiteral("word ");
    struct Row {
        int words;
        bool beside;
        bool wraps;
        bool editMoves;
        bool windowGrows;
    };
    const Row rows[] = {
        {0, false, false, false, false}, // "Ab" fits its box
        {3, false, false, false, false}, // wider, still one line in the panel
        {8, false, true, true, false},   // two lines: the edit moves, the button stays
        {40, false, true, true, true},   // the button moves and the window grows
        {5, true, true, true, false},    // a control beside it leaves less room
    };
    for (const Row& row : rows) {
        Panel p(row.beside);
        const QString text = row.words ? word.repeated(row.words).trimmed() : QStringLiteral("Ab");
        p.label->setText(text);
        FitControlTexts(&p.window);
        const QString where = QStringLiteral("%1 words%2").arg(row.words).arg(row.beside ? " beside" : "");
        EXPECT_EQ(p.label->wordWrap(), row.wraps) << where.toStdString();
        EXPECT_EQ(p.label->pos(), QPoint(8, 8)) << where.toStdString();
        const int right = row.beside ? 120 - 4 : 200 - 8;
        if (row.wraps) {
            EXPECT_EQ(p.label->geometry().right() + 1, right) << where.toStdString();
            EXPECT_EQ(p.label->height(), p.label->heightForWidth(p.label->width())) << where.toStdString();
        } else {
            EXPECT_EQ(p.label->width(), std::max(60, p.label->sizeHint().width())) << where.toStdString();
            EXPECT_EQ(p.label->height(), 14) << where.toStdString();
        }
        // The edit keeps a small distance to the text above it.
        const int editTop = row.editMoves ? p.label->geometry().bottom() + 1 + 4 : 26;
        EXPECT_EQ(p.edit->geometry(), QRect(8, editTop, 184, 20)) << where.toStdString();
        if (row.windowGrows) {
            EXPECT_EQ(p.button->y(), p.edit->geometry().bottom() + 1 + 8) << where.toStdString();
            EXPECT_EQ(p.window.height(), p.button->geometry().bottom() + 1 + 8) << where.toStdString();
            EXPECT_EQ(p.window.minimumSize(), p.window.maximumSize()) << "stays fixed";
        } else {
            EXPECT_EQ(p.button->geometry(), QRect(112, 70, 80, 22)) << where.toStdString();
            EXPECT_EQ(p.window.size(), QSize(200, 100)) << where.toStdString();
        }

        // A text that fits again gives every place back.
        p.label->setText(QStringLiteral("Ab"));
        FitControlTexts(&p.window);
        EXPECT_FALSE(p.label->wordWrap()) << where.toStdString();
        EXPECT_EQ(p.label->geometry(), QRect(8, 8, 60, 14)) << where.toStdString();
        EXPECT_EQ(p.edit->geometry(), QRect(8, 26, 184, 20)) << where.toStdString();
        EXPECT_EQ(p.button->geometry(), QRect(112, 70, 80, 22)) << where.toStdString();
        EXPECT_EQ(p.window.size(), QSize(200, 100)) << where.toStdString();
    }
}

TEST(FitControlTexts, ALineTooLongForItsPlaceMovesLeftBeforeItWraps)
{
    QWidget window;
    window.setFixedSize(200, 60);
    auto* label = new QLabel(&window);
    label->setGeometry(40, 8, 20, 14);
    auto* button = new QPushButton(QStringLiteral("OK"), &window);
    button->setGeometry(112, 30, 80, 22);
    // As wide as the panel less its margins: it moves to the left margin.
    QString text = QStringLiteral("x");
    while (label->fontMetrics().horizontalAdvance(text + u'x') + 2 <= 200 - 16)
        text += u'x';
    label->setText(text);
    FitControlTexts(&window);
    EXPECT_FALSE(label->wordWrap());
    EXPECT_EQ(label->geometry().right() + 1, 200 - 8);
    EXPECT_GE(label->x(), 2);
    EXPECT_LT(label->x(), 40);
    EXPECT_EQ(button->geometry(), QRect(112, 30, 80, 22));
    // Hidden controls count too: a label shown later has its room already.
    label->hide();
    FitControlTexts(&window);
    EXPECT_EQ(label->geometry().right() + 1, 200 - 8);

    // Wider than the margins allow, it stands centred on one line.
    label->show();
    label->setText(text + u'x');
    FitControlTexts(&window);
    EXPECT_FALSE(label->wordWrap());
    EXPECT_EQ(label->x(), (200 - label->sizeHint().width()) / 2);
}

// A control drawn closer to the label than the row gap still keeps the gap
// once the label's text needs a second line.
TEST(FitControlTexts, APushedControlKeepsTheRowGap)
{
    Panel p(false);
    p.edit->move(8, 22);
    p.label->setText(QStringLiteral("word ").repeated(8).trimmed());
    FitControlTexts(&p.window);
    ASSERT_TRUE(p.label->wordWrap());
    EXPECT_EQ(p.edit->y(), p.label->geometry().bottom() + 1 + 4);
}
