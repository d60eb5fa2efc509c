// The real things the browser test runs against: a private Xvfb, the x_probe on it, the agent
// with its embedded relay, and a plain WebSocket member of the agent's channel.
import { spawn } from 'node:child_process';
import { mkdtempSync, mkdirSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { createInterface } from 'node:readline';
import WebSocket from 'ws';

const timeoutMs = 10_000;

// Resolves with the first truthy value of `check` (which may be async), polled until the
// timeout; fails naming `what`.
export async function until(check, what, ms = timeoutMs) {
  const deadline = Date.now() + ms;
  for (;;) {
    const found = await check();
    if (found) return found;
    if (Date.now() > deadline) throw new Error(`timed out: ${what}`);
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
}

function binary(variable) {
  const path = process.env[variable];
  if (!path) throw new Error(`${variable} must name the executable`);
  return path;
}

// Lines of a child's output stream, kept for polling.
function lines(stream) {
  const seen = [];
  createInterface({ input: stream }).on('line', (line) => seen.push(line));
  return seen;
}

function stopped(child) {
  if (child.exitCode !== null || child.signalCode !== null) return Promise.resolve();
  return new Promise((resolve) => {
    child.once('exit', resolve);
    child.kill();
  });
}

// Xvfb on a display number it picks itself (-displayfd), with the screen the desktop tests
// assume.
export async function startXvfb() {
  const child = spawn(
    binary('ZG_XVFB'),
    ['-displayfd', '3', '-screen', '0', '1280x800x24', '-nolisten', 'tcp'],
    { stdio: ['ignore', 'ignore', 'ignore', 'pipe'] },
  );
  const said = lines(child.stdio[3]);
  const number = await until(() => said[0], 'Xvfb to start');
  return { display: `:${number}`, stop: () => stopped(child) };
}

// x_probe on `display`: ask(command) resolves with its JSON answer.
export async function startProbe(display) {
  const child = spawn(binary('ZG_X_PROBE_BIN'), [], {
    env: { ...process.env, DISPLAY: display },
    stdio: ['pipe', 'pipe', 'inherit'],
  });
  const said = lines(child.stdout);
  await until(() => said.length > 0, 'x_probe to open its window');
  let asked = said.length;
  // One command at a time, so each answer is the line after the ones before.
  let queue = Promise.resolve();
  const ask = (command) => {
    const answer = queue.then(async () => {
      child.stdin.write(`${command}\n`);
      const line = await until(() => said[asked], `x_probe to answer ${command}`);
      asked += 1;
      return JSON.parse(line);
    });
    queue = answer.catch(() => {});
    return answer;
  };
  return {
    ask,
    stop: () => {
      child.stdin.end();
      return stopped(child);
    },
  };
}

// The agent on `display` with the pairing code `code`, its window kept hidden, its relay on
// `listen`; resolves once its channel is joined, with the phone link it printed.
export async function startAgent(display, code, listen = '127.0.0.1:0') {
  const home = mkdtempSync(join(tmpdir(), 'zg-e2e-'));
  mkdirSync(join(home, 'zephyrglint'));
  writeFileSync(join(home, 'zephyrglint', 'settings.json'), JSON.stringify({ code }));
  const child = spawn(binary('ZG_AGENT_BIN'), ['--tray', '--listen', listen], {
    env: { ...process.env, DISPLAY: display, XDG_CONFIG_HOME: home },
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  const printed = lines(child.stdout);
  const logged = lines(child.stderr);
  const log = () => logged.join('\n');
  try {
    await until(
      () => logged.some((l) => l.includes(`joined channel realtime:zephyrglint-${code}`)),
      'the agent to join its channel',
      20_000,
    );
  } catch (error) {
    await stopped(child);
    throw new Error(`${error.message}\nagent's log:\n${log()}`);
  }
  return {
    link: printed[0],
    log,
    stop: async () => {
      await stopped(child);
      rmSync(home, { recursive: true, force: true });
    },
  };
}

// A plain member of the agent's channel: `broadcasts` collects {event, payload} of what the
// others send, send(event, payload) broadcasts to them.
export async function watchChannel(pageUrl, code) {
  const url = new URL('/realtime/v1/websocket?vsn=1.0.0', pageUrl);
  url.protocol = 'ws:';
  const socket = new WebSocket(url);
  const topic = `realtime:zephyrglint-${code}`;
  const broadcasts = [];
  let joined = false;
  socket.on('message', (data) => {
    const frame = JSON.parse(data);
    if (frame.event === 'phx_reply' && frame.ref === '1') joined = frame.payload.status === 'ok';
    if (frame.event === 'broadcast' && frame.topic === topic) broadcasts.push(frame.payload);
  });
  socket.on('open', () =>
    socket.send(
      JSON.stringify({
        topic,
        event: 'phx_join',
        ref: '1',
        join_ref: '1',
        payload: {
          config: { broadcast: { self: false, ack: false }, presence: { key: '' }, private: false },
        },
      }),
    ),
  );
  await until(() => joined, 'the watcher to join');
  let ref = 1;
  const send = (event, payload) =>
    socket.send(
      JSON.stringify({
        topic,
        event: 'broadcast',
        ref: String(++ref),
        join_ref: '1',
        payload: { type: 'broadcast', event, payload },
      }),
    );
  return { broadcasts, send, stop: () => socket.close() };
}
