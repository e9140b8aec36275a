#pragma once

#include <QWidget>

#include <cstdint>

class QToolButton;

// A pair of arrow buttons holding a 16-bit position between Min and Max.
// Positions set by the program are clamped without a signal; only the
// operator's arrows emit Click, after the position moved (or stayed at its
// limit).
class TUpDown : public QWidget
{
    Q_OBJECT

public:
    explicit TUpDown(QWidget* parent, const QString& name, int16_t Min, int16_t Max, int16_t Position);

    int16_t Min() const { return FMin; }
    int16_t Max() const { return FMax; }
    int16_t Position() const { return FPosition; }
    int16_t Increment() const { return FIncrement; }

    // Wider values are clamped first, so nothing wraps on the way in.
    void SetMin(int64_t Value);
    void SetMax(int64_t Value);
    void SetPosition(int64_t Value);

    // The operator's arrows: one increment up or down.
    void StepUp();
    void StepDown();

    QToolButton* const btnUp;
    QToolButton* const btnDown;

signals:
    void Click();

private:
    void Operator(int Direction);

    int16_t FMin;
    int16_t FMax;
    int16_t FPosition;
    int16_t FIncrement = 1;
};
