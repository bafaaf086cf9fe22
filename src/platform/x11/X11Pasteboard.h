// The CLIPBOARD selection read and written by a thread of its own on a private X connection, so that an
// owner that answers slowly, never, or with megabytes cannot hold up the program's main thread.
#pragma once

#include "platform/Pasteboard.h"

#include <QByteArray>
#include <QMutex>

#include <atomic>
#include <memory>
#include <thread>

class X11Pasteboard final : public Pasteboard {
public:
    // Most bytes of text taken from one owner: far more than 10000 characters need, far less than a
    // hostile owner may offer. The rest is never transferred.
    static constexpr qsizetype kMaxTextBytes = 4 * 1024 * 1024;
    // Longest wait for one owner's answers (the list of formats and the text together).
    static constexpr int kReadTimeoutMs = 1500;

    // Null away from X11, or when the server cannot report owner changes (no XFixes).
    static std::unique_ptr<X11Pasteboard> create();
    ~X11Pasteboard() override;

    quint64 changeCount() const override;
    QStringList types() const override;
    std::optional<QString> text() const override;
    void writeText(const QString& text) override;

    // What one transfer read, for tests: how many bytes arrived before the limit or the time-out.
    qsizetype lastReadBytes() const;

private:
    struct Worker;
    X11Pasteboard();

    std::unique_ptr<Worker> m_worker;
    std::thread m_thread;
};
