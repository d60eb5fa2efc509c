// The phone page in a phone-sized Chromium, opened from the link the real agent prints,
// driving a private X desktop: what a finger, a keyboard and a closing page do there.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { chromium } from 'playwright-core';
import { startAgent, startProbe, startXvfb, until, watchChannel } from './desktop.mjs';

const code = '23456789ABCDEFGH';
const button1Mask = 1 << 8;

let xvfb, probe, agent, watcher, browser, page, cdp;
const pageErrors = [];

before(async () => {
  xvfb = await startXvfb();
  probe = await startProbe(xvfb.display);
  agent = await startAgent(xvfb.display, code);
  watcher = await watchChannel(agent.link, code);
  browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: process.getuid?.() === 0 ? ['--no-sandbox'] : [],
  });
  const context = await browser.newContext({
    viewport: { width: 390, height: 844 },
    deviceScaleFactor: 3,
    isMobile: true,
    hasTouch: true,
  });
  page = await context.newPage();
  page.on('pageerror', (error) => pageErrors.push(error.message));
  cdp = await context.newCDPSession(page);
  await page.goto(agent.link);
});

after(async () => {
  await browser?.close();
  watcher?.stop();
  await agent?.stop();
  await probe?.stop();
  await xvfb?.stop();
});

// Fingers on the touchscreen: each step lists the points touching after it, [x, y] each.
async function touch(type, points) {
  await cdp.send('Input.dispatchTouchEvent', {
    type,
    touchPoints: points.map(([x, y], id) => ({ x, y, id })),
  });
}

// Moves the touching fingers from `from` to `to` in small steps, as a finger reports them.
async function slide(from, to, steps = 12) {
  for (let i = 1; i <= steps; i++) {
    await touch(
      'touchMove',
      from.map(([x, y], f) => [x + ((to[f][0] - x) * i) / steps, y + ((to[f][1] - y) * i) / steps]),
    );
    await new Promise((resolve) => setTimeout(resolve, 10));
  }
}

// The X events recorded from now on, once at least `count` have come and then no more for a
// moment, so that nothing of one step spills into the next.
async function events(count, what) {
  const seen = [];
  let lastNews = Date.now();
  await until(async () => {
    const { events: more } = await probe.ask('events');
    seen.push(...more);
    if (more.length > 0) lastNews = Date.now();
    return seen.length >= count && Date.now() - lastNews >= 150;
  }, what);
  return seen;
}

const keysyms = (seen) => seen.filter((e) => e.type === 'KeyPress').map((e) => e.keysym);
const presses = (seen) => seen.filter((e) => e.type === 'ButtonPress').map((e) => e.button);

test('the page joins, says hello and shows the computer as connected', async () => {
  await until(async () => (await page.textContent('#status')) === 'Connected', 'Connected');
  const hello = watcher.broadcasts.find((b) => b.event === 'hello');
  assert.ok(hello, 'no hello on the channel');
  const phoneId = await page.evaluate(() => localStorage.getItem('zephyrglint-phone-id'));
  assert.equal(hello.payload.from, phoneId);
  assert.equal(typeof hello.payload.device, 'string');
  assert.notEqual(await page.textContent('#name'), 'Your computer');
});

test('one finger moves the pointer, a tap clicks, a two-finger tap right-clicks', async () => {
  await probe.ask('warp 640 400');
  await touch('touchStart', [[150, 300]]);
  await slide([[150, 300]], [[250, 360]]);
  await touch('touchEnd', []);
  // The agent accelerates, so the pointer goes further than the finger, the same way.
  await until(async () => {
    const p = await probe.ask('pointer');
    return p.x > 740 && p.y > 460;
  }, 'the pointer to move right and down');

  await page.touchscreen.tap(200, 300);
  await touch('touchStart', [
    [150, 300],
    [250, 300],
  ]);
  await touch('touchEnd', []);
  const clicks = await events(4, 'a click and a right click');
  assert.deepEqual(presses(clicks), [1, 3]);
  const moved = await probe.ask('pointer');
  assert.ok(moved.x - 640 > moved.y - 400, `moved to ${moved.x},${moved.y}`);
  assert.ok(
    clicks.every((e) => e.x === moved.x && e.y === moved.y),
    'clicked where it moved to',
  );
});

test('two fingers sliding up scroll down', async () => {
  await touch('touchStart', [
    [150, 500],
    [250, 500],
  ]);
  await slide(
    [
      [150, 500],
      [250, 500],
    ],
    [
      [150, 350],
      [250, 350],
    ],
  );
  await touch('touchEnd', []);
  const wheel = await events(2, 'wheel clicks');
  assert.ok(
    presses(wheel).length > 0 && presses(wheel).every((b) => b === 5),
    JSON.stringify(wheel),
  );
});

test('typed text and the key bar arrive as keys, a modifier for the next key only', async () => {
  await page.locator('#field').pressSequentially('Hi there');
  await page.tap('[data-key=Enter]');
  await page.tap('[data-mod=ctrl]');
  await page.locator('#field').pressSequentially('a');
  await page.tap('[data-key=Tab]');
  const typed = keysyms(await events(26, 'the typed keys'));
  assert.deepEqual(typed, [
    'Shift_L',
    'H',
    'i',
    'space',
    't',
    'h',
    'e',
    'r',
    'e',
    'Return',
    'Control_L',
    'a',
    'Tab',
  ]);
  assert.equal(await page.getAttribute('[data-mod=ctrl]', 'aria-pressed'), 'false');
});

