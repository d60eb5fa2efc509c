// The phone page in a phone-sized Chromium, opened from the link the real agent prints,
// driving a private X desktop through the sealed channel, watched by members with and without
// the secret: one pass over what a person does with it. Then the official client drives too.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { RealtimeClient } from '@supabase/realtime-js';
import { chromium } from 'playwright-core';
import WebSocket from 'ws';
import { member, startAgent, startProbe, startXvfb, until } from '../harness.mjs';

const code = '23456789ABCDEFGH';
const secret = 'bjXM5QmXk1pFhrsKxQy0bS8uMQVeQ4JPQ7wW9ZC3kLc'; // as the agent would draw one
const topic = `realtime:zephyrglint-${code}`;
const button1Mask = 1 << 8;
let xvfb, probe, agent, watcher, stranger, browser, page, cdp;
const pageErrors = [];

// The agent, a member of its channel that holds the secret and so sees what the page and the
// agent say, and one that does not.
async function startAgentWatched(listen, options) {
  agent = await startAgent(xvfb.display, { code, secret }, listen, options);
  const endpoint = `ws://${new URL(agent.link).host}/realtime/v1`;
  watcher = await member(endpoint, topic, WebSocket, secret);
  stranger = await member(endpoint, topic, WebSocket);
}

before(async () => {
  xvfb = await startXvfb();
  probe = await startProbe(xvfb.display);
  await startAgentWatched();
  const args = process.getuid?.() === 0 ? ['--no-sandbox'] : [];
  browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args });
  const phone = { viewport: { width: 390, height: 844 }, deviceScaleFactor: 3, isMobile: true };
  const context = await browser.newContext({ ...phone, hasTouch: true });
  await context.clock.install(); // runs as usual until a test stops it
  page = await context.newPage();
  page.on('pageerror', (error) => pageErrors.push(error.message));
  cdp = await context.newCDPSession(page);
  await page.goto(agent.link);
});

after(async () => {
  await browser?.close();
  for (const listener of [watcher, stranger]) listener?.close();
  for (const running of [agent, probe, xvfb]) await running?.stop();
});

const status = () => page.textContent('#status');
const shows = (text) => until(async () => (await status()) === text, text, 15_000);
const pointer = () => probe.ask('pointer');
const phoneId = () => page.evaluate(() => localStorage.getItem('zephyrglint-phone-id'));

// Sends touch steps at once, quicker than the page sends moves: [type, points] each, with the
// points of the fingers touching after the step.
const touches = (...steps) =>
  Promise.all(steps.map(([type, points]) => {
    const touchPoints = points.map(([x, y], id) => ({ x, y, id }));
    return cdp.send('Input.dispatchTouchEvent', { type, touchPoints });
  }));
const tap = (...points) => [['touchStart', points], ['touchEnd', []]];
// Fingers sliding from `from` to `to` in the small steps a finger reports.
function swipe(from, to, steps = 12) {
  const at = (i) => from.map((p, f) => p.map((v, c) => v + ((to[f][c] - v) * i) / steps));
  const moves = Array.from({ length: steps }, (_, i) => ['touchMove', at(i + 1)]);
  return [['touchStart', from], ...moves, ['touchEnd', []]];
}

// The X desktop's presses of `kind` ('button' or 'keysym') from now on, once there are `count`.
async function presses(kind, count) {
  const seen = [];
  const more = async () =>
    seen.push(...(await probe.ask('events')).events.filter((e) => kind in e));
  await until(async () => (await more()) >= count, `${count} ${kind} presses`);
  return seen;
}

