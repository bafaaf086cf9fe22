// The CLIPBOARD selection on a thread of its own; see X11Pasteboard.h. The thread's loop writes what the
// program asked to, serves whole reads, and has each new owner's content read; the selection owner and
// reader do the X side, and what they find is published here under a lock for the main thread.
#include "platform/x11/X11Pasteboard.h"

#include "platform/x11/X11Desktop.h"
#include "platform/x11/X11SelectionLink.h"
#include "platform/x11/X11SelectionOwner.h"
#include "platform/x11/X11SelectionReader.h"

#include <QMutexLocker>
#include <QPointer>

#include <functional>
#include <utility>
#include <vector>

struct X11Pasteboard::Worker {
    struct WholeRequest {
        qsizetype maxBytes = 0;
        std::function<void(WholeText)> deliver; // safe to call from this thread
    };

    X11SelectionLink link;
    X11SelectionOwner owner{link};
    X11SelectionReader reader{link};

    // Shared with the main thread.
    mutable QMutex mutex;
    std::atomic<quint64> count{0};
    std::function<void()> changed; // set before the thread starts; runs on it, with the lock held
    QStringList types;
    std::optional<QString> text;
    bool textCut = false;
    qsizetype lastBytes = 0;
    std::optional<X11SelectionOwner::Content> outgoing[2];
    bool writingNow = false;
    std::vector<WholeRequest> wholeRequests;

    explicit Worker(xcb_connection_t* c)
        : link(c) {
        link.dispatch = [this](const xcb_generic_event_t* e) {
            if (!owner.handle(e))
                reader.handle(e);
        };
    }

    // Publishes what a read found: as the next change, or, for what was there before we started, as the
    // content of the first count.
    void publish(const X11SelectionReader::Content& content, bool isChange) {
        QMutexLocker lock(&mutex);
        types = content.types;
        text = content.text;
        textCut = content.textCut;
        lastBytes = content.bytes;
        if (isChange) {
            count.fetch_add(1);
            if (changed)
                changed();
        }
    }

    WholeText readWhole(qsizetype maxBytes) {
        if (std::optional<WholeText> mine = owner.wholeText(maxBytes))
            return *mine;
        QStringList offered;
        {
            QMutexLocker lock(&mutex);
            offered = types;
        }
        return reader.readWhole(maxBytes, offered);
    }

    void write() {
        std::optional<X11SelectionOwner::Content> values[2];
        {
            QMutexLocker lock(&mutex);
            for (int i : {X11SelectionOwner::kClipboard, X11SelectionOwner::kPrimary})
                values[i] = std::exchange(outgoing[i], std::nullopt);
            writingNow = true;
        }
        const xcb_timestamp_t time = owner.serverTime();
        for (X11SelectionOwner::Selection which :
             {X11SelectionOwner::kClipboard, X11SelectionOwner::kPrimary}) {
            if (!values[which] || !owner.take(which, *values[which], time))
                continue;
            if (which == X11SelectionOwner::kClipboard) {
                QMutexLocker lock(&mutex);
                if (values[which]->files.isEmpty()) {
                    types = QStringList{QStringLiteral("UTF8_STRING"),
                                        QStringLiteral("text/plain;charset=utf-8"), QStringLiteral("STRING")};
                    text = values[which]->text;
                } else {
                    types = QStringList{QStringLiteral("text/uri-list"),
                                        QStringLiteral("x-special/gnome-copied-files")};
                    text.reset();
                }
                textCut = false;
            }
        }
        QMutexLocker lock(&mutex);
        writingNow = false;
    }

    void run() {
        if (const std::optional<X11SelectionReader::Content> first = reader.readFirst())
            publish(*first, false);
        while (!link.stop) {
            link.dispatchPending();
            bool writeNow = false;
            std::vector<WholeRequest> requests;
            {
                QMutexLocker lock(&mutex);
                writeNow = outgoing[X11SelectionOwner::kClipboard] || outgoing[X11SelectionOwner::kPrimary];
                requests.swap(wholeRequests);
            }
            if (writeNow) {
                write();
                continue;
            }
            for (WholeRequest& r : requests)
                r.deliver(readWhole(r.maxBytes));
            if (!requests.empty())
                continue;
            if (reader.ownerChanged()) {
                publish(reader.readChange(), true);
                continue;
            }
            if (!link.waitForInput(reader.expireDrains()))
                break;
        }
    }
};

