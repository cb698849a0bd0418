#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <iterator>
#include <memory>

class QWidget;

// Renders views of the application into PNG files from the command line, then ends
// the process: the welcome tour slide by slide, or the scheduling section. Nothing is
// shown on screen, no settings are written and no display is touched.
class SnapshotRunner {
public:
    struct Slide {
        int index;
        const char* fileName; // without ".png"
    };
    static constexpr Slide slides[] = {{0, "0-welcome"},     {1, "1-meadow"},  {2, "2-menubar"},
                                       {3, "3-wow-presets"}, {4, "4-flicker"}, {5, "6-payoff"}};
    static constexpr int slideCount = int(std::size(slides));

    static inline const QString defaultWelcomeFolder =
        QStringLiteral("/tmp/halcyra-snapshots/welcome");
    static inline const QString defaultSchedulingFolder =
        QStringLiteral("/tmp/halcyra-snapshots/scheduling");

    // Each ends the process with its exit status.
    [[noreturn]] static void run();
    [[noreturn]] static void runScheduling();

    // The work of run() and runScheduling(), returning the exit status.
    static int renderWelcomeSlides();
    static int renderScheduling();

    // The tour's view fixed on slide `index` in its finished state.
    static std::unique_ptr<QWidget> makeWelcomeSlide(int index);
    // The scheduling section over a fresh settings model, or null while the settings
    // window is not part of the application.
    static std::unique_ptr<QWidget> makeSchedulingView();

    // Renders `widget` at two pixels per point; a null image when it cannot.
    static QImage render(QWidget& widget);

    // Writes a line to standard error in one write.
    static void logStderr(const QString& message);

private:
    static QString folder(const QString& fallback);
};
