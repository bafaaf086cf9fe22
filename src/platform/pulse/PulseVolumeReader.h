// The output volume from a Pulse sound server (PulseAudio, or PipeWire's Pulse server). The server's
// own notices keep a cached level current on the library's thread, so a read never waits on the server,
// and each new level is announced on the main thread.
#pragma once

#include "platform/VolumeReader.h"

#include <QByteArray>

#include <atomic>
#include <memory>

class QObject;

struct pa_context;
struct pa_mainloop_api;
struct pa_threaded_mainloop;
struct pa_time_event;
struct pa_server_info;
struct pa_sink_info;
struct timeval;

class PulseVolumeReader final : public VolumeReader {
public:
    // `server` as the library takes it ("unix:/run/user/1000/pulse/native"); empty: the user's default.
    explicit PulseVolumeReader(QByteArray server = {});
    ~PulseVolumeReader() override;

    std::optional<double> readVolume() override;

    // How many times a connection has become ready; for tests of the reconnection.
    int connections() const { return m_connections.load(); }

    // The first wait before connecting again after the server went away, and the longest one.
    static constexpr int kFirstRetryMs = 250;
    static constexpr int kLongestRetryMs = 8000;

private:
    // Everything below runs on the library's thread with its lock held.
    void connect();
    void scheduleReconnect();
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
    int m_retryMs = kFirstRetryMs;
    std::atomic<double> m_volume; // NaN: none
    std::atomic<int> m_connections{0};
    std::unique_ptr<QObject> m_relay; // lives on the main thread: the notices run there
    std::atomic<bool> m_noticeQueued{false};
};
