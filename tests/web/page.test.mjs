// The browser build as a person uses it: the page from scripts/serve-web.sh in
// the system's Chromium, mouse and keys through the DevTools protocol, what it
// shows read back from screenshots. Run by scripts/test-web.sh.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, execFileSync } from 'node:child_process';
import { copyFileSync, mkdtempSync, rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import { createServer } from 'node:net';
import { tmpdir } from 'node:os';
import path from 'node:path';

const root = path.resolve(import.meta.dirname, '../..');
// scripts/test-web.sh installs the packages of package.json there, out of the sources.
const { chromium } = createRequire(path.join(root, 'build/web-test/'))('playwright-core');
const sim = process.env.PLUMFOLD_SIM ?? path.join(root, 'build/gcc/tools/plumfold-sim');
const report = 'Window Width: 600\nWindow Height: 600\n\nLoaded: 1280 faces...\nLoaded: 642 points...\n' +
  'Created: 1920 spring connections...\n';
const boxColours = { top: [0.44, 0.53, 0.62], floor: [0.14, 0.23, 0.48], left: [0.44, 0.43, 0.62],
  right: [0.44, 0.43, 0.52] };
let server, browser, profile, address;

const sleep = (ms) => new Promise((done) => setTimeout(done, ms));
async function pollUntil(check, seconds = 60) {
  for (const end = Date.now() + seconds * 1000; Date.now() < end; await sleep(300)) if (await check()) return true;
  return false;
}
const freePort = () => new Promise((done) => {
  const probe = createServer().listen(0, '127.0.0.1', () => probe.close(done.bind(null, probe.address().port)));
});

before(async () => {
  const port = String(await freePort());
  server = spawn(path.join(root, 'scripts/serve-web.sh'), [port], { stdio: ['ignore', 'pipe', 'ignore'] });
  address = (await new Promise((done) => server.stdout.once('data', done))).toString().match(/http:\S+/)[0];
  assert.ok(await pollUntil(() => fetch(address).then((r) => r.ok, () => false)), 'the server never answered');
  copyFileSync(path.join(root, 'tests/data/golden/drag.events'), path.join(root, 'build/web/drag.events'));
  profile = mkdtempSync(path.join(tmpdir(), 'plumfold-chromium-'));
  browser = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium', headless: true,
    viewport: { width: 700, height: 1000 },
    args: ['--no-sandbox', '--disable-gpu', '--enable-unsafe-swiftshader', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'] });
});
after(async () => {
  await browser?.close();
  server?.kill();
  if (profile) rmSync(profile, { recursive: true, force: true });
});

async function open(query = '') {
  const page = await browser.newPage();
  const logged = [];
  page.on('console', (message) => logged.push(message.text()));
  await page.goto(address + query);
  return { page, logged, shown: () => page.textContent('#console') };
}

// One screenshot of the canvas, decoded by the page itself: the body is every
// pixel that is not black, white or one of the box's colours; probes are the
// colours at the given points.
async function look(page, probes = []) {
  const png = await page.locator('#canvas').screenshot();
  const view = await page.evaluate(async ([png, boxColours, probes]) => {
    const image = new Image();
    image.src = 'data:image/png;base64,' + png;
    await image.decode();
    const context = new OffscreenCanvas(600, 600).getContext('2d');
    context.drawImage(image, 0, 0);
    const bytes = context.getImageData(0, 0, 600, 600).data;
    const view = { pixels: 0, white: 0, top: 600, bottom: -1, sums: [0, 0, 0, 0, 0] };  // x, y, r, g, b
    for (let i = 0; i < bytes.length; i += 4) {
      const pixel = [bytes[i], bytes[i + 1], bytes[i + 2]];
      if (pixel.every((c) => c < 10)) continue;
      if (pixel.every((c) => c >= 250)) { ++view.white; continue; }
      if (boxColours.some((colour) => colour.every((c, k) => Math.abs(pixel[k] - Math.round(c * 255)) <= 3))) continue;
      const y = Math.floor(i / 2400);
      [(i / 4) % 600, y, ...pixel].forEach((value, k) => { view.sums[k] += value; });
      Object.assign(view, { pixels: view.pixels + 1, top: Math.min(view.top, y), bottom: y });
    }
    view.probes = probes.map(([x, y]) => [...bytes.subarray((y * 600 + x) * 4, (y * 600 + x) * 4 + 3)]);
    return view;
  }, [png.toString('base64'), Object.values(boxColours), probes]);
  const [centreX, centreY, ...colour] = view.sums.map((sum) => sum / view.pixels);
  return Object.assign(view, { centreX, centreY, colour });
}
const looksLike = (pixel, colour) => colour.every((c, i) => Math.abs(pixel[i] - Math.round(c * 255)) <= 3);

// One page for the two tests that follow.
let demo;

test('the page prints the report, draws the open box and the lit body falls', async () => {
  demo = await open();
  assert.ok(await pollUntil(async () => (await demo.shown()) === report), await demo.shown());
  // The body starts centred on the window's row 290 and comes down to the floor, well below it.
  // Window points where the camera sees each face in its own colour, and through the open back and front.
  const probes = [[300, 30, boxColours.top], [300, 580, boxColours.floor], [60, 200, boxColours.left],
    [585, 200, boxColours.right], [450, 150, [0, 0, 0]], [30, 590, [0, 0, 0]]];
  let low;
  const fallen = async () => (low = await look(demo.page, probes)).centreY > 360 && low.bottom > 500;
  assert.ok(await pollUntil(fallen), JSON.stringify(low));
  assert.ok(low.pixels > 5000 && Math.abs(low.centreX - 300) < 30, JSON.stringify(low));
  probes.forEach(([x, y, colour], k) => assert.ok(looksLike(low.probes[k], colour), `${x},${y}: ${low.probes[k]}`));
  // Lit as in the native window, whose body pixels average (86, 127, 154) at rest;
  // with normals lit at full length, as the browser's GL emulation does unless told, (126, 179, 205).
  // The body may still be settling when sampled, which moves the mean by up to about 15.
  assert.ok([86, 127, 154].every((c, k) => Math.abs(low.colour[k] - c) < 20), `body ${low.colour}`);
  assert.equal(low.white, 0);
});

test('a left drag pulls the body along a white line and prints the press; Escape stops it', async () => {
  const { page, shown } = demo;
  const canvas = await page.locator('#canvas').boundingBox();
  await page.mouse.move(canvas.x + 300, canvas.y + 150);
  await page.mouse.down();
  await page.mouse.move(canvas.x + 40, canvas.y + 40, { steps: 5 });
  // Dropped straight down, the body stays in the middle; pulled up and to the left
  // it rolls a unit or more that way whenever the press comes, as plumfold-sim shows.
  let held;
  const pulled = async () => (held = await look(page)).white > 20 && held.centreX < 265;
  assert.ok(await pollUntil(pulled), JSON.stringify(held));
  await page.mouse.up();
  assert.ok(await pollUntil(async () => (await look(page)).white === 0), 'the line stayed after the release');
  assert.equal(await shown(), report + '0\n2\n');
  await page.keyboard.press('Escape');
  assert.ok(await pollUntil(async () => (await shown()).endsWith('Simulation ended (Escape).\n')), await shown());
  const stopped = await look(page);
  await sleep(1000);
  assert.deepEqual(await look(page), stopped, 'the body still moves after Escape');
  await page.close();
});

test('replaying events gives the checksum of plumfold-sim, or says what is wrong', async () => {
  const checksum = (steps, ...events) => execFileSync(sim, [path.join(root, 'Objects/Objekt3.asc'), String(steps),
    ...events], { encoding: 'utf8' }).match(/checksum [0-9a-f]{16}/)[0];
  const cases = [
    ['?events=drag.events&steps=2000', checksum(2000, '--events', path.join(root, 'tests/data/golden/drag.events'))],
    ['?steps=0', checksum(0)],
    ['?events=missing.events&steps=5', "cannot load 'missing.events' beside the page: HTTP status 404"],
    ['?events=drag.events&steps=1e3', "steps must be a whole number from 0, not '1e3'"],
  ];
  for (const [query, expected] of cases) {
    const { page, logged, shown } = await open(query);
    assert.ok(await pollUntil(async () => (await shown()).includes(expected), 60), `${query}: ${await shown()}`);
    if (expected.startsWith('checksum')) assert.ok(logged.includes(expected), `${query}: ${logged}`);
    else assert.doesNotMatch(await shown(), /checksum/);
    await page.close();
  }
});
