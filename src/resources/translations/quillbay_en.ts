<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
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
