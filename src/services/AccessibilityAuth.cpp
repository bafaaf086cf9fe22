// The trust state, read once, and the one-time explanation.
#include "services/AccessibilityAuth.h"

#include "platform/TrustProbe.h"
#include "services/Defaults.h"

AccessibilityAuth::AccessibilityAuth(TrustProbe& probe, Defaults& defaults, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_isTrusted(probe.isTrusted()) {}

void AccessibilityAuth::request() {
    if (m_isTrusted)
        return;
    if (m_defaults.boolValue(promptedKey))
        return; // nothing further to ask: X11 has no permission prompt
    m_defaults.set(promptedKey, true);
    if (m_explanation)
        m_explanation();
}

QString AccessibilityAuth::explanationMessage() {
    return tr("Allow Quillbay to paste for you");
}

QString AccessibilityAuth::explanationText() {
    return tr("To paste automatically when you pick a clipboard item, macOS requires Accessibility access. "
              "Quillbay only uses it to send ⌘V back to the app you were using — it never reads your screen "
              "or keystrokes.");
}

QString AccessibilityAuth::continueButton() {
    return tr("Continue");
}

QString AccessibilityAuth::notNowButton() {
    return tr("Not now");
}
