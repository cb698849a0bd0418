#include "platform/GammaOriginalsStore.h"
#include "platform/linux/SysfsNativeBacklight.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {
void writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray();
}

void addDevice(const QString& root, const QString& name, const QByteArray& type, int max,
               int level) {
    writeFile(root + "/" + name + "/type", type + "\n");
    writeFile(root + "/" + name + "/max_brightness", QByteArray::number(max) + "\n");
    writeFile(root + "/" + name + "/brightness", QByteArray::number(level) + "\n");
}

GammaOriginalsStore::Ramps ramp(int size, double top, double power = 1.0) {
    GammaOriginalsStore::Ramps r;
    for (int i = 0; i < size; ++i)
        r.red.push_back(
            quint16(std::lround(std::pow(double(i) / (size - 1), power) * top * 65535)));
    r.green = r.blue = r.red;
    return r;
}
} // namespace

TEST(SysfsNativeBacklight, PicksFirmwareFirstAndRoundsToTheDeviceSteps) {
    QTemporaryDir root;
    EXPECT_EQ(SysfsNativeBacklight::probe(root.path()), nullptr);

    addDevice(root.path(), "intel_backlight", "raw", 1000, 500);
    addDevice(root.path(), "acpi_video0", "firmware", 15, 6);
    writeFile(root.path() + "/broken/max_brightness", "0\n");
    std::vector<quint32> busWrites;
    bool busWorks = false;
    auto backlight = SysfsNativeBacklight::probe(
        root.path(), [&](const QString& subsystem, const QString& name, quint32 raw) {
            EXPECT_EQ(subsystem, "backlight");
            EXPECT_EQ(name, "acpi_video0");
            busWrites.push_back(raw);
            if (busWorks)
                writeFile(root.path() + "/acpi_video0/brightness", QByteArray::number(raw));
            return busWorks;
        });
    ASSERT_NE(backlight, nullptr);
    EXPECT_EQ(backlight->deviceName(), "acpi_video0");
    float level = 0;
    ASSERT_EQ(backlight->brightness(level), NativeBacklight::success);
    EXPECT_FLOAT_EQ(level, 6.0f / 15.0f);

    // No logind: the file is written directly, and the bus is not asked again.
    ASSERT_EQ(backlight->setBrightness(0.5f), NativeBacklight::success);
    EXPECT_EQ(readFile(root.path() + "/acpi_video0/brightness"), "8");
    ASSERT_EQ(backlight->setBrightness(1.0f), NativeBacklight::success);
    EXPECT_EQ(readFile(root.path() + "/acpi_video0/brightness"), "15");
    EXPECT_EQ(busWrites.size(), 1u);
    ASSERT_EQ(backlight->brightness(level), NativeBacklight::success);
    EXPECT_FLOAT_EQ(level, 1.0f); // full level reads back exactly despite the coarse steps

    // Re-asserting the level it already has writes nothing.
    QFile::remove(root.path() + "/acpi_video0/brightness");
    writeFile(root.path() + "/acpi_video0/brightness", "15");
    ASSERT_EQ(backlight->setBrightness(1.0f), NativeBacklight::success);
    ASSERT_EQ(backlight->setBrightness(2.0f), NativeBacklight::success);
    EXPECT_EQ(busWrites.size(), 1u);

    // A device that went away reports failure rather than a level.
    QDir(root.path() + "/acpi_video0").removeRecursively();
    EXPECT_EQ(backlight->brightness(level), NativeBacklight::failure);
}

