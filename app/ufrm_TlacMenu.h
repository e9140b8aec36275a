#pragma once

#include "app/NavFrame.h"

// A button of the top menu; it can be shown as selected and tells its owner
// when the mouse enters and leaves it.
class TfrmTlacMenu : public TMenuFrame
{
    Q_OBJECT

public:
    explicit TfrmTlacMenu(QWidget* parent = nullptr);

    bool Selected() const { return FSelected; }
    void SetSelected(bool value);

protected:
    // XOnMouseEnter / XOnMouseLeave of the top menu.
    void MouseEnter() override;
    void MouseLeave() override;
    void FrameEnter() override;
    void FrameExit() override;

private:
    bool FSelected = false;
};
