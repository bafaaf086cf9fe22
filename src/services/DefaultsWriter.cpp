// The worker loop takes the newest snapshot, writes it through writePrivate (temporary file 0600, fsync,
// rename), and repeats until nothing is queued.
#include "services/DefaultsWriter.h"

#include "services/AppPaths.h"
#include "services/Log.h"

DefaultsWriter::DefaultsWriter(QString path)
    : m_path(std::move(path)) {
    m_pool.setMaxThreadCount(1);
    // The thread goes away after a quiet spell, so an idle program holds no extra thread.
    m_pool.setExpiryTimeout(5000);
}

DefaultsWriter::~DefaultsWriter() {
    waitForIdle();
    m_pool.waitForDone();
}

void DefaultsWriter::submit(QByteArray bytes) {
    std::lock_guard lock(m_mutex);
    m_queued = std::move(bytes);
    if (m_running)
        return; // the running loop picks it up when its write ends
    m_running = true;
    m_pool.start([this] { drain(); });
}

void DefaultsWriter::drain() {
    std::unique_lock lock(m_mutex);
    while (m_queued) {
        const QByteArray bytes = std::move(*m_queued);
        m_queued.reset();
        lock.unlock();
        QString error;
        const bool ok = AppPaths::writePrivate(bytes, m_path, &error);
        if (!ok)
            Log::line(QStringLiteral("defaults: could not write %1: %2").arg(m_path, error));
        lock.lock();
        m_lastOk = ok;
        ++m_writesDone;
    }
    m_running = false;
    m_idle.notify_all();
}

bool DefaultsWriter::waitForIdle() {
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_running && !m_queued; });
    return m_lastOk;
}

int DefaultsWriter::writesDone() const {
    std::lock_guard lock(m_mutex);
    return m_writesDone;
}
