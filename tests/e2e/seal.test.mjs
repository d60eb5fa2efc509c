// The page's sealing code under node, against the vectors the agent's code is held to too
// (tests/unit/link/SealTest.cpp), and the page's rules for what it opens.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { test } from 'node:test';
import { Seal, box, directionKey, fromBase64, toBase64 } from '../../web/seal.js';
import { nacl } from '../harness.mjs';

const vectors = JSON.parse(readFileSync(new URL('../vectors/seal.json', import.meta.url)));

test('keys and boxes match the vectors the agent is held to', () => {
  const nonce = fromBase64(vectors.nonce);
  const plaintext = new TextEncoder().encode(vectors.plaintext);
  for (const side of ['toAgent', 'toPhone']) {
    const key = directionKey(nacl, vectors.secret, side);
    assert.equal(toBase64(key), vectors[side].key);
    assert.equal(toBase64(box(nacl, key, nonce, plaintext)), vectors[side].sealed);
  }
  for (const bad of [vectors.secret.slice(1), `${vectors.secret.slice(0, 42)}9`, 7])
    assert.equal(directionKey(nacl, bad, 'toAgent'), null);
});

test('the page opens what the computer sealed once, and nothing replayed, damaged or its own', () => {
  const page = new Seal(nacl, vectors.secret, 'phone-1');
  const computer = new Seal(nacl, vectors.secret, 'run-1', 'agent');
  const frame = computer.seal('frame', { n: 1 }, null, Uint8Array.of(0xff, 0xd8, 10));
  const { event, payload, attachment } = page.open(frame);
  assert.deepEqual([event, payload, [...attachment]], ['frame', { n: 1 }, [255, 216, 10]]);
  const own = page.seal('cmd', { do: 'click' }, 'run-1');
  for (const payload of [frame, own, { s: frame.s.slice(0, 40) }, { s: '!' }])
    assert.equal(page.open(payload), null); // replayed, its own, cut short, not Base64
});

test('a reloaded page goes on counting above what it sent', (t) => {
  t.mock.timers.enable({ apis: ['Date'], now: 1_765_000_000_000 });
  const computer = new Seal(nacl, vectors.secret, 'run-1', 'agent');
  const header = (payload) => computer.open(payload) && computer.heard.get('phone-1');
  const before = new Seal(nacl, vectors.secret, 'phone-1');
  const counters = [1, 2, 3].map(() => header(before.seal('cmd', {}, 'run-1')));
  t.mock.timers.tick(1); // a reload takes a millisecond at the least
  const reloaded = new Seal(nacl, vectors.secret, 'phone-1');
  assert.ok(header(reloaded.seal('cmd', { do: 'sync' }, 'run-1')) > counters[2]);
  assert.ok(counters[0] < counters[1] && counters[1] < counters[2]);
});
