// The hot-key recording's key monitor; see HotkeyRecorder.h.
#include "views/settings/HotkeyRecorder.h"

#include "services/SettingsService.h"

#include <QCoreApplication>
#include <QKeyEvent>

HotkeyRecorder::HotkeyRecorder(SettingsService& settings, QObject* parent)
    : QObject(parent)
    , m_settings(settings) {
    connect(&settings, &SettingsService::recordingChanged, this, &HotkeyRecorder::follow);
    follow();
}

HotkeyRecorder::~HotkeyRecorder() {
    if (m_watching)
        if (auto* app = QCoreApplication::instance())
            app->removeEventFilter(this);
}

void HotkeyRecorder::follow() {
    auto* app = QCoreApplication::instance();
    if (!app || m_settings.recording() == m_watching)
        return;
    if (m_settings.recording())
        app->installEventFilter(this);
    else
        app->removeEventFilter(this);
    m_watching = m_settings.recording();
}

bool HotkeyRecorder::eventFilter(QObject* watched, QEvent* event) {
    if (!m_watching || !m_settings.recording())
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::ShortcutOverride) {
        // Accepting the override keeps application shortcuts from taking the combination.
        event->accept();
        return true;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    m_settings.recordKey(key->key(), key->modifiers());
    return true;
}
