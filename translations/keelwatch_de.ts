<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>CommentTable</name>
    <message>
        <source>Cannot write comment.txt.
%1</source>
        <translation>comment.txt kann nicht geschrieben werden.
%1</translation>
    </message>
</context>
<context>
    <name>ExternalCommand</name>
    <message>
        <source>Cannot start the external command %1.</source>
        <translation>Der externe Befehl %1 kann nicht gestartet werden.</translation>
    </message>
</context>
<context>
    <name>MessageSink</name>
    <message>
        <source>Wrong IP address.</source>
        <translation>Falsche IP-Adresse.</translation>
    </message>
    <message>
        <source>IP Address Error</source>
        <translation>Fehler in der IP-Adresse</translation>
    </message>
    <message>
        <source>No comment.txt not found</source>
        <translation>Keine comment.txt gefunden</translation>
    </message>
    <message>
        <source>More then 10000 comments</source>
        <translation>Mehr als 10000 Kommentare</translation>
    </message>
    <message>
        <source>External Command ERROR!!!</source>
        <translation>FEHLER beim externen Befehl!!!</translation>
    </message>
    <message>
        <source>No log file fount.</source>
        <translation>Keine Logdatei gefunden.</translation>
    </message>
    <message>
        <source>Cannot open Log file.-1</source>
        <translation>Logdatei kann nicht geöffnet werden.-1</translation>
    </message>
    <message>
        <source>No oui.txt found.</source>
        <translation>Keine oui.txt gefunden.</translation>
    </message>
    <message>
        <source>/ PacketReceivePacket failed </source>
        <translation>/ PacketReceivePacket fehlgeschlagen </translation>
    </message>
    <message>
        <source>Pipe2 wait Error!!!</source>
        <translation>Fehler beim Warten auf Pipe2!!!</translation>
    </message>
    <message>
        <source>IP Address ERROR !!! </source>
        <translation>FEHLER in der IP-Adresse !!! </translation>
    </message>
    <message>
        <source>Mode Error !!!</source>
        <translation>Modusfehler !!!</translation>
    </message>
    <message>
        <source>Wrong IP address for SYSLOG server.</source>
        <translation>Falsche IP-Adresse für den SYSLOG-Server.</translation>
    </message>
    <message>
        <source>Null Remote Address</source>
        <translation>Leere Gegenstellenadresse</translation>
    </message>
</context>
<context>
    <name>NodeListFile</name>
    <message>
        <source>Cannot write the node list file %1.
%2</source>
        <translation>Die Knotenlistendatei %1 kann nicht geschrieben werden.
%2</translation>
    </message>
    <message>
        <source>Cannot read the node list file %1.
%2</source>
        <translation>Die Knotenlistendatei %1 kann nicht gelesen werden.
%2</translation>
    </message>
    <message>
        <source>The file %1 is not a node list: it holds no node line.
The node list was left as it was.</source>
        <translation>Die Datei %1 ist keine Knotenliste: Sie enthält keine Knotenzeile.
Die Knotenliste blieb, wie sie war.</translation>
    </message>
</context>
<context>
    <name>NodeViewer</name>
    <message>
        <source>Node Viewer</source>
        <translation>Knotenbetrachter</translation>
    </message>
</context>
<context>
    <name>NodeViewerGrid</name>
    <message>
        <source>STATUS</source>
        <translation>STATUS</translation>
    </message>
    <message>
        <source>TIME</source>
        <translation>ZEIT</translation>
    </message>
    <message>
        <source>Comment</source>
        <translation>Kommentar</translation>
    </message>
</context>
<context>
    <name>SettingsStore</name>
    <message>
        <source>These settings in %1 could not be read and keep their defaults: %2.
A copy of the file is kept beside it when the settings are next saved.</source>
        <translation>Diese Einstellungen in %1 konnten nicht gelesen werden und behalten ihre Vorgaben: %2.
Beim nächsten Speichern der Einstellungen wird eine Kopie der Datei daneben aufbewahrt.</translation>
    </message>
    <message>
        <source>Cannot save the settings to %1.</source>
        <translation>Die Einstellungen können nicht in %1 gespeichert werden.</translation>
    </message>
    <message>
        <source>Cannot keep a copy of the settings as %1.</source>
        <translation>Eine Kopie der Einstellungen kann nicht als %1 aufbewahrt werden.</translation>
    </message>
