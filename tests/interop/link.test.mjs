// The agent's own C++ link and the official client meet on one channel of our relay and
// exchange broadcasts both ways.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { createInterface } from 'node:readline';
import { after, before, test } from 'node:test';
import { broadcasts, newClient, startRelay, subscribe, until } from './relay.mjs';

const channelName = 'zephyrglint-23456789ABCDEFGH';

// The link probe prints "up", "down" and "event <name> <json>" lines, answers "ping" with
// "pong", and broadcasts "<event> <json>" lines written to it.
function startProbe(relay) {
  const binary = process.env.ZG_LINK_PROBE_BIN;
  if (!binary) throw new Error('ZG_LINK_PROBE_BIN must name the link_probe executable');
  const url = `${relay.endpoint}/websocket?vsn=1.0.0`;
  const child = spawn(binary, [url, channelName], { stdio: ['pipe', 'pipe', 'inherit'] });
  const lines = [];
  createInterface({ input: child.stdout }).on('line', (line) => lines.push(line));
  const nextLine = (match, what) => until(() => lines.find(match), what);
  return {
    up: () => nextLine((l) => l === 'up', 'the link to join'),
    event: (name) => nextLine((l) => l.startsWith(`event ${name} `), `event ${name}`),
    send: (event, payload) => child.stdin.write(`${event} ${JSON.stringify(payload)}\n`),
    stop: () => {
      child.stdin.end();
      return new Promise((resolve) => child.on('close', resolve));
    },
  };
}

let relay;
let probe;
before(async () => {
  relay = await startRelay();
  probe = startProbe(relay);
  await probe.up();
});
after(async () => {
  await probe.stop();
  await relay.stop();
});

test('the C++ link and the official client exchange broadcasts both ways', async () => {
  const phone = newClient(relay);
  try {
    const channel = await subscribe(phone, channelName);

    const hello = { from: 'phone-1', device: 'Pixel ✓' };
    await channel.send({ type: 'broadcast', event: 'hello', payload: hello });
    const line = await probe.event('hello');
    assert.deepEqual(JSON.parse(line.slice('event hello '.length)), hello);

    const state = { kind: 'host', from: '0badf00d', drag: false };
    probe.send('state', state);
    const [received] = await broadcasts(channel, 1);
    assert.deepEqual(received, { type: 'broadcast', event: 'state', payload: state });

    // A round trip started by the phone: the link answers "ping" with "pong".
    await channel.send({ type: 'broadcast', event: 'ping', payload: { n: 7 } });
    const [, { event, payload }] = await broadcasts(channel, 2);
    assert.deepEqual({ event, payload }, { event: 'pong', payload: { n: 7 } });
  } finally {
    await phone.removeAllChannels();
    phone.disconnect();
  }
});
