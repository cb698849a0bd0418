// The wlroots gamma backend against a tiny compositor running on a thread of the
// test, on a private runtime directory.
#include "platform/linux/WlrDisplayGamma.h"
#include "core/Preferences.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <array>
#include <atomic>
#include <cmath>
#include <csignal>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <limits>
#include <map>
#include <mutex>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <wayland-server-core.h>
#include <wayland-server-protocol.h>
#include <wlr-gamma-control-unstable-v1-server-protocol.h>

namespace {

using Ramps = std::array<std::vector<quint16>, 3>;
constexpr int kGammaSize = 256;

// Advertises outputs and the gamma manager, answers every control with a gamma size
// of 256 and records the tables each set_gamma carries.
class FakeCompositor {
public:
    struct OutputState {
        std::string name;
        wl_global* global = nullptr;
        wl_resource* control = nullptr;
        int sets = 0;
        Ramps last;
    };

    FakeCompositor(std::vector<std::string> outputs, bool manager) {
        m_display = wl_display_create();
        for (std::string& name : outputs) {
            auto o = std::make_unique<OutputState>();
            o->name = std::move(name);
            o->global = wl_global_create(m_display, &wl_output_interface, 4, o.get(), bindOutput);
            m_outputs.push_back(std::move(o));
        }
        if (manager)
            wl_global_create(m_display, &zwlr_gamma_control_manager_v1_interface, 1, this,
                             bindManager);
        m_socket = wl_display_add_socket_auto(m_display);
        m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        wl_event_loop_add_fd(wl_display_get_event_loop(m_display), m_wake, WL_EVENT_READABLE,
                             runQueued, this);
        m_thread = std::thread([this] {
            wl_event_loop* loop = wl_display_get_event_loop(m_display);
            while (!m_stop) {
                wl_event_loop_dispatch(loop, 20);
                wl_display_flush_clients(m_display);
            }
        });
    }
    ~FakeCompositor() {
        m_stop = true;
        m_thread.join();
        wl_display_destroy_clients(m_display);
        wl_display_destroy(m_display);
        close(m_wake);
    }

    QString socket() const { return QString::fromUtf8(m_socket); }

    // Runs `work` on the compositor's thread and waits for it.
    template <typename F> auto run(F work) -> decltype(work()) {
        std::packaged_task<decltype(work())()> task(work);
        auto result = task.get_future();
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back([&task] { task(); });
        }
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(m_wake, &one, sizeof one);
        return result.get();
    }
    OutputState snapshot(int index) {
        return run([this, index] { return *m_outputs[index]; });
    }
    void fail(int index) {
        run([this, index] {
            zwlr_gamma_control_v1_send_failed(m_outputs[index]->control);
            return 0;
        });
    }
    void unplug(int index) {
        run([this, index] {
            wl_global_destroy(m_outputs[index]->global);
            return 0;
        });
    }

private:
    static int runQueued(int fd, uint32_t, void* data) {
        auto* self = static_cast<FakeCompositor*>(data);
        uint64_t count;
        [[maybe_unused]] ssize_t n = read(fd, &count, sizeof count);
        std::vector<std::function<void()>> work;
        {
            std::lock_guard lock(self->m_mutex);
            work.swap(self->m_queue);
        }
        for (auto& w : work)
            w();
        return 0;
    }

    static void release(wl_client*, wl_resource* resource) { wl_resource_destroy(resource); }

    static void bindOutput(wl_client* client, void* data, uint32_t version, uint32_t id) {
        static const struct wl_output_interface impl = {release};
        auto* o = static_cast<OutputState*>(data);
        wl_resource* r = wl_resource_create(client, &wl_output_interface, int(version), id);
        wl_resource_set_implementation(r, &impl, o, nullptr);
        if (version >= WL_OUTPUT_NAME_SINCE_VERSION) wl_output_send_name(r, o->name.c_str());
        if (version >= WL_OUTPUT_DONE_SINCE_VERSION) wl_output_send_done(r);
    }

    static void setGamma(wl_client*, wl_resource* resource, int32_t fd) {
        auto* o = static_cast<OutputState*>(wl_resource_get_user_data(resource));
        // Read from the descriptor's current offset, as some compositors do.
        std::vector<quint16> all(3 * kGammaSize);
        const ssize_t n = read(fd, all.data(), all.size() * sizeof(quint16));
        close(fd);
        if (n != ssize_t(all.size() * sizeof(quint16))) {
            wl_resource_post_error(resource, ZWLR_GAMMA_CONTROL_V1_ERROR_INVALID_GAMMA, "short");
            return;
        }
        for (int c = 0; c < 3; ++c)
            o->last[c].assign(all.begin() + c * kGammaSize, all.begin() + (c + 1) * kGammaSize);
        ++o->sets;
    }

