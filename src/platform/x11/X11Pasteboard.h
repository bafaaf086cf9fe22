// The CLIPBOARD selection read and written by a thread of its own on a private X connection, so that an
// owner that answers slowly, never, or with megabytes cannot hold up the program's main thread.
#pragma once

#include "platform/ChangeNotice.h"
#include "platform/Pasteboard.h"

#include <QByteArray>
#include <QMutex>

#include <atomic>
#include <memory>
#include <thread>

class X11Pasteboard final : public Pasteboard {
public:
    // Most bytes of text taken from one owner for the history: far more than 10000 characters need, far
    // less than a hostile owner may offer. The rest is received and dropped (the owner cannot be told to
    // stop), never kept.
    static constexpr qsizetype kMaxTextBytes = 4 * 1024 * 1024;
    // Longest wait for an owner's first answers (the list of formats and the text together), and then
    // between two parts of a long text.
    static constexpr int kReadTimeoutMs = 1500;
    // Longest a read for the history takes in all, however steadily the owner sends.
    static constexpr int kReadCapMs = 5000;
    // Longest a whole read takes in all.
    static constexpr int kWholeReadCapMs = 30000;
    // A transfer no longer wanted is still received to its end, as the owner expects; its window goes
    // when the owner ends it, or once the owner has sent nothing for this long.
    static constexpr int kDrainIdleMs = 10000;

    // Null away from X11, or when the server cannot report owner changes (no XFixes).
    static std::unique_ptr<X11Pasteboard> create();
    ~X11Pasteboard() override;

    quint64 changeCount() const override;
    QStringList types() const override;
    std::optional<QString> text() const override;
    bool textIsCut() const override;
    void readWholeText(qsizetype maxBytes, QObject* context, std::function<void(WholeText)> done) override;
    void writeText(const QString& text) override;
    void writePrimary(const QString& text) override;
    void writeFiles(const QStringList& paths) override;
    void setChangeHandler(std::function<void()> handler) override { m_changeNotice.set(std::move(handler)); }
    bool writing() const override;

    // What one transfer read, for tests: how many bytes arrived before the limit or the time-out.
    qsizetype lastReadBytes() const;
    // How many unwanted transfers are still being received to their end, for tests.
    int drainingTransfers() const;

private:
    struct Worker;
    X11Pasteboard();

    ChangeNotice m_changeNotice;
    std::unique_ptr<QObject> m_relay; // hands the thread's answers to the main thread
    std::unique_ptr<Worker> m_worker;
    std::thread m_thread;
};
