<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pt_BR">
<context>
    <name>DashboardView</name>
    <message>
        <source>Quit Quillbay</source>
        <translation>Sair do Quillbay</translation>
    </message>
</context>
<context>
    <name>SettingsView</name>
    <message>
        <source>Language</source>
        <translation>Idioma</translation>
    </message>
    <message>
        <source>By default Quillbay follows your Mac&apos;s language.</source>
        <translation>Por padrão o Quillbay segue o idioma do seu Mac.</translation>
    </message>
    <message>
        <source>Follow system</source>
        <extracomment>Opção de idioma</extracomment>
        <translation>Seguir o sistema</translation>
    </message>
    <message>
        <source>Restart to apply</source>
        <translation>Reiniciar para aplicar</translation>
    </message>
    <message>
        <source>Automatic</source>
        <translation>Automático</translation>
    </message>
</context>
</TS>
