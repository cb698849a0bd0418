#include "app/StatusItem.h"
#include "app/HalcyraEntry.h"
#include "app/PopoverWindow.h"
#include "app/SnapshotRunner.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <cmath>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits>
#include <unistd.h>

TEST(StatusItem, TemperatureTitleIsPaddedAndHeldToTheKelvinRange) {
    EXPECT_EQ(StatusItem::temperatureTitle(3456.7), QStringLiteral(" 3456K"));
    EXPECT_EQ(StatusItem::temperatureTitle(800), QStringLiteral("  800K"));
    EXPECT_EQ(StatusItem::temperatureTitle(6500), QStringLiteral(" 6500K"));
    // Damaged stored values give a readable title instead of garbage or a crash.
    EXPECT_EQ(StatusItem::temperatureTitle(-40), QStringLiteral("  500K"));
    EXPECT_EQ(StatusItem::temperatureTitle(1e12), QStringLiteral(" 6500K"));
    EXPECT_EQ(StatusItem::temperatureTitle(std::numeric_limits<double>::infinity()),
              QStringLiteral(" 6500K"));
    EXPECT_EQ(StatusItem::temperatureTitle(-std::numeric_limits<double>::infinity()),
              QStringLiteral("  500K"));
    EXPECT_EQ(StatusItem::temperatureTitle(std::nan("")), QStringLiteral(" 6500K"));
}

TEST(StatusItem, AppearanceRecoloursAndPutsTheTitleInTheTooltip) {
    StatusItem item;
    item.setAppearance(StatusItem::disabledColor(), QString());
    EXPECT_EQ(item.toolTip(), QStringLiteral("Halcyra"));
    item.setAppearance(StatusItem::enabledColor(), StatusItem::temperatureTitle(3400));
    EXPECT_EQ(item.color(), StatusItem::enabledColor());
    EXPECT_EQ(item.toolTip(), QStringLiteral("Halcyra 3400K"));

    // The symbol is drawn in the requested colour.
    const QImage image = StatusItem::sunSymbol(QColor(255, 149, 0)).pixmap(32).toImage();
    const QColor centre = image.pixelColor(16, 16);
    EXPECT_EQ(centre.red(), 255);
    EXPECT_EQ(centre.green(), 149);
    EXPECT_EQ(centre.blue(), 0);
}

TEST(StatusItem, HasAButtonOnlyWhileATrayHostShowsIt) {
    EXPECT_FALSE(StatusItem().hasButton()); // no status area off screen
    StatusItem hosted({[] { return true; }, {}});
    EXPECT_TRUE(hosted.hasButton());
    hosted.trayIcon()->hide();
    EXPECT_FALSE(hosted.hasButton());
    EXPECT_FALSE(StatusItem({[] { return false; }, {}}).hasButton());
}

TEST(PopoverWindow, OpensBelowTheIconOrAboveItInABottomPanelAndStaysOnScreen) {
    const QRect screen(0, 0, 1920, 1080);
    const QSize size(340, 420);
    EXPECT_EQ(PopoverWindow::placement(QRect(1800, 0, 24, 24), size, screen),
              QPoint(1920 - 340, 24 + 6));
    EXPECT_EQ(PopoverWindow::placement(QRect(900, 1056, 24, 24), size, screen),
              QPoint(911 - 170, 1056 - 6 - 420));
    EXPECT_EQ(PopoverWindow::placement(QRect(0, 0, 24, 24), size, screen), QPoint(0, 30));
}

TEST(HalcyraEntry, OnlyExactSnapshotValuesLeaveTheOrdinaryRoad) {
    using Road = HalcyraEntry::Road;
    EXPECT_EQ(HalcyraEntry::road(std::nullopt), Road::ordinary);
    EXPECT_EQ(HalcyraEntry::road(QByteArray("1")), Road::welcomeSnapshot);
    EXPECT_EQ(HalcyraEntry::road(QByteArray("scheduling")), Road::schedulingSnapshot);
    for (const char* other : {"true", "0", "", "Scheduling", " 1", "scheduling "})
        EXPECT_EQ(HalcyraEntry::road(QByteArray(other)), Road::ordinary) << other;
}

