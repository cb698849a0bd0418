#include "platform/linux/services/LinuxOutputMuteProbe.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <mutex>

#ifdef HALCYRA_HAVE_PULSE
#include <pulse/pulseaudio.h>
#endif

namespace {
// A server that went away is looked for again at most this often.
constexpr long long kRetryMs = 10'000;

long long steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

#ifdef HALCYRA_HAVE_PULSE

struct LinuxOutputMuteProbe::Connection {
    Connection() {
        m_loop = pa_threaded_mainloop_new();
        if (!m_loop) return;
        if (pa_threaded_mainloop_start(m_loop) < 0) {
            pa_threaded_mainloop_free(m_loop);
            m_loop = nullptr;
            return;
        }
        connect();
    }

    ~Connection() {
        if (!m_loop) return;
        pa_threaded_mainloop_lock(m_loop);
        dropContext();
        pa_threaded_mainloop_unlock(m_loop);
        pa_threaded_mainloop_stop(m_loop);
        pa_threaded_mainloop_free(m_loop);
    }

    // -1 unknown, 0 not muted, 1 muted.
    std::atomic<int> mute{-1};
    std::atomic<double> volume{std::numeric_limits<double>::quiet_NaN()};

    void retryIfGone() {
        if (!m_loop || !m_gone.load()) return;
        std::lock_guard lock(m_retryMutex);
        if (!m_gone.load() || steadyMs() - m_failedAtMs.load() < kRetryMs) return;
        connect();
    }

private:
    void connect() {
        pa_threaded_mainloop_lock(m_loop);
        dropContext();
        m_gone = false;
        m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "Halcyra");
        if (m_context) {
            pa_context_set_state_callback(m_context, &Connection::onState, this);
            if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
                markGone();
        } else {
            markGone();
        }
        pa_threaded_mainloop_unlock(m_loop);
    }

    // Called with the main loop locked.
    void dropContext() {
        if (!m_context) return;
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }

    void markGone() {
        mute = -1;
        volume = std::numeric_limits<double>::quiet_NaN();
        m_failedAtMs = steadyMs();
        m_gone = true;
    }

    void refresh() {
        if (pa_operation* op =
                pa_context_get_server_info(m_context, &Connection::onServerInfo, this))
            pa_operation_unref(op);
    }

    static void onState(pa_context* context, void* self) {
        auto* c = static_cast<Connection*>(self);
        switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY: {
            pa_context_set_subscribe_callback(context, &Connection::onEvent, c);
            const auto mask =
                pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER);
            if (pa_operation* op = pa_context_subscribe(context, mask, nullptr, nullptr))
                pa_operation_unref(op);
            c->refresh();
            break;
        }
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            c->markGone();
            break;
        default:
            break;
        }
    }

    static void onEvent(pa_context*, pa_subscription_event_type_t, uint32_t, void* self) {
        static_cast<Connection*>(self)->refresh();
    }

    static void onServerInfo(pa_context* context, const pa_server_info* info, void* self) {
        auto* c = static_cast<Connection*>(self);
        if (!info || !info->default_sink_name) {
            c->mute = -1;
            c->volume = std::numeric_limits<double>::quiet_NaN();
            return;
        }
        if (pa_operation* op = pa_context_get_sink_info_by_name(context, info->default_sink_name,
                                                                &Connection::onSink, c))
            pa_operation_unref(op);
    }

    static void onSink(pa_context*, const pa_sink_info* info, int eol, void* self) {
        auto* c = static_cast<Connection*>(self);
        if (eol < 0) {
            c->mute = -1;
            c->volume = std::numeric_limits<double>::quiet_NaN();
            return;
        }
        if (eol > 0 || !info) return;
        c->mute = info->mute ? 1 : 0;
        c->volume = double(pa_cvolume_max(&info->volume)) / double(PA_VOLUME_NORM);
    }

    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    std::atomic<bool> m_gone{false};
    std::mutex m_retryMutex;
    std::atomic<long long> m_failedAtMs{0};
};

#else

struct LinuxOutputMuteProbe::Connection {
    std::atomic<int> mute{-1};
    std::atomic<double> volume{std::numeric_limits<double>::quiet_NaN()};
    void retryIfGone() {}
};

#endif

// Nothing is opened until somebody asks: the probe exists from launch, but only a
// cue that the user's switch lets through reads it.
LinuxOutputMuteProbe::LinuxOutputMuteProbe() = default;

LinuxOutputMuteProbe::~LinuxOutputMuteProbe() = default;

LinuxOutputMuteProbe::Connection& LinuxOutputMuteProbe::connection() const {
    std::call_once(m_connect, [this] { m_connection = std::make_unique<Connection>(); });
    return *m_connection;
}

std::optional<bool> LinuxOutputMuteProbe::muted() const {
    Connection& c = connection();
    c.retryIfGone();
    const int m = c.mute.load();
    if (m < 0) return std::nullopt;
    return m == 1;
}

std::optional<double> LinuxOutputMuteProbe::volume() const {
    const double v = connection().volume.load();
    if (std::isnan(v)) return std::nullopt;
    return v;
}
