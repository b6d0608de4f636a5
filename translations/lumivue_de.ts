<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>AlbumFolder</name>
    <message>
        <source>The photo could not be saved: </source>
        <translation>Das Foto konnte nicht gespeichert werden: </translation>
    </message>
    <message>
        <source>the album folder %1 does not exist.</source>
        <translation>Der Albumordner %1 existiert nicht.</translation>
    </message>
    <message>
        <source>%1 is not a folder.</source>
        <translation>%1 ist kein Ordner.</translation>
    </message>
    <message>
        <source>the album folder %1 is read-only.</source>
        <translation>Der Albumordner %1 ist schreibgeschützt.</translation>
    </message>
    <message>
        <source>the disk holding the album folder %1 is full.</source>
        <translation>Der Datenträger mit dem Albumordner %1 ist voll.</translation>
    </message>
    <message>
        <source>The photo could not be saved in the album folder %1: %2.</source>
        <translation>Das Foto konnte nicht im Albumordner %1 gespeichert werden: %2.</translation>
    </message>
    <message>
        <source>The photo could not be saved: the album folder %1 has no free photo number left.</source>
        <translation>Das Foto konnte nicht gespeichert werden: Im Albumordner %1 ist keine Fotonummer mehr frei.</translation>
    </message>
    <message>
        <source>The video could not be saved: </source>
        <translation>Das Video konnte nicht gespeichert werden: </translation>
    </message>
    <message>
        <source>The video could not be saved in the album folder %1: %2.</source>
        <translation>Das Video konnte nicht im Albumordner %1 gespeichert werden: %2.</translation>
    </message>
    <message>
        <source>The video could not be saved: nothing was recorded.</source>
        <translation>Das Video konnte nicht gespeichert werden: Es wurde nichts aufgenommen.</translation>
    </message>
    <message>
        <source>The video could not be saved: the album folder %1 has no free number left. It stays in the folder as %2.</source>
        <translation>Das Video konnte nicht gespeichert werden: Im Albumordner %1 ist keine Nummer mehr frei. Es bleibt als %2 im Ordner.</translation>
    </message>
    <message>
        <source>The video could not be saved: its file was removed from the album folder %1 while recording.</source>
        <translation>Das Video konnte nicht gespeichert werden: Seine Datei wurde während der Aufnahme aus dem Albumordner %1 entfernt.</translation>
    </message>
</context>
<context>
    <name>Alert</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>AssetsLibrary</name>
    <message>
        <source>The photo could not be saved: the image is empty or cannot be encoded.</source>
        <translation>Das Foto konnte nicht gespeichert werden: Das Bild ist leer oder lässt sich nicht kodieren.</translation>
    </message>
    <message>
        <source>The photo could not be saved: its metadata could not be written (%1).</source>
        <translation>Das Foto konnte nicht gespeichert werden: Seine Metadaten ließen sich nicht schreiben (%1).</translation>
    </message>
</context>
<context>
    <name>GstCameraFrameSource</name>
    <message>
        <source>Camera format not supported</source>
        <translation>Kameraformat nicht unterstützt</translation>
    </message>
    <message>
        <source>Camera in use by another app</source>
        <translation>Kamera wird von einer anderen App benutzt</translation>
    </message>
    <message>
        <source>Camera lost - waiting for it</source>
        <translation>Kamera getrennt – warte auf Verbindung</translation>
    </message>
    <message>
        <source>the camera was closed</source>
        <translation>Die Kamera wurde geschlossen</translation>
    </message>
    <message>
        <source>no camera is open</source>
        <translation>Keine Kamera ist geöffnet</translation>
    </message>
    <message>
        <source>the camera is not streaming</source>
        <translation>Die Kamera liefert keine Bilder</translation>
    </message>
    <message>
        <source>the camera sent no picture within %1 s</source>
        <translation>Die Kamera hat binnen %1 s kein Bild geliefert</translation>
    </message>
    <message>
        <source>the camera sent no picture</source>
        <translation>Die Kamera hat kein Bild geliefert</translation>
    </message>
    <message>
        <source>the camera sent no picture at %1</source>
        <translation>Die Kamera hat bei %1 kein Bild geliefert</translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message>
        <source>Camera picture</source>
        <translation>Kamerabild</translation>
    </message>
    <message>
        <source>Enlight</source>
        <translation>Licht</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>Auto</translation>
    </message>
    <message>
        <source>Manual</source>
        <translation>Hand</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Aus</translation>
    </message>
    <message>
        <source>Color</source>
        <translation>Farbe</translation>
    </message>
    <message>
        <source>RGB</source>
        <translation>RGB</translation>
    </message>
    <message>
        <source>GREEN</source>
        <translation>GRÜN</translation>
    </message>
    <message>
        <source>B&amp;W</source>
        <translation>S/W</translation>
    </message>
    <message>
        <source>Preset</source>
        <translation>Profil</translation>
    </message>
    <message>
        <source>Low</source>
        <translation>Tief</translation>
    </message>
    <message>
        <source>Med</source>
        <translation>Mittel</translation>
    </message>
    <message>
        <source>High</source>
        <translation>Hoch</translation>
    </message>
    <message>
        <source>Photo</source>
        <translation>Foto</translation>
    </message>
    <message>
        <source>Torch</source>
        <translation>Taschenlampe</translation>
    </message>
    <message>
        <source>Switch camera</source>
        <translation>Kamera wechseln</translation>
    </message>
    <message>
        <source>Night mode</source>
        <translation>Nachtmodus</translation>
    </message>
    <message>
        <source>LEVEL</source>
        <translation>STUFE</translation>
    </message>
    <message>
        <source>Level</source>
        <translation>Stufe</translation>
    </message>
    <message>
        <source>ZOOM</source>
        <translation>ZOOM</translation>
    </message>
    <message>
        <source>Zoom</source>
        <translation>Zoom</translation>
    </message>
    <message>
        <source>Photo album</source>
        <translation>Fotoalbum</translation>
    </message>
    <message>
        <source>Take photo</source>
        <translation>Foto aufnehmen</translation>
    </message>
    <message>
        <source>Show or hide the controls</source>
        <translation>Bedienelemente ein- oder ausblenden</translation>
    </message>
    <message>
        <source>Self-timer</source>
        <translation>Selbstauslöser</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>Photo in %1 s; tap to cancel</source>
        <translation>Foto in %1 s; zum Abbrechen tippen</translation>
    </message>
    <message>
        <source>Photo or video</source>
        <translation>Foto oder Video</translation>
    </message>
    <message>
        <source>Video</source>
        <translation>Video</translation>
    </message>
    <message>
        <source>Recording, %1</source>
        <translation>Aufnahme, %1</translation>
    </message>
    <message>
        <source>Stop recording</source>
        <translation>Aufnahme beenden</translation>
    </message>
    <message>
        <source>Start recording</source>
        <translation>Aufnahme starten</translation>
    </message>
    <message>
        <source>Recording in %1 s; tap to cancel</source>
        <translation>Aufnahme in %1 s; zum Abbrechen tippen</translation>
    </message>
