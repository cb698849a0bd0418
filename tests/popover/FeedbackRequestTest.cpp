#include "popover/FeedbackRequest.h"
#include "core/Logging.h"
#include "core/Version.h"
#include "platform/Platform.h"
#include "platform/linux/LinuxMachineIdentity.h"
#include "platform/simulated/SimulatedMachineIdentity.h"
#include "support/LocalHttpServer.h"
#include "support/ModuleHttpClient.h"
#include "support/TestStore.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUuid>
#include <gtest/gtest.h>

namespace {

struct Outcome {
    int calls = 0;
    bool success = false;
};

class FeedbackRequestTest : public ::testing::Test {
protected:
    void SetUp() override {
        Platform::setInstance(Platform::makeSimulated());
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        FeedbackRequest::setBaseUrl(server.base());
        QObject::connect(&request, &FeedbackRequest::finished, [this](bool ok) {
            ++outcome.calls;
            outcome.success = ok;
        });
    }
    void TearDown() override { FeedbackRequest::setBaseUrl(QUrl()); }

    bool sendAndWait(const QString& text, const QString& email = QString()) {
        const int before = outcome.calls;
        if (!request.send(text, email)) return false;
        EXPECT_TRUE(request.isSending());
        EXPECT_TRUE(waitUntil([&] { return outcome.calls > before; }, 5000));
        EXPECT_FALSE(request.isSending());
        return true;
    }

    LocalHttpServer server;
    FeedbackRequest request{std::make_unique<QtHttpClient>()};
    Outcome outcome;
};

} // namespace

TEST(FeedbackBody, TrimsTheNoteAndLeavesABlankAddressOut) {
    EXPECT_FALSE(FeedbackRequest::makeBody("  \n\t \r\n ", "a@b.c", "ID", "1.0"));
    EXPECT_EQ(FeedbackRequest::trimmedNote("\n  Lovely\n\n"), "Lovely");
    const auto body = FeedbackRequest::makeBody("\n  Lovely app \n", " \n\t", "ID", "1.0");
    ASSERT_TRUE(body);
    const QJsonObject o = QJsonDocument::fromJson(*body).object();
    EXPECT_EQ(
        o, (QJsonObject{{"text", "Lovely app"}, {"machine_uuid", "ID"}, {"app_version", "1.0"}}));
    const auto withEmail = FeedbackRequest::makeBody("Hi", "\n me@example.org \n", "ID", "1.0");
    EXPECT_EQ(QJsonDocument::fromJson(*withEmail).object().value("email").toString(),
              "me@example.org");
}

TEST(FeedbackBody, EndpointIsHttpsOrLoopback) {
    FeedbackRequest::setBaseUrl(QUrl());
    EXPECT_EQ(FeedbackRequest::baseUrl(), QUrl(HALCYRA_FEEDBACK_BASE_URL));
    FeedbackRequest::setBaseUrl(QUrl("https://example.org/svc/"));
    EXPECT_EQ(FeedbackRequest::endpoint(), QUrl("https://example.org/svc/api/feedback"));
    FeedbackRequest::setBaseUrl(QUrl("http://example.org"));
    EXPECT_FALSE(FeedbackRequest::endpoint().isValid());
    FeedbackRequest::setBaseUrl(QUrl("http://127.0.0.1:8080"));
    EXPECT_EQ(FeedbackRequest::endpoint(), QUrl("http://127.0.0.1:8080/api/feedback"));
    FeedbackRequest::setBaseUrl(QUrl());
}

TEST_F(FeedbackRequestTest, PostsTheNoteAsJsonAndSucceedsOnA2xx) {
    Platform::instance().simulatedMachineIdentity()->setMachineIdentifier("SIM-ID");
    ASSERT_TRUE(sendAndWait("  Warm evenings, thanks!\n", " me@example.org "));
    EXPECT_TRUE(outcome.success);
    ASSERT_EQ(server.requests.size(), 1);
    const auto& r = server.requests[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.path, "/api/feedback");
    EXPECT_EQ(r.headers.value("content-type"), "application/json");
    EXPECT_FALSE(r.headers.contains("authorization"));
    EXPECT_EQ(QJsonDocument::fromJson(r.body).object(),
              (QJsonObject{{"text", "Warm evenings, thanks!"},
                           {"machine_uuid", "SIM-ID"},
                           {"app_version", Bundle::halcyraVersion()},
                           {"email", "me@example.org"}}));

    server.status = 200;
    ASSERT_TRUE(sendAndWait("again"));
    EXPECT_TRUE(outcome.success);
    EXPECT_EQ(outcome.calls, 2);
}

