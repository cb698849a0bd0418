// The release feed, the manual probe, the update session and the daily check, against
// a loopback HTTP server.
#include "app/UpdaterManager.h"

#include "core/Preferences.h"
#include "support/ModuleHttpClient.h"
#include "support/TestStore.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

namespace {

// Answers every GET with `status` and `body`.
class FeedServer {
public:
    int status = 200;
    QByteArray body;
    int requests = 0;
    FeedServer() {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection())
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    if (!s->readAll().contains("\r\n\r\n")) return;
                    ++requests;
                    QByteArray reply = "HTTP/1.1 " + QByteArray::number(status) + " S\r\n";
                    if (status / 100 == 3) reply += "Location: https://example.invalid/\r\n";
                    reply += "Content-Length: " + QByteArray::number(body.size()) +
                             "\r\nConnection: close\r\n\r\n" + body;
                    s->write(reply);
                    s->disconnectFromHost();
                });
        });
    }
    QUrl url() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/feed.json").arg(m_server.serverPort()));
    }
    void release(const char* version) {
        body =
            QByteArray(R"({"version":")") + version +
            R"(","downloadURL":"https://example.com/get","releaseNotesURL":"https://example.com/notes"})";
    }

private:
    QTcpServer m_server;
};

using Kind = UpdaterManager::ManualCheckResult::Kind;

struct Updater : ::testing::Test {
    TestStore store;
    FeedServer server;
    ManualClock clock;
    UpdaterManager updater{clock};
    std::vector<UpdaterManager::ManualCheckResult> results;
    std::vector<bool> sessions;
    std::vector<std::optional<QString>> availability;
    int windows = 0;

    Updater() {
        useModuleHttpClient();
        UpdaterManager::setFeedUrl(server.url());
        updater.onManualCheckResult = [this](auto r) { results.push_back(r); };
        updater.onUpdaterSessionChanged = [this](bool open) { sessions.push_back(open); };
        updater.onAvailabilityChanged = [this](auto v) { availability.push_back(v); };
        updater.showUpdateWindow = [this](const auto&) { ++windows; };
    }
    ~Updater() override { UpdaterManager::setFeedUrl({}); }
    void settle(size_t n) {
        waitUntil([&] { return results.size() >= n; }, 5000);
    }
};

TEST(UpdateFeed, ParsesOnlyAWellFormedFeed) {
    const auto r = UpdaterManager::parseFeed(
        R"({"version":"2.4.1","downloadURL":"https://x.org/d","releaseNotesURL":"https://x.org/n"})");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->version, QStringLiteral("2.4.1"));
    EXPECT_EQ(r->download, QUrl(QStringLiteral("https://x.org/d")));
    EXPECT_TRUE(UpdaterManager::parseFeed(R"({"version":"2","downloadURL":"https://x.org/d"})"));
    for (
        const char* bad :
        {"", "not json", "[1]", R"({"downloadURL":"https://x.org/d"})",
         R"({"version":2,"downloadURL":"https://x.org/d"})",
         R"({"version":"1.x","downloadURL":"https://x.org/d"})", R"({"version":"1.2"})",
         R"({"version":"1.2","downloadURL":"http://x.org/d"})",
         R"({"version":"1.2","downloadURL":"file:///etc/passwd"})",
         R"({"version":"1.2","downloadURL":"https://x.org/d","releaseNotesURL":7})",
         R"j({"version":"1.2","downloadURL":"https://x.org/d","releaseNotesURL":"javascript:alert(1)"})j"})
        EXPECT_FALSE(UpdaterManager::parseFeed(bad)) << bad;
    EXPECT_GT(*UpdaterManager::compareVersions("1.10", "1.9"), 0);
    EXPECT_EQ(*UpdaterManager::compareVersions("1.0", "1"), 0);
    EXPECT_FALSE(UpdaterManager::compareVersions("unknown", "1"));
}

TEST_F(Updater, OneProbeOneResultThenTheWindowAndItsSession) {
    server.release("999.0");
    updater.checkForUpdates();
    updater.checkForUpdates(); // absorbed by the running probe
    settle(1);
    ASSERT_EQ(results,
              (std::vector<UpdaterManager::ManualCheckResult>{{Kind::updateAvailable, "999.0"}}));
    EXPECT_EQ(server.requests, 1);
    EXPECT_EQ(availability, (std::vector<std::optional<QString>>{QStringLiteral("999.0")}));

    updater.checkForUpdates(); // known: the window, no result
    EXPECT_EQ(windows, 1);
    EXPECT_EQ(sessions, std::vector{true});
    updater.updateWindowClosed();
    EXPECT_EQ(sessions, (std::vector{true, false}));
    EXPECT_EQ(results.size(), 1u);

    // A window that never reports back does not hold the session for good.
    updater.setSessionTimeoutMs(50);
    updater.checkForUpdates();
    EXPECT_TRUE(waitUntil([&] { return sessions.size() == 4; }, 2000));
    EXPECT_FALSE(updater.sessionOpen());
}

TEST_F(Updater, OlderReleaseIsUpToDateAndABadAnswerFailsWithoutTouchingAvailability) {
    server.release("0.0.1");
    updater.checkForUpdates();
    settle(1);
    EXPECT_EQ(results.back().kind, Kind::upToDate);

    server.body = R"({"version":"999"})";
    updater.checkForUpdates();
    settle(2);
    server.status = 301;
    server.release("999.0");
    updater.checkForUpdates();
    settle(3);
    EXPECT_EQ(results[1].kind, Kind::failed);
    EXPECT_EQ(results[2].kind, Kind::failed) << "a redirect is not followed";
    EXPECT_EQ(availability.size(), 1u);
    // A feed past its size limit is not read whole.
    server.status = 200;
    server.release("999.0");
    server.body.insert(1, R"("notes":")" + QByteArray(UpdaterManager::maxFeedBytes, 'x') + R"(",)");
    updater.checkForUpdates();
    settle(4);
    EXPECT_EQ(results[3].kind, Kind::failed);
    EXPECT_EQ(availability.size(), 1u);

    UpdaterManager::setFeedUrl(QUrl(QStringLiteral("http://example.com/feed.json")));
    updater.checkForUpdates();
    EXPECT_EQ(results.back().kind, Kind::failed) << "plain HTTP only to this machine";
    EXPECT_EQ(server.requests, 4);
}

TEST_F(Updater, AutomaticCheckRunsAtMostOnceADayAndShowsWhatItFinds) {
    server.release("999.0");
    updater.automaticCheckIfDue();
    ASSERT_TRUE(waitUntil([&] { return windows == 1; }, 5000));
    EXPECT_EQ(sessions, std::vector{true});
    updater.updateWindowClosed();
    clock.advanceSeconds(23 * 3600);
    updater.automaticCheckIfDue();
    QCoreApplication::processEvents();
    EXPECT_EQ(server.requests, 1);
    clock.advanceSeconds(3600);
    updater.automaticCheckIfDue();
    EXPECT_TRUE(waitUntil([&] { return server.requests == 2; }, 5000));
    EXPECT_TRUE(results.empty()) << "automatic checks report no manual result";

    // "Automatic Updates" off: a day passing checks nothing, and the choice is kept.
    updater.setAutomaticallyChecksForUpdates(false);
    clock.advanceSeconds(25 * 3600);
    updater.automaticCheckIfDue();
    QCoreApplication::processEvents();
    EXPECT_EQ(server.requests, 2);
    EXPECT_FALSE(UpdaterManager(clock).automaticallyChecksForUpdates());
}

} // namespace
