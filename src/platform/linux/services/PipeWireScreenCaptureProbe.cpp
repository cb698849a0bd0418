#include "platform/linux/services/PipeWireScreenCaptureProbe.h"

#include "platform/linux/services/PipeWireRuntime.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLoggingCategory>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <pipewire/pipewire.h>

Q_LOGGING_CATEGORY(lcCaptureProbe, "com.halcyra.app.capture-guard")

struct PipeWireScreenCaptureProbe::Graph {
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_registry* registry = nullptr;
    spa_hook registryListener{};
    spa_hook coreListener{};
    std::mutex mutex;
    std::set<uint32_t> casts;         // guarded by mutex
    std::atomic<bool> broken = false; // the server went away
    std::function<void()> announce;   // set before the loop starts; PipeWire's thread
};

namespace {

using Graph = PipeWireScreenCaptureProbe::Graph;

void onGlobal(void* data, uint32_t id, uint32_t, const char* type, uint32_t,
              const spa_dict* props) {
    if (!props || std::strcmp(type, PW_TYPE_INTERFACE_Node) != 0) return;
    if (!PipeWireScreenCaptureProbe::isScreenCast(
            spa_dict_lookup(props, PW_KEY_MEDIA_CLASS), spa_dict_lookup(props, PW_KEY_MEDIA_ROLE),
            spa_dict_lookup(props, PW_KEY_NODE_NAME), spa_dict_lookup(props, PW_KEY_DEVICE_API)))
        return;
    auto* graph = static_cast<Graph*>(data);
    {
        std::lock_guard lock(graph->mutex);
        graph->casts.insert(id);
    }
    graph->announce();
}

void onGlobalRemove(void* data, uint32_t id) {
    auto* graph = static_cast<Graph*>(data);
    bool wasCast = false;
    {
        std::lock_guard lock(graph->mutex);
        wasCast = graph->casts.erase(id) > 0;
    }
    if (wasCast) graph->announce();
}

void onCoreError(void* data, uint32_t id, int, int res, const char*) {
    if (id != PW_ID_CORE || res != -EPIPE) return;
    auto* graph = static_cast<Graph*>(data);
    graph->broken = true;
    graph->announce();
}

const pw_registry_events kRegistryEvents = {
    .version = PW_VERSION_REGISTRY_EVENTS, .global = onGlobal, .global_remove = onGlobalRemove};

pw_core_events makeCoreEvents() {
    pw_core_events events{};
    events.version = PW_VERSION_CORE_EVENTS;
    events.error = onCoreError;
    return events;
}
const pw_core_events kCoreEvents = makeCoreEvents();

bool containsNoCase(const char* text, const char* part) {
    return text && QByteArray(text).toLower().contains(part);
}

} // namespace

bool PipeWireScreenCaptureProbe::isScreenCast(const char* mediaClass, const char* mediaRole,
                                              const char* nodeName, const char* deviceApi) {
    if (!mediaClass || (std::strcmp(mediaClass, "Video/Source") != 0 &&
                        std::strcmp(mediaClass, "Stream/Output/Video") != 0))
        return false;
    if (deviceApi) return false; // a camera (v4l2, libcamera)
    if (mediaRole && std::strcmp(mediaRole, "Camera") == 0) return false;
    if (mediaRole && std::strcmp(mediaRole, "Screen") == 0) return true;
    return containsNoCase(nodeName, "screen") || containsNoCase(nodeName, "xdpw") ||
           containsNoCase(nodeName, "monitor");
}

PipeWireScreenCaptureProbe::PipeWireScreenCaptureProbe()
    : m_mainThread(std::make_unique<QObject>()) {}

PipeWireScreenCaptureProbe::~PipeWireScreenCaptureProbe() {
    disconnect(); // PipeWire's thread is gone before the announcements' target
}

void PipeWireScreenCaptureProbe::setChangeHandler(std::function<void()> handler) {
    m_onChange = std::move(handler);
}

QString PipeWireScreenCaptureProbe::runtimeFolder() {
    return PipeWireRuntime::folder();
}

bool PipeWireScreenCaptureProbe::announcesChanges() {
    if (!m_graph && !m_sinceAttempt.isValid()) screenWatcherPresent(); // the first try
    if (m_graph && !m_graph->broken) return true;
    // No folder a server could appear in: the answer can never change.
    if (runtimeFolder().isEmpty()) return true;
    watchForServer();
    return m_serverWatch != nullptr;
}