TEST_F(FeedbackRequestTest, RedirectsAndServerErrorsFail) {
    for (int status : {301, 307, 500, 404}) {
        server.status = status;
        ASSERT_TRUE(sendAndWait("note")) << status;
        EXPECT_FALSE(outcome.success) << status;
    }
    // The redirect was not followed: one request per send.
    EXPECT_EQ(server.requests.size(), 4);
    EXPECT_EQ(outcome.calls, 4);
}

TEST_F(FeedbackRequestTest, RefusesBlankNotesOverlappingSendsAndSilentServers) {
    EXPECT_FALSE(request.send("\n\n   \n", "x@y.z"));
    EXPECT_FALSE(request.isSending());

    server.answer = false;
    request.setTimeoutMs(300);
    ASSERT_TRUE(request.send("first", QString()));
    EXPECT_FALSE(request.send("second", QString())); // refused while the first is in flight
    EXPECT_TRUE(waitUntil([&] { return outcome.calls == 1; }, 5000));
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(server.requests.size(), 1);

    // Nothing listening at all.
    FeedbackRequest::setBaseUrl(QUrl("http://127.0.0.1:1"));
    ASSERT_TRUE(sendAndWait("anyone?"));
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(outcome.calls, 2);
}

TEST_F(FeedbackRequestTest, MakesItsOwnNetworkClientOnlyForANoteThatGoesOut) {
    int made = 0;
    Platform::instance().setHttpClientMaker([&made] {
        ++made;
        return std::make_unique<QtHttpClient>();
    });
    FeedbackRequest own;
    int finished = 0;
    bool succeeded = false;
    QObject::connect(&own, &FeedbackRequest::finished, [&](bool ok) {
        ++finished;
        succeeded = ok;
    });
    EXPECT_FALSE(own.send("  ", QString()));
    FeedbackRequest::setBaseUrl(QUrl("http://example.com")); // plain HTTP off this machine
    EXPECT_FALSE(own.send("note", QString()));
    EXPECT_EQ(made, 0);

    FeedbackRequest::setBaseUrl(server.base());
    own.setTimeoutMs(2000);
    ASSERT_TRUE(own.send("note", QString()));
    EXPECT_EQ(made, 1);
    EXPECT_TRUE(waitUntil([&] { return finished == 1; }, 5000));
    EXPECT_TRUE(succeeded);

    // Without the network module beside the binary each note fails, answered later like
    // any other, and the log says why once.
    Platform::setInstance(Platform::makeSimulated());
    LogCapture log;
    FeedbackRequest unserved;
    QObject::connect(&unserved, &FeedbackRequest::finished, [&](bool ok) {
        ++finished;
        succeeded = ok;
    });
    ASSERT_TRUE(unserved.send("note", QString()));
    EXPECT_TRUE(unserved.isSending());
    EXPECT_TRUE(waitUntil([&] { return finished == 2; }, 5000));
    EXPECT_FALSE(succeeded);
    ASSERT_TRUE(unserved.send("again", QString()));
    EXPECT_TRUE(waitUntil([&] { return finished == 3; }, 5000));
    EXPECT_FALSE(succeeded);
    EXPECT_EQ(server.requests.size(), 1);
    EXPECT_EQ(log.messages("com.halcyra.app.platform").filter("libhalcyra-network.so").size(), 1);
}

TEST(MachineIdentity, SendsAnApplicationSpecificHashOfTheMachineId) {
    const QString id = MachineIdentity::applicationSpecificId("0123456789abcdef0123456789abcdef\n");
    EXPECT_EQ(id.size(), 36);
    EXPECT_FALSE(QUuid::fromString(id).isNull());
    EXPECT_EQ(QUuid::fromString(id).version(), QUuid::Random);
    EXPECT_EQ(id, id.toUpper());
    EXPECT_FALSE(QString(id).remove('-').toLower().contains("0123456789abcdef"));
    EXPECT_EQ(MachineIdentity::applicationSpecificId("0123456789ABCDEF0123456789ABCDEF"),
              MachineIdentity::applicationSpecificId("0123456789abcdef0123456789abcdef"));
    EXPECT_NE(MachineIdentity::applicationSpecificId("0123456789abcdef0123456789abcdee"),
              MachineIdentity::applicationSpecificId("0123456789abcdef0123456789abcdef"));
    for (const char* bad : {"", "uninitialized", "0123456789abcdef",
                            "0123456789abcdef0123456789abcdeg", "00000000000000000000000000000000"})
        EXPECT_EQ(MachineIdentity::applicationSpecificId(bad), "unknown") << bad;

    QTemporaryDir dir;
    const QString path = dir.filePath("machine-id");
    EXPECT_EQ(LinuxMachineIdentity(path).machineIdentifier(), "unknown");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("0123456789abcdef0123456789abcdef\n");
    f.close();
    EXPECT_EQ(LinuxMachineIdentity(path).machineIdentifier(),
              MachineIdentity::applicationSpecificId("0123456789abcdef0123456789abcdef"));
}
