#pragma once

#include <QObject>

class QWidget;

// The shared look of the onboarding's windows: the corner radius their cards are drawn
// with, taken over from the real window, and the frameless window they live in.
class OnboardingChrome final : public QObject {
    Q_OBJECT
public:
    static constexpr double defaultCornerRadius = 24;

    static OnboardingChrome& shared();

    double cornerRadius() const { return m_cornerRadius; }
    // Takes the radius the window is drawn with (see frame()); a window without one,
    // or with none above zero, leaves the radius as it is, and so does a difference of
    // half a point or less.
    void adopt(const QWidget* window);

    // Makes a top-level window frameless with its corners rounded to `radius` (in the
    // card's own points, drawn `scale` times as large): see-through
    // where a compositor blends windows, cut to the rounded shape where none does. Its
    // background moves it (through the window manager where one does, by hand where
    // not) and Esc closes it. Call once the window has its fixed size, before it shows.
    static void frame(QWidget* window, double radius, double scale = 1.0);

signals:
    void cornerRadiusChanged(double radius);

private:
    OnboardingChrome() = default;
    double m_cornerRadius = defaultCornerRadius;
};
