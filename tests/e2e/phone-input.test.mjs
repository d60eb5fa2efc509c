// The phone page's input logic: what touches, pinches and keyboard edits turn into.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import {
  Coalescer,
  LONG_PRESS_MS,
  TAP_SLOP,
  TWO_FINGER_TAP_MS,
  Touchpad,
  ZOOM_MAX,
  ZOOM_MIN,
  fieldEdit,
  pinchZoom,
} from '../../web/phone-input.js';

// Plays a script of [method, ...arguments] steps and returns every action in order.
function play(pad, steps) {
  return steps.flatMap(([method, ...args]) => pad[method](...args));
}

test('one finger: a still touch clicks, travel past the slop moves, holding still drags', () => {
  const slop = TAP_SLOP;
  const cases = [
    [
      'a tap',
      [
        ['down', 1, 100, 100, 0],
        ['move', 1, 100 + slop, 100],
        ['up', 1, 120],
      ],
      ['click'],
    ],
    [
      'a swipe moves from where the finger landed, and does not click',
      [
        ['down', 1, 100, 100, 0],
        ['move', 1, 100 + slop + 1, 100],
        ['move', 1, 130, 90],
        ['up', 1, 80],
      ],
      [
        { type: 'move', dx: slop + 1, dy: 0 },
        { type: 'move', dx: 30 - slop - 1, dy: -10 },
      ],
    ],
    [
      'a long press presses, moves drag, lifting lets go',
      [
        ['down', 1, 100, 100, 0],
        ['longPress', LONG_PRESS_MS - 1],
        ['longPress', LONG_PRESS_MS],
        ['move', 1, 140, 100],
        ['up', 1, 900],
      ],
      ['down', { type: 'move', dx: 40, dy: 0 }, 'up'],
    ],
    [
      'a long press after the finger moved is no drag',
      [
        ['down', 1, 100, 100, 0],
        ['move', 1, 150, 100],
        ['longPress', 2000],
        ['up', 1, 2000],
      ],
      [{ type: 'move', dx: 50, dy: 0 }],
    ],
    [
      'a cancelled touch does not click, but a cancelled drag lets go',
      [
        ['down', 1, 0, 0, 0],
        ['cancel', 1],
        ['down', 2, 0, 0, 0],
        ['longPress', 600],
        ['cancel', 2],
      ],
      ['down', 'up'],
    ],
  ];
  for (const [what, steps, expected] of cases) {
    assert.deepEqual(play(new Touchpad(), steps), expected, what);
  }
});

test('two fingers: a quick still tap right-clicks, travel scrolls, spreading pinches', () => {
  const pinchable = () => new Touchpad({ canPinch: () => true });
  const twoDown = [
    ['down', 1, 100, 100, 0],
    ['down', 2, 200, 100, 20],
  ];

  assert.deepEqual(
    play(new Touchpad(), [...twoDown, ['up', 1, 20 + TWO_FINGER_TAP_MS], ['up', 2, 400]]),
    ['rclick'],
  );
  assert.deepEqual(
    play(new Touchpad(), [...twoDown, ['up', 1, 21 + TWO_FINGER_TAP_MS], ['up', 2, 400]]),
    [],
    'too slow for a tap',
  );
  assert.deepEqual(
    play(new Touchpad(), [
      ['down', 1, 100, 100, 0],
      ['move', 1, 150, 100],
      ['down', 2, 200, 100, 10],
      ['up', 1, 20],
    ]),
    [{ type: 'move', dx: 50, dy: 0 }],
    'a second finger after the first moved is no tap',
  );

  // The centre rises 15 by the second move, past the lock, and scrolls all of it: the
  // content follows the fingers, so rising fingers scroll down. The finger left after the
  // gesture scrolls no more.
  assert.deepEqual(
    play(new Touchpad(), [
      ...twoDown,
      ['move', 1, 100, 90],
      ['move', 2, 200, 80],
      ['move', 1, 100, 70],
      ['up', 1, 500],
      ['move', 2, 200, 0],
      ['up', 2, 600],
    ]),
    [
      { type: 'scroll', dy: 15 },
      { type: 'scroll', dy: 10 },
    ],
  );

  // Spreading zooms only when the screen is shown; otherwise the same fingers do nothing.
  const spread = [...twoDown, ['move', 2, 250, 100], ['move', 1, 50, 100], ['up', 2, 100]];
  assert.deepEqual(play(pinchable(), spread), [
    { type: 'pinch', scale: 1.5 },
    { type: 'pinch', scale: 2 },
    { type: 'pinchEnd', scale: 2 },
  ]);
  assert.deepEqual(play(new Touchpad(), spread), []);
});

test('a finger left after a two-finger gesture does nothing until all are up', () => {
  const pad = new Touchpad();
  const actions = play(pad, [
    ['down', 1, 100, 100, 0],
    ['down', 2, 200, 100, 10],
    ['up', 2, 50],
    ['move', 1, 300, 300],
    ['up', 1, 100],
    ['down', 3, 0, 0, 200],
    ['up', 3, 210],
  ]);
  assert.deepEqual(actions, ['rclick', 'click']);
});

test('pinch zoom stays within its range and ignores nonsense scales', () => {
  assert.equal(pinchZoom(1, 2), 2);
  assert.equal(pinchZoom(4, 4), ZOOM_MAX);
  assert.equal(pinchZoom(1, 0.01), ZOOM_MIN);
  for (const scale of [0, -1, NaN, Infinity]) assert.equal(pinchZoom(1.5, scale), 1.5);
});

test('moves are summed into at most one message per interval', () => {
  const sums = new Coalescer(30);
  sums.add(1, 2);
  assert.deepEqual(sums.take(0), { dx: 1, dy: 2 });
  sums.add(3, 0);
  sums.add(4, -1);
  assert.equal(sums.take(20), null, 'too soon after the last one');
  assert.ok(Math.abs(sums.waitMs(20) - 1000 / 30 + 20) < 1e-9);
  assert.deepEqual(sums.take(34), { dx: 7, dy: -1 });
  assert.equal(sums.take(100), null, 'nothing left');
  assert.equal(sums.waitMs(100), null);

  // Rounding keeps what it leaves out; broken deltas are dropped.
  sums.add(0.004, 0);
  sums.add(NaN, 5);
  assert.equal(sums.flush(101), null);
  sums.add(0.004, 0);
  assert.deepEqual(sums.flush(102), { dx: 0.01, dy: 0 });

  // A button needs the pointer where it was sent: flush ignores the interval.
  sums.add(2, 2);
  assert.deepEqual(sums.flush(103), { dx: 2, dy: 2 });
});

test('keyboard field edits become erasures and typing, a character at a time', () => {
  const cases = [
    ['', 'h', { erase: 0, type: 'h' }],
    ['hello', 'hell', { erase: 1, type: '' }],
    ['teh', 'the ', { erase: 2, type: 'he ' }], // autocorrect rewrote the word
    ['hello world', 'hello, world', { erase: 6, type: ', world' }], // an edit mid-field
    ['ok 👍🏽', 'ok ', { erase: 1, type: '' }], // one emoji with its skin tone is one character
    ['abc', '', { erase: 3, type: '' }],
  ];
  for (const [before, after, edit] of cases)
    assert.deepEqual(fieldEdit(before, after), edit, after);
});
