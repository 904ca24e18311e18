<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AboWizzard</name>
    <message>
        <location filename="../../wizard/abowizzard.cpp" line="+138"/>
        <source>Subscribe</source>
        <translation>Abonnieren</translation>
    </message>
</context>
<context>
    <name>ChannelPages</name>
    <message>
        <location filename="../../pages/channelpages.cpp" line="+370" />
        <source>Favorites</source>
        <translation>Favoriten</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>All selected messages of the individual news</source>
        <translation>Alle markierten Nachrichten der einzelnen Newsfeeds</translation>
    </message>
</context>
<context>
    <name>FeedDatabase</name>
    <message>
        <location filename="../feeddatabase.cpp" line="+57"/>
        <source>%1 cannot be written (%2); another program may be using it.</source>
        <translation>%1 kann nicht geschrieben werden (%2); vielleicht benutzt ein anderes Programm die Datei.</translation>
    </message>
</context>
<context>
    <name>FeedDiscovery</name>
    <message>
        <location filename="../../wizard/feeddiscovery.cpp" line="+200"/>
        <source>Connection timed out</source>
        <translation>Zeitüberschreitung der Verbindung</translation>
    </message>
    <message>
        <location line="+29"/>
        <source>The server answered %1</source>
        <translation>Der Server antwortete %1</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>The server answered %1 %2</source>
        <translation>Der Server antwortete %1 %2</translation>
    </message>
    <message>
        <location line="+10"/>
        <location line="+17"/>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
</context>
<context>
    <name>HttpConnection</name>
    <message>
        <location filename="../../updater/httpconnection.cpp" line="+211"/>
        <location line="+12"/>
        <location line="+17"/>
        <source>The response body is too large</source>
        <translation>Die Antwort ist zu groß</translation>
    </message>
    <message>
        <location line="+53"/>
        <source>Request aborted</source>
        <translation>Anfrage abgebrochen</translation>
    </message>
</context>
<context>
    <name>PAboFeedTable</name>
    <message>
        <location filename="../../wizard/pabofeedtable.cpp" line="+85"/>
        <source>Searching...</source>
        <translation>Suche läuft...</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Parse page</source>
        <translation>Seite wird ausgewertet</translation>
    </message>
    <message>
        <location line="+34"/>
        <source>News found</source>
        <translation>Newsfeed gefunden</translation>
    </message>
    <message>
        <location line="-28"/>
        <source>No news found</source>
        <translation>Kein Newsfeed gefunden</translation>
    </message>
</context>
<context>
    <name>PAboPage1</name>
    <message>
        <location filename="../../wizard/pabopage1.cpp" line="+46"/>
        <location line="+26"/>
        <source>Subscribe to a news</source>
        <translation>Einen Newsfeed abonnieren</translation>
    </message>
    <message>
        <location line="-11"/>
        <source>PAboPage1</source>
        <translation>PAboPage1</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>This wizard assists you with subscribing to a news.</source>
        <translation>Dieser Assistent hilft Ihnen, einen Newsfeed zu abonnieren.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>I want to import recommended news.</source>
        <translation>Ich möchte empfohlene Newsfeeds übernehmen.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>I want to enter the address of the RSS feed.</source>
        <translation>Ich möchte die Adresse des RSS-Feeds eingeben.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>You can either enter the address of the news or import recommended news.</source>
        <translation>Sie können entweder die Adresse des Newsfeeds eingeben oder empfohlene Newsfeeds übernehmen.</translation>
    </message>
</context>
<context>
    <name>PAboPage2</name>
    <message>
        <location filename="../../wizard/pabopage2.cpp" line="+66"/>
        <location line="+88"/>
        <source>Subscribe to a news</source>
        <translation>Einen Newsfeed abonnieren</translation>
    </message>
    <message>
        <location line="-56"/>
        <source>Tick the feeds you want to subscribe to.</source>
        <translation>Haken Sie die Feeds an, die Sie abonnieren möchten.</translation>
    </message>
    <message>
        <location line="+44"/>
        <source>PAboPage2</source>
        <translation>PAboPage2</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Enter the URL (address) of the RSS feed</source>
        <translation>Geben Sie die URL (Adresse) des RSS-Feeds ein</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Go</source>
        <translation>Los</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>This wizard assists you with subscribing to a news.</source>
        <translation>Dieser Assistent hilft Ihnen, einen Newsfeed zu abonnieren.</translation>
    </message>
