#pragma once

// Driving the IP-assignment wizard in a test: a bench with the simulated
// device, the test thread in the PC's namespace (the wizard broadcasts),
// message boxes answered and written down, and the wizard's modal loop
// replaced by the test's own script.

#include "app/uf_IPWiz.h"
#include "app/ufrm_IPSet.h"
#include "link/ConversationTestKit.h"
#include "link/u_ARPTx.h"
#include "link/MessageTaker.h"
#include "support/NetBench.h"
#include "support/QStringPrint.h"
#include "support/SimDevice.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

inline const QString kDevMac = QStringLiteral("02-76-79-6e-00-02");

class WizardTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!NetBench::IsRoot())
            GTEST_SKIP() << "needs root to create network namespaces (CI runs as root)";
    }

    void TearDown() override
    {
        platform::SetMessageBoxHook(nullptr);
        TfSetIPWiz::ModalHook = nullptr;
        DevicePort = DefaultDevicePort;
        pc.reset();
        sim.reset();
        bench.reset();
    }

    void Start(const std::vector<std::string>& simOptions = {}, const NetBenchOptions& options = {})
    {
        bench = std::make_unique<NetBench>("wiz", options);
        sim = std::make_unique<SimDevice>(*bench, simOptions);
        pc = std::make_unique<NetBench::Entered>(bench->PcNamespace());
        // The address services read the PC's addresses once: read them here.
        ARPManager().GetIPTable();
        platform::SetMessageBoxHook([this](QWidget*, const QString& text, const QString& caption, unsigned flags) {
            Boxes.push_back({text, caption, flags});
            if (OnBox)
                OnBox(Boxes.back());
            return Answer(Boxes.back());
        });
    }

    // Runs Execute with the script in place of the operator.
    int32_t Run(const std::function<void(TfSetIPWiz&)>& script, std::array<uint8_t, 6>& mac, bool allowAgain = false)
    {
        TfSetIPWiz::ModalHook = [&](TfSetIPWiz& w) {
            w.show();
            Wizard = &w;
            script(w);
            Wizard = nullptr;
        };
        return TfSetIPWiz::Execute(model.get(), mac, IP, Mask, Gateway, allowAgain);
    }

    // Datagrams the simulated device has received so far.
    int Received() const
    {
        const std::string stats = sim->Control("stats");
        const auto at = stats.find("received=");
        return at == std::string::npos ? -1 : std::stoi(stats.substr(at + 9));
    }

public:
    static QString Page(const TfSetIPWiz& w) { return w.Pages->currentWidget()->objectName(); }
    static void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    // A key as the operator gives it: to a control of the page in front.
    static void Key(TfSetIPWiz& w, Qt::Key key)
    {
        QWidget* page = w.Pages->currentWidget();
        QWidget* target = page == w.pnlMAC ? static_cast<QWidget*>(w.txtMAC)
                          : page == w.pnlIP ? static_cast<QWidget*>(w.IPSet->txtIP)
                                            : static_cast<QWidget*>(w.cmdFinish);
        QTest::keyClick(target, key);
    }
    static void Type(QLineEdit* edit, const QString& text)
    {
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    static bool ShowsIcon(const QLabel* label, int icon)
    {
        return label->pixmap().toImage() == DataSenderIcon(icon).toImage();
    }

protected:
    std::unique_ptr<TDataManager> model = BuiltInModel();
    std::unique_ptr<NetBench> bench;
    std::unique_ptr<SimDevice> sim;
    std::unique_ptr<NetBench::Entered> pc;
    std::vector<TQuestion> Boxes;
    std::function<int(const TQuestion&)> Answer = [](const TQuestion&) { return int(platform::IDYES); };
    std::function<void(const TQuestion&)> OnBox;
    TfSetIPWiz* Wizard = nullptr;
    uint32_t IP = 0x01010101;
    uint32_t Mask = 0x02020202;
    uint32_t Gateway = 0x03030303;
};
