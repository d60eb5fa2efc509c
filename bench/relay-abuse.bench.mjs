// The standalone relay under abuse: for each, its memory and descriptors before, at the worst
// moment and a second after, the refusal it answered with, and whether a phone and an agent
// exchanging a message every 50 ms on their own channel kept hearing each other. Each abuse
// comes from loopback addresses of its own (127.0.0.N), as other hosts would. ZG_ABUSE_ROUNDS
// runs them all again, which tells memory the relay keeps from memory it leaks. Reports, never
// asserts.
import { spawn } from 'node:child_process';
import { readFileSync, readdirSync } from 'node:fs';
import { createRequire } from 'node:module';
import net from 'node:net';
import { until } from '../tests/harness.mjs';

const WebSocket = createRequire(new URL('../tests/', import.meta.url))('ws');
const sleep = (ms) => new Promise((go) => setTimeout(go, ms));
const host = (n) => `127.0.0.${n}`;
const MB = (bytes) => `${(bytes / 1e6).toFixed(1)} MB`;
const tally = (items) => {
  const counts = new Map();
  for (const item of items) counts.set(item, (counts.get(item) ?? 0) + 1);
  return [...counts].map(([what, count]) => `${what} x${count}`).join(', ');
};

const port = await new Promise((found) => {
  const probe = net.createServer().listen(0, host(1), () => {
    const { port } = probe.address();
    probe.close(() => found(port));
  });
});
const relay = spawn(process.env.ZG_RELAY_BIN ?? 'build/zephyrglint-relay',
  ['--listen', `${host(1)}:${port}`], { stdio: ['ignore', 'ignore', 'pipe'] });
const log = [];
relay.stderr.setEncoding('utf8').on('data', (text) => log.push(...text.split('\n')));
await until(() => log.some((line) => line.includes('listening on')), 'the relay to listen');
// The first line the relay logged since `mark` that matches `pattern`, from its verb on.
const logged = (mark, pattern) => log.slice(mark).find((line) => pattern.test(line))
  ?.replace(new RegExp(`^.*?(?=${pattern.source})`), '');

// VmRSS in MB and open descriptors of the relay.
const sample = () => ({
  rss: Number(/VmRSS:\s+(\d+)/.exec(readFileSync(`/proc/${relay.pid}/status`, 'utf8'))[1]) / 1024,
  fds: readdirSync(`/proc/${relay.pid}/fd`).length,
});

const frame = (topic, event, payload, ref) => JSON.stringify({ topic, event, payload, ref });
const joinFrame = (topic, ref = '1') =>
  frame(topic, 'phx_join', { config: { broadcast: { self: false }, private: false } }, ref);
const cast = (topic, payload, ref = '2') =>
  frame(topic, 'broadcast', { type: 'broadcast', event: 'cmd', payload }, ref);
const beat = (ref = 'hb') => frame('phoenix', 'heartbeat', {}, ref);
const closeAll = (sockets) => sockets.forEach((s) => (s.terminate ? s.terminate() : s.destroy()));

// A WebSocket from `address`, joined to `topic` if given; resolves once open, or refused
// (`refused` holds the HTTP status). `replies` collects what the relay sends, `closed` how it
// ended: the close code, or 1006 and the socket error when no close frame came.
function socket(address, topic = null) {
  const url = `ws://${host(1)}:${port}/realtime/v1/websocket?vsn=1.0.0`;
  const ws = new WebSocket(url, { localAddress: address, perMessageDeflate: false });
  Object.assign(ws, { replies: [], closed: null, refused: null, error: null });
  ws.on('message', (data) => ws.replies.push(JSON.parse(data)));
  ws.on('error', (error) => (ws.error ??= error.code));
  ws.on('close', (code, reason) => {
    ws.closed = [code, String(reason), ws.error && `(${ws.error})`].filter(Boolean).join(' ');
  });
  return new Promise((done) => {
    ws.once('open', async () => {
      if (topic) ws.send(joinFrame(topic));
      if (topic) await until(() => ws.replies.length || ws.closed, 'a join reply');
      done(ws);
    });
    ws.once('close', () => done(ws));
    ws.once('unexpected-response', (request, response) => {
      ws.refused = response.statusCode;
      request.destroy();
      done(ws);
    });
  });
}

