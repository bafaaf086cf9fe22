#include "fakes/TestSupport.h"

#include "services/Log.h"

#include <QDir>
#include <QMutex>

namespace TestSupport {

std::unique_ptr<QTemporaryDir> isolateHome() {
    auto dir = std::make_unique<QTemporaryDir>();
    const QString home = dir->path();
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_DATA_HOME", (home + "/.local/share").toUtf8());
    qputenv("XDG_STATE_HOME", (home + "/.local/state").toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + "/.config").toUtf8());
    qputenv("XDG_RUNTIME_DIR", (home + "/run").toUtf8());
    QDir(home).mkpath("run");
    QFile::setPermissions(home + "/run",
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return dir;
}

struct LogCapture::State {
    QMutex mutex;
    QStringList lines;
};

LogCapture::LogCapture()
    : m_state(std::make_shared<State>()) {
    auto state = m_state;
    Log::setCapture([state](const QString& line) {
        QMutexLocker lock(&state->mutex);
        state->lines << line;
    });
}

LogCapture::~LogCapture() {
    Log::setCapture({});
}

QStringList LogCapture::lines() const {
    QMutexLocker lock(&m_state->mutex);
    return m_state->lines;
}

} // namespace TestSupport
