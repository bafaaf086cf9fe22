// Many usage reports arriving at quillbay-web at once, for tests and benchmarks on loopback: each report
// on a connection of its own, from many 127.0.x.y source addresses, all connections opened and their
// requests sent before any answer is read.
#pragma once

#include "fakes/RawTlsClient.h"

#include <QByteArray>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

struct ReportBurst {
    int addresses = 125;
    int perAddress = 16;
    int threads = 25;
    // For the whole burst, so that a server that never answers cannot hold it for long.
    int deadlineMs = 120000;
    std::atomic<int> accepted{0};
    std::atomic<int> failed{0};
    // All connections of every thread have sent their request.
    std::atomic<int> sent{0};

    // A report whose "anon" tells it apart from every other of the burst.
    static QByteArray request(int n) {
        const QByteArray body =
            "{\"anon\":\"" + QByteArray::number(n, 16).rightJustified(16, '0') +
            "\",\"version\":\"1\",\"macos\":\"12\",\"notch\":true,\"minutes\":1,\"opens\":" +
            QByteArray::number(n) + ",\"tabs\":{}}";
        return "POST /api/telemetry HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
               "Content-Length: " +
               QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    }
    static QByteArray source(int address) {
        return "127.0." + QByteArray::number(10 + address / 200) + "." +
               QByteArray::number(1 + address % 200);
    }

    // Runs the burst against 127.0.0.1:`port` and returns when every answer has come or failed.
    void run(int port) {
        QElapsedTimer clock;
        clock.start();
        const auto left = [&] { return std::max(1, deadlineMs - int(clock.elapsed())); };
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t)
            workers.emplace_back([this, port, t, &left] {
                std::vector<std::pair<int, std::unique_ptr<RawTlsClient>>> mine;
                for (int a = t; a < addresses; a += threads)
                    for (int i = 0; i < perAddress; ++i) {
                        const int n = a * perAddress + i;
                        auto c = std::make_unique<RawTlsClient>(source(a), port, left());
                        if (c->ok())
                            c->send(request(n), 16384, left());
                        mine.emplace_back(n, std::move(c));
                    }
                sent += int(mine.size());
                for (auto& [n, c] : mine) {
                    c->answer(left());
                    (c->ok() && c->status() == 200 ? accepted : failed) += 1;
                }
            });
        for (std::thread& w : workers)
            w.join();
    }
};
