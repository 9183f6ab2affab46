<?xml version='1.0' encoding='utf-8'?>
<TS version="2.1" language="de_DE">
<context>
    <name>ScreenshotError</name>
    <message>
        <source>The operation couldn’t be completed. (%1 error %2.)</source>
        <translation>Der Vorgang konnte nicht abgeschlossen werden. (%1-Fehler %2.)</translation>
    </message>
</context>
<context>
    <name>ostrel</name>
    <message>
        <source>Read error: %1</source>
        <translation>Lesefehler: %1</translation>
    </message>
    <message>
        <source>PST file not found.</source>
        <translation>PST-Datei nicht gefunden.</translation>
    </message>
    <message>
        <source>The file is not a valid PST archive.</source>
        <translation>Die Datei ist kein gültiges PST-Archiv.</translation>
    </message>
    <message>
        <source>No read permission for this file.</source>
        <translation>Keine Leseberechtigung für diese Datei.</translation>
    </message>
    <message>
        <source>PST parser could not be initialized.</source>
        <translation>Der PST-Parser konnte nicht initialisiert werden.</translation>
    </message>
    <message>
        <source>Password-protected PST files are not supported.</source>
        <translation>Passwortgeschützte PST-Dateien werden nicht unterstützt.</translation>
    </message>
    <message>
        <source>An error occurred: %1</source>
        <translation>Ein Fehler ist aufgetreten: %1</translation>
    </message>
    <message>
        <source>The operation could not be completed.</source>
        <translation>Der Vorgang konnte nicht abgeschlossen werden.</translation>
    </message>
    <message>
        <source>Attachment data is not yet loaded.</source>
        <translation>Die Daten des Anhangs sind noch nicht geladen.</translation>
    </message>
    <message>
        <source>File not found.</source>
        <translation>Datei nicht gefunden.</translation>
    </message>
    <message>
        <source>Select a PST file</source>
        <translation>PST-Datei auswählen</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>PST archives (*.pst *.PST *.Pst)</source>
        <translation>PST-Archive (*.pst *.PST *.Pst)</translation>
    </message>
    <message>
        <source>Yesterday</source>
        <translation>Gestern</translation>
    </message>
    <message>
        <source>Zero KB</source>
        <translation>Null KB</translation>
    </message>
    <message>
        <source>%1 KB</source>
        <translation>%1 KB</translation>
    </message>
    <message>
        <source>%1 MB</source>
        <translation>%1 MB</translation>
    </message>
    <message>
        <source>%1 GB</source>
        <translation>%1 GB</translation>
    </message>
    <message>
        <source>No messages</source>
        <translation>Keine Nachrichten</translation>
    </message>
    <message>
        <source>1 message</source>
        <translation>1 Nachricht</translation>
    </message>
    <message>
        <source>%1 messages</source>
        <translation>%1 Nachrichten</translation>
    </message>
    <message>
        <source>%1 results for “%2”</source>
        <translation>%1 Ergebnisse für „%2“</translation>
    </message>
    <message>
        <source>Read-only viewer for Outlook PST mail archives</source>
        <translation>Betrachter für Outlook-PST-Mailarchive, nur lesend</translation>
    </message>
    <message>
        <source>Archives to open, one window each</source>
        <translation>Zu öffnende Archive, je eines pro Fenster</translation>
    </message>
    <message>
        <source>Loading PST file…</source>
        <translation>PST-Datei wird geladen …</translation>
    </message>
