// The terminals and how each pastes from the keyboard.
#include "platform/PasteKeys.h"

#include <array>

namespace {

// Class or instance names, lower-cased, of terminals that paste the primary selection with Shift+Insert
// and bind nothing to Control+Shift+V.
constexpr std::array kPrimaryTerminals{
    "xterm",          "uxterm",       "koi8rxterm", "lxterm", "urxvt", "rxvt",
    "urxvt-256color", "rxvt-unicode", "aterm",      "eterm",  "mrxvt", "mlterm",
};

// Class or instance names, lower-cased, of terminals that paste the clipboard with Control+Shift+V.
constexpr std::array kClipboardTerminals{
    "gnome-terminal",
    "gnome-terminal-server",
    "org.gnome.terminal",
    "konsole",
    "org.kde.konsole",
    "xfce4-terminal",
    "tilix",
    "com.gexperts.tilix",
    "terminator",
    "kitty",
    "alacritty",
    "org.wezfurlong.wezterm",
    "wezterm",
    "st",
    "st-256color",
    "stterm",
    "stterm-256color",
    "foot",
    "footclient",
    "lxterminal",
    "mate-terminal",
    "qterminal",
    "sakura",
    "terminology",
    "guake",
    "tilda",
    "yakuake",
    "kgx",
    "org.gnome.console",
    "ptyxis",
    "org.gnome.ptyxis",
    "blackbox",
    "com.raggesilver.blackbox",
    "roxterm",
    "termite",
    "cool-retro-term",
    "deepin-terminal",
    "ghostty",
    "com.mitchellh.ghostty",
    "contour",
    "tabby",
    "hyper",
    "rio",
    "extraterm",
    "cosmic-term",
    "com.system76.cosmicterm",
};

template <std::size_t N> bool listed(const std::array<const char*, N>& names, const QString& name) {
    for (const char* n : names) {
        if (name == QLatin1String(n))
            return true;
    }
    return false;
}

} // namespace

PasteKeys PasteKeysFor::window(const QString& instance, const QString& className) {
    const QString names[] = {className.toLower(), instance.toLower()};
    for (const QString& name : names) {
        if (listed(kPrimaryTerminals, name))
            return PasteKeys::shiftInsert;
    }
    for (const QString& name : names) {
        if (listed(kClipboardTerminals, name))
            return PasteKeys::controlShiftV;
    }
    // Terminals not listed mostly say so in their name ("Xfce4-terminal", "lxterminal", ...).
    for (const QString& name : names) {
        if (name.contains(QLatin1String("terminal")))
            return PasteKeys::controlShiftV;
    }
    return PasteKeys::controlV;
}
