<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name></name>
    <message>
        <source>Norvane watches how you work and suggests a better way. With one of the options below it controls the running Norvane, starting it when the command needs it.</source>
        <translation>Norvane beobachtet, wie Sie arbeiten, und schlägt einen besseren Weg vor. Mit einer der folgenden Optionen steuert es das laufende Norvane und startet es, wenn der Befehl es braucht.</translation>
    </message>
    <message>
        <source>Show this help.</source>
        <translation>Diese Hilfe anzeigen.</translation>
    </message>
    <message>
        <source>Show the version.</source>
        <translation>Die Version anzeigen.</translation>
    </message>
    <message>
        <source>Turn monitoring on or off, or toggle it.</source>
        <translation>Die Überwachung ein- oder ausschalten oder umschalten.</translation>
    </message>
    <message>
        <source>Pause monitoring for 1 to 1440 minutes.</source>
        <translation>Die Überwachung für 1 bis 1440 Minuten pausieren.</translation>
    </message>
    <message>
        <source>Resume paused monitoring.</source>
        <translation>Die pausierte Überwachung fortsetzen.</translation>
    </message>
    <message>
        <source>Show the settings window.</source>
        <translation>Das Einstellungsfenster anzeigen.</translation>
    </message>
    <message>
        <source>Show the history window.</source>
        <translation>Das Verlaufsfenster anzeigen.</translation>
    </message>
    <message>
        <source>Print what Norvane is doing.</source>
        <translation>Ausgeben, was Norvane gerade tut.</translation>
    </message>
    <message>
        <source>With --status: print it as JSON.</source>
        <translation>Mit --status: als JSON ausgeben.</translation>
    </message>
    <message>
        <source>Open the settings window when Norvane starts.</source>
        <translation>Das Einstellungsfenster beim Start von Norvane öffnen.</translation>
    </message>
    <message>
        <source>Norvane takes no arguments besides options; &quot;%1&quot; is not one.</source>
        <translation>Norvane nimmt außer Optionen keine Argumente; „%1“ ist keine.</translation>
    </message>
    <message>
        <source>Give one command at a time.</source>
        <translation>Geben Sie jeweils nur einen Befehl an.</translation>
    </message>
    <message>
        <source>--json goes with --status only.</source>
        <translation>--json gehört nur zu --status.</translation>
    </message>
    <message>
        <source>--monitoring takes on, off or toggle, not &quot;%1&quot;.</source>
        <translation>--monitoring nimmt on, off oder toggle, nicht „%1“.</translation>
    </message>
    <message>
        <source>--pause takes a whole number of minutes from 1 to 1440, not &quot;%1&quot;.</source>
        <translation>--pause nimmt eine ganze Zahl von Minuten von 1 bis 1440, nicht „%1“.</translation>
    </message>
    <message>
        <source>Norvane did not answer within a second; it may be busy or stuck.</source>
        <translation>Norvane hat nicht innerhalb einer Sekunde geantwortet; es ist vielleicht beschäftigt oder hängt.</translation>
    </message>
</context>
<context>
    <name>CapturesSection</name>
    <message>
        <source>Stored Captures</source>
        <translation>Gespeicherte Aufnahmen</translation>
    </message>
    <message>
        <source>Captures are saved on this computer. When a limit is reached, the oldest go first.</source>
        <translation>Aufnahmen werden auf diesem Rechner gespeichert. Ist eine Grenze erreicht, werden die ältesten zuerst gelöscht.</translation>
    </message>
    <message>
        <source>Keep captures for</source>
        <translation>Aufnahmen aufbewahren für</translation>
    </message>
    <message>
        <source>Space for captures</source>
        <translation>Speicherplatz für Aufnahmen</translation>
    </message>
    <message>
        <source>Delete All Captures…</source>
        <translation>Alle Aufnahmen löschen …</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
</context>
<context>
    <name>CommandBar</name>
    <message>
        <source>Quit Norvane</source>
        <translation>Norvane beenden</translation>
    </message>
</context>
<context>
    <name>ExclusionsSection</name>
    <message>
        <source>Exclusions</source>
        <translation>Ausnahmen</translation>
    </message>
    <message>
        <source>Norvane never captures, keeps or sends a window of these applications, or a window whose title contains one of these words.</source>
        <translation>Norvane nimmt Fenster dieser Anwendungen und Fenster, deren Titel eines dieser Wörter enthält, niemals auf, speichert sie nicht und sendet sie nicht.</translation>
    </message>
    <message>
        <source>Nothing is excluded here.</source>
        <translation>Hier ist nichts ausgenommen.</translation>
    </message>
    <message>
        <source>Remove %1</source>
        <translation>%1 entfernen</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
    <message>
        <source>Applications</source>
        <translation>Anwendungen</translation>
    </message>
    <message>
        <source>Application name, for example KeePassXC</source>
        <translation>Anwendungsname, z. B. KeePassXC</translation>
    </message>
    <message>
        <source>Window titles containing</source>
        <translation>Fenstertitel, die Folgendes enthalten</translation>
    </message>
    <message>
        <source>Words in the title, for example Private Browsing</source>
        <translation>Wörter im Titel, z. B. Privater Modus</translation>
    </message>
