// Routes of the maker's web service. A report is answered 200 only after it is committed, so a client
// that saw 200 never loses it; the client's address is neither stored nor logged.
#include "WebService.h"

#include "GuardedServer.h"

#include <httplib.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

namespace {

constexpr double kMaxCount = 9007199254740992.0; // 2^53: larger numbers are not exact in JSON
constexpr int kMaxTextLength = 64;
constexpr int kMaxTabs = 256;

const char kPrivacyPage[] =
    "<!doctype html><html lang=\"en\"><head><meta charset=\"utf-8\"><title>Quillbay privacy</title></head>"
    "<body><h1>Quillbay privacy</h1><p>Quillbay can send one anonymous usage report a day: a random install "
    "id, the app and system versions, how often the island was opened, for how many minutes, and which tabs "
    "were used. No address, name, file or clipboard content is ever sent, and your network address is not "
    "stored. You can switch the report off in Settings, which also erases what was "
    "counted.</p></body></html>";

bool readFile(const std::string& path, std::string* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream s;
    s << in.rdbuf();
    *out = s.str();
    return true;
}

bool isCount(const QJsonValue& v) {
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    return d >= 0 && d <= kMaxCount && std::floor(d) == d;
}

bool isShortText(const QJsonValue& v) {
    return v.isString() && !v.toString().isEmpty() && v.toString().size() <= kMaxTextLength;
}

std::string nowText() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

std::mutex g_logMutex;

GuardedServer::Limits serverLimits(const WebService::Options& o) {
    GuardedServer::Limits l;
    l.requestDeadline = o.requestDeadline;
    l.perAddress = o.connectionsPerAddress;
    l.writeTimeout = o.writeTimeout;
    l.minReadRate = o.minReadRate;
    l.rateWindow = o.rateWindow;
    return l;
}

} // namespace

WebService::WebService(Options options)
    : m_options(std::move(options))
    , m_reports(m_options.db)
    , m_server(std::make_unique<GuardedServer>(m_options.certFile.c_str(), m_options.keyFile.c_str(),
                                               serverLimits(m_options))) {
    routes();
}

WebService::~WebService() {
    stop();
}

std::string WebService::error() const {
    if (!m_server->is_valid())
        return "cannot load the certificate or key";
    if (!m_reports.ok())
        return "cannot open the report database: " + m_reports.error();
    return {};
}

int WebService::bind(const std::string& host, int port) {
    if (!error().empty())
        return -1;
    return m_server->listenOn(host, port);
}

void WebService::run() {
    m_server->serve();
}

void WebService::start() {
    m_thread = std::thread([this] { run(); });
}

void WebService::stop() {
    m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
}

void WebService::log(const std::string& line) {
    if (m_options.log) {
        m_options.log(line);
        return;
    }
    std::lock_guard lock(g_logMutex);
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
}

std::optional<std::string> WebService::validate(const std::string& body, Report* out) {
    if (body.size() > kMaxReportBytes)
        return "body too large";
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(body), &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject())
        return "not a JSON object";
    const QJsonObject o = doc.object();
    static const std::set<QString> keys = {QStringLiteral("anon"),    QStringLiteral("version"),
                                           QStringLiteral("macos"),   QStringLiteral("notch"),
                                           QStringLiteral("minutes"), QStringLiteral("opens"),
                                           QStringLiteral("tabs")};
    if (size_t(o.size()) != keys.size())
        return "wrong keys";
    for (auto it = o.begin(); it != o.end(); ++it)
        if (!keys.count(it.key()))
            return "unknown key " + it.key().toStdString();
    static const QRegularExpression anonRe(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9a-f]{16}")));
    const QJsonValue anon = o.value(QStringLiteral("anon"));
    if (!anon.isString() || !anonRe.match(anon.toString()).hasMatch())
        return "bad anon";
    if (!isShortText(o.value(QStringLiteral("version"))) || !isShortText(o.value(QStringLiteral("macos"))))
        return "bad version";
    if (!o.value(QStringLiteral("notch")).isBool())
        return "bad notch";
    if (!isCount(o.value(QStringLiteral("minutes"))) || !isCount(o.value(QStringLiteral("opens"))))
        return "bad counts";
    const QJsonValue tabs = o.value(QStringLiteral("tabs"));
    if (!tabs.isObject() || tabs.toObject().size() > kMaxTabs)
        return "bad tabs";
    const QJsonObject t = tabs.toObject();
    for (auto it = t.begin(); it != t.end(); ++it)
        if (it.key().isEmpty() || it.key().size() > kMaxTextLength || !isCount(it.value()))
            return "bad tab " + it.key().toStdString();
    if (out) {
        out->anon = anon.toString().toStdString();
        out->version = o.value(QStringLiteral("version")).toString().toStdString();
        out->os = o.value(QStringLiteral("macos")).toString().toStdString();
        out->notch = o.value(QStringLiteral("notch")).toBool();
        out->minutes = int64_t(o.value(QStringLiteral("minutes")).toDouble());
        out->opens = int64_t(o.value(QStringLiteral("opens")).toDouble());
        out->tabsJson = QJsonDocument(t).toJson(QJsonDocument::Compact).toStdString();
    }
    return std::nullopt;
}

