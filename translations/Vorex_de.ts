<?xml version='1.0' encoding='utf-8'?>
<TS version="2.1" language="de_DE">
<context>
    <name>DeviceCombo</name>
    <message>
        <source>Recorder device</source>
        <translation>Aufnahmegerät</translation>
    </message>
</context>
<context>
    <name>DiscSpaceBar</name>
    <message>
        <source>Free disc space</source>
        <translation>Freier Speicherplatz</translation>
    </message>
    <message>
        <source>%1 free</source>
        <translation>%1 frei</translation>
    </message>
    <message>
        <source>No recorder device</source>
        <translation>Kein Aufnahmegerät</translation>
    </message>
    <message>
        <source>%1: %2 of %3 free</source>
        <translation>%1: %2 von %3 frei</translation>
    </message>
    <message>
        <source>Almost no disc space left.</source>
        <translation>Fast kein Speicherplatz mehr frei.</translation>
    </message>
    <message>
        <source>Little disc space left.</source>
        <translation>Nur noch wenig Speicherplatz frei.</translation>
    </message>
</context>
<context>
    <name>HostOptions</name>
    <message>
        <source>VRX_TRACE_MASK is not a number: %1</source>
        <translation>VRX_TRACE_MASK ist keine Zahl: %1</translation>
    </message>
    <message>
        <source>unexpected argument %1</source>
        <translation>unerwartetes Argument %1</translation>
    </message>
    <message>
        <source>--channels must be a number from 1 to %1, not "%2"</source>
        <translation>--channels muss eine Zahl von 1 bis %1 sein, nicht „%2“</translation>
    </message>
    <message>
        <source>--trace-mask must be a number, not "%1"</source>
        <translation>--trace-mask muss eine Zahl sein, nicht „%1“</translation>
    </message>
    <message>
        <source>--lang must name a language, such as de, not "%1"</source>
        <translation>--lang muss eine Sprache nennen, etwa de, nicht „%1“</translation>
    </message>
    <message>
        <source>--small-device-free must be a number of MiB, not "%1"</source>
        <translation>--small-device-free muss eine Zahl von MiB sein, nicht „%1“</translation>
    </message>
    <message>
        <source>--manager must be a corbaloc address such as corbaloc::host:port/CCO, not "%1"</source>
        <translation>--manager muss eine corbaloc-Adresse wie corbaloc::host:port/CCO sein, nicht „%1“</translation>
    </message>
    <message>
        <source>--manager does not go with --scenario: a road starts its own manager (--manager-process)</source>
        <translation>--manager passt nicht zu --scenario: ein Ablauf startet seinen eigenen Manager (--manager-process)</translation>
    </message>
    <message>
        <source>--manager-process starts a manager, --manager reaches a running one: give one of them</source>
        <translation>--manager-process startet einen Manager, --manager erreicht einen laufenden: bitte nur eines angeben</translation>
    </message>
    <message>
        <source>--manager-process: "%1" is not a program</source>
        <translation>--manager-process: „%1“ ist kein Programm</translation>
    </message>
</context>
<context>
    <name>HostWindow</name>
    <message>
        <source>Recorder toolbar demo host</source>
        <translation>Demo-Host der Aufnahme-Werkzeugleiste</translation>
    </message>
    <message>
        <source>Channel %1</source>
        <translation>Kanal %1</translation>
    </message>
    <message>
        <source>Still recording or replaying: %1.

Stop and close the window?</source>
        <translation>Es wird noch aufgenommen oder wiedergegeben: %1.

