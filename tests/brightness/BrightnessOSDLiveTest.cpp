// The on-screen display of the real binary on a private Xorg, with and without a
// compositor and a window manager: brought up by a brightness key and grabbed from the
// server while its border turns. The card, its bar and its border are what the server
// shows; the corners show the desktop; only the border moves between two grabs.
#include "../app/LiveSession.h"
#include "../app/ShellSession.h"

class BrightnessOSDLive : public LiveSession<ShellSession> {
protected:
    void SetUp() override {
        LiveSession::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        mapBrightnessKeys();
    }
};

TEST_P(BrightnessOSDLive, ShowsItsCardBarAndTurningBorderAsTheServerDrawsThem) {
    seedTint(3400);
    QJsonObject s = readSettings();
    s.insert(PrefKey::brightnessKeyInterception, true);
    writeSettings(s);
    QProcess& app = launch();
    ASSERT_TRUE(waitForLog(app, QStringLiteral("Brightness key interception started")))
        << m_log.toStdString();
    // The card goes 1.5 s after the key; on a loaded machine two grabs can take longer
    // than that, so the key is pressed again while the second grab finds the card gone.
    LiveDesktop::Shot a, b;
    for (int attempt = 0; attempt < 5; ++attempt) {
        ASSERT_TRUE(
            display().xdotool({QStringLiteral("key"), QStringLiteral("XF86MonBrightnessDown")}));
        const QString osd =
            m_desk->waitForWindow(QStringLiteral("Halcyra brightness"), app.processId());
        ASSERT_FALSE(osd.isEmpty()) << m_log.toStdString();
        QThread::msleep(400); // the ramp has settled; the border keeps turning

        ASSERT_EQ(m_desk->frameOf(osd).size(), QSize(300, 60));
        const QString label = m_desk->label();
        // One grab each (the border never settles), a quarter of a second apart.
        a = m_desk->grabSettled(osd, QStringLiteral("osd-a-") + label, 0);
        ASSERT_FALSE(a.isNull());
        QThread::msleep(250);
        b = m_desk->grabSettled(osd, QStringLiteral("osd-b-") + label, 0);
        if (!b.isNull() &&
            LiveDesktop::backdropShare(b.image, b.window.adjusted(16, 8, -16, -8)) < 0.5)
            break;
    }
    ASSERT_FALSE(b.isNull());
    const QRect w = a.window;

    // The card: dark glass, the desktop nowhere inside it.
    const QRect card = w.adjusted(16, 8, -16, -8);
    EXPECT_LT(LiveDesktop::backdropShare(a.image, card), 0.01) << a.path.toStdString();
    const QColor glass = a.image.pixelColor(w.left() + 20, w.top() + 10);
    EXPECT_LT(glass.lightness(), 90) << a.path.toStdString();
    // The bar filled to 15/16 in warm colours, the icons either side.
    const int barY = w.top() + 30;
    const QColor fill = a.image.pixelColor(w.left() + 150, barY);
    EXPECT_GT(fill.red(), fill.blue() + 60) << a.path.toStdString();
    EXPECT_TRUE(LiveDesktop::hasDetail(a.image, QRect(w.left() + 14, w.top() + 20, 22, 20)));
    EXPECT_TRUE(LiveDesktop::hasDetail(a.image, QRect(w.right() - 35, w.top() + 20, 22, 20)));
    // The corners show the desktop: cut away without a compositor, see-through with one.
    EXPECT_TRUE(LiveDesktop::cornerIsClear(a, Qt::TopLeftCorner)) << a.path.toStdString();
    EXPECT_TRUE(LiveDesktop::cornerIsClear(a, Qt::BottomRightCorner)) << a.path.toStdString();

    // Between the grabs the border turned, and nothing inside it changed.
    const QRect outline[] = {QRect(w.left() + 14, w.top(), w.width() - 28, 3),
                             QRect(w.left() + 14, w.bottom() - 2, w.width() - 28, 3)};
    double moved = 0;
    for (const QRect& r : outline)
        moved += LiveDesktop::changedShare(a.image, b.image, r);
    EXPECT_GT(moved, 0.05) << "the border did not turn: " << a.path.toStdString() << " "
                           << b.path.toStdString();
    EXPECT_LT(LiveDesktop::changedShare(a.image, b.image, w.adjusted(14, 6, -14, -6)), 0.002)
        << b.path.toStdString();
    killAndExpectDeathBy(app, SIGTERM);
}

INSTANTIATE_TEST_SUITE_P(Desks, BrightnessOSDLive, ::testing::ValuesIn(LiveDesktop::desks()),
                         [](const auto& info) { return LiveDesktop::deskName(info.param); });
