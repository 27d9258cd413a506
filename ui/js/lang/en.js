// English: the page's reference language. Every other table has exactly these ids.
//
// A text is a string with {name} placeholders, or an object of plural forms chosen by
// Intl.PluralRules for its {count}. Failures are [title, text] per step and code; the keys
// '4xx', '5xx', 'net', 'crash' and '*' are the step's fallbacks for codes without an entry.

export default {
  name: 'English',
  dir: 'ltr',
  strings: {
    'doc.title': '{product} Setup',
    'brand.fallback': 'Setup',
    'brand.subtitle': 'Installer',
    'steps.label': 'Installation steps',
    'step.download': 'Download',
    'step.extract': 'Prepare',
    'step.install': 'Install',
    'step.done': '(done)',
    'step.current': '(current step)',
    'step.failed': '(failed)',
    'step.stopped': '(stopped)',
    'action.close': 'Close',
    'action.install': 'Install',
    'action.cancel': 'Cancel',
    'action.finish': 'Finish',
    'action.open': 'Open',
    'action.restartNow': 'Restart now',
    'action.later': 'Later',
    'action.retryDownload': 'Download again',
    'action.retrySetup': 'Run setup again',
    'loading.title': 'Getting ready…',
    'idle.title': 'Install {product}',
    'idle.text': '{product} will be downloaded and installed on this computer.',
    'idle.size': 'Download size: {size}',
    'idle.space': 'Download size: {size} · {free} free on {disk}',
    'disk.thisComputer': 'this computer',
    'idle.noRoom':
      '{product} needs at least {needed} on {disk} to download and unpack, but only {free} is free there. Free some space, then choose Install.',
    'download.title': 'Downloading {product}',
    'download.connecting': 'Connecting to the download server…',
    'download.estimating': 'Estimating time left…',
    'download.running': 'Downloading…',
    'download.waiting': 'Waiting for the server…',
    'download.resumed': 'Download resumed',
    'download.retryServer':
      'The server is not answering. Trying again in {seconds} s (attempt {attempt} of {attempts})…',
    'download.retryNetwork':
      'The connection was lost. Trying again in {seconds} s (attempt {attempt} of {attempts})…',
    'download.sizes': '{done} of {total}',
    'download.milestone': 'Downloaded {percent}',
    'time.fewSeconds': 'A few seconds left',
    'time.seconds': { one: '{count} second left', other: '{count} seconds left' },
    'time.minutes': { one: 'About {count} minute left', other: 'About {count} minutes left' },
    'time.hours': 'About {hours} left',
    'time.hoursMinutes': 'About {hours} {minutes} left',
    'extract.title': 'Preparing files',
    'extract.text': 'Unpacking {product}…',
    'install.title': 'Installing',
    'install.text':
      'Follow the steps in the setup window of {product}. This window comes back when it is done.',
    'cancelling.title': 'Cancelling…',
    'cancelling.text': 'Stopping the installation. This takes a moment.',
    'action.pause': 'Pause',
    'action.resume': 'Resume',
    'action.tryNow': 'Try now',
    'pausing.title': 'Pausing…',
    'paused.title': 'Download paused',
    'paused.kept': '{kept} of {total} is kept. Resume continues from there.',
    'paused.nothingKept': 'Nothing downloaded could be kept: Resume starts the download over.',
    'retry.continues': 'Download again continues from the {kept} already downloaded.',
    'download.retryFor': 'The installer keeps trying for up to {time}.',
    'download.retryingNow': 'Trying again now…',
    'closing.title': 'Closing…',
    'closing.text': 'Stopping and removing temporary files.',
    'success.title': '{product} is installed',
    'success.start': 'You can start {product} now.',
    'success.restart': 'Restart your computer to finish the installation.',
    'success.where': 'Installed in {folder}',
    'restart.save': 'Save your work in other programs before you restart.',
    'restart.asking': 'Asking the computer to restart…',
    'restart.accepted': 'The computer is restarting.',
    'restart.failed':
      'The computer could not be restarted from here. Save your work and restart it yourself to finish the installation.',
    'open.started': '{product} is starting.',
    'open.failed': '{product} could not be started from here. Start it yourself from {folder}.',
    'cancelled.title': 'Installation cancelled',
    'cancelled.bySetup': 'The {product} setup was cancelled. Nothing was installed.',
    'cancelled.byUser': '{product} was not installed. You can start again at any time.',
    'retry.startsOver': 'Download again starts the download over from the beginning.',
    'failure.code': 'Error {code}',
    'failure.details': 'Details',
    'failure.copy': 'Copy details',
    'failure.copied': 'Copied',
    'failure.notCopied': 'Could not copy: select the text instead',
    'disk.needed':
      '{product} needs {needed} on {disk}, but only {available} is free. Free up at least {missing}, then try again.',
    'link.licence': 'Licence terms',
    'link.support': 'Contact support',
    'link.downloadPage': 'Get a new copy',
    'close.title': 'Stop the installation?',
    'close.text': '{product} is not installed yet. If you close now, the installation stops here.',
    'close.confirm': 'Stop and close',
    'close.cancel': 'Keep installing',
    'cancel.title': 'Cancel the installation?',
    'cancel.text': '{product} is not installed yet. If you cancel now, the installation stops here.',
    'cancel.confirm': 'Cancel installation',
    'report.link': 'Report a problem',
    'report.title': 'Send a problem report?',
    'report.intro': 'The report helps find the cause of the problem. It contains:',
    'report.itemFailure': 'what went wrong, with the technical details',
    'report.itemLog': {
      one: 'the last line of the installer’s log, with folder names',
      other: 'the last {count} lines of the installer’s log, with folder names',
    },
    'report.itemSystem': 'this computer’s processor, disk space and machine ID',
    'report.itemAddress': 'the download address and the version of the page’s browser engine',
    'report.show': 'Show the report',
    'report.send': 'Send',
    'report.dontSend': 'Don’t send',
    'report.preparing': 'Preparing the report…',
    'report.sending': 'Sending the report…',
    'report.passedOn': 'Report passed on for sending at {time}. Reference: {ref}',
    'report.failed': 'The report could not be sent. Reference: {ref}',
  },
  failures: {
    download: {
      65536: [
        'This network needs you to sign in',
        'The network answered with a web page instead of the download, as hotel, airport and workplace networks do until you sign in. Open a web browser and sign in to the network there. Try again once you are signed in.',
      ],
      1603: ['The download was interrupted', 'The download stopped unexpectedly. Try again.'],
      1604: [
        'The download failed',
        'The file could not be downloaded. Check your internet connection, then try again.',
      ],
      1460: [
        'The connection keeps failing',
        'The download was stopped after repeated network errors. Check your internet connection, then try again.',
      ],
      23: [
        'The download is corrupt',
        'The downloaded file does not match the original. It was probably damaged on the way. Try again.',
      ],
      24: [
        'The download is incomplete',
        'The downloaded file does not have the expected size. Try again.',
      ],
      87: [
        'The download address was refused',
        'The installer will not download from the address it was given. Get a new copy of this installer.',
      ],
      256: [
        'The download is not signed',
        'Its signature is missing or could not be fetched, so the download cannot be checked. Try again; if it keeps failing, get a new copy of this installer.',
      ],
      257: [
        'This release is too old for this installer',
        'The download is an older version of {product} than this installer accepts, so it was not used. Trying again gets the same file: the publisher must publish a current release. Contact support.',
      ],
      272: [
        'This download is not {product}',
        'The download is a release of another product, so it was not used. Trying again gets the same file: the publisher must publish the right release. Contact support.',
      ],
      24592: [
        'This download could not be verified',
        'Its signature does not match, so the file may have been altered. Nothing was run. Get a new copy of this installer.',
      ],
      400: [
        'The download link is not valid',
        'The server did not accept the download request. Get a new copy of this installer.',
      ],
      401: [
        'The server refused the download',
        'The server asks for credentials that this installer does not have. Get a new copy of this installer.',
      ],
      403: [
        'The download link has expired',
        'The server refused access to the file, as it does when a link has expired. Try again; if it keeps failing, get a new copy of this installer.',
      ],
      404: [
        'The file was not found',
        'The server has no file at this address. Get a new copy of this installer.',
      ],
      65537: [
        "Your network's proxy asks for a sign-in",
        'Your network sends downloads through a proxy server that asks for a user name and password, which this installer cannot give. Ask your network administrator to let this download through, or try again on another network.',
      ],
      408: ['The server timed out', 'The server took too long to answer. Try again in a moment.'],
      410: [
        'This version is no longer available',
        'The server no longer offers this file. Get a new copy of this installer.',
      ],
      429: [
        'The server is busy',
        'The server is receiving too many requests. Wait a few minutes, then try again.',
      ],
      500: [
        'The server had a problem',
        'The download server reported an internal error. Try again later.',
      ],
      502: [
        'The server is unavailable',
        'A gateway between you and the download server failed. Try again later.',
      ],
      503: [
        'The server is unavailable',
        'The download server is down or overloaded. Try again later.',
      ],
      504: [
        'The server timed out',
        'A gateway between you and the download server gave up waiting. Try again later.',
      ],
      12002: [
        'The connection timed out',
        'The download server did not answer in time. Check your internet connection, then try again.',
      ],
      12007: [
        'The server could not be found',
        'The name of the download server could not be resolved. Check your internet connection, then try again.',
      ],
      12029: [
        'Could not connect to the server',
        'The download server could not be reached. Check your internet connection and firewall, then try again.',
      ],
      12030: [
        'The connection was lost',
        'The connection to the download server broke off. Try again.',
      ],
      12032: ['The connection was reset', 'The download server asked to start over. Try again.'],
      12044: [
        'The server asks for a certificate',
        'The download server requires a client certificate that this computer does not have. Ask your network administrator to set one up.',
      ],
      12152: [
        'The server sent an invalid answer',
        'The download server answered in a way the installer does not understand. Try again later.',
      ],
      12175: [
        'A secure connection failed',
        'The server’s certificate could not be verified. Check the computer’s date and time, then try again.',
      ],
      112: [
        'Not enough disk space',
        'There is not enough free space on the disk of the temporary folder. Free some space, then try again.',
      ],
      39: [
        'Not enough disk space',
        'There is not enough free space on the disk of the temporary folder. Free some space, then try again.',
      ],
      5: ['Access denied', 'The installer is not allowed to write to its temporary folder. Restart the computer, then try again.'],
      3: [
        'The temporary folder is missing',
        'The folder for temporary files could not be found or created. Restart the computer, then try again.',
      ],
      206: [
        'The file path is too long',
        'The temporary folder is nested too deeply to hold the download. Report the problem, so that support can help.',
      ],
      267: [
        'A file is in the way',
        'A file stands where the installer needs to create its temporary folder. Restart the computer, then try again.',
      ],
      12005: [
        'The download address is not valid',
        'The address of the file is malformed. Get a new copy of this installer.',
      ],
      12006: [
        'The download address is not supported',
        'The address of the file uses a protocol the installer cannot download from. Get a new copy of this installer.',
      ],
      '4xx': [
        'The server refused the download',
        'The server answered with HTTP status {status}. Get a new copy of this installer.',
      ],
      '5xx': [
        'The server had a problem',
        'The server answered with HTTP status {status}. Try again later.',
      ],
      net: [
        'A network error occurred',
        'The download could not go on. Check your internet connection, then try again.',
      ],
      '*': ['The download failed', 'The file could not be downloaded. Try again.'],
    },
    unzip: {
      2: [
        'The download is not a valid package',
        'The downloaded file could not be opened as an archive. It may be damaged. Try again.',
      ],
      1632: [
        'The files could not be prepared',
        'Some files of {product} could not be unpacked. The package may be damaged, or the disk may be full. Free some space, then try again.',
      ],
      112: [
        'Not enough disk space',
        'There is not enough free space to unpack the files. Free some space, then try again.',
      ],
      256: [
        'The package was not verified',
        'The downloaded package had not been verified, so nothing was unpacked. Try again.',
      ],
      '*': [
        'The files could not be prepared',
        'The downloaded package could not be unpacked. Try again.',
      ],
    },
    setup: {
      404: [
        'The setup program is missing',
        'The downloaded package does not contain {launcher}. Get a new copy of this installer.',
      ],
      2: [
        'The setup program could not start',
        'The setup program or a file it needs was not found. Run the setup again.',
      ],
      5: ['The setup program could not start', 'Permission to run the setup program was denied. Ask your administrator for permission, then run the setup again.'],
      193: [
        'The setup program could not start',
        'The setup program is not a program this computer can run. Get the version made for this computer.',
      ],
      120: ['The setup program could not start', 'The system could not start the setup program. Restart the computer, then run the setup again.'],
      3: [
        'The setup program could not start',
        'A folder on the path of the setup program is missing. Run the setup again.',
      ],
      4: [
        'The setup program could not start',
        'Too many files are open on this computer. Close some programs, then try again.',
      ],
      8: [
        'The setup program could not start',
        'There is not enough memory. Close some programs, then try again.',
      ],
      32: [
        'The setup program could not start',
        'The setup program is in use by another program. Try again in a moment.',
      ],
      87: [
        'The setup program could not start',
        'The system refused the way the setup program was to be started. Restart the computer, then run the setup again.',
      ],
      206: ['The setup program could not start', 'The path of the setup program is too long. Report the problem, so that support can help.'],
      1117: [
        'The setup program could not start',
        'A disk error occurred while the setup program was being read. Check the disk for errors, then run the setup again.',
      ],
      1450: [
        'The setup program could not start',
        'The system is short of resources. Close some programs, then try again.',
      ],
      1921: [
        'The setup program could not start',
        'The path of the setup program leads into a loop of links. Report the problem, so that support can help.',
      ],
      31: [
        'The setup program could not start',
        'Starting the setup program broke down. Restart the computer, then try again.',
      ],
      128: [
        'The result of the setup is unknown',
        'The installer could not learn how the setup program ended. Check whether {product} works.',
      ],
      256: [
        'The setup program is not signed',
        'It carries no signature, so it was not started. Get a new copy of this installer.',
      ],
      24592: [
        'The setup program could not be verified',
        'Its signature does not match, so it may have been altered. It was not started. Get a new copy of this installer.',
      ],
      271: [
        'The setup program is from an unknown publisher',
        'It is not signed by the expected publisher, so it was not started. Get a new copy of this installer.',
      ],
      265: [
        'The setup program’s signature is not trusted',
        'Its certificate leads to an authority this computer does not trust, so it was not started. Contact support.',
      ],
      257: [
        'The setup program’s signature has expired',
        'Its certificate is no longer valid, so it was not started. Check the computer’s date and time; if it is right, get a new copy of this installer.',
      ],
      268: [
        'The setup program’s certificate was revoked',
        'Its publisher’s certificate has been withdrawn, so it was not started. Do not run it; contact support.',
      ],
      1: [
        'Installation did not finish',
        'The setup of {product} ended with an error. Restart the computer, then run the setup again.',
      ],
      1603: [
        'Installation failed',
        'A fatal error occurred while {product} was being installed. Restart the computer, then run the setup again. If it keeps failing, report the problem.',
      ],
      1618: [
        'Another installation is running',
        'Finish the other installation, then run the setup again.',
      ],
      1619: [
        'The installation package could not be opened',
        'The setup could not read its own files. Download the installer again.',
      ],
      1625: [
        'Installation is not allowed',
        'A policy on this computer forbids this installation. Ask your administrator.',
      ],
      1633: [
        'This computer is not supported',
        '{product} cannot be installed on this kind of computer. Get the version made for it.',
      ],
      1638: [
        'Another version is already installed',
        'Remove the installed version of {product} first, then run the setup again.',
      ],
      crash: [
        'The setup program stopped unexpectedly',
        'It crashed or was ended before it finished. {product} may not be installed. Run the setup again.',
      ],
      '*': [
        'Installation did not finish',
        'The setup program of {product} ended with an error. Run the setup again; if it keeps failing, report the problem.',
      ],
    },
    page: {
      config: [
        'The installer is not set up correctly',
        'Its configuration could not be read. Get a new copy of this installer.',
      ],
      'no-host': [
        'The installer cannot run here',
        'This page only works inside its installer program.',
      ],
      lost: [
        'The installer lost track of its work',
        'The page was reloaded and no news came from the download since. Try again.',
      ],
      '*': ['Something went wrong', 'Try again.'],
    },
  },
};