Anhalten und das Fenster schließen?</translation>
    </message>
    <message>
        <source>No connection to the recorder manager: the toolbars are off until it is back.</source>
        <translation>Keine Verbindung zum Aufnahme-Manager: Die Werkzeugleisten sind aus, bis sie wieder besteht.</translation>
    </message>
    <message>
        <source>cannot load the plug-in module %1: %2</source>
        <translation>das Plug-in-Modul %1 kann nicht geladen werden: %2</translation>
    </message>
    <message>
        <source>%1 is not a recorder toolbar plug-in (ARCreate/ARDestroy missing)</source>
        <translation>%1 ist kein Plug-in der Aufnahme-Werkzeugleiste (ARCreate/ARDestroy fehlen)</translation>
    </message>
    <message>
        <source>the plug-in could not create its instance</source>
        <translation>das Plug-in konnte seine Instanz nicht anlegen</translation>
    </message>
    <message>
        <source>the plug-in could not create the toolbar of channel %1</source>
        <translation>das Plug-in konnte die Werkzeugleiste von Kanal %1 nicht anlegen</translation>
    </message>
    <message>
        <source>&amp;Host</source>
        <translation>&amp;Host</translation>
    </message>
    <message>
        <source>Toolbar enabled</source>
        <translation>Werkzeugleiste freigegeben</translation>
    </message>
    <message>
        <source>Replay allowed</source>
        <translation>Wiedergabe erlaubt</translation>
    </message>
    <message>
        <source>Record selection allowed</source>
        <translation>Aufnahmeauswahl erlaubt</translation>
    </message>
    <message>
        <source>Channel error</source>
        <translation>Kanalfehler</translation>
    </message>
    <message>
        <source>0: no error</source>
        <translation>0: kein Fehler</translation>
    </message>
    <message>
        <source>99: unknown code</source>
        <translation>99: unbekannter Code</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Manager</source>
        <translation>&amp;Manager</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Verbunden</translation>
    </message>
    <message>
        <source>User rights</source>
        <translation>Benutzerrechte</translation>
    </message>
    <message>
        <source>History comments allowed</source>
        <translation>Verlaufskommentare erlaubt</translation>
    </message>
    <message>
        <source>Event "%1"</source>
        <translation>Ereignis „%1“</translation>
    </message>
    <message>
        <source>Error code</source>
        <translation>Fehlercode</translation>
    </message>
    <message>
        <source>(clear)</source>
        <translation>(löschen)</translation>
    </message>
    <message>
        <source>true</source>
        <translation>wahr</translation>
    </message>
    <message>
        <source>disabled (state 2)</source>
        <translation>gesperrt (Zustand 2)</translation>
    </message>
    <message>
        <source>External record</source>
        <translation>Externe Aufnahme</translation>
    </message>
    <message>
        <source>External continuous record</source>
        <translation>Externe Daueraufnahme</translation>
    </message>
    <message>
        <source>External replay</source>
        <translation>Externe Wiedergabe</translation>
    </message>
    <message>
        <source>External continuous replay</source>
        <translation>Externe Endloswiedergabe</translation>
    </message>
    <message>
        <source>External stop</source>
        <translation>Externer Stopp</translation>
    </message>
    <message>
        <source>Fail the next replay command</source>
        <translation>Den nächsten Wiedergabebefehl scheitern lassen</translation>
    </message>
    <message>
        <source>Delete the channel node</source>
        <translation>Den Kanalknoten löschen</translation>
    </message>
    <message>
        <source>Re-create the channel node</source>
        <translation>Den Kanalknoten neu anlegen</translation>
    </message>
    <message>
        <source>Kill the manager process</source>
        <translation>Den Manager-Prozess beenden (abbrechen)</translation>
    </message>
    <message>
        <source>Start the manager process again</source>
        <translation>Den Manager-Prozess erneut starten</translation>
    </message>
    <message>
        <source>Manager</source>
        <translation>Manager</translation>
    </message>
