<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="de_DE">
<context>
    <name>Hauptprogramm</name>
    <message>
        <source>Fehler beim Erstellen des Ordners Anwendungsdaten.</source>
        <translation>Error creating the application data folder.</translation>
    </message>
    <message>
        <source>Die Einstellungen können nicht gelesen werden.</source>
        <translation>The settings cannot be read.</translation>
    </message>
    <message>
        <source>Die Einstellungen waren beschädigt. Was lesbar war, wurde übernommen; die Datei wurde als &quot;%1&quot; aufbewahrt.</source>
        <translation>The settings were damaged. What could be read was kept; the file was saved as &quot;%1&quot;.</translation>
    </message>
</context>
<context>
    <name>TDateiEmpfangenPostprozessor</name>
    <message>
        <source>Folgende Teile fehlen noch:</source>
        <translation>The following parts are still missing:</translation>
    </message>
    <message>
        <source>Empfangene Datei NICHT gespeichert.</source>
        <translation>Received file NOT saved.</translation>
    </message>
    <message>
        <source>Empfangs-Ordner konnte nicht angelegt werden:</source>
        <translation>The receive folder could not be created:</translation>
    </message>
    <message>
        <source>Fehler beim Speichern der Datei:</source>
        <translation>Error saving the file:</translation>
    </message>
    <message>
        <source>Empfangene Datei gespeichert:</source>
        <translation>Received file saved:</translation>
    </message>
    <message>
        <source>FEHLER: Header ungültig oder zu kurz.</source>
        <translation>ERROR: Header invalid or too short.</translation>
    </message>
    <message>
        <source>FEHLER: Falsche Daten im Header.</source>
        <translation>ERROR: Wrong data in the header.</translation>
    </message>
    <message>
        <source>Teil %1 von %2 empfangen.</source>
        <translation>Part %1 of %2 received.</translation>
    </message>
    <message>
        <source>Alle Teile verfügbar. Kombiniere...</source>
        <translation>All parts available. Joining...</translation>
    </message>
    <message>
        <source>Fehler im akkumulierten CRC von Teil %1.</source>
        <translation>Error in the accumulated CRC of part %1.</translation>
    </message>
    <message>
        <source>Kann Zieldatei nicht öffnen:</source>
        <translation>Cannot open the target file:</translation>
    </message>
    <message>
        <source>Fehler beim Schreiben der Zieldatei:</source>
        <translation>Error writing the target file:</translation>
    </message>
    <message>
        <source>Kann Datei nicht löschen:</source>
        <translation>Cannot delete the file:</translation>
    </message>
    <message>
        <source>Kann Teil nicht löschen:</source>
        <translation>Cannot delete the part:</translation>
    </message>
    <message>
        <source>CRC-Fehler:</source>
        <translation>CRC error:</translation>
    </message>
    <message>
        <source>%1, Teil %2 von %3</source>
        <translation>%1, part %2 of %3</translation>
    </message>
</context>
<context>
    <name>TDateiSenden</name>
    <message>
        <source>Datei nicht gefunden oder keine Datei:</source>
        <translation>File not found or not a file:</translation>
    </message>
    <message>
        <source>Datei kann nicht gelesen werden:</source>
        <translation>The file cannot be read:</translation>
    </message>
    <message>
        <source>Datei zu groß zum Senden (2 GB oder mehr):</source>
        <translation>File too large to send (2 GB or more):</translation>
    </message>
</context>
<context>
    <name>TDateiSendenPraeprozessor</name>
    <message>
        <source>Nichts zu senden.</source>
        <translation>Nothing to send.</translation>
    </message>
    <message>
        <source>Daten nicht lesbar: %1</source>
        <translation>Data not readable: %1</translation>
    </message>
    <message>
        <source>Zu viele Dateien warten auf diesem Kanal:</source>
        <translation>Too many files are waiting on this channel:</translation>
    </message>
    <message>
        <source>Keine Verbindung auf diesem Kanal.</source>
        <translation>No connection on this channel.</translation>
    </message>
    <message>
        <source>Der Text ist leer, es wird nichts gesendet.</source>
        <translation>The text is empty; nothing is sent.</translation>
    </message>
    <message>
        <source>Fehler beim Signieren: %1</source>
        <translation>Error signing: %1</translation>
    </message>
    <message>
        <source>Datei kann nicht gelesen werden:</source>
        <translation>The file cannot be read:</translation>
    </message>
    <message>
        <source>Datei zu groß zum Senden (2 GB oder mehr):</source>
        <translation>File too large to send (2 GB or more):</translation>
    </message>
    <message>
        <source>Zu viele Teile (%1, höchstens %2): bitte eine größere Teilgröße wählen.</source>
        <translation>Too many parts (%1, at most %2): please choose a larger part size.</translation>
    </message>
    <message>
        <source>Fehler beim Lesen der Datei:</source>
        <translation>Error reading the file:</translation>
    </message>
</context>
<context>
    <name>TDemo</name>
    <message>
        <source>Die Demo kann nicht gestartet werden:
%1</source>
        <translation>The demo cannot be started:
%1</translation>
    </message>
</context>
<context>
    <name>TDlgBefehlConnect</name>
    <message>
        <source>Verbinden</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>UI-Ziel einstellen</source>
        <translation>Set UI destination</translation>
    </message>
    <message>
        <source>UI-Ziel</source>
        <translation>UI destination</translation>
    </message>
    <message>
        <source>Station</source>
        <translation>Station</translation>
    </message>
    <message>
        <source>Kein Kanal ausgewählt.</source>
        <translation>No channel selected.</translation>
    </message>
</context>
<context>
    <name>TDlgImport</name>
    <message>
        <source>Ordner der Installation wählen</source>
        <translation>Choose the installation folder</translation>
    </message>
    <message>
        <source>Der Ordner der Einstellungen ist nicht bekannt (%1); nichts wurde importiert.</source>
        <translation>The settings folder is not known (%1); nothing was imported.</translation>
    </message>
    <message>
        <source>Bericht: %1</source>
        <translation>Report: %1</translation>
    </message>
</context>
<context>
    <name>TDlgMessage</name>
    <message>
        <source>&amp;Ja</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>&amp;Nein</source>
        <translation>&amp;No</translation>
    </message>
    <message>
        <source>&amp;Ok</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Abbruch</source>
        <translation>Abort</translation>
    </message>
    <message>
        <source>&amp;Wiederholen</source>
        <translation>&amp;Retry</translation>
    </message>
    <message>
        <source>&amp;Ignorieren</source>
        <translation>&amp;Ignore</translation>
    </message>
    <message>
        <source>&amp;Alle</source>
        <translation>&amp;All</translation>
    </message>
    <message>
        <source>&amp;Hilfe</source>
        <translation>&amp;Help</translation>
    </message>
</context>
<context>
    <name>TEinstellungenForm</name>
    <message>
        <source>Allgemein</source>
        <translation>General</translation>
    </message>
    <message>
        <source>Geräte</source>
        <translation>Devices</translation>
    </message>
    <message>
        <source>Dateien</source>
        <translation>Files</translation>
    </message>
    <message>
        <source>Anzeige</source>
        <translation>Display</translation>
    </message>
    <message>
        <source>Monitor</source>
        <translation>Monitor</translation>
    </message>
    <message>
        <source>Texte</source>
        <translation>Texts</translation>
    </message>
    <message>
        <source>Fernst.</source>
        <translation>Remote</translation>
    </message>
    <message>
        <source>Klänge</source>
        <translation>Sounds</translation>
    </message>
    <message>
        <source>Erweitert</source>
        <translation>Advanced</translation>
    </message>
</context>
<context>
    <name>TFunkKanal</name>
    <message>
        <source>UI-Frame nicht gesendet (%1)</source>
        <translation>UI frame not sent (%1)</translation>
    </message>
    <message>
        <source>Kein Gerät</source>
        <translation>No device</translation>
    </message>
</context>
<context>
    <name>TGeraet</name>
    <message>
        <source>Bereit</source>
        <translation>Ready</translation>
    </message>
    <message>
        <source>Init</source>
        <translation>Init</translation>
    </message>
    <message>
        <source>Fehler</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Inaktiv</source>
        <translation>Inactive</translation>
    </message>
    <message>
        <source>Unbehandelter Fehler.</source>
        <translation>Unhandled error.</translation>
    </message>
    <message>
        <source>Unbekannter Fehler.</source>
        <translation>Unknown error.</translation>
    </message>
    <message>
        <source>Das Gerät antwortet nicht.</source>
        <translation>The device does not answer.</translation>
    </message>
    <message>
        <source>Kein Gerät vorhanden.</source>
        <translation>No device present.</translation>
    </message>
    <message>
        <source>Der Kanal ist bereits verbunden.</source>
        <translation>The channel is already connected.</translation>
    </message>
    <message>
        <source>Keine freie SSID verfügbar.</source>
        <translation>No free SSID available.</translation>
    </message>
    <message>
        <source>Gerätefehler.</source>
        <translation>Device error.</translation>
    </message>
    <message>
        <source>Alle Kanäle sind belegt.</source>
        <translation>All channels are busy.</translation>
    </message>
    <message>
        <source>Gewählte Betriebsarten sind nicht gleichzeitig möglich.</source>
        <translation>The selected modes cannot be used at the same time.</translation>
    </message>
