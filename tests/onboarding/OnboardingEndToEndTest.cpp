#include "app/ShellSession.h"
#include "support/LiveDesktop.h"

#include <QStandardPaths>
#include <functional>

using OnboardingEndToEnd = ShellSession;

TEST_F(OnboardingEndToEnd, AFirstStartSweepsTheDisplaysAndEscGivesTheStoredWarmthBack) {
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        GTEST_SKIP() << "xdotool is not installed";
    launch(); // a fresh settings file: a first start
    // The first-run warmth, then the sweep: neutral, then deep warm.
    ASSERT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 2000, 4.0); }, 8000));
    EXPECT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 6500, 0.0); }, 4000));
    EXPECT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 1800, 4.0); }, 4000));

    QProcess key;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_server.display());
    key.setProcessEnvironment(env);
    key.start(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Escape")});
    ASSERT_TRUE(key.waitForFinished(5000));
    ASSERT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 2000, 4.0); }, 3000));
    // Settled: the sweep does not come back, and the takeover is marked as seen.
    QThread::msleep(1500);
    EXPECT_TRUE(isTint(ramps(), 2000, 4.0));
    const QJsonObject stored = readSettings();
    EXPECT_EQ(stored.value(PrefKey::temperature).toDouble(), 2000);
    EXPECT_TRUE(stored.value(PrefKey::enabled).toBool());
    EXPECT_TRUE(stored.value(PrefKey::welcomeShown).toBool());
}

namespace {

bool within(int ms, const std::function<bool()>& probe) {
    return LiveDesktop::within(ms, probe);
}

// The tour and its survey as a user drives them: the windows found by their size, the
// clicks placed where the painted buttons are.
class OnboardingTour : public ShellSession {
protected:
    static constexpr QSize settingsSize{724, 520};
    static constexpr QSize tourSize{960, 620};
    static constexpr QSize surveySize{440, 560};

    QRect windowSized(QSize size) {
        for (const QString& w : x().visibleWindowsOf(m_app->processId())) {
            const QRect frame = x().frameOf(w);
            if (frame.size() == size) return frame;
        }
        return {};
    }
    QString windowIdSized(QSize size) {
        for (const QString& w : x().visibleWindowsOf(m_app->processId()))
            if (x().frameOf(w).size() == size) return w;
        return {};
    }
    int windowsSized(QSize size) {
        int n = 0;
        for (const QString& w : x().visibleWindowsOf(m_app->processId()))
            n += x().frameOf(w).size() == size;
        return n;
    }
    // Any window that is none of the known ones (beyond the tray icon) is the popover.
    bool popoverOpen() {
        for (const QString& w : x().visibleWindowsOf(m_app->processId())) {
            const QSize s = x().frameOf(w).size();
            if (s != settingsSize && s != tourSize && s != surveySize && s.height() > 100)
                return true;
        }
        return false;
    }
    void closePopover() {
        if (!within(1500, [&] { return popoverOpen(); })) return;
        x().xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
        within(1500, [&] { return !popoverOpen(); });
    }
    DisplayDriver x() const { return display(); }
    void shot(const QString& name) {
        QDir().mkpath(QStringLiteral(HALCYRA_TEST_ARTIFACTS));
        x().succeeds(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                                QStringLiteral(HALCYRA_TEST_ARTIFACTS "/") + name});
    }
    // Settings → "Preview Onboarding"; the tour's window, empty when it did not open.
    QRect replayTour() {
        const QRect settings = windowSized(settingsSize);
        if (settings.isEmpty()) return {};
        x().clickAt(settings.topLeft() + kSettingsRow);
        QThread::msleep(300);
        // The row sits near the end of the page: scroll there first.
        x().xdotool({QStringLiteral("mousemove"), QString::number(settings.x() + 460),
                     QString::number(settings.y() + 300), QStringLiteral("click"),
                     QStringLiteral("--repeat"), QStringLiteral("40"), QStringLiteral("--delay"),
                     QStringLiteral("10"), QStringLiteral("5")});
        QThread::msleep(300);
        shot(QStringLiteral("onboarding-e2e-settings.png"));
        x().clickAt(settings.topLeft() + kPreviewRow);
        QRect tour;
        within(4000, [&] { return !(tour = windowSized(tourSize)).isEmpty(); });
        return tour;
    }
    // Through the six slides with the primary button; the flood of the presets slide
    // shows on the displays on the way.
    bool walkTheTour(const QRect& tour, bool* flooded) {
        const QPoint button = tour.topLeft() + QPoint(906, 578);
        for (int slide = 0; slide < 6; ++slide) {
            QThread::msleep(700);
            if (slide == 3)
                *flooded = waitForRamps([](const Ramps& r) { return !isTint(r, 2000, 4.0); }, 3000);
            if (slide == 3) shot(QStringLiteral("onboarding-e2e-presets.png"));
            closePopover(); // the menu-bar slide opens the real popover
            // The pointer may already be there: no waiting for it to move.
            if (!x().xdotool({QStringLiteral("mousemove"), QString::number(button.x()),
                              QString::number(button.y()), QStringLiteral("click"),
                              QStringLiteral("1")}))
                return false;
        }
        return true;
    }

