#pragma once

#include <QFrame>

#include <cstdint>

class QCheckBox;
class QLabel;
class QLineEdit;

// The IP address, subnet mask and default gateway of a device, with a mask
// filled automatically from the address class. Addresses come back as
// 32-bit values in network order as TARPManager::StrToIP gives them.
class Tfrm_IPSet : public QFrame
{
    Q_OBJECT

public:
    explicit Tfrm_IPSet(QWidget* Owner = nullptr);

    QLabel* Label1 = nullptr;
    QLineEdit* txtIP = nullptr;
    QLabel* Label2 = nullptr;
    QCheckBox* chAutoMask = nullptr;
    QLineEdit* txtMask = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* txtGate = nullptr;

    void SetValues(const QString& IP, const QString& Mask, const QString& Gateway);
    uint32_t GetIP() const;
    // 0 for an empty or automatic mask.
    uint32_t GetMask() const;
    uint32_t GetGateway() const;
    bool Validate() const;

    QString GetIPText() const;
    void SetIPText(const QString& Text);
    void SetMaskText(const QString& Text);
    void SetGatewayText(const QString& Text);
    bool GetAutoMask() const;
    void SetAutoMask(bool Value);
    void UpdateAutoMask();

    void chAutoMaskClick();
    void txtIPKeyDown(int Key);
    void txtIPExit();

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;
};