test('the page joins; a finger moves and taps, two fingers right-click and scroll', async () => {
  await shows('Connected');
  assert.equal(new URL(page.url()).hash, ''); // the secret is gone from the address bar
  const { payload: hello } = watcher.broadcasts.find((b) => b.event === 'hello' && b.sealed);
  assert.deepEqual([hello.from, typeof hello.device], [await phoneId(), 'string']);
  await probe.ask('warp 640 400');
  // With the page's clock stopped, it sends the first move at once and holds back the rest,
  // which the tap must send before it clicks.
  await page.clock.pauseAt(await page.evaluate(() => Date.now() + 1000));
  const [start, first, ...rest] = swipe([[150, 300]], [[250, 360]], 6); // steps past the slop
  await touches(start, first);
  await until(() => watcher.broadcasts.some((b) => b.payload.do === 'move'), 'the first move');
  await touches(...rest, ...tap([200, 300]));
  await page.clock.resume();
  await touches(...tap([150, 300], [250, 300]));
  await touches(...swipe([[150, 500], [250, 500]], [[150, 350], [250, 350]]));
  const seen = await presses('button', 3);
  const [left, right, ...wheel] = seen.map((e) => e.button);
  assert.deepEqual([left, right], [1, 3]);
  assert.ok(wheel.every((b) => b === 5), `rising fingers scroll down: ${wheel}`);
  // The agent accelerates: the pointer goes further than the finger, the same way.
  const at = await pointer();
  assert.ok(at.x - 640 > at.y - 400 && at.y > 460, `moved to ${at.x},${at.y}`);
  assert.ok(seen.every((e) => e.x === at.x && e.y === at.y), 'clicked where it moved to');
});

test('typed text and the key bar arrive as keys, a modifier for the next key only', async () => {
  await page.locator('#field').pressSequentially('Hi there');
  await page.tap('[data-key=Enter]');
  await page.tap('[data-mod=ctrl]');
  await page.locator('#field').pressSequentially('a');
  await page.tap('[data-key=Tab]');
  const typed = (await presses('keysym', 13)).map((e) => e.keysym);
  assert.equal(typed.join(' '), 'Shift_L H i space t h e r e Return Control_L a Tab');
  // Without the secret, the channel shows only sealed events: no text, no command, no secret.
  const relayed = JSON.stringify(stranger.raw);
  assert.ok(stranger.raw.length > 0 && stranger.raw.every((b) => b.event === 'sealed'));
  for (const plain of ['"text"', '"do"', 'there', secret]) assert.ok(!relayed.includes(plain));
});

test('an unsealed command is refused and does not act', async () => {
  const before = await pointer();
  assert.ok(stranger.send('cmd', { from: 'stranger', do: 'move', dx: 300, dy: 0 }));
  const refusal = () => agent.err.some((line) => line.includes('unsealed "cmd" was refused'));
  await until(refusal, 'the refusal in the log');
  await touches(...tap([200, 300])); // after the stranger's move, were it taken
  const [click] = await presses('button', 1);
  assert.deepEqual([click.x, click.y], [before.x, before.y]);
});

// What the picture shows is the capture's to get right (tests/x11): here it only has to arrive.
test('the screen view shows the sealed frames it acknowledges and pinches to zoom', async () => {
  await page.tap('#screen');
  const view = await page.waitForSelector('#view[data-frame]');
  const n = Number(await view.getAttribute('data-frame'));
  const acked = () => watcher.broadcasts.some((b) => b.payload.do === 'ack' && b.payload.n === n);
  await until(acked, `the page to acknowledge frame ${n}`);
  const box = await view.boundingBox();
  assert.ok(box.width > 300 && box.height > 300, `shown at ${box.width} x ${box.height}`);
  await touches(...swipe([[145, 400], [245, 400]], [[95, 400], [295, 400]]));
  await page.waitForSelector('#view[data-zoom="2"]');
});

test('odd data from the channel is shown as text or left out, and breaks nothing', async () => {
  const { from } = watcher.broadcasts.findLast((b) => b.event === 'state').payload;
  const frame = await page.getAttribute('#view', 'data-frame');
  const html = '<img src=x id=injected>';
  const text = (selector) => page.textContent(selector);
  assert.ok(stranger.send('state', { from, name: 'Intruder' })); // unsealed: not taken
  watcher.tell('frame', { n: 1e9, z: 'big' }, Buffer.from('no picture'));
  // Each state sealed as the computer would, and what the page shows once it took it.
  const cases = [
    [{ from, screenError: 'sealed' }, async () =>
      (await text('#notice')) === 'sealed' && (await text('#name')) !== 'Intruder'],
    [{ from, name: html + 'x'.repeat(1e5), screenError: html }, async () =>
      (await text('#notice')) === html && (await text('#name')) === `${html}${'x'.repeat(40)}…`],
    [{ from, typeError: 'could not type: é' }, async () =>
      (await text('#notice')) === 'could not type: é'],
    [{ from, screenError: 'sealed', typeError: 'could not type: é' }, async () =>
      (await text('#notice')) === 'sealed\ncould not type: é'],
    [{ from, name: 7, drag: 'yes', screenError: 42, typeError: [] }, async () =>
      (await page.locator('#notice:visible, #drag:visible').count()) === 0],
    [{ from, gone: true }, async () => (await status()) === 'The computer has gone'],
  ];
  for (const [payload, shown] of cases) {
    watcher.tell('state', payload);
    await until(shown, JSON.stringify(payload).slice(0, 60));
  }
  assert.equal(await page.locator('#injected').count(), 0);
  // The agent's own reports and frames still get through.
  await touches(...tap([200, 300]));
  await shows('Connected');
  await until(async () => (await page.getAttribute('#view', 'data-frame')) !== frame, 'a frame');
  assert.deepEqual(pageErrors, []);
});

