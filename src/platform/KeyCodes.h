// The one table between stored hot-key codes (macOS virtual key codes and modifier-flag bits, kept so
// that stored settings stay portable), Qt keys and X keysyms.
#pragma once

#include <QString>
#include <Qt>

#include <cstdint>
#include <optional>

namespace KeyCodes {

// Modifier-flag bits of the stored form.
inline constexpr quint32 shiftFlag = 0x20000;
inline constexpr quint32 controlFlag = 0x40000;
inline constexpr quint32 optionFlag = 0x80000;
inline constexpr quint32 commandFlag = 0x100000;
inline constexpr quint32 modifierMask = shiftFlag | controlFlag | optionFlag | commandFlag;

// Registration modifier mask (one bit per modifier, as hot-key registrations take it).
inline constexpr quint32 carbonCommand = 0x100;
inline constexpr quint32 carbonShift = 0x200;
inline constexpr quint32 carbonOption = 0x800;
inline constexpr quint32 carbonControl = 0x1000;

// Virtual key codes with a meaning of their own.
inline constexpr int keyReturn = 36;
inline constexpr int keyTab = 48;
inline constexpr int keySpace = 49;
inline constexpr int keyDelete = 51;
inline constexpr int keyEscape = 53;
inline constexpr int keyLeft = 123;
inline constexpr int keyRight = 124;
inline constexpr int keyDown = 125;
inline constexpr int keyUp = 126;

// The virtual key code of a Qt key press; shifted punctuation (as a US layout gives it) maps to its key.
// Nothing for keys outside the table, modifier keys included.
std::optional<int> fromQtKey(int qtKey, Qt::KeyboardModifiers modifiers);

// The unshifted X keysym of a virtual key code (nothing when the code is not in the table).
std::optional<quint32> x11Keysym(qint64 macKeyCode);

// Qt modifiers to stored flag bits: Alt is option, Meta (the Super key under X11) is command.
// Keypad and AltGr are dropped.
quint32 flagsFromQt(Qt::KeyboardModifiers modifiers);

// Registration mask to X modifier bits: option is Mod1 (Alt), command is Mod4 (Super).
quint16 x11Modifiers(quint32 carbonMask);

// The combination as Linux desktops write it: "Ctrl+", "Alt+", "Shift+", "Super+" for the flags present,
// in that order, then the key ("Ctrl+Alt+N", "Shift+Super+Space").
QString describe(quint32 flags, int macKeyCode, int qtKey);
// The modifier part of `describe`: "Ctrl+Alt+" and the like, empty without flags.
QString modifierNames(quint32 flags);
// A stored display text in the sign form ("⌃⌥N", "⇧⌘Espaço") in the form `describe` gives; any other
// text ("—", or one already in that form) unchanged.
QString linuxDisplay(const QString& text);

} // namespace KeyCodes
