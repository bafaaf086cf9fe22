// What reading one usage report costs quillbay-web, at the sizes it accepts (up to 64 KiB): the server's own
// strict reader (RequestReader, fed the bytes as they come off the connection), the HTTP library's parse of
// the same request handed to it in memory (as the routes get it), and both, as the server does them now.
#include "LibraryRequest.h"
#include "RequestReader.h"
#include "WebService.h"

#ifndef Q_MOC_RUN
#include <httplib.h>
#endif

#include <benchmark/benchmark.h>

#include <string>

namespace {

std::string reportBody(size_t bytes) {
    std::string body = "{\"version\":\"1.3.0\",\"tabs\":{";
    for (int i = 0; body.size() + 32 < bytes; ++i)
        body += "\"tab" + std::to_string(i) + "\":" + std::to_string(i * 7) + ",";
    body.back() = '}';
    body += "}";
    body.resize(bytes, ' ');
    return body;
}

std::string request(const std::string& body) {
    return "POST /api/telemetry HTTP/1.1\r\nHost: quillbay.app\r\nUser-Agent: Quillbay/1.3.0\r\n"
           "Content-Type: application/json\r\nAccept: */*\r\nAccept-Encoding: gzip, deflate\r\n"
           "Accept-Language: en-GB,*\r\nConnection: keep-alive\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

RequestReader reader() {
    return RequestReader({}, [](const RequestHead&) { return WebService::kMaxReportBytes; });
}

// The routes of a server, reached without a socket.
class Routes : public httplib::Server {
public:
    Routes() {
        Post("/api/telemetry", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.body.empty() ? "{\"error\":\"empty\"}" : "{}", "application/json");
        });
    }
    bool answer(const std::string& bytes) {
        BufferStream stream(bytes, "127.0.0.1", 40000);
        bool closed = false;
        return process_request(stream, false, closed, [](httplib::Request&) {}) && !stream.out().empty();
    }
};

// The bytes arrive in pieces of 16 KiB at most, as one TLS read gives them.
bool readAll(RequestReader& r, const std::string& bytes) {
    for (size_t at = 0; at < bytes.size() && r.state() != RequestReader::State::Done;)
        at += r.feed(bytes.data() + at, std::min<size_t>(16 * 1024, bytes.size() - at));
    return r.state() == RequestReader::State::Done;
}

void BM_Reader(benchmark::State& state) {
    const std::string bytes = request(reportBody(size_t(state.range(0))));
    for (auto _ : state) {
        RequestReader r = reader();
        if (!readAll(r, bytes)) {
            state.SkipWithError("not read");
            return;
        }
        benchmark::DoNotOptimize(r.body().data());
    }
    state.SetBytesProcessed(int64_t(state.iterations() * bytes.size()));
}

void BM_Library(benchmark::State& state) {
    const std::string bytes = request(reportBody(size_t(state.range(0))));
    Routes routes;
    for (auto _ : state)
        if (!routes.answer(bytes)) {
            state.SkipWithError("not answered");
            return;
        }
    state.SetBytesProcessed(int64_t(state.iterations() * bytes.size()));
}

void BM_ReaderThenLibrary(benchmark::State& state) {
    const std::string bytes = request(reportBody(size_t(state.range(0))));
    Routes routes;
    for (auto _ : state) {
        RequestReader r = reader();
        if (!readAll(r, bytes) ||
            !routes.answer(LibraryRequest::forwardedHead(r.head(), r.body().size()) + r.body())) {
            state.SkipWithError("not answered");
            return;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations() * bytes.size()));
}

void sizes(benchmark::internal::Benchmark* b) {
    b->Arg(256)->Arg(4 * 1024)->Arg(64 * 1024)->Unit(benchmark::kMicrosecond);
}

} // namespace

BENCHMARK(BM_Reader)->Apply(sizes);
BENCHMARK(BM_Library)->Apply(sizes);
BENCHMARK(BM_ReaderThenLibrary)->Apply(sizes);

BENCHMARK_MAIN();