</context>
<context>
    <name>HistorySection</name>
    <message>
        <source>History</source>
        <translation>Verlauf</translation>
    </message>
    <message>
        <source>Show History…</source>
        <translation>Verlauf anzeigen …</translation>
    </message>
    <message>
        <source>Every request that carried screenshots to a model, with the frames it sent and what came back.</source>
        <translation>Jede Anfrage, die Bildschirmfotos an ein Modell übertragen hat, mit den gesendeten Bildern und der Antwort.</translation>
    </message>
</context>
<context>
    <name>HistoryView</name>
    <message>
        <source>The capture is no longer on disk.</source>
        <translation>Die Aufnahme ist nicht mehr auf der Festplatte.</translation>
    </message>
    <message>
        <source>Copy prompt</source>
        <translation>Prompt kopieren</translation>
    </message>
    <message>
        <source>Nothing has been sent to a model yet. Each request that carries screenshots will be listed here.</source>
        <translation>Bisher wurde nichts an ein Modell gesendet. Jede Anfrage mit Bildschirmfotos wird hier aufgeführt.</translation>
    </message>
    <message>
        <source>One request carried screenshots.</source>
        <translation>Eine Anfrage hat Bildschirmfotos übertragen.</translation>
    </message>
    <message>
        <source>%1 requests carried screenshots, newest first.</source>
        <translation>%1 Anfragen haben Bildschirmfotos übertragen, die neueste zuerst.</translation>
    </message>
</context>
<context>
    <name>ModelConnection</name>
    <message>
        <source>Enter the server&apos;s address, beginning with https:// (or http:// for this computer).</source>
        <translation>Geben Sie die Adresse des Servers ein, beginnend mit https:// (oder http:// für diesen Rechner).</translation>
    </message>
    <message>
        <source>The server&apos;s address cannot hold a name, a password, a query or a fragment; put a key in the key field.</source>
        <translation>Die Adresse des Servers darf keinen Namen, kein Passwort, keine Abfrage und kein Fragment enthalten; tragen Sie einen Schlüssel in das Schlüsselfeld ein.</translation>
    </message>
    <message>
        <source>Plain http:// is only allowed for a server on this computer (127.0.0.1, ::1 or localhost); any other server needs https://.</source>
        <translation>Unverschlüsseltes http:// ist nur für einen Server auf diesem Rechner erlaubt (127.0.0.1, ::1 oder localhost); jeder andere Server braucht https://.</translation>
    </message>
    <message>
        <source>Enter the name of the model to use.</source>
        <translation>Geben Sie den Namen des Modells ein.</translation>
    </message>
    <message>
        <source>A model name has only letters, digits, dots, colons, dashes and underscores.</source>
        <translation>Ein Modellname besteht nur aus Buchstaben, Ziffern, Punkten, Doppelpunkten, Binde- und Unterstrichen.</translation>
    </message>
</context>
<context>
    <name>ModelSection</name>
    <message>
        <source>Gemini</source>
        <translation>Gemini</translation>
    </message>
    <message>
        <source>Model</source>
        <translation>Modell</translation>
    </message>
    <message>
        <source>Norvane talks directly to Gemini for opportunity detection and recommendations.</source>
        <translation>Norvane spricht für das Erkennen von Gelegenheiten und für Empfehlungen direkt mit Gemini.</translation>
    </message>
    <message>
        <source>Norvane talks directly to this OpenAI-compatible server for opportunity detection and recommendations.</source>
        <translation>Norvane spricht für das Erkennen von Gelegenheiten und für Empfehlungen direkt mit diesem OpenAI-kompatiblen Server.</translation>
    </message>
    <message>
        <source>Gemini (Google)</source>
        <translation>Gemini (Google)</translation>
    </message>
    <message>
        <source>Ollama on this computer</source>
        <translation>Ollama auf diesem Rechner</translation>
    </message>
    <message>
        <source>Custom OpenAI-compatible</source>
        <translation>Eigener OpenAI-kompatibler Server</translation>
    </message>
    <message>
        <source>API key</source>
        <translation>API-Schlüssel</translation>
    </message>
    <message>
        <source>Gemini API key</source>
        <translation>Gemini-API-Schlüssel</translation>
    </message>
    <message>
        <source>Server address</source>
        <translation>Serveradresse</translation>
    </message>
    <message>
        <source>A model that reads images, e.g. llava or qwen2.5vl</source>
        <translation>Ein Modell, das Bilder liest, z. B. llava oder qwen2.5vl</translation>
    </message>
    <message>
        <source>API key (if the server needs one)</source>
        <translation>API-Schlüssel (falls der Server einen braucht)</translation>
    </message>
    <message>
        <source>No key</source>
        <translation>Kein Schlüssel</translation>
    </message>
    <message>
        <source>Testing...</source>
        <translation>Wird getestet …</translation>
    </message>
    <message>
        <source>Test Connection</source>
        <translation>Verbindung testen</translation>
    </message>
