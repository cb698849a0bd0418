// The settings window on a private Xorg, opened from the popover's gear, with and
// without a compositor and a window manager: grabbed once settled, moved by a drag on
// its sidebar, and its general section's footer read from the pixels.
#include "SettingsSession.h"
#include "support/LiveDesktop.h"

namespace {
struct Desk {
    bool compositor;
    bool windowManager;
};
} // namespace

class SettingsLive : public SettingsSession, public ::testing::WithParamInterface<Desk> {
protected:
    void SetUp() override {
        SettingsSession::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        m_desk = std::make_unique<LiveDesktop>(m_server);
        if (!m_desk->start({.compositor = GetParam().compositor,
                            .windowManager = GetParam().windowManager}))
            GTEST_SKIP() << m_desk->errorString().toStdString();
    }
    void TearDown() override {
        SettingsSession::TearDown();
        m_desk.reset();
    }
    QString name(const char* step) const {
        return QStringLiteral("settings-%1-%2").arg(QLatin1String(step), m_desk->label());
    }
    QString settingsWindow(QProcess& app) const {
        return m_desk->waitForWindow(QStringLiteral("Halcyra Settings"), app.processId());
    }

    std::unique_ptr<LiveDesktop> m_desk;
};

TEST_P(SettingsLive, OpensFromTheGearAndMovesByItsSidebar) {
    QProcess* started = nullptr;
    DisplayDriver::Popover opened;
    launchAndOpenPopover(started, opened);
    if (IsSkipped() || HasFatalFailure()) return;
    QProcess& app = *started;
    const QRect frame = openSettingsFromTheGear(app, opened.frame);
    ASSERT_FALSE(frame.isEmpty());
    const QString id = settingsWindow(app);
    const LiveDesktop::Shot home = m_desk->grabSettled(id, name("home"));
    ASSERT_FALSE(home.isNull());
    EXPECT_EQ(home.window.size(), QSize(724, 520));
    // The sidebar's section names and the page's greeting are drawn.
    EXPECT_TRUE(LiveDesktop::hasDetail(home.image, QRect(home.window.topLeft() + QPoint(20, 40),
                                                         QSize(170, 200))));
    EXPECT_TRUE(LiveDesktop::hasDetail(home.image, QRect(home.window.topLeft() + QPoint(230, 20),
                                                         QSize(300, 60))));

    // A drag on the sidebar's empty middle moves the window by as much.
    const DisplayDriver x = m_desk->driver();
    const QPoint from = frame.topLeft() + QPoint(100, 330);
    x.xdotool({"mousemove", "--sync", QString::number(from.x()), QString::number(from.y())});
    x.xdotool({"mousedown", "1"});
    for (int step = 1; step <= 10; ++step) {
        x.xdotool({"mousemove", "--sync", QString::number(from.x() + 12 * step),
                   QString::number(from.y() + 8 * step)});
        QThread::msleep(20);
    }
    x.xdotool({"mouseup", "1"});
    QThread::msleep(400);
    const QRect moved = m_desk->frameOf(id);
    EXPECT_NEAR(moved.x() - frame.x(), 120, 6) << "the window did not follow the drag";
    EXPECT_NEAR(moved.y() - frame.y(), 80, 6) << "the window did not follow the drag";
    m_desk->grabSettled(id, name("moved"));
    killAndExpectDeathBy(app, SIGTERM);
}

INSTANTIATE_TEST_SUITE_P(Desks, SettingsLive,
                         ::testing::Values(Desk{false, false}, Desk{true, false},
                                           Desk{false, true}, Desk{true, true}),
                         [](const auto& info) {
                             return std::string(info.param.windowManager ? "Openbox" : "Bare") +
                                    (info.param.compositor ? "Composited" : "Plain");
                         });
