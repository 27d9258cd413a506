// Serves the UI folder on 127.0.0.1 (a port the kernel picks), the way the host serves it:
// files only, correct MIME types, nothing outside the folder. config.json can be replaced per
// test, /__blank is an empty document of the same origin, and every request is recorded.

import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import { extname, join, normalize, sep } from 'node:path';

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.json': 'application/json; charset=utf-8',
  '.svg': 'image/svg+xml',
  '.png': 'image/png',
};

export async function startStaticServer(root) {
  const state = { config: null, requests: [] };
  const server = createServer(async (request, response) => {
    const path = decodeURIComponent(new URL(request.url, 'http://127.0.0.1').pathname);
    state.requests.push(path);
    if (path === '/__blank') {
      // a document of the UI origin without the installer app
      response.writeHead(200, { 'Content-Type': TYPES['.html'] });
      response.end('<!doctype html><meta charset="utf-8"><title>blank</title>');
      return;
    }
    if (path === '/config.json' && state.config !== null) {
      const body = typeof state.config === 'string' ? state.config : JSON.stringify(state.config);
      response.writeHead(200, { 'Content-Type': TYPES['.json'], 'Cache-Control': 'no-store' });
      response.end(body);
      return;
    }
    const file = normalize(join(root, path === '/' ? 'index.html' : path));
    if (!file.startsWith(root + sep)) {
      response.writeHead(403).end();
      return;
    }
    try {
      const body = await readFile(file);
      response.writeHead(200, {
        'Content-Type': TYPES[extname(file)] ?? 'application/octet-stream',
        'Cache-Control': 'no-store',
      });
      response.end(body);
    } catch {
      response.writeHead(404).end();
    }
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const origin = `http://127.0.0.1:${server.address().port}`;
  return {
    origin,
    state,
    /** Replaces config.json: an object, a raw text, or null for the file on disk. */
    setConfig(config) {
      state.config = config;
    },
    close: () => new Promise((resolve) => server.close(resolve)),
  };
}
