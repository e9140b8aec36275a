// The message-box half of MyUtils: it needs widgets, the rest does not.
#include "app/MyUtils.h"

#include "platform/MessageBox.h"

#include <QGuiApplication>

int MsgBox(const QString& Text, unsigned Flags, const QString& Caption, QWidget* Owner)
{
    const QString caption = Caption.isEmpty() ? QGuiApplication::applicationDisplayName() : Caption;
    return platform::MessageBox(Owner, Text, caption, Flags);
}

int ShowMessageBox(const QString& Text, unsigned Flags, const QString& Caption, QWidget* Owner)
{
    return MsgBox(Text, Flags, Caption, Owner);
}