// The pair whose conversation must survive everything: the phone numbers its messages.
const PAIR = 'realtime:zephyrglint-pair';
const [phone, agent] = await Promise.all([socket(host(2), PAIR), socket(host(3), PAIR)]);
let sent = 0;
const arrived = new Set();
agent.on('message', (data) => arrived.add(JSON.parse(data).payload?.payload?.n));
setInterval(() => {
  phone.send(cast(PAIR, { n: ++sent }));
  agent.send(cast(PAIR, { state: sent }));
}, 50).unref();

// Raw TCP from `address` sending `head`, then `body` over and over for up to 3 s; resolves
// with the status it was answered, what it wrote before the relay stopped it, and how long it
// was held.
function request(address, head, body = null) {
  const start = Date.now();
  const tcp = net.connect({ host: host(1), port, localAddress: address });
  let answer = '', written = 0, error = '';
  tcp.on('data', (data) => (answer += data));
  tcp.on('error', (e) => (error = ` (${e.code})`));
  const ended = new Promise((done) => tcp.on('close', done));
  tcp.on('connect', async () => {
    tcp.write(head);
    for (const stop = Date.now() + 3000; body && !tcp.destroyed && Date.now() < stop; ) {
      if (!tcp.write(body)) await Promise.race([new Promise((go) => tcp.once('drain', go)), ended]);
      written += body.length;
    }
    if (body) tcp.destroy();
  });
  return ended.then(() => ({
    status: (answer ? `HTTP ${answer.split(' ')[1]}` : 'no answer') + error,
    written,
    ms: Date.now() - start,
  }));
}

// Runs `abuse` while sampling the relay every 50 ms; one row.
async function measure(name, abuse) {
  const before = sample(), peak = { ...before }, from = sent;
  const sampler = setInterval(() => {
    const now = sample();
    peak.rss = Math.max(peak.rss, now.rss);
    peak.fds = Math.max(peak.fds, now.fds);
  }, 50);
  const refusal = await abuse().catch((error) => `failed: ${error.message}`);
  const to = sent;
  await sleep(1000);
  clearInterval(sampler);
  const after = sample();
  let got = 0;
  for (let n = from + 1; n <= to; n++) got += arrived.has(n);
  const mb = (s) => s.rss.toFixed(1);
  const exited = relay.exitCode === null ? '' : `; THE RELAY EXITED (${relay.exitCode})`;
  return [name, `${mb(before)}/${mb(peak)}/${mb(after)}`, `${before.fds}/${peak.fds}/${after.fds}`,
    refusal + exited, `${got}/${to - from}`];
}

const chunk = Buffer.alloc(64 << 10, 'x');
const post = (header) => `POST /remote HTTP/1.1\r\nHost: relay\r\n${header}\r\n\r\n`;
const posting = (address, header, body) => async () => {
  const { status, written } = await request(host(address), post(header), body);
  return `${status}, ${MB(written)} written first`;
};
const chunked = Buffer.concat([Buffer.from(`${chunk.length.toString(16)}\r\n`), chunk,
  Buffer.from('\r\n')]);

// `count` requests sending `head` and no more, spread over `addresses` from `first` on.
const holding = (count, first, addresses, head) => async () => {
  const answers = await Promise.all(Array.from({ length: count },
    (_, i) => request(host(first + (i % addresses)), head)));
  const slowest = Math.max(...answers.map((a) => a.ms));
  return `${tally(answers.map((a) => a.status))}, the last after ${slowest} ms`;
};

// 256 WebSockets kept alive by heartbeats from `addresses`, then a phone from another.
const crowd = (addresses) => async () => {
  const sockets = [];
  for (let i = 0; i < 256; i++) sockets.push(await socket(host(addresses[i % addresses.length])));
  const beating = setInterval(() => sockets.forEach((s) => s.readyState === 1 && s.send(beat())),
    1000);
  await sleep(1500);
  const late = await socket(host(99), 'realtime:zephyrglint-late');
  await sleep(500);
  clearInterval(beating);
  closeAll([...sockets, late]);
  const outcome = (s) => (s.refused ? `HTTP ${s.refused}` : s.closed ? `close ${s.closed}` : 'open');
  return `${tally(sockets.map(outcome))}; then a phone: ${
    late.refused || late.closed ? outcome(late) : `join ${late.replies[0]?.payload?.status}`}`;
};

