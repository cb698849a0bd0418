#include "../popover/CueRecorder.h"
#include "support/LocalHttpServer.h"
#include "support/ModuleHttpClient.h"
#include "support/TestStore.h"

#include "core/Logging.h"
#include "core/NotificationCenter.h"
#include "core/NotificationNames.h"
#include "core/Preferences.h"
#include "settings/SettingsViewModel.h"
#include "settings/TestimonialRequest.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

using Toggle = SettingsViewModel::Toggle;

// A model over a fresh store whose every callback and controller hook logs its call.
struct Fixture {
    Fixture() {
        model = std::make_unique<SettingsViewModel>(*cues.engine);
        auto log = [this](const char* name) { return [this, name] { calls << name; }; };
        model->onPresetApplied = log("presetApplied");
        model->onScheduleChanged = log("scheduleChanged");
        model->onAutoSunsetChanged = [this](bool on) { calls << QString("autoSunset:%1").arg(on); };
        auto& c = model->controllers;
        c.startKeyInterceptor = log("startKeys");
        c.stopKeyInterceptor = log("stopKeys");
        c.startKeyboardSync = log("startSync");
        c.stopKeyboardSync = log("stopSync");
        c.engageHarmony = [this](double i) { calls << QString("engage:%1").arg(i); };
        c.disengageHarmonyRestoringBaseline = log("disengage");
        c.disableNightShift = log("disableNightShift");
        c.restoreNightShift = log("restoreNightShift");
        c.startALSMonitoring = log("startALS");
        c.stopALSMonitoring = log("stopALS");
        c.restoreTrueTone = log("restoreTrueTone");
        c.setDithering = [this](bool on) { calls << QString("dither:%1").arg(on); };
        c.restoreDithering = log("restoreDither");
        c.registerDitheringReconfiguration = log("registerDither");
        c.pinManualOverride = log("pin");
        c.glideWarmth = [this](double k) { calls << QString("glide:%1").arg(k); };
        NotificationCenter::defaultCenter().addObserver(
            &context, NotificationName::preferencesChanged,
            [this](const Notification&) { calls << "prefsChanged"; });
    }
    // Runs the controller tasks the handlers scheduled.
    void settle() {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }
    UserDefaults& d() { return store.defaults(); }

    TestStore store;
    CueRecorder cues;
    QObject context;
    std::unique_ptr<SettingsViewModel> model;
    QStringList calls;
};

} // namespace

TEST(SettingsViewModel, EachSwitchWritesItsKeyThenDrivesItsOwnerAndSounds) {
    struct Case {
        Toggle toggle;
        bool value;
        QStringList expected;
    };
    const QList<Case> cases{
        {Toggle::flickerFree, true, {"presetApplied"}},
        {Toggle::useSchedule, true, {"scheduleChanged"}},
        {Toggle::autoSunset, false, {"autoSunset:0"}},
        {Toggle::showFeedbackBox, false, {"prefsChanged"}},
        {Toggle::showTemperatureInMenuBar, true, {"prefsChanged"}},
        {Toggle::brightnessKeyInterception, true, {"startKeys"}},
        {Toggle::brightnessKeyInterception, false, {"stopKeys"}},
        {Toggle::ambientDimming, true, {"presetApplied", "startALS"}},
        {Toggle::manageTrueTone, false, {"restoreTrueTone"}},
        {Toggle::manageTrueTone, true, {}},
        // The tint is off: Night Shift is given back rather than switched off.
        {Toggle::autoDisableNightShift, true, {"restoreNightShift"}},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.model->setByUser(c.toggle, c.value);
        f.settle();
        const QString key = SettingsViewModel::keyOf(c.toggle);
        EXPECT_EQ(f.d().boolValue(key), c.value) << key.toStdString();
        EXPECT_EQ(f.calls, c.expected) << key.toStdString();
        EXPECT_EQ(f.cues.played,
                  QList<SoundCue>{c.value ? SoundCue::toggleOn : SoundCue::toggleOff});
        // The same value again runs the handler again.
        f.calls.clear();
        f.model->set(c.toggle, c.value);
        f.settle();
        EXPECT_EQ(f.calls, c.expected) << key.toStdString();
    }
}

