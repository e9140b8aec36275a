#pragma once

// A small window built like the program's: labels, a button, a check box, a
// group box holding a panel with a label and a combo box, an edit and a list
// view with two columns.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QWidget>

template <typename T>
T* makeControl(QWidget* parent, const char* name)
{
    auto* control = new T(parent); // owned by its parent
    control->setObjectName(QLatin1String(name));
    return control;
}

class TestWindow : public QWidget
{
public:
    explicit TestWindow(const QString& name = QStringLiteral("fTest"))
    {
        setObjectName(name);
        setWindowTitle(QStringLiteral("Okno"));
        lblTitle->setText(QStringLiteral("Nadpis"));
        cmdOK->setText(QStringLiteral("OK"));
        cmdOK->setToolTip(QStringLiteral("Potvrdit"));
        chDHCP->setText(QStringLiteral("DHCP"));
        grpNet->setTitle(QString::fromUtf8("Síť"));
        lblInner->setText(QStringLiteral("Typ"));
        cbType->addItems({QString::fromUtf8("Pasivní"), QString::fromUtf8("Aktivní"), QString::fromUtf8("Žádné")});
        cbType->setCurrentIndex(1);
        lvCols->setColumnCount(2);
        lvCols->setHeaderLabels({QStringLiteral("A"), QStringLiteral("B")});
    }

    QLabel* lblTitle = makeControl<QLabel>(this, "lblTitle");
    QPushButton* cmdOK = makeControl<QPushButton>(this, "cmdOK");
    QCheckBox* chDHCP = makeControl<QCheckBox>(this, "chDHCP");
    QGroupBox* grpNet = makeControl<QGroupBox>(this, "grpNet");
    QWidget* pnlInner = makeControl<QWidget>(grpNet, "pnlInner");
    QLabel* lblInner = makeControl<QLabel>(pnlInner, "lblInner");
    QComboBox* cbType = makeControl<QComboBox>(pnlInner, "cbType");
    QLineEdit* txtName = makeControl<QLineEdit>(this, "txtName");
    QTreeWidget* lvCols = makeControl<QTreeWidget>(this, "lvCols");
};