</context>
<context>
    <name>PAboPage3</name>
    <message>
        <location filename="../../wizard/pabopage3.cpp" line="+64"/>
        <location line="+107"/>
        <source>Subscribe to a news</source>
        <translation>Einen Newsfeed abonnieren</translation>
    </message>
    <message>
        <location line="-69"/>
        <source>The recommended news cannot be loaded right now. You can still subscribe by entering the address of a feed.</source>
        <translation>Die empfohlenen News können gerade nicht geladen werden. Sie können einen Feed trotzdem über seine Adresse abonnieren.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Tick the feeds you want to subscribe to.</source>
        <translation>Haken Sie die Feeds an, die Sie abonnieren möchten.</translation>
    </message>
    <message>
        <location line="+39"/>
        <location line="+19"/>
        <source>%1 news selected</source>
        <translation>%1 Newsfeeds ausgewählt</translation>
    </message>
    <message>
        <location line="-5"/>
        <source>PAboPage3</source>
        <translation>PAboPage3</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Select all</source>
        <translation>Alle auswählen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>This wizard assists you with subscribing to a news.</source>
        <translation>Dieser Assistent hilft Ihnen, einen Newsfeed zu abonnieren.</translation>
    </message>
</context>
<context>
    <name>PCleanPage1</name>
    <message>
        <location filename="../../dialogs/pcleanpage1.cpp" line="+21"/>
        <location line="+105"/>
        <location line="+26"/>
        <source>All channels</source>
        <translation>Alle Kanäle</translation>
    </message>
    <message>
        <location line="-114"/>
        <location line="+113"/>
        <source>Clean wizard</source>
        <translation>Aufräum-Assistent</translation>
    </message>
    <message>
        <location line="-106"/>
        <source>Clean news</source>
        <translation>Nachrichten aufräumen</translation>
    </message>
    <message>
        <location line="+80"/>
        <source>%1 items were deleted.</source>
        <translation>%1 Nachrichten wurden gelöscht.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>In all channels</source>
        <translation>In allen Kanälen</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>In the channel:</source>
        <translation>Im Kanal:</translation>
    </message>
    <message>
        <location line="+15"/>
        <location line="+13"/>
        <source>Finish</source>
        <translation>Fertig stellen</translation>
    </message>
</context>
<context>
    <name>PConfigDialog</name>
    <message>
        <location filename="../../dialogs/pconfigdialog.cpp" line="+61"/>
        <location line="+73"/>
        <source>News Options</source>
        <translation>Nachrichten-Optionen</translation>
    </message>
    <message>
        <location line="-65"/>
        <source>Configure the pellix News-Viewer</source>
        <translation>Den pellix News-Viewer einrichten</translation>
    </message>
</context>
<context>
    <name>PConfigDialogClass</name>
    <message>
        <location filename="../../dialogs/pconfigdialog.ui" line="+14"/>
        <source>PConfigDialog</source>
        <translation>PConfigDialog</translation>
    </message>
    <message>
        <location line="+43"/>
        <source>This dialog helps you configure the News-Viewer.</source>
        <translation>Mit diesem Dialog richten Sie den News-Viewer ein.</translation>
    </message>
    <message>
        <location line="+16"/>
        <source>Update interval (in min):</source>
        <translation>Aktualisierungsintervall (in Min.):</translation>
    </message>
    <message>
        <location line="+38"/>
        <source>Show Groups</source>
        <translation>Gruppen anzeigen</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Show only unread messages in client</source>
        <translation>Im Client nur ungelesene Nachrichten anzeigen</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Feeds shown in the client (a tick shows the feed there):</source>
        <translation>Im Client angezeigte Feeds (ein Haken zeigt den Feed dort an):</translation>
    </message>
    <message>
        <location line="+18"/>
        <source>Items per channel in the client</source>
        <translation>Nachrichten pro Kanal im Client</translation>
    </message>
    <message>
        <location line="+23"/>
        <source>Items per channel in the viewer</source>
        <translation>Nachrichten pro Kanal im Viewer</translation>
    </message>
    <message>
        <location line="+32"/>
        <source>Automatically switch to the news module when receiving new messages</source>
        <translation>Bei neuen Nachrichten automatisch zum Nachrichtenmodul wechseln</translation>
    </message>
    <message>
        <location line="+22"/>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <location line="+16"/>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>PFeedSearchTree</name>
    <message>
        <location filename="../../tree/pfeedsearchtree.cpp" line="+117"/>
        <source>Favorites</source>
        <translation>Favoriten</translation>
    </message>
