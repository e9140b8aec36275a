#pragma once

#include "app/VYN16App.h"
#include "link/uf_DataSender.h"

#include <QPointer>

class TDataManager;

// The conversation window a device road talks through: the caller's, or one
// of its own. Closing frees a window, and a modal message closes an own
// window by itself, so it is held through a QPointer; a caller's window is
// only hidden by messages and never closed here.
class TRoadWindow
{
public:
    TRoadWindow(QWidget* Owner, TfDataSender* Sender, TDataManager* DataManager)
        : m_own(Sender == nullptr), m_window(m_own ? new TfDataSender(Owner, 0, DataManager) : Sender)
    {
    }

    TfDataSender* operator->() const { return m_window; }
    TfDataSender& operator*() const { return *m_window; }

    // In the window while it exists, else in a message of its own.
    void Message(const QString& Text, int32_t Countdown, uint32_t Flags) const
    {
        const QString ok = Lang("OK", "OK");
        if (m_window)
            m_window->ShowMessageEx(Text, ok, Countdown, Flags, true, m_own);
        else
            TfDataSender::ShowDeviceMessage(Text, ok, Countdown, Flags, true);
    }

    void CloseOwn() const
    {
        if (m_own && m_window)
            m_window->close();
    }

private:
    bool m_own;
    QPointer<TfDataSender> m_window;
};
