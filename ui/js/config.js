// Reads config.json beside the page: what to install and how.
//
// {
//   "productName": "Demo Product",          shown in the title and messages
//   "url": "https://…/product.zip",         the archive
//   "archive_name": "product.zip",          its file name in the working folder
//   "size": 1234, "sha256": "…",            optional: the host checks the archive against them
//   "launcherName": "Setup.exe",            the setup program inside the archive (optional)
//   "licenceUrl": "https://…/licence",      "Licence terms" link, opened in the user's browser
//                                           (optional)
//   "autoStart": false                      start without waiting for the Install button
// }

export class ConfigError extends Error {}

function requireString(config, key) {
  const value = config[key];
  if (typeof value !== 'string' || value.trim() === '') {
    throw new ConfigError(`"${key}" must be a non-empty string`);
  }
  return value;
}

/** Checks and normalises a parsed config. Throws ConfigError naming the first bad member. */
export function parseConfig(config) {
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
  const launcherName =
    config.launcherName === undefined ? '' : requireString(config, 'launcherName');
  return {
    productName: requireString(config, 'productName'),
    archive,
    launcherName,
    licenceUrl: config.licenceUrl === undefined ? '' : requireWebUrl(config, 'licenceUrl'),
    autoStart: config.autoStart === true,
  };
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
