// A clipboard a test fills by hand; each copy() is one change, as a copy in another program would be.
#pragma once

#include "platform/ChangeNotice.h"
#include "platform/Pasteboard.h"

class FakePasteboard final : public Pasteboard {
public:
    void setChangeHandler(std::function<void()> handler) override { m_changeNotice.set(std::move(handler)); }
    quint64 changeCount() const override {
        ++countReads;
        return count;
    }
    QStringList types() const override { return currentTypes; }
    std::optional<QString> text() const override {
        ++textReads;
        return currentText;
    }
    bool textIsCut() const override { return wholeText.has_value(); }
    // Answers with the whole text the test gave (else the current one) on the next turn of the event loop.
    void readWholeText(qsizetype maxBytes, QObject* context, std::function<void(WholeText)> done) override {
        ++wholeReads;
        const std::optional<QString> whole = wholeText ? wholeText : currentText;
        WholeText answer;
        if (answerTooLarge || (whole && whole->toUtf8().size() > maxBytes))
            answer.tooLarge = true;
        else if (!answerNothing)
            answer.text = whole;
        QMetaObject::invokeMethod(
            context, [done = std::move(done), answer] { done(answer); }, Qt::QueuedConnection);
    }
    void writeText(const QString& text) override {
        currentText = text;
        currentTypes = {QStringLiteral("text/plain")};
        wholeText.reset();
        written.append(text);
    }
    void writePrimary(const QString& text) override { primary.append(text); }
    void writeFiles(const QStringList& paths) override {
        currentText.reset();
        currentTypes = {QStringLiteral("text/uri-list"), QStringLiteral("x-special/gnome-copied-files")};
        wholeText.reset();
        writtenFiles.append(paths);
    }
    bool writing() const override { return busy; }

    // Another program copies `text` (none: a content without text, such as an image).
    void copy(std::optional<QString> text, QStringList types = {QStringLiteral("text/plain")}) {
        currentText = std::move(text);
        currentTypes = std::move(types);
        wholeText.reset();
        ++count;
    }
    // The desktop's notice of the copies made so far, as the X server sends one per new owner.
    void announce() { m_changeNotice.notify(); }
    // Another program copies a text longer than the reading limit: text() gives only `start` of `whole`.
    void copyLong(const QString& start, const QString& whole) {
        copy(start);
        wholeText = whole;
    }

    quint64 count = 7;
    std::optional<QString> currentText;
    std::optional<QString> wholeText;
    QStringList currentTypes;
    QStringList written;
    QStringList primary;
    QList<QStringList> writtenFiles;
    bool answerTooLarge = false; // whole reads find the text longer than asked for
    bool answerNothing = false;  // whole reads end without the text (the owner stopped answering)
    bool busy = false;
    mutable int countReads = 0;
    mutable int textReads = 0;
    int wholeReads = 0;

private:
    ChangeNotice m_changeNotice;
};
