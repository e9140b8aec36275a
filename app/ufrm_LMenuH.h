#pragma once

#include "app/NavFrame.h"

#include <functional>

// A thin bar: a rectangle filled with the brush colour and outlined with
// the pen colour.
class TShapeBar : public QWidget
{
    Q_OBJECT

public:
    TShapeBar(QWidget* parent, const QString& name);

    QColor BrushColor() const { return FBrushColor; }
    void SetBrushColor(const QColor& value);
    QColor PenColor() const { return FPenColor; }
    void SetPenColor(const QColor& value);

    std::function<void()> OnMouseDown;
    std::function<void()> OnMouseUp;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QColor FBrushColor;
    QColor FPenColor;
};

// An item of the left page menu, with a bar above and below its panel. It
// can be selected, or made an inactive heading that shows neither hover nor
// selection.
class TfrmLMenuH : public TMenuFrame
{
    Q_OBJECT

public:
    explicit TfrmLMenuH(QWidget* parent = nullptr);

    TShapeBar* const shpHore;
    TShapeBar* const shpDole;

    bool Selected() const { return FSelected; }
    void SetSelected(bool value);
    bool Inactive() const { return FInactive; }
    void SetInactive(bool value);
    bool Hovered() const { return FHovered; }

    // The bars act as parts of the item: both click it.
    void shpDoleMouseUp();
    void shpHoreMouseDown();

protected:
    void MouseEnter() override;
    void MouseLeave() override;
    void FrameEnter() override;
    void FrameExit() override;
    QRect PanelRect() const override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool FSelected = false;
    bool FInactive = false;
    bool FHovered = false;
};
