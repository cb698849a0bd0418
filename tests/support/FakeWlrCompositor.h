#pragma once

// A tiny Wayland compositor on a thread of the test: it advertises outputs and, when
// asked, the wlroots gamma manager, answers every gamma control with a size of 256 (or,
// for an output told to refuse, with `failed`) and records the tables each set_gamma
// carries. Outputs may be plugged in and out while it runs.
#include <QString>
#include <QtGlobal>
#include <array>
#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <wayland-server-core.h>
#include <wayland-server-protocol.h>
#include <wlr-gamma-control-unstable-v1-server-protocol.h>

constexpr int kGammaSize = 256;

class FakeCompositor {
public:
    using Ramps = std::array<std::vector<quint16>, 3>;
    struct OutputState {
        std::string name;
        wl_global* global = nullptr;
        wl_resource* control = nullptr;
        bool refuse = false;
        int asks = 0; // get_gamma_control requests
        int sets = 0;
        Ramps last;
    };

    FakeCompositor(std::vector<std::string> outputs, bool manager) {
        m_display = wl_display_create();
        for (std::string& name : outputs)
            addOutput(std::move(name));
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
    // Gamma control of the output is refused from the next request on, or granted again.
    void refuse(int index, bool refused) {
        run([this, index, refused] {
            m_outputs[index]->refuse = refused;
            return 0;
        });
    }
    // A new output announced to every client; its index.
    int plug(std::string name) {
        return run([this, name] { return addOutput(name); });
    }
    void unplug(int index) {
        run([this, index] {
            wl_global_destroy(m_outputs[index]->global);
            return 0;
        });
    }

private:
    int addOutput(std::string name) {
        auto o = std::make_unique<OutputState>();
        o->name = std::move(name);
        o->global = wl_global_create(m_display, &wl_output_interface, 4, o.get(), bindOutput);
        m_outputs.push_back(std::move(o));
        return int(m_outputs.size()) - 1;
    }

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
        if (!o) { // a refused control ignores its requests
            close(fd);
            return;
        }
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
        if (o && o->control == resource) o->control = nullptr;
    }

    static void getControl(wl_client* client, wl_resource* manager, uint32_t id,
                           wl_resource* output) {
        static const struct zwlr_gamma_control_v1_interface impl = {setGamma, release};
        auto* o = static_cast<OutputState*>(wl_resource_get_user_data(output));
        wl_resource* r = wl_resource_create(client, &zwlr_gamma_control_v1_interface, 1, id);
        ++o->asks;
        if (o->refuse) {
            wl_resource_set_implementation(r, &impl, nullptr, nullptr);
            zwlr_gamma_control_v1_send_failed(r);
            return;
        }
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