</context>
<context>
    <name>TGeraetAgwpe</name>
    <message>
        <source>Port %1 ungültig</source>
        <translation>Port %1 invalid</translation>
    </message>
    <message>
        <source>Keine Verbindung zur Engine</source>
        <translation>No connection to the engine</translation>
    </message>
</context>
<context>
    <name>TGeraetFlexnet</name>
    <message>
        <source>PC/FlexNet Kernel Version %1 mit Digipeater-Modul</source>
        <translation>PC/FlexNet kernel version %1 with digipeater module</translation>
    </message>
    <message>
        <source>PC/FlexNet Kernel Version %1</source>
        <translation>PC/FlexNet kernel version %1</translation>
    </message>
    <message>
        <source>Lade DLL...</source>
        <translation>Loading DLL...</translation>
    </message>
    <message>
        <source>Kernel nicht geladen</source>
        <translation>Kernel not loaded</translation>
    </message>
    <message>
        <source>PC/FlexNet nicht bereit</source>
        <translation>PC/FlexNet not ready</translation>
    </message>
    <message>
        <source>PC/FlexNet hat den UI-Frame nicht angenommen</source>
        <translation>PC/FlexNet did not accept the UI frame</translation>
    </message>
    <message>
        <source>Inaktiv: Schließen Sie dieses Fenster mit OK und klicken Sie dann auf &apos;übernehmen&apos;, um FlexNet zu aktivieren.</source>
        <translation>Inactive: close this window with OK and then click &apos;Apply&apos; to activate FlexNet.</translation>
    </message>
</context>
<context>
    <name>TGeraetHostmode</name>
    <message>
        <source>Resynchronisierung: %1</source>
        <translation>Resynchronising: %1</translation>
    </message>
    <message>
        <source>%1 Fehler</source>
        <translation>%1 errors</translation>
    </message>
    <message>
        <source>Schnittstelle nicht verfügbar</source>
        <translation>Port not available</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Empfange</source>
        <translation>Receiving</translation>
    </message>
    <message>
        <source>Schalte in Hostmode</source>
        <translation>Switching to hostmode</translation>
    </message>
    <message>
        <source>Öffnen der Schnittstelle</source>
        <translation>Opening the port</translation>
    </message>
    <message>
        <source>Ist im Hostmode... Sende Init.</source>
        <translation>In hostmode... Sending init.</translation>
    </message>
    <message>
        <source>%1 Kanäle</source>
        <translation>%1 channels</translation>
    </message>
    <message>
        <source>[TNC %1: Bereit]</source>
        <translation>[TNC %1: Ready]</translation>
    </message>
</context>
<context>
    <name>TGeraetHostmodeSerial</name>
    <message>
        <source>Baudrate %1 wird nicht unterstützt</source>
        <translation>Baud rate %1 is not supported</translation>
    </message>
    <message>
        <source>Öffnen der Schnittstelle (%1)</source>
        <translation>Opening the port (%1)</translation>
    </message>
</context>
<context>
    <name>TGeraete</name>
    <message>
        <source>Alle Geräte sind bereit|</source>
        <translation>All devices are ready|</translation>
    </message>
    <message>
        <source>Ein Gerät ist nicht bereit|</source>
        <translation>A device is not ready|</translation>
    </message>
    <message>
        <source>Es können höchstens 33 Geräte eingerichtet werden.</source>
        <translation>At most 33 devices can be set up.</translation>
    </message>
</context>
<context>
    <name>TGeraeteListe</name>
    <message>
        <source>Gerät hinzufügen</source>
        <translation>Add device</translation>
    </message>
    <message>
        <source>&amp;Hinzufügen</source>
        <translation>&amp;Add</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>THauptfenster</name>
    <message>
        <source>Initialisiere Datenbank...</source>
        <translation>Initialising database...</translation>
    </message>
    <message>
        <source>Initialisiere Kanäle...</source>
        <translation>Initialising channels...</translation>
    </message>
    <message>
        <source>Initialisiere Geräte...</source>
        <translation>Initialising devices...</translation>
    </message>
    <message>
        <source>Bereit.</source>
        <translation>Ready.</translation>
    </message>
    <message>
        <source>Fehler beim Öffnen der Datenbank. (%1)</source>
        <translation>Error opening the database. (%1)</translation>
    </message>
    <message>
        <source>Klassisch</source>
        <translation>Classic</translation>
    </message>
    <message>
        <source>Blau</source>
        <translation>Blue</translation>
    </message>
    <message>
        <source>Standard</source>
        <translation>Standard</translation>
    </message>
    <message>
        <source>Roma</source>
        <translation>Roma</translation>
    </message>
    <message>
        <source>&amp;Verbinden...</source>
        <translation>&amp;Connect...</translation>
    </message>
    <message>
        <source>&amp;Trennen</source>
        <translation>&amp;Disconnect</translation>
    </message>
    <message>
        <source>Se&amp;nden</source>
        <translation>&amp;Send</translation>
    </message>
    <message>
        <source>&amp;Speichern</source>
        <translation>S&amp;ave</translation>
    </message>
    <message>
        <source>Abb&amp;rechen</source>
        <translation>Cance&amp;l</translation>
    </message>
    <message>
        <source>&amp;Drucken...</source>
        <translation>&amp;Print...</translation>
    </message>
    <message>
        <source>&amp;Importieren...</source>
        <translation>&amp;Import...</translation>
    </message>
    <message>
        <source>&amp;Beenden</source>
        <translation>&amp;Quit</translation>
    </message>
    <message>
        <source>Lokales &amp;Echo</source>
        <translation>Local &amp;echo</translation>
    </message>
    <message>
        <source>&amp;ChangeOver</source>
        <translation>&amp;ChangeOver</translation>
    </message>
    <message>
        <source>&amp;BreakIn</source>
        <translation>&amp;BreakIn</translation>
    </message>
    <message>
        <source>A&amp;usschneiden</source>
        <translation>Cu&amp;t</translation>
    </message>
    <message>
        <source>&amp;Kopieren</source>
        <translation>&amp;Copy</translation>
    </message>
    <message>
        <source>E&amp;infügen</source>
        <translation>&amp;Paste</translation>
    </message>
    <message>
        <source>&amp;Löschen</source>
        <translation>&amp;Delete</translation>
    </message>
    <message>
        <source>&amp;Alles markieren</source>
        <translation>Select &amp;all</translation>
    </message>
    <message>
        <source>Ausgabefenster lö&amp;schen</source>
        <translation>Clear &amp;output</translation>
    </message>
    <message>
        <source>&amp;DOS-Umlaute anzeigen</source>
        <translation>&amp;Show DOS umlauts</translation>
    </message>
    <message>
        <source>&amp;DOS-Umlaute senden</source>
        <translation>Se&amp;nd DOS umlauts</translation>
    </message>
    <message>
        <source>&amp;Gerätestatus</source>
        <translation>&amp;Device status</translation>
    </message>
    <message>
        <source>&amp;Nur Symbole</source>
        <translation>&amp;Icons only</translation>
    </message>
    <message>
        <source>Text &amp;rechts</source>
        <translation>Text on the &amp;right</translation>
    </message>
    <message>
        <source>Text &amp;unten</source>
        <translation>Text &amp;below</translation>
    </message>
    <message>
        <source>&amp;Einstellungen...</source>
        <translation>Settin&amp;gs...</translation>
    </message>
    <message>
        <source>&amp;Sprache...</source>
        <translation>&amp;Language...</translation>
    </message>
    <message>
        <source>&amp;Kommandozeile...</source>
        <translation>&amp;Command line...</translation>
    </message>
    <message>
        <source>Stat&amp;ionen</source>
        <translation>Stat&amp;ions</translation>
    </message>
    <message>
        <source>Datenbank &amp;reparieren</source>
        <translation>&amp;Repair database</translation>
    </message>
    <message>
        <source>&amp;Inhalt...</source>
        <translation>&amp;Contents...</translation>
    </message>
    <message>
        <source>&amp;Erste Schritte...</source>
        <translation>&amp;First steps...</translation>
    </message>
    <message>
        <source>I&amp;nfo...</source>
        <translation>&amp;Info...</translation>
    </message>
    <message>
        <source>Nachricht zum Lesen markieren</source>
        <translation>Mark message for reading</translation>
    </message>
    <message>
        <source>Nachricht zum Löschen markieren</source>
        <translation>Mark message for deletion</translation>
    </message>
    <message>
        <source>Markierung entfernen</source>
        <translation>Remove mark</translation>
    </message>
    <message>
        <source>Befehle absenden</source>
        <translation>Send commands</translation>
    </message>
    <message>
        <source>&amp;Makros</source>
        <translation>&amp;Macros</translation>
    </message>
    <message>
        <source>&amp;Hinzufügen...</source>
        <translation>&amp;Add...</translation>
    </message>
    <message>
        <source>eff. Baud</source>
        <translation>Eff. baud rate</translation>
    </message>
    <message>
        <source>Tries</source>
        <translation>Tries</translation>
    </message>
    <message>
        <source>Unacked Frames</source>
        <translation>Unacked frames</translation>
    </message>
    <message>
        <source>Frack [100ms]</source>
        <translation>Frack [100ms]</translation>
    </message>
    <message>
        <source>MaxFrame</source>
        <translation>MaxFrame</translation>
    </message>
    <message>
        <source>ax25-Status</source>
        <translation>AX.25 status</translation>
    </message>
    <message>
        <source>Eigenes Rufzeichen</source>
        <translation>Own callsign</translation>
    </message>
