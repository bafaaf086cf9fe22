// The desktop's clipboard (the CLIPBOARD selection on X11) as the clipboard history sees it: a change
// counter, what the current content offers, its plain text, and a way to put plain text there. The
// primary selection is written only on request, for the programs that paste nothing else from a key.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>
#include <optional>
#include <utility>

class Pasteboard {
public:
    // What a whole read found: the text, or that it is longer than was asked for (then no text).
    struct WholeText {
        std::optional<QString> text;
        bool tooLarge = false;
    };

    Pasteboard() = default;
    virtual ~Pasteboard() = default;
    Q_DISABLE_COPY_MOVE(Pasteboard)

    // Grows each time the clipboard gets a new content from another program. Content this object puts
    // there with writeText() does not count. Never waits on the window system.
    virtual quint64 changeCount() const = 0;

    // Called on the main thread soon after changeCount() grew, once the new content's types and text
    // can be asked for; never from inside another member. Replaces an earlier handler; an empty one
    // stops the calls.
    virtual void setChangeHandler(std::function<void()> handler) = 0;

    // The formats the current content offers (MIME types or target names, as the owner
    // named them). Empty when there is no content or it could not be read.
    virtual QStringList types() const = 0;

    // The plain text of the current content; nothing when it has none (or it has not been read yet). A very
    // long text may come cut short (at a character boundary), never longer than the owner sent.
    virtual std::optional<QString> text() const = 0;
    // Whether text() is only the start of a longer text.
    virtual bool textIsCut() const = 0;

    // Reads the current content's plain text anew and whole, up to `maxBytes` bytes of UTF-8, without
    // blocking the caller; `done` runs later on the main thread, unless `context` is gone by then.
    virtual void readWholeText(qsizetype maxBytes, QObject* context, std::function<void(WholeText)> done) = 0;

    // Replaces the clipboard's content by `text` as plain text, taking it over from its owner.
    virtual void writeText(const QString& text) = 0;
    // Offers `text` as the primary selection too (what Shift+Insert pastes in some terminals).
    virtual void writePrimary(const QString& text) = 0;
    // Replaces the clipboard's content by the files at these absolute paths, to be pasted as copies
    // (text/uri-list, and x-special/gnome-copied-files for the file managers that read only that).
    virtual void writeFiles(const QStringList& paths) = 0;
    // Whether what writeText(), writePrimary() or writeFiles() was given is still on its way to the
    // desktop, so that a paste made now could find the content it replaces.
    virtual bool writing() const = 0;
};

// A desktop without a clipboard: nothing ever changes and writes are dropped.
class NoPasteboard final : public Pasteboard {
public:
    quint64 changeCount() const override { return 0; }
    void setChangeHandler(std::function<void()>) override {}
    QStringList types() const override { return {}; }
    std::optional<QString> text() const override { return std::nullopt; }
    bool textIsCut() const override { return false; }
    void readWholeText(qsizetype, QObject* context, std::function<void(WholeText)> done) override {
        QMetaObject::invokeMethod(
            context, [done = std::move(done)] { done({}); }, Qt::QueuedConnection);
    }
    void writeText(const QString&) override {}
    void writePrimary(const QString&) override {}
    void writeFiles(const QStringList&) override {}
    bool writing() const override { return false; }
};
