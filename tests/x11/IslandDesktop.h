// What the tests of the built program read off its desktop through the X tools: the active and the
// focused window, a visible window by its title, and whether the island is open; and the terminal they
// type into and the program they start.
#pragma once

#include "fakes/DesktopSession.h"
#include "fakes/TestChecks.h"
#include "fakes/TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <functional>

namespace IslandDesktop {

inline const QString kIsland = QStringLiteral("Quillbay island");

inline bool xdotool(const QStringList& args, QString* out = nullptr) {
    return DesktopSession::run(QStringLiteral("xdotool"), args, out);
}

inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 10000) {
    return TestSupport::pollUntil(condition, timeoutMs);
}

// The window the window manager calls active (_NET_ACTIVE_WINDOW); 0 when none.
inline quint32 activeWindow() {
    QString out;
    return xdotool({"getactivewindow"}, &out) ? out.trimmed().toUInt() : 0;
}

// The window that holds the X keyboard focus, whatever the window manager says; 0 when none.
inline quint32 focusedWindow() {
    QString out;
    return xdotool({"getwindowfocus"}, &out) ? out.trimmed().toUInt() : 0;
}

inline quint32 visibleWindow(const QString& name) {
    QString out;
    return xdotool({"search", "--onlyvisible", "--name", QStringLiteral("^%1$").arg(name)}, &out)
               ? out.trimmed().split(u'\n').first().toUInt()
               : 0;
}

// The island's drawn outline: 640 wide while open.
inline int islandWidth() {
    QString out;
    if (!DesktopSession::run(QStringLiteral("xwininfo"), {"-shape", "-name", kIsland}, &out))
        return -1;
    const auto m = QRegularExpression(QStringLiteral("shape extents:\\s+(\\d+)x")).match(out);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

inline bool islandOpen() {
    return islandWidth() == 640;
}

inline bool islandClosed() {
    const int w = islandWidth();
    return w > 0 && w < 640;
}

inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Presses `keys` whatever modifiers an earlier step left down.
inline bool hotKey(const QString& keys) {
    return xdotool({"key", "--clearmodifiers", keys});
}

// An xterm titled "typing-target" whose `cat` writes what is typed into it to `file`; true once its
// window shows (`*window`) and cat reads.
[[nodiscard]] inline bool startTypingTerminal(QProcess& xterm, const QString& file, quint32* window) {
    return TestSupport::passes([&] {
        xterm.setProcessChannelMode(QProcess::MergedChannels);
        xterm.start(QStringLiteral("xterm"), {"-title", "typing-target", "-geometry", "80x10+100+400", "-e",
                                              "sh", "-c", QStringLiteral("cat > '%1'").arg(file)});
        QVERIFY(xterm.waitForStarted(5000));
        QVERIFY(waitUntil([&] { return (*window = visibleWindow(QStringLiteral("typing-target"))); }));
        QVERIFY(waitUntil([&] { return QFile::exists(file); })); // cat is reading
    });
}

// The built program at `binary`, started; true once its island shows, closed.
[[nodiscard]] inline bool startProgram(QProcess& program, const QString& binary) {
    return TestSupport::passes([&] {
        program.setProgram(binary);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start();
        QVERIFY(program.waitForStarted(5000));
        QVERIFY(waitUntil(islandClosed, 15000));
    });
}

} // namespace IslandDesktop
