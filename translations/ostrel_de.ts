<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>ScreenshotError</name>
    <message>
        <location filename="../kit/screenshots/ScreenshotError.cpp" line="9"/>
        <source>The operation couldn’t be completed. (%1 error %2.)</source>
        <translation>Der Vorgang konnte nicht abgeschlossen werden. (%1-Fehler %2.)</translation>
    </message>
</context>
<context>
    <name>ItemField</name>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Company</source>
        <translation>Firma</translation>
    </message>
    <message>
        <source>Job title</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>E-mail</source>
        <translation>E-Mail</translation>
    </message>
    <message>
        <source>Business phone</source>
        <translation>Telefon geschäftlich</translation>
    </message>
    <message>
        <source>Home phone</source>
        <translation>Telefon privat</translation>
    </message>
    <message>
        <source>Mobile phone</source>
        <translation>Mobiltelefon</translation>
    </message>
    <message>
        <source>Business fax</source>
        <translation>Fax geschäftlich</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Adresse</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Beginn</translation>
    </message>
    <message>
        <source>End</source>
        <translation>Ende</translation>
    </message>
    <message>
        <source>Start date</source>
        <translation>Beginndatum</translation>
    </message>
    <message>
        <source>End date</source>
        <translation>Enddatum</translation>
    </message>
    <message>
        <source>All day</source>
        <translation>Ganztägig</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Ja</translation>
    </message>
    <message>
        <source>Location</source>
        <translation>Ort</translation>
    </message>
    <message>
        <source>Organiser</source>
        <translation>Organisator</translation>
    </message>
    <message>
        <source>Attendees</source>
        <translation>Teilnehmer</translation>
    </message>
    <message>
        <source>Recurrence</source>
        <translation>Serie</translation>
    </message>
    <message>
        <source>Recurring</source>
        <translation>Wiederkehrend</translation>
    </message>
    <message>
        <source>Due date</source>
        <translation>Fällig am</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Not started</source>
        <translation>Nicht begonnen</translation>
    </message>
    <message>
        <source>In progress</source>
        <translation>In Bearbeitung</translation>
    </message>
    <message>
        <source>Completed</source>
        <translation>Erledigt</translation>
    </message>
    <message>
        <source>Waiting on someone else</source>
        <translation>Wartet auf jemand anderen</translation>
    </message>
    <message>
        <source>Deferred</source>
        <translation>Zurückgestellt</translation>
    </message>
    <message>
        <source>Complete</source>
        <translation>Erledigt zu</translation>
    </message>
    <message>
        <source>Member</source>
        <translation>Mitglied</translation>
    </message>
</context>
<context>
    <name>ItemKind</name>
    <message>
        <source>Contact</source>
        <translation>Kontakt</translation>
    </message>
    <message>
        <source>Appointment</source>
        <translation>Termin</translation>
    </message>
    <message>
        <source>Meeting request</source>
        <translation>Besprechungsanfrage</translation>
    </message>
    <message>
        <source>Task</source>
        <translation>Aufgabe</translation>
    </message>
    <message>
        <source>Distribution list</source>
        <translation>Verteilerliste</translation>
    </message>
    <message>
        <source>Note</source>
        <translation>Notiz</translation>
    </message>
    <message>
        <source>Report</source>
        <translation>Bericht</translation>
    </message>