</context>
<context>
    <name>Parser</name>
    <message>
        <source>Show this help and exit.</source>
        <translation>Diese Hilfe zeigen und beenden.</translation>
    </message>
    <message>
        <source>Show the version and exit.</source>
        <translation>Die Version zeigen und beenden.</translation>
    </message>
    <message>
        <source>Plug-in module to load (default: the build's plugins/libvrxrtb.so).</source>
        <translation>Zu ladendes Plug-in-Modul (Vorgabe: plugins/libvrxrtb.so des Builds).</translation>
    </message>
    <message>
        <source>path</source>
        <translation>Pfad</translation>
    </message>
    <message>
        <source>Receiver channels, one toolbar each (1 to %1, default 2).</source>
        <translation>Empfangskanäle, je eine Werkzeugleiste (1 bis %1, Vorgabe 2).</translation>
    </message>
    <message>
        <source>n</source>
        <translation>n</translation>
    </message>
    <message>
        <source>Trace mask: 64 flow, 32 warnings; decimal or 0x hexadecimal (also VRX_TRACE_MASK).</source>
        <translation>Trace-Maske: 64 Ablauf, 32 Warnungen; dezimal oder 0x hexadezimal (auch VRX_TRACE_MASK).</translation>
    </message>
    <message>
        <source>mask</source>
        <translation>Maske</translation>
    </message>
    <message>
        <source>Also write the traces to the terminal.</source>
        <translation>Die Traces auch im Terminal ausgeben.</translation>
    </message>
    <message>
        <source>Trace log file (default: vrxrtb-host.log in the output folder).</source>
        <translation>Trace-Protokolldatei (Vorgabe: vrxrtb-host.log im Ausgabeordner).</translation>
    </message>
    <message>
        <source>file</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Run a scripted road headless ('all' runs every road).</source>
        <translation>Einen Ablauf ohne Bildschirm ausführen („all“ führt alle aus).</translation>
    </message>
    <message>
        <source>name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Folder for logs and screenshots (default: ./vrxrtb-host-output).</source>
        <translation>Ordner für Protokolle und Bildschirmfotos (Vorgabe: ./vrxrtb-host-output).</translation>
    </message>
    <message>
        <source>dir</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>Demo host of the recorder toolbar plug-in: docks one toolbar per receiver channel, with a simulated recorder manager.</source>
        <translation>Demo-Host des Plug-ins der Aufnahme-Werkzeugleiste: dockt je Empfangskanal eine Werkzeugleiste an, mit einem simulierten Aufnahme-Manager.</translation>
    </message>
    <message>
        <source>Language of the operator's texts, e.g. de (default: the system's).</source>
        <translation>Sprache der Texte für den Bediener, z. B. de (Vorgabe: die des Systems).</translation>
    </message>
    <message>
        <source>language</source>
        <translation>Sprache</translation>
    </message>
    <message>
        <source>Write every focus change to the log (channel / control), for keyboard drivers.</source>
        <translation>Jeden Fokuswechsel ins Protokoll schreiben (Kanal / Bedienelement), für Tastatur-Treiber.</translation>
    </message>
    <message>
        <source>MiB free on the simulated manager's small device (Dev3) at start, to fill it quickly.</source>
        <translation>MiB frei auf dem kleinen Gerät (Dev3) des simulierten Managers beim Start, um es schnell zu füllen.</translation>
    </message>
    <message>
        <source>MiB</source>
        <translation>MiB</translation>
    </message>
    <message>
        <source>Reach a recorder manager process at this address (corbaloc::HOST:PORT/CCO) instead of running the simulated manager in this process.</source>
        <translation>Einen Aufnahme-Manager-Prozess unter dieser Adresse (corbaloc::HOST:PORT/CCO) erreichen, statt den simulierten Manager in diesem Prozess auszuführen.</translation>
    </message>
    <message>
        <source>corbaloc</source>
        <translation>corbaloc</translation>
    </message>
    <message>
        <source>Start a recorder manager process from this program (vrxrtb-manager) and reach it over the wire; its Manager menu can kill and restart it. With --scenario every road starts its own.</source>
        <translation>Einen Aufnahme-Manager-Prozess aus diesem Programm (vrxrtb-manager) starten und über das Netz erreichen; das Manager-Menü kann ihn beenden und neu starten. Mit --scenario startet jeder Ablauf seinen eigenen.</translation>
    </message>
    <message>
        <source>program</source>
        <translation>Programm</translation>
    </message>
