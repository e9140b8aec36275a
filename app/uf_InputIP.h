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
    void FormShow();

    // Filters one character typed into txtIP before the edit takes it.
    // Key may come back changed; a null Key means the edit ignores it (the
    // filter may have inserted text itself).
    void txtIPKeyPress(QChar& Key);

    // Replaces the selection with Text; the caret ends just after it.
    static void InsertText(QLineEdit* Edit, const QString& Text);
    // Removes up to Count characters from the 0-based Position; a caret
    // after them moves back with the text.
    static void DeleteText(QLineEdit* Edit, int Position, int Count);

    // The close box and Escape end here as the cancel button does.
    void reject() override;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
};