</context>
<context>
    <name>NudgeDiagnostics</name>
    <message>
        <source>Turn monitoring on to start collecting screenshots for nudge analysis.</source>
        <translation>Schalten Sie die Überwachung ein, damit Bildschirmfotos für die Analyse gesammelt werden.</translation>
    </message>
    <message>
        <source>Norvane is watching for a short burst of recent activity before it asks Gemini anything.</source>
        <translation>Norvane wartet auf eine kurze Phase aktueller Aktivität, bevor es Gemini etwas fragt.</translation>
    </message>
    <message>
        <source>Gemini found a likely opportunity and the nudge should now be visible.</source>
        <translation>Gemini hat eine wahrscheinliche Gelegenheit gefunden; der Hinweis sollte jetzt zu sehen sein.</translation>
    </message>
    <message>
        <source>Gemini recognized a pattern you already dismissed, so Norvane is not showing it again.</source>
        <translation>Gemini hat ein Muster erkannt, das Sie bereits verworfen haben; Norvane zeigt es deshalb nicht noch einmal.</translation>
    </message>
    <message>
        <source>No nudge cooldown is active. Norvane can show the next worthwhile opportunity as soon as it sees one.</source>
        <translation>Keine Hinweispause aktiv. Norvane kann die nächste lohnende Gelegenheit zeigen, sobald es eine erkennt.</translation>
    </message>
    <message>
        <source>Norvane is waiting for a short burst of recent activity before it analyzes anything.</source>
        <translation>Norvane wartet auf eine kurze Phase aktueller Aktivität, bevor es etwas analysiert.</translation>
    </message>
    <message>
        <source>Norvane has enough recent context and is asking Gemini whether the last burst looks worth interrupting.</source>
        <translation>Norvane hat genug aktuellen Kontext und fragt Gemini, ob die letzte Aktivitätsphase eine Unterbrechung lohnt.</translation>
    </message>
    <message>
        <source>A nudge is already on screen, so Norvane is not analyzing another batch yet.</source>
        <translation>Ein Hinweis ist bereits zu sehen; Norvane analysiert deshalb noch keine weiteren Bilder.</translation>
    </message>
    <message>
        <source>A window was full screen, so Norvane let this nudge go rather than interrupt.</source>
        <translation>Ein Fenster lief im Vollbild; Norvane hat diesen Hinweis verworfen, statt zu stören.</translation>
    </message>
    <message>
        <source>Norvane still needs 3 distinct wake/active screenshots from the same activity burst before it can ask Gemini.</source>
        <translation>Norvane braucht noch 3 verschiedene Bildschirmfotos aus derselben Aktivitätsphase, bevor es Gemini fragen kann.</translation>
    </message>
    <message>
        <source>Norvane needs %1 wake/active screenshots in one burst before it can analyze. Current burst: %2/%1.</source>
        <translation>Norvane braucht %1 Bildschirmfotos aus einer Aktivitätsphase, bevor es analysieren kann. Aktuelle Phase: %2/%1.</translation>
    </message>
    <message>
        <source>Monitoring is paused until %1.</source>
        <translation>Die Überwachung ist bis %1 pausiert.</translation>
    </message>
    <message>
        <source>Nudges are snoozed; the next card can appear at %1.</source>
        <translation>Hinweise sind stummgeschaltet; die nächste Karte kann um %1 erscheinen.</translation>
    </message>
    <message>
        <source>Nudge budget reached; the next card can appear at %1.</source>
        <translation>Das Hinweiskontingent ist erreicht; die nächste Karte kann um %1 erscheinen.</translation>
    </message>
    <message>
        <source>Gemini API key is missing, so nudge analysis cannot run.</source>
        <translation>Der Gemini-API-Schlüssel fehlt, daher kann keine Analyse laufen.</translation>
    </message>
    <message>
        <source>The analysis was cancelled before Gemini answered.</source>
        <translation>Die Analyse wurde abgebrochen, bevor Gemini geantwortet hat.</translation>
    </message>
    <message>
        <source>Norvane has enough recent context; the last burst was sent to %1, which is asked whether it looks worth interrupting.</source>
        <translation>Norvane hat genug Kontext; die letzte Aktivitätsphase wurde an %1 gesendet, das gefragt wird, ob sich eine Unterbrechung lohnt.</translation>
    </message>
</context>
<context>
    <name>NudgeView</name>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Tell Norvane what you&apos;re doing</source>
        <translation>Erzählen Sie Norvane, was Sie gerade tun</translation>
    </message>
    <message>
        <source>Tell me</source>
        <translation>Vorschlag anzeigen</translation>
    </message>
    <message>
        <source>Snooze 1 hour</source>
        <translation>1 Stunde Ruhe</translation>
    </message>
    <message>
        <source>Snooze nudges for 1 hour</source>
        <translation>Hinweise für 1 Stunde stummschalten</translation>
    </message>
    <message>
        <source>Not now</source>
        <translation>Nicht jetzt</translation>
    </message>
    <message>
        <source>Generating one specific suggestion for what you’re doing right now.</source>
        <translation>Ein konkreter Vorschlag für das, was Sie gerade tun, wird erstellt.</translation>
    </message>
    <message>
        <source>Prompt</source>
        <translation>Prompt</translation>
    </message>
    <message>
        <source>Copied</source>
        <translation>Kopiert</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Not useful</source>
        <translation>Nicht hilfreich</translation>
    </message>
</context>
<context>
    <name>PermissionCard</name>
    <message>
        <source>Missing</source>
        <translation>Fehlt</translation>
    </message>
