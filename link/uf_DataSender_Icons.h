#pragma once

// The pictures of the conversation window, drawn by the program itself: the
// globe with its network cable, the six message icons and the little search
// animation. The IP-assignment wizard shows the same pictures.

#include <QElapsedTimer>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

// Indexes of the message icons (the window's image list).
enum TDataSenderIcon : int {
    iconInformation = 0,
    iconWarning = 1,
    iconError = 2,
    iconQuestion = 3,
    iconCross = 4,
    iconTick = 5,
};
inline constexpr int DataSenderIconCount = 6;
inline constexpr int DataSenderIconSize = 32;

// One 32 x 32 message icon; a null pixmap for an index outside 0 to 5.
QPixmap DataSenderIcon(int Index);
// The 28 x 31 globe with a network cable.
QPixmap DataSenderGlobe();

// A 32 x 32 picture of a computer under a magnifying glass that circles
// while the search runs. The frame follows the time since Play, so the
// picture is right whenever it is painted: by its own timer while events
// run, or by Tick during a wait that lets none run.
class TSearchAnimation : public QWidget
{
    Q_OBJECT
public:
    static constexpr int FrameCount = 8;
    static constexpr int FrameMs = 100;

    explicit TSearchAnimation(QWidget* parent = nullptr);

    void Play();
    // Stops and shows the first frame again.
    void Stop();
    // Paints at once when the frame has moved on.
    void Tick();
    bool Playing() const { return m_timer.isActive(); }
    int Frame() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    int m_painted = 0;
};
