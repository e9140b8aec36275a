// The alarm pages: e-mail and SNMP traps, each with its copy of the
// temperature band.
#include "app/uf_VYN.h"

#include "app/Panel.h"
#include "app/uf_VYN_PageKit.h"

using namespace pagekit;

namespace {

struct TBand {
    QLineEdit* MinEdit;
    TUpDown* MinUD;
    QLineEdit* MaxEdit;
    TUpDown* MaxUD;
    QLineEdit* HystEdit;
    TUpDown* HystUD;
};

// The band in tenths of a degree, starting at its widest range.
TBand BuildBand(QWidget* page, QGridLayout* grid, int row, const QString& suffix)
{
    grid->addWidget(Heading(page, QStringLiteral("lblCriticalTemp") + suffix, QStringLiteral("Kritické hodnoty teploty")),
                    row, 0);
    grid->addWidget(SharedMark(page, QStringLiteral("imgBandShared") + suffix, BandHint), row, 1,
                    Qt::AlignLeft);
    TBand band{};
    const auto line = [&](int at, const QString& name, const QString& caption, const QString& text, int16_t min,
                          int16_t max, int16_t pos, QLineEdit*& edit, TUpDown*& ud) {
        edit = Edit(page, QStringLiteral("txt") + name + suffix, text);
        edit->setFixedWidth(80);
        ud = new TUpDown(page, QStringLiteral("ud") + name + suffix, min, max, pos);
        grid->addWidget(Label(page, QStringLiteral("lbl") + name + suffix, caption), at, 0);
        grid->addLayout(Row(edit, ud), at, 1);
    };
    line(row + 1, QStringLiteral("MinTemp"), QStringLiteral("Minimální hodnota (°C)"), QStringLiteral("-999,9"), -9999,
         9999, -9999, band.MinEdit, band.MinUD);
    line(row + 2, QStringLiteral("MaxTemp"), QStringLiteral("Maximální hodnota (°C)"), QStringLiteral("999,9"), -9999,
         9999, 9999, band.MaxEdit, band.MaxUD);
    line(row + 3, QStringLiteral("Hystereze"), QStringLiteral("Hystereze (°C)"), QStringLiteral("1"), 0, 100, 10,
         band.HystEdit, band.HystUD);
    return band;
}

} // namespace

