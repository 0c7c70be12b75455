// The live view in a real browser: headless Chromium driven by puppeteer-core
// opens the page that `ruzirazu view` serves, steps frames with the keys,
// sets Mode and Rate Factor through their labelled controls, flips between
// the views and reads the Information text, then saves a screenshot.
//
// Run as: node view.test.mjs RUZIRAZU SCREENSHOT.png
// Exits 77 (skipped, with a loud message) when Chromium or puppeteer-core is
// not installed; scripts/setup installs both.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import assert from 'node:assert/strict';

const Skip = 77;
const Chromium = '/usr/bin/chromium';
const [command, screenshot] = process.argv.slice(2);

function skip(why) {
  console.error(`\n*** SKIPPED: the browser test cannot run: ${why}.\n` +
    '*** Run scripts/setup (installs chromium and the npm packages) to run it.\n');
  process.exit(Skip);
}

if (!fs.existsSync(Chromium)) {
  skip(`${Chromium} is missing`);
}
let puppeteer;
try {
  puppeteer = (await import('puppeteer-core')).default;
} catch {
  skip('puppeteer-core is not installed (npm ci in tests/cli/view/browser)');
}

// `ruzirazu view` on a short built-in clip; resolves with the printed URL.
function startView() {
  const child = spawn(command, ['view', '--duration', '30', '--segment', '10'],
    { stdio: ['ignore', 'pipe', 'pipe'] });
  let stderr = '';
  child.stderr.on('data', (data) => { stderr += data; });
  const url = new Promise((resolve, reject) => {
    let out = '';
    child.stdout.on('data', (data) => {
      out += data;
      const line = out.split('\n')[0];
      if (out.includes('\n')) {
        resolve(line.trim());
      }
    });
    child.on('exit', (code) => reject(new Error(`ruzirazu view ended (${code}): ${stderr}`)));
  });
  return { child, url, stderr: () => stderr };
}

const view = startView();
const url = await view.url;
const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'ruzirazu-chromium-'));
const browser = await puppeteer.launch({
  executablePath: Chromium,
  headless: false, // the flag below; puppeteer would add its own form
  userDataDir: profile,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});

