// Clients the platform makes at start-up that reach their server only when first
// asked, after the start-up's first tint.
#include "platform/linux/LinuxSystemEvents.h"
#include "platform/linux/RandRDithering.h"
#include "support/XorgServer.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {
int openFiles() {
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot).size());
}
} // namespace

// A private X server named in DISPLAY for the test's length.
class DeferredConnections : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_server.start()) GTEST_SKIP() << m_server.errorString().toStdString();
        qputenv("DISPLAY", m_server.display().toLocal8Bit());
    }
    void TearDown() override { qputenv("DISPLAY", m_previous); }

private:
    XorgServer m_server;
    const QByteArray m_previous = qgetenv("DISPLAY");
};

TEST_F(DeferredConnections, TheDitheringClientConnectsToTheXServerOnItsFirstQuestion) {
    const int before = openFiles();
    std::unique_ptr<RandRDithering> dithering = RandRDithering::open();
    ASSERT_TRUE(dithering);
    EXPECT_EQ(openFiles(), before) << "made without a connection";
    // The dummy driver offers no dithering properties: nothing to switch, said as such.
    EXPECT_FALSE(dithering->isAvailable());
    EXPECT_EQ(openFiles(), before + 1);
    EXPECT_TRUE(dithering->snapshot().isEmpty());
    EXPECT_EQ(openFiles(), before + 1) << "one connection, kept";
    dithering.reset();
    EXPECT_EQ(openFiles(), before);

    // A display that answers nobody: asked, it is simply unavailable.
    qputenv("DISPLAY", ":250");
    dithering = RandRDithering::open();
    ASSERT_TRUE(dithering);
    EXPECT_FALSE(dithering->isAvailable());
    EXPECT_FALSE(dithering->setDithering(false));
    EXPECT_FALSE(dithering->restore({}));
    qunsetenv("DISPLAY");
    EXPECT_FALSE(RandRDithering::open());
}

TEST_F(DeferredConnections, SystemEventsAreWatchedFromTheirFirstObserverOn) {
    const int before = openFiles();
    LinuxSystemEvents events;
    EXPECT_EQ(openFiles(), before) << "no bus, server, clock or folder watch yet";
    QObject::connect(&events, &QObject::destroyed, [] {});
    EXPECT_EQ(openFiles(), before) << "only its own signals start the watches";
    int changes = 0;
    QObject::connect(&events, &SystemEvents::clockDidChange, [&] { ++changes; });
    const int watching = openFiles();
    // At least the clock's timer and the time-zone watch.
    EXPECT_GE(watching, before + 2);
    QObject::connect(&events, &SystemEvents::screensDidWake, [] {});
    EXPECT_EQ(openFiles(), watching) << "started once";
}
