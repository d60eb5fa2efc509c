// What the phone's fingers and keyboard mean, as plain functions and state machines with
// times passed in, so that the page and the node tests run the same logic.

export const TAP_SLOP = 10; // CSS px a finger may wander and still tap
export const LONG_PRESS_MS = 500; // a still finger held this long presses the button (drag)
export const TWO_FINGER_TAP_MS = 350; // both fingers down and one up within this is a right click
export const TWO_FINGER_LOCK = 12; // CSS px of travel before two fingers commit to scroll or pinch
export const MOVES_PER_SECOND = 30;
export const ZOOM_MIN = 0.25;
export const ZOOM_MAX = 8;

// Zoom after a pinch that scaled the finger distance by `scale`, kept within what is useful.
export function pinchZoom(startZoom, scale) {
  const zoom = Number.isFinite(scale) && scale > 0 ? startZoom * scale : startZoom;
  return Math.min(Math.max(zoom, ZOOM_MIN), ZOOM_MAX);
}

const distance = (a, b) => Math.hypot(a.x - b.x, a.y - b.y);
const centre = (a, b) => ({ x: (a.x + b.x) / 2, y: (a.y + b.y) / 2 });

// Turns pointer events on the touchpad into commands. Every method returns a list of
// actions: {type: 'move', dx, dy}, 'click', 'rclick', 'down', 'up', {type: 'scroll', dy},
// {type: 'pinch', scale} and {type: 'pinchEnd', scale}.
export class Touchpad {
  // `canPinch` says whether two spreading fingers zoom (only while the screen is shown).
  constructor({ canPinch = () => false } = {}) {
    this.canPinch = canPinch;
    this.fingers = new Map(); // pointer id -> {x, y}
    this.reset();
  }

  reset() {
    // idle | pending (one still finger) | moving | dragging | two | scrolling | pinching | done
    this.state = 'idle';
    this.primary = null;
    this.start = null; // where and when the gesture began
    this.last = null; // the primary finger's last point, or the two fingers' last centre
    this.scale = 1; // finger distance over the distance when the second finger came down
  }

  down(id, x, y, t) {
    this.fingers.set(id, { x, y });
    if (this.state === 'idle') {
      this.state = 'pending';
      this.primary = id;
      this.start = { x, y, t };
      this.last = { x, y };
      return [];
    }
    if (this.fingers.size === 2 && (this.state === 'pending' || this.state === 'moving')) {
      const [a, b] = [...this.fingers.values()];
      const couldTap = this.state === 'pending';
      this.state = 'two';
      this.start = { ...centre(a, b), t, distance: distance(a, b), couldTap };
      this.last = centre(a, b);
      this.scale = 1;
    }
    return []; // a third finger, or a second one while dragging, changes nothing
  }

  move(id, x, y) {
    const finger = this.fingers.get(id);
    if (!finger) return [];
    finger.x = x;
    finger.y = y;
    switch (this.state) {
      case 'pending':
        if (id !== this.primary || Math.hypot(x - this.start.x, y - this.start.y) <= TAP_SLOP) {
          return [];
        }
        this.state = 'moving';
        return this.follow(x, y);
      case 'moving':
      case 'dragging':
        return id === this.primary ? this.follow(x, y) : [];
      case 'two':
      case 'scrolling':
      case 'pinching':
        return this.twoFingers();
      default:
        return [];
    }
  }

  up(id, t) {
    if (!this.fingers.delete(id)) return [];
    const actions = this.lift(id, t);
    if (this.fingers.size === 0) this.reset();
    else if (this.state !== 'dragging' || id === this.primary) this.state = 'done';
    return actions;
  }

  // The browser took the finger away (a system gesture, an incoming call): nothing clicks,
  // but a held button is let go.
  cancel(id) {
    if (!this.fingers.delete(id)) return [];
    const actions = this.state === 'dragging' && id === this.primary ? ['up'] : [];
    const pinched = this.state === 'pinching' ? [{ type: 'pinchEnd', scale: this.scale }] : [];
    if (this.fingers.size === 0) this.reset();
    else this.state = 'done';
    return [...actions, ...pinched];
  }