</context>
<context>
    <name>THostmodeCommandlineForm</name>
    <message>
        <source>Keine Antwort vom TNC.</source>
        <translation>No answer from the TNC.</translation>
    </message>
    <message>
        <source>ok</source>
        <translation>ok</translation>
    </message>
    <message>
        <source>Fehler: %1</source>
        <translation>Error: %1</translation>
    </message>
</context>
<context>
    <name>TImport</name>
    <message>
        <source>%1: kein lesbarer Ordner</source>
        <translation>%1: not a readable folder</translation>
    </message>
    <message>
        <source>Verknüpfung, nicht gefolgt</source>
        <translation>link, not followed</translation>
    </message>
    <message>
        <source>Im Ordner %1 ist nichts zu importieren.</source>
        <translation>There is nothing to import in the folder %1.</translation>
    </message>
    <message>
        <source>Der Ordner enthält zu viele Einträge; der Rest wurde nicht durchsucht.</source>
        <translation>The folder contains too many entries; the rest was not searched.</translation>
    </message>
    <message>
        <source>%1: Fehler beim Lesen des Ordners (%2)</source>
        <translation>%1: error reading the folder (%2)</translation>
    </message>
    <message>
        <source>nicht lesbar oder größer als %1 Bytes</source>
        <translation>not readable or larger than %1 bytes</translation>
    </message>
    <message>
        <source>%1: keine Sicherung möglich (%2); nicht ersetzt</source>
        <translation>%1: no backup possible (%2); not replaced</translation>
    </message>
    <message>
        <source>(schon vorhanden)</source>
        <translation>(already present)</translation>
    </message>
    <message>
        <source>%1: kann nicht geschrieben werden (%2)</source>
        <translation>%1: cannot be written (%2)</translation>
    </message>
    <message>
        <source>unbrauchbarer Dateiname</source>
        <translation>unusable file name</translation>
    </message>
    <message>
        <source>eine Datei dieses Namens wurde schon übernommen</source>
        <translation>a file of this name was already imported</translation>
    </message>
    <message>
        <source>keine Wave-Datei</source>
        <translation>not a Wave file</translation>
    </message>
    <message>
        <source>%1: gespeicherte Verbindung der letzten Sitzung</source>
        <translation>%1: saved connection of the last session</translation>
    </message>
    <message>
        <source>%1: Laufzustand des alten Programms</source>
        <translation>%1: run state of the old program</translation>
    </message>
    <message>
        <source>%1: Wave-Datei %2 nicht gefunden</source>
        <translation>%1: Wave file %2 not found</translation>
    </message>
    <message>
        <source>%1: kein passender Ordner für %2</source>
        <translation>%1: no matching folder for %2</translation>
    </message>
    <message>
        <source>%1: %2 gibt es auf diesem Rechner nicht</source>
        <translation>%1: %2 does not exist on this computer</translation>
    </message>
    <message>
        <source>%1: Pfad unverändert übernommen: %2</source>
        <translation>%1: path imported unchanged: %2</translation>
    </message>
    <message>
        <source>%1: %2 keiner Schnittstelle eindeutig zuzuordnen (%3 Adapter gefunden); Tarvo nimmt %4, bitte im Gerätedialog wählen</source>
        <translation>%1: %2 cannot be matched to one port for certain (adapters found: %3); Tarvo uses %4, please choose in the device dialog</translation>
    </message>
    <message>
        <source>beschädigt, nicht übernommen: %1 (%2 Fehler)</source>
        <translation>damaged, not imported: %1 (errors: %2)</translation>
    </message>
    <message>
        <source>%1: nicht Tarvos Schlüssel</source>
        <translation>%1: not a Tarvo key</translation>
    </message>
    <message>
        <source>%1 weitere fremde Schlüssel</source>
        <translation>%1 more keys that are not Tarvo&apos;s</translation>
    </message>
    <message>
        <source>%1: %2 Einstellungen</source>
        <translation>%1: %2 settings</translation>
    </message>
    <message>
        <source>%1 Einstellungen konnten nicht gespeichert werden</source>
        <translation>%1 settings could not be saved</translation>
    </message>
    <message>
        <source>kein Soundschema</source>
        <translation>not a sound scheme</translation>
    </message>
    <message>
        <source>weitere Stationendatenbank, nicht übernommen</source>
        <translation>another station database, not imported</translation>
    </message>
    <message>
        <source>beschädigt oder keine Stationendatenbank; nicht übernommen</source>
        <translation>damaged or not a station database; not imported</translation>
    </message>
    <message>
        <source>%1: %2 Einträge länger als Tarvo liest; sie werden gekürzt</source>
        <translation>%1: %2 entries longer than Tarvo reads; they will be shortened</translation>
    </message>
    <message>
        <source>%1: %2 Stationen</source>
        <translation>%1: %2 stations</translation>
    </message>
    <message>
        <source>Tarvo läuft und benutzt die Pufferdateien; mit &quot;tarvo --import&quot; übernehmen, während Tarvo beendet ist</source>
        <translation>Tarvo is running and uses the buffer files; import them with &quot;tarvo --import&quot; while Tarvo is closed</translation>
    </message>
    <message>
        <source>Puffer dieses Kanals wurde schon übernommen</source>
        <translation>the buffer of this channel was already imported</translation>
    </message>
    <message>
        <source>zu kurz für eine Pufferdatei</source>
        <translation>too short for a buffer file</translation>
    </message>
    <message>
        <source>keine gültige Pufferdatei</source>
        <translation>not a valid buffer file</translation>
    </message>
    <message>
        <source>für %1 Zeilen angelegt, Tarvo nutzt %2 (Einstellung &quot;ConsoleRows&quot;); Tarvo würde sie leeren</source>
        <translation>made for %1 lines, Tarvo uses %2 (setting &quot;ConsoleRows&quot;); Tarvo would clear it</translation>
    </message>
    <message>
        <source>Import aus %1</source>
        <translation>Import from %1</translation>
    </message>
    <message>
        <source>Importiert:</source>
        <translation>Imported:</translation>
    </message>
    <message>
        <source>Zugeordnet:</source>
        <translation>Mapped:</translation>
    </message>
    <message>
        <source>Ausgelassen:</source>
        <translation>Left out:</translation>
    </message>
    <message>
        <source>Bitte prüfen:</source>
        <translation>Please check:</translation>
    </message>
    <message>
        <source>Sicherungen:</source>
        <translation>Backups:</translation>
    </message>
    <message>
        <source>Der Import ist nicht vollständig gelungen.</source>
        <translation>The import did not fully succeed.</translation>
    </message>
    <message>
        <source>Die übernommenen Einstellungen gelten ab dem nächsten Start von Tarvo.</source>
        <translation>The imported settings take effect the next time Tarvo starts.</translation>
    </message>