</context>
<context>
    <name>SessionCapabilities</name>
    <message>
        <source>X display</source>
        <translation>X-Display</translation>
    </message>
    <message>
        <source>Norvane can see the windows of this session.</source>
        <translation>Norvane kann die Fenster dieser Sitzung sehen.</translation>
    </message>
    <message>
        <source>Keyboard and mouse activity</source>
        <translation>Tastatur- und Mausaktivität</translation>
    </message>
    <message>
        <source>XInput 2 tells Norvane when you are active, without reading what you type.</source>
        <translation>XInput 2 teilt Norvane mit, wann Sie aktiv sind, ohne zu lesen, was Sie tippen.</translation>
    </message>
    <message>
        <source>Needs the XInput 2.2 extension of the X server; without it no activity starts a capture.</source>
        <translation>Benötigt die Erweiterung XInput 2.2 des X-Servers; ohne sie löst keine Aktivität eine Aufnahme aus.</translation>
    </message>
    <message>
        <source>Covered windows</source>
        <translation>Verdeckte Fenster</translation>
    </message>
    <message>
        <source>Composite gives the true contents of a window even where others cover it.</source>
        <translation>Composite liefert den echten Inhalt eines Fensters, auch wo andere Fenster es verdecken.</translation>
    </message>
    <message>
        <source>Without the Composite extension, covered parts of a window are captured as the screen shows them.</source>
        <translation>Ohne die Composite-Erweiterung werden verdeckte Teile eines Fensters so aufgenommen, wie der Bildschirm sie zeigt.</translation>
    </message>
    <message>
        <source>Fast capture</source>
        <translation>Schnelle Aufnahme</translation>
    </message>
    <message>
        <source>MIT-SHM hands each picture over in shared memory.</source>
        <translation>MIT-SHM übergibt jedes Bild über gemeinsamen Speicher.</translation>
    </message>
    <message>
        <source>Without MIT-SHM (for example over a remote X connection), pictures are copied over the connection, which is slower.</source>
        <translation>Ohne MIT-SHM (zum Beispiel über eine entfernte X-Verbindung) werden Bilder über die Verbindung kopiert, was langsamer ist.</translation>
    </message>
    <message>
        <source>Native Wayland windows</source>
        <translation>Native Wayland-Fenster</translation>
    </message>
    <message>
        <source>This is an X11 session: every window is visible to Norvane.</source>
        <translation>Dies ist eine X11-Sitzung: Norvane sieht jedes Fenster.</translation>
    </message>
    <message>
        <source>Wayland compositor</source>
        <translation>Wayland-Compositor</translation>
    </message>
    <message>
        <source>Norvane talks to this session&apos;s compositor directly.</source>
        <translation>Norvane spricht direkt mit dem Compositor dieser Sitzung.</translation>
    </message>
    <message>
        <source>The compositor says when input starts and stops, to about a second. It does not say which key or button, and moving the pointer counts as activity too.</source>
        <translation>Der Compositor meldet auf etwa eine Sekunde genau, wann Eingaben beginnen und enden. Welche Taste, verrät er nicht, und auch Mausbewegungen zählen als Aktivität.</translation>
    </message>
    <message>
        <source>GNOME&apos;s idle monitor says when input starts and stops, to about a second. It does not say which key or button, and moving the pointer counts as activity too.</source>
        <translation>GNOMEs Leerlaufüberwachung meldet auf etwa eine Sekunde genau, wann Eingaben beginnen und enden. Welche Taste, verrät sie nicht, und auch Mausbewegungen zählen als Aktivität.</translation>
    </message>
    <message>
        <source>Active window</source>
        <translation>Aktives Fenster</translation>
    </message>
    <message>
        <source>This compositor does not tell other programs which window is active (GNOME needs an extension for that), so Norvane captures the whole screen in place of one window.</source>
        <translation>Dieser Compositor teilt anderen Programmen nicht mit, welches Fenster aktiv ist (GNOME braucht dafür eine Erweiterung); Norvane nimmt deshalb statt eines Fensters den ganzen Bildschirm auf.</translation>
    </message>
    <message>
        <source>Window capture</source>
        <translation>Fensteraufnahme</translation>
    </message>
    <message>
        <source>Screencopy copies the active window&apos;s part of the screen without a dialog; Sway says where the window lies. A window that Norvane&apos;s own card covers is not captured.</source>
        <translation>Screencopy kopiert ohne Dialog den Teil des Bildschirms, den das aktive Fenster einnimmt; Sway sagt, wo das Fenster liegt. Ein Fenster, das Norvanes eigene Karte verdeckt, wird nicht aufgenommen.</translation>
    </message>
    <message>
        <source>Screencopy copies the whole screen that shows the active window: this compositor does not say where windows lie, so other windows on that screen are in the picture too.</source>
        <translation>Screencopy kopiert den ganzen Bildschirm mit dem aktiven Fenster: Dieser Compositor sagt nicht, wo Fenster liegen, deshalb sind auch andere Fenster dieses Bildschirms im Bild.</translation>
    </message>
    <message>
        <source>Pictures come from what you share through the desktop&apos;s dialog. Share a whole screen and Norvane cuts the active window out of it where the compositor says where it lies; share one window and only that window is seen.</source>
        <translation>Die Bilder stammen aus dem, was Sie im Dialog des Desktops freigeben. Geben Sie einen ganzen Bildschirm frei, schneidet Norvane das aktive Fenster heraus, wo der Compositor sagt, wo es liegt; geben Sie ein Fenster frei, ist nur dieses zu sehen.</translation>
    </message>
    <message>
        <source>Pictures come from what you share through the desktop&apos;s dialog: the whole shared screen, or the one shared window.</source>
        <translation>Die Bilder stammen aus dem, was Sie im Dialog des Desktops freigeben: der ganze freigegebene Bildschirm oder das eine freigegebene Fenster.</translation>
    </message>
    <message>
        <source>This compositor lets no program copy the screen without asking, and no screen-cast portal is running (install xdg-desktop-portal and your desktop&apos;s backend for it), so no capture is possible.</source>
        <translation>Dieser Compositor lässt kein Programm ohne Nachfrage den Bildschirm kopieren, und kein Bildschirmfreigabe-Portal läuft (installieren Sie xdg-desktop-portal und das Backend Ihres Desktops dafür); deshalb ist keine Aufnahme möglich.</translation>
    </message>
    <message>
        <source>This is a Wayland session, but Norvane was started for X11 (NORVANE_PLATFORM=x11), so it sees only applications that run through XWayland. Start it without that setting to use its Wayland support.</source>
        <translation>Dies ist eine Wayland-Sitzung, aber Norvane wurde für X11 gestartet (NORVANE_PLATFORM=x11) und sieht daher nur Anwendungen, die über XWayland laufen. Starten Sie es ohne diese Einstellung, um seine Wayland-Unterstützung zu nutzen.</translation>
    </message>
    <message>
        <source>Screen</source>
        <translation>Bildschirm</translation>
    </message>
    <message>
        <source>Whole screen</source>
        <translation>Ganzer Bildschirm</translation>
    </message>
    <message>
        <source>The compositor names the active window and its application (%1).</source>
        <translation>Der Compositor nennt das aktive Fenster und seine Anwendung (%1).</translation>
    </message>
    <message>
        <source>Screen sharing</source>
        <translation>Bildschirmfreigabe</translation>
    </message>
    <message>
        <source>No X display is reachable.</source>
        <translation>Kein X-Display ist erreichbar.</translation>
    </message>