void TfVYN::BuildPageAlarms()
{
    // E-mail.
    QGridLayout* grid = PageGrid(pnlEmail);
    chSendEmail = Check(pnlEmail, QStringLiteral("chSendEmail"),
                        QStringLiteral("Zasílat teplotu na e-mail (při překročení limitů)"));
    grid->addWidget(chSendEmail, 0, 0, 1, 2);
    txtSMTPServer = Edit(pnlEmail, QStringLiteral("txtSMTPServer"), QStringLiteral("0.0.0.0"));
    cmdSMTP_GIP = AtButton(pnlEmail, QStringLiteral("cmdSMTP_GIP"), AtHint);
    grid->addWidget(Label(pnlEmail, QStringLiteral("lblSMTPServer"), QStringLiteral("SMTP Server IP")), 1, 0);
    grid->addLayout(Row(txtSMTPServer, cmdSMTP_GIP), 1, 1);
    // The period's item gives the range (SetControlLimits); a range of 0..0
    // would pin the value here.
    seEmailPeriod = Spin(pnlEmail, QStringLiteral("seEmailPeriod"), 0, 65535, 0);
    auto* period = Label(pnlEmail, QStringLiteral("lblEmailPeriod"),
                         QStringLiteral("Perioda zasílání teploty při překročení kritické hodnoty"));
    period->setWordWrap(true);
    grid->addWidget(period, 2, 0);
    grid->addLayout(Row(seEmailPeriod, Label(pnlEmail, QStringLiteral("lblEmailPeriodUnit"), QStringLiteral("sec"))),
                    2, 1);
    txtFromEmail = Edit(pnlEmail, QStringLiteral("txtFromEmail"));
    grid->addWidget(Label(pnlEmail, QStringLiteral("lblFromEmail"), QStringLiteral("Odesílající email (From)")), 3, 0);
    grid->addWidget(txtFromEmail, 3, 1);
    txtToEmail = Edit(pnlEmail, QStringLiteral("txtToEmail"));
    grid->addWidget(Label(pnlEmail, QStringLiteral("lblToEmail"), QStringLiteral("Email příjemce (To)")), 4, 0);
    grid->addWidget(txtToEmail, 4, 1);
    const TBand first = BuildBand(pnlEmail, grid, 5, QString());
    txtMinTemp = first.MinEdit;
    udMinTemp = first.MinUD;
    txtMaxTemp = first.MaxEdit;
    udMaxTemp = first.MaxUD;
    txtHystereze = first.HystEdit;
    udHystereze = first.HystUD;
    grid->setRowStretch(9, 1);
    for (QWidget* w : std::initializer_list<QWidget*>{txtSMTPServer, cmdSMTP_GIP, seEmailPeriod, txtFromEmail,
                                                       txtToEmail})
        w->setEnabled(false);

    // SNMP traps.
    grid = PageGrid(pnlSNMP);
    chSendTrap = Check(pnlSNMP, QStringLiteral("chSendTrap"), QStringLiteral("Zasílat SNMP trapy"));
    grid->addWidget(chSendTrap, 0, 0, 1, 2);
    txtSNMPManager = Edit(pnlSNMP, QStringLiteral("txtSNMPManager"), QStringLiteral("0.0.0.0"));
    cmdSNMP_GIP = AtButton(pnlSNMP, QStringLiteral("cmdSNMP_GIP"), AtHint);
    grid->addWidget(Label(pnlSNMP, QStringLiteral("lblSNMPManager"), QStringLiteral("SNMP Manager IP")), 1, 0);
    grid->addLayout(Row(txtSNMPManager, cmdSNMP_GIP), 1, 1);
    txtReadCommunity = Edit(pnlSNMP, QStringLiteral("txtReadCommunity"));
    txtReadCommunity->setMaxLength(15);
    grid->addWidget(Label(pnlSNMP, QStringLiteral("lblReadCommunity"), QStringLiteral("Skupina pro čtení")), 2, 0);
    grid->addWidget(txtReadCommunity, 2, 1);
    txtWriteCommunity = Edit(pnlSNMP, QStringLiteral("txtWriteCommunity"));
    txtWriteCommunity->setMaxLength(15);
    grid->addWidget(Label(pnlSNMP, QStringLiteral("lblWriteCommunity"), QStringLiteral("Skupina pro zápis")), 3, 0);
    grid->addWidget(txtWriteCommunity, 3, 1);
    txtKATime = Edit(pnlSNMP, QStringLiteral("txtKATime"), QStringLiteral("0:00"));
    txtKATime->setMaxLength(15);
    txtKATime->setToolTip(QStringLiteral("mm:ss"));
    lblKATime = Label(pnlSNMP, QStringLiteral("lblKATime"), QStringLiteral("Keep-alive trap period"));
    lblKATime->setToolTip(QStringLiteral("mm:ss"));
    grid->addWidget(lblKATime, 4, 0);
    grid->addLayout(Row(txtKATime), 4, 1);
    const TBand second = BuildBand(pnlSNMP, grid, 5, QStringLiteral("2"));
    txtMinTemp2 = second.MinEdit;
    udMinTemp2 = second.MinUD;
    txtMaxTemp2 = second.MaxEdit;
    udMaxTemp2 = second.MaxUD;
    txtHystereze2 = second.HystEdit;
    udHystereze2 = second.HystUD;
    grid->setRowStretch(9, 1);
    for (QWidget* w : std::initializer_list<QWidget*>{txtSNMPManager, cmdSNMP_GIP, txtReadCommunity,
                                                       txtWriteCommunity, txtKATime})
        w->setEnabled(false);
}