namespace {
// Collects what is written to standard error while it lives.
class StderrCapture {
public:
    StderrCapture() {
        m_file = m_dir.path() + QStringLiteral("/stderr");
        m_saved = ::dup(STDERR_FILENO);
        const int fd = ::open(QFile::encodeName(m_file).constData(), O_WRONLY | O_CREAT, 0600);
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
    }
    ~StderrCapture() { restore(); }
    QString text() {
        restore();
        QFile f(m_file);
        f.open(QIODevice::ReadOnly);
        return QString::fromUtf8(f.readAll());
    }

private:
    void restore() {
        if (m_saved < 0) return;
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }
    QTemporaryDir m_dir;
    QString m_file;
    int m_saved = -1;
};
} // namespace

TEST(SnapshotRunner, BothRoadsWriteTheirImagesAndAFailedWriteIsReported) {
    QTemporaryDir dir;
    const QString out = dir.path() + QStringLiteral("/shots/");
    qputenv("HALCYRA_SNAPSHOT_DIR", out.toUtf8());
    qputenv("HALCYRA_SNAPSHOT_NAME", "named");
    StderrCapture capture;
    EXPECT_EQ(SnapshotRunner::renderWelcomeSlides(), 0);
    EXPECT_EQ(SnapshotRunner::renderScheduling(), 0);
    // A name reaching into a folder that does not exist fails the write, and says so.
    qputenv("HALCYRA_SNAPSHOT_NAME", "missing/named");
    EXPECT_EQ(SnapshotRunner::renderScheduling(), 1);
    // Empty values are used as they are, not as absent ones.
    qputenv("HALCYRA_SNAPSHOT_NAME", "");
    EXPECT_EQ(SnapshotRunner::renderScheduling(), 0);
    qputenv("HALCYRA_SNAPSHOT_DIR", "");
    qputenv("HALCYRA_SNAPSHOT_NAME", "halcyra-no-such-folder/named");
    EXPECT_EQ(SnapshotRunner::renderScheduling(), 1);
    const QString text = capture.text();
    qunsetenv("HALCYRA_SNAPSHOT_DIR");
    qunsetenv("HALCYRA_SNAPSHOT_NAME");

    EXPECT_TRUE(text.contains(QStringLiteral("snapshot done — 6/6 slides\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("scheduling snapshot wrote %1/named.png\n").arg(out)));
    EXPECT_TRUE(text.contains(
        QStringLiteral("scheduling snapshot write FAILED %1/missing/named.png: ").arg(out)));
    EXPECT_TRUE(QFile::exists(out + QStringLiteral("/.png")));
    EXPECT_TRUE(text.contains(
        QStringLiteral("scheduling snapshot write FAILED /halcyra-no-such-folder/named.png: ")));
    const QStringList files = QDir(out).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(files,
              QStringList({"0-welcome.png", "1-meadow.png", "2-menubar.png", "3-wow-presets.png",
                           "4-flicker.png", "6-payoff.png", "named.png"}));
    EXPECT_EQ(QImage(out + QStringLiteral("3-wow-presets.png")).size(), QSize(2080, 1400));
}

TEST(SnapshotRunner, RendersAWidgetAtTwoPixelsPerPoint) {
    QWidget widget;
    widget.setAttribute(Qt::WA_DontShowOnScreen);
    widget.setFixedSize(100, 50);
    widget.setStyleSheet(QStringLiteral("background: rgb(10, 200, 30);"));
    widget.setAutoFillBackground(true);
    const QImage image = SnapshotRunner::render(widget);
    EXPECT_EQ(image.size(), QSize(200, 100));
    EXPECT_EQ(image.devicePixelRatio(), 2.0);
}
