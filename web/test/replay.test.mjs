// The replay page in a real browser (Debian's chromium, headless, driven by playwright-core):
// it opens from disk with no network and no console error, shows the telemetry's state at
// seeked moments, draws a 3D view that changes, seeks on a plot click, and lays a second run
// over the first. Screenshots of the moments go to KORVAN_SHOTS for a person to look at.
//   KORVAN_RUN=<output folder> KORVAN_COMPARE=<another> KORVAN_SHOTS=<folder> node --test web/test/replay.test.mjs
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync, mkdirSync } from 'node:fs';
import { join, relative, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const run = resolve(process.env.KORVAN_RUN || 'out/ascent');
const other = resolve(process.env.KORVAN_COMPARE || run);
const shots = resolve(process.env.KORVAN_SHOTS || join(run, 'browser-test'));
// The flags that let Chromium run headless here: no sandbox as root, software WebGL, and
// none of its own connections to the network.
const FLAGS = ['--no-sandbox', '--disable-gpu', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--disable-quic',
  '--no-first-run', '--disable-background-networking', '--disable-component-update', '--disable-sync'];
const MOMENTS = ['liftoff', 'engine_switch', 'orbit'];

function telemetry(folder) {
  const [header, ...lines] = readFileSync(join(folder, 'telemetry.csv'), 'utf8').trim().split('\n');
  const names = header.split(',');
  return lines.map((l) => Object.fromEntries(l.split(',').map((v, i) => [names[i], Number(v)])));
}
const gap = (a, b) => Math.abs(((a - b + 540) % 360) - 180);

let browser, page, ownSeries;
const requests = [], problems = [];

before(async () => {
  mkdirSync(shots, { recursive: true });
  browser = await chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium', args: FLAGS });
  page = await browser.newPage({ viewport: { width: 1600, height: 900 } });
  page.on('request', (r) => requests.push(r.url()));
  page.on('console', (m) => { if (m.type() === 'error') problems.push(m.text()); });
  page.on('pageerror', (e) => problems.push(e.message));
});
after(async () => { await browser?.close(); });

async function open(url) {
  const start = Date.now();
  await page.goto(url);
  await page.waitForFunction(() => document.body.dataset.ready === '1' || document.getElementById('status').className === 'error', null, { timeout: 120000 });
  return Date.now() - start;
}

// Distinct colours of the 3D view and a digest of its pixels.
const viewPixels = () => page.evaluate(() => {
  const src = document.getElementById('view');
  const c = document.createElement('canvas');
  c.width = src.width; c.height = src.height;
  const g = c.getContext('2d');
  g.drawImage(src, 0, 0);
  const d = g.getImageData(0, 0, c.width, c.height).data;
  const colours = new Set();
  let digest = 0;
  for (let i = 0; i < d.length; i += 4) {
    colours.add((d[i] << 16) | (d[i + 1] << 8) | d[i + 2]);
    digest = (digest * 31 + d[i] + d[i + 1] * 7 + d[i + 2] * 13) >>> 0;
  }
  return { colours: colours.size, digest };
});

test('opens from disk, shows the telemetry at three moments, a changing view, and seeks on a plot click', async () => {
  const ms = await open(pathToFileURL(join(run, 'replay.html')).href);
  console.log(`# page loaded in ${ms} ms`);
  // Files beside the page, and the blob the hull's embedded texture is decoded from.
  assert.deepEqual(requests.filter((u) => !/^(file|blob|data):/.test(u)), [], 'no network request');
  assert.deepEqual(problems, [], 'no console error');
  const rows = telemetry(run);
  const api = await page.evaluate(() => ({ duration: window.korvanReplay.duration, events: window.korvanReplay.events }));
  ownSeries = await page.evaluate(() => window.korvanReplay.plotSeries);
  assert.ok(Math.abs(api.duration - rows[rows.length - 1].time_s) < 0.01);
  const views = [];
  for (const name of MOMENTS) {
    const event = api.events.find((e) => e.name === name);
    assert.ok(event, `event ${name}`);
    // The first telemetry row after the event, a few seconds on: the view between two rows.
    const row = rows.find((r) => r.time_s >= event.t + 3);
    await page.evaluate((t) => window.korvanReplay.seek(t), row.time_s);
    const s = await page.evaluate(() => window.korvanReplay.state());
    const where = `${name} t=${row.time_s}`;
    assert.ok(Math.abs(s.t - row.time_s) < 1e-6, where);
    assert.ok(Math.abs(s.altitude_m - row.altitude_m) < 3, `${where} altitude ${s.altitude_m} ${row.altitude_m}`);
    assert.ok(Math.abs(s.latitude_deg - row.latitude_deg) < 3e-5, `${where} latitude`);
    assert.ok(gap(s.longitude_deg, row.longitude_deg) < 3e-5, `${where} longitude`);
    assert.ok(Math.abs(s.pitch_deg - row.pitch_deg) < 0.3, `${where} pitch ${s.pitch_deg} ${row.pitch_deg}`);
    assert.ok(gap(s.bank_deg, row.bank_deg) < 0.3, `${where} bank ${s.bank_deg} ${row.bank_deg}`);
    assert.ok(gap(s.heading_deg, row.heading_deg) < 0.3, `${where} heading`);
    assert.ok(Math.abs(s.gear - row.gear_position) < 0.01, `${where} gear`);
    assert.ok(Math.abs(s.doors - row.door_position) < 0.01, `${where} doors`);
    assert.ok(Math.abs(s.brakes - row.brake_position) < 0.01, `${where} brakes`);
    assert.ok(Math.abs(s.main_level - row.main_level) < 0.02, `${where} main level ${s.main_level} ${row.main_level}`);
    const pixels = await viewPixels();
    console.log(`# ${where}: ${pixels.colours} colours in the 3D view`);
    assert.ok(pixels.colours > 50, `${where}: the 3D view draws something`);
    views.push(pixels.digest);
    await page.screenshot({ path: join(shots, `replay-${name}.png`) });
  }
  assert.equal(new Set(views).size, MOMENTS.length, 'the view differs between moments');

  await page.evaluate(() => window.korvanReplay.seek(0));
  const box = await page.locator('.plot .u-over').first().boundingBox();
  await page.mouse.click(box.x + box.width / 2, box.y + box.height / 2);
  await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
  const t = await page.evaluate(() => window.korvanReplay.state().t);
  assert.ok(t > 0.4 * api.duration && t < 0.6 * api.duration, `a click in the plot's middle seeks there (t=${t})`);
});

test('compare mode lays a second run over the first', async () => {
  const path = relative(run, other) || '.';
  await open(`${pathToFileURL(join(run, 'replay.html')).href}?compare=${encodeURIComponent(path)}`);
  assert.deepEqual(problems, [], 'no console error');
  const comparing = await page.evaluate(() => window.korvanReplay.comparing);
  const rows = telemetry(other);
  assert.ok(comparing, 'a second run is shown');
  assert.ok(Math.abs(comparing.duration - rows[rows.length - 1].time_s) < 0.01);
  const series = await page.evaluate(() => window.korvanReplay.plotSeries);
  assert.deepEqual(series, ownSeries.map((n) => 2 * n), 'each plot has both runs');
  await page.evaluate(() => window.korvanReplay.seek(600));
  await page.screenshot({ path: join(shots, 'replay-compare.png') });
});
