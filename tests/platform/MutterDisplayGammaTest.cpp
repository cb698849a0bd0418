// GNOME's display-configuration gamma backend against a fake of the service on a
// private bus: two CRTCs of different gamma sizes, serials that go stale, refusals.
#include "platform/linux/MutterDisplayGamma.h"
#include "support/FakeDisplayConfig.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <mutex>
#include <unistd.h>

namespace {

// Everything logged while it lives, as text.
class LogCapture {
public:
    LogCapture() {
        s_self = this;
        m_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture() {
        qInstallMessageHandler(m_previous);
        s_self = nullptr;
    }
    int count(const QString& text) {
        std::lock_guard lock(m_mutex);
        return m_text.count(text);
    }

private:
    static void handle(QtMsgType, const QMessageLogContext&, const QString& message) {
        std::lock_guard lock(s_self->m_mutex);
        s_self->m_text += message + QLatin1Char('\n');
    }
    static inline LogCapture* s_self = nullptr;
    QtMessageHandler m_previous = nullptr;
    std::mutex m_mutex;
    QString m_text;
};

// The 16-bit entry a table must become in a ramp of `size`, worked out on its own.
ushort level(const std::vector<float>& table, int j, int size) {
    const double pos = double(j) * double(table.size() - 1) / double(size - 1);
    const size_t lo = size_t(pos);
    const size_t hi = std::min(lo + 1, table.size() - 1);
    const double f = pos - double(lo);
    double v = table[lo] * (1.0 - f) + table[hi] * f;
    if (std::isnan(v)) v = 0;
    return ushort(std::lround(std::clamp(v, 0.0, 1.0) * 65535.0));
}

class MutterGamma : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_bus.isUp()) GTEST_SKIP() << "dbus-daemon is not installed";
        m_storePath = m_state.filePath(QStringLiteral("gamma-originals.json"));
    }

    // A laptop panel (256 entries, kernel id 41), a primary external screen (1024,
    // kernel id 42) and a CRTC driving nothing.
    static std::vector<FakeDisplayConfig::Crtc> twoScreens() {
        FakeDisplayConfig::Crtc panel;
        panel.winsys = 41;
        panel.output = QStringLiteral("eDP-1");
        panel.own = FakeDisplayConfig::ownRamps(256, 1.08);
        FakeDisplayConfig::Crtc external;
        external.winsys = 42;
        external.output = QStringLiteral("DP-2");
        external.primary = true;
        external.own = FakeDisplayConfig::ownRamps(1024, 0.93);
        FakeDisplayConfig::Crtc idle;
        idle.winsys = 43;
        idle.active = false;
        idle.own = FakeDisplayConfig::linear(256);
        return {panel, external, idle};
    }

    FakeDisplayConfig* serveFake(std::vector<FakeDisplayConfig::Crtc> crtcs) {
        m_fake = new FakeDisplayConfig(std::move(crtcs)); // lives on the bus thread
        EXPECT_TRUE(m_fake->serve(m_bus));
        return m_fake;
    }

    std::unique_ptr<MutterDisplayGamma> open() {
        ++m_opened;
        return MutterDisplayGamma::open(m_bus.connect(QStringLiteral("app-%1").arg(m_opened)),
                                        m_bus.connect(QStringLiteral("sig-%1").arg(m_opened)),
                                        m_storePath);
    }

    bool storedTinted(DisplayId display) {
        QFile f(m_storePath);
        if (!f.open(QIODevice::ReadOnly)) return false;
        return QJsonDocument::fromJson(f.readAll())
            .object()
            .value(QStringLiteral("crtcs"))
            .toObject()
            .value(QStringLiteral("gnome-display-config/crtc-%1").arg(display))
            .toObject()
            .value(QStringLiteral("tinted"))
            .toBool();
    }

    template <typename Pred> static bool eventually(Pred pred) {
        QElapsedTimer timer;
        timer.start();
        while (!pred()) {
            if (timer.elapsed() > 3000) return false;
            QCoreApplication::processEvents();
            usleep(5000);
        }
        return true;
    }

    PrivateBus m_bus;
    QTemporaryDir m_state;
    QString m_storePath;
    FakeDisplayConfig* m_fake = nullptr;
    int m_opened = 0;
};