</context>
<context>
    <name>ostrel</name>
    <message>
        <location filename="../kit/viewmodel/ostrelViewModel.cpp"/>
        <source>Some properties could not be read: %1</source>
        <translation>Einige Eigenschaften konnten nicht gelesen werden: %1</translation>
    </message>
    <message>
        <location filename="../kit/viewmodel/ostrelViewModel.cpp"/>
        <source>This is a search folder. Its results are kept in other folders and could not be listed from this archive.</source>
        <translation>Dies ist ein Suchordner. Seine Ergebnisse liegen in anderen Ordnern und konnten aus diesem Archiv nicht aufgelistet werden.</translation>
    </message>
    <message>
        <location filename="../kit/viewmodel/ostrelViewModel.cpp"/>
        <source>Part of this folder could not be read: %1</source>
        <translation>Ein Teil dieses Ordners konnte nicht gelesen werden: %1</translation>
    </message>
    <message>
        <location filename="../kit/viewmodel/ostrelViewModel.cpp"/>
        <source>%1 messages could not be read: %2</source>
        <translation>%1 Nachrichten konnten nicht gelesen werden: %2</translation>
    </message>
    <message>
        <location filename="../kit/pst/PSTError.cpp" line="11"/>
        <source>Read error: %1</source>
        <translation>Lesefehler: %1</translation>
    </message>
    <message>
        <location filename="../kit/pst/PSTError.cpp" line="13"/>
        <source>PST file not found.</source>
        <translation>PST-Datei nicht gefunden.</translation>
    </message>
    <message>
        <location filename="../kit/pst/PSTError.cpp" line="15"/>
        <source>The file is not a valid PST archive.</source>
        <translation>Die Datei ist kein gültiges PST-Archiv.</translation>
    </message>
    <message>
        <location filename="../kit/pst/PSTError.cpp" line="17"/>
        <location filename="../kit/viewmodel/AnyError.cpp" line="42"/>
        <source>No read permission for this file.</source>
        <translation>Keine Leseberechtigung für diese Datei.</translation>
    </message>
    <message>
        <location filename="../kit/pst/PSTError.cpp" line="19"/>
        <source>PST parser could not be initialized.</source>
        <translation>Der PST-Parser konnte nicht initialisiert werden.</translation>
    </message>
    <message>
        <location filename="../kit/pst/PSTError.cpp" line="21"/>
        <source>Password-protected PST files are not supported.</source>
        <translation>Passwortgeschützte PST-Dateien werden nicht unterstützt.</translation>
    </message>
    <message>
        <location filename="../kit/viewmodel/AnyError.cpp" line="15"/>
        <source>An error occurred: %1</source>
        <translation>Ein Fehler ist aufgetreten: %1</translation>
    </message>
    <message>
        <location filename="../kit/viewmodel/AnyError.cpp" line="26"/>
        <location filename="../kit/viewmodel/AnyError.cpp" line="35"/>
        <source>The operation could not be completed.</source>
        <translation>Der Vorgang konnte nicht abgeschlossen werden.</translation>
    </message>
    <message>
        <location filename="../kit/viewmodel/AnyError.cpp" line="31"/>
        <source>Attachment data is not yet loaded.</source>
        <translation>Die Daten des Anhangs sind noch nicht geladen.</translation>
    </message>
    <message>
        <location filename="../kit/viewmodel/AnyError.cpp" line="40"/>
        <source>File not found.</source>
        <translation>Datei nicht gefunden.</translation>
    </message>
    <message>
        <location filename="../kit/viewmodel/ostrelViewModel.cpp" line="133"/>
        <source>Select a PST file</source>
        <translation>PST-Datei auswählen</translation>
    </message>
    <message>
        <location filename="../kit/viewmodel/ostrelViewModel.cpp" line="134"/>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <location filename="../kit/views/Formatting.cpp" line="45"/>
        <source>Yesterday</source>
        <translation>Gestern</translation>
    </message>
    <message>
        <location filename="../kit/views/Formatting.cpp" line="62"/>
        <source>Zero KB</source>
        <translation>Null KB</translation>
    </message>
    <message>
        <location filename="../kit/views/Formatting.cpp" line="65"/>
        <source>%1 KB</source>
        <translation>%1 KB</translation>
    </message>
    <message>
        <location filename="../kit/views/Formatting.cpp" line="67"/>
        <source>%1 MB</source>
        <translation>%1 MB</translation>
    </message>
    <message>
        <location filename="../kit/views/Formatting.cpp" line="68"/>
        <source>%1 GB</source>
        <translation>%1 GB</translation>
    </message>
    <message>
        <location filename="../kit/views/Formatting.cpp" line="85"/>
        <source>No messages</source>
        <translation>Keine Nachrichten</translation>
    </message>
    <message>
        <location filename="../kit/views/Formatting.cpp" line="87"/>
        <source>1 message</source>
        <translation>1 Nachricht</translation>
    </message>
    <message>
        <location filename="../kit/views/Formatting.cpp" line="88"/>
        <source>%1 messages</source>
        <translation>%1 Nachrichten</translation>
    </message>
    <message>
        <location filename="../kit/views/Formatting.cpp" line="93"/>
        <source>%1 results for “%2”</source>
        <translation>%1 Ergebnisse für „%2“</translation>
    </message>
    <message>
        <location filename="../app/main.cpp" line="40"/>
        <source>Read-only viewer for Outlook PST mail archives</source>
        <translation>Betrachter für Outlook-PST-Mailarchive, nur lesend</translation>
    </message>
    <message>
        <location filename="../app/main.cpp" line="43"/>
        <source>Archives to open, one window each</source>
        <translation>Zu öffnende Archive, je eines pro Fenster</translation>
    </message>
    <message>
        <location filename="../kit/views/ContentView.cpp" line="45"/>
        <source>Loading PST file…</source>
        <translation>PST-Datei wird geladen …</translation>
    </message>
    <message>
        <location filename="../kit/update/UpdateCheckResult.cpp" line="11"/>
        <source>The update manifest contains an invalid version: </source>
        <translation>Das Update-Manifest enthält eine ungültige Version: </translation>
    </message>
    <message>
        <location filename="../kit/update/UpdateCheckResult.cpp" line="13"/>
        <source>The update server returned an insecure URL.</source>
        <translation>Der Update-Server hat eine unsichere URL geliefert.</translation>
    </message>
    <message>
        <location filename="../kit/update/UpdateCheckResult.cpp" line="15"/>
        <source>The update server returned an invalid response.</source>
        <translation>Der Update-Server hat eine ungültige Antwort geliefert.</translation>
    </message>
    <message>
        <location filename="../kit/update/UpdateCheckResult.cpp" line="17"/>
        <source>The update manifest is unexpectedly large.</source>
        <translation>Das Update-Manifest ist unerwartet groß.</translation>
    </message>
    <message>
        <location filename="../kit/update/UpdateManifest.cpp" line="17"/>
        <source>The update manifest is not valid JSON: %1</source>
        <translation>Das Update-Manifest ist kein gültiges JSON: %1</translation>
    </message>
    <message>
        <location filename="../kit/update/UpdateManifest.cpp" line="19"/>
        <source>The update manifest is not a JSON object.</source>
        <translation>Das Update-Manifest ist kein JSON-Objekt.</translation>
    </message>
    <message>
        <location filename="../kit/update/UpdateManifest.cpp" line="21"/>
        <source>The update manifest has no &quot;%1&quot;.</source>
        <translation>Dem Update-Manifest fehlt „%1“.</translation>
    </message>
    <message>
        <location filename="../kit/update/UpdateManifest.cpp" line="23"/>
        <source>The update manifest&apos;s &quot;%1&quot; has the wrong type.</source>
        <translation>„%1“ im Update-Manifest hat den falschen Typ.</translation>
    </message>
    <message>
        <location filename="../kit/update/UpdateManifest.cpp" line="25"/>
        <source>The update manifest&apos;s &quot;%1&quot; is not a URL.</source>
        <translation>„%1“ im Update-Manifest ist keine URL.</translation>
    </message>
    <message>
        <location filename="../kit/viewmodel/ArchiveFiles.cpp" line="17"/>
        <source>PST and OST archives (*.pst *.ost)</source>
        <translation>PST- und OST-Archive (*.pst *.ost)</translation>
    </message>
    <message>
        <location filename="../kit/viewmodel/ArchiveFiles.cpp" line="18"/>
        <source>All files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
    <message>
        <location filename="../app/main.cpp" line="50"/>
        <source>Turn off Chromium&apos;s sandbox, which shows HTML mail (needed to run as root)</source>
        <translation>Schaltet die Sandbox von Chromium aus, das HTML-Mails anzeigt (nötig, um als root zu laufen)</translation>
    </message>
    <message>
        <location filename="../app/SandboxPolicy.cpp" line="71"/>
        <source>ostrel: Chromium&apos;s sandbox is off (%1); HTML mail is shown without it.</source>
        <translation>ostrel: Die Sandbox von Chromium ist aus (%1); HTML-Mails werden ohne sie angezeigt.</translation>
    </message>
    <message>
        <location filename="../app/SandboxPolicy.cpp" line="77"/>
        <source>ostrel: not starting as root: Chromium, which shows HTML mail, cannot use its sandbox as root. Start ostrel as a regular user, or with --no-sandbox to run it without the sandbox.</source>
        <translation>ostrel: Kein Start als root: Chromium, das HTML-Mails anzeigt, kann seine Sandbox als root nicht nutzen. Starten Sie ostrel als normaler Benutzer oder mit --no-sandbox, um es ohne Sandbox auszuführen.</translation>
    </message>
    <message>
        <location filename="../app/SandboxPolicy.cpp" line="87"/>
        <source>ostrel cannot run as root</source>
        <translation>ostrel kann nicht als root laufen</translation>
    </message>
    <message>
        <location filename="../app/SandboxPolicy.cpp" line="88"/>
        <source>ostrel shows HTML mail with Chromium, whose sandbox does not work for the root user.

