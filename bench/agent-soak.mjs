// The real agent with its embedded relay on a private Xvfb, for SOAK_MINUTES (30 by default):
// one phone streams the screen at full pace, acknowledging every frame; another joins and
// leaves every few seconds, under a new id each time; a third moves the pointer 60 times a
// second in circles over busy content, so that every frame differs. Reports the agent's memory
// and descriptors after a 30 s warm-up and at the end (and each minute on the way), the frames,
// and every gap of over 1 s between two. Reports, never asserts.
import { spawn } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { createInterface } from 'node:readline';
import { nacl, startXvfb, until } from '../tests/harness.mjs';
import { RelayChannel } from '../web/relay-channel.js';
import { SEALED_EVENT, Seal } from '../web/seal.js';

const WebSocket = createRequire(new URL('../tests/', import.meta.url))('ws');
const sleep = (ms) => new Promise((go) => setTimeout(go, ms));
const secret = 'bjXM5QmXk1pFhrsKxQy0bS8uMQVeQ4JPQ7wW9ZC3kLc';
const code = '23456789ABCDEFGH';
const minutes = Number(process.env.SOAK_MINUTES ?? 30);
const WARM_UP_MS = 30_000;

const xvfb = await startXvfb();
const env = { ...process.env, DISPLAY: xvfb.display };
const content = spawn(process.env.ZG_SHOW_CONTENT, [], { env, stdio: ['pipe', 'pipe', 'inherit'] });
await new Promise((shown) => content.stdout.once('data', shown));

// The agent itself rather than the harness's, whose process id is not to be had.
const home = mkdtempSync(join(tmpdir(), 'zg-soak-'));
mkdirSync(join(home, 'zephyrglint'));
writeFileSync(join(home, 'zephyrglint', 'settings.json'), JSON.stringify({ code, secret }));
const agent = spawn(process.env.ZG_AGENT_BIN, ['--tray', '--listen', '127.0.0.1:0'],
  { env: { ...env, XDG_CONFIG_HOME: home }, stdio: ['ignore', 'ignore', 'pipe'] });
const log = [];
createInterface({ input: agent.stderr }).on('line', (line) => log.push(line));
const joined = () => log.some((line) => line.includes('joined channel realtime:'));
await until(joined, 'the agent to join its channel', 20e3);
const port = /embedded relay listening on port (\d+)/.exec(log.join('\n'))[1];
const url = `ws://127.0.0.1:${port}/realtime/v1/websocket?vsn=1.0.0`;
const topic = `realtime:zephyrglint-${code}`;

// VmRSS in MB and open descriptors of the agent.
const sample = () => ({
  rss: Number(/VmRSS:\s+(\d+)/.exec(readFileSync(`/proc/${agent.pid}/status`, 'utf8'))[1]) / 1024,
  fds: readdirSync(`/proc/${agent.pid}/fd`).length,
});

// A phone as the page is one: everything sealed, commands to the agent's run, which it learns
// from the state that answers its hello.
async function phone(id, onFrame = () => {}) {
  const seal = new Seal(nacl, secret, id);
  const me = { run: null };
  const onEvent = (event, payload) => {
    const message = event === SEALED_EVENT && seal.open(payload);
    if (message?.event === 'state' && !message.payload.gone) me.run = message.payload.from;
    if (message?.event === 'frame') onFrame(message.payload.n);
  };
  const channel = new RelayChannel(url, topic, { WebSocket, onEvent });
  const say = (event, payload) => channel.send(SEALED_EVENT,
    seal.seal(event, { ...payload, from: id }, event === 'hello' ? null : me.run));
  me.command = (what, fields = {}) => say('cmd', { ...fields, do: what, to: me.run });
  me.leave = () => (say('bye', {}), channel.close());
  channel.connect();
  await until(() => channel.joined, `${id} to join`);
  say('hello', { device: id });
  await until(() => me.run, `${id} to hear from the agent`);
  return me;
}

const start = Date.now();
const at = () => ((Date.now() - start) / 1000).toFixed(1);
let frames = 0, lastFrame = 0;
const stalls = [];
const viewer = await phone('soak-viewer', (n) => {
  const now = Date.now();
  if (lastFrame && now - lastFrame > 1000) stalls.push(`${(now - lastFrame) / 1000} s at ${at()} s`);
  lastFrame = now;
  frames++;
  viewer.command('ack', { n });
});
viewer.command('screen', { on: true, w: 390, h: 600, zoom: 1, dpr: 2 });

const mover = await phone('soak-mover');
let moves = 0;
const moving = setInterval(() => {
  const angle = (moves++ * Math.PI) / 60; // a circle every 2 s
  mover.command('move', { dx: 8 * Math.cos(angle), dy: 8 * Math.sin(angle) });
}, 1000 / 60);

// A visitor holds a socket of the agent's relay: descriptors are counted between two visits.
let running = true, visits = 0, away = 0;
const visitFailures = [];
const visiting = (async () => {
  while (running) {
    try {
      away = 0;
      const visitor = await phone(`soak-visitor-${++visits}`);
      await sleep(2000);
      visitor.leave();
    } catch (error) {
      visitFailures.push(`${error.message} at ${at()} s`);
    }
    away = Date.now();
    await sleep(1500);
  }
})();
const quietSample = async () => {
  await until(() => away && Date.now() - away > 500, 'a pause between visits');
  return sample();
};

const mb = (rss) => `${rss.toFixed(1)} MB`;
await sleep(WARM_UP_MS);
const warm = await quietSample(), framesWarm = frames;
console.log(`after the ${WARM_UP_MS / 1000} s warm-up: RSS ${mb(warm.rss)}, ${warm.fds} descriptors, ${frames} frames`);
for (let minute = 1; Date.now() - start < minutes * 60_000; minute++) {
  await sleep(Math.min(60_000, start + minutes * 60_000 - Date.now()));
  const now = await quietSample();
  console.log(`${at()} s: RSS ${mb(now.rss)}, ${now.fds} descriptors, ${frames} frames, ` +
    `${visits} visits, ${moves} moves`);
}
const end = await quietSample(), measuredS = (Date.now() - start - WARM_UP_MS) / 1000;
running = false;
clearInterval(moving);
await visiting;
viewer.command('screen', { on: false });

const problems = log.filter((line) => /refused|error|warning|fail/i.test(line));
console.log(`\nsoak of ${minutes} min, the agent on ${xvfb.display}:`);
console.log(`  RSS after warm-up ${mb(warm.rss)}, at the end ${mb(end.rss)}: ` +
  `${(end.rss - warm.rss >= 0 ? '+' : '') + (end.rss - warm.rss).toFixed(1)} MB (goal: at most +2)`);
console.log(`  descriptors after warm-up ${warm.fds}, at the end ${end.fds} (goal: no growth)`);
console.log(`  frames: ${frames} in all, ${((frames - framesWarm) / measuredS).toFixed(1)}/s ` +
  `after the warm-up; ${moves} moves; ${visits} visits`);
console.log(`  gaps over 1 s between frames: ${stalls.length ? stalls.join(', ') : 'none'}`);
console.log(`  visits that failed: ${visitFailures.length ? visitFailures.join('; ') : 'none'}`);
console.log(`  agent log lines about refusals or errors: ${problems.length}`);
for (const line of problems.slice(0, 5)) console.log(`    ${line}`);

const exited = (child) => new Promise((done) => child.once('exit', done));
agent.kill();
content.stdin.end();
await Promise.all([exited(agent), exited(content)]);
await xvfb.stop();
rmSync(home, { recursive: true, force: true });
process.exit(0); // the phones' channels keep heartbeat timers