  // Called by a timer LONG_PRESS_MS after a finger went down: a finger that stayed still
  // all that time presses the button, and its later moves drag.
  longPress(t) {
    if (this.state !== 'pending' || t - this.start.t < LONG_PRESS_MS) return [];
    this.state = 'dragging';
    return ['down'];
  }

  lift(id, t) {
    switch (this.state) {
      case 'pending':
        return id === this.primary ? ['click'] : [];
      case 'dragging':
        return id === this.primary ? ['up'] : [];
      case 'two':
        return this.start.couldTap && t - this.start.t <= TWO_FINGER_TAP_MS ? ['rclick'] : [];
      case 'pinching':
        return [{ type: 'pinchEnd', scale: this.scale }];
      default:
        return [];
    }
  }

  follow(x, y) {
    const action = { type: 'move', dx: x - this.last.x, dy: y - this.last.y };
    this.last = { x, y };
    return [action];
  }

  twoFingers() {
    const [a, b] = [...this.fingers.values()];
    if (!b) return [];
    const now = centre(a, b);
    if (this.state === 'two') {
      const spread = Math.abs(distance(a, b) - this.start.distance);
      const travel = Math.hypot(now.x - this.start.x, now.y - this.start.y);
      if (this.canPinch() && spread > TWO_FINGER_LOCK && spread > travel) {
        this.state = 'pinching';
      } else if (travel > TWO_FINGER_LOCK) {
        this.state = 'scrolling';
      } else {
        return [];
      }
    }
    if (this.state === 'pinching') {
      if (this.start.distance > 0) this.scale = distance(a, b) / this.start.distance;
      return [{ type: 'pinch', scale: this.scale }];
    }
    // The content follows the fingers, as on the phone's own pages: fingers moving up
    // scroll further down.
    const dy = this.last.y - now.y;
    this.last = now;
    return dy === 0 ? [] : [{ type: 'scroll', dy }];
  }
}

// Sums deltas so that at most `perSecond` messages go out, whatever rate the fingers report.
// Sent values are rounded to hundredths; what rounding leaves out stays for the next one.
export class Coalescer {
  constructor(perSecond = MOVES_PER_SECOND) {
    this.interval = 1000 / perSecond;
    this.dx = 0;
    this.dy = 0;
    this.sentAt = -Infinity;
  }

  add(dx, dy) {
    if (!Number.isFinite(dx) || !Number.isFinite(dy)) return;
    this.dx += dx;
    this.dy += dy;
  }

  // The summed delta, if there is one and the interval since the last one has passed.
  take(now) {
    if (now - this.sentAt < this.interval) return null;
    return this.flush(now);
  }

  // The summed delta whatever the interval: before a click, which must land where the
  // pointer was moved to.
  flush(now) {
    const dx = Math.round(this.dx * 100) / 100;
    const dy = Math.round(this.dy * 100) / 100;
    if (dx === 0 && dy === 0) return null;
    this.dx -= dx;
    this.dy -= dy;
    this.sentAt = now;
    return { dx, dy };
  }

  // Milliseconds until take() may send; null when nothing waits.
  waitMs(now) {
    if (Math.round(this.dx * 100) === 0 && Math.round(this.dy * 100) === 0) return null;
    return Math.max(0, this.sentAt + this.interval - now);
  }
}

const segmenter =
  typeof Intl !== 'undefined' && Intl.Segmenter
    ? new Intl.Segmenter(undefined, { granularity: 'grapheme' })
    : null;

// The characters of `text` as a person counts them, so that one Backspace erases one.
export function characters(text) {
  return segmenter ? Array.from(segmenter.segment(text), (s) => s.segment) : Array.from(text);
}

// How the keyboard field went from `before` to `after`, as the computer has to replay it with
// its caret at the end: erase the characters after the common beginning, then type the rest.
// Autocorrect and predictive keyboards rewrite whole words, so this holds for them too.
export function fieldEdit(before, after) {
  const old = characters(before);
  const now = characters(after);
  let same = 0;
  while (same < old.length && same < now.length && old[same] === now[same]) same++;
  return { erase: old.length - same, type: now.slice(same).join('') };
}