Start ostrel as a regular user. Where it has to run as root, for example in a container, start it with the option --no-sandbox, which turns the sandbox off.</source>
        <translation>ostrel zeigt HTML-Mails mit Chromium an, dessen Sandbox für den Benutzer root nicht funktioniert.

Starten Sie ostrel als normaler Benutzer. Wo es als root laufen muss, etwa in einem Container, starten Sie es mit der Option --no-sandbox, die die Sandbox ausschaltet.</translation>
    </message>
    <message>
        <location filename="../app/SandboxPolicy.cpp" line="93"/>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <location filename="../app/main.cpp" line="92"/>
        <source>ostrel: no display to show its windows on (DISPLAY is not set).</source>
        <translation>ostrel: Keine Anzeige für seine Fenster (DISPLAY ist nicht gesetzt).</translation>
    </message>
</context>
<context>
    <name>ostrel::AppShell</name>
    <message>
        <location filename="../app/AppShell.cpp" line="105"/>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <location filename="../app/AppShell.cpp" line="106"/>
        <source>Open PST…</source>
        <translation>PST öffnen …</translation>
    </message>
    <message>
        <location filename="../app/AppShell.cpp" line="111"/>
        <source>Open Recent</source>
        <translation>Zuletzt geöffnet</translation>
    </message>
    <message>
        <location filename="../app/AppShell.cpp" line="118"/>
        <source>New Window</source>
        <translation>Neues Fenster</translation>
    </message>
    <message>
        <location filename="../app/AppShell.cpp" line="121"/>
        <source>Close Window</source>
        <translation>Fenster schließen</translation>
    </message>
    <message>
        <location filename="../app/AppShell.cpp" line="125"/>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <location filename="../app/AppShell.cpp" line="130"/>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <location filename="../app/AppShell.cpp" line="131"/>
        <source>ostrel Website</source>
        <translation>ostrel-Website</translation>
    </message>
    <message>
        <location filename="../app/AppShell.cpp" line="132"/>
        <source>Contact Support</source>
        <translation>Support kontaktieren</translation>
    </message>
    <message>
        <location filename="../app/AppShell.cpp" line="134"/>
        <source>Support ostrel…</source>
        <translation>ostrel unterstützen …</translation>
    </message>
    <message>
        <location filename="../app/AppShell.cpp" line="137"/>
        <location filename="../app/AppShell.cpp" line="257"/>
        <source>Acknowledgements</source>
        <translation>Danksagungen</translation>
    </message>
    <message>
        <location filename="../app/AppShell.cpp" line="139"/>
        <location filename="../app/AppShell.cpp" line="180"/>
        <source>About ostrel</source>
        <translation>Über ostrel</translation>
    </message>
    <message>
        <location filename="../app/AppShell.cpp" line="145"/>
        <source>Check for Updates…</source>
        <translation>Nach Updates suchen …</translation>
    </message>
    <message>
        <location filename="../app/AppShell.cpp" line="162"/>
        <source>No items</source>
        <translation>Keine Einträge</translation>
    </message>
    <message>
        <location filename="../app/AppShell.cpp" line="173"/>
        <source>Clear Menu</source>
        <translation>Menü leeren</translation>
    </message>
    <message>
        <location filename="../app/AppShell.cpp" line="186"/>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <location filename="../app/AppShell.cpp" line="228"/>
        <source>(License text not found in bundle: %1)</source>
        <translation>(Lizenztext nicht im Programmpaket gefunden: %1)</translation>
    </message>
    <message>
        <location filename="../app/AppShell.cpp" line="303"/>
        <source>Support ostrel development</source>
        <translation>Die Entwicklung von ostrel unterstützen</translation>
    </message>
    <message>
        <location filename="../app/AppShell.cpp" line="304"/>
        <source>ostrel is developed independently and provided free of charge. If the app has helped you, you can support its continued development with a voluntary donation.</source>
        <translation>ostrel wird unabhängig entwickelt und kostenlos bereitgestellt. Wenn Ihnen die App geholfen hat, können Sie ihre Weiterentwicklung mit einer freiwilligen Spende unterstützen.</translation>
    </message>
    <message>
        <location filename="../app/AppShell.cpp" line="306"/>
        <source>Donate &amp; Quit</source>
        <translation>Spenden und beenden</translation>
    </message>
    <message>
        <location filename="../app/AppShell.cpp" line="306"/>
        <source>Just Quit</source>
        <translation>Nur beenden</translation>
    </message>
