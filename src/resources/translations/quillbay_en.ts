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
        <name>AppearanceSection</name>
        <message>
            <location filename="../../views/settings/AppearanceSection.cpp" line="13" />
            <source>Simulate a notch on screens without one</source>
            <translation>Simulate a notch on screens without one</translation>
        </message>
        <message>
            <location filename="../../views/settings/AppearanceSection.cpp" line="18" />
            <source>Keeps the black bar visible on external monitors and Macs without a notch.</source>
            <translation>Keeps the black bar visible at the top of the screen while the island is closed.</translation>
        </message>
    </context>
    <context>
        <name>AutoPasteSection</name>
        <message>
            <location filename="../../views/settings/AutoPasteSection.cpp" line="14" />
            <source>Clipboard auto-paste</source>
            <translation>Clipboard auto-paste</translation>
        </message>
        <message>
            <location filename="../../views/settings/AutoPasteSection.cpp" line="15" />
            <source>When granted, picking an item in the quick-paste picker types it right where you were — no manual ⌘V.</source>
            <translation>When the display server allows it, picking an item in the quick-paste picker types it right where you were — no manual Ctrl+V.</translation>
        </message>
        <message>
            <location filename="../../views/settings/AutoPasteSection.cpp" line="27" />
            <source>Grant access…</source>
            <translation>Learn more…</translation>
        </message>
        <message>
            <location filename="../../views/settings/AutoPasteSection.cpp" line="45" />
            <source>Accessibility access granted</source>
            <translation>Automatic paste available</translation>
        </message>
        <message>
            <location filename="../../views/settings/AutoPasteSection.cpp" line="46" />
            <source>Accessibility access not granted — picking an item just copies it</source>
            <translation>Automatic paste unavailable (this display server offers no XTEST) — picking an item just copies it</translation>
        </message>
    </context>
    <context>
        <name>CameraService</name>
        <message>
            <location filename="../../services/CameraService.cpp" line="86" />
            <source>Starting the camera…</source>
            <translation>Starting the camera…</translation>
        </message>
        <message>
            <location filename="../../services/CameraService.cpp" line="112" />
            <source>No camera found</source>
            <translation>No camera found</translation>
        </message>
        <message>
            <location filename="../../services/CameraService.cpp" line="115" />
            <source>The camera is in use by another program</source>
            <translation>The camera is in use by another program</translation>
        </message>
        <message>
            <location filename="../../services/CameraService.cpp" line="118" />
            <source>The camera was disconnected</source>
            <translation>The camera was disconnected</translation>
        </message>
        <message>
            <location filename="../../services/CameraService.cpp" line="121" />
            <source>The camera could not be started</source>
            <translation>The camera could not be started</translation>
        </message>
        <message>
            <location filename="../../services/CameraService.cpp" line="122" />
            <source>The camera could not be started: %1</source>
            <translation>The camera could not be started: %1</translation>
        </message>
    </context>
    <context>
        <name>CameraTab</name>
        <message>
            <location filename="../../views/CameraTab.cpp" line="228" />
            <source>Shape</source>
            <translation>Shape</translation>
        </message>
        <message>
            <location filename="../../views/CameraTab.cpp" line="244" />
            <source>Border</source>
            <translation>Border</translation>
        </message>
        <message>
            <location filename="../../views/CameraTab.cpp" line="289" />
            <source>Mirror the image (like a real mirror)</source>
            <translation>Mirror the image (like a real mirror)</translation>
        </message>
        <message>
            <location filename="../../views/CameraTab.cpp" line="295" />
            <source>Drag the middle to move · pull edges and corners to resize (the cursor changes). The preview stays on screen even when the island is closed.</source>
            <translation>Drag the middle to move · pull edges and corners to resize (the cursor changes). The preview stays on screen even when the island is closed.</translation>
        </message>
        <message>
            <location filename="../../views/CameraTab.cpp" line="318" />
            <source>Turn off mirror</source>
            <translation>Turn off mirror</translation>
        </message>
        <message>
            <location filename="../../views/CameraTab.cpp" line="318" />
            <source>Turn on camera</source>
            <translation>Turn on camera</translation>
        </message>
    </context>
    <context>
        <name>ClipTab</name>
        <message>
            <location filename="../../views/ClipTab.cpp" line="37" />
            <source>Unpin</source>
            <translation>Unpin</translation>
        </message>
        <message>
            <location filename="../../views/ClipTab.cpp" line="37" />
            <source>Pin</source>
            <translation>Pin</translation>
        </message>
        <message>
            <location filename="../../views/ClipTab.cpp" line="42" />
            <source>Remove</source>
            <translation>Remove</translation>
        </message>
        <message>
            <location filename="../../views/ClipTab.cpp" line="89" />
            <source>HISTORY — CLICK TO COPY</source>
            <translation>HISTORY — CLICK TO COPY</translation>
        </message>
        <message>
            <location filename="../../views/ClipTab.cpp" line="101" />
            <source>Clear (keeps pinned)</source>
            <translation>Clear (keeps pinned)</translation>
        </message>
        <message>
            <location filename="../../views/ClipTab.cpp" line="106" />
            <source>Copy any text and it shows up here</source>
            <translation>Copy any text and it shows up here</translation>
        </message>
    </context>
    <context>
        <name>ClipboardPickerView</name>
        <message>
            <location filename="../../views/ClipboardPickerView.cpp" line="150" />
            <source>Recent</source>
            <translation>Recent</translation>
        </message>
        <message>
            <location filename="../../views/ClipboardPickerView.cpp" line="152" />
            <source>Pinned</source>
            <translation>Pinned</translation>
        </message>
        <message>
            <location filename="../../views/ClipboardPickerView.cpp" line="227" />
            <source>Pasted</source>
            <translation>Pasted</translation>
        </message>
        <message>
            <location filename="../../views/ClipboardPickerView.cpp" line="227" />
            <source>Copied — press ⌘V</source>
            <translation>Copied — press Ctrl+V</translation>
        </message>
        <message>
            <location filename="../../views/ClipboardPickerView.cpp" line="331" />
            <source>↵ PASTE · ⌘P PIN</source>
            <translation>↵ PASTE · CTRL+P PIN</translation>
        </message>
        <message>
            <location filename="../../views/ClipboardPickerView.cpp" line="331" />
            <source>↵ COPY · ⌘P PIN</source>
            <translation>↵ COPY · CTRL+P PIN</translation>
        </message>
        <message>
            <location filename="../../views/ClipboardPickerView.cpp" line="359" />
            <source>Unpin</source>
            <translation>Unpin</translation>
        </message>
        <message>
            <location filename="../../views/ClipboardPickerView.cpp" line="359" />
            <source>Pin — keeps it here permanently</source>
            <translation>Pin — keeps it here permanently</translation>
        </message>
        <message>
            <location filename="../../views/ClipboardPickerView.cpp" line="368" />
            <source>Pin items with ⌘P — they stay here for good</source>
            <translation>Pin items with Ctrl+P — they stay here for good</translation>
        </message>
        <message>
            <location filename="../../views/ClipboardPickerView.cpp" line="369" />
            <source>Nothing copied yet</source>
            <translation>Nothing copied yet</translation>
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
        <name>CustomTabForm</name>
        <message>
            <location filename="../../views/settings/CustomTabForm.cpp" line="31" />
            <source>Manual only</source>
            <translation>Manual only</translation>
        </message>
        <message>
            <location filename="../../views/settings/CustomTabForm.cpp" line="31" />
            <source>5s</source>
            <translation>5s</translation>
        </message>
        <message>
            <location filename="../../views/settings/CustomTabForm.cpp" line="31" />
            <source>15s</source>
            <translation>15s</translation>
        </message>
        <message>
            <location filename="../../views/settings/CustomTabForm.cpp" line="31" />
            <source>30s</source>
            <translation>30s</translation>
        </message>
        <message>
            <location filename="../../views/settings/CustomTabForm.cpp" line="31" />
            <source>1 min</source>
            <translation>1 min</translation>
        </message>
        <message>
            <location filename="../../views/settings/CustomTabForm.cpp" line="31" />
            <source>5 min</source>
            <translation>5 min</translation>
        </message>
        <message>
            <location filename="../../views/settings/CustomTabForm.cpp" line="47" />
            <source>Tab name</source>
            <translation>Tab name</translation>
        </message>
        <message>
            <location filename="../../views/settings/CustomTabForm.cpp" line="50" />
            <source>Script</source>
            <translation>Script</translation>
        </message>
        <message>
            <location filename="../../views/settings/CustomTabForm.cpp" line="52" />
            <source>Web page</source>
            <translation>Web page</translation>
        </message>
        <message>
            <location filename="../../views/settings/CustomTabForm.cpp" line="76" />
            <source>Runs in zsh with your usual PATH. The output shows up in the tab.</source>
            <translation>Runs in zsh with your usual PATH. The output shows up in the tab.</translation>
        </message>
        <message>
            <location filename="../../views/settings/CustomTabForm.cpp" line="80" />
            <source>Auto refresh</source>
            <translation>Auto refresh</translation>
        </message>
        <message>
            <location filename="../../views/settings/CustomTabForm.cpp" line="98" />
            <source>http://localhost:3000</source>
            <translation>http://localhost:3000</translation>
        </message>
        <message>
            <location filename="../../views/settings/CustomTabForm.cpp" line="103" />
            <source>Any address works: localhost, a dashboard, a local HTML file (file://…).</source>
            <translation>Any address works: localhost, a dashboard, a local HTML file (file://…).</translation>
        </message>
        <message>
            <location filename="../../views/settings/CustomTabForm.cpp" line="108" />
            <source>Save</source>
            <translation>Save</translation>
        </message>
        <message>
            <location filename="../../views/settings/CustomTabForm.cpp" line="109" />
            <source>Cancel</source>
            <translation>Cancel</translation>
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
        <name>FeaturesSection</name>
        <message>
            <location filename="../../views/settings/FeaturesSection.cpp" line="38" />
            <source>At least one tab stays on. New features are added at the end automatically.</source>
            <translation>At least one tab stays on. New features are added at the end automatically.</translation>
        </message>
        <message>
            <location filename="../../views/settings/FeaturesSection.cpp" line="41" />
            <source>Add custom tab…</source>
            <translation>Add custom tab…</translation>
        </message>
        <message>
            <location filename="../../views/settings/FeaturesSection.cpp" line="42" />
            <source>A shell command whose output lives in the island, or an embedded web page.</source>
            <translation>A shell command whose output lives in the island, or an embedded web page.</translation>
        </message>
        <message>
            <location filename="../../views/settings/FeaturesSection.cpp" line="196" />
            <source>Edit</source>
            <translation>Edit</translation>
        </message>
        <message>
            <location filename="../../views/settings/FeaturesSection.cpp" line="198" />
            <source>Delete</source>
            <translation>Delete</translation>
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
        <message>
            <location filename="../../views/KanbanTab.cpp" line="126" />
            <source>Editar tarefa</source>
            <translation>Edit task</translation>
        </message>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="136" />
            <source>Mover para a etapa anterior</source>
            <translation>Move to the previous stage</translation>
        </message>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="151" />
            <source>Mover para a próxima etapa</source>
            <translation>Move to the next stage</translation>
        </message>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="285" />
            <source>Solte uma tarefa aqui</source>
            <translation>Drop a task here</translation>
        </message>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="393" />
            <source>Nova tarefa…</source>
            <translation>New task…</translation>
        </message>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="439" />
            <source>Título</source>
            <translation>Title</translation>
        </message>
    </context>
    <context>
        <name>LanguageSection</name>
        <message>
            <location filename="../../views/settings/LanguageSection.cpp" line="11" />
            <source>Language</source>
            <translation>Language</translation>
        </message>
        <message>
            <location filename="../../views/settings/LanguageSection.cpp" line="11" />
            <source>By default Quillbay follows your Mac's language.</source>
            <translation>By default Quillbay follows your system's language.</translation>
        </message>
        <message>
            <location filename="../../views/settings/LanguageSection.cpp" line="22" />
            <source>Follow system</source>
            <comment>Opção de idioma</comment>
            <translation>Follow system</translation>
        </message>
        <message>
            <location filename="../../views/settings/LanguageSection.cpp" line="33" />
            <source>Restart to apply</source>
            <translation>Restart to apply</translation>
        </message>
    </context>
    <context>
        <name>MonitorSection</name>
        <message>
            <location filename="../../views/settings/MonitorSection.cpp" line="15" />
            <source>Monitor</source>
            <translation>Monitor</translation>
        </message>
        <message>
            <location filename="../../views/settings/MonitorSection.cpp" line="16" />
            <source>Choose which display the island lives on. On Automatic it follows the notch, or the main display.</source>
            <translation>Choose which display the island lives on. On Automatic it follows the notch, or the main display.</translation>
        </message>
        <message>
            <location filename="../../views/settings/MonitorSection.cpp" line="41" />
            <source>Automatic</source>
            <translation>Automatic</translation>
        </message>
        <message>
            <location filename="../../views/settings/MonitorSection.cpp" line="51" />
            <source>Chosen monitor (disconnected)</source>
            <translation>Chosen monitor (disconnected)</translation>
        </message>
    </context>
    <context>
        <name>LogViewer</name>
        <message>
            <location filename="../../views/LogViewer.cpp" line="154" />
            <source>Ended by signal %1</source>
            <translation>Ended by signal %1</translation>
        </message>
        <message>
            <location filename="../../views/LogViewer.cpp" line="157" />
            <source>Exited with status %1</source>
            <translation>Exited with status %1</translation>
        </message>
        <message>
            <location filename="../../views/LogViewer.cpp" line="158" />
            <source>Ended on its own</source>
            <translation>Ended on its own</translation>
        </message>
    </context>
    <context>
        <name>MediaTab</name>
        <message>
            <location filename="../../views/MediaTab.cpp" line="1" />
            <source>Nothing playing</source>
            <translation>Nothing playing</translation>
        </message>
        <message>
            <location filename="../../views/MediaTab.cpp" line="1" />
            <source>Open Spotify or Music to control playback here.</source>
            <translation>Play something in Spotify or another media player to control it here.</translation>
        </message>
        <message>
            <location filename="../../views/MediaTab.cpp" line="1" />
            <source>Tocando no </source>
            <translation>Playing on </translation>
        </message>
        <message>
            <location filename="../../views/MediaTab.cpp" line="1" />
            <source>Pausado no </source>
            <translation>Paused on </translation>
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
        <message>
            <location filename="../../views/PomodoroTab.cpp" line="159" />
            <source>Reiniciar etapa</source>
            <translation>Restart stage</translation>
        </message>
        <message>
            <location filename="../../views/PomodoroTab.cpp" line="164" />
            <source>Move to the next stage</source>
            <translation>Move to the next stage</translation>
        </message>
    </context>
    <context>
        <name>PrivacySection</name>
        <message>
            <location filename="../../views/settings/PrivacySection.cpp" line="35" />
            <source>Help with anonymous usage stats</source>
            <translation>Help with anonymous usage stats</translation>
        </message>
        <message>
            <location filename="../../views/settings/PrivacySection.cpp" line="39" />
            <source>Once a day: which tabs you opened, for how long, and your app and macOS version. A random number tells installs apart — never you.</source>
            <translation>Once a day: which tabs you opened, for how long, and your app and system version. A random number tells installs apart — never you.</translation>
        </message>
        <message>
            <location filename="../../views/settings/PrivacySection.cpp" line="46" />
            <source>The app does not write your IP to its analytics dataset. Cloudflare may process request metadata to operate and protect the service. Commands, logs, files, clipboard, email, name and hardware identifiers are not sent by the app.</source>
            <translation>The app does not write your IP to its analytics dataset. Cloudflare may process request metadata to operate and protect the service. Commands, logs, files, clipboard, email, name and hardware identifiers are not sent by the app.</translation>
        </message>
        <message>
            <location filename="../../views/settings/PrivacySection.cpp" line="53" />
            <source>Privacy policy</source>
            <translation>Privacy policy</translation>
        </message>
        <message>
            <location filename="../../views/settings/PrivacySection.cpp" line="99" />
            <source>Hide what would be sent</source>
            <translation>Hide what would be sent</translation>
        </message>
        <message>
            <location filename="../../views/settings/PrivacySection.cpp" line="99" />
            <source>See exactly what would be sent</source>
            <translation>See exactly what would be sent</translation>
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
        <name>SettingsService</name>
        <message>
            <location filename="../../services/SettingsService.cpp" line="361" />
            <source>This key can't be part of a shortcut. Try a letter, a digit or a function key.</source>
            <translation>This key can't be part of a shortcut. Try a letter, a digit or a function key.</translation>
        </message>
        <message>
            <location filename="../../services/SettingsService.cpp" line="367" />
            <source>Hold Ctrl, Alt or Super with the key: Shift alone is not enough.</source>
            <translation>Hold Ctrl, Alt or Super with the key: Shift alone is not enough.</translation>
        </message>
    </context>
    <context>
        <name>SettingsView</name>
        <message>
            <location filename="../../views/settings/SettingsView.cpp" line="74" />
            <source>Quit Quillbay</source>
            <translation>Quit Quillbay</translation>
        </message>
        <message>
            <location filename="../../views/settings/SettingsView.cpp" line="76" />
            <source>Quits the app entirely — the island leaves the notch</source>
            <translation>Quits the app entirely — the island leaves the notch</translation>
        </message>
        <message>
            <location filename="../../views/settings/SettingsView.cpp" line="78" />
            <source>Close</source>
            <translation>Close</translation>
        </message>
    </context>
    <context>
        <name>ShortcutsSection</name>
        <message>
            <location filename="../../app/AppDelegate.cpp" line="508" />
            <source>That shortcut is already taken by another app. Record another one.</source>
            <translation>That shortcut is already taken by another app. Record another one.</translation>
        </message>
        <message>
            <location filename="../../views/settings/ShortcutsSection.cpp" line="16" />
            <source>Open/close the island</source>
            <translation>Open/close the island</translation>
        </message>
        <message>
            <location filename="../../views/settings/ShortcutsSection.cpp" line="17" />
            <source>Clipboard quick-paste</source>
            <translation>Clipboard quick-paste</translation>
        </message>
        <message>
            <location filename="../../views/settings/ShortcutsSection.cpp" line="25" />
            <source>Use at least one modifier: ⌘, ⌥, ⌃ or ⇧. Press Esc to cancel recording.</source>
            <translation>Hold Ctrl, Alt or Super with the key — Shift alone is not enough. Press Esc to cancel recording.</translation>
        </message>
        <message>
            <location filename="../../views/settings/ShortcutsSection.cpp" line="55" />
            <source>Remove</source>
            <translation>Remove</translation>
        </message>
        <message>
            <location filename="../../views/settings/ShortcutsSection.cpp" line="82" />
            <source>Press the keys…</source>
            <translation>Press the keys…</translation>
        </message>
        <message>
            <location filename="../../views/settings/ShortcutsSection.cpp" line="88" />
            <source>Cancel</source>
            <translation>Cancel</translation>
        </message>
        <message>
            <location filename="../../views/settings/ShortcutsSection.cpp" line="88" />
            <source>Record new…</source>
            <translation>Record new…</translation>
        </message>
    </context>
    <context>
        <name>ShelfTab</name>
        <message>
            <location filename="../../views/ShelfTab.cpp" line="1" />
            <source>DROP FILES ANYWHERE IN THE ISLAND</source>
            <translation>DROP FILES ANYWHERE IN THE ISLAND</translation>
        </message>
        <message>
            <location filename="../../views/ShelfTab.cpp" line="1" />
            <source>Drag files to the notch and drop them here.
Then drag them out, AirDrop them, or copy.</source>
            <translation>Drag files to the notch and drop them here.
Then drag them out, send them with KDE Connect, or copy.</translation>
        </message>
        <message>
            <location filename="../../views/ShelfTab.cpp" line="117" />
            <source>Send via AirDrop</source>
            <translation>Send to a phone with KDE Connect</translation>
        </message>
        <message>
            <location filename="../../views/ShelfTab.cpp" line="120" />
            <source>Copy file</source>
            <translation>Copy file</translation>
        </message>
        <message>
            <location filename="../../views/ShelfTab.cpp" line="123" />
            <source>Show in Finder</source>
            <translation>Show in the file manager</translation>
        </message>
        <message>
            <location filename="../../views/ShelfTab.cpp" line="127" />
            <source>Remove from shelf</source>
            <translation>Remove from shelf</translation>
        </message>
        <message>
            <location filename="../../views/ShelfTab.cpp" line="187" />
            <source>Empty the shelf</source>
            <translation>Empty the shelf</translation>
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
            <location filename="../../views/TerminalTab.cpp" line="62" />
            <source>Stopping…</source>
            <translation>Stopping…</translation>
        </message>
        <message>
            <location filename="../../views/TerminalTab.cpp" line="142" />
            <source>MY SERVICES</source>
            <translation>MY SERVICES</translation>
        </message>
    </context>
    <context>
        <name>NewsError</name>
        <message>
            <source>The site answered with an error (%lld).</source>
            <translation>The site answered with an error (%lld).</translation>
        </message>
        <message>
            <source>That site doesn't publish a feed we can follow.</source>
            <translation>That site doesn't publish a feed we can follow.</translation>
        </message>
        <message>
            <source>That doesn't look like a site address.</source>
            <translation>That doesn't look like a site address.</translation>
        </message>
        <message>
            <source>That site is already on your list.</source>
            <translation>That site is already on your list.</translation>
        </message>
        <message>
            <source>Type an X handle, like @nasa.</source>
            <translation>Type an X handle, like @nasa.</translation>
        </message>
        <message>
            <source>Couldn't find that profile — check the handle.</source>
            <translation>Couldn't find that profile — check the handle.</translation>
        </message>
        <message>
            <source>X is rate-limiting us right now. Try again in a minute.</source>
            <translation>X is rate-limiting us right now. Try again in a minute.</translation>
        </message>
        <message>
            <source>Couldn't reach that site.</source>
            <translation>Couldn't reach that site.</translation>
        </message>
    </context>
    <context>
        <name>NewsTab</name>
        <message>
            <source>in the future</source>
            <translation>in the future</translation>
        </message>
        <message>
            <source>just now</source>
            <translation>just now</translation>
        </message>
        <message>
            <source>1 minute ago</source>
            <translation>1 minute ago</translation>
        </message>
        <message>
            <source>%1 minutes ago</source>
            <translation>%1 minutes ago</translation>
        </message>
        <message>
            <source>1 hour ago</source>
            <translation>1 hour ago</translation>
        </message>
        <message>
            <source>%1 hours ago</source>
            <translation>%1 hours ago</translation>
        </message>
        <message>
            <source>yesterday</source>
            <translation>yesterday</translation>
        </message>
        <message>
            <source>%1 days ago</source>
            <translation>%1 days ago</translation>
        </message>
        <message>
            <source>1 week ago</source>
            <translation>1 week ago</translation>
        </message>
        <message>
            <source>%1 weeks ago</source>
            <translation>%1 weeks ago</translation>
        </message>
        <message>
            <source>1 month ago</source>
            <translation>1 month ago</translation>
        </message>
        <message>
            <source>%1 months ago</source>
            <translation>%1 months ago</translation>
        </message>
        <message>
            <source>1 year ago</source>
            <translation>1 year ago</translation>
        </message>
        <message>
            <source>%1 years ago</source>
            <translation>%1 years ago</translation>
        </message>
        <message>
            <location filename="../../views/NewsTab.cpp" line="84" />
            <source>paste a site (blog, news, YouTube…)</source>
            <translation>paste a site (blog, news, YouTube…)</translation>
        </message>
        <message>
            <location filename="../../views/NewsTab.cpp" line="84" />
            <source>@handle on X — like @nasa</source>
            <translation>@handle on X — like @nasa</translation>
        </message>
        <message>
            <location filename="../../views/NewsTab.cpp" line="90" />
            <source>Add site</source>
            <translation>Add site</translation>
        </message>
        <message>
            <location filename="../../views/NewsTab.cpp" line="90" />
            <source>Follow profile</source>
            <translation>Follow profile</translation>
        </message>
        <message>
            <location filename="../../views/NewsTab.cpp" line="97" />
            <source>Check for new posts now</source>
            <translation>Check for new posts now</translation>
        </message>
        <message>
            <location filename="../../views/NewsTab.cpp" line="173" />
            <source>Remove source</source>
            <translation>Remove source</translation>
        </message>
        <message>
            <location filename="../../views/NewsTab.cpp" line="173" />
            <source>Unfollow</source>
            <translation>Unfollow</translation>
        </message>
        <message>
            <location filename="../../views/NewsTab.cpp" line="314" />
            <source>No posts yet. They arrive on the next refresh.</source>
            <translation>No posts yet. They arrive on the next refresh.</translation>
        </message>
        <message>
            <location filename="../../views/NewsTab.cpp" line="316" />
            <source>Add a site and get its new posts here.</source>
            <translation>Add a site and get its new posts here.</translation>
        </message>
        <message>
            <location filename="../../views/NewsTab.cpp" line="317" />
            <source>Follow people on X — their posts land here.</source>
            <translation>Follow people on X — their posts land here.</translation>
        </message>
    </context>
    <context>
        <name>UpdateService</name>
        <message>
            <location filename="../../services/UpdateService.cpp" line="87" />
            <location filename="../../services/UpdateService.cpp" line="353" />
            <source>This update failed the security check and was discarded.</source>
            <translation>This update failed the security check and was discarded.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="89" />
            <source>This update isn&apos;t signed by Quillbay and was discarded.</source>
            <translation>This update isn&apos;t signed by Quillbay and was discarded.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="91" />
            <source>This update contains unsafe files and was discarded.</source>
            <translation>This update contains unsafe files and was discarded.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="91" />
            <source>The download was interrupted. Try again.</source>
            <translation>The download was interrupted. Try again.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="91" />
            <source>Couldn&apos;t open the update file.</source>
            <translation>Couldn&apos;t open the update file.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="93" />
            <source>The update doesn&apos;t contain the app.</source>
            <translation>The update doesn&apos;t contain the app.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="95" />
            <source>Couldn&apos;t prepare the update.</source>
            <translation>Couldn&apos;t prepare the update.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="100" />
            <source>Couldn&apos;t prepare the installer.</source>
            <translation>Couldn&apos;t prepare the installer.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="274" />
            <location filename="../../services/UpdateService.cpp" line="327" />
            <location filename="../../services/UpdateService.cpp" line="331" />
            <location filename="../../services/UpdateService.cpp" line="334" />
            <source>Download failed</source>
            <translation>Download failed</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="337" />
            <source>The update checksum didn&apos;t match and was discarded.</source>
            <translation>The update checksum didn&apos;t match and was discarded.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="382" />
            <source>Couldn&apos;t start the installer.</source>
            <translation>Couldn&apos;t start the installer.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="198" />
            <source>Quillbay checks again later.</source>
            <translation>Quillbay checks again later.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="205" />
            <source>Couldn't reach the update server.</source>
            <translation>Couldn't reach the update server.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="206" />
            <source>Check that this computer is online, then try again.</source>
            <translation>Check that this computer is online, then try again.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="209" />
            <source>The update server didn't answer in time.</source>
            <translation>The update server didn't answer in time.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="213" />
            <source>Couldn't open a secure connection to the update server: its certificate was not accepted.</source>
            <translation>Couldn't open a secure connection to the update server: its certificate was not accepted.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="215" />
            <source>Check that this computer's date and time are right, and whether a proxy or firewall intercepts secure connections, then try again.</source>
            <translation>Check that this computer's date and time are right, and whether a proxy or firewall intercepts secure connections, then try again.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="219" />
            <source>The update server's answer couldn't be used.</source>
            <translation>The update server's answer couldn't be used.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="219" />
            <source>Try again later.</source>
            <translation>Try again later.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="223" />
            <source>The connection to the update server failed.</source>
            <translation>The connection to the update server failed.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="236" />
            <source>The update server's answer couldn't be used (HTTP %1).</source>
            <translation>The update server's answer couldn't be used (HTTP %1).</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="256" />
            <source>Version %1 is out, but the update server gave no download Quillbay can trust.</source>
            <translation>Version %1 is out, but the update server gave no download Quillbay can trust.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="1" />
            <source>%1 in %2</source>
            <extracomment>The system's own reason for a failed write (&quot;No space left on device&quot;), then the folder written into.</extracomment>
            <translation>%1 in %2</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="1" />
            <source>The update server sent the check to an address Quillbay doesn&apos;t trust.</source>
            <translation>The update server sent the check to an address Quillbay doesn&apos;t trust.</translation>
        </message>
    </context>
    <context>
        <name>UpdatesSection</name>
        <message>
            <location filename="../../views/settings/UpdatesSection.cpp" line="19" />
            <source>Check for updates</source>
            <translation>Check for updates</translation>
        </message>
        <message>
            <location filename="../../views/settings/UpdatesSection.cpp" line="46" />
            <source>Update now</source>
            <translation>Update now</translation>
        </message>
        <message>
            <location filename="../../views/settings/UpdatesSection.cpp" line="55" />
            <source>Check automatically (once a day)</source>
            <translation>Check automatically (once a day)</translation>
        </message>
        <message>
            <location filename="../../views/settings/UpdatesSection.cpp" line="97" />
            <source>Checking…</source>
            <translation>Checking…</translation>
        </message>
        <message>
            <location filename="../../views/settings/UpdatesSection.cpp" line="100" />
            <source>You're on the latest version ✓</source>
            <translation>You're on the latest version ✓</translation>
        </message>
        <message>
            <location filename="../../views/settings/UpdatesSection.cpp" line="103" />
            <source>Downloading…</source>
            <translation>Downloading…</translation>
        </message>
        <message>
            <location filename="../../views/settings/UpdatesSection.cpp" line="106" />
            <source>Installing — the app will reopen…</source>
            <translation>Installing — the app will reopen…</translation>
        </message>
        <message>
            <location filename="../../views/settings/UpdatesSection.cpp" line="106" />
            <source>Unpacking the update — %1 %</source>
            <translation>Unpacking the update — %1 %</translation>
        </message>
        <message>
            <location filename="../../views/settings/UpdatesSection.cpp" line="120" />
            <source>Version %1 is available 🎉</source>
            <translation>Version %1 is available 🎉</translation>
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
    <context>
        <name>ImageConvertView</name>
        <message>
            <source>Convert to:</source>
            <translation>Convert to:</translation>
        </message>
        <message>
            <source>Drop images here (HEIC, PNG, JPEG, TIFF, WebP…)
The converted file is saved in the same folder.</source>
            <translation>Drop images here (HEIC, PNG, JPEG, TIFF, WebP…)
The converted file is saved in the same folder.</translation>
        </message>
    </context>
    <context>
        <name>KitTab</name>
        <message>
            <source>Generate</source>
            <translation>Generate</translation>
        </message>
        <message>
            <source>Pick a color</source>
            <translation>Pick a color</translation>
        </message>
        <message>
            <source>Escolher cor</source>
            <translation>Choose color</translation>
        </message>
        <message>
            <source>Pick from screen</source>
            <translation>Pick from screen</translation>
        </message>
    </context>
    <context>
        <name>OCRView</name>
        <message>
            <source>The recognized text goes straight to your clipboard. The first time, macOS asks for Screen Recording permission.</source>
            <translation>The recognized text goes straight to your clipboard. Select an area of the frozen screen; Escape or a right click cancels.</translation>
        </message>
        <message>
            <source>Selecting…</source>
            <translation>Selecting…</translation>
        </message>
        <message>
            <source>Capture screen area</source>
            <translation>Capture screen area</translation>
        </message>
    </context>
    <context>
        <name>QRGeneratorView</name>
        <message>
            <source>Colar</source>
            <translation>Paste</translation>
        </message>
        <message>
            <source>Colar URL da área de transferência</source>
            <translation>Paste URL from the clipboard</translation>
        </message>
        <message>
            <source>Point your phone&apos;s camera</source>
            <translation>Point your phone&apos;s camera</translation>
        </message>
        <message>
            <source>For local addresses, keep your phone on the same Wi-Fi as your Mac.</source>
            <translation>For local addresses, keep your phone on the same network as this computer.</translation>
        </message>
        <message>
            <source>Copy URL</source>
            <translation>Copy URL</translation>
        </message>
    </context>
    <context>
        <name>UtilsState</name>
        <message>
            <location filename="../../services/UtilsState.cpp" line="159" />
            <source>❌ The clipboard text is too large for the kit (over %1 MB)</source>
            <translation>❌ The clipboard text is too large for the kit (over %1 MB)</translation>
        </message>
        <message>
            <location filename="../../services/UtilsState.cpp" line="167" />
            <source>❌ The clipboard text could not be read to its end. Copy it again and retry.</source>
            <translation>❌ The clipboard text could not be read to its end. Copy it again and retry.</translation>
        </message>
    </context>
    <context>
        <name>DashboardTab</name>
        <message>
            <location filename="../../model/DashboardTab.cpp" line="15" />
            <source>Terminal</source>
            <translation>Terminal</translation>
        </message>
        <message>
            <location filename="../../model/DashboardTab.cpp" line="16" />
            <source>IA</source>
            <translation>AI</translation>
        </message>
        <message>
            <location filename="../../model/DashboardTab.cpp" line="17" />
            <source>Kit</source>
            <translation>Kit</translation>
        </message>
        <message>
            <location filename="../../model/DashboardTab.cpp" line="18" />
            <source>Clip</source>
            <translation>Clip</translation>
        </message>
        <message>
            <location filename="../../model/DashboardTab.cpp" line="19" />
            <source>Câmera</source>
            <translation>Camera</translation>
        </message>
        <message>
            <location filename="../../model/DashboardTab.cpp" line="20" />
            <source>Media</source>
            <translation>Media</translation>
        </message>
        <message>
            <location filename="../../model/DashboardTab.cpp" line="21" />
            <source>Pomodoro</source>
            <translation>Pomodoro</translation>
        </message>
        <message>
            <location filename="../../model/DashboardTab.cpp" line="22" />
            <source>Kanban</source>
            <translation>Kanban</translation>
        </message>
        <message>
            <location filename="../../model/DashboardTab.cpp" line="23" />
            <source>Shelf</source>
            <translation>Shelf</translation>
        </message>
        <message>
            <location filename="../../model/DashboardTab.cpp" line="24" />
            <source>Notícias</source>
            <translation>News</translation>
        </message>
        <message>
            <location filename="../../model/DashboardTab.cpp" line="25" />
            <source>X</source>
            <translation>X</translation>
        </message>
    </context>
    <context>
        <name>CommandPalette</name>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="34" />
            <source>Stop %1</source>
            <translation>Stop %1</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="35" />
            <source>Start %1</source>
            <translation>Start %1</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="45" />
            <source>Grab text from the screen (OCR)</source>
            <translation>Grab text from the screen (OCR)</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="46" />
            <source>Select an area — the text goes to your clipboard</source>
            <translation>Select an area — the text goes to your clipboard</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="49" />
            <source>Detect clipboard in the Kit</source>
            <translation>Detect clipboard in the Kit</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="50" />
            <source>JSON, JWT, epoch, cor, base64, URL…</source>
            <translation>JSON, JWT, epoch, color, base64, URL…</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="53" />
            <source>Desativar espelho da câmera</source>
            <translation>Turn off the camera mirror</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="54" />
            <source>Ativar espelho da câmera</source>
            <translation>Turn on the camera mirror</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="55" />
            <source>Floating preview below the notch</source>
            <translation>Floating preview below the notch</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="58" />
            <source>Open Settings</source>
            <translation>Open Settings</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="59" />
            <source>Shortcuts, tabs, updates</source>
            <translation>Shortcuts, tabs, updates</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="62" />
            <source>Quit Quillbay</source>
            <translation>Quit Quillbay</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="63" />
            <source>Fecha o app por completo</source>
            <translation>Closes the app entirely</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="72" />
            <source>Go to %1</source>
            <translation>Go to %1</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="73" />
            <source>Abrir aba</source>
            <translation>Open tab</translation>
        </message>
    </context>
</TS>
