// The real binary against damaged copies of the displays' own ramps: a bad state
// file or a tint left on screen must never become what quitting restores.
#include "ShellSession.h"
#include "platform/GammaOriginalsStore.h"

#include <random>

namespace {

class GammaOriginalsEndToEnd : public ShellSession {
protected:
    // What a crashed run with the tint on leaves behind, with `saved` as the ramps it
    // took for the display's own.
    void saveOriginals(const Ramps& saved) {
        GammaOriginalsStore store(m_state.path() + QStringLiteral("/halcyra/gamma-originals.json"));
        store.setRecord(m_server.display() + QStringLiteral("/crtc-") + QString::number(m_crtc.id),
                        {m_crtc.outputName, {saved.red, saved.green, saved.blue}, true});
    }

    // The straight ramp a fresh server has: neither black, white, scrambled nor tinted.
    Ramps linear() const { return XorgServer::identityRamps(m_crtc.gammaSize); }
};

Ramps filled(int size, const std::function<quint16(int, int)>& level) {
    Ramps r;
    for (int i = 0; i < size; ++i) {
        r.red.push_back(level(0, i));
        r.green.push_back(level(1, i));
        r.blue.push_back(level(2, i));
    }
    return r;
}

TEST_F(GammaOriginalsEndToEnd, ImplausibleSavedRampsAreReplacedByTheLinearRamp) {
    const int n = m_crtc.gammaSize;
    std::mt19937 random(7);
    const std::vector<std::pair<const char*, Ramps>> cases = {
        {"all zero", filled(n, [](int, int) { return quint16(0); })},
        {"all full", filled(n, [](int, int) { return quint16(65535); })},
        {"random", filled(n, [&](int, int) { return quint16(random() & 0xffff); })},
        {"decreasing",
         filled(n, [n](int, int i) { return quint16(65535L * (n - 1 - i) / (n - 1)); })},
        {"near black", filled(n, [n](int, int i) { return quint16(1310L * i / (n - 1)); })},
        {"red only",
         filled(n, [n](int c, int i) { return quint16(c ? 0 : 65535L * i / (n - 1)); })},
    };
    const QString replaced = QStringLiteral("cannot be a display's own");
    for (const auto& [name, saved] : cases) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(m_server.setCrtcRamps(m_crtc.id, linear()));
        saveOriginals(saved);
        seedTintOff();
        m_log.clear();
        QProcess& app = launch();
        ASSERT_TRUE(waitForLog(app, QStringLiteral("launch succeeded"))) << m_log.toStdString();
        EXPECT_EQ(ramps(), linear());
        EXPECT_EQ(m_log.count(replaced), 1) << m_log.toStdString();
        killAndExpectDeathBy(app, SIGTERM);
        EXPECT_EQ(ramps(), linear());
    }

    // Later starts, tinted and then not, find nothing bad left to restore.
    seedTint(2500);
    QProcess& tinted = launch();
    ASSERT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 2500); }, 3000));
    killAndExpectDeathBy(tinted, SIGTERM);
    EXPECT_EQ(ramps(), linear());
    seedTintOff();
    m_log.clear();
    QProcess& plain = launch();
    ASSERT_TRUE(waitForLog(plain, QStringLiteral("launch succeeded")));
    EXPECT_EQ(ramps(), linear());
    EXPECT_EQ(m_log.count(replaced), 0);
    killAndExpectDeathBy(plain, SIGTERM);
    EXPECT_EQ(ramps(), linear());
}

TEST_F(GammaOriginalsEndToEnd, ATintLeftByAKilledRunIsNeverAdoptedWhenTheStateIsGone) {
    const Ramps own = ramps();
    seedTint(3400);
    QProcess& first = launch();
    ASSERT_TRUE(waitForRamps([](const Ramps& r) { return isTint(r, 3400); }, 3000));
    ASSERT_TRUE(waitForLog(first, QStringLiteral("launch succeeded")));
    ::kill(pid_t(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished(3000));
    ASSERT_TRUE(QDir(m_state.path() + QStringLiteral("/halcyra")).removeRecursively());

    m_log.clear();
    QProcess& second = launch();
    ASSERT_TRUE(waitForLog(second, QStringLiteral("launch succeeded")));
    // The server kept what the first run took for the display's own ramps.
    EXPECT_EQ(m_log.count(QStringLiteral("tint from a previous run on this X server")), 1)
        << m_log.toStdString();
    killAndExpectDeathBy(second, SIGTERM);
    EXPECT_EQ(ramps(), own);
}

} // namespace