</context>
<context>
    <name>SettingsView</name>
    <message>
        <source>Set Up Norvane</source>
        <translation>Norvane einrichten</translation>
    </message>
    <message>
        <source>Norvane Settings</source>
        <translation>Norvane-Einstellungen</translation>
    </message>
    <message>
        <source>Add your Gemini key, confirm permissions, and shape how aggressively Norvane watches for opportunities.</source>
        <translation>Fügen Sie Ihren Gemini-Schlüssel hinzu, prüfen Sie die Berechtigungen und legen Sie fest, wie eifrig Norvane nach Gelegenheiten sucht.</translation>
    </message>
    <message>
        <source>Tune capture behavior, permissions, and debugging tools with a cleaner view of what the app is doing locally.</source>
        <translation>Passen Sie Aufnahmeverhalten, Berechtigungen und Diagnosewerkzeuge an und sehen Sie klarer, was die Anwendung lokal tut.</translation>
    </message>
    <message>
        <source>Confidence %1</source>
        <translation>Konfidenz %1</translation>
    </message>
    <message>
        <source>Setup only needs to happen once.</source>
        <translation>Die Einrichtung ist nur einmal nötig.</translation>
    </message>
    <message>
        <source>Changes save immediately.</source>
        <translation>Änderungen werden sofort gespeichert.</translation>
    </message>
    <message>
        <source>Continue</source>
        <translation>Weiter</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>Permissions</source>
        <translation>Berechtigungen</translation>
    </message>
    <message>
        <source>Available</source>
        <translation>Verfügbar</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Refresh reads again what this session offers.</source>
        <translation>„Aktualisieren“ liest erneut, was diese Sitzung bietet.</translation>
    </message>
    <message>
        <source>Monitoring</source>
        <translation>Überwachung</translation>
    </message>
    <message>
        <source>Adjust cadence, thresholds, and the amount of interruption tolerance.</source>
        <translation>Passen Sie Takt, Schwellenwerte und die Toleranz für Unterbrechungen an.</translation>
    </message>
    <message>
        <source>Screenshot interval</source>
        <translation>Intervall für Bildschirmfotos</translation>
    </message>
    <message>
        <source>Confidence threshold</source>
        <translation>Konfidenzschwelle</translation>
    </message>
    <message>
        <source>Higher values mean fewer nudges, but more confidence that the interruption is worthwhile.</source>
        <translation>Höhere Werte bedeuten weniger Hinweise, aber mehr Sicherheit, dass sich die Unterbrechung lohnt.</translation>
    </message>
    <message>
        <source>Cards per hour</source>
        <translation>Karten pro Stunde</translation>
    </message>
    <message>
        <source>1 card</source>
        <translation>1 Karte</translation>
    </message>
    <message>
        <source>%1 cards</source>
        <translation>%1 Karten</translation>
    </message>
    <message>
        <source>Time between cards</source>
        <translation>Abstand zwischen Karten</translation>
    </message>
    <message>
        <source>No minimum</source>
        <translation>Kein Mindestabstand</translation>
    </message>
    <message>
        <source>%1 minutes</source>
        <translation>%1 Minuten</translation>
    </message>
    <message>
        <source>When the budget is spent, Norvane sends nothing to Gemini until a card could appear again. It never shows a card over a full-screen window.</source>
        <translation>Ist das Kontingent aufgebraucht, sendet Norvane nichts an Gemini, bis wieder eine Karte erscheinen darf. Über einem Vollbildfenster zeigt es nie eine Karte.</translation>
    </message>
    <message>
        <source>Screenshots captured in last hour</source>
        <translation>Bildschirmfotos der letzten Stunde</translation>
    </message>
    <message>
        <source>This is a rolling one-hour count of successful captures.</source>
        <translation>Anzahl der erfolgreichen Aufnahmen in der jeweils letzten Stunde.</translation>
    </message>
    <message>
        <source>What this session lets Norvane see and do, and what it cannot.</source>
        <translation>Was diese Sitzung Norvane sehen und tun lässt, und was nicht.</translation>
    </message>
    <message>
        <source>Ask the desktop again</source>
        <translation>Den Desktop erneut fragen</translation>
    </message>
    <message>
        <source>The desktop&apos;s own dialog chooses the window or screen Norvane may see.</source>
        <translation>Der Dialog des Desktops legt fest, welches Fenster oder welchen Bildschirm Norvane sehen darf.</translation>
    </message>