TEST(SettingsViewModel, ChangesFromOutsideOnlyMoveTheMirror) {
    Fixture f;
    QList<Toggle> moved;
    QObject::connect(f.model.get(), &SettingsViewModel::toggleChanged,
                     [&](Toggle t, bool) { moved << t; });
    f.d().setBool(PrefKey::brightnessKeyInterception, true);
    f.d().setBool(PrefKey::useSchedule, true);
    f.d().setBool(PrefKey::showFeedbackBox, false);
    f.d().setDouble(PrefKey::transitionDuration, 45.9);
    f.settle();
    EXPECT_TRUE(f.model->value(Toggle::brightnessKeyInterception));
    EXPECT_TRUE(f.model->value(Toggle::useSchedule));
    EXPECT_FALSE(f.model->value(Toggle::showFeedbackBox));
    EXPECT_EQ(f.model->transitionMinutes(), 45);
    EXPECT_EQ(moved, (QList<Toggle>{Toggle::brightnessKeyInterception, Toggle::useSchedule,
                                    Toggle::showFeedbackBox}));
    // Nothing was driven and nothing written back (the stored fraction stays).
    EXPECT_TRUE(f.calls.isEmpty());
    EXPECT_EQ(f.d().doubleValue(PrefKey::transitionDuration), 45.9);
    EXPECT_FALSE(f.model->isUpdatingFromDefaults);

    // An edit of the file by another process comes the same way.
    QJsonObject edited = QJsonDocument::fromJson([&] {
                             f.d().synchronize();
                             QFile file(f.store.path());
                             file.open(QIODevice::ReadOnly);
                             return file.readAll();
                         }())
                             .object();
    edited.insert(PrefKey::flickerFree, true);
    QFile out(f.store.path() + ".tmp");
    out.open(QIODevice::WriteOnly);
    out.write(QJsonDocument(edited).toJson());
    out.close();
    QFile::remove(f.store.path());
    QFile::rename(f.store.path() + ".tmp", f.store.path());
    EXPECT_TRUE(waitUntil([&] { return f.model->value(Toggle::flickerFree); }));
    EXPECT_TRUE(f.calls.isEmpty());
}

TEST(SettingsViewModel, KeyboardSyncAndHarmonyExcludeEachOther) {
    Fixture f;
    f.d().setBool(PrefKey::enabled, true);
    f.d().setDouble(PrefKey::intensity, 3.0);
    f.model->set(Toggle::fullHarmonyEnabled, true);
    f.settle();
    EXPECT_EQ(f.calls, QStringList{"engage:3"});
    f.calls.clear();
    f.model->set(Toggle::keyboardBrightnessSync, true);
    f.settle();
    EXPECT_EQ(f.d().boolValue(PrefKey::fullHarmonyEnabled), false);
    EXPECT_EQ(f.calls, (QStringList{"disengage", "startSync"}));
    f.calls.clear();
    f.d().setBool(PrefKey::enabled, false);
    f.model->set(Toggle::fullHarmonyEnabled, true); // the tint is off: nothing engages
    f.settle();
    EXPECT_EQ(f.calls, QStringList{"stopSync"});
    EXPECT_EQ(f.d().boolValue(PrefKey::keyboardBrightnessSync), false);
}

TEST(SettingsViewModel, TheSensorPollStopsOnlyWhenNeitherLightSwitchWantsIt) {
    Fixture f;
    f.model->set(Toggle::adaptToRoomLighting, true);
    f.settle();
    f.calls.clear();
    f.model->set(Toggle::ambientDimming, false);
    f.settle();
    EXPECT_EQ(f.calls, QStringList{"presetApplied"});
    f.model->set(Toggle::adaptToRoomLighting, false);
    f.settle();
    EXPECT_EQ(f.calls, (QStringList{"presetApplied", "presetApplied", "stopALS"}));
}