</context>
<context>
    <name>PhotoSaver</name>
    <message>
        <source>No photo was taken: %1.</source>
        <translation>Es wurde kein Foto aufgenommen: %1.</translation>
    </message>
    <message>
        <source>the camera gave no picture</source>
        <translation>Die Kamera hat kein Bild geliefert</translation>
    </message>
</context>
<context>
    <name>ScopeCamera</name>
    <message>
        <source>Camera cannot be opened: %1</source>
        <translation>Kamera lässt sich nicht öffnen: %1</translation>
    </message>
    <message>
        <source>Camera cannot be opened: the session refused it</source>
        <translation>Kamera lässt sich nicht öffnen: Die Sitzung hat sie abgewiesen</translation>
    </message>
    <message>
        <source>No camera found</source>
        <translation>Keine Kamera gefunden</translation>
    </message>
</context>
<context>
    <name>StreamStillImageOutput</name>
    <message>
        <source>capture session is not running</source>
        <translation>Die Aufnahme läuft nicht</translation>
    </message>
    <message>
        <source>still image output was closed before the picture was taken</source>
        <translation>Die Bildausgabe wurde geschlossen, bevor das Foto aufgenommen war</translation>
    </message>
</context>
<context>
    <name>VideoPlayer</name>
    <message>
        <source>Video</source>
        <translation>Video</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Abspielen</translation>
    </message>
    <message>
        <source>Position</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>%1 / %2</source>
        <translation>%1 / %2</translation>
    </message>
</context>
<context>
    <name>Viewer</name>
    <message>
        <source>Photo viewer</source>
        <translation>Fotoanzeige</translation>
    </message>
    <message>
        <source>Photo</source>
        <translation>Foto</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
</context>
<context>
    <name>photos::PhotoViewer</name>
    <message>
        <source>This photo cannot be shown.</source>
        <translation>Dieses Foto kann nicht angezeigt werden.</translation>
    </message>
    <message>
        <source>It was deleted or cannot be read.</source>
        <translation>Es wurde gelöscht oder ist nicht lesbar.</translation>
    </message>
    <message>
        <source>The file is damaged.</source>
        <translation>Die Datei ist beschädigt.</translation>
    </message>
    <message>
        <source>This video cannot be played.</source>
        <translation>Dieses Video kann nicht abgespielt werden.</translation>
    </message>
</context>
<context>
    <name>photos::VideoSaver</name>
    <message>
        <source>the camera gave no picture</source>
        <translation>Die Kamera hat kein Bild geliefert</translation>
    </message>
    <message>
        <source>No video was recorded: %1.</source>
        <translation>Es wurde kein Video aufgenommen: %1.</translation>
    </message>
    <message>
        <source>No video was recorded: %1</source>
        <translation>Es wurde kein Video aufgenommen: %1</translation>
    </message>
    <message>
        <source>The storage is full. What was recorded until then is kept.</source>
        <translation>Der Speicher ist voll. Was bis dahin aufgenommen wurde, bleibt erhalten.</translation>
    </message>
    <message>
        <source>The recording stopped: %1. What was recorded until then is kept.</source>
        <translation>Die Aufnahme wurde beendet: %1. Was bis dahin aufgenommen wurde, bleibt erhalten.</translation>
    </message>
    <message>
        <source>The video could not be saved: %1</source>
        <translation>Das Video konnte nicht gespeichert werden: %1</translation>
    </message>
</context>
<context>
    <name>ui::LumivueViewController</name>
    <message>
        <source>Error!</source>
        <translation>Fehler!</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Recording stopped</source>
        <translation>Aufnahme beendet</translation>
    </message>
    <message>
        <source>No video was recorded: there is no camera picture.</source>
        <translation>Es wurde kein Video aufgenommen: Es gibt kein Kamerabild.</translation>
    </message>
</context>
</TS>