std::string WebService::logSafe(const std::string& text) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b >= 0x7f || c == '\\') {
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 0xf];
        } else {
            out += c;
        }
    }
    return out;
}

void WebService::routes() {
    GuardedServer& s = *m_server;
    // Bodies are capped per route before they reach the library; this is a second fence.
    s.set_payload_max_length(kMaxReportBytes);
    // An answer written in pieces would otherwise wait for the client's delayed acknowledgement.
    s.set_tcp_nodelay(true);
    s.setFiles("/downloads", m_options.root + "/downloads",
               [this](const RequestHead& head, const std::string& path, int status, uint64_t bytes) {
                   log(nowText() + " " + logSafe(head.method) + " " + logSafe(path) + " " +
                       std::to_string(status) + " " + std::to_string(bytes));
               });
    // A NUL in a decoded path names nothing served here (downloads refuse it the same way).
    s.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
        if (req.path.find('\0') == std::string::npos)
            return httplib::Server::HandlerResponse::Unhandled;
        res.status = 400;
        res.set_content("bad path\n", "text/plain");
        return httplib::Server::HandlerResponse::Handled;
    });

    s.Get("/version.json", [this](const httplib::Request&, httplib::Response& res) {
        std::string body;
        if (!readFile(m_options.root + "/version.json", &body)) {
            res.status = 404;
            res.set_content("no release", "text/plain");
            return;
        }
        res.set_header("Cache-Control", "no-store");
        res.set_content(body, "application/json");
    });
    s.Get("/privacy.html", [this](const httplib::Request&, httplib::Response& res) {
        std::string body;
        if (!readFile(m_options.root + "/privacy.html", &body))
            body = kPrivacyPage;
        res.set_content(body, "text/html; charset=utf-8");
    });
    // Reports are taken before the library's routing: each is answered only once the batch holding it
    // is on disk, and no thread waits for that meanwhile.
    s.setTaker([this](const GuardedServer::Request& req, const GuardedServer::Reply& reply) {
        if (req.head.method != "POST" || req.head.path() != "/api/telemetry")
            return false;
        const std::string line = logSafe(req.head.method) + " " + logSafe(req.head.path()) + " ";
        const auto answer = [this, reply, line](int status, const std::string& body) {
            reply(status, "application/json", body);
            log(nowText() + " " + line + std::to_string(status) + " " + std::to_string(body.size()));
        };
        const std::string type = req.head.header("content-type");
        const std::string mime = type.substr(0, type.find(';'));
        if (mime != "application/json") {
            answer(400, "{\"error\":\"content type\"}");
            return true;
        }
        Report report;
        if (const auto why = validate(req.body, &report)) {
            answer(400, "{\"error\":\"invalid report\"}");
            return true;
        }
        const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
        m_reports.submit(std::move(report), now, [answer](bool stored) {
            if (stored)
                answer(200, "{}");
            else
                answer(500, "{\"error\":\"not stored\"}");
        });
        return true;
    });
    s.setBodyLimit([](const RequestHead& head) {
        return head.method == "POST" && head.path() == "/api/telemetry" ? kMaxReportBytes : size_t(0);
    });
    s.setRefusalLog([this](const RequestHead& head, int status) {
        const std::string body = std::to_string(status) + "\n";
        log(nowText() + " " + (head.method.empty() ? std::string("-") : logSafe(head.method)) + " " +
            (head.target.empty() ? std::string("-") : logSafe(head.path())) + " " + std::to_string(status) +
            " " + std::to_string(body.size()));
    });
    s.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty())
            res.set_content(std::to_string(res.status) + "\n", "text/plain");
    });
    s.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
        log(nowText() + " " + logSafe(req.method) + " " + logSafe(req.path) + " " +
            std::to_string(res.status) + " " + std::to_string(res.body.size()));
    });
}
