// The one table between stored hot-key codes (macOS virtual key codes and modifier-flag bits, kept so
// that stored settings stay portable), Qt keys and X keysyms. Inside the program a hot key is a Qt key
// and Qt modifiers (keypad keys carry Qt::KeypadModifier); the stored codes are met only where the
// settings are read and written.
#pragma once

#include <QKeyCombination>
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

// Stored key codes with a meaning of their own.
inline constexpr int keyReturn = 36;
inline constexpr int keyTab = 48;
inline constexpr int keySpace = 49;
inline constexpr int keyDelete = 51;
inline constexpr int keyEscape = 53;
inline constexpr int keyLeft = 123;
inline constexpr int keyRight = 124;
inline constexpr int keyDown = 125;
inline constexpr int keyUp = 126;

// The stored key code of a Qt key press; shifted punctuation (as a US layout gives it) maps to its key.
// Nothing for keys outside the table, modifier keys included.
std::optional<int> fromQtKey(int qtKey, Qt::KeyboardModifiers modifiers);

// A stored key code and modifier flags as the program's Qt key: the unshifted key, the four modifiers
// (every other flag bit dropped) and Qt::KeypadModifier for keypad keys. Nothing when the code is not
// in the table (negative, beyond 32 bits or unknown).
std::optional<QKeyCombination> toQt(qint64 macKeyCode, quint64 flags);

// Qt modifiers to stored flag bits: Alt is option, Meta (the Super key under X11) is command.
// Keypad and AltGr are dropped.
quint32 flagsFromQt(Qt::KeyboardModifiers modifiers);
// Stored flag bits to Qt modifiers (the inverse of `flagsFromQt`); every other bit is dropped.
Qt::KeyboardModifiers modifiersFromFlags(quint64 flags);

// The unshifted X keysym of a Qt key; Qt::KeypadModifier in `modifiers` selects the keypad's key.
// Nothing when the key is not in the table.
std::optional<quint32> x11Keysym(Qt::Key key, Qt::KeyboardModifiers modifiers);

// Qt modifiers to X modifier bits: Alt is Mod1, Meta (Super) is Mod4; keypad and AltGr are dropped.
quint16 x11Modifiers(Qt::KeyboardModifiers modifiers);

// The combination as Linux desktops write it: "Ctrl+", "Alt+", "Shift+", "Super+" for the flags present,
// in that order, then the key ("Ctrl+Alt+N", "Shift+Super+Space").
QString describe(quint32 flags, int macKeyCode, int qtKey);
// The modifier part of `describe`: "Ctrl+Alt+" and the like, empty without flags.
QString modifierNames(quint32 flags);
// A stored display text in the sign form ("⌃⌥N", "⇧⌘Espaço") in the form `describe` gives; any other
// text ("—", or one already in that form) unchanged.
QString linuxDisplay(const QString& text);

} // namespace KeyCodes