</context>
<context>
    <name>ostrel::AttachmentView</name>
    <message>
        <location filename="../kit/views/AttachmentView.cpp" line="100"/>
        <source>Save as…</source>
        <translation>Sichern unter …</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <location filename="../kit/views/AttachmentView.cpp" line="132"/>
        <source>Could not save attachment</source>
        <translation>Anhang konnte nicht gesichert werden</translation>
    </message>
    <message>
        <location filename="../kit/views/AttachmentView.cpp" line="134"/>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>ostrel::ContentView</name>
    <message>
        <location filename="../kit/views/ContentView.cpp" line="111"/>
        <source>Open PST File</source>
        <translation>PST-Datei öffnen</translation>
    </message>
    <message>
        <location filename="../kit/views/ContentView.cpp" line="114"/>
        <source>Open PST file (Ctrl+O)</source>
        <translation>PST-Datei öffnen (Strg+O)</translation>
    </message>
    <message>
        <location filename="../kit/views/ContentView.cpp" line="237"/>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <location filename="../kit/views/ContentView.cpp" line="239"/>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>ostrel::FolderTreeModel</name>
    <message>
        <location filename="../kit/views/FolderTreeModel.cpp" line="103"/>
        <source>%1, %2 unread</source>
        <translation>%1, %2 ungelesen</translation>
    </message>
    <message>
        <location filename="../kit/views/FolderTreeModel.cpp"/>
        <source>Other folders</source>
        <translation>Weitere Ordner</translation>
    </message>
    <message>
        <location filename="../kit/views/FolderTreeModel.cpp"/>
        <source>The archive&apos;s own folders beside the mailbox: searches, views, reminders</source>
        <translation>Die eigenen Ordner des Archivs neben dem Postfach: Suchen, Ansichten, Erinnerungen</translation>
    </message>
    <message>
        <location filename="../kit/views/FolderTreeModel.cpp"/>
        <source>%1 (search folder)</source>
        <translation>%1 (Suchordner)</translation>
    </message>
