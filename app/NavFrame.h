#pragma once

#include "app/Panel.h"

#include <QColor>
#include <QFrame>
#include <QSize>
#include <QString>
#include <QWidget>

#include <functional>

// An event handler given the object that raised it.
using TNotifyEvent = std::function<void(QObject* Sender)>;

// The inner panel `Tlac` of the navigation frames: a flat area in its own
// colour with a one-line caption ("&" marks the underlined letter), centred
// unless told otherwise.
// A left click on it runs OnClick, which the owning frame points at its own
// TlacClick; a window may point it elsewhere.
class TTlacPanel : public TPanel
{
    Q_OBJECT
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)

public:
    explicit TTlacPanel(QWidget* parent);

    // The hint shows as a tool tip only while the owner shows hints.
    QString Hint() const { return FHint; }
    void SetHint(const QString& value);
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool value);

    TNotifyEvent OnClick;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void UpdateToolTip();

    QString FHint;
    bool FShowHint = false;
    bool FPressed = false;
};

// What the three navigation frames share: the panel `Tlac` carrying the
// caption, the frame's own colour, its hint, its click and its tab stop.
class TNavFrame : public QFrame
{
    Q_OBJECT
    // The caption lives on the panel; the frame only passes it through.
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption STORED false)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)

public:
    TTlacPanel* const Tlac;

    QString Caption() const { return Tlac->Caption(); }
    QString GetCaption() const { return Caption(); }
    void SetCaption(const QString& value) { Tlac->SetCaption(value); }

    // Stored on the frame and the panel; an empty hint switches hints off.
    // Shown as a tool tip unless the frame shows it elsewhere.
    QString Hint() const { return FHint; }
    void SetHint(const QString& value);

    // Only a tab stop takes the keyboard focus (also when the mouse enters).
    bool TabStop() const;
    void SetTabStop(bool value);

    // The frame's own colour, visible around an inset panel.
    QColor Color() const { return FColor; }
    void SetColor(const QColor& value);

    // The colour of what lies behind the frame: the nearest enclosing
    // panel that has a colour, else the parent's background.
    QColor BackdropColor() const;

    // The frame's click, with the frame as sender.
    TNotifyEvent OnClick;
    // Fires OnClick (when assigned) and clicked().
    void TlacClick();

    QSize sizeHint() const override { return FDesignSize; }

signals:
    void clicked();

protected:
    TNavFrame(QWidget* parent, QSize designSize, int panelInset);

    // The mouse entering and leaving the frame (the panel and other parts
    // belong to it), and the frame gaining and losing the keyboard focus.
    virtual void MouseEnter() {}
    virtual void MouseLeave() {}
    virtual void FrameEnter() {}
    virtual void FrameExit() {}

    void TakeFocus();
    // Top-menu frames show their hint in the window's title strip; a tool
    // tip would cover it.
    void SetHintAsToolTip(bool value);
    // The panel's place: the frame's area less the inset, for frames that
    // hold nothing else.
    virtual QRect PanelRect() const;

    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QSize FDesignSize;
    int FPanelInset;
    QString FHint;
    QColor FColor;
    bool FPressed = false;
    bool FHintAsToolTip = true;
};

// A navigation frame that tells its owner when the mouse enters and leaves.
class TMenuFrame : public TNavFrame
{
    Q_OBJECT

public:
    // Sender = the frame.
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;
    void SetOnMouseEnter(TNotifyEvent event) { OnMouseEnter = std::move(event); }
    void SetOnMouseLeave(TNotifyEvent event) { OnMouseLeave = std::move(event); }

protected:
    using TNavFrame::TNavFrame;

    void NotifyMouseEnter()
    {
        if (OnMouseEnter)
            OnMouseEnter(this);
    }
    void NotifyMouseLeave()
    {
        if (OnMouseLeave)
            OnMouseLeave(this);
    }
};