    static void controlGone(wl_resource* resource) {
        auto* o = static_cast<OutputState*>(wl_resource_get_user_data(resource));
        if (o->control == resource) o->control = nullptr;
    }

    static void getControl(wl_client* client, wl_resource* manager, uint32_t id,
                           wl_resource* output) {
        static const struct zwlr_gamma_control_v1_interface impl = {setGamma, release};
        auto* o = static_cast<OutputState*>(wl_resource_get_user_data(output));
        wl_resource* r = wl_resource_create(client, &zwlr_gamma_control_v1_interface, 1, id);
        wl_resource_set_implementation(r, &impl, o, controlGone);
        o->control = r;
        zwlr_gamma_control_v1_send_gamma_size(r, kGammaSize);
    }

    static void bindManager(wl_client* client, void* data, uint32_t version, uint32_t id) {
        static const struct zwlr_gamma_control_manager_v1_interface impl = {getControl, release};
        wl_resource* r =
            wl_resource_create(client, &zwlr_gamma_control_manager_v1_interface, 1, id);
        wl_resource_set_implementation(r, &impl, data, nullptr);
    }

    wl_display* m_display = nullptr;
    const char* m_socket = nullptr;
    int m_wake = -1;
    std::vector<std::unique_ptr<OutputState>> m_outputs;
    std::mutex m_mutex;
    std::vector<std::function<void()>> m_queue;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

class WlrGamma : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_runtime.isValid());
        qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
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
    QTemporaryDir m_runtime;
};

// The 16-bit value a table entry must become, worked out on its own.
quint16 level(const std::vector<float>& table, int j) {
    const double pos = double(j) * (table.size() - 1) / (kGammaSize - 1);
    const size_t lo = size_t(pos);
    const size_t hi = std::min(lo + 1, table.size() - 1);
    const double f = pos - double(lo);
    double v = table[lo] * (1.0 - f) + table[hi] * f;
    if (std::isnan(v)) v = 0;
    return quint16(std::lround(std::clamp(v, 0.0, 1.0) * 65535.0));
}

TEST_F(WlrGamma, FindsOutputsLoadsResampledTablesRestoresAndLetsGoWhenDestroyed) {
    FakeCompositor compositor({"DP-1", "eDP-1"}, true);
    auto gamma = WlrDisplayGamma::open(compositor.socket());
    ASSERT_NE(gamma, nullptr);

    const auto displays = gamma->onlineDisplays();
    ASSERT_TRUE(displays && displays->size() == 2);
    const DisplayId external = (*displays)[0], panel = (*displays)[1];
    EXPECT_EQ(gamma->outputName(external), QStringLiteral("DP-1"));
    EXPECT_EQ(gamma->mainDisplay(), external);
    EXPECT_FALSE(gamma->isBuiltin(external));
    EXPECT_TRUE(gamma->isBuiltin(panel));

    // Three entries stretched to 256, with a level out of range and a NaN.
    const std::vector<float> red = {0.0f, 0.5f, 1.0f};
    const std::vector<float> green = {0.1f, 1.7f, 0.3f};
    const std::vector<float> blue = {std::numeric_limits<float>::quiet_NaN(), 0.2f, 0.9f};
    ASSERT_EQ(gamma->setTransferTables(external, red, green, blue), DisplayGamma::success);
    const FakeCompositor::OutputState seen = compositor.snapshot(0);
    ASSERT_EQ(seen.sets, 1);
    const std::vector<float>* tables[3] = {&red, &green, &blue};
    for (int c = 0; c < 3; ++c)
        for (int j = 0; j < kGammaSize; ++j)
            ASSERT_EQ(seen.last[c][j], level(*tables[c], j)) << "channel " << c << " entry " << j;

    std::vector<float> r, g, b;
    ASSERT_EQ(gamma->transferTables(external, 3, r, g, b), DisplayGamma::success);
    EXPECT_NEAR(r[1], 0.5f, 1e-4);
    EXPECT_NEAR(g[2], 0.3f, 1e-4);
    // Untouched outputs read as the identity.
    ASSERT_EQ(gamma->transferTables(panel, 256, r, g, b), DisplayGamma::success);
    EXPECT_NEAR(r[128], 128.0f / 255.0f, 1e-4);

    EXPECT_EQ(gamma->setTransferTables(external, red, green, {0.0f, 1.0f}),
              DisplayGamma::badArgument);
    EXPECT_EQ(gamma->setTransferTables(9999, red, green, blue), DisplayGamma::invalidDisplay);

    // Restore loads the straight ramp where a tint was, and leaves the panel alone.
    gamma->restoreColorSettings();
    const FakeCompositor::OutputState restored = compositor.snapshot(0);
    EXPECT_EQ(restored.sets, 2);
    EXPECT_EQ(restored.last[0][255], 65535);
    EXPECT_EQ(restored.last[1][1], 257);
    EXPECT_EQ(compositor.snapshot(1).sets, 0);

    ASSERT_NE(compositor.snapshot(0).control, nullptr);
    gamma.reset();
    EXPECT_TRUE(eventually([&] {
        return compositor.snapshot(0).control == nullptr &&
               compositor.snapshot(1).control == nullptr;
    }));
}

