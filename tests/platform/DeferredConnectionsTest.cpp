// Clients the platform makes at start-up that reach their server only when first
// asked, after the start-up's first tint.
#include "platform/linux/RandRDithering.h"
#include "support/XorgServer.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {
int openFiles() {
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot).size());
}
} // namespace

TEST(DeferredConnections, TheDitheringClientConnectsToTheXServerOnItsFirstQuestion) {
    XorgServer server;
    if (!server.start()) GTEST_SKIP() << server.errorString().toStdString();
    const QByteArray previous = qgetenv("DISPLAY");
    qputenv("DISPLAY", server.display().toLocal8Bit());

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
    qputenv("DISPLAY", previous);
}
