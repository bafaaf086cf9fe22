<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>AccessibilityAuth</name>
    <message>
        <source>Allow Quillbay to paste for you</source>
        <translation>Allow Quillbay to paste for you</translation>
    </message>
    <message>
        <source>To paste automatically when you pick a clipboard item, macOS requires Accessibility access. Quillbay only uses it to send ⌘V back to the app you were using — it never reads your screen or keystrokes.</source>
        <translation>To paste automatically when you pick a clipboard item, Quillbay sends Ctrl+V to the app you were using through the display server&apos;s XTEST extension, which this session does not offer: the item is only copied. Quillbay never reads your screen or keystrokes.</translation>
    </message>
    <message>
        <source>Continue</source>
        <translation>Continue</translation>
    </message>
    <message>
        <source>Not now</source>
        <translation>Not now</translation>
    </message>
</context>
<context>
    <name>AppQuit</name>
    <message>
        <source>Reopen it from Launchpad whenever you want.</source>
        <translation>Reopen it from your applications menu whenever you want.</translation>
    </message>
</context>
<context>
    <name>PaletteView</name>
    <message>
        <source>Digite pra filtrar… (Enter executa, Esc fecha)</source>
        <translation>Type to filter… (Enter runs, Esc closes)</translation>
    </message>
</context>
<context>
    <name>DashboardView</name>
    <message>
        <source>Configurações</source>
        <translation>Settings</translation>
    </message>
</context>
<context>
    <name>NotchView</name>
    <message>
        <source>Pausar Pomodoro</source>
        <translation>Pause Pomodoro</translation>
    </message>
</context>
</TS>