TEST(SettingsViewModel, DitheringActsOnlyWithTheTintOnAndRegistersOnce) {
    Fixture f;
    f.model->set(Toggle::disableDithering, true);
    EXPECT_EQ(f.d().boolValue(PrefKey::disableDithering), true);
    EXPECT_TRUE(f.calls.isEmpty());
    f.d().setBool(PrefKey::enabled, true);
    f.model->set(Toggle::disableDithering, true);
    f.model->set(Toggle::disableDithering, true);
    f.model->set(Toggle::disableDithering, false);
    EXPECT_EQ(f.calls, (QStringList{"dither:0", "registerDither", "dither:0", "restoreDither"}));
}

TEST(SettingsViewModel, APresetTurnsTheTintOnAtFullThenGlidesAndPinsOnlyUnderASchedule) {
    Fixture f;
    f.d().setDouble(PrefKey::intensity, 1.5);
    f.model->applyPreset(1900, 0.7);
    EXPECT_EQ(f.calls, (QStringList{"presetApplied", "glide:1900"}));
    EXPECT_EQ(f.d().doubleValue(PrefKey::intensity), 4.0);
    EXPECT_TRUE(f.d().boolValue(PrefKey::enabled));
    f.calls.clear();
    f.d().setBool(PrefKey::autoSunset, true);
    f.model->applyPreset(2700, 4);
    EXPECT_EQ(f.calls, (QStringList{"pin", "presetApplied", "glide:2700"}));
}

TEST(SettingsViewModel, ALoginItemTheSystemRefusesSpringsBack) {
    Fixture f;
    QList<bool> asked;
    f.model->controllers.applyLoginItem = [&](bool on) -> std::optional<bool> {
        asked << on;
        return false;
    };
    f.model->setByUser(Toggle::launchAtLogin, true);
    EXPECT_EQ(asked, QList<bool>{true});
    EXPECT_FALSE(f.model->value(Toggle::launchAtLogin));
    // Unknown state: the stored setting, which the login item left alone, stands.
    f.d().setBool(PrefKey::launchAtLogin, true);
    f.model->controllers.applyLoginItem = [](bool) { return std::optional<bool>(); };
    f.model->set(Toggle::launchAtLogin, false);
    EXPECT_TRUE(f.model->value(Toggle::launchAtLogin));
}

TEST(SettingsViewModel, GeneralRowsWriteTheirKeysAndCues) {
    Fixture f;
    f.model->setSoundCuesByUser(false);
    f.model->setSoundCuesByUser(true);
    f.model->setSoundCueVolumeByUser(1.7, false);
    EXPECT_EQ(f.d().doubleValue(PrefKey::soundCueVolume), 1.0);
    f.model->setSoundCueVolumeByUser(0.604, true);
    f.model->setSmoothTransitionsByUser(false);
    EXPECT_EQ(f.d().boolValue(PrefKey::soundCues), true);
    EXPECT_EQ(f.d().doubleValue(PrefKey::soundCueVolume), 0.604);
    EXPECT_EQ(f.d().boolValue(PrefKey::smoothTransitions), false);
    EXPECT_EQ(f.cues.played, (QList<SoundCue>{SoundCue::toggleOn, SoundCue::sliderRelease}));

    QList<bool> dock;
    f.model->controllers.applyDockVisibility = [&](bool shown) {
        // The key is written before the window changes.
        EXPECT_EQ(f.d().boolValue(PrefKey::showInDock), shown);
        dock << shown;
    };
    f.model->setShowInDockByUser(true);
    f.model->setShowInDockByUser(false);
    EXPECT_EQ(dock, (QList<bool>{true, false}));

    EXPECT_EQ(SettingsViewModel::feedbackMailUrl("1.2").section('?', 1),
              "subject=Halcyra%20Feedback%20(v1.2)");
}

