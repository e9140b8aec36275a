#pragma once

#include "app/NavFrame.h"

// A flat command button: a coloured panel inset by one pixel in a white
// frame, taking the hover colour while the mouse is over it.
class TfrmTlacitko : public TNavFrame
{
    Q_OBJECT

public:
    explicit TfrmTlacitko(QWidget* parent = nullptr);

protected:
    // OnMouseEnter / OnMouseLeave of the button.
    void MouseEnter() override;
    void MouseLeave() override;
};
