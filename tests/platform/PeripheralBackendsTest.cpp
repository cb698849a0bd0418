// The real Linux backends of the light sensor, keyboard backlight and night light,
// against fake sysfs trees, fake services on a private bus and GSettings' memory
// backend.
#include "platform/linux/GnomeNightLight.h"
#include "platform/linux/KWinNightLight.h"
#include "platform/linux/LinuxDesktopNotifier.h"
#include "platform/linux/LinuxLocationService.h"
#include "platform/linux/SensorProxyLightSensor.h"
#include "platform/linux/SysfsKeyboardBacklight.h"
#include "platform/linux/SysfsLightSensor.h"
#include "platform/linux/UPowerKeyboardBacklight.h"
#include "platform/linux/services/GSettingsNightLight.h"
#include "support/FakePeripheralServices.h"
#include "support/PrivateBus.h"
#include "support/TestStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
void put(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}
} // namespace

TEST(LightSources, SysfsReadsProcessedOrScaledIlluminanceAndRefusesJunk) {
    QTemporaryDir root;
    SysfsLightSensor sensor(root.path());
    EXPECT_FALSE(sensor.open());
    EXPECT_FALSE(sensor.readLux());

    // A device without illuminance (an accelerometer) is passed over.
    put(root.filePath("iio:device0/in_accel_x_raw"), "12\n");
    put(root.filePath("iio:device1/in_illuminance_raw"), "200\n");
    put(root.filePath("iio:device1/in_illuminance_scale"), "0.5\n");
    put(root.filePath("iio:device1/in_illuminance_offset"), "10\n");
    ASSERT_TRUE(sensor.open());
    EXPECT_DOUBLE_EQ(*sensor.readLux(), 105.0); // (raw + offset) × scale

    put(root.filePath("iio:device1/in_illuminance_input"), "42.5\n");
    EXPECT_DOUBLE_EQ(*sensor.readLux(), 42.5);
    put(root.filePath("iio:device1/in_illuminance_input"), "garbage");
    EXPECT_DOUBLE_EQ(*sensor.readLux(), 105.0);
    put(root.filePath("iio:device1/in_illuminance_raw"), "-5");
    put(root.filePath("iio:device1/in_illuminance_offset"), "0");
    EXPECT_FALSE(sensor.readLux()); // a failed read is no reading, not 0 lux
}

TEST(LightSources, SensorProxyGivesLuxButNotVendorUnits) {
    PrivateBus bus;
    if (!bus.isUp()) GTEST_SKIP() << "no dbus-daemon";
    {
        SensorProxyLightSensor absent(bus.connect("client-absent"));
        EXPECT_FALSE(absent.open());
    }
    auto* fake = new FakeSensorProxy;
    ASSERT_TRUE(bus.serve(fake, "net.hadess.SensorProxy", "/net/hadess/SensorProxy"));
    {
        SensorProxyLightSensor sensor(bus.connect("client"));
        ASSERT_TRUE(sensor.open());
        EXPECT_EQ(fake->claims, 1);
        EXPECT_DOUBLE_EQ(*sensor.readLux(), 120.0);
        fake->vendorUnits = true;
        EXPECT_FALSE(sensor.readLux());
        fake->vendorUnits = false;
        fake->lux = 3.0;
        EXPECT_DOUBLE_EQ(*sensor.readLux(), 3.0);
    }
    EXPECT_EQ(fake->claims, 0); // released with the sensor
    fake->present = false;
    SensorProxyLightSensor noLight(bus.connect("client-nolight"));
    EXPECT_FALSE(noLight.open());
    fake->deleteLater();
}

