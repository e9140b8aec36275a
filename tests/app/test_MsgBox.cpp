#include "app/MyUtils.h"

#include "platform/MessageBox.h"

#include <QCoreApplication>
#include <QWidget>

#include <gtest/gtest.h>

TEST(MsgBox, EmptyCaptionShowsTheApplicationTitleAndTheRestPassesOn)
{
    const QString oldName = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QStringLiteral("VYN"));
    QWidget owner;
    QString text, caption;
    unsigned flags = 0;
    QWidget* shownOwner = nullptr;
    platform::SetMessageBoxHook([&](QWidget* o, const QString& t, const QString& c, unsigned f) {
        shownOwner = o, text = t, caption = c, flags = f;
        return platform::IDNO;
    });

    EXPECT_EQ(MsgBox(QStringLiteral("Chyba"), 16), platform::IDNO);
    EXPECT_EQ(caption, QStringLiteral("VYN"));
    EXPECT_EQ(text, QStringLiteral("Chyba"));
    EXPECT_EQ(flags, 16u);
    EXPECT_EQ(shownOwner, nullptr);

    EXPECT_EQ(ShowMessageBox(QStringLiteral("Ukončit aplikaci?"), 36, QStringLiteral("VYN - nastavení"), &owner),
              platform::IDNO);
    EXPECT_EQ(caption, QStringLiteral("VYN - nastavení"));
    EXPECT_EQ(flags, 36u);
    EXPECT_EQ(shownOwner, &owner);

    platform::SetMessageBoxHook(nullptr);
    QCoreApplication::setApplicationName(oldName);
}