TEST_F(WlrGamma, FailedAndUnpluggedOutputsLeaveTheListAndAreAnnounced) {
    FakeCompositor compositor({"DP-1", "HDMI-A-1"}, true);
    auto gamma = WlrDisplayGamma::open(compositor.socket());
    ASSERT_NE(gamma, nullptr);
    const std::vector<DisplayId> displays = gamma->onlineDisplays().value();
    ASSERT_EQ(displays.size(), 2u);
    std::vector<DisplayReconfiguration> changes;
    QObject::connect(gamma.get(), &DisplayGamma::reconfigured,
                     [&](const DisplayReconfiguration& c) { changes.push_back(c); });

    compositor.fail(0);
    ASSERT_TRUE(eventually([&] { return gamma->onlineDisplays()->size() == 1; }));
    EXPECT_EQ(gamma->onlineDisplays()->front(), displays[1]);
    EXPECT_EQ(gamma->mainDisplay(), displays[1]);
    const std::vector<float> ramp = {0.0f, 0.8f};
    EXPECT_EQ(gamma->setTransferTables(displays[0], ramp, ramp, ramp),
              DisplayGamma::invalidDisplay);
    EXPECT_EQ(gamma->setTransferTables(displays[1], ramp, ramp, ramp), DisplayGamma::success);
    ASSERT_TRUE(eventually([&] { return !changes.empty(); }));
    EXPECT_TRUE(changes.front().displayRemoved);
    EXPECT_TRUE(changes.front().mainDisplayChanged);

    compositor.unplug(1);
    ASSERT_TRUE(eventually([&] { return gamma->onlineDisplays()->empty(); }));
    EXPECT_EQ(gamma->mainDisplay(), 0u);
    gamma->restoreColorSettings(); // nothing left to restore, and no crash
}

TEST_F(WlrGamma, NoBackendWithoutACompositorOrWithoutTheGammaManager) {
    FakeCompositor plain({"DP-1"}, false);
    EXPECT_EQ(WlrDisplayGamma::open(plain.socket()), nullptr);
    EXPECT_EQ(WlrDisplayGamma::open(QStringLiteral("halcyra-no-such-socket")), nullptr);
}

// The real application on a Wayland session without X11 picks this backend, tints
// the output, and on SIGTERM loads the straight ramp and lets go of the control.
TEST_F(WlrGamma, TheApplicationTintsAWlrootsOutputAndHandsItBackOnSigterm) {
    FakeCompositor compositor({"DP-1"}, true);
    QTemporaryDir home;
    const QString config = home.path() + QStringLiteral("/config/halcyra");
    ASSERT_TRUE(QDir().mkpath(config));
    QFile settings(config + QStringLiteral("/settings.json"));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write(
        QStringLiteral("{\"%1\": true, \"%2\": 3400, \"%3\": 4.0, \"%4\": true}")
            .arg(PrefKey::enabled, PrefKey::temperature, PrefKey::intensity, PrefKey::welcomeShown)
            .toUtf8());
    settings.close();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* key : {"DISPLAY", "HALCYRA_PLATFORM", "HALCYRA_TEST_SNAPSHOT"})
        env.remove(QString::fromLatin1(key));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("WAYLAND_DISPLAY"), compositor.socket());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_STATE_HOME"), home.path() + QStringLiteral("/state"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               QStringLiteral("unix:path=") + home.path() + QStringLiteral("/no-bus"));
    QProcess app;
    app.setProcessEnvironment(env);
    app.setProcessChannelMode(QProcess::ForwardedChannels);
    app.start(QStringLiteral(HALCYRA_BINARY), {});
    ASSERT_TRUE(app.waitForStarted(5000));

    ASSERT_TRUE(eventually([&] {
        const FakeCompositor::OutputState o = compositor.snapshot(0);
        return o.sets > 0 && o.last[2][255] < 60000 && o.last[0][255] > o.last[2][255];
    }));
    ::kill(pid_t(app.processId()), SIGTERM);
    ASSERT_TRUE(app.waitForFinished(5000));
    const FakeCompositor::OutputState after = compositor.snapshot(0);
    EXPECT_EQ(after.last[2][255], 65535);
    EXPECT_TRUE(eventually([&] { return compositor.snapshot(0).control == nullptr; }));
}

} // namespace
