#include "app/UpDown.h"

#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace {

int16_t Narrow(int64_t Value)
{
    return int16_t(std::clamp<int64_t>(Value, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()));
}

} // namespace

TUpDown::TUpDown(QWidget* parent, const QString& name, int16_t Min, int16_t Max, int16_t Position)
    : QWidget(parent), btnUp(new QToolButton(this)), btnDown(new QToolButton(this)), FMin(Min), FMax(Max),
      FPosition(std::clamp(Position, Min, Max))
{
    setObjectName(name);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QToolButton* button : {btnUp, btnDown}) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoRepeat(true);
        button->setFixedSize(16, 11);
        layout->addWidget(button);
    }
    btnUp->setArrowType(Qt::UpArrow);
    btnDown->setArrowType(Qt::DownArrow);
    connect(btnUp, &QToolButton::clicked, this, [this] { Operator(1); });
    connect(btnDown, &QToolButton::clicked, this, [this] { Operator(-1); });
}

void TUpDown::SetMin(int64_t Value)
{
    FMin = Narrow(Value);
    if (FMax < FMin)
        FMax = FMin;
    SetPosition(FPosition);
}

void TUpDown::SetMax(int64_t Value)
{
    FMax = Narrow(Value);
    if (FMin > FMax)
        FMin = FMax;
    SetPosition(FPosition);
}

void TUpDown::SetPosition(int64_t Value)
{
    FPosition = int16_t(std::clamp<int64_t>(Value, FMin, FMax));
}

void TUpDown::StepUp()
{
    Operator(1);
}

void TUpDown::StepDown()
{
    Operator(-1);
}

void TUpDown::Operator(int Direction)
{
    SetPosition(int64_t(FPosition) + int64_t(Direction) * FIncrement);
    emit Click();
}
