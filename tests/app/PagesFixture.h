#pragma once

// A main window with its settings pages, a name resolver that knows a few
// test names, the Czech number format and message boxes written down.
#include "MainWindowFixture.h"

#include "app/MyUtils.h"
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

#include <map>

struct ShownBox {
    QString text;
    QString caption;
    unsigned flags;
};

inline QString Utf(const char* text)
{
    return QString::fromUtf8(text);
}

class PagesTest : public MainWindowTest
{
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        QLocale::setDefault(QLocale(QLocale::Czech, QLocale::CzechRepublic));
        TfVYN::SetHostResolver([this](const QString& name) -> uint32_t {
            const auto it = names.find(name);
            return it == names.end() ? 0 : StrToIPAddr(it->second);
        });
        platform::SetMessageBoxHook([this](QWidget*, const QString& text, const QString& caption, unsigned flags) {
            boxes.push_back({text, caption, flags});
            return answer;
        });
        w = std::make_unique<TfVYN>(nullptr, ini);
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
    // Enabled as far as the control itself and its group go; pages behind
    // the front one are disabled as a whole.
    static bool Enabled(const QWidget* control) { return control->isEnabledTo(control->parentWidget()); }

    std::map<QString, QString> names{
        {"smtp.vyn.test", "10.1.2.3"}, {"snmp.vyn.test", "10.1.2.4"}, {"web.vyn.test", "10.1.2.5"}};
    std::vector<ShownBox> boxes;
    int answer = platform::IDYES;
    std::unique_ptr<TfVYN> w;
};