TEST_F(MutterGamma, TintsBothCrtcsAtTheirOwnSizesReadsThemBackAndRestoresTheirOwnRamps) {
    FakeDisplayConfig& fake = *serveFake(twoScreens());
    auto gamma = open();
    ASSERT_NE(gamma, nullptr);

    ASSERT_EQ(gamma->onlineDisplays(), std::vector<DisplayId>({41, 42}));
    EXPECT_EQ(gamma->mainDisplay(), 42u);
    EXPECT_TRUE(gamma->isBuiltin(41));
    EXPECT_FALSE(gamma->isBuiltin(42));
    EXPECT_EQ(gamma->outputName(42), QStringLiteral("DP-2"));

    // Three entries stretched to 256 and to 1024, a level out of range and a NaN.
    const std::vector<float> red = {0.0f, 0.5f, 1.0f};
    const std::vector<float> green = {0.1f, 1.7f, 0.3f};
    const std::vector<float> blue = {std::numeric_limits<float>::quiet_NaN(), 0.2f, 0.9f};
    const std::vector<float>* tables[3] = {&red, &green, &blue};
    for (int i = 0; i < 2; ++i) {
        const DisplayId id = i == 0 ? 41 : 42;
        ASSERT_EQ(gamma->setTransferTables(id, red, green, blue), DisplayGamma::success);
        // On disk before the tint can be on screen.
        EXPECT_TRUE(storedTinted(id));
        const FakeDisplayConfig::Crtc seen = fake.crtc(i);
        const int size = i == 0 ? 256 : 1024;
        const FakeDisplayConfig::Ramp* ramps[3] = {&seen.current.red, &seen.current.green,
                                                   &seen.current.blue};
        for (int c = 0; c < 3; ++c) {
            ASSERT_EQ(ramps[c]->size(), size);
            for (int j = 0; j < size; ++j)
                ASSERT_EQ((*ramps[c])[j], level(*tables[c], j, size))
                    << "crtc " << i << " channel " << c << " entry " << j;
        }
    }
    std::vector<float> r, g, b;
    ASSERT_EQ(gamma->transferTables(42, 3, r, g, b), DisplayGamma::success);
    EXPECT_NEAR(r[1], 0.5f, 1e-4);
    EXPECT_NEAR(g[2], 0.3f, 1e-4);

    EXPECT_EQ(gamma->setTransferTables(41, red, green, {0.0f, 1.0f}), DisplayGamma::badArgument);
    EXPECT_EQ(gamma->setTransferTables(43, red, green, blue), DisplayGamma::invalidDisplay);
    EXPECT_EQ(fake.crtc(2).writes, 0);

    // The panel is switched off while tinted: it leaves the list, but the compositor
    // keeps its ramps for when it comes back, so it is handed back all the same.
    bool changed = false;
    QObject::connect(gamma.get(), &DisplayGamma::reconfigured, [&] { changed = true; });
    fake.changeMonitors(/*announce=*/true, /*toggleCrtc=*/0);
    ASSERT_TRUE(eventually([&] { return changed; }));
    EXPECT_EQ(gamma->onlineDisplays(), std::vector<DisplayId>({42}));
    EXPECT_TRUE(storedTinted(41));
    gamma->restoreColorSettings();
    EXPECT_EQ(fake.crtc(0).current, fake.crtc(0).own);
    EXPECT_EQ(fake.crtc(1).current, fake.crtc(1).own);
    EXPECT_FALSE(storedTinted(41));
    EXPECT_FALSE(storedTinted(42));
}

TEST_F(MutterGamma, AStaleSerialIsRetriedOnceAndMonitorChangesAreReadAndAnnounced) {
    FakeDisplayConfig& fake = *serveFake(twoScreens());
    auto gamma = open();
    ASSERT_NE(gamma, nullptr);
    std::vector<DisplayReconfiguration> changes;
    QObject::connect(gamma.get(), &DisplayGamma::reconfigured,
                     [&](const DisplayReconfiguration& c) { changes.push_back(c); });
    const std::vector<float> warm = {0.0f, 0.7f};

    // The monitors changed without the signal reaching us yet.
    fake.changeMonitors(/*announce=*/false);
    const int staleBefore = fake.staleRefusals();
    ASSERT_EQ(gamma->setTransferTables(41, warm, warm, warm), DisplayGamma::success);
    EXPECT_EQ(fake.staleRefusals(), staleBefore + 1);
    EXPECT_EQ(fake.crtc(0).current.red.back(), level(warm, 255, 256));

    // The external screen goes dark: it leaves the list, and the change is announced.
    fake.changeMonitors(/*announce=*/true, /*toggleCrtc=*/1);
    ASSERT_TRUE(eventually([&] { return !changes.empty(); }));
    EXPECT_TRUE(changes.back().displayRemoved);
    EXPECT_TRUE(changes.back().mainDisplayChanged);
    EXPECT_EQ(gamma->onlineDisplays(), std::vector<DisplayId>({41}));
    EXPECT_EQ(gamma->mainDisplay(), 41u);
    EXPECT_EQ(gamma->setTransferTables(42, warm, warm, warm), DisplayGamma::invalidDisplay);

    // A mode set that resets the ramps is announced too, so the tint is put back.
    changes.clear();
    fake.changeMonitors(/*announce=*/true, /*toggleCrtc=*/1, /*resetRamps=*/true);
    ASSERT_TRUE(eventually([&] { return !changes.empty(); }));
    EXPECT_TRUE(changes.back().displayAdded);
    EXPECT_EQ(gamma->onlineDisplays(), std::vector<DisplayId>({41, 42}));
    // The panel still carries our tint in its record; its own ramps are kept.
    gamma->restoreColorSettings();
    EXPECT_EQ(fake.crtc(0).current, fake.crtc(0).own);
    const int staleAfter = fake.staleRefusals();
    EXPECT_EQ(gamma->setTransferTables(42, warm, warm, warm), DisplayGamma::success);
    EXPECT_EQ(fake.staleRefusals(), staleAfter);

    // A hand-back the compositor did not answer, then a mode set: the tint is not put
    // back by itself.
    fake.loseGammaCalls = true;
    gamma->restoreColorSettings();
    fake.loseGammaCalls = false;
    changes.clear();
    fake.changeMonitors(/*announce=*/true, -1, /*resetRamps=*/true);
    ASSERT_TRUE(eventually([&] { return !changes.empty(); }));
    EXPECT_EQ(fake.crtc(1).current, FakeDisplayConfig::linear(1024));
}

