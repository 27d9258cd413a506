// Reads config.json beside the page: what to install and how.
//
// {
//   "productName": "Demo Product",          shown in the title and messages; or one name per
//                                           language: {"en": "…", "ar": "…"} (an "en" or the
//                                           first entry stands in for other languages)
//   "url": "https://…/product.zip",         the archive
//   "archive_name": "product.zip",          its file name in the working folder
//   "size": 1234, "sha256": "…",            optional: the host checks the archive against them
//   "signature": "…",                       optional: the archive's detached signature, or
//   "signature_url": "https://…/….sig",     where to fetch it; a host built without a key
//                                           ignores both
//   "product_id": "com.example.app",        optional, with a key: the product and the lowest
//   "min_version": "2.4",                   version whose signed release the host accepts
//                                           (the signature is then a release manifest)
//   "connections": 4,                       optional, 1 to 16 (default 4): how many connections
//                                           a large storage download may use at once; 1 asks
//                                           for one GET
//   "launcherName": "Setup.exe",            the setup program inside the archive (optional)
//   "productFolder": "%ProgramFiles%\\Demo", optional: where the setup puts the product, shown
//                                           after a success (%NAME% is an environment variable)
//   "productProgram": "Demo.exe",           optional, inside productFolder: started by "Open"
//                                           after a success. Neither stops the install when
//                                           bad: it is left out with a warning
//   "licenceUrl": "https://…/licence",      optional links, opened in the user's browser:
//   "supportUrl": "https://…/support",      "Licence terms", "Contact support" and
//   "downloadPageUrl": "https://…/get",     "Get a new copy" (the last two on failures; the
//                                           last is the main button when the copy is bad).
//                                           One that is not an http or https URL is left out
//                                           with a warning: a link must not stop the install
//   "language": "de",                       optional: the page's language instead of the
//                                           system's (en, de, ar)
//   "autoStart": false,                     start without waiting for the Install button
//   "closeAfterOpen": true                  optional (default true): the window closes once
//                                           "Open" has started the product; false keeps it
// }

import { pickLanguage } from './i18n.js';

export class ConfigError extends Error {}

// Enough to fill a long link that caps each connection, few enough not to crowd the server.
const DEFAULT_CONNECTIONS = 4;
const PRODUCT_ID = /^[A-Za-z0-9][A-Za-z0-9._-]{0,127}$/;
const VERSION = /^[0-9]{1,9}(\.[0-9]{1,9}){0,3}$/;

function requireString(config, key) {
  const value = config[key];
  if (typeof value !== 'string' || value.trim() === '') {
    throw new ConfigError(`"${key}" must be a non-empty string`);
  }
  return value;
}

/**
 * Checks and normalises a parsed config, and picks the page's language from its "language" or
 * else from `languages` (the user's, best first). Throws ConfigError naming the first bad member
 * the installation needs; a bad optional link is dropped and described in `warnings`.
 */
