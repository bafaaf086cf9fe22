<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
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
