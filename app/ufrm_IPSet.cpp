#include "app/ufrm_IPSet.h"

#include "app/MyUtils.h"
#include "link/u_ARPTx.h"

#include <QCheckBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QGridLayout>

Tfrm_IPSet::Tfrm_IPSet(QWidget* Owner)
    : QFrame(Owner)
{
    resize(248, 132);
    setFixedHeight(132);
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setHorizontalSpacing(4);
    layout->setVerticalSpacing(1);
    const auto label = [&](const char* name, const QString& text) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QLatin1String(name));
        l->setTextFormat(Qt::PlainText);
        return l;
    };
    const auto edit = [&](const char* name, const QString& text) {
        auto* e = new QLineEdit(text, this);
        e->setObjectName(QLatin1String(name));
        return e;
    };
    Label1 = label("Label1", QStringLiteral("IP adresa"));
    txtIP = edit("txtIP", QString());
    Label2 = label("Label2", QStringLiteral("Maska podsítě"));
    chAutoMask = new QCheckBox(QStringLiteral("automaticky"), this);
    chAutoMask->setObjectName(QStringLiteral("chAutoMask"));
    chAutoMask->setChecked(true);
    txtMask = edit("txtMask", QStringLiteral("0.0.0.0"));
    Label3 = label("Label3", QStringLiteral("Výchozí brána"));
    txtGate = edit("txtGate", QStringLiteral("0.0.0.0"));

    layout->addWidget(Label1, 0, 0, 1, 2);
    layout->addWidget(txtIP, 1, 0, 1, 2);
    layout->addWidget(Label2, 2, 0);
    layout->addWidget(chAutoMask, 2, 1, Qt::AlignRight);
    layout->addWidget(txtMask, 3, 0, 1, 2);
    layout->addWidget(Label3, 4, 0, 1, 2);
    layout->addWidget(txtGate, 5, 0, 1, 2);
    layout->setRowStretch(6, 1);
    setTabOrder(txtIP, chAutoMask);
    setTabOrder(chAutoMask, txtMask);
    setTabOrder(txtMask, txtGate);

    // Only the operator's click runs the handler; SetAutoMask sets the box
    // itself and does the handler's work there.
    connect(chAutoMask, &QCheckBox::clicked, this, [this] { chAutoMaskClick(); });
    txtIP->installEventFilter(this);
}

bool Tfrm_IPSet::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched == txtIP) {
        if (Event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(Event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter)
                txtIPKeyDown(13);
        } else if (Event->type() == QEvent::FocusOut) {
            txtIPExit();
        }
    }
    return QFrame::eventFilter(Watched, Event);
}

void Tfrm_IPSet::SetValues(const QString& IP, const QString& Mask, const QString& Gateway)
{
    SetAutoMask(false);
    txtIP->setText(IP);
    txtMask->setText(Mask);
    txtGate->setText(Gateway);
    SetAutoMask(TARPManager::StrToIP(Mask) == 0xFFFFFFFFu);
}

uint32_t Tfrm_IPSet::GetIP() const
{
    return TARPManager::StrToIP(txtIP->text());
}

uint32_t Tfrm_IPSet::GetMask() const
{
    if (txtMask->text().isEmpty() || GetAutoMask())
        return 0;
    return TARPManager::StrToIP(txtMask->text());
}

uint32_t Tfrm_IPSet::GetGateway() const
{
    if (txtGate->text().isEmpty())
        return 0;
    return TARPManager::StrToIP(txtGate->text());
}

namespace {

// Operator text: refused unless it reads exactly as four decimal parts, so
// that a short or zero-padded form never becomes another address.
bool IsStrictIP(const QString& Text)
{
    std::uint32_t addr;
    return TryStrictStrToIP(Text, addr);
}

bool IsStrictMask(const QString& Text)
{
    std::uint32_t mask;
    return TryStrictStrToIP(Text, mask) && IsContiguousMask(mask);
}

} // namespace

bool Tfrm_IPSet::Validate() const
{
    if (txtIP->text().isEmpty())
        return false;
    const uint32_t ip = GetIP();
    if (ip == 0 || ip == 0xFFFFFFFFu)
        return false;
    if (!IsStrictIP(txtIP->text()))
        return false;
    // A mask with holes would be stored as another mask.
    if (!txtMask->text().isEmpty() && !IsStrictMask(txtMask->text()))
        return false;
    if (!txtGate->text().isEmpty() && !IsStrictIP(txtGate->text()))
        return false;
    return true;
}

QString Tfrm_IPSet::GetIPText() const { return txtIP->text(); }
void Tfrm_IPSet::SetIPText(const QString& Text) { txtIP->setText(Text); }
void Tfrm_IPSet::SetMaskText(const QString& Text) { txtMask->setText(Text); }
void Tfrm_IPSet::SetGatewayText(const QString& Text) { txtGate->setText(Text); }
bool Tfrm_IPSet::GetAutoMask() const { return chAutoMask->isChecked(); }

void Tfrm_IPSet::SetAutoMask(bool Value)
{
    if (chAutoMask->isChecked() != Value)
        chAutoMask->setChecked(Value);
    txtMask->setEnabled(!Value);
    if (Value)
        UpdateAutoMask();
}

void Tfrm_IPSet::UpdateAutoMask()
{
    const QString mask = TARPManager::DefaultMaskStr(txtIP->text());
    if (txtMask->text() != mask)
        txtMask->setText(mask);
}

void Tfrm_IPSet::chAutoMaskClick() { SetAutoMask(chAutoMask->isChecked()); }

void Tfrm_IPSet::txtIPKeyDown(int Key)
{
    if (Key == 13 && GetAutoMask())
        UpdateAutoMask();
}

void Tfrm_IPSet::txtIPExit()
{
    if (GetAutoMask())
        UpdateAutoMask();
}
