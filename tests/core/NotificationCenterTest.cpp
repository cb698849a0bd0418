#include "core/NotificationCenter.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <thread>

TEST(NotificationCenter, DeliversByNameAndSenderAndSkipsDestroyedObservers) {
    NotificationCenter center;
    QObject sender;
    auto observer = std::make_unique<QObject>();
    QObject other;
    int all = 0, fromSender = 0, otherCalls = 0;
    QVariantMap lastInfo;
    center.addObserver(observer.get(), "HalcyraPreferencesChanged", [&](const Notification& n) {
        ++all;
        lastInfo = n.userInfo;
    });
    center.addObserver(&other, "HalcyraPreferencesChanged", [&](const Notification&) { ++fromSender; },
                       &sender);
    center.addObserver(&other, "halcyraBrightnessKeyChanged", [&](const Notification&) { ++otherCalls; });

    center.post("HalcyraPreferencesChanged", nullptr, {{"active", true}});
    center.post("HalcyraPreferencesChanged", &sender);
    EXPECT_EQ(all, 2);
    EXPECT_EQ(fromSender, 1);
    EXPECT_EQ(otherCalls, 0);
    EXPECT_TRUE(lastInfo.isEmpty());

    observer.reset();
    center.post("HalcyraPreferencesChanged");
    EXPECT_EQ(all, 2);

    center.removeObserver(&other);
    center.post("HalcyraPreferencesChanged", &sender);
    EXPECT_EQ(fromSender, 1);
}

TEST(NotificationCenter, PostsFromOtherThreadsArriveOnTheMainThread) {
    NotificationCenter center;
    QObject observer;
    std::thread::id deliveredOn;
    center.addObserver(&observer, "x", [&](const Notification&) { deliveredOn = std::this_thread::get_id(); });
    std::thread([&] { center.post("x"); }).join();
    EXPECT_EQ(deliveredOn, std::thread::id());
    QCoreApplication::processEvents();
    EXPECT_EQ(deliveredOn, std::this_thread::get_id());
}

TEST(NotificationCenter, AHandlerMayRemoveAnotherObserver) {
    NotificationCenter center;
    QObject a, b;
    int bCalls = 0;
    center.addObserver(&a, "n", [&](const Notification&) { center.removeObserver(&b); });
    center.addObserver(&b, "n", [&](const Notification&) { ++bCalls; });
    center.post("n");
    EXPECT_EQ(bCalls, 0);
}