</context>
<context>
    <name>PFeedsTree</name>
    <message>
        <location filename="../../tree/pfeedstree.cpp" line="+89"/>
        <location line="+1"/>
        <source>Clean News</source>
        <translation>Nachrichten aufräumen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>New Folder</source>
        <translation>Neuer Ordner</translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+212"/>
        <location line="+12"/>
        <source>Rename Folder</source>
        <translation>Ordner umbenennen</translation>
    </message>
    <message>
        <location line="-223"/>
        <source>Delete Folder</source>
        <translation>Ordner löschen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Delete News</source>
        <translation>Newsfeed löschen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Load News Again</source>
        <translation>Newsfeed neu laden</translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+195"/>
        <source>Rename News</source>
        <translation>Newsfeed umbenennen</translation>
    </message>
    <message>
        <location line="-194"/>
        <source>Update News</source>
        <translation>Newsfeed aktualisieren</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Move News</source>
        <translation>Newsfeed verschieben</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Clear Selection</source>
        <translation>Auswahl aufheben</translation>
    </message>
    <message>
        <location line="+192"/>
        <source>New Newsname</source>
        <translation>Neuer Name des Newsfeeds</translation>
    </message>
    <message>
        <location line="+13"/>
        <location line="+12"/>
        <source>New Folder Name</source>
        <translation>Neuer Ordnername</translation>
    </message>
</context>
<context>
    <name>PRSSFeedPlugin</name>
    <message>
        <location filename="../../core/feeddatabase.cpp" line="+69" />
        <source>My Feeds</source>
        <translation>Meine Feeds</translation>
    </message>
    <message>
        <location filename="../prssfeedplugin.cpp" line="+214"/>
        <source>pellix News</source>
        <translation>pellix News</translation>
    </message>
    <message>
        <location line="+79"/>
        <source>%1 (the file is %2)</source>
        <translation>%1 (die Datei ist %2)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>unknown error</source>
        <translation>unbekannter Fehler</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>the news database is not open</source>
        <translation>die Nachrichtendatenbank ist nicht geöffnet</translation>
    </message>
    <message>
        <location line="+755"/>
        <source>Delete News</source>
        <translation>Newsfeed löschen</translation>
    </message>
    <message>
        <location line="+15"/>
        <location line="+10"/>
        <source>Should all saved messages be deleted?</source>
        <translation>Sollen alle gespeicherten Nachrichten gelöscht werden?</translation>
    </message>
    <message>
        <location line="-4"/>
        <source>I do not want to receive any further messages from %1.</source>
        <translation>Ich möchte keine weiteren Nachrichten von %1 erhalten.</translation>
    </message>