</context>
<context>
    <name>ostrel::AppShell</name>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>Open PST…</source>
        <translation>PST öffnen …</translation>
    </message>
    <message>
        <source>Open Recent</source>
        <translation>Zuletzt geöffnet</translation>
    </message>
    <message>
        <source>New Window</source>
        <translation>Neues Fenster</translation>
    </message>
    <message>
        <source>Close Window</source>
        <translation>Fenster schließen</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>ostrel Website</source>
        <translation>ostrel-Website</translation>
    </message>
    <message>
        <source>Contact Support</source>
        <translation>Support kontaktieren</translation>
    </message>
    <message>
        <source>Support ostrel…</source>
        <translation>ostrel unterstützen …</translation>
    </message>
    <message>
        <source>Acknowledgements</source>
        <translation>Danksagungen</translation>
    </message>
    <message>
        <source>About ostrel</source>
        <translation>Über ostrel</translation>
    </message>
    <message>
        <source>No items</source>
        <translation>Keine Einträge</translation>
    </message>
    <message>
        <source>Clear Menu</source>
        <translation>Menü leeren</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>(License text not found in bundle: %1)</source>
        <translation>(Lizenztext nicht im Programmpaket gefunden: %1)</translation>
    </message>
    <message>
        <source>Support ostrel development</source>
        <translation>Die Entwicklung von ostrel unterstützen</translation>
    </message>
    <message>
        <source>ostrel is developed independently and provided free of charge. If the app has helped you, you can support its continued development with a voluntary donation.</source>
        <translation>ostrel wird unabhängig entwickelt und kostenlos bereitgestellt. Wenn Ihnen die App geholfen hat, können Sie ihre Weiterentwicklung mit einer freiwilligen Spende unterstützen.</translation>
    </message>
    <message>
        <source>Donate &amp; Quit</source>
        <translation>Spenden und beenden</translation>
    </message>
    <message>
        <source>Just Quit</source>
        <translation>Nur beenden</translation>
    </message>
</context>
<context>
    <name>ostrel::AttachmentView</name>
    <message>
        <source>Save as…</source>
        <translation>Sichern unter …</translation>
    </message>
    <message>
        <source>Could not save attachment</source>
        <translation>Anhang konnte nicht gesichert werden</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>ostrel::ContentView</name>
    <message>
        <source>Open PST File</source>
        <translation>PST-Datei öffnen</translation>
    </message>
    <message>
        <source>Open PST file (Ctrl+O)</source>
        <translation>PST-Datei öffnen (Strg+O)</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>ostrel::FolderTreeModel</name>
    <message>
        <source>%1, %2 unread</source>
        <translation>%1, %2 ungelesen</translation>
    </message>
</context>
<context>
    <name>ostrel::MessageDetailView</name>
    <message>
        <source>Select a message</source>
        <translation>Nachricht auswählen</translation>
    </message>
    <message>
        <source>(no content)</source>
        <translation>(kein Inhalt)</translation>
    </message>
    <message>
        <source>High importance</source>
        <translation>Hohe Wichtigkeit</translation>
    </message>
    <message>
        <source>(no subject)</source>
        <translation>(kein Betreff)</translation>
    </message>
    <message>
        <source>From</source>
        <translation>Von</translation>
    </message>
    <message>
        <source>To</source>
        <translation>An</translation>
    </message>
    <message>
        <source>Cc</source>
        <translation>Cc</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>Datum</translation>
    </message>
    <message>
        <source>Attachments (%1)</source>
        <translation>Anhänge (%1)</translation>
    </message>
</context>
<context>
    <name>ostrel::MessageListModel</name>
    <message>
        <source>%1, from %2</source>
        <translation>%1, von %2</translation>
    </message>
    <message>
        <source>(no subject)</source>
        <translation>(kein Betreff)</translation>
    </message>
</context>
<context>
    <name>ostrel::MessageListView</name>
    <message>
        <source>Clear search</source>
        <translation>Suche löschen</translation>
    </message>
    <message>
        <source>Select a folder</source>
        <translation>Ordner auswählen</translation>
    </message>
    <message>
        <source>Search messages</source>
        <translation>Nachrichten durchsuchen</translation>
    </message>
    <message>
        <source>Inbox</source>
        <translation>Posteingang</translation>
    </message>
    <message>
        <source>No results</source>
        <translation>Keine Ergebnisse</translation>
    </message>
    <message>
        <source>No messages</source>
        <translation>Keine Nachrichten</translation>
    </message>
</context>
<context>
    <name>ostrel::MessageRowView</name>
    <message>
        <source>(no subject)</source>
        <translation>(kein Betreff)</translation>
    </message>
    <message>
        <source>(no content)</source>
        <translation>(kein Inhalt)</translation>
    </message>
</context>
<context>
    <name>ostrel::SidebarView</name>
    <message>
        <source>Open PST File</source>
        <translation>PST-Datei öffnen</translation>
    </message>
    <message>
        <source>No PST file open</source>
        <translation>Keine PST-Datei geöffnet</translation>
    </message>
</context>
</TS>