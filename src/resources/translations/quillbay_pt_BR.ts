<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pt_BR">
    <context>
        <name>AITab</name>
        <message>
            <location filename="../../views/AITab.cpp" line="135" />
            <source>ESGOTADO</source>
            <translation>ESGOTADO</translation>
        </message>
        <message>
            <location filename="../../views/AITab.cpp" line="236" />
            <source>%lld%%</source>
            <translation>%lld%%</translation>
        </message>
        <message>
            <location filename="../../views/AITab.cpp" line="251" />
            <source>now</source>
            <translation>agora</translation>
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
            <translation>Permita que o Quillbay cole por você</translation>
        </message>
        <message>
            <location filename="../../services/AccessibilityAuth.cpp" line="40" />
            <source>To paste automatically when you pick a clipboard item, macOS requires Accessibility access. Quillbay only uses it to send ⌘V back to the app you were using — it never reads your screen or keystrokes.</source>
            <translation>Para colar automaticamente ao escolher um item da área de transferência, o Quillbay envia Ctrl+V ao app que você estava usando pela extensão XTEST do servidor gráfico, que esta sessão não oferece: o item é apenas copiado. O Quillbay nunca lê sua tela nem o que você digita.</translation>
        </message>
        <message>
            <location filename="../../services/AccessibilityAuth.cpp" line="46" />
            <source>Continue</source>
            <translation>Continuar</translation>
        </message>
        <message>
            <location filename="../../services/AccessibilityAuth.cpp" line="50" />
            <source>Not now</source>
            <translation>Agora não</translation>
        </message>
    </context>
    <context>
        <name>AppQuit</name>
        <message>
            <location filename="../../views/AppQuit.cpp" line="81" />
            <source>Quit Quillbay?</source>
            <translation>Sair do Quillbay?</translation>
        </message>
        <message>
            <location filename="../../views/AppQuit.cpp" line="29" />
            <source>Quit</source>
            <translation>Sair</translation>
        </message>
        <message>
            <location filename="../../views/AppQuit.cpp" line="30" />
            <source>Cancel</source>
            <translation>Cancelar</translation>
        </message>
        <message>
            <location filename="../../views/AppQuit.cpp" line="66" />
            <source>The island leaves the notch and the camera mirror turns off. </source>
            <translation>A ilha sai do topo da tela e o espelho da câmera desliga. </translation>
        </message>
        <message>
            <location filename="../../views/AppQuit.cpp" line="71" />
            <source>%lld service(s) you started keep running in the background, and show up again when you reopen. </source>
            <translation>%lld serviço(s) que você iniciou continuam rodando em segundo plano e aparecem de novo quando você reabrir. </translation>
        </message>
        <message>
            <location filename="../../views/AppQuit.cpp" line="76" />
            <source>Reopen it from Launchpad whenever you want.</source>
            <translation>Abra de novo pelo menu de aplicativos quando quiser.</translation>
        </message>
    </context>
    <context>
        <name>AppearanceSection</name>
        <message>
            <location filename="../../views/settings/AppearanceSection.cpp" line="13" />
            <source>Simulate a notch on screens without one</source>
            <translation>Simular um notch em telas sem um</translation>
        </message>
        <message>
            <location filename="../../views/settings/AppearanceSection.cpp" line="18" />
            <source>Keeps the black bar visible on external monitors and Macs without a notch.</source>
            <translation>Mantém a barra preta visível no topo da tela enquanto a ilha está fechada.</translation>
        </message>
    </context>
    <context>
        <name>AutoPasteSection</name>
        <message>
            <location filename="../../views/settings/AutoPasteSection.cpp" line="14" />
            <source>Clipboard auto-paste</source>
            <translation>Colar automaticamente</translation>
        </message>
        <message>
            <location filename="../../views/settings/AutoPasteSection.cpp" line="15" />
            <source>When granted, picking an item in the quick-paste picker types it right where you were — no manual ⌘V.</source>
            <translation>Quando o servidor gráfico permite, escolher um item no seletor de colagem rápida o digita onde você estava — sem Ctrl+V manual.</translation>
        </message>
        <message>
            <location filename="../../views/settings/AutoPasteSection.cpp" line="27" />
            <source>Grant access…</source>
            <translation>Saiba mais…</translation>
        </message>
        <message>
            <location filename="../../views/settings/AutoPasteSection.cpp" line="45" />
            <source>Accessibility access granted</source>
            <translation>Colagem automática disponível</translation>
        </message>
        <message>
            <location filename="../../views/settings/AutoPasteSection.cpp" line="46" />
            <source>Accessibility access not granted — picking an item just copies it</source>
            <translation>Colagem automática indisponível (este servidor gráfico não oferece XTEST) — escolher um item só o copia</translation>
        </message>
    </context>
    <context>
        <name>CameraService</name>
        <message>
            <location filename="../../services/CameraService.cpp" line="86" />
            <source>Starting the camera…</source>
            <translation>Iniciando a câmera…</translation>
        </message>
        <message>
            <location filename="../../services/CameraService.cpp" line="112" />
            <source>No camera found</source>
            <translation>Nenhuma câmera encontrada</translation>
        </message>
        <message>
            <location filename="../../services/CameraService.cpp" line="115" />
            <source>The camera is in use by another program</source>
            <translation>A câmera está em uso por outro programa</translation>
        </message>
        <message>
            <location filename="../../services/CameraService.cpp" line="118" />
            <source>The camera was disconnected</source>
            <translation>A câmera foi desconectada</translation>
        </message>
        <message>
            <location filename="../../services/CameraService.cpp" line="121" />
            <source>The camera could not be started</source>
            <translation>Não foi possível iniciar a câmera</translation>
        </message>
        <message>
            <location filename="../../services/CameraService.cpp" line="122" />
            <source>The camera could not be started: %1</source>
            <translation>Não foi possível iniciar a câmera: %1</translation>
        </message>
    </context>
    <context>
        <name>CameraTab</name>
        <message>
            <location filename="../../views/CameraTab.cpp" line="228" />
            <source>Shape</source>
            <translation>Formato</translation>
        </message>
        <message>
            <location filename="../../views/CameraTab.cpp" line="244" />
            <source>Border</source>
            <translation>Borda</translation>
        </message>
        <message>
            <location filename="../../views/CameraTab.cpp" line="289" />
            <source>Mirror the image (like a real mirror)</source>
            <translation>Espelhar a imagem (como um espelho de verdade)</translation>
        </message>
        <message>
            <location filename="../../views/CameraTab.cpp" line="295" />
            <source>Drag the middle to move · pull edges and corners to resize (the cursor changes). The preview stays on screen even when the island is closed.</source>
            <translation>Arraste o meio para mover · puxe bordas e cantos para redimensionar (o cursor muda). A prévia fica na tela mesmo com a ilha fechada.</translation>
        </message>
        <message>
            <location filename="../../views/CameraTab.cpp" line="318" />
            <source>Turn off mirror</source>
            <translation>Desligar espelho</translation>
        </message>
        <message>
            <location filename="../../views/CameraTab.cpp" line="318" />
            <source>Turn on camera</source>
            <translation>Ligar câmera</translation>
        </message>
    </context>
    <context>
        <name>ClipTab</name>
        <message>
            <location filename="../../views/ClipTab.cpp" line="37" />
            <source>Unpin</source>
            <translation>Desafixar</translation>
        </message>
        <message>
            <location filename="../../views/ClipTab.cpp" line="37" />
            <source>Pin</source>
            <translation>Fixar</translation>
        </message>
        <message>
            <location filename="../../views/ClipTab.cpp" line="42" />
            <source>Remove</source>
            <translation>Remover</translation>
        </message>
        <message>
            <location filename="../../views/ClipTab.cpp" line="89" />
            <source>HISTORY — CLICK TO COPY</source>
            <translation>HISTÓRICO — CLIQUE PARA COPIAR</translation>
        </message>
        <message>
            <location filename="../../views/ClipTab.cpp" line="101" />
            <source>Clear (keeps pinned)</source>
            <translation>Limpar (mantém os fixados)</translation>
        </message>
        <message>
            <location filename="../../views/ClipTab.cpp" line="106" />
            <source>Copy any text and it shows up here</source>
            <translation>Copie qualquer texto e ele aparece aqui</translation>
        </message>
    </context>
    <context>
        <name>ClipboardPickerView</name>
        <message>
            <location filename="../../views/ClipboardPickerView.cpp" line="150" />
            <source>Recent</source>
            <translation>Recentes</translation>
        </message>
        <message>
            <location filename="../../views/ClipboardPickerView.cpp" line="152" />
            <source>Pinned</source>
            <translation>Fixados</translation>
        </message>
        <message>
            <location filename="../../views/ClipboardPickerView.cpp" line="227" />
            <source>Pasted</source>
            <translation>Colado</translation>
        </message>
        <message>
            <location filename="../../views/ClipboardPickerView.cpp" line="227" />
            <source>Copied — press ⌘V</source>
            <translation>Copiado — tecle Ctrl+V</translation>
        </message>
        <message>
            <location filename="../../views/ClipboardPickerView.cpp" line="331" />
            <source>↵ PASTE · ⌘P PIN</source>
            <translation>↵ COLAR · CTRL+P FIXAR</translation>
        </message>
        <message>
            <location filename="../../views/ClipboardPickerView.cpp" line="331" />
            <source>↵ COPY · ⌘P PIN</source>
            <translation>↵ COPIAR · CTRL+P FIXAR</translation>
        </message>
        <message>
            <location filename="../../views/ClipboardPickerView.cpp" line="359" />
            <source>Unpin</source>
            <translation>Desafixar</translation>
        </message>
        <message>
            <location filename="../../views/ClipboardPickerView.cpp" line="359" />
            <source>Pin — keeps it here permanently</source>
            <translation>Fixar — fica aqui para sempre</translation>
        </message>
        <message>
            <location filename="../../views/ClipboardPickerView.cpp" line="368" />
            <source>Pin items with ⌘P — they stay here for good</source>
            <translation>Fixe itens com Ctrl+P — eles ficam aqui para sempre</translation>
        </message>
        <message>
            <location filename="../../views/ClipboardPickerView.cpp" line="369" />
            <source>Nothing copied yet</source>
            <translation>Nada copiado ainda</translation>
        </message>
    </context>
    <context>
        <name>CommandForm</name>
        <message>
            <location filename="../../views/CommandForm.cpp" line="84" />
            <source>Save</source>
            <translation>Salvar</translation>
        </message>
        <message>
            <location filename="../../views/CommandForm.cpp" line="84" />
            <source>Update</source>
            <translation>Atualizar</translation>
        </message>
    </context>
    <context>
        <name>CommandsService</name>
        <message>
            <location filename="../../services/CommandsService.cpp" line="246" />
            <source>Usar esta pasta</source>
            <translation>Usar esta pasta</translation>
        </message>
        <message>
            <location filename="../../services/CommandsService.cpp" line="246" />
            <source>Escolha a pasta onde o comando vai rodar</source>
            <translation>Escolha a pasta onde o comando vai rodar</translation>
        </message>
        <message>
            <location filename="../../services/CommandsService.cpp" line="257" />
            <source>Usar caminho</source>
            <translation>Usar caminho</translation>
        </message>
        <message>
            <location filename="../../services/CommandsService.cpp" line="257" />
            <source>Choose the folder or file to insert into the command</source>
            <translation>Escolha a pasta ou o arquivo a inserir no comando</translation>
        </message>
        <message>
            <location filename="../../services/CommandsService.cpp" line="609" />
            <source>(sem log ainda — inicie o serviço)</source>
            <translation>(sem log ainda — inicie o serviço)</translation>
        </message>
        <message>
            <location filename="../../services/CommandsService.cpp" line="613" />
            <source>(log vazio)</source>
            <translation>(log vazio)</translation>
        </message>
        <message>
            <location filename="../../services/CommandsService.cpp" line="622" />
            <source>Start the service first (▶)</source>
            <translation>Inicie o serviço primeiro (▶)</translation>
        </message>
        <message>
            <location filename="../../services/CommandsService.cpp" line="625" />
            <source>Looking for the service's port…</source>
            <translation>Procurando a porta do serviço…</translation>
        </message>
        <message>
            <location filename="../../services/CommandsService.cpp" line="657" />
            <source>Não achei porta escutando — o serviço já terminou de subir?</source>
            <translation>Não achei porta escutando — o serviço já terminou de subir?</translation>
        </message>
        <message>
            <location filename="../../services/CommandsService.cpp" line="661" />
            <source>Sem rede local — conecte no Wi-Fi</source>
            <translation>Sem rede local — conecte no Wi-Fi</translation>
        </message>
    </context>
    <context>
        <name>CustomTabForm</name>
        <message>
            <location filename="../../views/settings/CustomTabForm.cpp" line="31" />
            <source>Manual only</source>
            <translation>Só manual</translation>
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
            <translation>Nome da aba</translation>
        </message>
        <message>
            <location filename="../../views/settings/CustomTabForm.cpp" line="50" />
            <source>Script</source>
            <translation>Script</translation>
        </message>
        <message>
            <location filename="../../views/settings/CustomTabForm.cpp" line="52" />
            <source>Web page</source>
            <translation>Página web</translation>
        </message>
        <message>
            <location filename="../../views/settings/CustomTabForm.cpp" line="76" />
            <source>Runs in zsh with your usual PATH. The output shows up in the tab.</source>
            <translation>Roda no zsh com o seu PATH de sempre. A saída aparece na aba.</translation>
        </message>
        <message>
            <location filename="../../views/settings/CustomTabForm.cpp" line="80" />
            <source>Auto refresh</source>
            <translation>Atualizar sozinho</translation>
        </message>
        <message>
            <location filename="../../views/settings/CustomTabForm.cpp" line="98" />
            <source>http://localhost:3000</source>
            <translation>http://localhost:3000</translation>
        </message>
        <message>
            <location filename="../../views/settings/CustomTabForm.cpp" line="103" />
            <source>Any address works: localhost, a dashboard, a local HTML file (file://…).</source>
            <translation>Qualquer endereço serve: localhost, um painel, um arquivo HTML local (file://…).</translation>
        </message>
        <message>
            <location filename="../../views/settings/CustomTabForm.cpp" line="108" />
            <source>Save</source>
            <translation>Salvar</translation>
        </message>
        <message>
            <location filename="../../views/settings/CustomTabForm.cpp" line="109" />
            <source>Cancel</source>
            <translation>Cancelar</translation>
        </message>
    </context>
    <context>
        <name>CustomTabsService</name>
        <message>
            <location filename="../../services/CustomTabsService.cpp" line="120" />
            <source>The command failed or timed out.</source>
            <translation>O comando falhou ou excedeu o tempo.</translation>
        </message>
    </context>
    <context>
        <name>DashboardView</name>
        <message>
            <location filename="../../views/DashboardView.cpp" line="184" />
            <source>Configurações</source>
            <translation>Configurações</translation>
        </message>
        <message>
            <location filename="../../views/DashboardView.cpp" line="185" />
            <source>Quit Quillbay</source>
            <translation>Sair do Quillbay</translation>
        </message>
    </context>
    <context>
        <name>FeaturesSection</name>
        <message>
            <location filename="../../views/settings/FeaturesSection.cpp" line="38" />
            <source>At least one tab stays on. New features are added at the end automatically.</source>
            <translation>Pelo menos uma aba fica ligada. Novos recursos entram no fim automaticamente.</translation>
        </message>
        <message>
            <location filename="../../views/settings/FeaturesSection.cpp" line="41" />
            <source>Add custom tab…</source>
            <translation>Adicionar aba personalizada…</translation>
        </message>
        <message>
            <location filename="../../views/settings/FeaturesSection.cpp" line="42" />
            <source>A shell command whose output lives in the island, or an embedded web page.</source>
            <translation>Um comando de shell cuja saída mora na ilha, ou uma página web embutida.</translation>
        </message>
        <message>
            <location filename="../../views/settings/FeaturesSection.cpp" line="196" />
            <source>Edit</source>
            <translation>Editar</translation>
        </message>
        <message>
            <location filename="../../views/settings/FeaturesSection.cpp" line="198" />
            <source>Delete</source>
            <translation>Apagar</translation>
        </message>
    </context>
    <context>
        <name>IslandIndicatorsView</name>
        <message>
            <location filename="../../views/IslandIndicatorsView.cpp" line="259" />
            <source>Pausar Pomodoro</source>
            <translation>Pausar Pomodoro</translation>
        </message>
        <message>
            <location filename="../../views/IslandIndicatorsView.cpp" line="314" />
            <source>Pause</source>
            <translation>Pausar</translation>
        </message>
        <message>
            <location filename="../../views/IslandIndicatorsView.cpp" line="314" />
            <source>Resume</source>
            <translation>Continuar</translation>
        </message>
        <message>
            <location filename="../../views/IslandIndicatorsView.cpp" line="325" />
            <source>Abrir no </source>
            <translation>Abrir no </translation>
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
            <translation>Adicionar</translation>
        </message>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="1" />
            <source>Arraste para mover ou reordenar</source>
            <translation>Arraste para mover ou reordenar</translation>
        </message>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="1" />
            <source>Back</source>
            <translation>Voltar</translation>
        </message>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="1" />
            <source>Cancel</source>
            <translation>Cancelar</translation>
        </message>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="1" />
            <source>Context, criteria or next steps…</source>
            <translation>Contexto, critérios ou próximos passos…</translation>
        </message>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="1" />
            <source>Description</source>
            <translation>Descrição</translation>
        </message>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="1" />
            <source>Excluir</source>
            <translation>Excluir</translation>
        </message>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="1" />
            <source>Save</source>
            <translation>Salvar</translation>
        </message>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="126" />
            <source>Editar tarefa</source>
            <translation>Editar tarefa</translation>
        </message>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="136" />
            <source>Mover para a etapa anterior</source>
            <translation>Mover para a etapa anterior</translation>
        </message>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="151" />
            <source>Mover para a próxima etapa</source>
            <translation>Mover para a próxima etapa</translation>
        </message>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="285" />
            <source>Solte uma tarefa aqui</source>
            <translation>Solte uma tarefa aqui</translation>
        </message>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="393" />
            <source>Nova tarefa…</source>
            <translation>Nova tarefa…</translation>
        </message>
        <message>
            <location filename="../../views/KanbanTab.cpp" line="439" />
            <source>Título</source>
            <translation>Título</translation>
        </message>
    </context>
    <context>
        <name>LanguageSection</name>
        <message>
            <location filename="../../views/settings/LanguageSection.cpp" line="11" />
            <source>Language</source>
            <translation>Idioma</translation>
        </message>
        <message>
            <location filename="../../views/settings/LanguageSection.cpp" line="11" />
            <source>By default Quillbay follows your Mac's language.</source>
            <translation>Por padrão o Quillbay segue o idioma do seu sistema.</translation>
        </message>
        <message>
            <location filename="../../views/settings/LanguageSection.cpp" line="22" />
            <source>Follow system</source>
            <comment>Opção de idioma</comment>
            <translation>Seguir o sistema</translation>
        </message>
        <message>
            <location filename="../../views/settings/LanguageSection.cpp" line="33" />
            <source>Restart to apply</source>
            <translation>Reiniciar para aplicar</translation>
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
            <translation>Escolha em qual tela a ilha mora. No Automático ela segue o notch, ou a tela principal.</translation>
        </message>
        <message>
            <location filename="../../views/settings/MonitorSection.cpp" line="41" />
            <source>Automatic</source>
            <translation>Automático</translation>
        </message>
        <message>
            <location filename="../../views/settings/MonitorSection.cpp" line="51" />
            <source>Chosen monitor (disconnected)</source>
            <translation>Monitor escolhido (desconectado)</translation>
        </message>
    </context>
    <context>
        <name>LogViewer</name>
        <message>
            <location filename="../../views/LogViewer.cpp" line="154" />
            <source>Ended by signal %1</source>
            <translation>Encerrado pelo sinal %1</translation>
        </message>
        <message>
            <location filename="../../views/LogViewer.cpp" line="157" />
            <source>Exited with status %1</source>
            <translation>Saiu com status %1</translation>
        </message>
        <message>
            <location filename="../../views/LogViewer.cpp" line="158" />
            <source>Ended on its own</source>
            <translation>Parou sozinho</translation>
        </message>
    </context>
    <context>
        <name>MediaTab</name>
        <message>
            <location filename="../../views/MediaTab.cpp" line="1" />
            <source>Nothing playing</source>
            <translation>Nada tocando</translation>
        </message>
        <message>
            <location filename="../../views/MediaTab.cpp" line="1" />
            <source>Open Spotify or Music to control playback here.</source>
            <translation>Toque algo no Spotify ou em outro player para controlá-lo aqui.</translation>
        </message>
        <message>
            <location filename="../../views/MediaTab.cpp" line="1" />
            <source>Tocando no </source>
            <translation>Tocando no </translation>
        </message>
        <message>
            <location filename="../../views/MediaTab.cpp" line="1" />
            <source>Pausado no </source>
            <translation>Pausado no </translation>
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
            <translation>Digite pra filtrar… (Enter executa, Esc fecha)</translation>
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
            <translation>Pausar</translation>
        </message>
        <message>
            <location filename="../../views/PomodoroTab.cpp" line="1" />
            <source>Start</source>
            <translation>Iniciar</translation>
        </message>
        <message>
            <location filename="../../views/PomodoroTab.cpp" line="1" />
            <source>O timer continua com a ilha fechada.</source>
            <translation>O timer continua com a ilha fechada.</translation>
        </message>
        <message>
            <location filename="../../views/PomodoroTab.cpp" line="1" />
            <source>Inicie quando estiver pronto.</source>
            <translation>Inicie quando estiver pronto.</translation>
        </message>
        <message numerus="yes">
            <location filename="../../views/PomodoroTab.cpp" line="1" />
            <source>^[%lld session](inflect: true) done</source>
            <translation>
                <numerusform>%lld sessão concluída</numerusform>
                <numerusform>%lld sessões concluídas</numerusform>
            </translation>
        </message>
        <message>
            <location filename="../../views/PomodoroTab.cpp" line="159" />
            <source>Reiniciar etapa</source>
            <translation>Reiniciar etapa</translation>
        </message>
        <message>
            <location filename="../../views/PomodoroTab.cpp" line="164" />
            <source>Move to the next stage</source>
            <translation>Ir para a próxima etapa</translation>
        </message>
    </context>
    <context>
        <name>PrivacySection</name>
        <message>
            <location filename="../../views/settings/PrivacySection.cpp" line="35" />
            <source>Help with anonymous usage stats</source>
            <translation>Ajudar com estatísticas de uso anônimas</translation>
        </message>
        <message>
            <location filename="../../views/settings/PrivacySection.cpp" line="39" />
            <source>Once a day: which tabs you opened, for how long, and your app and macOS version. A random number tells installs apart — never you.</source>
            <translation>Uma vez por dia: quais abas você abriu, por quanto tempo, e as versões do app e do sistema. Um número aleatório distingue instalações — nunca você.</translation>
        </message>
        <message>
            <location filename="../../views/settings/PrivacySection.cpp" line="46" />
            <source>The app does not write your IP to its analytics dataset. Cloudflare may process request metadata to operate and protect the service. Commands, logs, files, clipboard, email, name and hardware identifiers are not sent by the app.</source>
            <translation>O app não grava seu IP no conjunto de dados de análise. A Cloudflare pode processar metadados da requisição para operar e proteger o serviço. Comandos, logs, arquivos, área de transferência, e-mail, nome e identificadores de hardware não são enviados pelo app.</translation>
        </message>
        <message>
            <location filename="../../views/settings/PrivacySection.cpp" line="53" />
            <source>Privacy policy</source>
            <translation>Política de privacidade</translation>
        </message>
        <message>
            <location filename="../../views/settings/PrivacySection.cpp" line="99" />
            <source>Hide what would be sent</source>
            <translation>Esconder o que seria enviado</translation>
        </message>
        <message>
            <location filename="../../views/settings/PrivacySection.cpp" line="99" />
            <source>See exactly what would be sent</source>
            <translation>Ver exatamente o que seria enviado</translation>
        </message>
    </context>
    <context>
        <name>QRViewer</name>
        <message>
            <location filename="../../views/QRViewer.cpp" line="125" />
            <source>Open %1 on your phone</source>
            <translation>Abrir %1 no celular</translation>
        </message>
        <message>
            <location filename="../../views/QRViewer.cpp" line="131" />
            <source>%1  ·  phone on the same Wi-Fi</source>
            <translation>%1  ·  celular no mesmo Wi-Fi</translation>
        </message>
    </context>
    <context>
        <name>ScriptTabView</name>
        <message>
            <location filename="../../views/ScriptTabView.cpp" line="71" />
            <source>Run again</source>
            <translation>Executar de novo</translation>
        </message>
        <message>
            <location filename="../../views/ScriptTabView.cpp" line="146" />
            <source>Running…</source>
            <translation>Executando…</translation>
        </message>
    </context>
    <context>
        <name>SettingsService</name>
        <message>
            <location filename="../../services/SettingsService.cpp" line="361" />
            <source>This key can't be part of a shortcut. Try a letter, a digit or a function key.</source>
            <translation>Essa tecla não pode fazer parte de um atalho. Tente uma letra, um dígito ou uma tecla de função.</translation>
        </message>
        <message>
            <location filename="../../services/SettingsService.cpp" line="367" />
            <source>Hold Ctrl, Alt or Super with the key: Shift alone is not enough.</source>
            <translation>Segure Ctrl, Alt ou Super junto com a tecla: só Shift não basta.</translation>
        </message>
    </context>
    <context>
        <name>SettingsView</name>
        <message>
            <location filename="../../views/settings/SettingsView.cpp" line="74" />
            <source>Quit Quillbay</source>
            <translation>Sair do Quillbay</translation>
        </message>
        <message>
            <location filename="../../views/settings/SettingsView.cpp" line="76" />
            <source>Quits the app entirely — the island leaves the notch</source>
            <translation>Fecha o app por completo — a ilha sai do notch</translation>
        </message>
        <message>
            <location filename="../../views/settings/SettingsView.cpp" line="78" />
            <source>Close</source>
            <translation>Fechar</translation>
        </message>
    </context>
    <context>
        <name>ShortcutsSection</name>
        <message>
            <location filename="../../app/AppDelegate.cpp" line="508" />
            <source>That shortcut is already taken by another app. Record another one.</source>
            <translation>Esse atalho já é usado por outro app. Grave outro.</translation>
        </message>
        <message>
            <location filename="../../views/settings/ShortcutsSection.cpp" line="16" />
            <source>Open/close the island</source>
            <translation>Abrir/fechar a ilha</translation>
        </message>
        <message>
            <location filename="../../views/settings/ShortcutsSection.cpp" line="17" />
            <source>Clipboard quick-paste</source>
            <translation>Colagem rápida</translation>
        </message>
        <message>
            <location filename="../../views/settings/ShortcutsSection.cpp" line="25" />
            <source>Use at least one modifier: ⌘, ⌥, ⌃ or ⇧. Press Esc to cancel recording.</source>
            <translation>Segure Ctrl, Alt ou Super com a tecla — só Shift não basta. Aperte Esc para cancelar a gravação.</translation>
        </message>
        <message>
            <location filename="../../views/settings/ShortcutsSection.cpp" line="55" />
            <source>Remove</source>
            <translation>Remover</translation>
        </message>
        <message>
            <location filename="../../views/settings/ShortcutsSection.cpp" line="82" />
            <source>Press the keys…</source>
            <translation>Aperte as teclas…</translation>
        </message>
        <message>
            <location filename="../../views/settings/ShortcutsSection.cpp" line="88" />
            <source>Cancel</source>
            <translation>Cancelar</translation>
        </message>
        <message>
            <location filename="../../views/settings/ShortcutsSection.cpp" line="88" />
            <source>Record new…</source>
            <translation>Gravar novo…</translation>
        </message>
    </context>
    <context>
        <name>ShelfTab</name>
        <message>
            <location filename="../../views/ShelfTab.cpp" line="1" />
            <source>DROP FILES ANYWHERE IN THE ISLAND</source>
            <translation>SOLTE ARQUIVOS EM QUALQUER PARTE DA ILHA</translation>
        </message>
        <message>
            <location filename="../../views/ShelfTab.cpp" line="1" />
            <source>Drag files to the notch and drop them here.
Then drag them out, AirDrop them, or copy.</source>
            <translation>Arraste arquivos até o notch e solte-os aqui.
Depois arraste-os para fora, envie pelo KDE Connect ou copie.</translation>
        </message>
        <message>
            <location filename="../../views/ShelfTab.cpp" line="117" />
            <source>Send via AirDrop</source>
            <translation>Enviar para um celular pelo KDE Connect</translation>
        </message>
        <message>
            <location filename="../../views/ShelfTab.cpp" line="120" />
            <source>Copy file</source>
            <translation>Copiar arquivo</translation>
        </message>
        <message>
            <location filename="../../views/ShelfTab.cpp" line="123" />
            <source>Show in Finder</source>
            <translation>Mostrar no gerenciador de arquivos</translation>
        </message>
        <message>
            <location filename="../../views/ShelfTab.cpp" line="127" />
            <source>Remove from shelf</source>
            <translation>Tirar da prateleira</translation>
        </message>
        <message>
            <location filename="../../views/ShelfTab.cpp" line="187" />
            <source>Empty the shelf</source>
            <translation>Esvaziar a prateleira</translation>
        </message>
    </context>
    <context>
        <name>TerminalTab</name>
        <message>
            <location filename="../../views/TerminalTab.cpp" line="42" />
            <source>Died on its own — check the log</source>
            <translation>Parou sozinho — veja o log</translation>
        </message>
        <message>
            <location filename="../../views/TerminalTab.cpp" line="62" />
            <source>Stopping…</source>
            <translation>Parando…</translation>
        </message>
        <message>
            <location filename="../../views/TerminalTab.cpp" line="142" />
            <source>MY SERVICES</source>
            <translation>MEUS SERVIÇOS</translation>
        </message>
    </context>
    <context>
        <name>NewsError</name>
        <message>
            <source>The site answered with an error (%lld).</source>
            <translation>O site respondeu com um erro (%lld).</translation>
        </message>
        <message>
            <source>That site doesn't publish a feed we can follow.</source>
            <translation>Esse site não publica um feed que possamos seguir.</translation>
        </message>
        <message>
            <source>That doesn't look like a site address.</source>
            <translation>Isso não parece um endereço de site.</translation>
        </message>
        <message>
            <source>That site is already on your list.</source>
            <translation>Esse site já está na sua lista.</translation>
        </message>
        <message>
            <source>Type an X handle, like @nasa.</source>
            <translation>Digite um perfil do X, como @nasa.</translation>
        </message>
        <message>
            <source>Couldn't find that profile — check the handle.</source>
            <translation>Não encontrei esse perfil — confira o nome.</translation>
        </message>
        <message>
            <source>X is rate-limiting us right now. Try again in a minute.</source>
            <translation>O X está limitando nossos pedidos agora. Tente de novo em um minuto.</translation>
        </message>
        <message>
            <source>Couldn't reach that site.</source>
            <translation>Não consegui acessar esse site.</translation>
        </message>
    </context>
    <context>
        <name>NewsTab</name>
        <message>
            <source>in the future</source>
            <translation>no futuro</translation>
        </message>
        <message>
            <source>just now</source>
            <translation>agora mesmo</translation>
        </message>
        <message>
            <source>1 minute ago</source>
            <translation>há 1 minuto</translation>
        </message>
        <message>
            <source>%1 minutes ago</source>
            <translation>há %1 minutos</translation>
        </message>
        <message>
            <source>1 hour ago</source>
            <translation>há 1 hora</translation>
        </message>
        <message>
            <source>%1 hours ago</source>
            <translation>há %1 horas</translation>
        </message>
        <message>
            <source>yesterday</source>
            <translation>ontem</translation>
        </message>
        <message>
            <source>%1 days ago</source>
            <translation>há %1 dias</translation>
        </message>
        <message>
            <source>1 week ago</source>
            <translation>há 1 semana</translation>
        </message>
        <message>
            <source>%1 weeks ago</source>
            <translation>há %1 semanas</translation>
        </message>
        <message>
            <source>1 month ago</source>
            <translation>há 1 mês</translation>
        </message>
        <message>
            <source>%1 months ago</source>
            <translation>há %1 meses</translation>
        </message>
        <message>
            <source>1 year ago</source>
            <translation>há 1 ano</translation>
        </message>
        <message>
            <source>%1 years ago</source>
            <translation>há %1 anos</translation>
        </message>
        <message>
            <location filename="../../views/NewsTab.cpp" line="84" />
            <source>paste a site (blog, news, YouTube…)</source>
            <translation>cole um site (blog, notícias, YouTube…)</translation>
        </message>
        <message>
            <location filename="../../views/NewsTab.cpp" line="84" />
            <source>@handle on X — like @nasa</source>
            <translation>@perfil no X — como @nasa</translation>
        </message>
        <message>
            <location filename="../../views/NewsTab.cpp" line="90" />
            <source>Add site</source>
            <translation>Adicionar site</translation>
        </message>
        <message>
            <location filename="../../views/NewsTab.cpp" line="90" />
            <source>Follow profile</source>
            <translation>Seguir perfil</translation>
        </message>
        <message>
            <location filename="../../views/NewsTab.cpp" line="97" />
            <source>Check for new posts now</source>
            <translation>Buscar posts novos agora</translation>
        </message>
        <message>
            <location filename="../../views/NewsTab.cpp" line="173" />
            <source>Remove source</source>
            <translation>Remover fonte</translation>
        </message>
        <message>
            <location filename="../../views/NewsTab.cpp" line="173" />
            <source>Unfollow</source>
            <translation>Deixar de seguir</translation>
        </message>
        <message>
            <location filename="../../views/NewsTab.cpp" line="314" />
            <source>No posts yet. They arrive on the next refresh.</source>
            <translation>Nenhum post ainda. Eles chegam na próxima atualização.</translation>
        </message>
        <message>
            <location filename="../../views/NewsTab.cpp" line="316" />
            <source>Add a site and get its new posts here.</source>
            <translation>Adicione um site e receba os posts novos dele aqui.</translation>
        </message>
        <message>
            <location filename="../../views/NewsTab.cpp" line="317" />
            <source>Follow people on X — their posts land here.</source>
            <translation>Siga pessoas no X — os posts delas chegam aqui.</translation>
        </message>
    </context>
    <context>
        <name>UpdateService</name>
        <message>
            <location filename="../../services/UpdateService.cpp" line="87" />
            <location filename="../../services/UpdateService.cpp" line="353" />
            <source>This update failed the security check and was discarded.</source>
            <translation>Esta atualização não passou na verificação de segurança e foi descartada.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="89" />
            <source>This update isn&apos;t signed by Quillbay and was discarded.</source>
            <translation>Esta atualização não é assinada pela Quillbay e foi descartada.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="91" />
            <source>This update contains unsafe files and was discarded.</source>
            <translation>Esta atualização contém arquivos inseguros e foi descartada.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="91" />
            <source>The download was interrupted. Try again.</source>
            <translation>O download foi interrompido. Tente de novo.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="91" />
            <source>Couldn&apos;t open the update file.</source>
            <translation>Não foi possível abrir o arquivo de atualização.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="93" />
            <source>The update doesn&apos;t contain the app.</source>
            <translation>A atualização não contém o app.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="95" />
            <source>Couldn&apos;t prepare the update.</source>
            <translation>Não foi possível preparar a atualização.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="100" />
            <source>Couldn&apos;t prepare the installer.</source>
            <translation>Não foi possível preparar o instalador.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="274" />
            <location filename="../../services/UpdateService.cpp" line="327" />
            <location filename="../../services/UpdateService.cpp" line="331" />
            <location filename="../../services/UpdateService.cpp" line="334" />
            <source>Download failed</source>
            <translation>Falha no download</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="337" />
            <source>The update checksum didn&apos;t match and was discarded.</source>
            <translation>O checksum da atualização não conferiu e ela foi descartada.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="382" />
            <source>Couldn&apos;t start the installer.</source>
            <translation>Não foi possível iniciar o instalador.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="198" />
            <source>Quillbay checks again later.</source>
            <translation>O Quillbay verifica de novo mais tarde.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="205" />
            <source>Couldn't reach the update server.</source>
            <translation>Não foi possível falar com o servidor de atualizações.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="206" />
            <source>Check that this computer is online, then try again.</source>
            <translation>Verifique se este computador está conectado à internet e tente de novo.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="209" />
            <source>The update server didn't answer in time.</source>
            <translation>O servidor de atualizações não respondeu a tempo.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="213" />
            <source>Couldn't open a secure connection to the update server: its certificate was not accepted.</source>
            <translation>Não foi possível abrir uma conexão segura com o servidor de atualizações: o certificado dele não foi aceito.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="215" />
            <source>Check that this computer's date and time are right, and whether a proxy or firewall intercepts secure connections, then try again.</source>
            <translation>Verifique se a data e a hora deste computador estão certas e se um proxy ou firewall intercepta conexões seguras, e tente de novo.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="219" />
            <source>The update server's answer couldn't be used.</source>
            <translation>A resposta do servidor de atualizações não pôde ser usada.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="219" />
            <source>Try again later.</source>
            <translation>Tente de novo mais tarde.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="223" />
            <source>The connection to the update server failed.</source>
            <translation>A conexão com o servidor de atualizações falhou.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="236" />
            <source>The update server's answer couldn't be used (HTTP %1).</source>
            <translation>A resposta do servidor de atualizações não pôde ser usada (HTTP %1).</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="256" />
            <source>Version %1 is out, but the update server gave no download Quillbay can trust.</source>
            <translation>A versão %1 saiu, mas o servidor de atualizações não deu um download em que o Quillbay possa confiar.</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="1" />
            <source>%1 in %2</source>
            <extracomment>The system's own reason for a failed write (&quot;No space left on device&quot;), then the folder written into.</extracomment>
            <translation>%1 em %2</translation>
        </message>
        <message>
            <location filename="../../services/UpdateService.cpp" line="1" />
            <source>The update server sent the check to an address Quillbay doesn&apos;t trust.</source>
            <translation>O servidor de atualizações mandou a verificação para um endereço em que o Quillbay não confia.</translation>
        </message>
    </context>
    <context>
        <name>UpdatesSection</name>
        <message>
            <location filename="../../views/settings/UpdatesSection.cpp" line="19" />
            <source>Check for updates</source>
            <translation>Procurar atualizações</translation>
        </message>
        <message>
            <location filename="../../views/settings/UpdatesSection.cpp" line="46" />
            <source>Update now</source>
            <translation>Atualizar agora</translation>
        </message>
        <message>
            <location filename="../../views/settings/UpdatesSection.cpp" line="55" />
            <source>Check automatically (once a day)</source>
            <translation>Procurar automaticamente (uma vez por dia)</translation>
        </message>
        <message>
            <location filename="../../views/settings/UpdatesSection.cpp" line="97" />
            <source>Checking…</source>
            <translation>Procurando…</translation>
        </message>
        <message>
            <location filename="../../views/settings/UpdatesSection.cpp" line="100" />
            <source>You're on the latest version ✓</source>
            <translation>Você está na versão mais recente ✓</translation>
        </message>
        <message>
            <location filename="../../views/settings/UpdatesSection.cpp" line="103" />
            <source>Downloading…</source>
            <translation>Baixando…</translation>
        </message>
        <message>
            <location filename="../../views/settings/UpdatesSection.cpp" line="106" />
            <source>Installing — the app will reopen…</source>
            <translation>Instalando — o app vai reabrir…</translation>
        </message>
        <message>
            <location filename="../../views/settings/UpdatesSection.cpp" line="106" />
            <source>Unpacking the update — %1 %</source>
            <translation>Descompactando a atualização — %1 %</translation>
        </message>
        <message>
            <location filename="../../views/settings/UpdatesSection.cpp" line="120" />
            <source>Version %1 is available 🎉</source>
            <translation>A versão %1 está disponível 🎉</translation>
        </message>
    </context>
    <context>
        <name>WebTabView</name>
        <message>
            <location filename="../../views/WebTabView.cpp" line="30" />
            <source>Reload page</source>
            <translation>Recarregar página</translation>
        </message>
        <message>
            <location filename="../../views/WebTabView.cpp" line="42" />
            <source>Invalid URL — edit this tab in Settings.</source>
            <translation>URL inválida — edite esta aba nas Configurações.</translation>
        </message>
    </context>
    <context>
        <name>ImageConvertView</name>
        <message>
            <source>Convert to:</source>
            <translation>Converter para:</translation>
        </message>
        <message>
            <source>Drop images here (HEIC, PNG, JPEG, TIFF, WebP…)
The converted file is saved in the same folder.</source>
            <translation>Solte imagens aqui (HEIC, PNG, JPEG, TIFF, WebP…)
O arquivo convertido é salvo na mesma pasta.</translation>
        </message>
    </context>
    <context>
        <name>KitTab</name>
        <message>
            <source>Generate</source>
            <translation>Gerar</translation>
        </message>
        <message>
            <source>Pick a color</source>
            <translation>Escolher uma cor</translation>
        </message>
        <message>
            <source>Escolher cor</source>
            <translation>Escolher cor</translation>
        </message>
        <message>
            <source>Pick from screen</source>
            <translation>Pegar da tela</translation>
        </message>
    </context>
    <context>
        <name>OCRView</name>
        <message>
            <source>The recognized text goes straight to your clipboard. The first time, macOS asks for Screen Recording permission.</source>
            <translation>O texto reconhecido vai direto para a área de transferência. Selecione uma área da tela congelada; Esc ou o botão direito cancela.</translation>
        </message>
        <message>
            <source>Selecting…</source>
            <translation>Selecionando…</translation>
        </message>
        <message>
            <source>Capture screen area</source>
            <translation>Capturar área da tela</translation>
        </message>
    </context>
    <context>
        <name>QRGeneratorView</name>
        <message>
            <source>Colar</source>
            <translation>Colar</translation>
        </message>
        <message>
            <source>Colar URL da área de transferência</source>
            <translation>Colar URL da área de transferência</translation>
        </message>
        <message>
            <source>Point your phone&apos;s camera</source>
            <translation>Aponte a câmera do celular</translation>
        </message>
        <message>
            <source>For local addresses, keep your phone on the same Wi-Fi as your Mac.</source>
            <translation>Para endereços locais, mantenha o celular na mesma rede deste computador.</translation>
        </message>
        <message>
            <source>Copy URL</source>
            <translation>Copiar URL</translation>
        </message>
    </context>
    <context>
        <name>UtilsState</name>
        <message>
            <location filename="../../services/UtilsState.cpp" line="159" />
            <source>❌ The clipboard text is too large for the kit (over %1 MB)</source>
            <translation>❌ O texto da área de transferência é grande demais para o kit (mais de %1 MB)</translation>
        </message>
        <message>
            <location filename="../../services/UtilsState.cpp" line="167" />
            <source>❌ The clipboard text could not be read to its end. Copy it again and retry.</source>
            <translation>❌ Não foi possível ler o texto da área de transferência até o fim. Copie-o de novo e tente outra vez.</translation>
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
            <translation>IA</translation>
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
            <translation>Câmera</translation>
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
            <translation>Notícias</translation>
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
            <translation>Parar %1</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="35" />
            <source>Start %1</source>
            <translation>Iniciar %1</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="45" />
            <source>Grab text from the screen (OCR)</source>
            <translation>Capturar texto da tela (OCR)</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="46" />
            <source>Select an area — the text goes to your clipboard</source>
            <translation>Selecione uma área — o texto vai para a área de transferência</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="49" />
            <source>Detect clipboard in the Kit</source>
            <translation>Detectar a área de transferência no Kit</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="50" />
            <source>JSON, JWT, epoch, cor, base64, URL…</source>
            <translation>JSON, JWT, epoch, cor, base64, URL…</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="53" />
            <source>Desativar espelho da câmera</source>
            <translation>Desativar espelho da câmera</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="54" />
            <source>Ativar espelho da câmera</source>
            <translation>Ativar espelho da câmera</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="55" />
            <source>Floating preview below the notch</source>
            <translation>Prévia flutuante abaixo do notch</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="58" />
            <source>Open Settings</source>
            <translation>Abrir configurações</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="59" />
            <source>Shortcuts, tabs, updates</source>
            <translation>Atalhos, abas, atualizações</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="62" />
            <source>Quit Quillbay</source>
            <translation>Sair do Quillbay</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="63" />
            <source>Fecha o app por completo</source>
            <translation>Fecha o app por completo</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="72" />
            <source>Go to %1</source>
            <translation>Ir para %1</translation>
        </message>
        <message>
            <location filename="../../services/CommandPalette.cpp" line="73" />
            <source>Abrir aba</source>
            <translation>Abrir aba</translation>
        </message>
    </context>
</TS>
