// A clipboard a test fills by hand; each copy() is one change, as a copy in another program would be.
#pragma once

#include "platform/Pasteboard.h"

class FakePasteboard final : public Pasteboard {
public:
    quint64 changeCount() const override {
        ++countReads;
        return count;
    }
    QStringList types() const override { return currentTypes; }
    std::optional<QString> text() const override {
        ++textReads;
        return currentText;
    }
    void writeText(const QString& text) override {
        currentText = text;
        currentTypes = {QStringLiteral("text/plain")};
        written.append(text);
    }

    // Another program copies `text` (none: a content without text, such as an image).
    void copy(std::optional<QString> text, QStringList types = {QStringLiteral("text/plain")}) {
        currentText = std::move(text);
        currentTypes = std::move(types);
        ++count;
    }

    quint64 count = 7;
    std::optional<QString> currentText;
    QStringList currentTypes;
    QStringList written;
    mutable int countReads = 0;
    mutable int textReads = 0;
};