</context>
<context>
    <name>TickCounter</name>
    <message>
        <source>Duration</source>
        <translation>Dauer</translation>
    </message>
</context>
<context>
    <name>ToolbarHelper</name>
    <message>
        <source>The Vorex Manager accepted the command.</source>
        <translation>Der Vorex Manager hat den Befehl angenommen.</translation>
    </message>
    <message>
        <source>The Vorex Manager is not reachable.</source>
        <translation>Der Vorex Manager ist nicht erreichbar.</translation>
    </message>
    <message>
        <source>The Vorex Manager does not know the recorder device.</source>
        <translation>Der Vorex Manager kennt das Aufnahmegerät nicht.</translation>
    </message>
    <message>
        <source>The Vorex Manager does not know the record.</source>
        <translation>Der Vorex Manager kennt die Aufnahme nicht.</translation>
    </message>
    <message>
        <source>The data of the current record is not available.</source>
        <translation>Die Daten der aktuellen Aufnahme sind nicht verfügbar.</translation>
    </message>
    <message>
        <source>The recorder device is not available.</source>
        <translation>Das Aufnahmegerät ist nicht verfügbar.</translation>
    </message>
    <message>
        <source>The Vorex Manager is not connected.</source>
        <translation>Der Vorex Manager ist nicht verbunden.</translation>
    </message>
    <message>
        <source>The replay could not be started.</source>
        <translation>Die Wiedergabe konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>The continuous replay could not be started.</source>
        <translation>Die Endloswiedergabe konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>The recording could not be started.</source>
        <translation>Die Aufnahme konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>The continuous recording could not be started.</source>
        <translation>Die Daueraufnahme konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>No record is selected for the replay.</source>
        <translation>Für die Wiedergabe ist keine Aufnahme ausgewählt.</translation>
    </message>
    <message>
        <source>The Vorex Manager did not answer in time.</source>
        <translation>Der Vorex Manager hat nicht rechtzeitig geantwortet.</translation>
    </message>
    <message>
        <source>The Vorex Manager rejected the command (error %1).</source>
        <translation>Der Vorex Manager hat den Befehl abgelehnt (Fehler %1).</translation>
    </message>
    <message>
        <source>Unknown error (%1).</source>
        <translation>Unbekannter Fehler (%1).</translation>
    </message>
</context>
<context>
    <name>VCItemText</name>
    <message>
        <source>Replay once</source>
        <translation>Einmal wiedergeben</translation>
    </message>
    <message>
        <source>Replay endlessly</source>
        <translation>Endlos wiedergeben</translation>
    </message>
    <message>
        <source>Pause replay</source>
        <translation>Wiedergabe anhalten</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>Aufnehmen</translation>
    </message>
    <message>
        <source>Record continuously</source>
        <translation>Dauernd aufnehmen</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Recording starts</source>
        <translation>Aufnahme startet</translation>
    </message>
    <message>
        <source>Recording</source>
        <translation>Aufnahme läuft</translation>
    </message>
    <message>
        <source>Recording continuously</source>
        <translation>Daueraufnahme läuft</translation>
    </message>
    <message>
        <source>Recording stops</source>
        <translation>Aufnahme endet</translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation>Gestoppt</translation>
    </message>
    <message>
        <source>Replay stopped</source>
        <translation>Wiedergabe gestoppt</translation>
    </message>
    <message>
        <source>Replay starts</source>
        <translation>Wiedergabe startet</translation>
    </message>
    <message>
        <source>Replay paused</source>
        <translation>Wiedergabe angehalten</translation>
    </message>
    <message>
        <source>Replay pauses</source>
        <translation>Wiedergabe hält an</translation>
    </message>
    <message>
        <source>Replaying</source>
        <translation>Wiedergabe läuft</translation>
    </message>
    <message>
        <source>Replay stops</source>
        <translation>Wiedergabe endet</translation>
    </message>
    <message>
        <source>Record name</source>
        <translation>Name der Aufnahme</translation>
    </message>