const joinFlood = async () => {
  const ws = await socket(host(50));
  const mark = log.length;
  for (let i = 0; i < 1000; i++) ws.send(joinFrame(`realtime:zephyrglint-flood${i}`, String(i)));
  await until(() => ws.closed || ws.replies.length >= 1000, 'the joins answered').catch(() => {});
  closeAll([ws]);
  const answers = ws.replies.map((r) =>
    r.payload.response?.reason?.replace(/: \d+.*/, '') ?? r.payload.status);
  return `replies: ${tally(answers) || 'none'}; closed ${ws.closed ?? 'no'}; relay: ${
    logged(mark, /closing with/) ?? 'kept it'}`;
};

const slowMember = async () => {
  const topic = 'realtime:zephyrglint-slow';
  const [slow, flood] = [await socket(host(51), topic), await socket(host(52), topic)];
  slow._socket.pause(); // reads nothing more: what the relay sends it piles up
  const big = 'y'.repeat(100_000), mark = log.length;
  let n = 0;
  for (const stop = Date.now() + 3000; Date.now() < stop && !logged(mark, /closing with/); n++) {
    flood.send(cast(topic, { big }, String(n)));
    if (n % 20 === 19) await sleep(100); // 200 a second, the relay's rate limit
  }
  await sleep(1500);
  closeAll([slow, flood]);
  return `${logged(mark, /closing with/) ?? 'not cut off'}, after ${MB(n * 1e5)}`;
};

// `data` on a fresh socket, then a heartbeat: how the relay took them.
const oneMessage = (address, data, options = {}) => async () => {
  const ws = await socket(host(address));
  const mark = log.length;
  ws.send(data, options);
  ws.send(beat('after'), options);
  const answered = () => ws.replies.some((r) => r.ref === 'after');
  await until(() => ws.closed || answered(), 'an answer', 5000).catch(() => {});
  closeAll([ws]);
  const said = logged(mark, /dropped|closing/);
  return `${ws.closed ? `closed ${ws.closed}` : answered() ? 'heartbeat answered' : 'no answer'}${
    said ? `; relay: ${said}` : ''}`;
};

const abuses = [
  ['POST, Content-Length 1e9', posting(10, 'Content-Length: 1000000000', chunk)],
  ['POST, chunked', posting(11, 'Transfer-Encoding: chunked', chunked)],
  ['300 half requests, 10 addresses', holding(300, 20, 10, 'GET / HTTP/1.1\r\n')],
  ['50 silent TCP connections', holding(50, 30, 5, '')],
  ['256 WebSockets, one address', crowd([40])],
  ['256 WebSockets, 8 addresses', crowd([41, 42, 43, 44, 45, 46, 47, 48])],
  ['join flood, 1000 topics', joinFlood],
  ['100 kB broadcasts, one not reading', slowMember],
  ["500 000 '[' nested", oneMessage(60, '['.repeat(500_000))],
  ['2 MB message', oneMessage(61, cast('realtime:zephyrglint-x', { big: 'z'.repeat(2e6) }))],
  ['unmasked client frames', oneMessage(62, beat('unmasked'), { mask: false })],
];
const rows = [['abuse', 'RSS MB', 'descriptors', 'refusal', 'phone msgs']];
const rounds = Number(process.env.ZG_ABUSE_ROUNDS ?? 1);
for (let round = 1; round <= rounds; round++) {
  for (const [name, abuse] of abuses)
    rows.push(await measure(rounds > 1 ? `${round}: ${name}` : name, abuse));
}
closeAll([phone, agent]);
relay.kill();

const widths = rows[0].map((_, i) => Math.max(...rows.map((row) => row[i].length)));
console.log('relay under abuse: RSS and descriptors before/peak/1 s after; the pair\'s phone ' +
  'messages that arrived of those sent during the abuse');
for (const row of rows) console.log(row.map((cell, i) => cell.padEnd(widths[i])).join('  '));
