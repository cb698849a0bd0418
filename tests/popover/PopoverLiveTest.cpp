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

INSTANTIATE_TEST_SUITE_P(Desks, PopoverLive, ::testing::ValuesIn(LiveDesktop::desks()),
                         [](const auto& info) { return LiveDesktop::deskName(info.param); });
