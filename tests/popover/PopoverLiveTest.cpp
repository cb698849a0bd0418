// The real binary on a private Xorg, with and without a compositor and a window manager:
// the popover opened by a click on the tray icon, grabbed from the server once it has
// settled. Its card reaches the window's edges, its corners show the desktop behind,
// and the footer's gear stays inside the card after a note is typed and sent.
#include "../app/LiveSession.h"
#include "../app/ShellSession.h"

class PopoverLive : public LiveSession<ShellSession> {
protected:
    QString name(const char* step) const {
        return QStringLiteral("popover-%1-%2").arg(QLatin1String(step), m_desk->label());
    }
};

// The footer's gear sits at the card's bottom-right; it must be drawn (bright strokes on
// the dark card) and the card must reach the window's bottom edge around it.
static void expectFooterInsideTheCard(const LiveDesktop::Shot& shot, const char* step) {
    const QRect w = shot.window;
    const QRect gear(w.right() - 45, w.bottom() - 45, 30, 30);
    EXPECT_TRUE(LiveDesktop::hasDetail(shot.image, gear))
        << step << ": no gear in the card's corner, see " << shot.path.toStdString();
    EXPECT_LT(LiveDesktop::backdropShare(shot.image, gear), 0.01)
        << step << ": the window is cut above its footer, see " << shot.path.toStdString();
    // The last rows of the window (above the shadow's margin) belong to the card: neither the
    // desktop (a mask cut too short) nor a dark slab below a card painted shorter than its window.
    const QRect lastRows(w.left() + 30, w.bottom() - 6, w.width() - 60, 2);
    EXPECT_LT(LiveDesktop::backdropShare(shot.image, lastRows), 0.01) << step;
    const QRect quote(w.left() + 20, w.bottom() - 45, 150, 30);
    EXPECT_TRUE(LiveDesktop::hasDetail(shot.image, quote))
        << step << ": no quotation in the footer, see " << shot.path.toStdString();
}

TEST_P(PopoverLive, KeepsItsFooterInsideTheCardWhileFeedbackIsTypedSentAndReopened) {
    QProcess* app = nullptr;
    DisplayDriver::Popover opened;
    launchAndOpenPopover(app, opened);
    if (IsSkipped() || HasFatalFailure()) return;
    const DisplayDriver x = m_desk->driver();
    auto popover = [&] {
        for (const QString& id : x.visibleWindowsOf(app->processId()))
            if (id != opened.icon) return id;
        return QString();
    };
    ASSERT_FALSE(popover().isEmpty());

    const LiveDesktop::Shot open = m_desk->grabSettled(popover(), name("open"));
    ASSERT_FALSE(open.isNull());
    EXPECT_TRUE(LiveDesktop::cornerIsClear(open, Qt::TopLeftCorner)) << open.path.toStdString();
    EXPECT_TRUE(LiveDesktop::cornerIsClear(open, Qt::BottomRightCorner)) << open.path.toStdString();
    expectFooterInsideTheCard(open, "opened");

    // The note: its e-mail line appears and the window grows with the card.
    x.clickAt(opened.frame.topLeft() + QPoint(150, opened.frame.height() - 75));
    QThread::msleep(200);
    x.xdotool({"type", "--delay", "15", "The footer stays"});
    QThread::msleep(400);
    const LiveDesktop::Shot typed = m_desk->grabSettled(popover(), name("typed"));
    ASSERT_FALSE(typed.isNull());
    EXPECT_GT(typed.window.height(), open.window.height()) << "the window did not grow";
    expectFooterInsideTheCard(typed, "typed");

    // Sent without a network: the failure line shows, and the footer is still there.
    x.xdotool({"key", "Return"});
    QThread::msleep(2500);
    const LiveDesktop::Shot failed = m_desk->grabSettled(popover(), name("failed"));
    ASSERT_FALSE(failed.isNull());
    expectFooterInsideTheCard(failed, "after Return");

    // Closed by a click on the desktop and opened again from the tray.
    x.clickAt(QPoint(40, 600));
    QThread::msleep(400);
    ASSERT_TRUE(popover().isEmpty()) << "the popover did not close";
    x.clickAt(opened.iconFrame.center());
    QElapsedTimer waited;
    waited.start();
    while (popover().isEmpty() && waited.elapsed() < 3000)
        QThread::msleep(50);
    ASSERT_FALSE(popover().isEmpty()) << "the popover did not open again";
    const LiveDesktop::Shot reopened = m_desk->grabSettled(popover(), name("reopened"));
    ASSERT_FALSE(reopened.isNull());
    expectFooterInsideTheCard(reopened, "reopened");
    EXPECT_TRUE(LiveDesktop::cornerIsClear(reopened, Qt::BottomLeftCorner))
        << reopened.path.toStdString();
}

