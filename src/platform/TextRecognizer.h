// Text recognition in a picture, for Portuguese (Brazil) and English.
#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

class CancelSignal;

class TextRecognizer {
public:
    TextRecognizer() = default;
    virtual ~TextRecognizer() = default;
    Q_DISABLE_COPY_MOVE(TextRecognizer)

    // The lines of text in the image file at `path`, trimmed and joined with "\n"; nothing when no line was
    // found or the file cannot be read. Slow (up to seconds): called on a worker thread, and safe to call
    // from several threads at once. Once `cancel` is raised, a recognition under way stops and gives
    // nothing.
    virtual std::optional<QString> recognize(const QString& path, const CancelSignal* cancel = nullptr) = 0;
};

// No recogniser: no image holds any text.
class NoTextRecognizer final : public TextRecognizer {
public:
    std::optional<QString> recognize(const QString&, const CancelSignal* = nullptr) override {
        return std::nullopt;
    }
};
