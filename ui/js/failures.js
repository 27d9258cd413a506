// What the user reads for every failure the host can report, in one table.
//
// Codes are per step because the host reuses numbers: 2 is "not an archive" for an extraction
// but "file not found" for a setup that could not start, and a setup may exit with any number.
// `{product}` and `{launcher}` are filled in; a vendor rewords or translates this file alone.

const DISK_FULL = {
  title: 'Not enough disk space',
  text: 'There is not enough free space on the disk. Free some space, then try again.',
};

const FAILURES = {
  download: {
    // The host's own download outcomes.
    1603: {
      title: 'The download was interrupted',
      text: 'The download stopped unexpectedly. Try again.',
    },
    1604: {
      title: 'The download failed',
      text: 'The file could not be downloaded. Check your internet connection, then try again.',
    },
    1460: {
      title: 'The connection keeps failing',
      text: 'The download was stopped after repeated network errors. Check your internet connection, then try again.',
    },
    23: {
      title: 'The download is corrupt',
      text: 'The downloaded file does not match the original. It was probably damaged on the way. Try again.',
    },
    24: {
      title: 'The download is incomplete',
      text: 'The downloaded file does not have the expected size. Try again.',
    },
    // HTTP statuses, reported as their numbers.
    400: {
      title: 'The download link is not valid',
      text: 'The server did not accept the download request. Get a new copy of this installer.',
    },
    401: {
      title: 'The server refused the download',
      text: 'The server asks for credentials that this installer does not have. Get a new copy of this installer.',
    },
    403: {
      title: 'The download link has expired',
      text: 'The server refused access to the file, as it does when a link has expired. Try again; if it keeps failing, get a new copy of this installer.',
    },
    404: {
      title: 'The file was not found',
      text: 'The server has no file at this address. Get a new copy of this installer.',
    },
    408: {
      title: 'The server timed out',
      text: 'The server took too long to answer. Try again in a moment.',
    },
    410: {
      title: 'This version is no longer available',
      text: 'The server no longer offers this file. Get a new copy of this installer.',
    },
    429: {
      title: 'The server is busy',
      text: 'The server is receiving too many requests. Wait a few minutes, then try again.',
    },
    500: {
      title: 'The server had a problem',
      text: 'The download server reported an internal error. Try again later.',
    },
    502: {
      title: 'The server is unavailable',
      text: 'A gateway between you and the download server failed. Try again later.',
    },
    503: {
      title: 'The server is unavailable',
      text: 'The download server is down or overloaded. Try again later.',
    },
    504: {
      title: 'The server timed out',
      text: 'A gateway between you and the download server gave up waiting. Try again later.',
    },
    // Network failures, as their WinHTTP numbers.
    12002: {
      title: 'The connection timed out',
      text: 'The download server did not answer in time. Check your internet connection, then try again.',
    },
    12007: {
      title: 'The server could not be found',
      text: 'The name of the download server could not be resolved. Check your internet connection, then try again.',
    },
    12029: {
      title: 'Could not connect to the server',
      text: 'The download server could not be reached. Check your internet connection and firewall, then try again.',
    },
    12030: {
      title: 'The connection was lost',
      text: 'The connection to the download server broke off. Try again.',
    },
    12032: {
      title: 'The connection was reset',
      text: 'The download server asked to start over. Try again.',
    },
    12044: {
      title: 'The server asks for a certificate',
      text: 'The download server requires a client certificate that this computer does not have.',
    },
    12152: {
      title: 'The server sent an invalid answer',
      text: 'The download server answered in a way the installer does not understand. Try again later.',
    },
    12175: {
      title: 'A secure connection failed',
      text: "The server's certificate could not be verified. Check the computer's date and time, then try again.",
    },
    // Files on this computer.
    112: DISK_FULL,
    39: DISK_FULL,
    5: {
      title: 'Access denied',
      text: 'The installer is not allowed to write to its temporary folder.',
    },
    3: {
      title: 'The temporary folder is missing',
      text: 'The folder for temporary files could not be found or created.',
    },
    206: {
      title: 'The file path is too long',
      text: 'The temporary folder is nested too deeply to hold the download.',
    },
    267: {
      title: 'A file is in the way',
      text: 'A file stands where the installer needs to create its temporary folder.',
    },
    12005: {
      title: 'The download address is not valid',
      text: 'The address of the file is malformed. Get a new copy of this installer.',
    },
    12006: {
      title: 'The download address is not supported',
      text: 'The address of the file uses a protocol the installer cannot download from.',
    },
  },
  unzip: {
    2: {
      title: 'The download is not a valid package',
      text: 'The downloaded file could not be opened as an archive. It may be damaged. Try again.',
    },
    1632: {
      title: 'The files could not be prepared',
      text: 'Some files of {product} could not be unpacked. The package may be damaged, or the disk may be full.',
    },
    112: DISK_FULL,
  },
  setup: {
    404: {
      title: 'The setup program is missing',
      text: 'The downloaded package does not contain {launcher}. Get a new copy of this installer.',
    },
    2: {
      title: 'The setup program could not start',
      text: 'The setup program or a file it needs was not found.',
    },
    5: {
      title: 'The setup program could not start',
      text: 'Permission to run the setup program was denied.',
    },
    193: {
      title: 'The setup program could not start',
      text: 'The setup program is not a program this computer can run.',
    },
    120: {
      title: 'The setup program could not start',
      text: 'The system could not start the setup program.',
    },
    3: {
      title: 'The setup program could not start',
      text: 'A folder on the path of the setup program is missing.',
    },
    4: {
      title: 'The setup program could not start',
      text: 'Too many files are open on this computer. Close some programs, then try again.',
    },
    8: {
      title: 'The setup program could not start',
      text: 'There is not enough memory. Close some programs, then try again.',
    },
    32: {
      title: 'The setup program could not start',
      text: 'The setup program is in use by another program. Try again in a moment.',
    },
    87: {
      title: 'The setup program could not start',
      text: 'The system refused the way the setup program was to be started.',
    },
    206: {
      title: 'The setup program could not start',
      text: 'The path of the setup program is too long.',
    },
    1117: {
      title: 'The setup program could not start',
      text: 'A disk error occurred while the setup program was being read.',
    },
    1450: {
      title: 'The setup program could not start',
      text: 'The system is short of resources. Close some programs, then try again.',
    },
    1921: {
      title: 'The setup program could not start',
      text: 'The path of the setup program leads into a loop of links.',
    },
    31: {
      title: 'The setup program could not start',
      text: 'Starting the setup program broke down. Restart the computer, then try again.',
    },
    128: {
      title: 'The result of the setup is unknown',
      text: 'The installer could not learn how the setup program ended. Check whether {product} works.',
    },
    1603: {
      title: 'Installation failed',
      text: 'A fatal error occurred while {product} was being installed.',
    },
    1618: {
      title: 'Another installation is running',
      text: 'Finish the other installation, then try again.',
    },
  },
  page: {
    config: {
      title: 'The installer is not set up correctly',
      text: 'Its configuration could not be read. Get a new copy of this installer.',
    },
    'no-host': {
      title: 'The installer cannot run here',
      text: 'This page only works inside the {product} installer.',
    },
    lost: {
      title: 'The installer lost track of its work',
      text: 'The page was reloaded and no news came from the download since. Try again.',
    },
  },
};

