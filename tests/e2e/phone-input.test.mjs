// The phone page's input logic: what touches, pinches and keyboard edits turn into. The
// thresholds are written out, so that a changed one shows.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { Coalescer, Touchpad, fieldEdit, pinchZoom } from '../../web/phone-input.js';

const move = (dx, dy) => ({ type: 'move', dx, dy });
const pinch = (scale, type = 'pinch') => ({ type, scale });
const one = ['down', 1, 100, 100, 0];
const two = [one, ['down', 2, 200, 100, 20]];

test('touches turn into moves, clicks, drags, scrolls and pinches', () => {
  // [what, [method, ...arguments] steps, actions, whether two fingers may pinch]
  const cases = [
    ['wandering 10 px, a finger taps', [one, ['move', 1, 110, 100], ['up', 1, 120]], ['click']],
    ['11 px move, from where the finger landed', [one, ['move', 1, 111, 100],
      ['move', 1, 130, 90], ['up', 1, 80]], [move(11, 0), move(19, -10)]],
    ['held still 499 ms, a finger taps', [one, ['longPress', 499], ['up', 1, 520]], ['click']],
    ['held still 500 ms, a finger drags', [one, ['longPress', 500], ['move', 1, 140, 100],
      ['up', 1, 900]], ['down', move(40, 0), 'up']],
    ['a long press after moving is no drag',
      [one, ['move', 1, 150, 100], ['longPress', 2000], ['up', 1, 2000]], [move(50, 0)]],
    ['a cancelled touch does not click, a cancelled drag lets go',
      [one, ['cancel', 1], one, ['longPress', 600], ['cancel', 1]], ['down', 'up']],
    ['two fingers up in 350 ms right-click', [...two, ['up', 1, 370], ['up', 2, 400]], ['rclick']],
    ['two fingers up after 351 ms do nothing', [...two, ['up', 1, 371], ['up', 2, 400]], []],
    ['a second finger after the first moved is no tap',
      [one, ['move', 1, 150, 100], ['down', 2, 200, 100, 10], ['up', 1, 20]], [move(50, 0)]],
    // Their centre rises 12 px (not past the lock), then 13. The content follows the fingers, so
    // rising fingers scroll down. The finger left afterwards does nothing.
    ['two fingers past 12 px scroll', [...two, ['move', 1, 100, 76], ['move', 2, 200, 98],
      ['up', 1, 500], ['move', 2, 200, 0], ['up', 2, 600]], [{ type: 'scroll', dy: 13 }]],
    ['spreading past 12 px pinches', [...two, ['move', 2, 212, 100], ['move', 2, 250, 100],
      ['move', 1, 50, 100], ['up', 2, 100]], [pinch(1.5), pinch(2), pinch(2, 'pinchEnd')], true],
    ['a cancelled pinch ends too', [...two, ['move', 2, 250, 100], ['cancel', 2]],
      [pinch(1.5), pinch(1.5, 'pinchEnd')], true],
    ['with no screen shown, spreading does nothing',
      [...two, ['move', 2, 250, 100], ['move', 1, 50, 100], ['up', 2, 100]], []],
    ['after a two-finger tap the last finger is idle, a new touch taps', [...two, ['up', 2, 50],
      ['move', 1, 300, 300], ['up', 1, 100], one, ['up', 1, 210]], ['rclick', 'click']],
  ];
  for (const [what, steps, actions, canPinch = false] of cases) {
    const pad = new Touchpad({ canPinch: () => canPinch });
    assert.deepEqual(steps.flatMap(([method, ...args]) => pad[method](...args)), actions, what);
  }
});

test('pinch zoom stays within 0.25 to 8 and ignores nonsense scales', () => {
  const cases = [[1, 2, 2], [4, 4, 8], [1, 0.01, 0.25], [1.5, 0, 1.5], [1.5, -1, 1.5],
    [1.5, NaN, 1.5], [1.5, Infinity, 1.5]];
  for (const [zoom, scale, expected] of cases) assert.equal(pinchZoom(zoom, scale), expected);
});

test('moves are summed into at most 30 messages a second', () => {
  const sums = new Coalescer();
  const sum = (dx, dy) => ({ dx, dy });
  // [method, arguments, result]; the results of add() are not looked at.
  const steps = [
    ['add', [1, 2]], ['take', [0], sum(1, 2)],
    ['add', [3, 0]], ['add', [4, -1]], ['take', [33], null], ['waitMs', [33], 1000 / 30 - 33],
    ['take', [34], sum(7, -1)], ['waitMs', [100], null],
    // Rounding keeps what it leaves out; broken deltas are dropped.
    ['add', [0.004, 0]], ['add', [NaN, 5]], ['flush', [101], null],
    ['add', [0.004, 0]], ['flush', [102], sum(0.01, 0)],
    // A button needs the pointer where it was sent: flush ignores the interval.
    ['add', [2, 2]], ['flush', [103], sum(2, 2)],
  ];
  for (const [method, args, expected] of steps) {
    const result = sums[method](...args);
    if (method !== 'add') assert.deepEqual(result, expected, `${method}(${args})`);
  }
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
  for (const [before, after, edit] of cases) assert.deepEqual(fieldEdit(before, after), edit);
});
