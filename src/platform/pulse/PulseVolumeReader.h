// The output volume from a Pulse sound server (PulseAudio, or PipeWire's Pulse server). The server's
// own notices keep a cached level current on the library's thread, so a read never waits on the server,
// and each new level is announced on the main thread. Without a server it tries again after waits
// that double up to minutes, and at once when the server's socket appears (an inotify watch on its
// folder), so a desktop without sound costs next to nothing and one that gains it is heard at once.
#pragma once

#include "platform/ChangeNotice.h"
#include "platform/VolumeReader.h"
#include "platform/pulse/RetryBackoff.h"

#include <QByteArray>

#include <pulse/mainloop-api.h>

#include <atomic>
#include <memory>

class QObject;

struct pa_context;
struct pa_threaded_mainloop;
struct pa_server_info;
struct pa_sink_info;

class PulseVolumeReader final : public VolumeReader {
public:
    // The first wait before connecting again after a failure, and the longest one.
    static constexpr int kFirstRetryMs = 250;
    static constexpr int kLongestRetryMs = 5 * 60 * 1000;
    // After the socket appeared: this many tries this far apart, before the waits above.
    static constexpr int kSocketTries = 5;
    static constexpr int kSocketRetryMs = 200;

    // `server` as the library takes it ("unix:/run/user/1000/pulse/native"); empty: the user's default.
    explicit PulseVolumeReader(QByteArray server = {},
                               RetryBackoff backoff = {kFirstRetryMs, kLongestRetryMs});
    ~PulseVolumeReader() override;

    std::optional<double> readVolume() override;
    void setChangeHandler(std::function<void()> handler) override { m_changeNotice.set(std::move(handler)); }

    // How many times a connection has become ready; for tests of the reconnection.
    int connections() const { return m_connections.load(); }
    // How many times a connection was tried.
    int attempts() const { return m_attempts.load(); }

    // The local socket a server string names, for watching: its first "unix:" entry (or plain path);
    // for the default server, PULSE_SERVER's, else the one in PULSE_RUNTIME_PATH or
    // XDG_RUNTIME_DIR/pulse. Empty when the server is not reached through a local socket.
    static QByteArray socketPath(const QByteArray& server, const QByteArray& pulseServerEnv,
                                 const QByteArray& runtimePathEnv, const QByteArray& xdgRuntimeEnv);

private:
    ChangeNotice m_changeNotice; // called on the main thread

    // Everything below runs on the library's thread with its lock held.
    void connect();
    void scheduleReconnect();
    // The socket's folder (or, while that is missing, its parent) is watched for the socket appearing.
    void watchSocket();
    void armWatch();
    void onWatchEvents();
    static void watchCallback(pa_mainloop_api* api, pa_io_event* e, int fd, pa_io_event_flags_t events,
                              void* self);
    // Stores a new level (NaN: none) and, when it differs, has the main thread told once.
    void publish(double level);
    void query();
    void onState();
    void onServerInfo(const pa_server_info* info);
    void onSinkInfo(const pa_sink_info* info, int eol);
    static void stateCallback(pa_context* c, void* self);
    static void serverInfoCallback(pa_context* c, const pa_server_info* info, void* self);
    static void sinkInfoCallback(pa_context* c, const pa_sink_info* info, int eol, void* self);
    static void retryCallback(pa_mainloop_api* api, pa_time_event* e, const struct timeval* tv, void* self);

    QByteArray m_server;
    pa_threaded_mainloop* m_loop = nullptr;
    pa_mainloop_api* m_api = nullptr;
    pa_context* m_context = nullptr;
    pa_time_event* m_retry = nullptr;
    RetryBackoff m_backoff;
    int m_socketTries = 0; // quick tries left after the socket appeared
    QByteArray m_socket;   // empty: nothing to watch
    int m_watchFd = -1;
    int m_folderWatch = -1; // on the socket's folder
    int m_parentWatch = -1; // on its parent, while the folder does not exist
    pa_io_event* m_watchEvent = nullptr;
    std::atomic<int> m_attempts{0};
    std::atomic<double> m_volume; // NaN: none
    std::atomic<int> m_connections{0};
    std::unique_ptr<QObject> m_relay; // lives on the main thread: the notices run there
    std::atomic<bool> m_noticeQueued{false};
};
