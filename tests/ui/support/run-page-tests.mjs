// CTest's entry to the page tests: checks that what they need is installed, then runs node's
// test runner in tests/ui. Without the check a build folder made by hand fails every test file
// with a bare module-not-found error that does not say what to do.

import { spawnSync } from 'node:child_process';
import { existsSync } from 'node:fs';
import { createRequire } from 'node:module';
import { dirname, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const testsFolder = resolve(dirname(fileURLToPath(import.meta.url)), '..');
const chromium = process.env.VLM_CHROMIUM ?? '/usr/bin/chromium';

function missing() {
  const require = createRequire(resolve(testsFolder, 'package.json'));
  for (const name of ['playwright-core', 'axe-core']) {
    try {
      require.resolve(name);
    } catch {
      return name;
    }
  }
  return existsSync(chromium) ? null : chromium;
}

const lacking = missing();
if (lacking) {
  console.error(`ui_page_tests: ${lacking} is missing; run scripts/install-page-test-deps first`);
  process.exit(1);
}
const run = spawnSync(process.execPath, ['--test'], { cwd: testsFolder, stdio: 'inherit' });
process.exit(run.status ?? 1);
