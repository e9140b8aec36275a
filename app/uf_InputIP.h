#pragma once

#include <QDialog>

#include <cstdint>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// The modal dialog in which the operator types a device's IP address and,
// optionally, a port other than the standard one.
class TfInputIP : public QDialog
{
    Q_OBJECT

public:
    explicit TfInputIP(QWidget* Owner = nullptr);

    // Mode 0..3 decides which port controls show. The IP text is returned
    // as typed (the caller validates it). True when closed with OK.
    static bool Execute(QString& IP, uint16_t& Port, int Mode, const QString& Title, const QString& Prompt,
                        const QString& PortCaption, bool* PortFlag = nullptr, const QString& Hint = QString());
    static bool ExecutePort(QString& IP, uint16_t& Port, bool& PortFlag, const QString& Title, const QString& Prompt,
                            const QString& PortCaption, const QString& Hint);

    // Tests drive the dialog through this in place of the modal loop: the
    // hook gets the set-up dialog and closes it with its buttons (or not).
    static std::function<void(TfInputIP&)> ModalHook;

    QLabel* lblIP = nullptr;
    QLineEdit* txtIP = nullptr;
    QCheckBox* chPort = nullptr;
    QLabel* lblPort = nullptr;
    QSpinBox* txtPort = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

    bool OK = false;

    void cmdOKClick();
    void cmdCancelClick();
    void chPortClick();
};