</context>
<context>
    <name>TKanal</name>
    <message>
        <source>Nachricht zum Lesen markieren</source>
        <translation>Mark message for reading</translation>
    </message>
    <message>
        <source>Nachricht zum Löschen markieren</source>
        <translation>Mark message for deletion</translation>
    </message>
    <message>
        <source>Markierung entfernen</source>
        <translation>Remove mark</translation>
    </message>
    <message>
        <source>Befehle absenden</source>
        <translation>Send commands</translation>
    </message>
    <message>
        <source>A&amp;usschneiden</source>
        <translation>Cu&amp;t</translation>
    </message>
    <message>
        <source>&amp;Kopieren</source>
        <translation>&amp;Copy</translation>
    </message>
    <message>
        <source>E&amp;infügen</source>
        <translation>&amp;Paste</translation>
    </message>
    <message>
        <source>&amp;Löschen</source>
        <translation>&amp;Delete</translation>
    </message>
    <message>
        <source>Tag</source>
        <translation>day</translation>
    </message>
    <message>
        <source>Tagen</source>
        <translation>days</translation>
    </message>
    <message>
        <source>Stunde</source>
        <translation>hour</translation>
    </message>
    <message>
        <source>Stunden</source>
        <translation>hours</translation>
    </message>
    <message>
        <source>Minute</source>
        <translation>minute</translation>
    </message>
    <message>
        <source>Minuten</source>
        <translation>minutes</translation>
    </message>
    <message>
        <source>Sekunde</source>
        <translation>second</translation>
    </message>
    <message>
        <source>Sekunden</source>
        <translation>seconds</translation>
    </message>
    <message>
        <source>Heute</source>
        <translation>Today</translation>
    </message>
    <message>
        <source>Gestern</source>
        <translation>Yesterday</translation>
    </message>
    <message>
        <source>(vor %1)</source>
        <translation>(%1 ago)</translation>
    </message>
    <message>
        <source>Kein Ziel für UI-Pakete ausgewählt.</source>
        <translation>No destination selected for UI frames.</translation>
    </message>
    <message>
        <source>Kein eigenes Rufzeichen für UI-Pakete ausgewählt.</source>
        <translation>No own callsign selected for UI frames.</translation>
    </message>
    <message>
        <source>Kein Kanal für UI-Pakete ausgewählt.</source>
        <translation>No channel selected for UI frames.</translation>
    </message>
    <message>
        <source>Speichern</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Text Dateien (*.txt)|*.txt|Alle Dateien (*.*)|*.*</source>
        <translation>Text files (*.txt)|*.txt|All files (*.*)|*.*</translation>
    </message>
    <message>
        <source>Soll die bereits existierende Datei &quot;%1&quot; überschrieben werden oder möchten Sie den Text an diese anhängen?</source>
        <translation>The file &quot;%1&quot; already exists. Do you want to overwrite it or append the text to it?</translation>
    </message>
    <message>
        <source>&amp;Überschreiben</source>
        <translation>&amp;Overwrite</translation>
    </message>
    <message>
        <source>&amp;Anhängen</source>
        <translation>&amp;Append</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Datei kann nicht zum Schreiben geöffnet werden.</source>
        <translation>The file cannot be opened for writing.</translation>
    </message>
    <message>
        <source>Fehler beim Öffnen der Textpuffer. Bitte starten Sie Windows neu.</source>
        <translation>Error opening the text buffers. Please restart Windows.</translation>
    </message>
    <message>
        <source>Getrennt</source>
        <translation>Disconnected</translation>
    </message>
    <message>
        <source>Trenne...</source>
        <translation>Disconnecting...</translation>
    </message>
    <message>
        <source>Verbinde...</source>
        <translation>Connecting...</translation>
    </message>
    <message>
        <source>Verbunden</source>
        <translation>Connected</translation>
    </message>
    <message>
        <source>Monitor</source>
        <translation>Monitor</translation>
    </message>
    <message>
        <source>%1: Verbunden mit %2</source>
        <translation>%1: Connected to %2</translation>
    </message>
    <message>
        <source>%1: Getrennt von %2</source>
        <translation>%1: Disconnected from %2</translation>
    </message>
    <message>
        <source>%1: Verbindungsfehler. Getrennt von %2</source>
        <translation>%1: Link failure. Disconnected from %2</translation>
    </message>
    <message>
        <source>%1: Besetzt. Getrennt von %2</source>
        <translation>%1: Busy. Disconnected from %2</translation>
    </message>
    <message>
        <source>Unbekannt</source>
        <translation>Unknown</translation>
    </message>
    <message>
        <source>Warte...</source>
        <translation>Waiting...</translation>
    </message>
    <message>
        <source>Fehler</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Name: %1</source>
        <translation>Name: %1</translation>
    </message>
    <message>
        <source>Typ: %1</source>
        <translation>Type: %1</translation>
    </message>
</context>
<context>
    <name>TKlaenge</name>
    <message>
        <source>Verbindung: Aufbau</source>
        <translation>Connection: connecting</translation>
    </message>
    <message>
        <source>Verbindung: Hergestellt (ausgehend)</source>
        <translation>Connection: established (outgoing)</translation>
    </message>
    <message>
        <source>Verbindung: Hergestellt (ankommend)</source>
        <translation>Connection: established (incoming)</translation>
    </message>
    <message>
        <source>Verbindung: Abbau</source>
        <translation>Connection: disconnecting</translation>
    </message>
    <message>
        <source>Verbindung: Getrennt</source>
        <translation>Connection: disconnected</translation>
    </message>
    <message>
        <source>Verbindung: Fehler</source>
        <translation>Connection: failure</translation>
    </message>
    <message>
        <source>Fernsteuerung: //RING</source>
        <translation>Remote command: //RING</translation>
    </message>
    <message>
        <source>Zeile empfangen (aktiver Kanal)</source>
        <translation>Line received (active channel)</translation>
    </message>
    <message>
        <source>Zeile empfangen (inaktiver Kanal)</source>
        <translation>Line received (inactive channel)</translation>
    </message>
    <message>
        <source>Zeile senden</source>
        <translation>Line sent</translation>
    </message>
    <message>
        <source>Dateiübertragung: Start</source>
        <translation>File transfer: start</translation>
    </message>
    <message>
        <source>Dateiübertragung: Erfolg</source>
        <translation>File transfer: success</translation>
    </message>
    <message>
        <source>Dateiübertragung: Abbruch</source>
        <translation>File transfer: cancelled</translation>
    </message>
    <message>
        <source>Dateiübertragung: Fehler</source>
        <translation>File transfer: failure</translation>
    </message>
    <message>
        <source>PGP: Signatur gültig</source>
        <translation>PGP: signature valid</translation>
    </message>
    <message>
        <source>PGP: Unterzeichner/Echtheit unbekannt</source>
        <translation>PGP: signer/authenticity unknown</translation>
    </message>
    <message>
        <source>PGP: Nachricht verändert</source>
        <translation>PGP: message altered</translation>
    </message>
    <message>
        <source>Kanalwechsel</source>
        <translation>Channel change</translation>
    </message>
    <message>
        <source>Programmstart</source>
        <translation>Program start</translation>
    </message>
    <message>
        <source>Programmende</source>
        <translation>Program end</translation>
    </message>
</context>
<context>
    <name>TPGP</name>
    <message>
        <source>Von dieser Station wurden in der letzten Stunde schon %1 Schlüssel hinzugefügt (höchstens %2); keiner wurde hinzugefügt.</source>
        <translation>%1 keys from this station were already added in the last hour (at most %2); none was added.</translation>
    </message>
    <message>
        <source>In der letzten Stunde wurden schon %1 Schlüssel hinzugefügt (höchstens %2); keiner wurde hinzugefügt.</source>
        <translation>%1 keys were already added in the last hour (at most %2); none was added.</translation>
    </message>
    <message>
        <source>Die Unterschrift wurde nicht überprüft.</source>
        <translation>The signature was not checked.</translation>
    </message>
    <message>
        <source>Die Echtheit des Unterzeichnerschlüssels ist unbekannt.</source>
        <translation>The authenticity of the signer&apos;s key is unknown.</translation>
    </message>
    <message>
        <source>Die Unterschrift ist gültig.</source>
        <translation>The signature is valid.</translation>
    </message>
    <message>
        <source>Die Unterschrift ist ungültig, die Nachricht wurde verändert.</source>
        <translation>The signature is invalid; the message has been altered.</translation>
    </message>
    <message>
        <source>Unterzeichnet am %1 um %2 utc.</source>
        <translation>Signed on %1 at %2 UTC.</translation>
    </message>
    <message>
        <source>Der Schlüssel wurde zurückgezogen.</source>
        <translation>The key has been revoked.</translation>
    </message>
    <message>
        <source>Der Schlüssel wurde deaktiviert.</source>
        <translation>The key has been disabled.</translation>
    </message>
    <message>
        <source>Der Schlüssel ist abgelaufen.</source>
        <translation>The key has expired.</translation>
    </message>
    <message>
        <source>Der Block enthält %1 Schlüssel (höchstens %2); keiner wurde hinzugefügt.</source>
        <translation>The block holds %1 keys (at most %2); none was added.</translation>
    </message>
    <message>
        <source>Die Schlüssel können nicht zum Schlüsselbund hinzugefügt werden:</source>
        <translation>The keys cannot be added to the keyring:</translation>
    </message>
    <message>
        <source>Folgende Schlüssel wurden dem Schlüsselring hinzugefügt:</source>
        <translation>The following keys were added to the keyring:</translation>
    </message>
</context>
<context>
    <name>TPGPCheck</name>
    <message>
        <source>Das automatische Hinzufügen von öffentlichen Schlüsseln zum Schlüsselbund ist ausgeschaltet.</source>
        <translation>Adding public keys to the keyring automatically is switched off.</translation>
    </message>
    <message>
        <source>PGP Fehler: &quot;%1&quot;</source>
        <translation>PGP error: &quot;%1&quot;</translation>
    </message>
    <message>
        <source>PGP-signierte Nachricht zu groß.</source>
        <translation>PGP-signed message too large.</translation>
    </message>
</context>
<context>
    <name>TStationTyp</name>
    <message>
        <source>Digi</source>
        <translation>Digi</translation>
    </message>
    <message>
        <source>Mailbox</source>
        <translation>Mailbox</translation>
    </message>
    <message>
        <source>Convers</source>
        <translation>Convers</translation>
    </message>
    <message>
        <source>Terminal</source>
        <translation>Terminal</translation>
    </message>
    <message>
        <source>Cluster</source>
        <translation>Cluster</translation>
    </message>
    <message>
        <source>Automatisch</source>
        <translation>Automatic</translation>
    </message>