</context>
<context>
    <name>keelwatch::AboutBox</name>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>Finds promiscuous network cards</source>
        <translation>Findet Netzwerkkarten im Promiscuous-Modus</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
</context>
<context>
    <name>keelwatch::AlertMessageWindow</name>
    <message>
        <source>Alert</source>
        <translation>Alarm</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>keelwatch::AlertTray</name>
    <message>
        <source>No desktop notifications: no system tray and %1. Alerts show in the alert window only.</source>
        <translation>Keine Desktop-Benachrichtigungen: kein Infobereich und %1. Alarme erscheinen nur im Alarmfenster.</translation>
    </message>
    <message>
        <source>&amp;Show Keelwatch</source>
        <translation>Keelwatch &amp;anzeigen</translation>
    </message>
    <message>
        <source>S&amp;tart scan</source>
        <translation>Scan s&amp;tarten</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>S&amp;top scan</source>
        <translation>Scan s&amp;toppen</translation>
    </message>
    <message>
        <source>Detect Promiscuous Node</source>
        <translation>Promiscuous-Knoten erkannt</translation>
    </message>
    <message>
        <source>Keelwatch: idle</source>
        <translation>Keelwatch: inaktiv</translation>
    </message>
    <message>
        <source>Keelwatch: scanning</source>
        <translation>Keelwatch: scannt</translation>
    </message>
    <message>
        <source>Keelwatch: promiscuous node detected</source>
        <translation>Keelwatch: Promiscuous-Knoten erkannt</translation>
    </message>
</context>
<context>
    <name>keelwatch::CommentEditor</name>
    <message>
        <source>Comment</source>
        <translation>Kommentar</translation>
    </message>
    <message>
        <source>Read</source>
        <translation>Lesen</translation>
    </message>
    <message>
        <source>Write</source>
        <translation>Schreiben</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>IP Address</source>
        <translation>IP-Adresse</translation>
    </message>
</context>
<context>
    <name>keelwatch::CommentSave</name>
    <message>
        <source>Closing now loses the comments changed since start.</source>
        <translation>Wird das Programm jetzt beendet, gehen die seit dem Start geänderten Kommentare verloren.</translation>
    </message>
</context>
<context>
    <name>keelwatch::DesktopNotifier</name>
    <message>
        <source>no notification server on the session bus (%1)</source>
        <translation>kein Benachrichtigungsdienst auf dem Session-Bus (%1)</translation>
    </message>
    <message>
        <source>no session bus</source>
        <translation>kein Session-Bus</translation>
    </message>
    <message>
        <source>Show alerts</source>
        <translation>Alarme anzeigen</translation>
    </message>
