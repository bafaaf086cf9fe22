// Whether the quick-paste picker may type into the previous application, and the one-time explanation
// shown before asking for it.
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

class Defaults;
class TrustProbe;

class AccessibilityAuth : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isTrusted READ isTrusted NOTIFY isTrustedChanged)
public:
    static constexpr int pollIntervalMs = 2000;
    static inline const QString promptedKey = QStringLiteral("clipboardAccessibilityPrompted");

    // Shows the explanation (title, text and the two buttons below) and returns true for "Continue".
    using Explanation = std::function<bool()>;

    AccessibilityAuth(TrustProbe& probe, Defaults& defaults, QObject* parent = nullptr);

    bool isTrusted() const { return m_isTrusted; }

    // Untrusted: explains once why the permission is wanted. The explanation is marked as shown before
    // it appears, whatever the answer.
    void request();

    void setExplanation(Explanation explanation) { m_explanation = std::move(explanation); }

    // The explanation's texts, for the view that shows it.
    static QString explanationMessage();
    static QString explanationText();
    static QString continueButton();
    static QString notNowButton();

public slots:
    // Re-reads the probe; runs every 2 s.
    void poll();

signals:
    void isTrustedChanged(bool isTrusted);

private:
    TrustProbe& m_probe;
    Defaults& m_defaults;
    Explanation m_explanation;
    QTimer m_timer;
    bool m_isTrusted = false;
};