</context>
<context>
    <name>VCReplayBar</name>
    <message>
        <source>Replay position</source>
        <translation>Wiedergabeposition</translation>
    </message>
    <message>
        <source>The position cannot be changed while the replay runs. Pause the replay to move it.</source>
        <translation>Die Position kann während der Wiedergabe nicht geändert werden. Halten Sie die Wiedergabe an, um sie zu verschieben.</translation>
    </message>
    <message>
        <source>%1 %</source>
        <translation>%1 %</translation>
    </message>
    <message>
        <source>Waiting for an answer</source>
        <translation>Warte auf Antwort</translation>
    </message>
    <message>
        <source>Paused</source>
        <translation>Angehalten</translation>
    </message>
    <message>
        <source>Replaying</source>
        <translation>Wiedergabe läuft</translation>
    </message>
    <message>
        <source>%1 / %2</source>
        <translation>%1 / %2</translation>
    </message>
    <message>
        <source>Bookmark at %1</source>
        <translation>Lesezeichen bei %1</translation>
    </message>
    <message>
        <source>Bookmark "%1" at %2</source>
        <translation>Lesezeichen „%1“ bei %2</translation>
    </message>
    <message>
        <source>Position %1 of %2</source>
        <translation>Position %1 von %2</translation>
    </message>
    <message>
        <source>Add bookmark at %1</source>
        <translation>Lesezeichen bei %1 setzen</translation>
    </message>
    <message>
        <source>Rename bookmark...</source>
        <translation>Lesezeichen umbenennen...</translation>
    </message>
    <message>
        <source>Delete bookmark</source>
        <translation>Lesezeichen löschen</translation>
    </message>
    <message>
        <source>Undo delete of bookmark "%1"</source>
        <translation>Löschen von Lesezeichen „%1“ rückgängig machen</translation>
    </message>
    <message>
        <source>Rename bookmark</source>
        <translation>Lesezeichen umbenennen</translation>
    </message>
    <message>
        <source>Bookmark</source>
        <translation>Lesezeichen</translation>
    </message>
    <message>
        <source>No connection</source>
        <translation>Keine Verbindung</translation>
    </message>
</context>
<context>
    <name>VOREX_RecordData</name>
    <message>
        <source>Class %1</source>
        <translation>Klasse %1</translation>
    </message>
</context>
<context>
    <name>VorexCommon::AbstractRecordListModel</name>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Record ID</source>
        <translation>Aufnahme-ID</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Data rate</source>
        <translation>Datenrate</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Beginn</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Length</source>
        <translation>Länge</translation>
    </message>
</context>
<context>
    <name>VorexCommon::ErrorDescriptor</name>
    <message>
        <source>The recording has started.</source>
        <translation>Die Aufnahme hat begonnen.</translation>
    </message>
    <message>
        <source>%1: the recording on %2 has started.</source>
        <translation>%1: Die Aufnahme auf %2 hat begonnen.</translation>
    </message>
    <message>
        <source>The recorder device is almost full.</source>
        <translation>Das Aufnahmegerät ist fast voll.</translation>
    </message>
    <message>
        <source>%1: the recorder device %2 is almost full.</source>
        <translation>%1: Das Aufnahmegerät %2 ist fast voll.</translation>
    </message>
    <message>
        <source>The recorder device is full. The activity was stopped.</source>
        <translation>Das Aufnahmegerät ist voll. Die Aktivität wurde gestoppt.</translation>
    </message>
    <message>
        <source>%1: the recorder device %2 is full. The recording was stopped.</source>
        <translation>%1: Das Aufnahmegerät %2 ist voll. Die Aufnahme wurde gestoppt.</translation>
    </message>
    <message>
        <source>The recorder device failed. The activity was stopped.</source>
        <translation>Das Aufnahmegerät ist ausgefallen. Die Aktivität wurde gestoppt.</translation>
    </message>
    <message>
        <source>%1: the recorder device %2 failed. The activity was stopped.</source>
        <translation>%1: Das Aufnahmegerät %2 ist ausgefallen. Die Aktivität wurde gestoppt.</translation>
    </message>
    <message>
        <source>The Vorex Manager reported an internal error.</source>
        <translation>Der Vorex Manager hat einen internen Fehler gemeldet.</translation>
    </message>