</context>
<context>
    <name>StartupSection</name>
    <message>
        <source>Start at Login</source>
        <translation>Beim Anmelden starten</translation>
    </message>
    <message>
        <source>Norvane starts with monitoring off, so starting it at login only puts it in the tray.</source>
        <translation>Norvane startet mit ausgeschalteter Überwachung; beim Anmelden gestartet, erscheint es also nur im Infobereich.</translation>
    </message>
    <message>
        <source>Start Norvane when you log in</source>
        <translation>Norvane beim Anmelden starten</translation>
    </message>
</context>
<context>
    <name>StatusReport</name>
    <message>
        <source>Norvane is not running.</source>
        <translation>Norvane läuft nicht.</translation>
    </message>
    <message>
        <source>Monitoring is off</source>
        <translation>Überwachung ist aus</translation>
    </message>
    <message>
        <source>Monitoring is on</source>
        <translation>Überwachung ist an</translation>
    </message>
    <message>
        <source>Monitoring is paused until %1</source>
        <translation>Überwachung ist bis %1 pausiert</translation>
    </message>
    <message>
        <source>Monitoring is paused</source>
        <translation>Überwachung ist pausiert</translation>
    </message>
    <message>
        <source>%1, with 1 capture in the last hour.</source>
        <translation>%1, mit 1 Aufnahme in der letzten Stunde.</translation>
    </message>
    <message>
        <source>%1, with %2 captures in the last hour.</source>
        <translation>%1, mit %2 Aufnahmen in der letzten Stunde.</translation>
    </message>
    <message>
        <source>Last status: %1</source>
        <translation>Letzter Stand: %1</translation>
    </message>
</context>
<context>
    <name>norvane::CaptureRetention</name>
    <message>
        <source>Forever</source>
        <translation>Unbegrenzt</translation>
    </message>
    <message>
        <source>1 day</source>
        <translation>1 Tag</translation>
    </message>
    <message>
        <source>%1 days</source>
        <translation>%1 Tage</translation>
    </message>
    <message>
        <source>No limit</source>
        <translation>Keine Grenze</translation>
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
        <source>Counting the stored captures.</source>
        <translation>Die gespeicherten Aufnahmen werden gezählt.</translation>
    </message>
    <message>
        <source>No captures are stored.</source>
        <translation>Es sind keine Aufnahmen gespeichert.</translation>
    </message>
    <message>
        <source>1 capture is stored, taking %1.</source>
        <translation>1 Aufnahme ist gespeichert und belegt %1.</translation>
    </message>
    <message>
        <source>%1 captures are stored, taking %2.</source>
        <translation>%1 Aufnahmen sind gespeichert und belegen %2.</translation>
    </message>
    <message>
        <source>Delete every stored capture? This cannot be undone. The recent screenshots monitoring is working with stay until it stops.</source>
        <translation>Alle gespeicherten Aufnahmen löschen? Das kann nicht rückgängig gemacht werden. Die aktuellen Bildschirmfotos, mit denen die Überwachung arbeitet, bleiben, bis sie endet.</translation>
    </message>
    <message>
        <source>Delete every stored capture and the recent screenshots? This cannot be undone.</source>
        <translation>Alle gespeicherten Aufnahmen und die aktuellen Bildschirmfotos löschen? Das kann nicht rückgängig gemacht werden.</translation>
    </message>