</context>
<context>
    <name>ostrel::MessageDetailView</name>
    <message>
        <location filename="../kit/views/MessageDetailView.cpp"/>
        <source>Bcc</source>
        <translation>Bcc</translation>
    </message>
    <message>
        <location filename="../kit/views/MessageDetailView.cpp"/>
        <source>Loading message…</source>
        <translation>Nachricht wird geladen …</translation>
    </message>
    <message>
        <location filename="../kit/views/MessageDetailView.cpp" line="49"/>
        <source>Select a message</source>
        <translation>Nachricht auswählen</translation>
    </message>
    <message>
        <location filename="../kit/views/MessageDetailView.cpp" line="57"/>
        <source>(no content)</source>
        <translation>(kein Inhalt)</translation>
    </message>
    <message>
        <location filename="../kit/views/MessageDetailView.cpp" line="89"/>
        <source>High importance</source>
        <translation>Hohe Wichtigkeit</translation>
    </message>
    <message>
        <location filename="../kit/views/MessageDetailView.cpp" line="166"/>
        <source>(no subject)</source>
        <translation>(kein Betreff)</translation>
    </message>
    <message>
        <location filename="../kit/views/MessageDetailView.cpp" line="193"/>
        <source>From</source>
        <translation>Von</translation>
    </message>
    <message>
        <location filename="../kit/views/MessageDetailView.cpp" line="194"/>
        <source>To</source>
        <translation>An</translation>
    </message>
    <message>
        <location filename="../kit/views/MessageDetailView.cpp" line="196"/>
        <source>Cc</source>
        <translation>Cc</translation>
    </message>
    <message>
        <location filename="../kit/views/MessageDetailView.cpp" line="197"/>
        <source>Date</source>
        <translation>Datum</translation>
    </message>
    <message>
        <location filename="../kit/views/MessageDetailView.cpp" line="234"/>
        <source>Attachments (%1)</source>
        <translation>Anhänge (%1)</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Show Headers</source>
        <translation>Kopfzeilen anzeigen</translation>
    </message>
    <message>
        <source>Internet Headers</source>
        <translation>Internetkopfzeilen</translation>
    </message>
    <message>
        <source>recipients</source>
        <translation>Empfänger</translation>
    </message>
    <message>
        <source>attachments</source>
        <translation>Anhänge</translation>
    </message>
    <message>
        <source>body</source>
        <translation>Inhalt</translation>
    </message>
    <message>
        <source>Could not be read: %1</source>
        <translation>Nicht lesbar: %1</translation>
    </message>
    <message>
        <source>This message could not be read: %1</source>
        <translation>Diese Nachricht ist nicht lesbar: %1</translation>
    </message>
    <message>
        <source>attached message &quot;%1&quot; (%2)</source>
        <translation>angehängte Nachricht „%1“ (%2)</translation>
    </message>
    <message>
        <source>The attached message could not be opened: %1</source>
        <translation>Die angehängte Nachricht ließ sich nicht öffnen: %1</translation>
    </message>
