// How soon a stored 1280x720 frame is on the page after a key press (stepping
// by hand, and without the page's read-ahead), and how
// long the server takes for it (render from the store + the picture bytes for transfer,
// from its Server-Timing header). Not a test: prints figures for
// docs/performance.md.
//
// Run as: node measure.mjs RUZIRAZU
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const [command] = process.argv.slice(2);
const child = spawn(command, ['view', '--segment', '30', '--duration', '30'],
  { stdio: ['ignore', 'pipe', 'inherit'] });
const url = await new Promise((resolve) => {
  let out = '';
  child.stdout.on('data', (data) => {
    out += data;
    if (out.includes('\n')) {
      resolve(out.split('\n')[0].trim());
    }
  });
});
const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'ruzirazu-chromium-'));
const browser = await puppeteer.launch({
  executablePath: '/usr/bin/chromium', headless: false, userDataDir: profile,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
const page = await browser.newPage();
await page.setViewport({ width: 1680, height: 1000 });
await page.goto(url);
await page.waitForFunction(() => document.body.dataset.shownFrame === '0', { timeout: 120000 });

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
// Steps through the stored frames with Right: `cold` empties the page's
// read-ahead before every press (a jump to a frame it has not fetched),
// otherwise the presses come 150 ms apart, as a user stepping by hand.
async function stepThrough(cold) {
  const times = [];
  for (let frame = 1; frame < 30; frame += 1) {
    if (cold) {
      await page.waitForFunction(() => !view.aheadBusy);
      await page.evaluate(() => view.ahead.clear());
    } else {
      await pause(150);
    }
    await page.keyboard.press('ArrowRight');
    await page.waitForFunction((f) => document.body.dataset.shownFrame === String(f) &&
      document.body.dataset.keyToFrameMs, {}, frame);
    times.push(Number(await page.evaluate(() => {
      const ms = document.body.dataset.keyToFrameMs;
      delete document.body.dataset.keyToFrameMs;
      return ms;
    })));
  }
  await page.keyboard.press('Home');
  await page.waitForFunction(() => document.body.dataset.shownFrame === '0');
  return times;
}
const stepping = [];
const cold = [];
for (let round = 0; round < 3; round += 1) {
  stepping.push(...await stepThrough(false));
  cold.push(...await stepThrough(true));
}
const server = await page.evaluate(async () => {
  const times = [];
  for (let frame = 0; frame < 30; frame += 1) {
    const response = await fetch(`/api/frame?n=${frame}`);
    await response.arrayBuffer();
    const timing = response.headers.get('Server-Timing');
    const ms = [...timing.matchAll(/dur=([\d.]+)/g)].map((m) => Number(m[1]));
    times.push({ render: ms[0], encode: ms[1], total: ms[2] });
  }
  return times;
});
const total = server.map((t) => t.render + t.encode);
for (const [name, times] of [['stepping', stepping], ['not read ahead', cold]]) {
  console.log(`key press to stored frame on the page, ${name}: median ${median(times).toFixed(1)} ms, ` +
    `max ${Math.max(...times).toFixed(1)} ms over ${times.length} presses`);
}
console.log(`server, render from the store: median ${median(server.map((t) => t.render)).toFixed(1)} ms; ` +
  `picture bytes for transfer: median ${median(server.map((t) => t.encode)).toFixed(1)} ms; ` +
  `together: median ${median(total).toFixed(1)} ms, max ${Math.max(...total).toFixed(1)} ms; ` +
  `request to answer: median ${median(server.map((t) => t.total)).toFixed(1)} ms`);
await browser.close();
fs.rmSync(profile, { recursive: true, force: true });
child.kill('SIGINT');