// A setup ended by a signal reports 0xC0000000 + the signal number, like a crashed Windows program.
const CRASH_BASE = 0xc0000000;

// Codes not listed above still get a message that names the step.
function fallback(stage, code) {
  if (stage === 'download') {
    if (code >= 400 && code < 500) {
      return {
        title: 'The server refused the download',
        text: `The server answered with HTTP status ${code}. Get a new copy of this installer.`,
      };
    }
    if (code >= 500 && code < 600) {
      return {
        title: 'The server had a problem',
        text: `The server answered with HTTP status ${code}. Try again later.`,
      };
    }
    if (code >= 12000 && code < 12200) {
      return {
        title: 'A network error occurred',
        text: 'The download could not go on. Check your internet connection, then try again.',
      };
    }
    return { title: 'The download failed', text: 'The file could not be downloaded. Try again.' };
  }
  if (stage === 'unzip') {
    return {
      title: 'The files could not be prepared',
      text: 'The downloaded package could not be unpacked. Try again.',
    };
  }
  if (stage === 'setup' && code >= CRASH_BASE && code <= CRASH_BASE + 0xff) {
    return {
      title: 'The setup program stopped unexpectedly',
      text: 'It crashed or was ended before it finished. {product} may not be installed.',
    };
  }
  if (stage === 'setup') {
    return {
      title: 'Installation did not finish',
      text: 'The setup program of {product} ended with an error.',
    };
  }
  return { title: 'Something went wrong', text: 'Try again.' };
}

/** Setup exit codes that mean "installed, restart to finish". */
export const RESTART_CODES = new Set([3010, 1641]);

/** The user's message for `code` at `stage` ('download', 'unzip', 'setup', 'page'). */
export function describeFailure(stage, code, fill = {}) {
  const entry = FAILURES[stage]?.[code] ?? fallback(stage, code);
  const replace = (text) =>
    text.replace(
      /\{(product|launcher)\}/g,
      (_, key) => fill[key] ?? (key === 'product' ? 'the product' : 'the setup program'),
    );
  return { title: replace(entry.title), text: replace(entry.text) };
}

/** Every code the table names, per stage (the page tests walk it). */
export function listedCodes() {
  return Object.fromEntries(
    Object.entries(FAILURES).map(([stage, codes]) => [stage, Object.keys(codes)]),
  );
}
