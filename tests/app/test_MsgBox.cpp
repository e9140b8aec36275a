#include "app/MyUtils.h"

#include "platform/MessageBox.h"

#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

struct Shown {
    QWidget* owner = nullptr;
    QString text, caption;
    unsigned flags = 0;
    int calls = 0;
};

// Answers every box with `answer` and records what it was asked to show.
class MsgBoxTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_name = QCoreApplication::applicationName();
        platform::SetMessageBoxHook([this](QWidget* o, const QString& t, const QString& c, unsigned f) {
            shown = {o, t, c, f, shown.calls + 1};
            return answer;
        });
    }
    void TearDown() override
    {
        platform::SetMessageBoxHook(nullptr);
        QCoreApplication::setApplicationName(m_name);
    }

    Shown shown;
    int answer = platform::IDOK;

private:
    QString m_name;
};

} // namespace

TEST_F(MsgBoxTest, EmptyCaptionShowsTheApplicationTitle)
{
    QCoreApplication::setApplicationName(QStringLiteral("VYN"));
    EXPECT_EQ(MsgBox(QStringLiteral("Chyba"), 16), platform::IDOK);
    EXPECT_EQ(shown.caption, QStringLiteral("VYN"));
    EXPECT_EQ(shown.text, QStringLiteral("Chyba"));
    EXPECT_EQ(shown.flags, 16u);
    EXPECT_EQ(shown.owner, nullptr);
}

TEST_F(MsgBoxTest, ShowMessageBoxPassesEverythingOn)
{
    QWidget owner;
    answer = platform::IDNO;
    EXPECT_EQ(ShowMessageBox(QStringLiteral("Ukončit aplikaci?"), 36, QStringLiteral("VYN - nastavení"), &owner),
              platform::IDNO);
    EXPECT_EQ(shown.calls, 1);
    EXPECT_EQ(shown.owner, &owner);
    EXPECT_EQ(shown.caption, QStringLiteral("VYN - nastavení"));
    EXPECT_EQ(shown.text, QStringLiteral("Ukončit aplikaci?"));
    EXPECT_EQ(shown.flags, 36u);
}
