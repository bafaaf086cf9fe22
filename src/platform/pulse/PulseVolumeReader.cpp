// The Pulse volume reader: a subscription to sink and server changes, each answered by a fresh look at
// the default sink; the level lands in an atomic that the main thread reads.
#include "platform/pulse/PulseVolumeReader.h"

#include <QObject>

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop-api.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>
#include <pulse/volume.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

void dropOperation(pa_operation* op) {
    if (op)
        pa_operation_unref(op);
}

} // namespace

QByteArray PulseVolumeReader::socketPath(const QByteArray& server, const QByteArray& pulseServerEnv,
                                         const QByteArray& runtimePathEnv, const QByteArray& xdgRuntimeEnv) {
    const QByteArray named = server.isEmpty() ? pulseServerEnv : server;
    if (!named.isEmpty()) {
        // A list of servers is tried in order; a socket of its own is what can appear on this machine.
        for (QByteArray entry : named.simplified().split(' ')) {
            if (entry.startsWith("unix:"))
                entry = entry.mid(5);
            if (entry.startsWith('/'))
                return entry;
        }
        return {};
    }
    if (runtimePathEnv.startsWith('/'))
        return runtimePathEnv + "/native";
    if (xdgRuntimeEnv.startsWith('/'))
        return xdgRuntimeEnv + "/pulse/native";
    return {};
}

PulseVolumeReader::PulseVolumeReader(QByteArray server, RetryBackoff backoff)
    : m_server(std::move(server))
    , m_backoff(backoff)
    , m_volume(kNone)
    , m_relay(std::make_unique<QObject>()) {
    m_loop = pa_threaded_mainloop_new();
    if (!m_loop)
        return;
    m_api = pa_threaded_mainloop_get_api(m_loop);
    m_socket = socketPath(m_server, qgetenv("PULSE_SERVER"), qgetenv("PULSE_RUNTIME_PATH"),
                          qgetenv("XDG_RUNTIME_DIR"));
    pa_threaded_mainloop_lock(m_loop);
    watchSocket();
    connect();
    pa_threaded_mainloop_unlock(m_loop);
    if (pa_threaded_mainloop_start(m_loop) < 0) {
        pa_threaded_mainloop_lock(m_loop);
        if (m_context) {
            pa_context_set_state_callback(m_context, nullptr, nullptr);
            pa_context_unref(m_context);
            m_context = nullptr;
        }
        if (m_watchEvent)
            m_api->io_free(m_watchEvent);
        m_watchEvent = nullptr;
        pa_threaded_mainloop_unlock(m_loop);
        pa_threaded_mainloop_free(m_loop);
        m_loop = nullptr;
        if (m_watchFd >= 0)
            ::close(m_watchFd);
        m_watchFd = -1;
    }
}

PulseVolumeReader::~PulseVolumeReader() {
    if (!m_loop)
        return;
    pa_threaded_mainloop_lock(m_loop);
    if (m_retry) {
        m_api->time_free(m_retry);
        m_retry = nullptr;
    }
    if (m_watchEvent) {
        m_api->io_free(m_watchEvent);
        m_watchEvent = nullptr;
    }
    if (m_context) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }
    pa_threaded_mainloop_unlock(m_loop);
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
    if (m_watchFd >= 0)
        ::close(m_watchFd);
}

void PulseVolumeReader::publish(double level) {
    const double before = m_volume.exchange(level);
    if (before == level || (std::isnan(before) && std::isnan(level)))
        return;
    // A burst of levels makes one notice: the main thread reads the newest when it gets there.
    if (m_noticeQueued.exchange(true))
        return;
    QMetaObject::invokeMethod(
        m_relay.get(),
        [this] {
            m_noticeQueued.store(false);
            m_changeNotice.notify();
        },
        Qt::QueuedConnection);
}

std::optional<double> PulseVolumeReader::readVolume() {
    const double v = m_volume.load(std::memory_order_relaxed);
    if (std::isnan(v))
        return std::nullopt;
    return v;
}

void PulseVolumeReader::connect() {
    if (m_context) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
    }
    m_attempts.fetch_add(1);
    m_context = pa_context_new(m_api, "Quillbay");
    if (!m_context) {
        scheduleReconnect();
        return;
    }
    pa_context_set_state_callback(m_context, &PulseVolumeReader::stateCallback, this);
    // Never start a server of our own: with none running the volume is simply absent.
    if (pa_context_connect(m_context, m_server.isEmpty() ? nullptr : m_server.constData(),
                           PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        scheduleReconnect();
}

void PulseVolumeReader::scheduleReconnect() {
    publish(kNone);
    if (m_retry)
        return;
    timeval when;
    pa_gettimeofday(&when);
    int waitMs = 0;
    if (m_socketTries > 0) {
        --m_socketTries;
        waitMs = kSocketRetryMs;
    } else {
        waitMs = m_backoff.next();
    }
    pa_timeval_add(&when, pa_usec_t(waitMs) * PA_USEC_PER_MSEC);
    m_retry = m_api->time_new(m_api, &when, &PulseVolumeReader::retryCallback, this);
}

void PulseVolumeReader::watchSocket() {
    const qsizetype slash = m_socket.lastIndexOf('/');
    if (slash <= 0)
        return;
    m_watchFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_watchFd < 0)
        return;
    m_watchEvent =
        m_api->io_new(m_api, m_watchFd, PA_IO_EVENT_INPUT, &PulseVolumeReader::watchCallback, this);
    armWatch();
}