</context>
<context>
    <name>keelwatch::HelpWindow</name>
    <message>
        <source>the address given in Setup</source>
        <translation>die in den Einstellungen angegebene Adresse</translation>
    </message>
    <message>
        <source>answers</source>
        <translation>antwortet</translation>
    </message>
    <message>
        <source>drops it; an answer points to promiscuous mode</source>
        <translation>verwirft sie; eine Antwort deutet auf den Promiscuous-Modus</translation>
    </message>
    <message>
        <source>Keelwatch sends ARP requests for every address of the range to test destination addresses that a network card in normal mode drops in hardware. A card in promiscuous mode passes them up, and its host answers: such a host may be running a packet sniffer.</source>
        <translation>Keelwatch sendet für jede Adresse des Bereichs ARP-Anfragen an Test-Zieladressen, die eine Netzwerkkarte im Normalmodus schon in der Hardware verwirft. Eine Karte im Promiscuous-Modus reicht sie weiter, und ihr Host antwortet: Auf einem solchen Host läuft womöglich ein Paket-Sniffer.</translation>
    </message>
    <message>
        <source>Result marks</source>
        <translation>Ergebniszeichen</translation>
    </message>
    <message>
        <source>Illegal response (Ethernet): the node answered a test address a normal card drops</source>
        <translation>Unzulässige Antwort (Ethernet): Der Knoten hat auf eine Testadresse geantwortet, die eine normale Karte verwirft</translation>
    </message>
    <message>
        <source>Illegal response (IEEE 802.3 frames)</source>
        <translation>Unzulässige Antwort (IEEE-802.3-Frames)</translation>
    </message>
    <message>
        <source>Correct response (Ethernet)</source>
        <translation>Korrekte Antwort (Ethernet)</translation>
    </message>
    <message>
        <source>Correct response (IEEE 802.3 frames)</source>
        <translation>Korrekte Antwort (IEEE-802.3-Frames)</translation>
    </message>
    <message>
        <source>Before a mark: the answer came in an earlier cycle, not this one</source>
        <translation>Vor einem Zeichen: Die Antwort kam in einem früheren Zyklus, nicht in diesem</translation>
    </message>
    <message>
        <source>(blank)</source>
        <translation>(leer)</translation>
    </message>
    <message>
        <source>No answer</source>
        <translation>Keine Antwort</translation>
    </message>
    <message>
        <source>The test is switched off in Setup</source>
        <translation>Der Test ist in den Einstellungen ausgeschaltet</translation>
    </message>
    <message>
        <source>A node that answers Br and gives an X or x is a suspect; &quot;Suspects only&quot; shows just those.</source>
        <translation>Ein Knoten, der auf Br antwortet und ein X oder x erhält, ist verdächtig; „Nur Verdächtige“ zeigt nur diese.</translation>
    </message>
    <message>
        <source>Row colours</source>
        <translation>Zeilenfarben</translation>
    </message>
    <message>
        <source>&lt;b&gt;Red&lt;/b&gt;: a suspect confirmed as promiscuous by the confirmation probes. &lt;b&gt;Amber&lt;/b&gt;: a suspect that answered too few of them, most likely a coincidence of the card&apos;s multicast hash filter rather than a sniffer. A selected coloured row keeps its colour inside a band of the selection colour.</source>
        <translation>&lt;b&gt;Rot&lt;/b&gt;: ein Verdächtiger, den die Bestätigungsanfragen als Promiscuous bestätigt haben. &lt;b&gt;Orange&lt;/b&gt;: ein Verdächtiger, der zu wenige davon beantwortet hat, höchstwahrscheinlich ein Zufallstreffer des Multicast-Hashfilters der Karte und kein Sniffer. Eine ausgewählte farbige Zeile behält ihre Farbe innerhalb eines Streifens in der Auswahlfarbe.</translation>
    </message>
    <message>
        <source>Test addresses</source>
        <translation>Testadressen</translation>
    </message>
    <message>
        <source>Column</source>
        <translation>Spalte</translation>
    </message>
    <message>
        <source>Destination MAC</source>
        <translation>Ziel-MAC</translation>
    </message>
    <message>
        <source>A card in normal mode</source>
        <translation>Eine Karte im Normalmodus</translation>
    </message>
    <message>
        <source>Verdicts</source>
        <translation>Befunde</translation>
    </message>
    <message>
        <source>With &quot;Confirm suspects&quot; on, every suspect gets %1 further probes in each cycle to group addresses drawn afresh, and %2 to its own MAC, which every card answers. A node that answers the group addresses as often as its own MAC, cycle after cycle, is &lt;b&gt;confirmed&lt;/b&gt; (red); one that answers clearly fewer is a &lt;b&gt;filter match&lt;/b&gt; (amber); until the evidence is clear the row stays as it was. The row&apos;s tooltip tells how many of the last cycle&apos;s group probes it answered; File, Export report writes the verdicts as CSV, JSON or HTML.</source>
        <translation>Mit eingeschaltetem „Verdächtige bestätigen“ erhält jeder Verdächtige in jedem Zyklus %1 weitere Anfragen an jedes Mal neu gezogene Gruppenadressen und %2 an seine eigene MAC-Adresse, die jede Karte beantwortet. Ein Knoten, der die Gruppenadressen Zyklus für Zyklus so oft beantwortet wie seine eigene MAC-Adresse, ist &lt;b&gt;bestätigt&lt;/b&gt; (rot); einer, der deutlich weniger beantwortet, ist ein &lt;b&gt;Filtertreffer&lt;/b&gt; (orange); solange die Belege nicht eindeutig sind, bleibt die Zeile, wie sie war. Der Tooltip der Zeile nennt, wie viele Gruppenanfragen des letzten Zyklus er beantwortet hat; Datei, Bericht exportieren schreibt die Befunde als CSV, JSON oder HTML.</translation>
    </message>
    <message>
        <source>Keys</source>
        <translation>Tasten</translation>
    </message>
    <message>
        <source>This help</source>
        <translation>Diese Hilfe</translation>
    </message>
    <message>
        <source>Ctrl+S / Ctrl+O</source>
        <translation>Strg+S / Strg+O</translation>
    </message>
    <message>
        <source>Save / load the node list</source>
        <translation>Knotenliste speichern / laden</translation>
    </message>
    <message>
        <source>Ctrl+Q</source>
        <translation>Strg+Q</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Ctrl+C / Ctrl+Shift+C</source>
        <translation>Strg+C / Strg+Umschalt+C</translation>
    </message>
    <message>
        <source>Copy the selected rows / as node list lines</source>
        <translation>Die ausgewählten Zeilen kopieren / als Zeilen einer Knotenliste</translation>
    </message>
    <message>
        <source>Menu key, Shift+F10</source>
        <translation>Menütaste, Umschalt+F10</translation>
    </message>
    <message>
        <source>The node&apos;s pop-up menu</source>
        <translation>Das Kontextmenü des Knotens</translation>
    </message>
    <message>
        <source>Shift+Clear</source>
        <translation>Umschalt+Löschen</translation>
    </message>
    <message>
        <source>Remove every node (asks first)</source>
        <translation>Alle Knoten entfernen (fragt vorher nach)</translation>
    </message>
    <message>
        <source>Ctrl+Z in the alert window</source>
        <translation>Strg+Z im Alarmfenster</translation>
    </message>
    <message>
        <source>Undo Clear, until the next alert</source>
        <translation>Leeren rückgängig machen, bis zum nächsten Alarm</translation>
    </message>
    <message>
        <source>Keelwatch Help</source>
        <translation>Keelwatch-Hilfe</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Schließen</translation>
    </message>