</context>
<context>
    <name>ostrel::MessageListModel</name>
    <message>
        <location filename="../kit/views/MessageListModel.cpp" line="44"/>
        <source>%1, from %2</source>
        <translation>%1, von %2</translation>
    </message>
    <message>
        <location filename="../kit/views/MessageListModel.cpp" line="44"/>
        <source>(no subject)</source>
        <translation>(kein Betreff)</translation>
    </message>
</context>
<context>
    <name>ostrel::MessageListView</name>
    <message>
        <location filename="../kit/views/MessageListView.cpp"/>
        <source>Searching message text: %1 of %2</source>
        <translation>Nachrichtentext wird durchsucht: %1 von %2</translation>
    </message>
    <message>
        <location filename="../kit/views/MessageListView.cpp" line="30"/>
        <source>Clear search</source>
        <translation>Suche löschen</translation>
    </message>
    <message>
        <location filename="../kit/views/MessageListView.cpp" line="32"/>
        <location filename="../kit/views/MessageListView.cpp" line="140"/>
        <source>Select a folder</source>
        <translation>Ordner auswählen</translation>
    </message>
    <message>
        <location filename="../kit/views/MessageListView.cpp" line="36"/>
        <source>Search messages</source>
        <translation>Nachrichten durchsuchen</translation>
    </message>
    <message>
        <location filename="../kit/views/MessageListView.cpp" line="127"/>
        <source>Inbox</source>
        <translation>Posteingang</translation>
    </message>
    <message>
        <location filename="../kit/views/MessageListView.cpp" line="143"/>
        <source>No results</source>
        <translation>Keine Ergebnisse</translation>
    </message>
    <message>
        <location filename="../kit/views/MessageListView.cpp" line="146"/>
        <source>No messages</source>
        <translation>Keine Nachrichten</translation>
    </message>
    <message>
        <location filename="../kit/views/MessageListView.cpp"/>
        <source>No results in this search folder</source>
        <translation>Keine Ergebnisse in diesem Suchordner</translation>
    </message>
