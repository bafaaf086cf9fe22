// A key-grab backend that records its calls and lets a test press combinations or refuse them.
#pragma once

#include "platform/KeyGrabBackend.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <map>
#include <utility>

class FakeKeyGrabBackend final : public KeyGrabBackend {
public:
    bool grab(quint32 id, quint32 keyCode, quint32 modifiers) override {
        calls << QStringLiteral("grab %1 %2 0x%3").arg(id).arg(keyCode).arg(modifiers, 0, 16);
        if (taken.contains({keyCode, modifiers}))
            return false;
        grabs[id] = {keyCode, modifiers};
        return true;
    }
    void ungrab(quint32 id) override {
        calls << QStringLiteral("ungrab %1").arg(id);
        grabs.erase(id);
    }
    void releaseKeyboard() override { ++releases; }

    // What a physical press of the combination does: reported for whichever id holds it.
    void press(quint32 keyCode, quint32 modifiers) {
        for (const auto& [id, combo] : grabs) {
            if (combo == std::make_pair(keyCode, modifiers))
                reportPress(id);
        }
    }
    // A press reported for an id whatever is grabbed (a stale or stray event).
    void reportRaw(quint32 id) { reportPress(id); }

    QStringList calls;
    int releases = 0;                        // calls of releaseKeyboard()
    QSet<std::pair<quint32, quint32>> taken; // combinations another client holds
    std::map<quint32, std::pair<quint32, quint32>> grabs;
};