TEST(KeyboardBacklights, UPowerAndSysfsMapTheirStepsOntoZeroToOne) {
    PrivateBus bus;
    if (!bus.isUp()) GTEST_SKIP() << "no dbus-daemon";
    auto* fake = new FakeUPowerKeyboard;
    ASSERT_TRUE(bus.serve(fake, "org.freedesktop.UPower", "/org/freedesktop/UPower/KbdBacklight"));
    UPowerKeyboardBacklight kbd(bus.connect("kbd-client"));
    ASSERT_TRUE(kbd.open());
    EXPECT_FLOAT_EQ(*kbd.level(), 2.0f / 3.0f);
    EXPECT_TRUE(kbd.setLevel(0.4f));
    EXPECT_EQ(fake->value, 1);
    EXPECT_TRUE(kbd.setLevel(7.0f));
    EXPECT_EQ(fake->value, 3);
    fake->deleteLater();

    QTemporaryDir root;
    QStringList busCalls;
    SysfsKeyboardBacklight leds(
        root.path(), [&](const QString& subsystem, const QString& name, quint32 raw) {
            busCalls << QStringLiteral("%1/%2=%3").arg(subsystem, name).arg(raw);
            return true;
        });
    EXPECT_FALSE(leds.open());
    put(root.filePath("input3::capslock/max_brightness"), "1\n");
    put(root.filePath("tpacpi::kbd_backlight/max_brightness"), "2\n");
    put(root.filePath("tpacpi::kbd_backlight/brightness"), "1\n");
    ASSERT_TRUE(leds.open());
    EXPECT_FLOAT_EQ(*leds.level(), 0.5f);
    EXPECT_TRUE(leds.setLevel(1.0f));
    EXPECT_FLOAT_EQ(*leds.level(), 1.0f);
    EXPECT_TRUE(busCalls.isEmpty());

    // A brightness file that cannot be written (a directory in its place refuses even
    // root): logind sets the LED for the session instead.
    const QString file = root.filePath("tpacpi::kbd_backlight/brightness");
    ASSERT_TRUE(QFile::remove(file) && QDir().mkdir(file));
    EXPECT_TRUE(leds.setLevel(0.0f));
    EXPECT_EQ(busCalls, QStringList{"leds/tpacpi::kbd_backlight=0"});
}

TEST(NightLights, KWinInhibitionIsLiftedAlsoByALaterProcessHoldingTheCookie) {
    PrivateBus bus;
    if (!bus.isUp()) GTEST_SKIP() << "no dbus-daemon";
    auto* fake = new FakeKWinNightLight;
    ASSERT_TRUE(bus.serve(fake, "org.kde.KWin", "/org/kde/KWin/NightLight"));
    QJsonObject handle;
    {
        KWinNightLight night(bus.connect("kwin-a"));
        ASSERT_TRUE(night.isAvailable());
        EXPECT_TRUE(night.state()->enabled);
        ASSERT_TRUE(night.setEnabled(false));
        EXPECT_TRUE(night.setEnabled(false)); // held once, not twice
        EXPECT_EQ(fake->inhibitions(), 1);
        handle = night.handle();
    }
    // A restart after a crash: the saved cookie lifts the inhibition.
    KWinNightLight later(bus.connect("kwin-b"));
    later.adoptHandle(handle);
    ASSERT_TRUE(later.setEnabled(true));
    EXPECT_EQ(fake->inhibitions(), 0);
    EXPECT_TRUE(later.handle().isEmpty());
    fake->deleteLater();
}

TEST(NightLights, GnomeKeyIsSwitchedThroughGSettingsOnlyWhereGnomesDaemonRuns) {
    const QString compiler = QStandardPaths::findExecutable("glib-compile-schemas");
    if (compiler.isEmpty()) GTEST_SKIP() << "no glib-compile-schemas";
    PrivateBus bus;
    if (!bus.isUp()) GTEST_SKIP() << "no dbus-daemon";
    // Made before the desktop's settings exist, as at start-up: the schema is looked
    // for when first asked, not when the client is made.
    int settingsOpened = 0;
    const QDBusConnection client = bus.connect("gnome-night");
    GnomeNightLight night([client]() -> std::optional<QDBusConnection> { return client; },
                          [&settingsOpened]() -> std::unique_ptr<NightLight> {
                              ++settingsOpened;
                              return std::make_unique<GSettingsNightLight>();
                          });
    QTemporaryDir schemas;
    put(schemas.filePath("org.gnome.settings-daemon.plugins.color.gschema.xml"),
        R"(<schemalist><schema id="org.gnome.settings-daemon.plugins.color"
             path="/org/gnome/settings-daemon/plugins/color/">
             <key name="night-light-enabled" type="b"><default>true</default></key>
           </schema></schemalist>)");
    ASSERT_EQ(QProcess::execute(compiler, {schemas.path()}), 0);
    qputenv("GSETTINGS_SCHEMA_DIR", schemas.path().toLocal8Bit());
    qputenv("GSETTINGS_BACKEND", "memory");

    // The schema is installed, but GNOME is not running: its settings stay unopened.
    EXPECT_FALSE(night.isAvailable());
    EXPECT_FALSE(night.state());
    EXPECT_FALSE(night.setEnabled(false));
    // Nor with no session bus at all.
    GnomeNightLight busless([] { return std::optional<QDBusConnection>(); },
                            [&settingsOpened]() -> std::unique_ptr<NightLight> {
                                ++settingsOpened;
                                return std::make_unique<GSettingsNightLight>();
                            });
    EXPECT_FALSE(busless.isAvailable());
    EXPECT_EQ(settingsOpened, 0);

    // GNOME's colour daemon comes up later: from then on the key is switched.
    auto* daemon = new QObject;
    ASSERT_TRUE(
        bus.serve(daemon, GnomeNightLight::colorServiceName, "/org/gnome/SettingsDaemon/Color"));
    ASSERT_TRUE(night.isAvailable());
    EXPECT_TRUE(night.state()->enabled);
    ASSERT_TRUE(night.setEnabled(false));
    EXPECT_FALSE(night.state()->enabled);
    ASSERT_TRUE(night.setEnabled(true));
    EXPECT_TRUE(night.state()->enabled);
    EXPECT_EQ(settingsOpened, 1);
    daemon->deleteLater();
}