</context>
<context>
    <name>norvane::FailureNotifier</name>
    <message>
        <source>Open Norvane&apos;s settings and enter your Gemini API key.</source>
        <translation>Öffnen Sie die Einstellungen von Norvane und geben Sie Ihren Gemini-API-Schlüssel ein.</translation>
    </message>
    <message>
        <source>Open Norvane&apos;s settings and check the API key.</source>
        <translation>Öffnen Sie die Einstellungen von Norvane und prüfen Sie den API-Schlüssel.</translation>
    </message>
    <message>
        <source>Your Gemini usage limit is reached; check your plan in Google AI Studio or wait a while.</source>
        <translation>Ihr Gemini-Nutzungslimit ist erreicht; prüfen Sie Ihren Tarif in Google AI Studio oder warten Sie eine Weile.</translation>
    </message>
    <message>
        <source>Check your internet connection; Norvane tries again with your next burst of activity.</source>
        <translation>Prüfen Sie Ihre Internetverbindung; Norvane versucht es bei Ihrer nächsten Aktivitätsphase erneut.</translation>
    </message>
    <message>
        <source>Norvane tries again with your next burst of activity; its settings window shows the latest status.</source>
        <translation>Norvane versucht es bei Ihrer nächsten Aktivitätsphase erneut; das Einstellungsfenster zeigt den aktuellen Stand.</translation>
    </message>
    <message>
        <source>Norvane cannot analyze your work</source>
        <translation>Norvane kann Ihre Arbeit nicht analysieren</translation>
    </message>
    <message>
        <source>The last %1 analyses failed. %2 %3</source>
        <translation>Die letzten %1 Analysen sind fehlgeschlagen. %2 %3</translation>
    </message>
</context>
<context>
    <name>norvane::HistoryModel</name>
    <message>
        <source>Recommendation</source>
        <translation>Empfehlung</translation>
    </message>
    <message>
        <source>Analysis</source>
        <translation>Analyse</translation>
    </message>
    <message>
        <source>Sent to %1</source>
        <translation>Gesendet an %1</translation>
    </message>
</context>
<context>
    <name>norvane::HistoryWindowManager</name>
    <message>
        <source>Norvane History</source>
        <translation>Norvane-Verlauf</translation>
    </message>
</context>
<context>
    <name>norvane::LoginStartup</name>
    <message>
        <source>Norvane could not add itself to the programs that start when you log in (%1).</source>
        <translation>Norvane konnte sich nicht zu den Programmen hinzufügen, die beim Anmelden starten (%1).</translation>
    </message>
    <message>
        <source>Norvane could not remove itself from the programs that start when you log in (%1).</source>
        <translation>Norvane konnte sich nicht aus den Programmen entfernen, die beim Anmelden starten (%1).</translation>
    </message>
</context>
<context>
    <name>norvane::PortalScreenCast</name>
    <message>
        <source>This desktop offers no screen-cast portal, so Norvane cannot see other windows here.</source>
        <translation>Dieser Desktop bietet kein Bildschirmfreigabe-Portal; Norvane kann hier keine anderen Fenster sehen.</translation>
    </message>
    <message>
        <source>No window or screen has been chosen for Norvane to see yet: use Ask the desktop again.</source>
        <translation>Es wurde noch kein Fenster und kein Bildschirm für Norvane gewählt: Verwenden Sie „Den Desktop erneut fragen“.</translation>
    </message>
    <message>
        <source>Norvane sees the window or screen you chose in the desktop&apos;s dialog.</source>
        <translation>Norvane sieht das Fenster oder den Bildschirm, den Sie im Dialog des Desktops gewählt haben.</translation>
    </message>
</context>
<context>
    <name>norvane::RemoteCommands</name>
    <message>
        <source>Monitoring is off.</source>
        <translation>Die Überwachung ist aus.</translation>
    </message>
    <message>
        <source>Monitoring is paused until %1.</source>
        <translation>Die Überwachung ist bis %1 pausiert.</translation>
    </message>
    <message>
        <source>Monitoring is on.</source>
        <translation>Die Überwachung ist an.</translation>
    </message>
    <message>
        <source>Norvane is shutting down.</source>
        <translation>Norvane wird beendet.</translation>
    </message>
    <message>
        <source>Monitoring could not start; the settings window says why.</source>
        <translation>Die Überwachung konnte nicht starten; das Einstellungsfenster sagt, warum.</translation>
    </message>
    <message>
        <source>Monitoring needs a Gemini API key; add it in the settings window.</source>
        <translation>Die Überwachung braucht einen Gemini-API-Schlüssel; tragen Sie ihn im Einstellungsfenster ein.</translation>
    </message>
    <message>
        <source>Monitoring is off, so there is nothing to pause.</source>
        <translation>Die Überwachung ist aus, es gibt also nichts zu pausieren.</translation>
    </message>
    <message>
        <source>The settings window is open.</source>
        <translation>Das Einstellungsfenster ist offen.</translation>
    </message>
    <message>
        <source>The history window is open.</source>
        <translation>Das Verlaufsfenster ist offen.</translation>
    </message>
    <message>
        <source>Norvane does not know this command; the running copy may be an older version.</source>
        <translation>Norvane kennt diesen Befehl nicht; die laufende Kopie ist vielleicht eine ältere Version.</translation>
    </message>
    <message>
        <source>Monitoring needs a usable model server; the settings window says why.</source>
        <translation>Die Überwachung braucht einen nutzbaren Modellserver; das Einstellungsfenster sagt, warum.</translation>
    </message>
</context>
<context>
    <name>norvane::SessionBusService</name>
    <message>
        <source>A pause lasts from 1 to %1 minutes, not %2.</source>
        <translation>Eine Pause dauert 1 bis %1 Minuten, nicht %2.</translation>
    </message>
    <message>
        <source>Monitoring is off, so there is nothing to pause.</source>
        <translation>Die Überwachung ist aus, es gibt also nichts zu pausieren.</translation>
    </message>
