// Hot-key code table: virtual key code, Qt key (with its US-layout shifted form) and X keysym.
#include "platform/KeyCodes.h"

#include <QKeySequence>

#define XK_MISCELLANY
#define XK_LATIN1
#include <X11/keysymdef.h>

#include <algorithm>
#include <array>
#include <utility>

namespace KeyCodes {
namespace {

struct Entry {
    int mac;
    int qt;
    int qtShifted; // what Qt reports with shift held on a US layout; 0 when the same
    bool keypad;
    quint32 keysym;
};

// clang-format off
constexpr Entry table[] = {
    {0, Qt::Key_A, 0, false, XK_a},   {1, Qt::Key_S, 0, false, XK_s},   {2, Qt::Key_D, 0, false, XK_d},
    {3, Qt::Key_F, 0, false, XK_f},   {4, Qt::Key_H, 0, false, XK_h},   {5, Qt::Key_G, 0, false, XK_g},
    {6, Qt::Key_Z, 0, false, XK_z},   {7, Qt::Key_X, 0, false, XK_x},   {8, Qt::Key_C, 0, false, XK_c},
    {9, Qt::Key_V, 0, false, XK_v},   {11, Qt::Key_B, 0, false, XK_b},  {12, Qt::Key_Q, 0, false, XK_q},
    {13, Qt::Key_W, 0, false, XK_w},  {14, Qt::Key_E, 0, false, XK_e},  {15, Qt::Key_R, 0, false, XK_r},
    {16, Qt::Key_Y, 0, false, XK_y},  {17, Qt::Key_T, 0, false, XK_t},  {31, Qt::Key_O, 0, false, XK_o},
    {32, Qt::Key_U, 0, false, XK_u},  {34, Qt::Key_I, 0, false, XK_i},  {35, Qt::Key_P, 0, false, XK_p},
    {37, Qt::Key_L, 0, false, XK_l},  {38, Qt::Key_J, 0, false, XK_j},  {40, Qt::Key_K, 0, false, XK_k},
    {45, Qt::Key_N, 0, false, XK_n},  {46, Qt::Key_M, 0, false, XK_m},

    {18, Qt::Key_1, Qt::Key_Exclam, false, XK_1},      {19, Qt::Key_2, Qt::Key_At, false, XK_2},
    {20, Qt::Key_3, Qt::Key_NumberSign, false, XK_3},  {21, Qt::Key_4, Qt::Key_Dollar, false, XK_4},
    {23, Qt::Key_5, Qt::Key_Percent, false, XK_5},     {22, Qt::Key_6, Qt::Key_AsciiCircum, false, XK_6},
    {26, Qt::Key_7, Qt::Key_Ampersand, false, XK_7},   {28, Qt::Key_8, Qt::Key_Asterisk, false, XK_8},
    {25, Qt::Key_9, Qt::Key_ParenLeft, false, XK_9},   {29, Qt::Key_0, Qt::Key_ParenRight, false, XK_0},

    {24, Qt::Key_Equal, Qt::Key_Plus, false, XK_equal},
    {27, Qt::Key_Minus, Qt::Key_Underscore, false, XK_minus},
    {30, Qt::Key_BracketRight, Qt::Key_BraceRight, false, XK_bracketright},
    {33, Qt::Key_BracketLeft, Qt::Key_BraceLeft, false, XK_bracketleft},
    {39, Qt::Key_Apostrophe, Qt::Key_QuoteDbl, false, XK_apostrophe},
    {41, Qt::Key_Semicolon, Qt::Key_Colon, false, XK_semicolon},
    {42, Qt::Key_Backslash, Qt::Key_Bar, false, XK_backslash},
    {43, Qt::Key_Comma, Qt::Key_Less, false, XK_comma},
    {44, Qt::Key_Slash, Qt::Key_Question, false, XK_slash},
    {47, Qt::Key_Period, Qt::Key_Greater, false, XK_period},
    {50, Qt::Key_QuoteLeft, Qt::Key_AsciiTilde, false, XK_grave},

    {keyReturn, Qt::Key_Return, 0, false, XK_Return},
    {keyTab, Qt::Key_Tab, Qt::Key_Backtab, false, XK_Tab},
    {keySpace, Qt::Key_Space, 0, false, XK_space},
    {keyDelete, Qt::Key_Backspace, 0, false, XK_BackSpace},
    {keyEscape, Qt::Key_Escape, 0, false, XK_Escape},
    {keyLeft, Qt::Key_Left, 0, false, XK_Left},
    {keyRight, Qt::Key_Right, 0, false, XK_Right},
    {keyDown, Qt::Key_Down, 0, false, XK_Down},
    {keyUp, Qt::Key_Up, 0, false, XK_Up},

    {122, Qt::Key_F1, 0, false, XK_F1},   {120, Qt::Key_F2, 0, false, XK_F2},   {99, Qt::Key_F3, 0, false, XK_F3},
    {118, Qt::Key_F4, 0, false, XK_F4},   {96, Qt::Key_F5, 0, false, XK_F5},    {97, Qt::Key_F6, 0, false, XK_F6},
    {98, Qt::Key_F7, 0, false, XK_F7},    {100, Qt::Key_F8, 0, false, XK_F8},   {101, Qt::Key_F9, 0, false, XK_F9},
    {109, Qt::Key_F10, 0, false, XK_F10}, {103, Qt::Key_F11, 0, false, XK_F11}, {111, Qt::Key_F12, 0, false, XK_F12},
    {105, Qt::Key_F13, 0, false, XK_F13}, {107, Qt::Key_F14, 0, false, XK_F14}, {113, Qt::Key_F15, 0, false, XK_F15},
    {106, Qt::Key_F16, 0, false, XK_F16}, {64, Qt::Key_F17, 0, false, XK_F17},  {79, Qt::Key_F18, 0, false, XK_F18},
    {80, Qt::Key_F19, 0, false, XK_F19},  {90, Qt::Key_F20, 0, false, XK_F20},

    {82, Qt::Key_0, 0, true, XK_KP_0}, {83, Qt::Key_1, 0, true, XK_KP_1}, {84, Qt::Key_2, 0, true, XK_KP_2},
    {85, Qt::Key_3, 0, true, XK_KP_3}, {86, Qt::Key_4, 0, true, XK_KP_4}, {87, Qt::Key_5, 0, true, XK_KP_5},
    {88, Qt::Key_6, 0, true, XK_KP_6}, {89, Qt::Key_7, 0, true, XK_KP_7}, {91, Qt::Key_8, 0, true, XK_KP_8},
    {92, Qt::Key_9, 0, true, XK_KP_9},
    {65, Qt::Key_Period, 0, true, XK_KP_Decimal},  {67, Qt::Key_Asterisk, 0, true, XK_KP_Multiply},
    {69, Qt::Key_Plus, 0, true, XK_KP_Add},        {71, Qt::Key_Clear, 0, true, XK_Clear},
    {75, Qt::Key_Slash, 0, true, XK_KP_Divide},    {76, Qt::Key_Enter, 0, true, XK_KP_Enter},
    {78, Qt::Key_Minus, 0, true, XK_KP_Subtract},  {81, Qt::Key_Equal, 0, true, XK_KP_Equal},
};
// clang-format on

const Entry* findQt(int qtKey, bool keypad) {
    for (const Entry& e : table) {
        if (e.keypad == keypad && (e.qt == qtKey || (e.qtShifted != 0 && e.qtShifted == qtKey)))
            return &e;
    }
    return nullptr;
}

} // namespace

std::optional<int> fromQtKey(int qtKey, Qt::KeyboardModifiers modifiers) {
    const Entry* e = nullptr;
    if (modifiers & Qt::KeypadModifier)
        e = findQt(qtKey, true);
    // Enter is a keypad key even when a toolkit forgets the keypad flag.
    if (!e && qtKey == Qt::Key_Enter)
        e = findQt(qtKey, true);
    if (!e)
        e = findQt(qtKey, false);
    if (!e)
        return std::nullopt;
    return e->mac;
}

std::optional<QKeyCombination> toQt(qint64 macKeyCode, quint64 flags) {
    for (const Entry& e : table) {
        if (e.mac == macKeyCode) {
            Qt::KeyboardModifiers modifiers = modifiersFromFlags(flags);
            if (e.keypad)
                modifiers |= Qt::KeypadModifier;
            return QKeyCombination(modifiers, Qt::Key(e.qt));
        }
    }
    return std::nullopt;
}

std::optional<quint32> x11Keysym(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    const Entry* e = findQt(key, modifiers.testFlag(Qt::KeypadModifier));
    if (!e)
        return std::nullopt;
    return e->keysym;
}

quint32 flagsFromQt(Qt::KeyboardModifiers modifiers) {
    quint32 flags = 0;
    if (modifiers & Qt::ShiftModifier)
        flags |= shiftFlag;
    if (modifiers & Qt::ControlModifier)
        flags |= controlFlag;
    if (modifiers & Qt::AltModifier)
        flags |= optionFlag;
    if (modifiers & Qt::MetaModifier)
        flags |= commandFlag;
    return flags;
}

Qt::KeyboardModifiers modifiersFromFlags(quint64 flags) {
    Qt::KeyboardModifiers modifiers;
    if (flags & shiftFlag)
        modifiers |= Qt::ShiftModifier;
    if (flags & controlFlag)
        modifiers |= Qt::ControlModifier;
    if (flags & optionFlag)
        modifiers |= Qt::AltModifier;
    if (flags & commandFlag)
        modifiers |= Qt::MetaModifier;
    return modifiers;
}

quint16 x11Modifiers(Qt::KeyboardModifiers modifiers) {
    // X core modifier bits: Shift 1, Control 4, Mod1 8, Mod4 64.
    quint16 mods = 0;
    if (modifiers & Qt::ShiftModifier)
        mods |= 0x01;
    if (modifiers & Qt::ControlModifier)
        mods |= 0x04;
    if (modifiers & Qt::AltModifier)
        mods |= 0x08;
    if (modifiers & Qt::MetaModifier)
        mods |= 0x40;
    return mods;
}

QString describe(quint32 flags, int macKeyCode, int qtKey) {
    QString text = modifierNames(flags);

    switch (macKeyCode) {
    case keyReturn:
        return text + QStringLiteral("Return");
    case keyTab:
        return text + QStringLiteral("Tab");
    case keySpace:
        return text + QStringLiteral("Space");
    case keyLeft:
        return text + QStringLiteral("Left");
    case keyRight:
        return text + QStringLiteral("Right");
    case keyDown:
        return text + QStringLiteral("Down");
    case keyUp:
        return text + QStringLiteral("Up");
    default:
        break;
    }
    // The key's own character, not the event text: control turns the latter into a control code.
    if (qtKey > 0x20 && qtKey <= 0xff)
        return text + QString(QChar(qtKey)).toUpper();
    const QString name = QKeySequence(qtKey).toString(QKeySequence::PortableText);
    return text + (name.isEmpty() || qtKey == 0 || qtKey == Qt::Key_unknown ? QStringLiteral("?") : name);
}

QString modifierNames(quint32 flags) {
    QString text;
    if (flags & controlFlag)
        text += QStringLiteral("Ctrl+");
    if (flags & optionFlag)
        text += QStringLiteral("Alt+");
    if (flags & shiftFlag)
        text += QStringLiteral("Shift+");
    if (flags & commandFlag)
        text += QStringLiteral("Super+");
    return text;
}

QString linuxDisplay(const QString& text) {
    // Texts written before (or brought over from the earlier product): modifier signs, then the key.
    static const std::array<std::pair<QChar, quint32>, 4> signs{{{QChar(0x2303), controlFlag},
                                                                 {QChar(0x2325), optionFlag},
                                                                 {QChar(0x21E7), shiftFlag},
                                                                 {QChar(0x2318), commandFlag}}};
    quint32 flags = 0;
    qsizetype i = 0;
    for (; i < text.size(); ++i) {
        const auto sign =
            std::find_if(signs.begin(), signs.end(), [&](const auto& s) { return s.first == text[i]; });
        if (sign == signs.end())
            break;
        flags |= sign->second;
    }
    if (flags == 0)
        return text;
    QString key = text.mid(i);
    static const std::array<std::pair<const char16_t*, const char*>, 8> keys{{{u"\u21A9", "Return"},
                                                                              {u"\u21E5", "Tab"},
                                                                              {u"Espa\u00E7o", "Space"},
                                                                              {u"Space", "Space"},
                                                                              {u"\u2190", "Left"},
                                                                              {u"\u2192", "Right"},
                                                                              {u"\u2193", "Down"},
                                                                              {u"\u2191", "Up"}}};
    for (const auto& [sign, name] : keys)
        if (key == QStringView(sign))
            key = QLatin1String(name);
    return modifierNames(flags) + (key.isEmpty() ? QStringLiteral("?") : key);
}

} // namespace KeyCodes