std::unique_ptr<X11Pasteboard> X11Pasteboard::create() {
    xcb_connection_t* c = X11Desktop::openPrivateConnection();
    if (!c)
        return nullptr;
    auto worker = std::make_unique<Worker>(c);
    if (!worker->link.setUp())
        return nullptr;
    std::unique_ptr<X11Pasteboard> board(new X11Pasteboard);
    board->m_relay = std::make_unique<QObject>();
    // Each new content is announced from the main thread; a notice still queued when the board goes
    // dies with the relay.
    X11Pasteboard* self = board.get();
    worker->changed = [relay = board->m_relay.get(), self] {
        QMetaObject::invokeMethod(
            relay, [self] { self->m_changeNotice.notify(); }, Qt::QueuedConnection);
    };
    board->m_worker = std::move(worker);
    board->m_thread = std::thread([w = board->m_worker.get()] { w->run(); });
    return board;
}

X11Pasteboard::X11Pasteboard() = default;

X11Pasteboard::~X11Pasteboard() {
    if (m_worker) {
        m_worker->link.stop = true;
        m_worker->link.wake();
    }
    if (m_thread.joinable())
        m_thread.join();
}

quint64 X11Pasteboard::changeCount() const {
    return m_worker->count.load(std::memory_order_acquire);
}

QStringList X11Pasteboard::types() const {
    QMutexLocker lock(&m_worker->mutex);
    return m_worker->types;
}

std::optional<QString> X11Pasteboard::text() const {
    QMutexLocker lock(&m_worker->mutex);
    return m_worker->text;
}

bool X11Pasteboard::textIsCut() const {
    QMutexLocker lock(&m_worker->mutex);
    return m_worker->textCut;
}

void X11Pasteboard::readWholeText(qsizetype maxBytes, QObject* context, std::function<void(WholeText)> done) {
    // The answer crosses to the main thread through the relay, which outlives the thread; the caller's
    // context is looked at only there.
    QObject* relay = m_relay.get();
    auto deliver = [relay, context = QPointer<QObject>(context), done = std::move(done)](WholeText whole) {
        QMetaObject::invokeMethod(
            relay,
            [context, done, whole = std::move(whole)] {
                if (context)
                    done(whole);
            },
            Qt::QueuedConnection);
    };
    {
        QMutexLocker lock(&m_worker->mutex);
        m_worker->wholeRequests.push_back({maxBytes, std::move(deliver)});
    }
    m_worker->link.wake();
}

void X11Pasteboard::writeText(const QString& text) {
    {
        QMutexLocker lock(&m_worker->mutex);
        m_worker->outgoing[X11SelectionOwner::kClipboard] = X11SelectionOwner::Content{text, {}};
    }
    m_worker->link.wake();
}

void X11Pasteboard::writePrimary(const QString& text) {
    {
        QMutexLocker lock(&m_worker->mutex);
        m_worker->outgoing[X11SelectionOwner::kPrimary] = X11SelectionOwner::Content{text, {}};
    }
    m_worker->link.wake();
}

void X11Pasteboard::writeFiles(const QStringList& paths) {
    {
        QMutexLocker lock(&m_worker->mutex);
        m_worker->outgoing[X11SelectionOwner::kClipboard] = X11SelectionOwner::Content{{}, paths};
    }
    m_worker->link.wake();
}

bool X11Pasteboard::writing() const {
    QMutexLocker lock(&m_worker->mutex);
    return m_worker->writingNow || m_worker->outgoing[X11SelectionOwner::kClipboard] ||
           m_worker->outgoing[X11SelectionOwner::kPrimary];
}

qsizetype X11Pasteboard::lastReadBytes() const {
    QMutexLocker lock(&m_worker->mutex);
    return m_worker->lastBytes;
}

int X11Pasteboard::drainingTransfers() const {
    return m_worker->reader.drainingTransfers();
}