</context>
<context>
    <name>TStationenDatenbankDlg</name>
    <message>
        <source>Verbindung: Aufbau</source>
        <translation>Connection: connecting</translation>
    </message>
    <message>
        <source>Verbindung: Hergestellt (ausgehend)</source>
        <translation>Connection: established (outgoing)</translation>
    </message>
    <message>
        <source>Verbindung: Hergestellt (ankommend)</source>
        <translation>Connection: established (incoming)</translation>
    </message>
    <message>
        <source>Verbindung: Abbau</source>
        <translation>Connection: disconnecting</translation>
    </message>
    <message>
        <source>Verbindung: Getrennt</source>
        <translation>Connection: disconnected</translation>
    </message>
    <message>
        <source>Verbindung: Fehler</source>
        <translation>Connection: failure</translation>
    </message>
    <message>
        <source>Fernsteuerung: //RING</source>
        <translation>Remote command: //RING</translation>
    </message>
    <message>
        <source>Zeile empfangen (aktiver Kanal)</source>
        <translation>Line received (active channel)</translation>
    </message>
    <message>
        <source>Zeile empfangen (inaktiver Kanal)</source>
        <translation>Line received (inactive channel)</translation>
    </message>
    <message>
        <source>Zeile senden</source>
        <translation>Line sent</translation>
    </message>
    <message>
        <source>Dateiübertragung: Start</source>
        <translation>File transfer: start</translation>
    </message>
    <message>
        <source>Dateiübertragung: Erfolg</source>
        <translation>File transfer: success</translation>
    </message>
    <message>
        <source>Dateiübertragung: Abbruch</source>
        <translation>File transfer: cancelled</translation>
    </message>
    <message>
        <source>Dateiübertragung: Fehler</source>
        <translation>File transfer: failure</translation>
    </message>
    <message>
        <source>Begrüßung</source>
        <translation>Greeting</translation>
    </message>
    <message>
        <source>Abschied (//Q)</source>
        <translation>Farewell (//Q)</translation>
    </message>
    <message>
        <source>Info über die Station (//I)</source>
        <translation>Station info (//I)</translation>
    </message>
    <message>
        <source>Neuigkeiten (//NE)</source>
        <translation>News (//NE)</translation>
    </message>
    <message>
        <source>Textbaustein %1 (Strg+%2)</source>
        <translation>Text block %1 (Ctrl+%2)</translation>
    </message>
    <message>
        <source>keiner</source>
        <translation>none</translation>
    </message>
    <message>
        <source>PC-Lautsprecher</source>
        <translation>PC speaker</translation>
    </message>
    <message>
        <source>Wave-Datei</source>
        <translation>Wave file</translation>
    </message>
    <message>
        <source>keine</source>
        <translation>none</translation>
    </message>
    <message>
        <source>Stimme</source>
        <translation>Voice</translation>
    </message>
    <message>
        <source>Telegrafie</source>
        <translation>Morse</translation>
    </message>
    <message>
        <source>Benutzer</source>
        <translation>User</translation>
    </message>
    <message>
        <source>Sysop</source>
        <translation>Sysop</translation>
    </message>
    <message>
        <source>Einstellungen für %1:</source>
        <translation>Settings for %1:</translation>
    </message>
</context>
<context>
    <name>TTexte</name>
    <message>
        <source>Begrüßung</source>
        <translation>Greeting</translation>
    </message>
    <message>
        <source>Abschied (//Q)</source>
        <translation>Farewell (//Q)</translation>
    </message>
    <message>
        <source>Info über die Station (//I)</source>
        <translation>Station info (//I)</translation>
    </message>
    <message>
        <source>Neuigkeiten (//NE)</source>
        <translation>News (//NE)</translation>
    </message>
    <message>
        <source>Textbaustein %1 (Strg+%2)</source>
        <translation>Text block %1 (Ctrl+%2)</translation>
    </message>
</context>
<context>
    <name>TVerbindung</name>
    <message>
        <source>Empfangspuffer voll: Die Gegenstation sendet mehr, als verarbeitet werden kann. Verbindung wird beendet.</source>
        <translation>Receive buffer full: the remote station sends more than can be processed. The connection is being ended.</translation>
    </message>
</context>
<context>
    <name>TVerbindungAutobin</name>
    <message>
        <source>Ungültige Länge im Header.</source>
        <translation>Invalid length in the header.</translation>
    </message>
    <message>
        <source>Datei kann nicht angelegt werden.</source>
        <translation>The file cannot be created.</translation>
    </message>
    <message>
        <source>Die Datei (%1 Bytes) ist größer als erlaubt (%2 Bytes, Einstellungen &quot;Dateien&quot;).</source>
        <translation>The file (%1 bytes) is larger than allowed (%2 bytes, settings &quot;Files&quot;).</translation>
    </message>
    <message>
        <source>Nicht genug freier Speicherplatz für %1 Bytes.</source>
        <translation>Not enough free disk space for %1 bytes.</translation>
    </message>
    <message>
        <source>Autobin-Empfang abgelehnt: %1</source>
        <translation>AutoBIN receive refused: %1</translation>
    </message>
</context>
<context>
    <name>TVerbindungDidadit</name>
    <message>
        <source>Empfange ERR: %1</source>
        <translation>Received ERR: %1</translation>
    </message>
</context>
<context>
    <name>TVerbindungStandard</name>
    <message>
        <source>Keine Auswertung von Fernsteuerbefehlen.</source>
        <translation>Remote commands are not evaluated.</translation>
    </message>
</context>
<context>
    <name>TVerbindungTextSend</name>
    <message>
        <source>Textdatei kann nicht gelesen werden.</source>
        <translation>The text file cannot be read.</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TAgwpeDialog</name>
    <message>
        <source>AGWPE - Eigenschaften</source>
        <translation>AGWPE - Properties</translation>
    </message>
    <message>
        <source>Host</source>
        <translation>Host</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Benutzername</source>
        <translation>User name</translation>
    </message>
    <message>
        <source>Passwort</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TDateiSendenDlg</name>
    <message>
        <source>Datei(en) hinzufügen...</source>
        <translation>Add file(s)...</translation>
    </message>
    <message>
        <source>Alle Dateien (*)</source>
        <translation>All files (*)</translation>
    </message>
    <message>
        <source>&lt; &amp;Zurück</source>
        <translation>&lt; &amp;Back</translation>
    </message>
    <message>
        <source>&amp;Weiter &gt;</source>
        <translation>&amp;Next &gt;</translation>
    </message>
    <message>
        <source>&amp;Fertigstellen</source>
        <translation>&amp;Finish</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Protokoll</source>
        <translation>Protocol</translation>
    </message>
    <message>
        <source>&amp;Text</source>
        <translation>&amp;Text</translation>
    </message>
    <message>
        <source>&amp;AutoBin</source>
        <translation>&amp;AutoBin</translation>
    </message>
    <message>
        <source>&amp;Binär</source>
        <translation>B&amp;inary</translation>
    </message>
    <message>
        <source>D&amp;idadit</source>
        <translation>&amp;Didadit</translation>
    </message>
    <message>
        <source>Was möchten Sie senden?</source>
        <translation>What do you want to send?</translation>
    </message>
    <message>
        <source>&amp;Datei(en)</source>
        <translation>Fi&amp;le(s)</translation>
    </message>
    <message>
        <source>Text&amp;eingabe</source>
        <translation>Typ&amp;ed text</translation>
    </message>
    <message>
        <source>Sendewarteschlange</source>
        <translation>Send queue</translation>
    </message>
    <message>
        <source>&amp;Alle löschen</source>
        <translation>&amp;Clear all</translation>
    </message>
    <message>
        <source>&amp;Hinzufügen</source>
        <translation>&amp;Add</translation>
    </message>
    <message>
        <source>&amp;Entfernen</source>
        <translation>&amp;Remove</translation>
    </message>
    <message>
        <source>Diese Dateien werden gesendet:</source>
        <translation>These files will be sent:</translation>
    </message>
    <message>
        <source>Geben Sie den Text ein, der gesendet werden soll:</source>
        <translation>Enter the text to be sent:</translation>
    </message>
    <message>
        <source>&amp;Teilen</source>
        <translation>&amp;Split</translation>
    </message>
    <message>
        <source>&amp;Größe pro Teil:</source>
        <translation>Si&amp;ze per part:</translation>
    </message>
    <message>
        <source>Datei</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Größe</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>Teile</source>
        <translation>Parts</translation>
    </message>
    <message>
        <source>Bemerkung</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>&amp;Eigenschaften</source>
        <translation>&amp;Properties</translation>
    </message>
    <message>
        <source>&amp;Automatischer Zeilenumbruch</source>
        <translation>Automatic line &amp;wrap</translation>
    </message>
    <message>
        <source>kB</source>
        <translation>kB</translation>
    </message>
    <message>
        <source>Vorlagen</source>
        <translation>Templates</translation>
    </message>
    <message>
        <source>Texte für die Mailbox</source>
        <translation>Texts for the mailbox</translation>
    </message>
    <message>
        <source>Text &amp;vorher</source>
        <translation>&amp;Text before</translation>
    </message>
    <message>
        <source>Text &amp;nachher</source>
        <translation>Text &amp;after</translation>
    </message>
    <message>
        <source>%o Dateiname, %n Name des Teils, %p Nummer des Teils, %q Anzahl der Teile</source>
        <translation>%o file name, %n name of the part, %p number of the part, %q number of parts</translation>
    </message>
    <message>
        <source>&amp;Signieren</source>
        <translation>&amp;Sign</translation>
    </message>
    <message>
        <source>Um Nachrichten signieren zu können, benötigen Sie PGP 5.5.3, 6.0.2, 6.5.1 oder neuer.</source>
        <translation>To sign messages, you need PGP 5.5.3, 6.0.2, 6.5.1 or newer.</translation>
    </message>
    <message>
        <source>GnuPG erhalten Sie bei Ihrer Distribution oder unter https://gnupg.org.</source>
        <translation>You can get GnuPG from your distribution or at https://gnupg.org.</translation>
    </message>
    <message>
        <source>Privater S&amp;chlüssel:</source>
        <translation>Private &amp;key:</translation>
    </message>
    <message>
        <source>&amp;Passwort:</source>
        <translation>&amp;Password:</translation>
    </message>
    <message>
        <source>&amp;Kommentar:</source>
        <translation>&amp;Comment:</translation>
    </message>
    <message>
        <source>Es werden nur die ersten %1 Dateien übernommen.</source>
        <translation>Only the first %1 files are used.</translation>
    </message>
    <message>
        <source>Senden Sie Text (*.txt) und 7Plus-Dateien (*.7pl, *.p01, ...) mit diesem Protokoll.</source>
        <translation>Send text (*.txt) and 7Plus files (*.7pl, *.p01, ...) with this protocol.</translation>
    </message>
    <message>
        <source>Benutzen Sie das AutoBin-Protokoll, um Bild-, Programm- und andere binäre Dateien zu übertragen. Wenn Ihre Gegenstation jedoch das neuere Didadit-Protokoll unterstützt, verwenden Sie dieses.</source>
        <translation>Use the AutoBin protocol to transfer image, program and other binary files. If your remote station supports the newer Didadit protocol, however, use that one.</translation>
    </message>
    <message>
        <source>Benutzen Sie Didadit, um Bild-, Programm- und andere binäre Dateien zu übertragen.</source>
        <translation>Use Didadit to transfer image, program and other binary files.</translation>
    </message>
    <message>
        <source>Senden - %1</source>
        <translation>Send - %1</translation>
    </message>
    <message>
        <source>nicht verbunden</source>
        <translation>not connected</translation>
    </message>
    <message>
        <source>Der Kanal ist nicht verbunden.</source>
        <translation>The channel is not connected.</translation>
    </message>
    <message>
        <source>Derzeit befinden sich keine Dateien in der Sendewarteschlange.</source>
        <translation>There are currently no files in the send queue.</translation>
    </message>
    <message>
        <source>Zu viele Teile (höchstens %1): bitte eine größere Teilgröße wählen.</source>
        <translation>Too many parts (at most %1): please choose a larger part size.</translation>
    </message>
    <message>
        <source>Vorlagen bearbeiten...</source>
        <translation>Edit templates...</translation>
    </message>
    <message>
        <source>Falsches Passwort.</source>
        <translation>Wrong password.</translation>
    </message>
    <message>
        <source>Fehler</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Datei konnte nicht geöffnet werden. Noch einmal versuchen?</source>
        <translation>The file could not be opened. Try again?</translation>
    </message>
    <message>
        <source>Texteingabe wirklich abbrechen?</source>
        <translation>Really cancel the text entry?</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TDateiSendenTeileAuswahlDlg</name>
    <message>
        <source>Teil %1 (.B%2)</source>
        <translation>Part %1 (.B%2)</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TDateiSendenVorlagenDlg</name>
    <message>
        <source>Datei senden - Vorlagen</source>
        <translation>Send file - Templates</translation>
    </message>
    <message>
        <source>Hinzufügen</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>Entfernen</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TDlgBefehl</name>
    <message>
        <source>Befehl</source>
        <translation>Command</translation>
    </message>
    <message>
        <source>Verbinden (&amp;C)</source>
        <translation>Connect (&amp;C)</translation>
    </message>
    <message>
        <source>Trennen (&amp;D)</source>
        <translation>Disconnect (&amp;D)</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TDlgBefehlConnect</name>
    <message>
        <source>Eigenes Rufzeichen</source>
        <translation>Own callsign</translation>
    </message>
    <message>
        <source>Kanäle</source>
        <translation>Channels</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Verbinden</source>
        <translation>Connect</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TDlgImport</name>
    <message>
        <source>Import</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>Schließen</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TDlgUnhandledException</name>
    <message>
        <source>Uuups...</source>
        <translation>Oops...</translation>
    </message>
    <message>
        <source>Folgender Fehler ist aufgetreten:</source>
        <translation>The following error occurred:</translation>
    </message>
    <message>
        <source>Dieser Fehler kann sich negativ auf den weiteren Ablauf von Tarvo auswirken. Es wird daher empfohlen, Tarvo möglichst bald zu beenden und neu zu starten.</source>
        <translation>This error may affect how Tarvo works from now on. It is therefore recommended to quit Tarvo and start it again as soon as possible.</translation>
    </message>
    <message>
        <source>Fehler &amp;ignorieren</source>
        <translation>&amp;Ignore error</translation>
    </message>
    <message>
        <source>Tarvo &amp;beenden</source>
        <translation>&amp;Quit Tarvo</translation>
    </message>
    <message>
        <source>Fehlermeldung in die Zwischenablage &amp;kopieren</source>
        <translation>&amp;Copy error message to the clipboard</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TEinstellungenAllgemein</name>
    <message>
        <source>Rufzeichen</source>
        <translation>Callsign</translation>
    </message>
    <message>
        <source>SSIDs</source>
        <translation>SSIDs</translation>
    </message>
    <message>
        <source>&amp;Hinzufügen</source>
        <translation>&amp;Add</translation>
    </message>
    <message>
        <source>&amp;Bearbeiten</source>
        <translation>&amp;Edit</translation>
    </message>
    <message>
        <source>&amp;Entfernen</source>
        <translation>&amp;Remove</translation>
    </message>
    <message>
        <source>Eigene Rufzeichen</source>
        <translation>Own callsigns</translation>
    </message>
    <message>
        <source>&amp;Lokales Echo</source>
        <translation>&amp;Local echo</translation>
    </message>
    <message>
        <source>Ein-/Ausgabe</source>
        <translation>Input/output</translation>
    </message>
    <message>
        <source>Kanäle</source>
        <translation>Channels</translation>
    </message>
    <message>
        <source>Zeilen</source>
        <translation>Lines</translation>
    </message>
    <message>
        <source>annehmen</source>
        <translation>accept</translation>
    </message>
    <message>
        <source>ignorieren</source>
        <translation>ignore</translation>
    </message>
    <message>
        <source>abweisen</source>
        <translation>reject</translation>
    </message>
    <message>
        <source>Firewall</source>
        <translation>Firewall</translation>
    </message>
    <message>
        <source>Ankommende Verbindungen:</source>
        <translation>Incoming connections:</translation>
    </message>
    <message>
        <source>Bei Änderung der Zeilenzahl werden die Inhalte der Empfangsfenster gelöscht. Fortsetzen?</source>
        <translation>Changing the number of lines clears the contents of the receive windows. Continue?</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TEinstellungenAnzeige</name>
    <message>
        <source>Schriftgröße</source>
        <translation>Font size</translation>
    </message>
    <message>
        <source>Beispiel</source>
        <translation>Sample</translation>
    </message>
    <message>
        <source>Standardfarben</source>
        <translation>Default colours</translation>
    </message>
    <message>
        <source>*** Verbunden mit DB0TST</source>
        <translation>*** Connected to DB0TST</translation>
    </message>
    <message>
        <source>Willkommen auf DB0TST.</source>
        <translation>Welcome to DB0TST.</translation>
    </message>
    <message>
        <source>Hallo, hier ist DL1ABC.</source>
        <translation>Hello, this is DL1ABC.</translation>
    </message>
    <message>
        <source>Datei gespeichert.</source>
        <translation>File saved.</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TEinstellungenDateien</name>
    <message>
        <source>Ordner für empfangene Dateien:</source>
        <translation>Folder for received files:</translation>
    </message>
    <message>
        <source>Ordner für per Fernsteuerung lesbare Dateien:</source>
        <translation>Folder for files readable by remote command:</translation>
    </message>
    <message>
        <source>Ordner</source>
        <translation>Folders</translation>
    </message>
    <message>
        <source>&amp;Empfang</source>
        <translation>&amp;Receive</translation>
    </message>
    <message>
        <source>&amp;Fernst.</source>
        <translation>Re&amp;mote</translation>
    </message>
    <message>
        <source> MB</source>
        <translation> MB</translation>
    </message>
    <message>
        <source>Empfang</source>
        <translation>Receive</translation>
    </message>
    <message>
        <source>AutoBIN-Dateien &amp;höchstens</source>
        <translation>AutoBIN files &amp;at most</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TEinstellungenErweitert</name>
    <message>
        <source>Eigene Stations-ID senden</source>
        <translation>Send own station ID</translation>
    </message>
    <message>
        <source>Gesendete Stations-ID verbergen</source>
        <translation>Hide the sent station ID</translation>
    </message>
    <message>
        <source>Empfangene Stations-ID verbergen</source>
        <translation>Hide the received station ID</translation>
    </message>
    <message>
        <source>Symbole in Echtfarben anzeigen (nicht mit allen Grafikkartentreibern kompatibel)</source>
        <translation>Show icons in true colour (not compatible with all graphics card drivers)</translation>
    </message>
    <message>
        <source>Öffentliche Schlüssel automatisch zum Schlüsselring hinzufügen</source>
        <translation>Add public keys to the keyring automatically</translation>
    </message>
    <message>
        <source>Vereinfachte Ergebnisse von Signaturprüfungen anzeigen</source>
        <translation>Show simplified results of signature checks</translation>
    </message>
    <message>
        <source>Stations-ID</source>
        <translation>Station ID</translation>
    </message>
    <message>
        <source>Darstellung</source>
        <translation>Appearance</translation>
    </message>
    <message>
        <source>PGP</source>
        <translation>PGP</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TEinstellungenForm</name>
    <message>
        <source>Einstellungen</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Übe&amp;rnehmen</source>
        <translation>Appl&amp;y</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>In der &lt;a href=&quot;stationen&quot;&gt;Stationendatenbank&lt;/a&gt; können Sie rufzeichenabhängige Texte einstellen.</source>
        <translation>In the &lt;a href=&quot;stationen&quot;&gt;station database&lt;/a&gt; you can set texts for each callsign.</translation>
    </message>
    <message>
        <source>Treffen Sie rufzeichenabhängige Einstellungen in der &lt;a href=&quot;stationen&quot;&gt;Stationendatenbank&lt;/a&gt;.</source>
        <translation>Make settings for each callsign in the &lt;a href=&quot;stationen&quot;&gt;station database&lt;/a&gt;.</translation>
    </message>
    <message>
        <source>In der &lt;a href=&quot;stationen&quot;&gt;Stationendatenbank&lt;/a&gt; können Sie rufzeichenabhängige Klänge einstellen.</source>
        <translation>In the &lt;a href=&quot;stationen&quot;&gt;station database&lt;/a&gt; you can set sounds for each callsign.</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TEinstellungenMonitor</name>
    <message>
        <source>Anzeigen</source>
        <translation>Show</translation>
    </message>
    <message>
        <source>Beispiel</source>
        <translation>Sample</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TErsteSchritte</name>
    <message>
        <source>Erste Schritte</source>
        <translation>First steps</translation>
    </message>
    <message>
        <source>Eigenes Rufzeichen</source>
        <translation>Own callsign</translation>
    </message>
    <message>
        <source>Tragen Sie unter Extras, Einstellungen, Seite „Allgemein“ Ihr Rufzeichen ein und wählen Sie die SSIDs, unter denen Tarvo erscheinen darf.</source>
        <translation>Under Tools, Settings, page &quot;General&quot;, enter your callsign and choose the SSIDs under which Tarvo may appear.</translation>
    </message>
    <message>
        <source>Ein Gerät</source>
        <translation>A device</translation>
    </message>
    <message>
        <source>Richten Sie auf der Seite „Geräte“ Ihren TNC im Hostmode (an einer seriellen Schnittstelle), eine AGWPE-Schnittstelle oder FlexNet ein. Ansicht, Gerätestatus zeigt, ob das Gerät bereit ist.</source>
        <translation>On the page &quot;Devices&quot;, set up your TNC in hostmode (on a serial port), an AGWPE interface or FlexNet. View, Device status shows whether the device is ready.</translation>
    </message>
    <message>
        <source>Verbinden</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>Wählen Sie mit F1 bis F10 einen Kanal und dann Verbindung, Verbinden... (oder Esc und C). Geben Sie das Rufzeichen der Gegenstation ein, bei Bedarf mit den Digipeatern dahinter, und wählen Sie den Funkkanal.</source>
        <translation>Choose a channel with F1 to F10 and then Connection, Connect... (or Esc and C). Enter the callsign of the remote station, followed by the digipeaters if needed, and choose the radio channel.</translation>
    </message>
    <message>
        <source>Eine Datei senden</source>
        <translation>Send a file</translation>
    </message>
    <message>
        <source>Auf einem verbundenen Kanal wählt Datei, Senden die Dateien aus; Sie können sie auch auf das Fenster ziehen. Abbrechen beendet eine laufende Übertragung.</source>
        <translation>On a connected channel, File, Send chooses the files; you can also drag them onto the window. Cancel stops a running transfer.</translation>
    </message>
    <message>
        <source>Das Handbuch</source>
        <translation>The manual</translation>
    </message>
    <message>
        <source>Hilfe, Inhalt... öffnet das Handbuch im Browser. Dieses Fenster finden Sie jederzeit unter Hilfe, Erste Schritte...</source>
        <translation>Help, Contents... opens the manual in the browser. You can find this window at any time under Help, First steps...</translation>
    </message>
    <message>
        <source>Willkommen bei Tarvo. So kommen Sie zur ersten Verbindung:</source>
        <translation>Welcome to Tarvo. This is how you make your first connection:</translation>
    </message>
    <message>
        <source>Nicht mehr anzeigen</source>
        <translation>Do not show again</translation>
    </message>
    <message>
        <source>&amp;Handbuch</source>
        <translation>&amp;Manual</translation>
    </message>
    <message>
        <source>&amp;Schließen</source>
        <translation>&amp;Close</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TFlexnetDialog</name>
    <message>
        <source>PC/FlexNet - Eigenschaften</source>
        <translation>PC/FlexNet - Properties</translation>
    </message>
    <message>
        <source>Kanäle</source>
        <translation>Channels</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TGeraeteDialog</name>
    <message>
        <source>Geräte</source>
        <translation>Devices</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TGeraeteListe</name>
    <message>
        <source>Gerät</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>Parameter</source>
        <translation>Parameters</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>&amp;Hinzufügen</source>
        <translation>&amp;Add</translation>
    </message>
    <message>
        <source>Ent&amp;fernen</source>
        <translation>&amp;Remove</translation>
    </message>
    <message>
        <source>Nach oben (Strg+Hoch)</source>
        <translation>Move up (Ctrl+Up)</translation>
    </message>
    <message>
        <source>Nach unten (Strg+Runter)</source>
        <translation>Move down (Ctrl+Down)</translation>
    </message>
    <message>
        <source>&amp;Eigenschaften</source>
        <translation>&amp;Properties</translation>
    </message>
    <message>
        <source>Gerätetreiber</source>
        <translation>Device drivers</translation>
    </message>
    <message>
        <source>Hinzufügen</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>Entfernen</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>Gerät wirklich entfernen?</source>
        <translation>Really remove the device?</translation>
    </message>
    <message>
        <source>Eigenschaften</source>
        <translation>Properties</translation>
    </message>
    <message>
        <source>Für dieses Gerät gibt es noch keine Einstellungen.</source>
        <translation>There are no settings for this device yet.</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TGeraeteStatus</name>
    <message>
        <source>Tarvo - Gerätestatus</source>
        <translation>Tarvo - Device status</translation>
    </message>
    <message>
        <source>Gerät</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>Parameter</source>
        <translation>Parameters</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::THauptfenster</name>
    <message>
        <source>Initialisiere Schriften...</source>
        <translation>Initialising fonts...</translation>
    </message>
    <message>
        <source>Die erforderliche Datei &quot;%1&quot; kann nicht geladen werden.</source>
        <translation>The required file &quot;%1&quot; cannot be loaded.</translation>
    </message>
    <message>
        <source>Ausgabefenster löschen?</source>
        <translation>Clear the output window?</translation>
    </message>
    <message>
        <source>Die Datenbank wird beim nächsten Start von Tarvo repariert und optimiert.</source>
        <translation>The database will be repaired and optimised the next time Tarvo starts.</translation>
    </message>
    <message>
        <source>&amp;Datei</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>Verbind&amp;ung</source>
        <translation>Co&amp;nnection</translation>
    </message>
    <message>
        <source>&amp;Pactor</source>
        <translation>&amp;Pactor</translation>
    </message>
    <message>
        <source>&amp;Bearbeiten</source>
        <translation>&amp;Edit</translation>
    </message>
    <message>
        <source>&amp;Ansicht</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>&amp;Befehlsleiste</source>
        <translation>&amp;Command toolbar</translation>
    </message>
    <message>
        <source>&amp;Schema</source>
        <translation>&amp;Scheme</translation>
    </message>
    <message>
        <source>E&amp;xtras</source>
        <translation>&amp;Tools</translation>
    </message>
    <message>
        <source>Stati&amp;onen</source>
        <translation>Stati&amp;ons</translation>
    </message>
    <message>
        <source>&amp;Hilfe</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>Befehlsleiste</source>
        <translation>Command toolbar</translation>
    </message>
    <message>
        <source>Fernsteuerbefehl</source>
        <translation>Remote command</translation>
    </message>
    <message>
        <source>Die Datei &quot;Tarvo.html&quot; wurde nicht gefunden oder ist ungültig</source>
        <translation>The file &quot;Tarvo.html&quot; was not found or is invalid</translation>
    </message>
    <message>
        <source>HTML Help ist nicht installiert</source>
        <translation>HTML Help is not installed</translation>
    </message>
    <message>
        <source>Test: %1</source>
        <translation>Test: %1</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::THostmodeCommandlineForm</name>
    <message>
        <source>Kommandozeile</source>
        <translation>Command line</translation>
    </message>
    <message>
        <source>Senden</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>&amp;Schließen</source>
        <translation>&amp;Close</translation>
    </message>
    <message>
        <source>&amp;Befehl:</source>
        <translation>Co&amp;mmand:</translation>
    </message>
    <message>
        <source>TNC %1</source>
        <translation>TNC %1</translation>
    </message>
    <message>
        <source>Kein Hostmode-Gerät eingerichtet.</source>
        <translation>No hostmode device set up.</translation>
    </message>
    <message>
        <source>Keine Geräte</source>
        <translation>No devices</translation>
    </message>
    <message>
        <source>Das Gerät ist nicht mehr vorhanden.</source>
        <translation>The device is no longer present.</translation>
    </message>
    <message>
        <source>Das Gerät ist nicht bereit.</source>
        <translation>The device is not ready.</translation>
    </message>
    <message>
        <source>Ungültiger Befehl.</source>
        <translation>Invalid command.</translation>
    </message>
    <message>
        <source>Diesen Wert verwaltet Tarvo selbst; der Befehl wird nicht gesendet.</source>
        <translation>Tarvo manages this value itself; the command is not sent.</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::THostmodeSerialDialog</name>
    <message>
        <source>Hostmode - Eigenschaften</source>
        <translation>Hostmode - Properties</translation>
    </message>
    <message>
        <source>&amp;Anschluss</source>
        <translation>&amp;Port</translation>
    </message>
    <message>
        <source>&amp;Baudrate</source>
        <translation>&amp;Baud rate</translation>
    </message>
    <message>
        <source>&amp;Initialisierung</source>
        <translation>&amp;Initialisation</translation>
    </message>
    <message>
        <source>&amp;Deinitialisierung</source>
        <translation>&amp;Deinitialisation</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TInfo</name>
    <message>
        <source>Info</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>Ein Terminal für Packet-Radio.</source>
        <translation>A terminal for packet radio.</translation>
    </message>
    <message>
        <source>Nicht zur Weitergabe bestimmt</source>
        <translation>Not for distribution</translation>
    </message>
    <message>
        <source>Verwendete Bibliotheken:</source>
        <translation>Libraries used:</translation>
    </message>
    <message>
        <source>Bibliothek</source>
        <translation>Library</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>Lizenz</source>
        <translation>Licence</translation>
    </message>
    <message>
        <source>unbekannt</source>
        <translation>unknown</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TKlaengeForm</name>
    <message>
        <source>&amp;Ereignis:</source>
        <translation>&amp;Event:</translation>
    </message>
    <message>
        <source>keiner</source>
        <translation>none</translation>
    </message>
    <message>
        <source>PC-Lautsprecher</source>
        <translation>PC speaker</translation>
    </message>
    <message>
        <source>Wave-Datei</source>
        <translation>Wave file</translation>
    </message>
    <message>
        <source>Abspielen</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>Klang</source>
        <translation>Sound</translation>
    </message>
    <message>
        <source>keine</source>
        <translation>none</translation>
    </message>
    <message>
        <source>Stimme</source>
        <translation>Voice</translation>
    </message>
    <message>
        <source>Telegrafie</source>
        <translation>Morse</translation>
    </message>
    <message>
        <source>Ansage</source>
        <translation>Announcement</translation>
    </message>
    <message>
        <source>Laden...</source>
        <translation>Load...</translation>
    </message>
    <message>
        <source>Speichern...</source>
        <translation>Save...</translation>
    </message>
    <message>
        <source>Schema</source>
        <translation>Scheme</translation>
    </message>
    <message>
        <source>Klang auswählen...</source>
        <translation>Choose sound...</translation>
    </message>
    <message>
        <source>Klang-Dateien (*.wav);;Alle Dateien (*)</source>
        <translation>Sound files (*.wav);;All files (*)</translation>
    </message>
    <message>
        <source>Tarvo Soundschema (*.tvs)</source>
        <translation>Tarvo sound scheme (*.tvs)</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TMyCallEdit</name>
    <message>
        <source>Eigenes Rufzeichen</source>
        <translation>Own callsign</translation>
    </message>
    <message>
        <source>SSIDs</source>
        <translation>SSIDs</translation>
    </message>
    <message>
        <source>&amp;Alle</source>
        <translation>&amp;All</translation>
    </message>
    <message>
        <source>&amp;Keine</source>
        <translation>&amp;None</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>&amp;Rufzeichen:</source>
        <translation>&amp;Callsign:</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TPaneStack</name>
    <message>
        <source>Kanäle</source>
        <translation>Channels</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TRemoteCommandsForm</name>
    <message>
        <source>Freigaben gelten für das Rufzeichen, das die Gegenstation angibt. Das ist keine Anmeldung: jede Station kann ein fremdes Rufzeichen angeben. Grau: es gilt die allgemeine Einstellung.</source>
        <translation>Permissions apply to the callsign the remote station gives. This is no login: any station can give someone else&apos;s callsign. Grey: the general setting applies.</translation>
    </message>
    <message>
        <source>Fernsteuerbefehle, die verbundene Stationen benutzen dürfen. Eine Freigabe gilt für jede Station, die sich verbindet; Rufzeichen werden nicht geprüft.</source>
        <translation>Remote commands that connected stations may use. A permission applies to every station that connects; callsigns are not checked.</translation>
    </message>
    <message>
        <source>Befehl</source>
        <translation>Command</translation>
    </message>
    <message>
        <source>Beschreibung</source>
        <translation>Description</translation>
    </message>
    <message>
        <source>Allgemein freigegeben</source>
        <translation>Allowed in general</translation>
    </message>
    <message>
        <source>Allgemein gesperrt</source>
        <translation>Blocked in general</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TSplash</name>
    <message>
        <source>Nicht zur Weitergabe bestimmt</source>
        <translation>Not for distribution</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TStationenDatenbankDlg</name>
    <message>
        <source>Stationen</source>
        <translation>Stations</translation>
    </message>
    <message>
        <source>Suchen</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>&amp;Hinzuf.</source>
        <translation>&amp;Add</translation>
    </message>
    <message>
        <source>&amp;Entf.</source>
        <translation>&amp;Remove</translation>
    </message>
    <message>
        <source>Schließen</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Firewall</source>
        <translation>Firewall</translation>
    </message>
    <message>
        <source>annehmen</source>
        <translation>accept</translation>
    </message>
    <message>
        <source>ignorieren</source>
        <translation>ignore</translation>
    </message>
    <message>
        <source>abweisen</source>
        <translation>reject</translation>
    </message>
    <message>
        <source>Name:</source>
        <translation>Name:</translation>
    </message>
    <message>
        <source>Typ:</source>
        <translation>Type:</translation>
    </message>
    <message>
        <source>Ankommende Verbindungen:</source>
        <translation>Incoming connections:</translation>
    </message>
    <message>
        <source>Notizen:</source>
        <translation>Notes:</translation>
    </message>
    <message>
        <source>Station</source>
        <translation>Station</translation>
    </message>
    <message>
        <source>&amp;Vorher Standardtext senden</source>
        <translation>&amp;Send the standard text first</translation>
    </message>
    <message>
        <source>Texte</source>
        <translation>Texts</translation>
    </message>
    <message>
        <source>(allgemein)</source>
        <translation>(general)</translation>
    </message>
    <message>
        <source>Ereignis:</source>
        <translation>Event:</translation>
    </message>
    <message>
        <source>Signal:</source>
        <translation>Signal:</translation>
    </message>
    <message>
        <source>Wave-Datei:</source>
        <translation>Wave file:</translation>
    </message>
    <message>
        <source>Ansage:</source>
        <translation>Announcement:</translation>
    </message>
    <message>
        <source>Klänge</source>
        <translation>Sounds</translation>
    </message>
    <message>
        <source>Eigenes Rufzeichen</source>
        <translation>Own callsign</translation>
    </message>
    <message>
        <source>Rolle</source>
        <translation>Role</translation>
    </message>
    <message>
        <source>Verfahren</source>
        <translation>Method</translation>
    </message>
    <message>
        <source>Hinzufügen...</source>
        <translation>Add...</translation>
    </message>
    <message>
        <source>Bearbeiten...</source>
        <translation>Edit...</translation>
    </message>
    <message>
        <source>Ent&amp;fernen</source>
        <translation>Re&amp;move</translation>
    </message>
    <message>
        <source>Passwörter</source>
        <translation>Passwords</translation>
    </message>
    <message>
        <source>Fernst.</source>
        <translation>Remote</translation>
    </message>
    <message>
        <source>Neues Rufzeichen...</source>
        <translation>New callsign...</translation>
    </message>
    <message>
        <source>Ungültiges Rufzeichen</source>
        <translation>Invalid callsign</translation>
    </message>
    <message>
        <source>Station wirklich entfernen?</source>
        <translation>Really remove the station?</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TStationenDatenbankPasswortDlg</name>
    <message>
        <source>Passwort hinzufügen...</source>
        <translation>Add password...</translation>
    </message>
    <message>
        <source>Eigenes Rufzeichen:</source>
        <translation>Own callsign:</translation>
    </message>
    <message>
        <source>Rolle:</source>
        <translation>Role:</translation>
    </message>
    <message>
        <source>Verfahren:</source>
        <translation>Method:</translation>
    </message>
    <message>
        <source>Passwort:</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>Passwort bearbeiten...</source>
        <translation>Edit password...</translation>
    </message>
</context>
<context>
    <name>tarvo::ui::TTexteForm</name>
    <message>
        <source>&amp;Text:</source>
        <translation>&amp;Text:</translation>
    </message>
    <message>
        <source>%n steht für den Namen der Gegenstation, %% für ein %.</source>
        <translation>%n stands for the name of the remote station, %% for a %.</translation>
    </message>
</context>
</TS>
