<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
    <context>
        <name>AITab</name>
        <message>
            <location filename="../../views/AITab.cpp" line="135" />
            <source>ESGOTADO</source>
            <translation>USED UP</translation>
        </message>
        <message>
            <location filename="../../views/AITab.cpp" line="236" />
            <source>%lld%%</source>
            <translation>%lld%%</translation>
        </message>
        <message>
            <location filename="../../views/AITab.cpp" line="251" />
            <source>now</source>
            <translation>now</translation>
        </message>
        <message>
            <location filename="../../views/AITab.cpp" line="252" />
            <source>%lld min</source>
            <translation>%lld min</translation>
        </message>
    </context>
    <context>
        <name>AccessibilityAuth</name>
        <message>
            <location filename="../../services/AccessibilityAuth.cpp" line="36" />
            <source>Allow Quillbay to paste for you</source>
            <translation>Allow Quillbay to paste for you</translation>
        </message>
        <message>
            <location filename="../../services/AccessibilityAuth.cpp" line="40" />
            <source>To paste automatically when you pick a clipboard item, macOS requires Accessibility access. Quillbay only uses it to send ⌘V back to the app you were using — it never reads your screen or keystrokes.</source>
            <translation>To paste automatically when you pick a clipboard item, Quillbay sends Ctrl+V to the app you were using through the display server's XTEST extension, which this session does not offer: the item is only copied. Quillbay never reads your screen or keystrokes.</translation>
        </message>
        <message>
            <location filename="../../services/AccessibilityAuth.cpp" line="46" />
            <source>Continue</source>
            <translation>Continue</translation>
        </message>
        <message>
            <location filename="../../services/AccessibilityAuth.cpp" line="50" />
            <source>Not now</source>
            <translation>Not now</translation>
        </message>
    </context>
    <context>
        <name>AppQuit</name>
        <message>
            <location filename="../../views/AppQuit.cpp" line="29" />
            <source>Quit</source>
            <translation>Quit</translation>
        </message>
        <message>
            <location filename="../../views/AppQuit.cpp" line="30" />
            <source>Cancel</source>
            <translation>Cancel</translation>
        </message>
        <message>
            <location filename="../../views/AppQuit.cpp" line="66" />
            <source>The island leaves the notch and the camera mirror turns off. </source>
            <translation>The island leaves the notch and the camera mirror turns off. </translation>
        </message>
        <message>
            <location filename="../../views/AppQuit.cpp" line="71" />
            <source>%lld service(s) you started keep running in the background, and show up again when you reopen. </source>
            <translation>%lld service(s) you started keep running in the background, and show up again when you reopen. </translation>
        </message>
        <message>
            <location filename="../../views/AppQuit.cpp" line="76" />
            <source>Reopen it from Launchpad whenever you want.</source>
            <translation>Reopen it from your applications menu whenever you want.</translation>
        </message>
        <message>
            <location filename="../../views/AppQuit.cpp" line="81" />
            <source>Quit Quillbay?</source>
            <translation>Quit Quillbay?</translation>
        </message>
    </context>
    <context>
        <name>CommandForm</name>
        <message>
            <location filename="../../views/CommandForm.cpp" line="84" />
            <source>Save</source>
            <translation>Save</translation>
        </message>
        <message>
            <location filename="../../views/CommandForm.cpp" line="84" />
            <source>Update</source>
            <translation>Update</translation>
        </message>
    </context>
    <context>
        <name>CommandsService</name>
        <message>
            <location filename="../../services/CommandsService.cpp" line="246" />
            <source>Usar esta pasta</source>
            <translation>Use this folder</translation>
        </message>
        <message>
            <location filename="../../services/CommandsService.cpp" line="246" />
            <source>Escolha a pasta onde o comando vai rodar</source>
            <translation>Choose the folder the command runs in</translation>
        </message>
        <message>
            <location filename="../../services/CommandsService.cpp" line="257" />
            <source>Usar caminho</source>
            <translation>Use path</translation>
        </message>
        <message>
            <location filename="../../services/CommandsService.cpp" line="257" />
            <source>Choose the folder or file to insert into the command</source>
            <translation>Choose the folder or file to insert into the command</translation>
        </message>
        <message>
            <location filename="../../services/CommandsService.cpp" line="609" />
            <source>(sem log ainda — inicie o serviço)</source>
            <translation>(no log yet — start the service)</translation>
        </message>
        <message>
            <location filename="../../services/CommandsService.cpp" line="613" />
            <source>(log vazio)</source>
            <translation>(empty log)</translation>
        </message>
        <message>
            <location filename="../../services/CommandsService.cpp" line="622" />
            <source>Start the service first (▶)</source>
            <translation>Start the service first (▶)</translation>
        </message>
        <message>
            <location filename="../../services/CommandsService.cpp" line="625" />
            <source>Looking for the service's port…</source>
            <translation>Looking for the service's port…</translation>
        </message>
        <message>
            <location filename="../../services/CommandsService.cpp" line="657" />
            <source>Não achei porta escutando — o serviço já terminou de subir?</source>
            <translation>No listening port found — has the service finished starting?</translation>
        </message>
        <message>
            <location filename="../../services/CommandsService.cpp" line="661" />
            <source>Sem rede local — conecte no Wi-Fi</source>
            <translation>No local network — connect to Wi-Fi</translation>
        </message>
    </context>
    <context>
        <name>CustomTabsService</name>
        <message>
            <location filename="../../services/CustomTabsService.cpp" line="120" />
            <source>The command failed or timed out.</source>
            <translation>The command failed or timed out.</translation>
        </message>
    </context>
    <context>
        <name>DashboardView</name>
        <message>
            <location filename="../../views/DashboardView.cpp" line="184" />
            <source>Configurações</source>
            <translation>Settings</translation>
        </message>
        <message>
            <location filename="../../views/DashboardView.cpp" line="185" />
            <source>Quit Quillbay</source>
            <translation>Quit Quillbay</translation>
        </message>
    </context>
    <context>
        <name>IslandIndicatorsView</name>
        <message>
            <location filename="../../views/IslandIndicatorsView.cpp" line="259" />
            <source>Pausar Pomodoro</source>
            <translation>Pause Pomodoro</translation>
        </message>
        <message>
            <location filename="../../views/IslandIndicatorsView.cpp" line="314" />
            <source>Pause</source>
            <translation>Pause</translation>
        </message>
        <message>
            <location filename="../../views/IslandIndicatorsView.cpp" line="314" />
            <source>Resume</source>
            <translation>Resume</translation>
        </message>
        <message>
            <location filename="../../views/IslandIndicatorsView.cpp" line="325" />
            <source>Abrir no </source>
            <translation>Open in </translation>
        </message>
    </context>
    <context>
        <name>KanbanTab</name>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="1" />
            <source>%lld</source>
            <translation>%lld</translation>
        </message>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="1" />
            <source>Adicionar</source>
            <translation>Add</translation>
        </message>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="1" />
            <source>Arraste para mover ou reordenar</source>
            <translation>Drag to move or reorder</translation>
        </message>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="1" />
            <source>Back</source>
            <translation>Back</translation>
        </message>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="1" />
            <source>Cancel</source>
            <translation>Cancel</translation>
        </message>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="1" />
            <source>Context, criteria or next steps…</source>
            <translation>Context, criteria or next steps…</translation>
        </message>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="1" />
            <source>Description</source>
            <translation>Description</translation>
        </message>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="1" />
            <source>Excluir</source>
            <translation>Delete</translation>
        </message>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="1" />
            <source>Save</source>
            <translation>Save</translation>
        </message>
    </context>
    <context>
        <name>PaletteView</name>
        <message>
            <location filename="../../views/PaletteView.cpp" line="85" />
            <source>↩</source>
            <translation>↩</translation>
        </message>
        <message>
            <location filename="../../views/PaletteView.cpp" line="141" />
            <source>Digite pra filtrar… (Enter executa, Esc fecha)</source>
            <translation>Type to filter… (Enter runs, Esc closes)</translation>
        </message>
    </context>
    <context>
        <name>PomodoroTab</name>
        <message>
            <location filename="../../views/PomodoroTab.cpp" line="1" />
            <source>%@ · %lld min</source>
            <translation>%@ · %lld min</translation>
        </message>
        <message>
            <location filename="../../views/PomodoroTab.cpp" line="1" />
            <source>Pausar</source>
            <translation>Pause</translation>
        </message>
        <message>
            <location filename="../../views/PomodoroTab.cpp" line="1" />
            <source>Start</source>
            <translation>Start</translation>
        </message>
        <message>
            <location filename="../../views/PomodoroTab.cpp" line="1" />
            <source>O timer continua com a ilha fechada.</source>
            <translation>The timer keeps going with the island closed.</translation>
        </message>
        <message>
            <location filename="../../views/PomodoroTab.cpp" line="1" />
            <source>Inicie quando estiver pronto.</source>
            <translation>Start when you are ready.</translation>
        </message>
        <message numerus="yes">
            <location filename="../../views/PomodoroTab.cpp" line="1" />
            <source>^[%lld session](inflect: true) done</source>
            <translation>
                <numerusform>%lld session done</numerusform>
                <numerusform>%lld sessions done</numerusform>
            </translation>
        </message>
    </context>
    <context>
        <name>QRViewer</name>
        <message>
            <location filename="../../views/QRViewer.cpp" line="125" />
            <source>Open %1 on your phone</source>
            <translation>Open %1 on your phone</translation>
        </message>
        <message>
            <location filename="../../views/QRViewer.cpp" line="131" />
            <source>%1  ·  phone on the same Wi-Fi</source>
            <translation>%1  ·  phone on the same Wi-Fi</translation>
        </message>
    </context>
    <context>
        <name>ScriptTabView</name>
        <message>
            <location filename="../../views/ScriptTabView.cpp" line="71" />
            <source>Run again</source>
            <translation>Run again</translation>
        </message>
        <message>
            <location filename="../../views/ScriptTabView.cpp" line="146" />
            <source>Running…</source>
            <translation>Running…</translation>
        </message>
    </context>
    <context>
        <name>TerminalTab</name>
        <message>
            <location filename="../../views/TerminalTab.cpp" line="42" />
            <source>Died on its own — check the log</source>
            <translation>Died on its own — check the log</translation>
        </message>
        <message>
            <location filename="../../views/TerminalTab.cpp" line="142" />
            <source>MY SERVICES</source>
            <translation>MY SERVICES</translation>
        </message>
    </context>
    <context>
        <name>WebTabView</name>
        <message>
            <location filename="../../views/WebTabView.cpp" line="30" />
            <source>Reload page</source>
            <translation>Reload page</translation>
        </message>
        <message>
            <location filename="../../views/WebTabView.cpp" line="42" />
            <source>Invalid URL — edit this tab in Settings.</source>
            <translation>Invalid URL — edit this tab in Settings.</translation>
        </message>
    </context>
</TS>