</context>
<context>
    <name>keelwatch::MainWindow</name>
    <message>
        <source>READY</source>
        <translation>BEREIT</translation>
    </message>
    <message>
        <source>AUTO</source>
        <translation>AUTO</translation>
    </message>
    <message>
        <source>IP Address Range</source>
        <translation>IP-Adressbereich</translation>
    </message>
    <message>
        <source>From: </source>
        <translation>Von: </translation>
    </message>
    <message>
        <source>To: </source>
        <translation>Bis: </translation>
    </message>
    <message>
        <source>An IPv4 address, or a network such as 192.168.1.0/24 for all of its hosts</source>
        <translation>Eine IPv4-Adresse oder ein Netz wie 192.168.1.0/24 für alle seine Hosts</translation>
    </message>
    <message>
        <source>S&amp;tart</source>
        <translation>S&amp;tart</translation>
    </message>
    <message>
        <source>St&amp;op</source>
        <translation>St&amp;opp</translation>
    </message>
    <message>
        <source>&amp;Clear</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>All clear : [shift] &amp; Click</source>
        <translation>Alles löschen : [Umschalt] &amp; Klick</translation>
    </message>
    <message>
        <source>Auto Scroll</source>
        <translation>Automatisch rollen</translation>
    </message>
    <message>
        <source>Beep</source>
        <translation>Signalton</translation>
    </message>
    <message>
        <source>Filter: IP, MAC, vendor, comment</source>
        <translation>Filter: IP, MAC, Hersteller, Kommentar</translation>
    </message>
    <message>
        <source>Suspects only</source>
        <translation>Nur Verdächtige</translation>
    </message>
    <message>
        <source>Nodes that answered Br and gave an illegal answer (X or x)</source>
        <translation>Knoten, die auf Br geantwortet und eine unzulässige Antwort (X oder x) gegeben haben</translation>
    </message>
    <message>
        <source>Run state</source>
        <translation>Laufzustand</translation>
    </message>
    <message>
        <source>Scan mode</source>
        <translation>Scan-Modus</translation>
    </message>
    <message>
        <source>Scan step</source>
        <translation>Scan-Schritt</translation>
    </message>
    <message>
        <source>Packet Number: probes per address and test</source>
        <translation>Paketanzahl: Anfragen je Adresse und Test</translation>
    </message>
    <message>
        <source>Scan Timer: seconds to wait for replies after each sweep</source>
        <translation>Scan-Timer: Sekunden, die nach jedem Durchlauf auf Antworten gewartet wird</translation>
    </message>
    <message>
        <source>Node Timer: milliseconds between two addresses</source>
        <translation>Knoten-Timer: Millisekunden zwischen zwei Adressen</translation>
    </message>
    <message>
        <source>Capture state</source>
        <translation>Mitschnittzustand</translation>
    </message>
    <message>
        <source>Packet driver, or the capture counter</source>
        <translation>Pakettreiber oder der Mitschnittzähler</translation>
    </message>
    <message>
        <source>Sweep progress</source>
        <translation>Fortschritt des Durchlaufs</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Save node list</source>
        <translation>Knotenliste &amp;speichern</translation>
    </message>
    <message>
        <source>&amp;Load node list</source>
        <translation>Knotenliste &amp;laden</translation>
    </message>
    <message>
        <source>&amp;Export report...</source>
        <translation>Bericht &amp;exportieren...</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Setup</source>
        <translation>&amp;Einstellungen</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>&amp;Node viewer</source>
        <translation>&amp;Knotenbetrachter</translation>
    </message>
    <message>
        <source>&amp;Comment Editor</source>
        <translation>Ko&amp;mmentar-Editor</translation>
    </message>
    <message>
        <source>&amp;Alert</source>
        <translation>&amp;Alarm</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>&amp;Contents</source>
        <translation>&amp;Inhalt</translation>
    </message>
    <message>
        <source>Result &amp;Marks</source>
        <translation>Ergebnis&amp;zeichen</translation>
    </message>
    <message>
        <source>X :Illegal response(Ethernet)</source>
        <translation>X :Unzulässige Antwort (Ethernet)</translation>
    </message>
    <message>
        <source>x :Illegal response(IEEE 802.3)</source>
        <translation>x :Unzulässige Antwort (IEEE 802.3)</translation>
    </message>
    <message>
        <source>O :Correct response(Ethernet)</source>
        <translation>O :Korrekte Antwort (Ethernet)</translation>
    </message>
    <message>
        <source>o :Correct response(IEEE 802.3)</source>
        <translation>o :Korrekte Antwort (IEEE 802.3)</translation>
    </message>
    <message>
        <source>+ :Last time response</source>
        <translation>+ :Antwort beim letzten Mal</translation>
    </message>
    <message>
        <source>[ ] :Black</source>
        <translation>[ ] :Leer</translation>
    </message>
    <message>
        <source>- :Scan OFF</source>
        <translation>- :Scan AUS</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>Ü&amp;ber</translation>
    </message>
    <message>
        <source>&lt;&lt; IP = not selected &gt;&gt;</source>
        <translation>&lt;&lt; IP = nicht gewählt &gt;&gt;</translation>
    </message>
    <message>
        <source>Node &amp;Viewer</source>
        <translation>&amp;Knotenbetrachter</translation>
    </message>
    <message>
        <source>E&amp;xternal Command</source>
        <translation>E&amp;xterner Befehl</translation>
    </message>
    <message>
        <source>C&amp;opy rows</source>
        <translation>Zeilen k&amp;opieren</translation>
    </message>
    <message>
        <source>Copy as node &amp;list</source>
        <translation>Als Knoten&amp;liste kopieren</translation>
    </message>
    <message>
        <source>%1 pkt</source>
        <translation>%1 Pak.</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1/s</source>
        <translation>%1/s</translation>
    </message>
    <message>
        <source>Send rate: frames per second (the Node Timer is not used)</source>
        <translation>Senderate: Frames pro Sekunde (der Knoten-Timer wird nicht verwendet)</translation>
    </message>
    <message>
        <source>%1 ms</source>
        <translation>%1 ms</translation>
    </message>
    <message>
        <source>Remove every node from the list and empty the event pane?</source>
        <translation>Alle Knoten aus der Liste entfernen und den Ereignisbereich leeren?</translation>
    </message>
    <message>
        <source>&lt;&lt; IP = %1 &gt;&gt;</source>
        <translation>&lt;&lt; IP = %1 &gt;&gt;</translation>
    </message>
