<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pt_BR">
<context>
    <name>AccessibilityAuth</name>
    <message>
        <source>Allow Quillbay to paste for you</source>
        <translation>Permita que o Quillbay cole por você</translation>
    </message>
    <message>
        <source>To paste automatically when you pick a clipboard item, macOS requires Accessibility access. Quillbay only uses it to send ⌘V back to the app you were using — it never reads your screen or keystrokes.</source>
        <translation>Para colar automaticamente ao escolher um item da área de transferência, o Quillbay envia Ctrl+V ao app que você estava usando pela extensão XTEST do servidor gráfico, que esta sessão não oferece: o item é apenas copiado. O Quillbay nunca lê sua tela nem o que você digita.</translation>
    </message>
    <message>
        <source>Continue</source>
        <translation>Continuar</translation>
    </message>
    <message>
        <source>Not now</source>
        <translation>Agora não</translation>
    </message>
</context>
<context>
    <name>AppQuit</name>
    <message>
        <source>Quit Quillbay?</source>
        <translation>Sair do Quillbay?</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Sair</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>The island leaves the notch and the camera mirror turns off. </source>
        <translation>A ilha sai do topo da tela e o espelho da câmera desliga. </translation>
    </message>
    <message>
        <source>%lld service(s) you started keep running in the background, and show up again when you reopen. </source>
        <translation>%lld serviço(s) que você iniciou continuam rodando em segundo plano e aparecem de novo quando você reabrir. </translation>
    </message>
    <message>
        <source>Reopen it from Launchpad whenever you want.</source>
        <translation>Abra de novo pelo menu de aplicativos quando quiser.</translation>
    </message>
</context>
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
