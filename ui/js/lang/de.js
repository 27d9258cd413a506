// Deutsch. Same ids as en.js; the user is addressed with "Sie", as German software does.

export default {
  name: 'Deutsch',
  dir: 'ltr',
  strings: {
    'doc.title': '{product} – Einrichtung',
    'brand.fallback': 'Einrichtung',
    'brand.subtitle': 'Installationsprogramm',
    'steps.label': 'Installationsschritte',
    'step.download': 'Download',
    'step.extract': 'Vorbereiten',
    'step.install': 'Installieren',
    'step.done': '(erledigt)',
    'step.current': '(aktueller Schritt)',
    'step.failed': '(fehlgeschlagen)',
    'step.stopped': '(abgebrochen)',
    'action.close': 'Schließen',
    'action.install': 'Installieren',
    'action.cancel': 'Abbrechen',
    'action.finish': 'Fertig',
    'action.open': 'Öffnen',
    'action.restartNow': 'Jetzt neu starten',
    'action.later': 'Später',
    'action.retryDownload': 'Erneut herunterladen',
    'action.retrySetup': 'Setup erneut starten',
    'loading.title': 'Wird vorbereitet …',
    'idle.title': '{product} installieren',
    'idle.text': '{product} wird heruntergeladen und auf diesem Computer installiert.',
    'idle.size': 'Downloadgröße: {size}',
    'idle.space': 'Downloadgröße: {size} · {free} frei auf {disk}',
    'disk.thisComputer': 'diesem Computer',
    'idle.noRoom':
      '{product} braucht zum Herunterladen und Entpacken mindestens {needed} auf {disk}, dort sind aber nur {free} frei. Schaffen Sie Platz und wählen Sie dann „Installieren“.',
    'download.title': '{product} wird heruntergeladen',
    'download.connecting': 'Verbindung zum Downloadserver wird hergestellt …',
    'download.estimating': 'Restzeit wird ermittelt …',
    'download.running': 'Wird heruntergeladen …',
    'download.waiting': 'Warten auf den Server …',
    'download.resumed': 'Download läuft wieder',
    'download.retryServer':
      'Der Server antwortet nicht. Neuer Versuch in {seconds} s (Versuch {attempt} von {attempts}) …',
    'download.retryNetwork':
      'Die Verbindung ist unterbrochen. Neuer Versuch in {seconds} s (Versuch {attempt} von {attempts}) …',
    'download.sizes': '{done} von {total}',
    'download.milestone': '{percent} heruntergeladen',
    'time.fewSeconds': 'Noch wenige Sekunden',
    'time.seconds': { one: 'Noch {count} Sekunde', other: 'Noch {count} Sekunden' },
    'time.minutes': { one: 'Noch etwa {count} Minute', other: 'Noch etwa {count} Minuten' },
    'time.hours': 'Noch etwa {hours}',
    'time.hoursMinutes': 'Noch etwa {hours} und {minutes}',
    'extract.title': 'Dateien werden vorbereitet',
    'extract.text': '{product} wird entpackt …',
    'install.title': 'Installation läuft',
    'install.text':
      'Folgen Sie den Schritten im Setup-Fenster von {product}. Danach erscheint dieses Fenster wieder.',
    'cancelling.title': 'Wird abgebrochen …',
    'cancelling.text': 'Die Installation wird gestoppt. Das dauert einen Moment.',
    'action.pause': 'Pausieren',
    'action.resume': 'Fortsetzen',
    'action.tryNow': 'Sofort versuchen',
    'pausing.title': 'Wird angehalten …',
    'paused.title': 'Download angehalten',
    'paused.kept': '{kept} von {total} bleiben erhalten. „Fortsetzen“ macht dort weiter.',
    'paused.nothingKept': 'Vom Download konnte nichts erhalten bleiben: „Fortsetzen“ beginnt von vorn.',
    'retry.continues': '„Erneut herunterladen“ macht bei den bereits geladenen {kept} weiter.',
    'download.retryFor': 'Das Installationsprogramm versucht es bis zu {time} lang weiter.',
    'download.retryingNow': 'Neuer Versuch läuft …',
    'closing.title': 'Wird geschlossen …',
    'closing.text': 'Vorgänge werden beendet und temporäre Dateien entfernt.',
    'success.title': '{product} ist installiert',
    'success.start': 'Sie können {product} jetzt starten.',
    'success.restart': 'Starten Sie den Computer neu, um die Installation abzuschließen.',
    'success.where': 'Installiert in {folder}',
    'restart.save': 'Speichern Sie Ihre Arbeit in anderen Programmen, bevor Sie neu starten.',
    'restart.asking': 'Der Neustart des Computers wird angefordert …',
    'restart.accepted': 'Der Computer wird neu gestartet.',
    'restart.failed':
      'Der Computer konnte von hier aus nicht neu gestartet werden. Speichern Sie Ihre Arbeit und starten Sie ihn selbst neu, um die Installation abzuschließen.',
    'open.started': '{product} wird gestartet.',
    'open.failed':
      '{product} konnte von hier aus nicht gestartet werden. Starten Sie es selbst aus {folder}.',
    'cancelled.title': 'Installation abgebrochen',
    'cancelled.bySetup': 'Das Setup von {product} wurde abgebrochen. Es wurde nichts installiert.',
    'cancelled.byUser': '{product} wurde nicht installiert. Sie können jederzeit neu beginnen.',
    'retry.startsOver': '„Erneut herunterladen“ beginnt den Download wieder von vorn.',
    'failure.code': 'Fehler {code}',
    'failure.details': 'Details',
    'failure.copy': 'Details kopieren',
    'failure.copied': 'Kopiert',
    'failure.notCopied': 'Kopieren nicht möglich: Markieren Sie den Text',
    'disk.needed':
      '{product} braucht {needed} auf {disk}, dort sind aber nur {available} frei. Schaffen Sie mindestens {missing} Platz und versuchen Sie es dann erneut.',
    'link.licence': 'Lizenzbedingungen',
    'link.support': 'Support kontaktieren',
    'link.downloadPage': 'Neue Kopie holen',
    'close.title': 'Installation beenden?',
    'close.text':
      '{product} ist noch nicht installiert. Wenn Sie jetzt schließen, endet die Installation hier.',
    'close.confirm': 'Beenden und schließen',
    'close.cancel': 'Weiter installieren',
    'cancel.title': 'Installation abbrechen?',
    'cancel.text':
      '{product} ist noch nicht installiert. Wenn Sie jetzt abbrechen, endet die Installation hier.',
    'cancel.confirm': 'Installation abbrechen',
    'report.link': 'Problem melden',
    'report.title': 'Problembericht senden?',
    'report.intro': 'Der Bericht hilft, die Ursache des Problems zu finden. Er enthält:',
    'report.itemFailure': 'was schiefgelaufen ist, mit den technischen Details',
    'report.itemLog': {
      one: 'die letzte Zeile des Installationsprotokolls, mit Ordnernamen',
      other: 'die letzten {count} Zeilen des Installationsprotokolls, mit Ordnernamen',
    },
    'report.itemSystem': 'Prozessor, Speicherplatz und Geräte-ID dieses Computers',
    'report.itemAddress': 'die Downloadadresse und die Version der Browser-Engine der Seite',
    'report.show': 'Bericht anzeigen',
    'report.send': 'Senden',
    'report.dontSend': 'Nicht senden',
    'report.preparing': 'Bericht wird erstellt …',
    'report.sending': 'Bericht wird gesendet …',
    'report.passedOn': 'Bericht um {time} zum Senden übergeben. Referenz: {ref}',
    'report.failed': 'Der Bericht konnte nicht gesendet werden. Referenz: {ref}',
  },
  failures: {
    download: {
      65536: [
        'Anmeldung im Netzwerk erforderlich',
        'Das Netzwerk hat statt des Downloads eine Webseite geliefert, wie es Netzwerke in Hotels, Flughäfen und Firmen tun, bis Sie sich anmelden. Öffnen Sie einen Webbrowser und melden Sie sich dort im Netzwerk an. Versuchen Sie es danach erneut.',
      ],
      1603: [
        'Download unterbrochen',
        'Der Download wurde unerwartet beendet. Versuchen Sie es erneut.',
      ],
      1604: [
        'Download fehlgeschlagen',
        'Die Datei konnte nicht heruntergeladen werden. Prüfen Sie Ihre Internetverbindung und versuchen Sie es erneut.',
      ],
      1460: [
        'Die Verbindung bricht immer wieder ab',
        'Der Download wurde nach wiederholten Netzwerkfehlern gestoppt. Prüfen Sie Ihre Internetverbindung und versuchen Sie es erneut.',
      ],
      23: [
        'Der Download ist beschädigt',
        'Die heruntergeladene Datei stimmt nicht mit dem Original überein; vermutlich wurde sie unterwegs beschädigt. Versuchen Sie es erneut.',
      ],
      24: [
        'Der Download ist unvollständig',
        'Die heruntergeladene Datei hat nicht die erwartete Größe. Versuchen Sie es erneut.',
      ],
      87: [
        'Die Downloadadresse wurde abgelehnt',
        'Von der angegebenen Adresse lädt das Installationsprogramm nicht. Besorgen Sie sich eine neue Kopie des Installationsprogramms.',
      ],
      256: [
        'Der Download ist nicht signiert',
        'Die Signatur fehlt oder konnte nicht abgerufen werden, daher lässt sich der Download nicht prüfen. Versuchen Sie es erneut; klappt es weiterhin nicht, besorgen Sie sich eine neue Kopie des Installationsprogramms.',
      ],
      257: [
        'Diese Version ist für das Installationsprogramm zu alt',
        'Der Download ist eine ältere Version von {product}, als dieses Installationsprogramm annimmt; er wurde nicht verwendet. Ein neuer Versuch lädt dieselbe Datei: Der Hersteller muss eine aktuelle Version veröffentlichen. Wenden Sie sich an den Support.',
      ],
      272: [
        'Dieser Download ist nicht {product}',
        'Der Download gehört zu einem anderen Produkt; er wurde nicht verwendet. Ein neuer Versuch lädt dieselbe Datei: Der Hersteller muss die richtige Version veröffentlichen. Wenden Sie sich an den Support.',
      ],
      24592: [
        'Dieser Download konnte nicht verifiziert werden',
        'Die Signatur passt nicht; die Datei wurde möglicherweise verändert. Es wurde nichts ausgeführt. Besorgen Sie sich eine neue Kopie des Installationsprogramms.',
      ],
      400: [
        'Der Downloadlink ist ungültig',
        'Der Server hat die Anfrage nicht angenommen. Besorgen Sie sich eine neue Kopie des Installationsprogramms.',
      ],
      401: [
        'Der Server verweigert den Download',
        'Der Server verlangt Zugangsdaten, die dieses Installationsprogramm nicht hat. Besorgen Sie sich eine neue Kopie des Installationsprogramms.',
      ],
      403: [
        'Der Downloadlink ist abgelaufen',
        'Der Server verweigert den Zugriff, wie bei einem abgelaufenen Link. Versuchen Sie es erneut; klappt es weiterhin nicht, besorgen Sie sich eine neue Kopie des Installationsprogramms.',
      ],
      404: [
        'Die Datei wurde nicht gefunden',
        'Unter dieser Adresse liegt keine Datei. Besorgen Sie sich eine neue Kopie des Installationsprogramms.',
      ],
      65537: [
        'Der Proxy Ihres Netzwerks verlangt eine Anmeldung',
        'Ihr Netzwerk leitet Downloads über einen Proxyserver, der einen Benutzernamen und ein Kennwort verlangt, die dieses Installationsprogramm nicht angeben kann. Bitten Sie Ihre Netzwerkadministration, diesen Download freizugeben, oder versuchen Sie es in einem anderen Netzwerk erneut.',
      ],
      408: [
        'Zeitüberschreitung beim Server',
        'Der Server hat zu lange nicht geantwortet. Versuchen Sie es gleich noch einmal.',
      ],
      410: [
        'Diese Version ist nicht mehr verfügbar',
        'Der Server bietet diese Datei nicht mehr an. Besorgen Sie sich eine neue Kopie des Installationsprogramms.',
      ],
      429: [
        'Der Server ist ausgelastet',
        'Beim Server gehen zu viele Anfragen ein. Warten Sie ein paar Minuten und versuchen Sie es dann erneut.',
      ],
      500: [
        'Störung beim Server',
        'Der Downloadserver meldet einen internen Fehler. Versuchen Sie es später erneut.',
      ],
      502: [
        'Der Server ist nicht erreichbar',
        'Ein Gateway zwischen Ihnen und dem Downloadserver ist ausgefallen. Versuchen Sie es später erneut.',
      ],
      503: [
        'Der Server ist nicht verfügbar',
        'Der Downloadserver ist ausgefallen oder überlastet. Versuchen Sie es später erneut.',
      ],
      504: [
        'Zeitüberschreitung beim Server',
        'Ein Gateway auf dem Weg zum Downloadserver hat das Warten aufgegeben. Versuchen Sie es später erneut.',
      ],
      12002: [
        'Zeitüberschreitung der Verbindung',
        'Der Downloadserver hat nicht rechtzeitig geantwortet. Prüfen Sie Ihre Internetverbindung und versuchen Sie es erneut.',
      ],
      12007: [
        'Der Server wurde nicht gefunden',
        'Der Name des Downloadservers ließ sich nicht auflösen. Prüfen Sie Ihre Internetverbindung und versuchen Sie es erneut.',
      ],
      12029: [
        'Keine Verbindung zum Server',
        'Der Downloadserver ist nicht erreichbar. Prüfen Sie Internetverbindung und Firewall und versuchen Sie es erneut.',
      ],
      12030: [
        'Die Verbindung wurde getrennt',
        'Die Verbindung zum Downloadserver ist abgerissen. Versuchen Sie es erneut.',
      ],
      12032: [
        'Die Verbindung wurde zurückgesetzt',
        'Der Downloadserver verlangt einen Neubeginn. Versuchen Sie es erneut.',
      ],
      12044: [
        'Der Server verlangt ein Zertifikat',
        'Der Downloadserver verlangt ein Clientzertifikat, das auf diesem Computer fehlt. Bitten Sie Ihre Netzwerkadministration, eines einzurichten.',
      ],
      12152: [
        'Ungültige Antwort vom Server',
        'Die Antwort des Downloadservers ist für das Installationsprogramm unverständlich. Versuchen Sie es später erneut.',
      ],
      12175: [
        'Sichere Verbindung fehlgeschlagen',
        'Das Zertifikat des Servers ließ sich nicht prüfen. Kontrollieren Sie Datum und Uhrzeit des Computers und versuchen Sie es erneut.',
      ],
      112: [
        'Nicht genug Speicherplatz',
        'Auf dem Laufwerk des temporären Ordners ist nicht genug Platz frei. Schaffen Sie Platz und versuchen Sie es dann erneut.',
      ],
      39: [
        'Nicht genug Speicherplatz',
        'Auf dem Laufwerk des temporären Ordners ist nicht genug Platz frei. Schaffen Sie Platz und versuchen Sie es dann erneut.',
      ],
      5: [
        'Zugriff verweigert',
        'Das Installationsprogramm darf nicht in seinen temporären Ordner schreiben. Starten Sie den Computer neu und versuchen Sie es dann erneut.',
      ],
      3: [
        'Der temporäre Ordner fehlt',
        'Der Ordner für temporäre Dateien wurde nicht gefunden und ließ sich nicht anlegen. Starten Sie den Computer neu und versuchen Sie es dann erneut.',
      ],
      206: [
        'Der Dateipfad ist zu lang',
        'Der temporäre Ordner liegt zu tief verschachtelt, um den Download aufzunehmen. Melden Sie das Problem, damit der Support helfen kann.',
      ],
      267: [
        'Eine Datei ist im Weg',
        'Wo das Installationsprogramm seinen temporären Ordner anlegen will, liegt bereits eine Datei. Starten Sie den Computer neu und versuchen Sie es dann erneut.',
      ],
      12005: [
        'Die Downloadadresse ist ungültig',
        'Die Adresse der Datei ist fehlerhaft. Besorgen Sie sich eine neue Kopie des Installationsprogramms.',
      ],
      12006: [
        'Die Downloadadresse wird nicht unterstützt',
        'Die Adresse verwendet ein Protokoll, über das das Installationsprogramm nicht laden kann. Besorgen Sie sich eine neue Kopie des Installationsprogramms.',
      ],
      '4xx': [
        'Der Server verweigert den Download',
        'Der Server antwortete mit HTTP-Status {status}. Besorgen Sie sich eine neue Kopie des Installationsprogramms.',
      ],
      '5xx': [
        'Störung beim Server',
        'Der Server antwortete mit HTTP-Status {status}. Versuchen Sie es später erneut.',
      ],
      net: [
        'Netzwerkfehler',
        'Der Download konnte nicht fortgesetzt werden. Prüfen Sie Ihre Internetverbindung und versuchen Sie es erneut.',
      ],
      '*': [
        'Download fehlgeschlagen',
        'Die Datei konnte nicht heruntergeladen werden. Versuchen Sie es erneut.',
      ],
    },
    unzip: {
      2: [
        'Der Download ist kein gültiges Paket',
        'Die heruntergeladene Datei ließ sich nicht als Archiv öffnen; sie ist vielleicht beschädigt. Versuchen Sie es erneut.',
      ],
      1632: [
        'Die Dateien konnten nicht vorbereitet werden',
        'Einige Dateien von {product} ließen sich nicht entpacken. Das Paket ist vielleicht beschädigt oder das Laufwerk voll. Geben Sie Speicherplatz frei und versuchen Sie es dann erneut.',
      ],
      112: [
        'Nicht genug Speicherplatz',
        'Zum Entpacken ist nicht genug Platz frei. Schaffen Sie Platz und versuchen Sie es dann erneut.',
      ],
      256: [
        'Das Paket wurde nicht verifiziert',
        'Das heruntergeladene Paket war nicht verifiziert, daher wurde nichts entpackt. Versuchen Sie es erneut.',
      ],
      '*': [
        'Die Dateien konnten nicht vorbereitet werden',
        'Das heruntergeladene Paket ließ sich nicht entpacken. Versuchen Sie es erneut.',
      ],
    },
    setup: {
      404: [
        'Das Setup-Programm fehlt',
        'Im heruntergeladenen Paket ist kein {launcher} enthalten. Besorgen Sie sich eine neue Kopie des Installationsprogramms.',
      ],
      2: [
        'Das Setup-Programm startet nicht',
        'Das Setup-Programm oder eine Datei, die es braucht, wurde nicht gefunden. Starten Sie das Setup erneut.',
      ],
      5: [
        'Das Setup-Programm startet nicht',
        'Die Berechtigung zum Ausführen des Setup-Programms fehlt. Bitten Sie Ihre Administration um die Berechtigung und starten Sie das Setup dann erneut.',
      ],
      193: [
        'Das Setup-Programm startet nicht',
        'Das Setup-Programm kann auf diesem Computer nicht ausgeführt werden. Besorgen Sie sich die Version für diesen Computer.',
      ],
      120: [
        'Das Setup-Programm startet nicht',
        'Das System konnte das Setup-Programm nicht starten. Starten Sie den Computer neu und starten Sie das Setup dann erneut.',
      ],
      3: ['Das Setup-Programm startet nicht', 'Ein Ordner auf dem Pfad des Setup-Programms fehlt. Starten Sie das Setup erneut.'],
      4: [
        'Das Setup-Programm startet nicht',
        'Auf diesem Computer sind zu viele Dateien geöffnet. Schließen Sie einige Programme und versuchen Sie es erneut.',
      ],
      8: [
        'Das Setup-Programm startet nicht',
        'Der Arbeitsspeicher reicht nicht. Schließen Sie einige Programme und versuchen Sie es erneut.',
      ],
      32: [
        'Das Setup-Programm startet nicht',
        'Ein anderes Programm verwendet das Setup-Programm gerade. Versuchen Sie es gleich noch einmal.',
      ],
      87: [
        'Das Setup-Programm startet nicht',
        'Das System hat die Art, wie das Setup-Programm gestartet werden sollte, abgelehnt. Starten Sie den Computer neu und starten Sie das Setup dann erneut.',
      ],
      206: ['Das Setup-Programm startet nicht', 'Der Pfad des Setup-Programms ist zu lang. Melden Sie das Problem, damit der Support helfen kann.'],
      1117: [
        'Das Setup-Programm startet nicht',
        'Beim Lesen des Setup-Programms ist ein Datenträgerfehler aufgetreten. Prüfen Sie das Laufwerk auf Fehler und starten Sie das Setup dann erneut.',
      ],
      1450: [
        'Das Setup-Programm startet nicht',
        'Dem System gehen die Ressourcen aus. Schließen Sie einige Programme und versuchen Sie es erneut.',
      ],
      1921: [
        'Das Setup-Programm startet nicht',
        'Der Pfad des Setup-Programms führt in eine Schleife von Verknüpfungen. Melden Sie das Problem, damit der Support helfen kann.',
      ],
      31: [
        'Das Setup-Programm startet nicht',
        'Der Start des Setup-Programms ist gescheitert. Starten Sie den Computer neu und versuchen Sie es erneut.',
      ],
      128: [
        'Ergebnis des Setups unbekannt',
        'Wie das Setup-Programm geendet hat, ließ sich nicht feststellen. Prüfen Sie, ob {product} funktioniert.',
      ],
      256: [
        'Das Setup-Programm ist nicht signiert',
        'Es trägt keine Signatur und wurde deshalb nicht gestartet. Besorgen Sie sich eine neue Kopie des Installationsprogramms.',
      ],
      24592: [
        'Das Setup-Programm konnte nicht verifiziert werden',
        'Die Signatur passt nicht; das Programm wurde möglicherweise verändert und deshalb nicht gestartet. Besorgen Sie sich eine neue Kopie.',
      ],
      271: [
        'Das Setup-Programm stammt von einem unbekannten Herausgeber',
        'Es ist nicht vom erwarteten Herausgeber signiert und wurde deshalb nicht gestartet. Besorgen Sie sich eine neue Kopie.',
      ],
      265: [
        'Der Signatur des Setup-Programms wird nicht vertraut',
        'Sein Zertifikat führt zu einer Stelle, der dieser Computer nicht vertraut; es wurde deshalb nicht gestartet. Wenden Sie sich an den Support.',
      ],
      257: [
        'Die Signatur des Setup-Programms ist abgelaufen',
        'Sein Zertifikat ist nicht mehr gültig; es wurde deshalb nicht gestartet. Prüfen Sie Datum und Uhrzeit des Computers; stimmen sie, besorgen Sie sich eine neue Kopie.',
      ],
      268: [
        'Das Zertifikat des Setup-Programms wurde widerrufen',
        'Das Zertifikat des Herausgebers wurde zurückgezogen; das Programm wurde deshalb nicht gestartet. Führen Sie es nicht aus und wenden Sie sich an den Support.',
      ],
      1: [
        'Installation nicht abgeschlossen',
        'Das Setup von {product} endete mit einem Fehler. Starten Sie den Computer neu und führen Sie das Setup dann erneut aus.',
      ],
      1603: [
        'Installation fehlgeschlagen',
        'Bei der Installation von {product} ist ein schwerer Fehler aufgetreten. Starten Sie den Computer neu und führen Sie das Setup erneut aus. Scheitert es wieder, melden Sie das Problem.',
      ],
      1618: [
        'Eine andere Installation läuft',
        'Schließen Sie die andere Installation ab und starten Sie das Setup dann erneut.',
      ],
      1619: [
        'Das Installationspaket ließ sich nicht öffnen',
        'Das Setup konnte seine eigenen Dateien nicht lesen. Laden Sie das Installationsprogramm erneut herunter.',
      ],
      1625: [
        'Installation nicht erlaubt',
        'Eine Richtlinie auf diesem Computer verbietet diese Installation. Wenden Sie sich an Ihre Administration.',
      ],
      1633: [
        'Dieser Computer wird nicht unterstützt',
        '{product} lässt sich auf dieser Art von Computer nicht installieren. Besorgen Sie sich die passende Version.',
      ],
      1638: [
        'Eine andere Version ist bereits installiert',
        'Entfernen Sie zuerst die installierte Version von {product} und starten Sie das Setup dann erneut.',
      ],
      crash: [
        'Das Setup-Programm wurde unerwartet beendet',
        'Es ist abgestürzt oder wurde vorzeitig beendet. {product} ist womöglich nicht installiert. Führen Sie das Setup erneut aus.',
      ],
      '*': [
        'Installation nicht abgeschlossen',
        'Das Setup-Programm von {product} endete mit einem Fehler. Führen Sie das Setup erneut aus; scheitert es wieder, melden Sie das Problem.',
      ],
    },
    page: {
      config: [
        'Das Installationsprogramm ist falsch eingerichtet',
        'Seine Konfiguration ließ sich nicht lesen. Besorgen Sie sich eine neue Kopie des Installationsprogramms.',
      ],
      'no-host': [
        'Das Installationsprogramm läuft hier nicht',
        'Diese Seite funktioniert nur innerhalb ihres Installationsprogramms.',
      ],
      lost: [
        'Das Installationsprogramm hat den Faden verloren',
        'Die Seite wurde neu geladen, und seitdem kam keine Rückmeldung vom Download. Versuchen Sie es erneut.',
      ],
      '*': ['Etwas ist schiefgelaufen', 'Versuchen Sie es erneut.'],
    },
  },
};