let failed = false;
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1680, height: 1000 });
  const problems = [];
  page.on('pageerror', (error) => problems.push(error.message));
  page.on('requestfailed', (request) => problems.push(`request failed: ${request.url()}`));
  await page.goto(url);

  const shown = (frame, version = 0) => page.waitForFunction(
    (f, v) => document.body.dataset.shownFrame === String(f) &&
      Number(document.body.dataset.shownVersion) >= v,
    { timeout: 60000 }, frame, version);
  // A checksum and the mean level of the picture as drawn on the canvas.
  const picture = () => page.$eval('#picture', (canvas) => {
    const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    let sum = 0;
    let hash = 0;
    for (let i = 0; i < data.length; i += 1) {
      sum += i % 4 === 3 ? 0 : data[i];
      hash = (hash * 31 + data[i]) | 0;
    }
    return { width: canvas.width, height: canvas.height, hash, mean: sum / (data.length * 0.75) };
  });
  const fieldFor = async (name) => {
    const id = await page.$$eval('#controls label',
      (labels, text) => labels.find((label) => label.textContent === text)?.htmlFor, name);
    assert.ok(id, `no control labelled "${name}"`);
    return `#${id}`;
  };
  const setMode = async (mode) => {
    await page.click(`input[name=mode][value=${mode}]`);
    await page.waitForFunction((m) => document.querySelector(`input[value=${m}]`).checked,
      {}, mode);
  };

  // The first frame, encoded with the first segment.
  await shown(0);
  const first = await picture();
  assert.equal(first.width, 1280);
  assert.equal(first.height, 720);

  // Keys step through frames; the body has the focus, not a control.
  await page.focus('body');
  await page.keyboard.press('ArrowRight');
  await shown(1);
  await page.keyboard.press('ArrowRight');
  await shown(2);
  assert.match(await page.$eval('#frame-state', (e) => e.textContent), /stored/);
  await page.keyboard.press('ArrowLeft');
  await shown(1);
  await page.keyboard.down('Shift');
  await page.keyboard.press('ArrowRight');
  await page.keyboard.up('Shift');
  await shown(10);
  await page.keyboard.press('End');
  await shown(29);
  await page.keyboard.press('Home');
  await shown(0);
  assert.equal((await picture()).hash, first.hash, 'frame 0 from the store must be the same');

  // Mode and Rate Factor through their labels, as a user sets them.
  await page.select(await fieldFor('Mode'), 'Constant Rate Factor');
  const rateFactor = await fieldFor('Rate Factor (0 = Max Quality)');
  await page.waitForFunction((s) => !document.querySelector(s).disabled, {}, rateFactor);
  await page.click(rateFactor, { clickCount: 3 });
  await page.type(rateFactor, '51');
  await page.keyboard.press('Tab');
  await page.waitForFunction(
    () => document.querySelector('#information-text').textContent.includes('Frame 0') &&
      !document.querySelector('#information-text').textContent.includes('Target'),
    { timeout: 60000 });
  await shown(0, 2);
  const coarse = await picture();
  assert.notEqual(coarse.hash, first.hash, 'Rate Factor 51 must change the picture');
  const information = await page.$eval('#information-text', (e) => e.textContent);
  assert.match(information, /Frame 0 Segment 0 {2}Type: IDR/);
  assert.match(information, /Average Bitrate: \d+\n/);

  // A step onto a frame read ahead: on the canvas at once, and the
  // Information text follows to it.
  await page.waitForFunction(() => !view.aheadBusy && view.ahead.size > 0);
  await page.keyboard.press('ArrowRight');
  await shown(1, 2);
  await page.waitForFunction(
    () => document.querySelector('#information-text').textContent.includes('Frame 1 '),
    { timeout: 10000 });

  // Space plays the stored frames and stops before the first that is not
  // stored (the new Rate Factor dropped the later segments).
  await page.keyboard.press(' ');
  await shown(9, 2);
  await page.waitForFunction(
    () => document.querySelector('#notice').textContent === 'Stopped: frame 10 is not stored',
    { timeout: 10000 });
  assert.equal(await page.evaluate(() => document.body.dataset.shownFrame), '9');

  // Cancel stops the encode of a segment; the page says so and keeps going.
  await page.keyboard.press('End');
  await page.waitForFunction(() => !document.querySelector('#progress-line').hidden,
    { timeout: 30000 });
  await page.click('#cancel');
  await page.waitForFunction(
    () => /The encode of segment 2 was cancelled/.test(document.querySelector('#notice').textContent),
    { timeout: 30000 });
  await page.keyboard.press('Home');
  await shown(0, 2);
  assert.equal((await picture()).hash, coarse.hash, 'frame 0 stays stored through a cancel');

  // Effect off, wipe and difference.
  await setMode('off');
  await page.waitForFunction(() => document.body.dataset.drawnMode === 'off');
  const input = await picture();
  assert.notEqual(input.hash, coarse.hash);
  await setMode('wipe');
  await page.waitForFunction(() => document.body.dataset.drawnMode === 'wipe');
  const wiped = await picture();
  assert.ok(wiped.hash !== input.hash && wiped.hash !== coarse.hash, 'the wipe shows both');
  assert.equal(await page.$eval('#divider', (e) => e.hidden), false);
  await page.select('#gain', '1');
  await setMode('difference');
  await page.waitForFunction(() => document.body.dataset.drawnMode === 'difference');
  const difference = await picture();
  assert.ok(difference.mean > 0 && difference.mean < input.mean / 2,
    `the difference must be small but not nothing (${difference.mean})`);

  // The view for the README: the wipe over the preview at 1x.
  await setMode('wipe');
  await page.waitForFunction(() => document.body.dataset.drawnMode === 'wipe');
  // No encode runs any more: the progress line has gone.
  await page.waitForFunction(() => document.querySelector('#progress-line').hidden,
    { timeout: 10000 });
  assert.deepEqual(problems, []);
  await page.screenshot({ path: screenshot });
  console.log(`screenshot: ${screenshot}`);
} catch (error) {
  failed = true;
  console.error(error);
} finally {
  await browser.close();
  fs.rmSync(profile, { recursive: true, force: true });
}

// Ctrl-C ends the view cleanly: 130, and no complaint from the host.
view.child.kill('SIGINT');
const code = await new Promise((resolve) => view.child.on('exit', (c) => resolve(c)));
if (code !== 130) {
  console.error(`ruzirazu view ended with ${code}, not 130:\n${view.stderr()}`);
  failed = true;
}
if (/broke the host's rules|leak/i.test(view.stderr())) {
  console.error(`the host reported a defect:\n${view.stderr()}`);
  failed = true;
}
process.exit(failed ? 1 : 0);
