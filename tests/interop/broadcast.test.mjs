// Two official clients meet on one channel of our relay and exchange broadcasts.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { broadcasts, newClient, startRelay, subscribe, within } from './relay.mjs';

let relay;
before(async () => {
  relay = await startRelay();
});
after(() => relay.stop());

test('two official clients exchange broadcasts through the relay', async () => {
  const phone = newClient(relay);
  const agent = newClient(relay);
  try {
    const topic = 'zephyrglint-ABCDEFGHJKMNPQRS';
    const phoneChannel = await subscribe(phone, topic);
    const agentChannel = await subscribe(agent, topic);

    const move = { do: 'move', dx: 3, dy: -2.5, text: 'héllo ✓' };
    assert.equal(await phoneChannel.send({ type: 'broadcast', event: 'cmd', payload: move }), 'ok');
    const [received] = await broadcasts(agentChannel, 1);
    assert.deepEqual(received, { type: 'broadcast', event: 'cmd', payload: move });

    const state = { id: 'agent', name: 'host', drag: false };
    await agentChannel.send({ type: 'broadcast', event: 'state', payload: state });
    assert.deepEqual((await broadcasts(phoneChannel, 1))[0].payload, state);
    // Neither got its own message back.
    assert.equal(phoneChannel.received.length, 1);
    assert.equal(agentChannel.received.length, 1);
  } finally {
    await Promise.all([phone.removeAllChannels(), agent.removeAllChannels()]);
    phone.disconnect();
    agent.disconnect();
  }
});

test('one client: a token in its join, self and ack, heartbeat, leave', async () => {
  const client = newClient(relay);
  try {
    // A token and presence make the join carry more; a new token is sent to the channel.
    await client.setAuth('token');
    const channel = await subscribe(client, 'zephyrglint-self', {
      broadcast: { self: true, ack: true },
      presence: { enabled: true },
    });
    await client.setAuth('renewed token');
    assert.equal(await channel.send({ type: 'broadcast', event: 'ping', payload: { n: 1 } }), 'ok');
    assert.deepEqual((await broadcasts(channel, 1))[0].payload, { n: 1 });
    const heartbeat = new Promise((resolve) =>
      client.onHeartbeat((status) => status !== 'sent' && resolve(status)),
    );
    client.sendHeartbeat();
    assert.equal(await within(heartbeat, 'a heartbeat reply'), 'ok');
    assert.equal(await channel.unsubscribe(), 'ok');
  } finally {
    client.disconnect();
  }
});
