// What the node tests run against: a private Xvfb, our binaries and probes (named by
// environment variables), and a channel member speaking through the page's own channel and
// sealing code.
import { spawn } from 'node:child_process';
import { mkdtempSync, mkdirSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { createInterface } from 'node:readline';
import { RelayChannel } from '../web/relay-channel.js';
import { SEALED_EVENT, Seal } from '../web/seal.js';

// TweetNaCl as the agent serves it to the page.
export const nacl = createRequire(import.meta.url)(
  process.env.ZG_TWEETNACL ?? '/usr/share/nodejs/tweetnacl/nacl-fast.min.js',
);

// The first truthy value of `check` (which may be async), polled; fails naming `what`.
export async function until(check, what, ms = 10_000) {
  for (const deadline = Date.now() + ms; ; await new Promise((go) => setTimeout(go, 20))) {
    const found = await check();
    if (found) return found;
    if (Date.now() > deadline) throw new Error(`timed out: ${what}`);
  }
}

// The executable named by $`variable`; out and err collect the lines of its pipes.
function run(variable, args, { stdio = ['ignore', 'pipe', 'pipe'], env = {} } = {}) {
  if (!process.env[variable]) throw new Error(`${variable} must name the executable`);
  const child = spawn(process.env[variable], args, { stdio, env: { ...process.env, ...env } });
  const lines = (input, seen = []) => {
    if (input) createInterface({ input }).on('line', (line) => seen.push(line));
    return seen;
  };
  const [out, err] = [lines(child.stdout), lines(child.stderr)];
  const stop = () =>
    new Promise((resolve) => {
      if (child.exitCode !== null || child.signalCode !== null) return resolve();
      child.once('exit', resolve);
      child.kill();
    });
  return { out, err, stop, write: (line) => child.stdin.write(`${line}\n`) };
}

export async function startXvfb() {
  const args = ['-displayfd', '1', '-screen', '0', '1280x800x24', '-nolisten', 'tcp'];
  const xvfb = run('ZG_XVFB', args);
  return Object.assign(xvfb, { display: `:${await until(() => xvfb.out[0], 'Xvfb')}` });
}

// x_probe on `display`; ask(command) resolves with its JSON answer, one question at a time.
export async function startProbe(display) {
  const env = { DISPLAY: display };
  const probe = run('ZG_X_PROBE_BIN', [], { stdio: ['pipe', 'pipe', 'inherit'], env });
  await until(() => probe.out.length > 0, 'x_probe to open its window');
  probe.ask = async (command) => {
    const at = probe.out.length;
    probe.write(command);
    return JSON.parse(await until(() => probe.out[at], `x_probe to answer ${command}`));
  };
  return probe;
}

// The agent on `display` with `settings` (a pairing code and secret), its relay on `listen`,
// once its channel is joined; `link` is the phone link it printed.
export async function startAgent(display, settings, listen = '127.0.0.1:0', options = []) {
  const home = mkdtempSync(join(tmpdir(), 'zg-e2e-'));
  mkdirSync(join(home, 'zephyrglint'));
  writeFileSync(join(home, 'zephyrglint', 'settings.json'), JSON.stringify(settings));
  const env = { DISPLAY: display, XDG_CONFIG_HOME: home };
  const agent = run('ZG_AGENT_BIN', ['--tray', '--listen', listen, ...options], { env });
  const stop = () => agent.stop().then(() => rmSync(home, { recursive: true, force: true }));
  const joined = () => agent.err.some((line) => line.includes('joined channel realtime:'));
  await until(joined, 'the agent to join', 20e3).catch(async (error) => {
    await stop();
    throw new Error(`${error.message}\n${agent.err.join('\n')}`);
  });
  return { ...agent, link: agent.out[0], stop };
}

// A member of `topic` at the Realtime `endpoint`, joined. `raw` collects the {event, payload}
// the others send as the relay carries them; `broadcasts` the same, opened when they are sealed
// under the link's `secret` (with `attachment` bytes, if any). `tell` seals an event as the
// computer would. Node 20 has no WebSocket of its own: pass the `ws` package's.
export async function member(endpoint, topic, WebSocket, secret = null) {
  const [raw, broadcasts] = [[], []];
  // Either side opens what the other sealed.
  const sides = ['agent', 'phone'].map((side) => secret && new Seal(nacl, secret, 'test', side));
  const onEvent = (event, payload) => {
    raw.push({ event, payload });
    const opened = event === SEALED_EVENT && sides.map((side) => side?.open(payload)).find(Boolean);
    broadcasts.push(opened ? { ...opened, sealed: true } : { event, payload });
  };
  const url = `${endpoint}/websocket?vsn=1.0.0`;
  const channel = new RelayChannel(url, topic, { WebSocket, onEvent });
  channel.connect();
  await until(() => channel.joined, `joining ${topic}`);
  const tell = (event, payload, picture) =>
    channel.send(SEALED_EVENT, sides[0].seal(event, payload, null, picture));
  return Object.assign(channel, { raw, broadcasts, tell });
}