</context>
<context>
    <name>norvane::SettingsController</name>
    <message>
        <source>Monitoring Off</source>
        <translation>Überwachung aus</translation>
    </message>
    <message>
        <source>Paused</source>
        <translation>Pausiert</translation>
    </message>
    <message>
        <source>Monitoring On</source>
        <translation>Überwachung an</translation>
    </message>
    <message>
        <source>This is longer than an API key can be (512 characters), so it was not saved. Paste the key alone.</source>
        <translation>Das ist länger, als ein API-Schlüssel sein kann (512 Zeichen), und wurde daher nicht gespeichert. Fügen Sie nur den Schlüssel ein.</translation>
    </message>
    <message>
        <source>Success: %1</source>
        <translation>Erfolgreich: %1</translation>
    </message>
    <message>
        <source>%1 seconds</source>
        <translation>%1 Sekunden</translation>
    </message>
    <message>
        <source>Monitoring is off</source>
        <translation>Überwachung ist aus</translation>
    </message>
    <message>
        <source>Monitoring is paused</source>
        <translation>Überwachung ist pausiert</translation>
    </message>
    <message>
        <source>Waiting for activity</source>
        <translation>Warten auf Aktivität</translation>
    </message>
    <message>
        <source>Collecting context</source>
        <translation>Kontext wird gesammelt</translation>
    </message>
    <message>
        <source>Analyzing recent activity</source>
        <translation>Aktuelle Aktivität wird analysiert</translation>
    </message>
    <message>
        <source>No opportunity found</source>
        <translation>Keine Gelegenheit gefunden</translation>
    </message>
    <message>
        <source>Nudge is ready</source>
        <translation>Hinweis ist bereit</translation>
    </message>
    <message>
        <source>Analysis failed</source>
        <translation>Analyse fehlgeschlagen</translation>
    </message>
    <message>
        <source>Stored locally on this computer. Norvane does not send screenshots anywhere except the Gemini request you explicitly enabled by turning monitoring on.</source>
        <translation>Wird lokal auf diesem Rechner gespeichert. Norvane sendet Bildschirmfotos nirgendwohin außer in der Gemini-Anfrage, die Sie ausdrücklich durch Einschalten der Überwachung erlaubt haben.</translation>
    </message>
    <message>
        <source>Screenshots go only to the model server on this computer; nothing leaves it. The key, if the server needs one, is stored locally.</source>
        <translation>Bildschirmfotos gehen nur an den Modellserver auf diesem Rechner; nichts verlässt ihn. Der Schlüssel, falls der Server einen braucht, wird lokal gespeichert.</translation>
    </message>
    <message>
        <source>Screenshots will go to the server at this address once it is complete.</source>
        <translation>Bildschirmfotos gehen an den Server unter dieser Adresse, sobald sie vollständig ist.</translation>
    </message>
    <message>
        <source>Screenshots go to %1 while monitoring is on: choose a server you trust with your screen. The key is stored locally on this computer.</source>
        <translation>Bildschirmfotos gehen an %1, solange die Überwachung an ist: Wählen Sie einen Server, dem Sie Ihren Bildschirm anvertrauen. Der Schlüssel wird lokal auf diesem Rechner gespeichert.</translation>
    </message>
</context>
<context>
    <name>norvane::SettingsWindowManager</name>
    <message>
        <source>Set Up Norvane</source>
        <translation>Norvane einrichten</translation>
    </message>
    <message>
        <source>Norvane Settings</source>
        <translation>Norvane-Einstellungen</translation>
    </message>
</context>
<context>
    <name>norvane::ShellCommands</name>
    <message>
        <source>Settings…</source>
        <translation>Einstellungen …</translation>
    </message>
    <message>
        <source>Quit Norvane</source>
        <translation>Norvane beenden</translation>
    </message>
    <message>
        <source>Exclude the current app</source>
        <translation>Aktuelle Anwendung ausnehmen</translation>
    </message>
    <message>
        <source>History…</source>
        <translation>Verlauf …</translation>
    </message>
    <message>
        <source>Monitoring: On</source>
        <translation>Überwachung: An</translation>
    </message>
    <message>
        <source>Monitoring: Off</source>
        <translation>Überwachung: Aus</translation>
    </message>
    <message>
        <source>Resume Monitoring</source>
        <translation>Überwachung fortsetzen</translation>
    </message>
    <message>
        <source>Pause for 30 min</source>
        <translation>30 Minuten pausieren</translation>
    </message>
    <message>
        <source>Resumes at %1</source>
        <translation>Wird um %1 fortgesetzt</translation>
    </message>
</context>
<context>
    <name>norvane::SingleInstance</name>
    <message>
        <source>Norvane sent an answer that could not be read.</source>
        <translation>Norvane hat eine Antwort gesendet, die nicht gelesen werden konnte.</translation>
    </message>
    <message>
        <source>The request was too large; Norvane refused it.</source>
        <translation>Die Anfrage war zu groß; Norvane hat sie abgelehnt.</translation>
    </message>
    <message>
        <source>Norvane could not read the request.</source>
        <translation>Norvane konnte die Anfrage nicht lesen.</translation>
    </message>
</context>
</TS>