export function parseConfig(config, languages = undefined) {
  if (!config || typeof config !== 'object' || Array.isArray(config)) {
    throw new ConfigError('the configuration must be a JSON object');
  }
  const archive = {
    url: requireString(config, 'url'),
    archive_name: requireString(config, 'archive_name'),
  };
  if (config.size !== undefined) {
    if (!Number.isSafeInteger(config.size) || config.size < 0) {
      throw new ConfigError('"size" must be a whole number of bytes');
    }
    archive.size = config.size;
  }
  if (config.sha256 !== undefined) {
    if (typeof config.sha256 !== 'string' || !/^[0-9a-fA-F]{64}$/.test(config.sha256)) {
      throw new ConfigError('"sha256" must be 64 hexadecimal digits');
    }
    archive.sha256 = config.sha256.toLowerCase();
  }
  // The host takes a blank signature for none; so does the page, rather than refusing to start.
  if (config.signature !== undefined) {
    if (typeof config.signature !== 'string') throw new ConfigError('"signature" must be a string');
    if (config.signature.trim() !== '') archive.signature = config.signature;
  }
  if (config.signature_url !== undefined && config.signature_url !== '') {
    archive.signature_url = requireWebUrl(config, 'signature_url');
  }
  // Checked here as the host checks them, so a typo shows at start rather than at download.
  if (config.product_id !== undefined) {
    if (typeof config.product_id !== 'string' || !PRODUCT_ID.test(config.product_id)) {
      throw new ConfigError('"product_id" must be letters, digits, ".", "_" or "-" (at most 128)');
    }
    archive.product_id = config.product_id;
  }
  if (config.min_version !== undefined) {
    if (typeof config.min_version !== 'string' || !VERSION.test(config.min_version)) {
      throw new ConfigError('"min_version" must be 1 to 4 numbers separated by dots, such as "2.4"');
    }
    archive.min_version = config.min_version;
  }
  archive.connections = config.connections === undefined ? DEFAULT_CONNECTIONS : config.connections;
  if (!Number.isInteger(archive.connections) || archive.connections < 1 || archive.connections > 16) {
    throw new ConfigError('"connections" must be a whole number from 1 to 16');
  }
  const launcherName =
    config.launcherName === undefined ? '' : requireString(config, 'launcherName');
  if (config.language !== undefined && typeof config.language !== 'string') {
    throw new ConfigError('"language" must be a language tag such as "de"');
  }
  const language = pickLanguage(config.language, languages);
  const warnings = [];
  const optionalUrl = (key) => {
    if (config[key] === undefined) return '';
    try {
      return requireWebUrl(config, key);
    } catch (error) {
      if (!(error instanceof ConfigError)) throw error;
      warnings.push(`${error.message}; the link is left out`);
      return '';
    }
  };
  const optionalText = (key) => {
    if (config[key] === undefined) return '';
    if (typeof config[key] === 'string' && config[key].trim() !== '') return config[key];
    warnings.push(`"${key}" must be a non-empty string; it is left out`);
    return '';
  };
  const optionalFlag = (key, fallback) => {
    if (config[key] === undefined) return fallback;
    if (typeof config[key] === 'boolean') return config[key];
    warnings.push(`"${key}" must be true or false; it is left at ${fallback}`);
    return fallback;
  };
  const productFolder = optionalText('productFolder');
  let productProgram = optionalText('productProgram');
  if (productProgram && !productFolder) {
    warnings.push('"productProgram" needs "productFolder"; it is left out');
    productProgram = '';
  }
  return {
    productName: productNameFor(config, language),
    language,
    archive,
    launcherName,
    productFolder,
    productProgram,
    licenceUrl: optionalUrl('licenceUrl'),
    supportUrl: optionalUrl('supportUrl'),
    downloadPageUrl: optionalUrl('downloadPageUrl'),
    autoStart: config.autoStart === true,
    closeAfterOpen: optionalFlag('closeAfterOpen', true),
    warnings,
  };
}

function productNameFor(config, language) {
  const names = config.productName;
  if (typeof names === 'string') return requireString(config, 'productName');
  const valid =
    names &&
    typeof names === 'object' &&
    !Array.isArray(names) &&
    Object.keys(names).length > 0 &&
    Object.values(names).every((name) => typeof name === 'string' && name.trim() !== '');
  if (!valid) {
    throw new ConfigError(
      '"productName" must be a non-empty string or an object of non-empty names per language',
    );
  }
  const byPrimary = Object.fromEntries(
    Object.entries(names).map(([tag, name]) => [tag.toLowerCase().split(/[-_]/)[0], name]),
  );
  return byPrimary[language] ?? byPrimary.en ?? Object.values(names)[0];
}

// The host opens only http and https links in the user's browser; anything else would be a
// link that silently does nothing.
function requireWebUrl(config, key) {
  const value = requireString(config, key);
  let url = null;
  try {
    url = new URL(value);
  } catch {
    // reported below
  }
  if (url?.protocol !== 'http:' && url?.protocol !== 'https:') {
    throw new ConfigError(`"${key}" must be an http or https URL`);
  }
  return url.href;
}

/** Fetches and parses config.json (a relative URL: the page's origin differs per platform). */
export async function loadConfig(url = 'config.json') {
  let response;
  try {
    response = await fetch(url, { cache: 'no-store' });
  } catch (error) {
    throw new ConfigError(`config.json could not be read (${error.message})`);
  }
  if (!response.ok)
    throw new ConfigError(`config.json could not be read (status ${response.status})`);
  let parsed;
  try {
    parsed = await response.json();
  } catch {
    throw new ConfigError('config.json is not valid JSON');
  }
  return parseConfig(parsed);
}
