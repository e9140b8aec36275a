#include "app/uf_InputIP.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

std::function<void(TfInputIP&)> TfInputIP::ModalHook;

TfInputIP::TfInputIP(QWidget* Owner)
    : QDialog(Owner)
{
    setObjectName(QStringLiteral("fInputIP"));
    auto* layout = new QGridLayout(this);
    lblIP = new QLabel(QStringLiteral("IP adresa"), this);
    lblIP->setObjectName(QStringLiteral("lblIP"));
    lblIP->setTextFormat(Qt::PlainText);
    txtIP = new QLineEdit(QStringLiteral("192.168.1.254"), this);
    txtIP->setObjectName(QStringLiteral("txtIP"));
    chPort = new QCheckBox(QStringLiteral("Nestandardní port"), this);
    chPort->setObjectName(QStringLiteral("chPort"));
    lblPort = new QLabel(QStringLiteral("Port"), this);
    lblPort->setObjectName(QStringLiteral("lblPort"));
    lblPort->hide();
    txtPort = new QSpinBox(this);
    txtPort->setObjectName(QStringLiteral("txtPort"));
    txtPort->setRange(1, 65535);
    txtPort->hide();
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("Zrušit"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    layout->addWidget(lblIP, 0, 0, 1, 2);
    layout->addWidget(txtIP, 1, 0, 1, 2);
    layout->addWidget(chPort, 2, 0);
    layout->addWidget(lblPort, 2, 0);
    layout->addWidget(txtPort, 2, 1);
    layout->addWidget(cmdOK, 3, 0);
    layout->addWidget(cmdCancel, 3, 1);
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOKClick(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancelClick(); });
    connect(chPort, &QCheckBox::clicked, this, [this] { chPortClick(); });
}

void TfInputIP::cmdOKClick()
{
    OK = true;
    close();
}

void TfInputIP::cmdCancelClick()
{
    OK = false;
    close();
}

void TfInputIP::chPortClick()
{
    txtPort->setVisible(chPort->isChecked());
}

bool TfInputIP::Execute(QString& IP, uint16_t& Port, int Mode, const QString& Title, const QString& Prompt,
                        const QString& PortCaption, bool* PortFlag, const QString& Hint)
{
    TfInputIP dialog;
    dialog.setWindowTitle(Title);
    dialog.lblIP->setText(Prompt);
    dialog.lblPort->setText(PortCaption);
    dialog.chPort->setText(PortCaption);
    dialog.chPort->setToolTip(Hint);
    dialog.txtIP->setText(IP);
    dialog.txtPort->setValue(Port);
    const bool ticked = Mode == 1 || Mode == 2;
    dialog.chPort->setChecked(ticked);
    dialog.chPortClick();
    dialog.chPort->setVisible(Mode == 2 || Mode == 3);
    dialog.lblPort->setVisible(Mode == 1);
    if (PortFlag)
        *PortFlag = dialog.chPort->isChecked();
    dialog.OK = false;
    if (ModalHook)
        ModalHook(dialog);
    else
        dialog.exec();
    if (!dialog.OK)
        return false;
    IP = dialog.txtIP->text();
    if (dialog.chPort->isChecked())
        Port = uint16_t(dialog.txtPort->value());
    if (PortFlag)
        *PortFlag = dialog.chPort->isChecked();
    return true;
}

bool TfInputIP::ExecutePort(QString& IP, uint16_t& Port, bool& PortFlag, const QString& Title, const QString& Prompt,
                            const QString& PortCaption, const QString& Hint)
{
    return Execute(IP, Port, PortFlag ? 2 : 3, Title, Prompt, PortCaption, &PortFlag, Hint);
}