</context>
<context>
    <name>keelwatch::NodeListDialogs</name>
    <message>
        <source>CSV (*.csv)</source>
        <translation>CSV (*.csv)</translation>
    </message>
    <message>
        <source>TEXT (*.txt)</source>
        <translation>Text (*.txt)</translation>
    </message>
    <message>
        <source>LOG (*.log)</source>
        <translation>Protokoll (*.log)</translation>
    </message>
    <message>
        <source>ALL (*)</source>
        <translation>Alle (*)</translation>
    </message>
    <message>
        <source>CSV with verdicts (*.csv)</source>
        <translation>CSV mit Befunden (*.csv)</translation>
    </message>
    <message>
        <source>JSON (*.json)</source>
        <translation>JSON (*.json)</translation>
    </message>
    <message>
        <source>HTML report (*.html)</source>
        <translation>HTML-Bericht (*.html)</translation>
    </message>
</context>
<context>
    <name>keelwatch::NodeListModel</name>
    <message>
        <source>answered %1 of %2 confirmation probes</source>
        <translation>hat %1 von %2 Bestätigungsanfragen beantwortet</translation>
    </message>
    <message>
        <source>IP Address</source>
        <translation>IP-Adresse</translation>
    </message>
    <message>
        <source>MAC Address</source>
        <translation>MAC-Adresse</translation>
    </message>
    <message>
        <source>Comment</source>
        <translation>Kommentar</translation>
    </message>
    <message>
        <source>Vender Code</source>
        <translation>Herstellercode</translation>
    </message>
    <message>
        <source>the address set in Setup</source>
        <translation>die in den Einstellungen gesetzte Adresse</translation>
    </message>
    <message>
        <source>%1: ARP request to %2. Every card answers it (O or o).</source>
        <translation>%1: ARP-Anfrage an %2. Jede Karte beantwortet sie (O oder o).</translation>
    </message>
    <message>
        <source>%1: ARP request to %2. A card in normal mode drops it; an answer (X or x) points to promiscuous mode.</source>
        <translation>%1: ARP-Anfrage an %2. Eine Karte im Normalmodus verwirft sie; eine Antwort (X oder x) deutet auf den Promiscuous-Modus.</translation>
    </message>
    <message>
        <source>The node&apos;s IPv4 address</source>
        <translation>Die IPv4-Adresse des Knotens</translation>
    </message>
    <message>
        <source>The node&apos;s card address, from its ARP reply</source>
        <translation>Die Kartenadresse des Knotens, aus seiner ARP-Antwort</translation>
    </message>
    <message>
        <source>Your comment on this address (Comment Editor)</source>
        <translation>Ihr Kommentar zu dieser Adresse (Kommentar-Editor)</translation>
    </message>
    <message>
        <source>The card&apos;s maker, from the first three bytes of its MAC address</source>
        <translation>Der Hersteller der Karte, aus den ersten drei Bytes ihrer MAC-Adresse</translation>
    </message>
