// Small helpers shared by the test executables.
#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace TestSupport {

// A temporary folder laid out as a user's home, with HOME and the XDG variables pointing into it.
// Set before the first use of AppPaths in the process.
std::unique_ptr<QTemporaryDir> isolateHome();

// Collects the log lines written while it lives.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    QStringList lines() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

} // namespace TestSupport
