// Drives the stand-in server's /login.html in headless Chromium. A shim stands
// in for the embedded browser's message channel and keeps the JSON form of
// every posted message, as the launcher would receive it.
//   node login_page.mjs NODE_DIR BASE_URL USERNAME PASSWORD OUT_JSON PROFILE_DIR
// NODE_DIR holds node_modules/playwright-core. Writes
//   {"refused": {"error", "posted"}, "posted": [...]}
// after a sign-in with a wrong password, one with the right one, and a click
// on the Google button.
import { createRequire } from 'node:module';
import { writeFileSync } from 'node:fs';

const [nodeDir, base, username, password, out, profile] = process.argv.slice(2);
const require = createRequire(nodeDir + '/');
const { chromium } = require('playwright-core');

const context = await chromium.launchPersistentContext(profile, {
  executablePath: '/usr/bin/chromium',
  headless: true,
  args: [
    '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync', '--no-proxy-server',
    // Nothing but the loopback address resolves.
    '--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1',
  ],
});
try {
  await context.addInitScript(() => {
    window.__posted = [];
    window.chrome = window.chrome || {};
    window.chrome.webview = { postMessage: (message) => window.__posted.push(JSON.stringify(message)) };
  });
  const page = context.pages()[0] || (await context.newPage());
  page.setDefaultTimeout(30000);
  await page.goto(base + '/login.html');
  const posted = () => page.evaluate(() => window.__posted.slice());

  await page.fill('#username', username);
  await page.fill('#password', password + '-wrong');
  await page.click('#submit');
  await page.waitForFunction(() => document.getElementById('error').textContent !== '');
  const refused = { error: await page.textContent('#error'), posted: await posted() };

  await page.fill('#password', password);
  await page.click('#submit');
  await page.waitForFunction(() => window.__posted.length >= 1);
  await page.click('#google');
  await page.waitForFunction(() => window.__posted.length >= 2);

  writeFileSync(out, JSON.stringify({ refused, posted: await posted() }));
} finally {
  await context.close();
}