</context>
<context>
    <name>keelwatch::NodeViewerWindow</name>
    <message>
        <source>&amp;Start</source>
        <translation>&amp;Start</translation>
    </message>
    <message>
        <source>S&amp;top</source>
        <translation>S&amp;topp</translation>
    </message>
    <message>
        <source>&amp;Clear</source>
        <translation>&amp;Leeren</translation>
    </message>
    <message>
        <source>IP Address: </source>
        <translation>IP-Adresse: </translation>
    </message>
    <message>
        <source>LogFile: </source>
        <translation>Protokolldatei: </translation>
    </message>
    <message>
        <source>LOG (*.log)</source>
        <translation>Protokoll (*.log)</translation>
    </message>
    <message>
        <source>TEXT (*.txt)</source>
        <translation>Text (*.txt)</translation>
    </message>
</context>
<context>
    <name>keelwatch::PromiscuousAlertWindow</name>
    <message>
        <source>Alert</source>
        <translation>Alarm</translation>
    </message>
    <message>
        <source>Detect Promiscuous Node</source>
        <translation>Promiscuous-Knoten erkannt</translation>
    </message>
    <message>
        <source>&amp;Clear</source>
        <translation>&amp;Leeren</translation>
    </message>
    <message>
        <source>&amp;Undo Clear</source>
        <translation>Leeren &amp;rückgängig</translation>
    </message>
    <message>
        <source>Ctrl+Z: the lines the last Clear removed, until the next alert</source>
        <translation>Strg+Z: die Zeilen, die das letzte Leeren entfernt hat, bis zum nächsten Alarm</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