test('the page reminds the computer of it twice in the 45 s before it would forget', async () => {
  const syncs = () => watcher.broadcasts.filter((b) => b.payload.do === 'sync').length;
  const before = syncs();
  for (let second = 0; second < 45; second += 5) await page.clock.runFor(5000);
  await until(() => syncs() >= before + 2, 'two syncs');
});

test('the page rejoins a restarted agent, with plain phones allowed, and follows its new id', async () => {
  for (const listener of [watcher, stranger]) listener.close();
  await agent.stop();
  await shows('Reconnecting…');
  await startAgentWatched(new URL(page.url()).host, ['--plain']);
  await shows('Connected');
  await probe.ask('warp 640 400');
  await touches(...swipe([[150, 300]], [[250, 300]]));
  // Moves naming the old run would be refused.
  await until(async () => (await pointer()).x > 740, 'the pointer to move');
});

test('closing the page says bye, and the agent lets go of the held button', async () => {
  const from = await phoneId();
  await touches(['touchStart', [[200, 300]]]);
  await page.waitForSelector('#drag', { state: 'visible' });
  await until(async () => (await pointer()).mask & button1Mask, 'the button to be held');
  await page.close({ runBeforeUnload: true });
  const bye = () => watcher.broadcasts.some((b) => b.event === 'bye' && b.payload.from === from);
  await until(bye, 'bye on the channel');
  // Nobody else is registered: the agent releases what the phone held.
  await until(async () => !((await pointer()).mask & button1Mask), 'the button to be let go');
});

test('a phone on the official client, which cannot seal, drives an agent with --plain', async () => {
  const endpoint = `ws://${new URL(agent.link).host}/realtime/v1`;
  const params = { apikey: 'sb_publishable_test' };
  const client = new RealtimeClient(endpoint, { transport: WebSocket, vsn: '1.0.0', params });
  // A token and presence make the join carry more; a new token is sent to the channel.
  await client.setAuth('token');
  const config = { broadcast: { self: true, ack: true }, presence: { enabled: true } };
  const channel = client.channel(`zephyrglint-${code}`, { config });
  const got = [];
  channel.on('broadcast', { event: '*' }, ({ event, payload }) => got.push({ event, payload }));
  await new Promise((resolve, reject) =>
    channel.subscribe((status, error) => (status === 'SUBSCRIBED' ? resolve() : reject(error))),
  );
  await client.setAuth('renewed token');
  const hello = { event: 'hello', payload: { from: 'phone-2', device: 'Pixel ✓' } };
  assert.equal(await channel.send({ type: 'broadcast', ...hello }), 'ok'); // acknowledged
  await until(() => got.some((b) => b.event === 'state'), "the agent's answer");
  const fromIt = () => watcher.broadcasts.find((b) => b.payload.from === 'phone-2');
  const heard = await until(fromIt, 'the page code to hear it');
  assert.deepEqual([got[0], heard], [hello, hello]); // its own too, as it asked
  const { x } = await pointer();
  const move = { from: 'phone-2', do: 'move', dx: 20, dy: 0 };
  assert.equal(await channel.send({ type: 'broadcast', event: 'cmd', payload: move }), 'ok');
  await until(async () => (await pointer()).x > x, 'the pointer to move');

  const heartbeat = new Promise((resolve) => client.onHeartbeat((s) => s !== 'sent' && resolve(s)));
  client.sendHeartbeat();
  assert.equal(await heartbeat, 'ok');
  assert.equal(await channel.unsubscribe(), 'ok');
  client.disconnect();
});
