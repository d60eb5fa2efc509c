// The page's channel timing on fake time: heartbeats, the wait for their answer, back-off.
import assert from 'node:assert/strict';
import { mock, test } from 'node:test';
import { RelayChannel } from '../../web/relay-channel.js';

const sockets = [];
class FakeSocket {
  constructor(url) { sockets.push(Object.assign(this, { url, sent: [], readyState: 0 })); }
  send(text) { this.sent.push(JSON.parse(text)); }
  close() { this.readyState = 3; }
}

test('beats every 25 s, gives an answer 10 s, backs off from 0.5 s to 10 s', () => {
  mock.timers.enable({ apis: ['setTimeout', 'setInterval'] });
  const channel = new RelayChannel('ws://relay', 'realtime:t', { WebSocket: FakeSocket });
  // The next socket comes exactly `ms` later. Fake time goes in steps, as a timer set by a
  // timer counts from the end of the step.
  const reconnectsAfter = (ms) => {
    const count = sockets.length;
    mock.timers.tick(ms - 1);
    assert.equal(sockets.length, count, `before ${ms} ms`);
    mock.timers.tick(1);
    assert.equal(sockets.length, count + 1, `after ${ms} ms`);
  };
  channel.connect();
  for (const ms of [500, 1000, 2000, 4000, 8000, 10_000, 10_000]) {
    sockets.at(-1).onclose();
    reconnectsAfter(ms);
  }

  const socket = Object.assign(sockets.at(-1), { readyState: 1 });
  const ok = { event: 'phx_reply', topic: 'realtime:t', payload: { status: 'ok' } };
  const answer = ({ ref }) => socket.onmessage({ data: JSON.stringify({ ...ok, ref }) });
  socket.onopen();
  answer(socket.sent[0]);
  assert.deepEqual([socket.sent[0].event, channel.joined], ['phx_join', true]);
  mock.timers.tick(24_999);
  assert.equal(socket.sent.length, 1);
  mock.timers.tick(1);
  assert.deepEqual([socket.sent[1].topic, socket.sent[1].event], ['phoenix', 'heartbeat']);
  answer(socket.sent[1]);
  mock.timers.tick(25_000);
  mock.timers.tick(9_999);
  assert.deepEqual([socket.sent.length, socket.readyState, channel.joined], [3, 1, true]);
  mock.timers.tick(1);
  assert.deepEqual([socket.readyState, channel.joined], [3, false]);
  reconnectsAfter(500); // a join started the back-off over
  mock.timers.reset();
});