</context>
<context>
    <name>keelwatch::ScanController</name>
    <message>
        <source>IP address should be set</source>
        <translation>Die IP-Adresse muss gesetzt sein</translation>
    </message>
    <message>
        <source>Netword Interface should be selected.</source>
        <translation>Eine Netzwerkschnittstelle muss ausgewählt sein.</translation>
    </message>
    <message>
        <source>%1 is no Ethernet interface.</source>
        <translation>%1 ist keine Ethernet-Schnittstelle.</translation>
    </message>
    <message>
        <source>IP Address range should be specified.</source>
        <translation>Der IP-Adressbereich muss angegeben sein.</translation>
    </message>
    <message>
        <source>Wrong IP addres range.</source>
        <translation>Ungültiger IP-Adressbereich.</translation>
    </message>
    <message>
        <source>libpcap cannot open the adapter.</source>
        <translation>libpcap kann die Schnittstelle nicht öffnen.</translation>
    </message>
    <message>
        <source>Error%1</source>
        <translation>Fehler %1</translation>
    </message>
</context>
<context>
    <name>keelwatch::ScanMode</name>
    <message>
        <source>List &amp; Cyclic</source>
        <translation>Liste &amp; zyklisch</translation>
    </message>
    <message>
        <source>List</source>
        <translation>Liste</translation>
    </message>
    <message>
        <source>Cyclic</source>
        <translation>Zyklisch</translation>
    </message>
    <message>
        <source>Normal</source>
        <translation>Normal</translation>
    </message>
</context>
<context>
    <name>keelwatch::ScanWindows</name>
    <message>
        <source>Finding Nodes</source>
        <translation>Knotensuche</translation>
    </message>
    <message>
        <source>Scanning</source>
        <translation>Scan läuft</translation>
    </message>
    <message>
        <source>READY</source>
        <translation>BEREIT</translation>
    </message>
    <message>
        <source>RUN</source>
        <translation>LÄUFT</translation>
    </message>
    <message>
        <source>Capture On</source>
        <translation>Mitschnitt an</translation>
    </message>
    <message>
        <source>Capture Error</source>
        <translation>Mitschnittfehler</translation>
    </message>
    <message>
        <source>Packet Error</source>
        <translation>Paketfehler</translation>
    </message>
    <message>
        <source>Frames the capture lost since Start: %1</source>
        <translation>Seit dem Start beim Mitschnitt verlorene Frames: %L1</translation>
    </message>
    <message>
        <source>Replies rejected since Start: %1</source>
        <translation>Seit dem Start verworfene Antworten: %L1</translation>
    </message>
    <message>
        <source>Address %1 of %2, %3 left</source>
        <translation>Adresse %L1 von %L2, noch %3</translation>
    </message>
    <message>
        <source>The range holds %1 addresses, more than a /16: one sweep may take hours or days.
Scan it all the same?</source>
        <translation>Der Bereich umfasst %L1 Adressen, mehr als ein /16: Ein Durchlauf kann Stunden oder Tage dauern.
Trotzdem ganz scannen?</translation>
    </message>