</context>
<context>
    <name>ostrel::MessageRowView</name>
    <message>
        <location filename="../kit/views/MessageRowView.cpp" line="128"/>
        <source>(no subject)</source>
        <translation>(kein Betreff)</translation>
    </message>
    <message>
        <location filename="../kit/views/MessageRowView.cpp" line="137"/>
        <source>(no content)</source>
        <translation>(kein Inhalt)</translation>
    </message>
</context>
<context>
    <name>ostrel::SidebarView</name>
    <message>
        <location filename="../kit/views/SidebarView.cpp" line="25"/>
        <source>Open PST File</source>
        <translation>PST-Datei öffnen</translation>
    </message>
    <message>
        <location filename="../kit/views/SidebarView.cpp" line="41"/>
        <source>No PST file open</source>
        <translation>Keine PST-Datei geöffnet</translation>
    </message>
</context>
<context>
    <name>ostrel::UpdateController</name>
    <message>
        <location filename="../app/UpdateController.cpp" line="126"/>
        <source>ostrel is up to date</source>
        <translation>ostrel ist auf dem neuesten Stand</translation>
    </message>
    <message>
        <location filename="../app/UpdateController.cpp" line="127"/>
        <source>You are using the latest version (%1).</source>
        <translation>Sie verwenden die neueste Version (%1).</translation>
    </message>
    <message>
        <location filename="../app/UpdateController.cpp" line="127"/>
        <location filename="../app/UpdateController.cpp" line="147"/>
        <location filename="../app/UpdateController.cpp" line="166"/>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <location filename="../app/UpdateController.cpp" line="131"/>
        <source>You are currently using version %1.</source>
        <translation>Sie verwenden derzeit Version %1.</translation>
    </message>
    <message>
        <location filename="../app/UpdateController.cpp" line="134"/>
        <source>Download Update</source>
        <translation>Update laden</translation>
    </message>
    <message>
        <location filename="../app/UpdateController.cpp" line="134"/>
        <source>Later</source>
        <translation>Später</translation>
    </message>
    <message>
        <location filename="../app/UpdateController.cpp" line="136"/>
        <location filename="../app/UpdateController.cpp" line="149"/>
        <source>Release Notes</source>
        <translation>Versionshinweise</translation>
    </message>
    <message>
        <location filename="../app/UpdateController.cpp" line="138"/>
        <source>ostrel %1 is available</source>
        <translation>ostrel %1 ist verfügbar</translation>
    </message>
    <message>
        <location filename="../app/UpdateController.cpp" line="151"/>
        <source>This update requires Linux %1 or later.</source>
        <translation>Dieses Update erfordert Linux %1 oder neuer.</translation>
    </message>
    <message>
        <location filename="../app/UpdateController.cpp" line="154"/>
        <source>ostrel %1 requires a newer Linux version</source>
        <translation>ostrel %1 erfordert eine neuere Linux-Version</translation>
    </message>
    <message>
        <location filename="../app/UpdateController.cpp" line="165"/>
        <source>Unable to check for updates</source>
        <translation>Suche nach Updates nicht möglich</translation>
    </message>
    <message>
        <location filename="../app/UpdateController.cpp" line="166"/>
        <source>Please check your internet connection and try again later.</source>
        <translation>Bitte prüfen Sie Ihre Internetverbindung und versuchen Sie es später erneut.</translation>
    </message>
</context>
</TS>
