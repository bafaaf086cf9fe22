// A key-grab backend that records its calls and lets a test press combinations or refuse them.
#pragma once

#include "platform/KeyGrabBackend.h"

#include <QKeyCombination>
#include <QKeySequence>
#include <QList>
#include <QString>
#include <QStringList>

#include <map>

class FakeKeyGrabBackend final : public KeyGrabBackend {
public:
    // How calls name a combination: "Ctrl+Alt+N", "Meta+Shift+V", "Ctrl+Num+5".
    static QString name(Qt::Key key, Qt::KeyboardModifiers modifiers) {
        return QKeySequence(QKeyCombination(modifiers, key)).toString(QKeySequence::PortableText);
    }

    bool grab(quint32 id, Qt::Key key, Qt::KeyboardModifiers modifiers) override {
        calls << QStringLiteral("grab %1 %2").arg(id).arg(name(key, modifiers));
        const QKeyCombination combination(modifiers, key);
        if (taken.contains(combination))
            return false;
        grabs[id] = combination;
        return true;
    }
    void ungrab(quint32 id) override {
        calls << QStringLiteral("ungrab %1").arg(id);
        grabs.erase(id);
    }
    void setPressHandler(PressHandler handler) override { m_pressHandler = std::move(handler); }
    void releaseKeyboard() override { ++releases; }

    // What a physical press of the combination does: reported for whichever id holds it.
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers) {
        const QKeyCombination combination(modifiers, key);
        for (const auto& [id, held] : grabs) {
            if (held == combination)
                reportPress(id);
        }
    }
    // A press reported for an id whatever is grabbed (a stale or stray event).
    void reportRaw(quint32 id) { reportPress(id); }

    QStringList calls;
    int releases = 0;             // calls of releaseKeyboard()
    QList<QKeyCombination> taken; // combinations another client holds
    std::map<quint32, QKeyCombination> grabs;

private:
    void reportPress(quint32 id) const {
        if (m_pressHandler)
            m_pressHandler(id);
    }

    PressHandler m_pressHandler;
};
