// The page tests' runner, as a developer who built by hand meets it: it names what is missing
// in one line instead of failing every file. Runs copies of the runner in folders holding no
// tests, so a runner that failed to stop would find nothing to run rather than run itself.

import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { copyFileSync, mkdirSync, mkdtempSync, rmSync, symlinkSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';

const testsFolder = dirname(fileURLToPath(import.meta.url));

function runCopy({ withModules, chromium }) {
  const folder = mkdtempSync(join(tmpdir(), 'vlm-page-runner-'));
  try {
    mkdirSync(join(folder, 'support'));
    copyFileSync(join(testsFolder, 'package.json'), join(folder, 'package.json'));
    copyFileSync(
      join(testsFolder, 'support', 'run-page-tests.mjs'),
      join(folder, 'support', 'run-page-tests.mjs'),
    );
    if (withModules) symlinkSync(join(testsFolder, 'node_modules'), join(folder, 'node_modules'));
    const env = { ...process.env, VLM_CHROMIUM: chromium };
    return spawnSync(process.execPath, [join(folder, 'support', 'run-page-tests.mjs')], {
      env,
      encoding: 'utf8',
    });
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
}

test('the runner says in one line what to install when the page tests cannot run', () => {
  const chromium = process.env.VLM_CHROMIUM ?? '/usr/bin/chromium';
  const noModules = runCopy({ withModules: false, chromium });
  assert.equal(noModules.status, 1);
  assert.equal(
    noModules.stderr,
    'ui_page_tests: playwright-core is missing; run scripts/install-page-test-deps first\n',
  );

  const noBrowser = runCopy({ withModules: true, chromium: '/nonexistent/chromium' });
  assert.equal(noBrowser.status, 1);
  assert.equal(
    noBrowser.stderr,
    'ui_page_tests: /nonexistent/chromium is missing; run scripts/install-page-test-deps first\n',
  );
});