void PipeWireScreenCaptureProbe::watchForServer() {
    if (m_serverWatch) return;
    const QString folder = runtimeFolder();
    auto watch = std::make_unique<QFileSystemWatcher>();
    if (!QDir(folder).exists() || !watch->addPath(folder)) return;
    // Any change there may be the server starting: the next question connects at once.
    QObject::connect(watch.get(), &QFileSystemWatcher::directoryChanged, m_mainThread.get(),
                     [this] {
                         if (m_graph) return;
                         m_sinceAttempt.invalidate();
                         if (m_onChange) m_onChange();
                     });
    m_serverWatch = std::move(watch);
}

bool PipeWireScreenCaptureProbe::connect() {
    static const bool initialised = [] {
        pw_init(nullptr, nullptr);
        return true;
    }();
    Q_UNUSED(initialised);
    auto graph = std::make_unique<Graph>();
    QObject* mainThread = m_mainThread.get();
    graph->announce = [this, mainThread] {
        QMetaObject::invokeMethod(
            mainThread,
            [this] {
                if (m_onChange) m_onChange();
            },
            Qt::QueuedConnection);
    };
    graph->loop = pw_thread_loop_new("halcyra-capture", nullptr);
    if (!graph->loop) return false;
    graph->context = pw_context_new(pw_thread_loop_get_loop(graph->loop), nullptr, 0);
    if (!graph->context || pw_thread_loop_start(graph->loop) < 0) {
        if (graph->context) pw_context_destroy(graph->context);
        pw_thread_loop_destroy(graph->loop);
        return false;
    }
    pw_thread_loop_lock(graph->loop);
    graph->core = pw_context_connect(graph->context, nullptr, 0);
    if (graph->core) {
        graph->registry = pw_core_get_registry(graph->core, PW_VERSION_REGISTRY, 0);
        pw_registry_add_listener(graph->registry, &graph->registryListener, &kRegistryEvents,
                                 graph.get());
        pw_core_add_listener(graph->core, &graph->coreListener, &kCoreEvents, graph.get());
    }
    pw_thread_loop_unlock(graph->loop);
    m_graph = std::move(graph);
    if (!m_graph->core) {
        disconnect();
        return false;
    }
    qCInfo(lcCaptureProbe) << "Watching PipeWire for screen casts";
    m_serverWatch.reset();
    return true;
}

void PipeWireScreenCaptureProbe::disconnect() {
    if (!m_graph) return;
    Graph& g = *m_graph;
    pw_thread_loop_lock(g.loop);
    if (g.registry) {
        spa_hook_remove(&g.registryListener);
        pw_proxy_destroy(reinterpret_cast<pw_proxy*>(g.registry));
    }
    if (g.core) {
        spa_hook_remove(&g.coreListener);
        pw_core_disconnect(g.core);
    }
    pw_thread_loop_unlock(g.loop);
    pw_thread_loop_stop(g.loop);
    pw_context_destroy(g.context);
    pw_thread_loop_destroy(g.loop);
    m_graph.reset();
}

std::optional<bool> PipeWireScreenCaptureProbe::screenWatcherPresent() {
    if (m_graph && m_graph->broken) disconnect();
    if (!m_graph && !m_sinceAttempt.isValid() && !m_firstConnectDone) {
        // Loading PipeWire's configuration and modules costs milliseconds the start-up
        // tint waits for, and a fresh graph knows no cast before its registry answers
        // anyway: the first connection is made on the next turn of the event loop.
        if (!m_firstConnectQueued) {
            m_firstConnectQueued = true;
            QTimer::singleShot(0, m_mainThread.get(), [this] {
                m_firstConnectDone = true;
                if (m_graph || m_sinceAttempt.isValid()) return;
                m_sinceAttempt.start();
                if (connect() && m_onChange) m_onChange();
            });
        }
        return std::nullopt;
    }
    if (!m_graph) {
        if (m_sinceAttempt.isValid() && m_sinceAttempt.elapsed() < reconnectAfterMs)
            return std::nullopt;
        m_sinceAttempt.start();
        if (!connect()) return std::nullopt;
    }
    std::lock_guard lock(m_graph->mutex);
    return !m_graph->casts.empty();
}