</context>
<context>
    <name>VorexGUI::OpenFileDialog</name>
    <message>
        <source>Select a record</source>
        <translation>Aufnahme auswählen</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Record ID</source>
        <translation>Aufnahme-ID</translation>
    </message>
    <message>
        <source>Data rate</source>
        <translation>Datenrate</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Beginn</translation>
    </message>
    <message>
        <source>Length</source>
        <translation>Länge</translation>
    </message>
</context>
<context>
    <name>VorexGUI::RecordEditDialog</name>
    <message>
        <source>Edit record</source>
        <translation>Aufnahme bearbeiten</translation>
    </message>
    <message>
        <source>Record ID</source>
        <translation>Aufnahme-ID</translation>
    </message>
    <message>
        <source>Record name</source>
        <translation>Name der Aufnahme</translation>
    </message>
    <message>
        <source>Data rate</source>
        <translation>Datenrate</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Beginn</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
</context>
<context>
    <name>VorexGUI::RecordHistoryDialog</name>
    <message>
        <source>History of %1</source>
        <translation>Verlauf von %1</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Zeit</translation>
    </message>
    <message>
        <source>Entry</source>
        <translation>Eintrag</translation>
    </message>
    <message>
        <source>New comment</source>
        <translation>Neuer Kommentar</translation>
    </message>
</context>
<context>
    <name>VorexGUI::RecordParameterDialog</name>
    <message>
        <source>Record parameters</source>
        <translation>Aufnahmeparameter</translation>
    </message>
    <message>
        <source>Record name</source>
        <translation>Name der Aufnahme</translation>
    </message>
    <message>
        <source>Time-out</source>
        <translation>Zeitlimit</translation>
    </message>
    <message>
        <source>Size limit</source>
        <translation>Größenlimit</translation>
    </message>
    <message>
        <source>Bytes</source>
        <translation>Byte</translation>
    </message>
    <message>
        <source>KiB</source>
        <translation>KiB</translation>
    </message>
    <message>
        <source>MiB</source>
        <translation>MiB</translation>
    </message>
    <message>
        <source>GiB</source>
        <translation>GiB</translation>
    </message>
    <message>
        <source>Unit</source>
        <translation>Einheit</translation>
    </message>
</context>
<context>
    <name>VorexGUI::ReplayBarWidget</name>
    <message>
        <source>Edit record</source>
        <translation>Aufnahme bearbeiten</translation>
    </message>
    <message>
        <source>new</source>
        <translation>neu</translation>
    </message>
    <message>
        <source>The bookmarks of record %1 could not be saved.</source>
        <translation>Die Lesezeichen der Aufnahme %1 konnten nicht gespeichert werden.</translation>
    </message>
</context>
<context>
    <name>VorexGUI::VorexServerGUIController</name>
    <message>
        <source>Edit record</source>
        <translation>Aufnahme bearbeiten</translation>
    </message>
    <message>
        <source>Edit the selected record</source>
        <translation>Die ausgewählte Aufnahme bearbeiten</translation>
    </message>
    <message>
        <source>Record history</source>
        <translation>Verlauf der Aufnahme</translation>
    </message>
    <message>
        <source>Show the history of the selected record and add a comment</source>
        <translation>Den Verlauf der ausgewählten Aufnahme zeigen und einen Kommentar hinzufügen</translation>
    </message>
    <message>
        <source>The bookmarks of record %1 could not be saved.</source>
        <translation>Die Lesezeichen der Aufnahme %1 konnten nicht gespeichert werden.</translation>
    </message>
    <message>
        <source>The history comment of record %1 could not be saved.</source>
        <translation>Der Verlaufskommentar der Aufnahme %1 konnte nicht gespeichert werden.</translation>
    </message>
    <message>
        <source>Record %1 could not be renamed.</source>
        <translation>Die Aufnahme %1 konnte nicht umbenannt werden.</translation>
    </message>