// Opened from the icon or by the panel shortcut, the popover holds the keys and the
// pointer: Esc closes it and so does a click outside, but not a click in the visible
// settings window, which takes the click itself.
TEST_P(PopoverLive, ClosesOnEscapeAndOnAClickOutsideButNotOnAClickInTheSettingsWindow) {
    QProcess* app = nullptr;
    DisplayDriver::Popover opened;
    launchAndOpenPopover(app, opened);
    if (IsSkipped() || HasFatalFailure()) return;
    const DisplayDriver x = m_desk->driver();
    // The gear gives way to the settings window.
    x.clickAt(opened.frame.bottomRight() - QPoint(30, 30));
    const QString settings =
        m_desk->waitForWindow(QStringLiteral("Halcyra Settings"), app->processId());
    ASSERT_FALSE(settings.isEmpty()) << m_log.toStdString();
    const QRect settingsFrame = x.frameOf(settings);
    auto popover = [&] {
        for (const QString& id : x.visibleWindowsOf(app->processId()))
            if (id != opened.icon && id != settings) return id;
        return QString();
    };
    auto waitFor = [&](bool open) {
        return LiveDesktop::within(3000, [&] { return popover().isEmpty() != open; });
    };
    ASSERT_TRUE(waitFor(false)) << "the popover stayed open under the settings window";

    // From the icon: a click on the settings window's "Display" row keeps the popover
    // and selects the section; a click on the desktop closes it.
    x.clickAt(opened.iconFrame.center());
    ASSERT_TRUE(waitFor(true)) << "the popover did not open again";
    const QPoint displayRow = settingsFrame.topLeft() + QPoint(70, 89);
    x.clickAt(displayRow);
    QThread::msleep(400);
    EXPECT_FALSE(popover().isEmpty()) << "a click in the settings window closed the popover";
    const LiveDesktop::Shot both =
        m_desk->grabArea(settingsFrame.united(opened.frame), name("with-settings"));
    ASSERT_FALSE(both.isNull());
    // The settings window took the click: its "Display" row wears the accent.
    const QColor row = both.image.pixelColor(displayRow - QPoint(50, 0) -
                                             settingsFrame.united(opened.frame).topLeft());
    EXPECT_GT(row.red() - row.blue(), 30) << both.path.toStdString();
    x.clickAt(QPoint(40, 600));
    EXPECT_TRUE(waitFor(false)) << "a click on the desktop left the popover open";

    // By the shortcut, whatever has the focus: Esc closes it, and so does a click outside.
    for (const char* closer : {"Escape", "click"}) {
        ASSERT_TRUE(x.xdotool({"key", "shift+super+s"}));
        ASSERT_TRUE(waitFor(true)) << "the shortcut opened no popover";
        QThread::msleep(300);
        if (QLatin1String(closer) == QLatin1String("Escape"))
            x.xdotool({"key", "Escape"});
        else // elsewhere than before: a pointer already there never reports its move
            x.clickAt(QPoint(60, 560));
        EXPECT_TRUE(waitFor(false)) << closer << " left the shortcut's popover open";
    }
    // The keys went to the popover, not to the settings window that had the focus.
    EXPECT_TRUE(x.visibleWindowsOf(app->processId()).contains(settings))
        << "Esc closed the settings window";
}

INSTANTIATE_TEST_SUITE_P(Desks, PopoverLive, ::testing::ValuesIn(LiveDesktop::desks()),
                         [](const auto& info) { return LiveDesktop::deskName(info.param); });
