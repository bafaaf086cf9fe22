// The desktop's clipboard (the CLIPBOARD selection on X11; never the primary selection) as the clipboard
// history sees it: a change counter, what the current content offers, its plain text, and a way to put
// plain text there.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

class Pasteboard {
public:
    Pasteboard() = default;
    virtual ~Pasteboard() = default;
    Pasteboard(const Pasteboard&) = delete;
    Pasteboard& operator=(const Pasteboard&) = delete;

    // Grows each time the clipboard gets a new content from another program. Content this object puts
    // there with writeText() does not count. Cheap enough to ask every second: it never waits on the
    // window system.
    virtual quint64 changeCount() const = 0;

    // The formats the current content offers (MIME types or target names, as the owner
    // named them). Empty when there is no content or it could not be read.
    virtual QStringList types() const = 0;

    // The plain text of the current content; nothing when it has none (or it has not been read yet). A very
    // long text may come cut short (at a character boundary), never longer than the owner sent.
    virtual std::optional<QString> text() const = 0;

    // Replaces the clipboard's content by `text` as plain text, taking it over from its owner.
    virtual void writeText(const QString& text) = 0;
};

// A desktop without a clipboard: nothing ever changes and writes are dropped.
class NoPasteboard final : public Pasteboard {
public:
    quint64 changeCount() const override { return 0; }
    QStringList types() const override { return {}; }
    std::optional<QString> text() const override { return std::nullopt; }
    void writeText(const QString&) override {}
};
