#pragma once

// A main window with its settings pages, a name resolver that knows a few
// test names, the Czech number format and message boxes written down.
#include "MainWindowFixture.h"

#include "app/MyUtils.h"
#include "app/Panel.h"
#include "app/UpDown.h"
#include "app/ufrm_IPSet.h"
#include "app/ufrm_LMenuH.h"
#include "app/ufrm_Tlacitko.h"
#include "model/u_DevData.h"
#include "platform/MessageBox.h"
#include "support/ExceptionText.h"
#include "support/QStringPrint.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include <map>
#include <memory>
#include <vector>

struct ShownBox {
    QString text;
    QString caption;
    unsigned flags;
};

class PagesTest : public MainWindowTest
{
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        QLocale::setDefault(QLocale(QLocale::Czech, QLocale::CzechRepublic));
        TfVYN::SetHostResolver([this](const QString& name) -> uint32_t {
            ++lookups[name];
            const auto it = names.find(name);
            return it == names.end() ? 0 : StrToIPAddr(it->second);
        });
        platform::SetMessageBoxHook([this](QWidget*, const QString& text, const QString& caption, unsigned flags) {
            boxes.push_back({text, caption, flags});
            return int(platform::IDOK);
        });
        w = std::make_unique<TfVYN>(nullptr, ini);
        TfVYN::HandlerCalls().clear();
    }

    void TearDown() override
    {
        w.reset();
        platform::SetMessageBoxHook(nullptr);
        TfVYN::SetHostResolver(nullptr);
        QLocale::setDefault(QLocale::c());
        MainWindowTest::TearDown();
    }

    TDataManager& M() { return *w->FDataManager; }
    QString Text(const char* item) { return FromDeviceText(M().GetValue(QString::fromLatin1(item)).ToText()); }
    int Int(const char* item) { return M().GetValue(QString::fromLatin1(item)).ToInt32(); }
    void Set(const char* item, const Variant& value) { M().SetValue(QString::fromLatin1(item), value); }
    template <class T = QWidget>
    T* Find(const char* name)
    {
        T* found = w->findChild<T*>(QString::fromLatin1(name));
        EXPECT_TRUE(found) << name;
        return found;
    }
    // Enabled as far as the control itself and its group go; pages behind
    // the front one are disabled as a whole.
    static bool Enabled(const QWidget* control) { return control->isEnabledTo(control->parentWidget()); }
    // All setup records, for comparing before and after.
    QByteArray Records()
    {
        QByteArray all;
        for (int i = 0; i < M().Count(); ++i)
            if (M().GetPacket(i)->PacketType() == ptSetup)
                all += M().GetPacket(i)->GetDataAsString();
        return all;
    }
    void Calls(const char* handler, int count)
    {
        EXPECT_EQ(TfVYN::HandlerCalls()[QString::fromLatin1(handler)], count) << handler;
    }

    std::map<QString, QString> names{{QStringLiteral("smtp.vyn.test"), QStringLiteral("10.1.2.3")},
                                     {QStringLiteral("snmp.vyn.test"), QStringLiteral("10.1.2.4")},
                                     {QStringLiteral("web.vyn.test"), QStringLiteral("10.1.2.5")}};
    std::map<QString, int> lookups;
    std::vector<ShownBox> boxes;
    std::unique_ptr<TfVYN> w;
};