    QProcess* m_app = nullptr;
    // Where the settings window's sidebar row "Settings" and, with its page scrolled to
    // the end, the row "Preview Onboarding" are.
    static constexpr QPoint kSettingsRow{100, 455};
    static constexpr QPoint kPreviewRow{460, 100};
};

} // namespace

TEST_F(OnboardingTour, AReplayFromTheSettingsWindowGivesTheWarmthBackAndTheSurveyKeepsOneAnswer) {
    for (const char* tool : {"xdotool", "import"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed";
    // A first start left with Esc keeps the first-run warmth and opens the settings.
    m_app = &launch();
    ASSERT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 2000, 4.0); }, 8000));
    ASSERT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 6500, 0.0); }, 4000));
    // Esc, once the full-screen window has the keyboard.
    for (int tries = 0; tries < 5 && !windowSized({1024, 768}).isEmpty(); ++tries) {
        x().xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
        within(1000, [&] { return windowSized({1024, 768}).isEmpty(); });
    }
    ASSERT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 2000, 4.0); }, 3000));
    ASSERT_TRUE(within(5000, [&] { return !windowSized(settingsSize).isEmpty(); }));

    const QRect tour = replayTour();
    ASSERT_FALSE(tour.isEmpty()) << "the tour did not open";
    bool flooded = false;
    ASSERT_TRUE(walkTheTour(tour, &flooded));
    EXPECT_TRUE(flooded);
    // Closed: the replay's warmth is gone, the user's is back on the displays.
    EXPECT_TRUE(within(4000, [&] { return windowSized(tourSize).isEmpty(); }));
    EXPECT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 2000, 4.0); }, 3000));
    EXPECT_EQ(readSettings().value(PrefKey::temperature).toDouble(), 2000);

    // The survey follows; an answer is kept in the settings file and nowhere else.
    QRect survey;
    ASSERT_TRUE(within(4000, [&] { return !(survey = windowSized(surveySize)).isEmpty(); }));
    closePopover();
    shot(QStringLiteral("onboarding-e2e-survey.png"));
    x().clickAt(survey.topLeft() + QPoint(220, 226)); // "Reddit"
    EXPECT_TRUE(within(3000, [&] {
        return readSettings().value(PrefKey::discoverySource).toString() ==
               QStringLiteral("Reddit");
    }));

    // A second tour ends while the survey is still open: still one survey, left where
    // the user moved it.
    x().xdotool({QStringLiteral("windowmove"), windowIdSized(surveySize), QStringLiteral("0"),
                 QStringLiteral("0")});
    ASSERT_TRUE(within(2000, [&] { return windowSized(surveySize).topLeft() == QPoint(0, 0); }));
    const QRect again = replayTour();
    ASSERT_FALSE(again.isEmpty()) << "the tour did not open a second time";
    ASSERT_TRUE(walkTheTour(again, &flooded));
    EXPECT_TRUE(within(4000, [&] { return windowSized(tourSize).isEmpty(); }));
    QThread::msleep(1500); // past the survey's 0.9 s
    closePopover();
    EXPECT_EQ(windowsSized(surveySize), 1);
    EXPECT_EQ(windowSized(surveySize).topLeft(), QPoint(0, 0));

    x().clickAt(windowSized(surveySize).topLeft() + QPoint(375, 519)); // "Done"
    EXPECT_TRUE(within(3000, [&] { return windowsSized(surveySize) == 0; }));
    EXPECT_EQ(readSettings().value(PrefKey::discoverySource).toString(), QStringLiteral("Reddit"));
    EXPECT_TRUE(isTint(ramps(), 2000, 4.0));
}