</context>
<context>
    <name>PRSSFeedView</name>
    <message>
        <location filename="../../viewer/prssfeedview.cpp" line="+241"/>
        <source>Subscribe to News</source>
        <translation>Newsfeed abonnieren</translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+1"/>
        <source>Synchronize</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Overview</source>
        <translation>Übersicht</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Forward</source>
        <translation>Vor</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Favorite</source>
        <translation>Favoriten</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;News</source>
        <translation>&amp;Nachrichten</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;Options</source>
        <translation>&amp;Optionen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;Close</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;Actions</source>
        <translation>&amp;Aktionen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;Subscribe to News</source>
        <translation>Newsfeed &amp;abonnieren</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;Delete News</source>
        <translation>Newsfeed &amp;löschen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;Update News</source>
        <translation>Newsfeed a&amp;ktualisieren</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>pellix News-Viewer</source>
        <translation>pellix News-Viewer</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>&lt;h2&gt;Welcome to pellix News&lt;/h2&gt;&lt;p&gt;You have not subscribed to any news yet.&lt;/p&gt;&lt;p&gt;Click &lt;b&gt;Subscribe to News&lt;/b&gt; to add a feed by its address, to find the feeds of a web page, or to choose from the recommended feeds. Their news then appear in the tree on the left and here, page by page.&lt;/p&gt;</source>
        <translation>&lt;h2&gt;Willkommen bei pellix News&lt;/h2&gt;&lt;p&gt;Sie haben noch keine Nachrichten abonniert.&lt;/p&gt;&lt;p&gt;Klicken Sie auf &lt;b&gt;Newsfeed abonnieren&lt;/b&gt;, um einen Feed über seine Adresse hinzuzufügen, die Feeds einer Webseite zu finden oder aus den empfohlenen Feeds zu wählen. Deren Nachrichten erscheinen dann links im Baum und hier, Seite für Seite.&lt;/p&gt;</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Subscribe to News...</source>
        <translation>Newsfeed abonnieren...</translation>
    </message>
    <message>
        <location line="+265"/>
        <source>Update starts</source>
        <translation>Aktualisierung beginnt</translation>
    </message>
    <message>
        <location line="+36"/>
        <source>%1 from %2 news were updated.</source>
        <translation>%1 von %2 Newsfeeds wurden aktualisiert.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Update finished</source>
        <translation>Aktualisierung beendet</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <location filename="../../pages/channelpages.cpp" line="-345" />
        <location line="+299" />
        <source>Page</source>
        <translation>Seite</translation>
    </message>
    <message>
        <location line="-303"/>
        <location line="+326"/>
        <source>from</source>
        <translation>von</translation>
    </message>
    <message>
        <location line="-325"/>
        <source>Toggle Read</source>
        <translation>Als gelesen markieren</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Toggle Unread</source>
        <translation>Als ungelesen markieren</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Mark</source>
        <translation>Merken</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Unmark</source>
        <translation>Nicht mehr merken</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
</context>
<context>
    <name>Updater</name>
    <message>
        <location filename="../../updater/feeddocument.cpp" line="+66"/>
        <source>Monday</source>
        <translation>Montag</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Tuesday</source>
        <translation>Dienstag</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Wednesday</source>
        <translation>Mittwoch</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Thursday</source>
        <translation>Donnerstag</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Friday</source>
        <translation>Freitag</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Saturday</source>
        <translation>Samstag</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Sunday</source>
        <translation>Sonntag</translation>
    </message>
</context>
<context>
    <name>pcleanpage1Class</name>
    <message>
        <location filename="../../dialogs/pcleanpage1.ui" line="+14"/>
        <source>pcleanpage1</source>
        <translation>pcleanpage1</translation>
    </message>
    <message>
        <location line="+54"/>
        <source>Clean news</source>
        <translation>Nachrichten aufräumen</translation>
    </message>
    <message>
        <location line="+22"/>
        <source>This dialog helps you to delete items.</source>
        <translation>Mit diesem Dialog löschen Sie Nachrichten.</translation>
    </message>
    <message>
        <location line="+26"/>
        <source>Which news would you like to clean?</source>
        <translation>Welche Nachrichten möchten Sie aufräumen?</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Delete All Items</source>
        <translation>Alle Nachrichten löschen</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Delete Only Read Items</source>
        <translation>Nur gelesene Nachrichten löschen</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>Delete All Except Recent</source>
        <translation>Alle außer den neuesten löschen</translation>
    </message>
    <message>
        <location line="+26"/>
        <source>Items</source>
        <translation>Nachrichten</translation>
    </message>
    <message>
        <location line="+59"/>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
</TS>
