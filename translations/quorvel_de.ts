<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>TAboutForm</name>
    <message>
        <source>About</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>Technical Support:</source>
        <translation>Technischer Support:</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Copyright %1 %2 %3</source>
        <translation>Copyright %1 %2 %3</translation>
    </message>
    <message>
        <source>All rights reserved.</source>
        <translation>Alle Rechte vorbehalten.</translation>
    </message>
</context>
<context>
    <name>TApplication</name>
    <message>
        <source>An unexpected error occurred.</source>
        <translation>Ein unerwarteter Fehler ist aufgetreten.</translation>
    </message>
</context>
<context>
    <name>TArrivalNotifier</name>
    <message>
        <source>%1 new messages</source>
        <translation>%1 neue Nachrichten</translation>
    </message>
    <message>
        <source>and %1 more</source>
        <translation>und %1 weitere</translation>
    </message>
</context>
<context>
    <name>TBrowser</name>
    <message>
        <source>No web browser was found to open the link.</source>
        <translation>Es wurde kein Webbrowser gefunden, der den Link öffnen kann.</translation>
    </message>
    <message>
        <source>No web browser was found that can open an empty window.</source>
        <translation>Es wurde kein Webbrowser gefunden, der ein leeres Fenster öffnen kann.</translation>
    </message>
    <message>
        <source>No web browser was found, and the desktop is not asked to open this link: %1</source>
        <translation>Es wurde kein Webbrowser gefunden, und der Desktop wird nicht gebeten, diesen Link zu öffnen: %1</translation>
    </message>
    <message>
        <source>The web browser could not be started: %1</source>
        <translation>Der Webbrowser konnte nicht gestartet werden: %1</translation>
    </message>
</context>
<context>
    <name>TConnectionForm</name>
    <message>
        <source>Connection</source>
        <translation>Verbindung</translation>
    </message>
    <message>
        <source>Username</source>
        <translation>Benutzername</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>Script URL</source>
        <translation>Skript-URL</translation>
    </message>
    <message>
        <source>Interval</source>
        <translation>Intervall</translation>
    </message>
    <message>
        <source>Secs</source>
        <translation>Sek.</translation>
    </message>
    <message>
        <source>Mins</source>
        <translation>Min.</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>TCustomWorkerThread</name>
    <message>
        <source>Cannot create a thread for the request.</source>
        <translation>Für die Anfrage kann kein Thread erzeugt werden.</translation>
    </message>
</context>
<context>
    <name>TFileStream</name>
    <message>
        <source>Cannot open file &quot;%1&quot;. %2</source>
        <translation>Die Datei &quot;%1&quot; kann nicht geöffnet werden. %2</translation>
    </message>
    <message>
        <source>Cannot set the size of &quot;%1&quot;</source>
        <translation>Die Größe von &quot;%1&quot; kann nicht gesetzt werden</translation>
    </message>
</context>
<context>
    <name>TFindBar</name>
    <message>
        <source>Find in message</source>
        <translation>In der Nachricht suchen</translation>
    </message>
    <message>
        <source>Previous match</source>
        <translation>Vorheriger Treffer</translation>
    </message>
    <message>
        <source>Next match</source>
        <translation>Nächster Treffer</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>No matches</source>
        <translation>Keine Treffer</translation>
    </message>
</context>
<context>
    <name>THTTPForm</name>
    <message>
        <source>Connection Failed!<byte value="xd"/>
Check that you correctly entered webscript URL!</source>
        <translation>Verbindung fehlgeschlagen!<byte value="xd"/>
Prüfen Sie, ob die URL des Web-Skripts richtig eingegeben ist!</translation>
    </message>
</context>
<context>
    <name>THelpForm</name>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
</context>
<context>
    <name>THtmlForms</name>
    <message>
        <source>Browse...</source>
        <translation>Durchsuchen...</translation>
    </message>
    <message>
        <source>Submit</source>
        <translation>Senden</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Zurücksetzen</translation>
    </message>
</context>
<context>
    <name>TMainForm</name>
    <message>
        <source>Skins</source>
        <translation>Designs</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>Connection</source>
        <translation>Verbindung</translation>
    </message>
    <message>
        <source>Save Password</source>
        <translation>Passwort speichern</translation>
    </message>
    <message>
        <source>Desktop Notifications</source>
        <translation>Desktop-Benachrichtigungen</translation>
    </message>
    <message>
        <source>Start with Desktop</source>
        <translation>Mit dem Desktop starten</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Contents</source>
        <translation>Inhalt</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Info</translation>
    </message>
    <message>
        <source> Messages</source>
        <translation> Nachrichten</translation>
    </message>
</context>
<context>
    <name>TMessageBox</name>
    <message>
        <source>&amp;Yes</source>
        <translation>&amp;Ja</translation>
    </message>
    <message>
        <source>&amp;No</source>
        <translation>&amp;Nein</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>&amp;Abort</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>&amp;Retry</source>
        <translation>&amp;Wiederholen</translation>
    </message>
    <message>
        <source>&amp;Ignore</source>
        <translation>&amp;Ignorieren</translation>
    </message>
    <message>
        <source>&amp;All</source>
        <translation>&amp;Alle</translation>
    </message>
    <message>
        <source>N&amp;o to All</source>
        <translation>N&amp;ein für alle</translation>
    </message>
    <message>
        <source>Yes to &amp;All</source>
        <translation>Ja für &amp;alle</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>Bestätigung</translation>
    </message>
</context>
<context>
    <name>TMessageListModel</name>
    <message>
        <source>%1, unread</source>
        <translation>%1, ungelesen</translation>
    </message>
    <message>
        <source>%1, replied to</source>
        <translation>%1, beantwortet</translation>
    </message>
</context>
<context>
    <name>TSettingsStore</name>
    <message>
        <source>Invalid data type for &apos;%s&apos;</source>
        <translation>Ungültiger Datentyp für &apos;%s&apos;</translation>
    </message>
    <message>
        <source>Failed to get data for &apos;%s&apos;</source>
        <translation>Die Daten für &apos;%s&apos; konnten nicht gelesen werden</translation>
    </message>
    <message>
        <source>Failed to create key %s</source>
        <translation>Der Schlüssel %s konnte nicht angelegt werden</translation>
    </message>
    <message>
        <source>Failed to set data for &apos;%s&apos;</source>
        <translation>Die Daten für &apos;%s&apos; konnten nicht gesetzt werden</translation>
    </message>
</context>
<context>
    <name>TTrayIcon</name>
    <message>
        <source>Cannot remove Shell Notification Icon</source>
        <translation>Das Symbol im Benachrichtigungsfeld kann nicht entfernt werden</translation>
    </message>
    <message>
        <source>Cannot create Shell Notification Icon</source>
        <translation>Das Symbol im Benachrichtigungsfeld kann nicht angelegt werden</translation>
    </message>
</context>
</TS>