TEST(GammaOriginalsStore, KeepsRecordsAcrossRunsAndSurvivesADamagedFile) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/state/halcyra/gamma-originals.json";
    const GammaOriginalsStore::Ramps curve = ramp(1024, 0.95, 1.1);
    {
        GammaOriginalsStore store(path);
        EXPECT_FALSE(store.record(":0/crtc-63"));
        store.setRecord(":0/crtc-63", {"eDP-1", curve, false});
        store.setTinted(":0/crtc-63", true);
        // The mark that guards a tint is on disk when it returns, after the record it marks.
        const auto onDisk = GammaOriginalsStore(path).record(":0/crtc-63");
        ASSERT_TRUE(onDisk);
        EXPECT_TRUE(onDisk->tinted);
        EXPECT_EQ(onDisk->originals, curve);
    }
    {
        GammaOriginalsStore store(path);
        const auto r = store.record(":0/crtc-63");
        ASSERT_TRUE(r);
        EXPECT_EQ(r->output, "eDP-1");
        EXPECT_TRUE(r->tinted);
        EXPECT_EQ(r->originals, curve);
    }
    writeFile(path, "{\"crtcs\": {\":0/crtc-1\": {\"red\": \"AAE=\", \"green\": 5}}, garbage");
    GammaOriginalsStore damaged(path);
    EXPECT_FALSE(damaged.record(":0/crtc-63"));
    EXPECT_FALSE(damaged.record(":0/crtc-1"));

    EXPECT_EQ(GammaOriginalsStore::defaultPath(),
              qEnvironmentVariableIsEmpty("XDG_STATE_HOME")
                  ? QDir::homePath() + "/.local/state/halcyra/gamma-originals.json"
                  : qEnvironmentVariable("XDG_STATE_HOME") + "/halcyra/gamma-originals.json");
}

TEST(GammaOriginalsStore, RecognisesTheStraightRampsWePush) {
    EXPECT_TRUE(GammaOriginalsStore::isStraightRamp(ramp(256, 1.0)));
    EXPECT_TRUE(GammaOriginalsStore::isStraightRamp(ramp(1024, 0.37)));
    EXPECT_FALSE(GammaOriginalsStore::isStraightRamp(ramp(256, 1.0, 0.9)));
    GammaOriginalsStore::Ramps mixed = ramp(256, 0.8);
    mixed.blue = ramp(256, 0.5, 2.2).blue;
    EXPECT_FALSE(GammaOriginalsStore::isStraightRamp(mixed));
    EXPECT_FALSE(GammaOriginalsStore::isStraightRamp({}));
}

TEST(GammaOriginalsStore, TakesCalibrationCurvesButNotTintsForADisplaysOwn) {
    GammaOriginalsStore::Ramps calibrated = ramp(256, 1.0, 0.9);
    calibrated.green = ramp(256, 0.93, 1.1).green;
    calibrated.red[0] = 400; // a lifted black level
    EXPECT_TRUE(GammaOriginalsStore::isPlausibleOriginal(calibrated));
    GammaOriginalsStore::Ramps warm = ramp(256, 1.0); // 3400 K
    warm.blue = ramp(256, 0.5301).blue;
    GammaOriginalsStore::Ramps dipping = ramp(256, 1.0);
    dipping.green[100] = dipping.green[99] - 500;
    for (const auto& bad : {warm, dipping, ramp(256, 0.4)})
        EXPECT_FALSE(GammaOriginalsStore::isPlausibleOriginal(bad));
}

TEST(GammaOriginalsStore, AFileThatCannotBeReadSafelyIsSetAside) {
    for (const bool fifo : {true, false}) {
        QTemporaryDir dir;
        const QString path = dir.path() + "/gamma-originals.json";
        if (fifo)
            ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else
            ASSERT_TRUE(QFile::link("/dev/zero", path));
        {
            GammaOriginalsStore store(path); // neither waits for a writer nor reads forever
            EXPECT_FALSE(store.record(":0/crtc-63"));
            EXPECT_EQ(QDir(dir.path())
                          .entryList({"gamma-originals.json.corrupt-*"}, QDir::Files | QDir::System)
                          .size(),
                      1);
            store.setRecord(":0/crtc-63", {"eDP-1", ramp(256, 1.0), false});
        } // an untinted record may still be on its way to the disk until the store ends
        EXPECT_TRUE(QFileInfo(path).isFile() && !QFileInfo(path).isSymLink());
        EXPECT_TRUE(GammaOriginalsStore(path).record(":0/crtc-63"));
    }
}
