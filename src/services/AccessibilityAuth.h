// Whether the quick-paste picker may type into the previous application, and the one-time explanation
// shown before asking for it.
#pragma once

#include <QObject>

#include <functional>

class Defaults;
class TrustProbe;

class AccessibilityAuth : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isTrusted READ isTrusted NOTIFY isTrustedChanged)
public:
    static inline const QString promptedKey = QStringLiteral("clipboardAccessibilityPrompted");

    // Shows the explanation (title, text and the two buttons below) and returns true for "Continue".
    using Explanation = std::function<bool()>;

    // Asks the probe once: on X11 the answer cannot change while the display connection lives.
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

signals:
    // Declared for the property's observers; the answer is fixed for the program's life.
    void isTrustedChanged(bool isTrusted);

private:
    Defaults& m_defaults;
    Explanation m_explanation;
    const bool m_isTrusted;
};