void PulseVolumeReader::armWatch() {
    const qsizetype slash = m_socket.lastIndexOf('/');
    const QByteArray folder = m_socket.left(slash);
    if (m_folderWatch < 0)
        m_folderWatch = inotify_add_watch(m_watchFd, folder.constData(), IN_CREATE | IN_MOVED_TO);
    if (m_folderWatch >= 0) {
        if (m_parentWatch >= 0)
            inotify_rm_watch(m_watchFd, m_parentWatch);
        m_parentWatch = -1;
        return;
    }
    // The server makes its folder when it starts: until then the folder's parent says when it is there.
    const qsizetype parentSlash = folder.lastIndexOf('/');
    if (m_parentWatch < 0 && parentSlash >= 0)
        m_parentWatch =
            inotify_add_watch(m_watchFd, parentSlash == 0 ? "/" : folder.left(parentSlash).constData(),
                              IN_CREATE | IN_MOVED_TO);
}

void PulseVolumeReader::watchCallback(pa_mainloop_api*, pa_io_event*, int, pa_io_event_flags_t, void* self) {
    static_cast<PulseVolumeReader*>(self)->onWatchEvents();
}

void PulseVolumeReader::onWatchEvents() {
    const qsizetype slash = m_socket.lastIndexOf('/');
    const QByteArray socketName = m_socket.mid(slash + 1);
    const QByteArray folder = m_socket.left(slash);
    const QByteArray folderName = folder.mid(folder.lastIndexOf('/') + 1);
    bool appeared = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_watchFd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            const QByteArray name = e->len ? QByteArray(e->name) : QByteArray();
            if (e->mask & IN_IGNORED) {
                // The folder went away (the server's runtime folder was removed): watch for its return.
                if (e->wd == m_folderWatch)
                    m_folderWatch = -1;
                if (e->wd == m_parentWatch)
                    m_parentWatch = -1;
            } else if (e->wd == m_folderWatch && name == socketName) {
                appeared = true;
            } else if (e->wd == m_parentWatch && name == folderName) {
                m_folderWatch = -1;
                armWatch();
                // The socket may have been made before the folder's watch was in place.
                appeared = appeared || ::access(m_socket.constData(), F_OK) == 0;
            }
            at += ssize_t(sizeof(inotify_event)) + e->len;
        }
    }
    if (m_folderWatch < 0 && m_parentWatch < 0)
        armWatch();
    // Only a pending retry is brought forward; a connection under way or ready goes on as it is.
    if (appeared && m_retry) {
        m_api->time_free(m_retry);
        m_retry = nullptr;
        // A server that has just made its socket may not listen on it yet: a few quick tries follow
        // before the long waits, which start over.
        m_backoff.reset();
        m_socketTries = kSocketTries;
        connect();
    }
}

void PulseVolumeReader::retryCallback(pa_mainloop_api* api, pa_time_event* e, const struct timeval*,
                                      void* self) {
    auto* reader = static_cast<PulseVolumeReader*>(self);
    api->time_free(e);
    reader->m_retry = nullptr;
    reader->connect();
}

void PulseVolumeReader::stateCallback(pa_context*, void* self) {
    static_cast<PulseVolumeReader*>(self)->onState();
}

void PulseVolumeReader::onState() {
    switch (pa_context_get_state(m_context)) {
    case PA_CONTEXT_READY:
        m_backoff.reset();
        m_socketTries = 0;
        m_connections.fetch_add(1);
        pa_context_set_subscribe_callback(
            m_context,
            [](pa_context*, pa_subscription_event_type_t type, uint32_t, void* self) {
                const int facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
                if (facility == PA_SUBSCRIPTION_EVENT_SINK || facility == PA_SUBSCRIPTION_EVENT_SERVER)
                    static_cast<PulseVolumeReader*>(self)->query();
            },
            this);
        dropOperation(pa_context_subscribe(
            m_context, pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER),
            nullptr, nullptr));
        query();
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        // The context cannot be freed from inside its own callback: the retry replaces it.
        scheduleReconnect();
        break;
    default:
        break;
    }
}

void PulseVolumeReader::query() {
    // The default sink may have changed as well as its level: ask which it is each time.
    dropOperation(pa_context_get_server_info(m_context, &PulseVolumeReader::serverInfoCallback, this));
}

void PulseVolumeReader::serverInfoCallback(pa_context*, const pa_server_info* info, void* self) {
    static_cast<PulseVolumeReader*>(self)->onServerInfo(info);
}

void PulseVolumeReader::onServerInfo(const pa_server_info* info) {
    if (!info || !info->default_sink_name || !*info->default_sink_name) {
        publish(kNone);
        return;
    }
    dropOperation(pa_context_get_sink_info_by_name(m_context, info->default_sink_name,
                                                   &PulseVolumeReader::sinkInfoCallback, this));
}

void PulseVolumeReader::sinkInfoCallback(pa_context*, const pa_sink_info* info, int eol, void* self) {
    static_cast<PulseVolumeReader*>(self)->onSinkInfo(info, eol);
}

void PulseVolumeReader::onSinkInfo(const pa_sink_info* info, int eol) {
    if (eol < 0) {
        publish(kNone); // the default sink is gone
        return;
    }
    if (!info)
        return;
    // Mute leaves the level as it is, as the system's own indicator does.
    const double level = double(pa_cvolume_max(&info->volume)) / double(PA_VOLUME_NORM);
    publish(std::clamp(level, 0.0, 1.0));
}