namespace {
struct FakePositionSource final : PositionSource {
    Handlers handlers;
    double accuracy = 0;
    int starts = 0;
    QString name() const override { return QStringLiteral("fake"); }
    void setHandlers(Handlers h) override { handlers = std::move(h); }
    void setDesiredAccuracy(double metres) override { accuracy = metres; }
    void startUpdates() override { ++starts; }
    void stopUpdates() override {}
    void requestUpdate() override {}
};
} // namespace

TEST(Location, TheSourceIsOpenedOnTheTurnAfterTheFirstStartAndItsAbsenceIsReported) {
    FakePositionSource* made = nullptr;
    LinuxLocationService location([&made]() -> std::unique_ptr<PositionSource> {
        auto source = std::make_unique<FakePositionSource>();
        made = source.get();
        return source;
    });
    QList<LocationFix> fixes;
    QObject::connect(&location, &LocationService::locationsUpdated,
                     [&](const QList<LocationFix>& f) { fixes += f; });
    location.setDesiredAccuracy(LocationService::kilometreAccuracy);
    location.startUpdatingLocation();
    EXPECT_FALSE(made) << "opened inside the start, before the launch's first tint";
    QCoreApplication::processEvents();
    ASSERT_TRUE(made);
    EXPECT_EQ(made->starts, 1);
    EXPECT_EQ(made->accuracy, LocationService::kilometreAccuracy);
    EXPECT_EQ(location.backendName(), QStringLiteral("fake"));
    made->handlers.position(LocationFix{52.5, 13.4, 100, QDateTime::currentDateTimeUtc()});
    ASSERT_EQ(fixes.size(), 1);
    EXPECT_EQ(fixes.front().latitude, 52.5);

    // No positioning source on the machine: each start says "location unknown".
    LinuxLocationService none([] { return std::unique_ptr<PositionSource>(); });
    std::vector<LocationError> errors;
    QObject::connect(&none, &LocationService::failed,
                     [&](const LocationError& e) { errors.push_back(e); });
    none.startUpdatingLocation();
    QCoreApplication::processEvents();
    none.startUpdatingLocation();
    QCoreApplication::processEvents();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors.front().code, LocationError::locationUnknown);
}

TEST(DesktopNotices, CarryTheApplicationsIconAndDesktopEntry) {
    PrivateBus bus;
    if (!bus.isUp()) GTEST_SKIP() << "no dbus-daemon";
    auto* fake = new FakeNotifications;
    ASSERT_TRUE(bus.serve(fake, "org.freedesktop.Notifications", "/org/freedesktop/Notifications"));
    LinuxDesktopNotifier notifier(bus.connect("client-notices"));
    notifier.post("halcyra.test", "Title", "Body");
    ASSERT_TRUE(waitUntil([&] { return !fake->notices().empty(); }, 3000));
    const FakeNotifications::Notice notice = fake->notices().front();
    EXPECT_EQ(notice.summary, QStringLiteral("Title"));
    // The names the installed desktop entry and icon have: a desktop finds both by them.
    EXPECT_EQ(notice.appIcon, QStringLiteral("com.halcyra.Halcyra"));
    EXPECT_EQ(notice.hints.value(QStringLiteral("desktop-entry")).toString(),
              QStringLiteral("com.halcyra.Halcyra"));
    fake->deleteLater();
}
