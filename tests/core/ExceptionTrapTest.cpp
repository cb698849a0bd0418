#include "core/ExceptionTrap.h"
#include "core/Logging.h"
#include "core/Version.h"

#include <QRegularExpression>
#include <gtest/gtest.h>
#include <pthread.h>
#include <stdexcept>

TEST(ExceptionTrap, TurnsThePlatformsExceptionsIntoMessagesAndLetsOthersThrough) {
    LogCapture logs;
    QString error = "untouched";
    EXPECT_TRUE(ObjCExceptionHandler::tryExecuting([] {}, &error));
    EXPECT_EQ(error, "untouched");

    EXPECT_FALSE(ObjCExceptionHandler::tryExecuting(
        [] { throw std::runtime_error("bad selector"); }, &error));
    EXPECT_EQ(error, "std::runtime_error: bad selector");
    EXPECT_TRUE(logs.contains("[Halcyra] C++ exception caught: std::runtime_error — bad selector"));

    EXPECT_FALSE(ObjCExceptionHandler::tryExecuting([] { throw std::logic_error(""); }, &error));
    EXPECT_EQ(error, "std::logic_error: (no reason)");

    EXPECT_FALSE(ObjCExceptionHandler::tryExecuting([] { throw std::bad_alloc(); }));

    // Not the platform's: the caller sees it unchanged, and nothing is logged for it.
    struct NotAPlatformError {
        int code;
    };
    error = "untouched";
    const qsizetype logged = logs.messages().size();
    EXPECT_THROW(ObjCExceptionHandler::tryExecuting([] { throw 7; }, &error), int);
    try {
        ObjCExceptionHandler::tryExecuting([] { throw NotAPlatformError{42}; });
        ADD_FAILURE() << "the exception was swallowed";
    } catch (const NotAPlatformError& e) {
        EXPECT_EQ(e.code, 42);
    }
    EXPECT_EQ(error, "untouched");
    EXPECT_EQ(logs.messages().size(), logged);
}

TEST(Version, IsTheBuildsOwnVersionNumber) {
    // "unknown" would mean the build lost its version.
    static const QRegularExpression number(QStringLiteral("^\\d+\\.\\d+\\.\\d+$"));
    EXPECT_TRUE(number.match(Bundle::halcyraVersion()).hasMatch())
        << Bundle::halcyraVersion().toStdString();
}

TEST(LogCapture, NestedCapturesEachRecordWhileTheyLive) {
    LogCapture outer;
    qWarning("before");
    {
        LogCapture inner;
        qWarning("during");
        EXPECT_FALSE(inner.contains("before"));
        EXPECT_TRUE(inner.contains("during"));
    }
    qWarning("after");
    EXPECT_EQ(outer.messages(), (QStringList{"before", "during", "after"}));
}

TEST(ExceptionTrap, LetsAThreadBeingCancelledEnd) {
    static bool returned = false;
    auto body = [](void*) -> void* {
        ObjCExceptionHandler::tryExecuting([] {
            pthread_cancel(pthread_self());
            pthread_testcancel();
        });
        returned = true;
        return nullptr;
    };
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, nullptr, body, nullptr), 0);
    void* result = nullptr;
    ASSERT_EQ(pthread_join(thread, &result), 0);
    EXPECT_EQ(result, PTHREAD_CANCELED);
    EXPECT_FALSE(returned);
}
