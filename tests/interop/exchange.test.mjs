// The official Realtime client on our relay, meeting the page's channel code and the agent's
// C++ link (link_probe) on one channel: broadcasts every way, self, ack, heartbeat, leave.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { RealtimeClient } from '@supabase/realtime-js';
import WebSocket from 'ws';
import { member, run, startRelay, until } from '../harness.mjs';

const topic = 'zephyrglint-23456789ABCDEFGH';
let relay, link, page, client;

before(async () => {
  relay = await startRelay();
  const url = `${relay.endpoint}/websocket?vsn=1.0.0`;
  link = run('ZG_LINK_PROBE_BIN', [url, topic], { stdio: ['pipe', 'pipe', 'inherit'] });
  await until(() => link.out.includes('up'), 'the link to join');
  page = await member(relay.endpoint, `realtime:${topic}`, WebSocket);
  const params = { apikey: 'sb_publishable_interop' };
  client = new RealtimeClient(relay.endpoint, { transport: WebSocket, vsn: '1.0.0', params });
});

after(async () => {
  client?.disconnect();
  page?.close();
  for (const running of [link, relay]) await running?.stop();
});

test('the official client, the page and the C++ link exchange broadcasts', async () => {
  // A token and presence make the join carry more; a new token is sent to the channel.
  await client.setAuth('token');
  const config = { broadcast: { self: true, ack: true }, presence: { enabled: true } };
  const channel = client.channel(topic, { config });
  const got = [];
  channel.on('broadcast', { event: '*' }, ({ event, payload }) => got.push({ event, payload }));
  await new Promise((resolve, reject) =>
    channel.subscribe((status, error) => (status === 'SUBSCRIBED' ? resolve() : reject(error))),
  );
  await client.setAuth('renewed token');
  const cmd = { event: 'cmd', payload: { do: 'move', dx: 3, dy: -2.5, t: 'héllo ✓' } };
  assert.equal(await channel.send({ type: 'broadcast', ...cmd }), 'ok'); // acknowledged
  const hello = { event: 'hello', payload: { from: 'phone-1', device: 'Pixel ✓' } };
  assert.ok(page.send(hello.event, hello.payload));
  await until(() => got.length === 2, 'its own cmd (self) and the hello');
  const state = { event: 'state', payload: { from: '0badf00d', drag: false } };
  link.write(`state ${JSON.stringify(state.payload)}`);
  await until(() => page.broadcasts.length === 2 && got.length === 3, 'the state');
  assert.deepEqual(got, [cmd, hello, state]);
  assert.deepEqual(page.broadcasts, [cmd, state]); // not its own hello
  const heard = ({ event }) =>
    link.out.find((line) => line.startsWith(`event ${event} `))?.slice(`event ${event} `.length);
  await until(() => heard(cmd) && heard(hello), 'the link to hear both');
  assert.deepEqual([heard(cmd), heard(hello)].map(JSON.parse), [cmd.payload, hello.payload]);

  const heartbeat = new Promise((resolve) => client.onHeartbeat((s) => s !== 'sent' && resolve(s)));
  client.sendHeartbeat();
  assert.equal(await heartbeat, 'ok');
  assert.equal(await channel.unsubscribe(), 'ok');
});
