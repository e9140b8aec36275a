#pragma once

#include <QColor>
#include <QFrame>
#include <QString>

// A plain panel: an area in its own colour that may show a caption in its
// middle (visible wherever no child covers it). The windows switch their
// pages by panels, so page switching finds them by this type.
class TPanel : public QFrame
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)

public:
    // An invalid colour leaves the panel transparent.
    explicit TPanel(QWidget* parent, const QString& name, const QColor& color = QColor());

    QString Caption() const { return FCaption; }
    void SetCaption(const QString& value);

    QColor Color() const { return FColor; }
    void SetColor(const QColor& value);
    QColor FontColor() const { return FFontColor; }
    void SetFontColor(const QColor& value);
    Qt::Alignment Alignment() const { return FAlignment; }
    void SetAlignment(Qt::Alignment value);

protected:
    void paintEvent(QPaintEvent* event) override;

    // Distance of a caption from the left and right edges.
    int FCaptionMargin = 6;
    // "&" in the caption underlines the next letter (button captions).
    bool FShowMnemonic = false;

private:
    QString FCaption;
    QColor FColor;
    QColor FFontColor;
    Qt::Alignment FAlignment = Qt::AlignCenter;
};