TEST_F(MutterGamma, ARefusedWriteIsLoggedOnceAndNoDisplayClaimsATint) {
    FakeDisplayConfig& fake = *serveFake(twoScreens());
    auto gamma = open();
    ASSERT_NE(gamma, nullptr);
    std::vector<DisplayReconfiguration> changes;
    QObject::connect(gamma.get(), &DisplayGamma::reconfigured,
                     [&](const DisplayReconfiguration& c) { changes.push_back(c); });
    LogCapture log;
    fake.refuseWrites = true;
    const std::vector<float> warm = {0.0f, 0.7f};
    EXPECT_EQ(gamma->setTransferTables(41, warm, warm, warm), DisplayGamma::failure);
    EXPECT_EQ(gamma->setTransferTables(42, warm, warm, warm), DisplayGamma::failure);
    EXPECT_EQ(log.count(QStringLiteral("refused the gamma ramps")), 1);
    EXPECT_EQ(gamma->onlineDisplays(), std::vector<DisplayId>{});
    EXPECT_EQ(gamma->mainDisplay(), 0u);
    ASSERT_TRUE(eventually([&] { return !changes.empty(); }));
    EXPECT_TRUE(changes.back().displayRemoved);
    EXPECT_EQ(fake.crtc(0).current, fake.crtc(0).own);

    // A compositor that refuses from the start is not used at all.
    gamma.reset();
    EXPECT_EQ(open(), nullptr);
    EXPECT_EQ(log.count(QStringLiteral("refused a gamma write")), 1);
}

TEST_F(MutterGamma, NoBackendWithoutTheServiceOrWithoutACrtcToTint) {
    LogCapture log;
    EXPECT_EQ(open(), nullptr); // nothing owns the name yet
    EXPECT_EQ(log.count(QStringLiteral("GNOME")), 0);

    std::vector<FakeDisplayConfig::Crtc> crtcs = twoScreens();
    for (auto& c : crtcs)
        c.active = false;
    FakeDisplayConfig& fake = *serveFake(crtcs);
    EXPECT_TRUE(MutterDisplayGamma::isOffered(m_bus.connect(QStringLiteral("probe"))));
    EXPECT_EQ(open(), nullptr);
    EXPECT_EQ(log.count(QStringLiteral("offers no display whose gamma can be set")), 1);

    // A compositor that crashes on the ramp read is not one without displays.
    fake.changeMonitors(/*announce=*/false, /*toggleCrtc=*/0);
    fake.loseGammaCalls = true;
    EXPECT_EQ(open(), nullptr);
    EXPECT_EQ(log.count(QStringLiteral("went away or did not answer when asked for a display's "
                                       "gamma")),
              1);
    EXPECT_EQ(log.count(QStringLiteral("offers no display whose gamma can be set")), 1);
}

// A killed run leaves its tint on screen and its mark on disk: the next start finds
// the display's true ramps in the file, puts them back, and keeps them as its own.
TEST_F(MutterGamma, AfterAKilledRunTheSavedOwnRampsAreTheOriginals) {
    FakeDisplayConfig& fake = *serveFake(twoScreens());
    const std::vector<float> warm = {0.0f, 0.6f};
    {
        auto first = open();
        ASSERT_NE(first, nullptr);
        ASSERT_EQ(first->setTransferTables(42, warm, warm, warm), DisplayGamma::success);
        // Gone without restoring, as after kill -9.
    }
    ASSERT_NE(fake.crtc(1).current, fake.crtc(1).own);
    auto second = open();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(fake.crtc(1).current, fake.crtc(1).own);
    EXPECT_FALSE(storedTinted(42));
    ASSERT_EQ(second->setTransferTables(42, warm, warm, warm), DisplayGamma::success);
    second->restoreColorSettings();
    EXPECT_EQ(fake.crtc(1).current, fake.crtc(1).own);
}

} // namespace