</context>
<context>
    <name>VorexGUI::VorexToolbar</name>
    <message>
        <source>Recorder toolbar</source>
        <translation>Aufnahme-Werkzeugleiste</translation>
    </message>
    <message>
        <source>Show error information</source>
        <translation>Fehlerinformation zeigen</translation>
    </message>
    <message>
        <source>Select VOREX signal file.</source>
        <translation>VOREX-Signaldatei auswählen.</translation>
    </message>
    <message>
        <source>VorexStop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Stop a recording or replay</source>
        <translation>Eine Aufnahme oder Wiedergabe stoppen</translation>
    </message>
    <message>
        <source>Start a replay</source>
        <translation>Eine Wiedergabe starten</translation>
    </message>
    <message>
        <source>VorexPause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Select to pause the replay</source>
        <translation>Auswählen, um die Wiedergabe anzuhalten</translation>
    </message>
    <message>
        <source>Start a recording</source>
        <translation>Eine Aufnahme starten</translation>
    </message>
    <message>
        <source>File name of selected replay</source>
        <translation>Dateiname der ausgewählten Wiedergabe</translation>
    </message>
    <message>
        <source>Choose a device from the list</source>
        <translation>Ein Gerät aus der Liste wählen</translation>
    </message>
    <message>
        <source>Error information</source>
        <translation>Fehlerinformation</translation>
    </message>
    <message>
        <source>Select record</source>
        <translation>Aufnahme auswählen</translation>
    </message>
    <message>
        <source>Record history</source>
        <translation>Verlauf der Aufnahme</translation>
    </message>
    <message>
        <source>Vorex toolbar is deactivated because the Vorex Manager is not reachable (C). Please check if it is started.</source>
        <translation>Die Vorex-Werkzeugleiste ist deaktiviert, weil der Vorex Manager nicht erreichbar ist (C). Bitte prüfen Sie, ob er gestartet ist.</translation>
    </message>
    <message>
        <source>Vorex toolbar is deactivated because the registration at the Vorex Manager failed.</source>
        <translation>Die Vorex-Werkzeugleiste ist deaktiviert, weil die Anmeldung beim Vorex Manager fehlgeschlagen ist.</translation>
    </message>
    <message>
        <source>Vorex toolbar is deactivated because of configurations errors. Please check the configuration.</source>
        <translation>Die Vorex-Werkzeugleiste ist wegen Konfigurationsfehlern deaktiviert. Bitte prüfen Sie die Konfiguration.</translation>
    </message>
    <message>
        <source>Vorex toolbar is deactivated because the Vorex Manager is not reachable (VT). Please check if it is started.</source>
        <translation>Die Vorex-Werkzeugleiste ist deaktiviert, weil der Vorex Manager nicht erreichbar ist (VT). Bitte prüfen Sie, ob er gestartet ist.</translation>
    </message>
    <message>
        <source>Vorex toolbar is deactivated because of internal errors.</source>
        <translation>Die Vorex-Werkzeugleiste ist wegen interner Fehler deaktiviert.</translation>
    </message>
    <message>
        <source>Vorex toolbar</source>
        <translation>Vorex-Werkzeugleiste</translation>
    </message>
    <message>
        <source>Cannot switch to record mode while continuous record is running! No action will be performed</source>
        <translation>Während einer Daueraufnahme kann nicht in die Aufnahme gewechselt werden! Es wird nichts unternommen.</translation>
    </message>
    <message>
        <source>Cannot switch to continuous record mode while record is running! No action will be performed</source>
        <translation>Während einer Aufnahme kann nicht in die Daueraufnahme gewechselt werden! Es wird nichts unternommen.</translation>
    </message>
</context>
</TS>