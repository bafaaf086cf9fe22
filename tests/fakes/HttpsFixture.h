// An HTTPS server on a loopback address, on a thread of its own, with answers set per path by the test:
// a status and body, a redirect, or a file streamed from disk. Used only by tests that link cpp-httplib.
#pragma once

// moc loses its way in this header; it needs nothing from it.
#ifndef Q_MOC_RUN
#include <httplib.h>
#endif

#include <QByteArray>
#include <QString>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>

class HttpsFixture {
public:
    struct Answer {
        int status = 200;
        std::string body;
        std::string contentType = "application/json";
        std::string location; // a redirect when set
        std::string file;     // streamed from this file when set
        size_t cutAfter = 0;  // with a file: the connection ends after this many bytes (0: never)
    };

    HttpsFixture(const QString& cert, const QString& key, const std::string& host = "127.0.0.1")
        : m_server(cert.toLocal8Bit().constData(), key.toLocal8Bit().constData())
        , m_host(host) {
        m_server.Get(".*", [this](const httplib::Request& req, httplib::Response& res) { answer(req, res); });
        m_port = m_server.bind_to_any_port(host.c_str());
        if (m_port > 0)
            m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~HttpsFixture() {
        m_server.stop();
        if (m_thread.joinable())
            m_thread.join();
    }

    bool ok() const { return m_port > 0; }
    int port() const { return m_port; }
    QString authority() const { return QString::fromStdString(m_host) + ':' + QString::number(m_port); }
    QString url(const QString& path) const { return "https://" + authority() + path; }

    void set(const std::string& path, Answer a) {
        std::lock_guard lock(m_mutex);
        m_answers[path] = std::move(a);
    }
    void set(const std::string& path, int status, const QByteArray& body,
             const std::string& type = "application/json") {
        set(path, Answer{status, body.toStdString(), type, {}, {}});
    }
    void clear() {
        std::lock_guard lock(m_mutex);
        m_answers.clear();
        m_hits.clear();
    }
    int hits(const std::string& path) {
        std::lock_guard lock(m_mutex);
        return m_hits[path];
    }

private:
    void answer(const httplib::Request& req, httplib::Response& res) {
        Answer a;
        {
            std::lock_guard lock(m_mutex);
            ++m_hits[req.path];
            auto it = m_answers.find(req.path);
            if (it == m_answers.end()) {
                res.status = 404;
                res.set_content("<html>not here</html>", "text/html");
                return;
            }
            a = it->second;
        }
        if (!a.location.empty()) {
            res.set_redirect(a.location, a.status == 200 ? 302 : a.status);
            return;
        }
        res.status = a.status;
        if (!a.file.empty()) {
            auto in = std::make_shared<std::ifstream>(a.file, std::ios::binary);
            in->seekg(0, std::ios::end);
            const size_t size = size_t(in->tellg());
            in->seekg(0);
            const size_t cut = a.cutAfter;
            res.set_content_provider(size, "application/x-xz",
                                     [in, cut](size_t offset, size_t length, httplib::DataSink& sink) {
                                         // Past the cut the provider gives up: the connection closes
                                         // with the body short of its announced length.
                                         if (cut > 0 && offset >= cut)
                                             return false;
                                         if (cut > 0)
                                             length = std::min(length, cut - offset);
                                         std::string buf(std::min<size_t>(length, 1 << 16), '\0');
                                         in->seekg(std::streamoff(offset));
                                         in->read(buf.data(), std::streamsize(buf.size()));
                                         sink.write(buf.data(), size_t(in->gcount()));
                                         return in->gcount() > 0;
                                     });
            return;
        }
        res.set_content(a.body, a.contentType.c_str());
    }

    httplib::SSLServer m_server;
    std::string m_host;
    int m_port = -1;
    std::thread m_thread;
    std::mutex m_mutex;
    std::map<std::string, Answer> m_answers;
    std::map<std::string, int> m_hits;
};