test('the screen view shows the picture around the pointer and pinches to zoom', async () => {
  await probe.ask('quadrants');
  await probe.ask('warp 640 400');
  await page.tap('#screen');
  await page.waitForSelector('#view[data-frame]', { state: 'visible' });
  // Frames follow the pointer: the quadrants meet in the middle of the picture.
  const colours = await page.evaluate(() => {
    const view = document.getElementById('view');
    const canvas = document.createElement('canvas');
    canvas.width = view.naturalWidth;
    canvas.height = view.naturalHeight;
    const g = canvas.getContext('2d');
    g.drawImage(view, 0, 0);
    const at = (fx, fy) => [
      ...g.getImageData(fx * canvas.width, fy * canvas.height, 1, 1).data.slice(0, 3),
    ];
    return [at(0.25, 0.25), at(0.75, 0.25), at(0.25, 0.75), at(0.75, 0.75)];
  });
  const expected = [
    [255, 0, 0],
    [0, 255, 0],
    [0, 0, 255],
    [255, 255, 255],
  ];
  colours.forEach((rgb, i) =>
    assert.ok(
      rgb.every((c, j) => Math.abs(c - expected[i][j]) < 40),
      `quadrant ${i}: ${rgb}`,
    ),
  );
  const box = await page.locator('#view').boundingBox();
  assert.ok(box.width > 300 && box.height > 300, `shown at ${box.width} x ${box.height}`);

  await touch('touchStart', [
    [145, 400],
    [245, 400],
  ]);
  await slide(
    [
      [145, 400],
      [245, 400],
    ],
    [
      [95, 400],
      [295, 400],
    ],
  );
  await touch('touchEnd', []);
  await page.waitForSelector('#view[data-zoom="2"]');
});

test('odd data from the channel is shown as text or left out, and breaks nothing', async () => {
  const hostId = watcher.broadcasts.findLast((b) => b.event === 'state').payload.from;
  const name = await page.textContent('#name');
  const shownFrame = await page.getAttribute('#view', 'data-frame');
  const html = '<img src=x id=injected>';
  watcher.send('frame', { n: 'one', img: 5 });
  watcher.send('frame', { n: 1e9, z: 'big', img: 'not base64!' });
  watcher.send('frame', { n: 1e9 + 1, z: 2, img: Buffer.from('no picture').toString('base64') });
  watcher.send('state', {
    kind: 'host',
    from: hostId,
    name: html + 'x'.repeat(100_000),
    screenError: html,
  });
  await until(async () => (await page.textContent('#notice')) === html, 'the screen problem');
  assert.equal(await page.locator('#injected').count(), 0);
  const shownName = await page.textContent('#name');
  assert.ok(shownName.startsWith(html) && shownName.length <= 64, shownName.slice(0, 80));

  watcher.send('state', { kind: 'host', from: hostId, name: 7, drag: 'yes', screenError: 42 });
  await page.waitForSelector('#notice', { state: 'hidden' });
  assert.equal(await page.locator('#drag').isVisible(), false);
  watcher.send('state', { kind: 'host', from: hostId, name, gone: true });
  await until(async () => (await page.textContent('#status')) === 'The computer has gone', 'gone');

  // The agent's own reports and frames still get through.
  await page.touchscreen.tap(200, 300);
  await until(async () => (await page.textContent('#status')) === 'Connected', 'back to Connected');
  await until(
    async () => (await page.getAttribute('#view', 'data-frame')) !== shownFrame,
    'a newer frame',
  );
  assert.deepEqual(pageErrors, []);
});

test('the page rejoins a restarted agent and follows its new id', async () => {
  const status = () => page.textContent('#status');
  watcher.stop();
  await agent.stop();
  await until(async () => (await status()) === 'Reconnecting…', 'Reconnecting…');
  agent = await startAgent(xvfb.display, code, new URL(page.url()).host);
  watcher = await watchChannel(agent.link, code);
  await until(async () => (await status()) === 'Connected', 'Connected again', 15_000);

  // Moves reach the new agent only if they carry its id.
  const start = await probe.ask('warp 640 400');
  await touch('touchStart', [[150, 300]]);
  await slide([[150, 300]], [[250, 300]]);
  await touch('touchEnd', []);
  await until(async () => (await probe.ask('pointer')).x > start.x + 100, 'the pointer to move');
  const hostId = watcher.broadcasts.findLast((b) => b.event === 'state').payload.from;
  const moves = watcher.broadcasts.filter((b) => b.event === 'cmd' && b.payload.do === 'move');
  assert.ok(moves.length > 0 && moves.every((b) => b.payload.to === hostId));
});

test('closing the page says bye, and the agent lets go of the held button', async () => {
  const phoneId = await page.evaluate(() => localStorage.getItem('zephyrglint-phone-id'));
  await touch('touchStart', [[200, 300]]);
  await page.waitForSelector('#drag', { state: 'visible' });
  await until(async () => (await probe.ask('pointer')).mask & button1Mask, 'the button to be held');

  await page.close({ runBeforeUnload: true });
  await until(
    () => watcher.broadcasts.some((b) => b.event === 'bye' && b.payload.from === phoneId),
    'bye on the channel',
  );
  // Nobody else is registered: the agent releases what the phone held.
  await until(
    async () => !((await probe.ask('pointer')).mask & button1Mask),
    'the button to be let go',
  );
});