</context>
<context>
    <name>keelwatch::SetupDialog</name>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 min %2 s</source>
        <translation>%1 min %2 s</translation>
    </message>
    <message>
        <source>%1 h %2 min</source>
        <translation>%1 h %2 min</translation>
    </message>
    <message>
        <source>Setup</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Show all</source>
        <translation>Alle anzeigen</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Own PC</source>
        <translation>Eigener PC</translation>
    </message>
    <message>
        <source>Network I/F</source>
        <translation>Netzwerkschnittstelle</translation>
    </message>
    <message>
        <source>IP Address</source>
        <translation>IP-Adresse</translation>
    </message>
    <message>
        <source>MAC Address</source>
        <translation>MAC-Adresse</translation>
    </message>
    <message>
        <source>Scan Options</source>
        <translation>Scan-Optionen</translation>
    </message>
    <message>
        <source>Set Default</source>
        <translation>Standardwerte</translation>
    </message>
    <message>
        <source>Ethernet  ( Mark : O/X )</source>
        <translation>Ethernet  ( Zeichen : O/X )</translation>
    </message>
    <message>
        <source>IEEE 802.3 ( Mark : o/x )</source>
        <translation>IEEE 802.3 ( Zeichen : o/x )</translation>
    </message>
    <message>
        <source>Scan Mode</source>
        <translation>Scan-Modus</translation>
    </message>
    <message>
        <source>List Mode</source>
        <translation>Listenmodus</translation>
    </message>
    <message>
        <source>Cyclic Scan</source>
        <translation>Zyklischer Scan</translation>
    </message>
    <message>
        <source>Confirm suspects</source>
        <translation>Verdächtige bestätigen</translation>
    </message>
    <message>
        <source>Packet Number</source>
        <translation>Paketanzahl</translation>
    </message>
    <message>
        <source>Scan Timer</source>
        <translation>Scan-Timer</translation>
    </message>
    <message>
        <source>Sec</source>
        <translation>Sek.</translation>
    </message>
    <message>
        <source>Node Timer</source>
        <translation>Knoten-Timer</translation>
    </message>
    <message>
        <source>ms ( 0-60000 )</source>
        <translation>ms ( 0-60000 )</translation>
    </message>
    <message>
        <source>Send rate</source>
        <translation>Senderate</translation>
    </message>
    <message>
        <source>frames/s (0: off)</source>
        <translation>Frames/s (0: aus)</translation>
    </message>
    <message>
        <source>One sweep of the range: %1</source>
        <translation>Ein Durchlauf des Bereichs: %1</translation>
    </message>
    <message>
        <source>Log</source>
        <translation>Protokoll</translation>
    </message>
    <message>
        <source>TAB (0x09)</source>
        <translation>Tabulator (0x09)</translation>
    </message>
    <message>
        <source>Comma (0x2c)</source>
        <translation>Komma (0x2c)</translation>
    </message>
    <message>
        <source>Send Syslog</source>
        <translation>Syslog senden</translation>
    </message>
    <message>
        <source>system CAs</source>
        <translation>System-CAs</translation>
    </message>
    <message>
        <source>none</source>
        <translation>keines</translation>
    </message>
    <message>
        <source>Server IP</source>
        <translation>Server-IP</translation>
    </message>
    <message>
        <source>Log File</source>
        <translation>Protokolldatei</translation>
    </message>
    <message>
        <source>Delimiter option</source>
        <translation>Trennzeichen</translation>
    </message>
    <message>
        <source>Spool KiB</source>
        <translation>Puffer KiB</translation>
    </message>
    <message>
        <source>RFC 5424 max bytes</source>
        <translation>RFC 5424 max. Bytes</translation>
    </message>
    <message>
        <source>CA file</source>
        <translation>CA-Datei</translation>
    </message>
    <message>
        <source>Client cert</source>
        <translation>Client-Zertifikat</translation>
    </message>
    <message>
        <source>Transport</source>
        <translation>Transport</translation>
    </message>
    <message>
        <source>External command</source>
        <translation>Externer Befehl</translation>
    </message>
    <message>
        <source>Command Line: </source>
        <translation>Befehlszeile: </translation>
    </message>
    <message>
        <source>[ $IP : IP Address      $MAC : MAC Address ]</source>
        <translation>[ $IP : IP-Adresse      $MAC : MAC-Adresse ]</translation>
    </message>
    <message>
        <source>Probes give the own IP as &amp;sender</source>
        <translation>Anfragen nennen die eigene IP als &amp;Absender</translation>
    </message>
    <message>
        <source>Rewrites every probed host&apos;s neighbour entry for this machine (repaired after each sweep). Only for stacks that do not answer address probes from 0.0.0.0.</source>
        <translation>Überschreibt bei jedem angefragten Host den Nachbareintrag für diesen Rechner (nach jedem Durchlauf repariert). Nur für Stacks, die Adressprüfungen von 0.0.0.0 nicht beantworten.</translation>
    </message>
</context>
<context>
    <name>keelwatch::Startup</name>
    <message>
        <source>%1 Vendors come from the built-in list; install ieee-data or put oui.txt beside the program.</source>
        <translation>%1 Die Hersteller stammen aus der eingebauten Liste; installieren Sie ieee-data oder legen Sie oui.txt neben das Programm.</translation>
    </message>
    <message>
        <source>No comments yet: comment.txt is created in %1 at exit.</source>
        <translation>Noch keine Kommentare: comment.txt wird beim Beenden in %1 angelegt.</translation>
    </message>
    <message>
        <source>Comments are kept in %1, as %2 cannot be written; they start from the comment.txt there.</source>
        <translation>Kommentare werden in %1 gespeichert, da %2 nicht beschreibbar ist; sie gehen von der dortigen comment.txt aus.</translation>
    </message>
    <message>
        <source>Comments are kept in %1, as %2 cannot be written.</source>
        <translation>Kommentare werden in %1 gespeichert, da %2 nicht beschreibbar ist.</translation>
    </message>
</context>
</TS>