TEST(SettingsViewModel, SafeModeResetIsOnDiskBeforeTheRelaunchAndAlwaysQuits) {
    Fixture f;
    f.d().setBool(PrefKey::safeMode, true);
    f.d().setInteger(PrefKey::consecutiveCrashCount, 3);
    QStringList steps;
    f.model->controllers.relaunch = [&] {
        QFile file(f.store.path());
        file.open(QIODevice::ReadOnly);
        const QJsonObject disk = QJsonDocument::fromJson(file.readAll()).object();
        steps << QString("relaunch safeMode=%1 count=%2")
                     .arg(disk.value(PrefKey::safeMode).toBool())
                     .arg(disk.value(PrefKey::consecutiveCrashCount).toInt());
        return false; // could not start
    };
    f.model->controllers.terminate = [&] { steps << "terminate"; };
    f.model->resetSafeModeAndRelaunch();
    EXPECT_EQ(steps, (QStringList{"relaunch safeMode=0 count=0", "terminate"}));
}

TEST(SettingsViewModel, TestimonialOnlyA201ThanksTheUserAndAFailureKeepsTheText) {
    Fixture f;
    TestimonialRequest::setEndpointOverride({}, {});
    f.model->setShowTestimonialField(true);
    f.model->setTestimonialText("  Lovely warm evenings \n");
    f.model->submitTestimonial(); // nothing configured in this build
    EXPECT_FALSE(f.model->testimonialSubmitting());
    EXPECT_FALSE(f.model->testimonialError().isEmpty());
    EXPECT_EQ(f.model->testimonialText(), "  Lovely warm evenings \n");

    useModuleHttpClient();
    LocalHttpServer server;
    const QString key = QString(208, 'k');
    TestimonialRequest::setEndpointOverride(server.base().resolved(QUrl("/rest/v1/testimonials")),
                                            key);
    for (int status : {400, 200}) {
        server.status = status;
        LogCapture log;
        f.model->submitTestimonial();
        EXPECT_TRUE(f.model->testimonialSubmitting());
        ASSERT_TRUE(waitUntil([&] { return !f.model->testimonialSubmitting(); }));
        // An answer is no transport error: it has no description to log.
        EXPECT_EQ(log.messages("com.halcyra.app.testimonial"),
                  QStringList{"Testimonial submit failed: unknown"});
        EXPECT_FALSE(f.model->testimonialSubmitted()) << status;
        EXPECT_EQ(f.model->testimonialText(), "  Lovely warm evenings \n");
        EXPECT_FALSE(f.model->testimonialError().isEmpty());
    }
    server.answer = false;
    f.model->testimonialRequest().setTimeoutMs(200);
    f.model->submitTestimonial();
    ASSERT_TRUE(waitUntil([&] { return !f.model->testimonialSubmitting(); }));
    EXPECT_FALSE(f.model->testimonialSubmitted());

    server.answer = true;
    server.status = 201;
    f.model->submitTestimonial();
    ASSERT_TRUE(waitUntil([&] { return !f.model->testimonialSubmitting(); }));
    EXPECT_TRUE(f.model->testimonialSubmitted());
    EXPECT_TRUE(f.model->testimonialText().isEmpty());
    EXPECT_TRUE(f.model->testimonialError().isEmpty());

    const auto& r = server.requests.last();
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.path, "/rest/v1/testimonials");
    EXPECT_EQ(r.headers.value("apikey"), key.toUtf8());
    EXPECT_EQ(r.headers.value("authorization"), "Bearer " + key.toUtf8());
    EXPECT_EQ(r.headers.value("content-type"), "application/json");
    const QJsonObject body = QJsonDocument::fromJson(r.body).object();
    EXPECT_EQ(body.value("text").toString(), "Lovely warm evenings");
    EXPECT_FALSE(body.value("machine_uuid").toString().isEmpty());
    EXPECT_FALSE(body.value("app_version").toString().isEmpty());
    TestimonialRequest::setEndpointOverride({}, {});

    // Only HTTPS leaves the machine.
    TestimonialRequest::setEndpointOverride(QUrl("http://example.com/rest/v1/testimonials"), key);
    EXPECT_FALSE(TestimonialRequest::isConfigured());
    TestimonialRequest::setEndpointOverride({}, {});
}
