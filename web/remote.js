// The phone page: joins the computer's relay channel, turns touches and typing into commands,
// and shows what the computer reports (its name, the drag, screen problems, frames).
import {
  Coalescer,
  LONG_PRESS_MS,
  Touchpad,
  characters,
  fieldEdit,
  pinchZoom,
} from './phone-input.js';
import { RelayChannel } from './relay-channel.js';
import { SEALED_EVENT, Seal } from './seal.js';

const SYNC_MS = 20_000; // the computer forgets a phone it has not heard from for 45 s
const RESIZE_SETTLE_MS = 250;
const NAME_LIMIT = 64; // characters shown of names and texts from the channel
const NOTICE_LIMIT = 300;
const IMAGE_LIMIT = 1 << 20; // bytes; the computer sends at most 150000
const FIELD_KEEP = 48; // the keyboard field is emptied at a word end once this long
const PAIRING_CODE = /^[2-9A-HJKMNP-Z]{16}$/;

const $ = (id) => document.getElementById(id);

// At most `limit` characters of `text`, without splitting one; only the head of a huge text
// is looked at.
function shorten(text, limit) {
  const head = characters(text.slice(0, limit * 4));
  if (head.length <= limit && text.length <= limit * 4) return text;
  return `${head.slice(0, limit - 1).join('')}…`;
}

// Hands `send` the summed deltas at most MOVES_PER_SECOND times a second (see Coalescer); a
// timer sends what is still waiting.
class Paced {
  constructor(send) {
    this.send = send;
    this.sums = new Coalescer();
    this.timer = 0;
  }

  add(dx, dy) {
    this.sums.add(dx, dy);
    this.pump();
  }

  pump() {
    const now = performance.now();
    const delta = this.sums.take(now);
    if (delta) this.send(delta);
    const wait = this.sums.waitMs(now);
    if (wait !== null && !this.timer) {
      this.timer = setTimeout(() => {
        this.timer = 0;
        this.pump();
      }, wait);
    }
  }

  flush() {
    clearTimeout(this.timer);
    this.timer = 0;
    const delta = this.sums.flush(performance.now());
    if (delta) this.send(delta);
  }
}

// The same id across visits, so that the computer counts a returning phone once.
function phoneId() {
  const key = 'zephyrglint-phone-id';
  try {
    const stored = localStorage.getItem(key);
    if (stored) return stored;
  } catch {
    // storage blocked (private browsing): an id for this visit only
  }
  const id = Array.from(crypto.getRandomValues(new Uint8Array(8)), (b) =>
    b.toString(16).padStart(2, '0'),
  ).join('');
  try {
    localStorage.setItem(key, id);
  } catch {
    // as above
  }
  return id;
}

// What the computer lists this phone as.
function deviceName() {
  const ua = navigator.userAgent ?? '';
  if (/iPhone/.test(ua)) return 'iPhone';
  if (/iPad/.test(ua) || (/Macintosh/.test(ua) && navigator.maxTouchPoints > 1)) return 'iPad';
  if (/Android/.test(ua)) return /Mobile/.test(ua) ? 'Android phone' : 'Android tablet';
  return shorten(navigator.userAgentData?.platform || navigator.platform || 'Phone', 32);
}

// The relay of the page's own origin, or the one named by the link (hosted use).
function relayUrl(params) {
  const scheme = location.protocol === 'https:' ? 'wss:' : 'ws:';
  const url = new URL(params.get('relay') || `${scheme}//${location.host}/realtime/v1`);
  if (url.protocol === 'https:') url.protocol = 'wss:';
  if (url.protocol === 'http:') url.protocol = 'ws:';
  if (url.protocol !== 'ws:' && url.protocol !== 'wss:') throw new Error('not a WebSocket URL');
  if (!url.pathname.endsWith('/websocket'))
    url.pathname = `${url.pathname.replace(/\/$/, '')}/websocket`;
  url.search = '';
  if (params.get('apikey')) url.searchParams.set('apikey', params.get('apikey'));
  url.searchParams.set('vsn', '1.0.0');
  return url.href;
}

const ui = {
  dot: $('dot'),
  name: $('name'),
  status: $('status'),
  notice: $('notice'),
  screen: $('screen'),
  pad: $('pad'),
  view: $('view'),
  hint: $('hint'),
  drag: $('drag'),
  field: $('field'),
  mods: [...document.querySelectorAll('[data-mod]')],
  keys: [...document.querySelectorAll('[data-key]')],
};

const me = { id: phoneId(), device: deviceName() };
const host = { id: null, greeted: new Set(), awaitingFirst: false, gone: false, known: false };
// Frames are shown in the order they arrived: their numbers start over when the agent does.
const screen = { on: false, zoom: 1, frameZoom: 1, arrived: 0, shown: 0, url: null };
let channel = null;
let seal = null;
let everJoined = false;
let linkProblem = '';

// Every message goes sealed and names the computer's run the page knows; a hello names none,
// since a restarted computer has a run the page cannot know before it answers.
function say(event, payload) {
  const run = event === 'hello' ? null : host.id;
  if (channel && seal) channel.send(SEALED_EVENT, seal.seal(event, payload, run));
}

// Only sealed messages from the computer count: anyone on the channel can send others.
function heard(event, payload) {
  const message = event === SEALED_EVENT ? seal.open(payload) : null;
  if (message?.event === 'state') onState(message.payload);
  else if (message?.event === 'frame') onFrame(message.payload, message.attachment);
}

// The channel secret, from the link's fragment (which no server sees), kept for reloads of
// this tab and taken out of the address bar so that it is not shown, shared or kept in history.
function linkSecret() {
  const key = 'zephyrglint-secret';
  const fromLink = new URLSearchParams(location.hash.slice(1)).get('s');
  if (location.hash) history.replaceState(null, '', location.pathname + location.search);
  try {
    if (fromLink) sessionStorage.setItem(key, fromLink);
    return sessionStorage.getItem(key) ?? '';
  } catch {
    return fromLink ?? ''; // storage blocked (private browsing): this visit only
  }
}

function showConnection() {
  let text;
  if (linkProblem) text = linkProblem;
  else if (!channel.joined) text = everJoined ? 'Reconnecting…' : 'Connecting…';
  else if (host.gone) text = 'The computer has gone';
  else text = host.known ? 'Connected' : 'Waiting for the computer…';
  ui.status.textContent = text;
  ui.dot.classList.toggle('on', Boolean(channel?.joined && host.known && !host.gone));
}

function command(what, fields = {}) {
  const payload = { ...fields, do: what, from: me.id };
  if (host.id) payload.to = host.id;
  say('cmd', payload);
}

function greet() {
  say('hello', { from: me.id, device: me.device });
  if (screen.on) requestFrames();
}

function onState(state) {
  if (typeof state.from !== 'string' || state.from === '' || state.from.length > NAME_LIMIT) return;
  if (state.gone === true) {
    if (host.id === null || state.from === host.id) {
      host.gone = true;
      showDrag(false);
      showConnection();
    }
    return;
  }
  if (state.from !== host.id) {
    // A restarted agent has a new id and has never heard of this phone.
    host.id = state.from;
    if (host.awaitingFirst) host.greeted.add(state.from);
    if (!host.greeted.has(state.from)) {
      host.greeted.add(state.from);
      greet();
    }
  }
  host.awaitingFirst = false;
  host.known = true;
  host.gone = false;
  if (typeof state.name === 'string' && state.name.trim()) {
    ui.name.textContent = shorten(state.name, NAME_LIMIT);
  }
  showDrag(state.drag === true);
  // The screen's problem first, then what the last text left out (older agents send neither).
  const problem = [state.screenError, state.typeError]
    .filter((text) => typeof text === 'string' && text !== '')
    .join('\n');
  ui.notice.textContent = shorten(problem, NOTICE_LIMIT);
  ui.notice.hidden = problem === '';
  showConnection();
}

function showDrag(on) {
  ui.drag.hidden = !on;
  ui.pad.classList.toggle('dragging', on);
}

// --- the screen view ---

function requestFrames() {
  command('screen', {
    on: true,
    w: Math.round(ui.pad.clientWidth),
    h: Math.round(ui.pad.clientHeight),
    zoom: Math.round(screen.zoom * 1000) / 1000,
    dpr: window.devicePixelRatio || 1,
  });
}

function setScreen(on) {
  screen.on = on;
  ui.screen.setAttribute('aria-pressed', String(on));
  ui.hint.hidden = on;
  ui.pad.classList.toggle('watching', on);
  if (on) {
    requestFrames();
  } else {
    command('screen', { on: false });
    ui.view.hidden = true;
    ui.view.removeAttribute('src');
    if (screen.url) URL.revokeObjectURL(screen.url);
    screen.url = null;
  }
}

function onFrame(frame, picture) {
  const { n, z } = frame;
  if (!screen.on || typeof n !== 'number' || !Number.isFinite(n)) return;
  command('ack', { n });
  if (picture.length === 0 || picture.length > IMAGE_LIMIT) return;
  const arrival = ++screen.arrived;
  const url = URL.createObjectURL(new Blob([picture], { type: 'image/jpeg' }));
  const probe = new Image();
  probe.src = url;
  probe.decode().then(
    () => {
      if (!screen.on || arrival < screen.shown) {
        URL.revokeObjectURL(url);
        return;
      }
      screen.shown = arrival;
      screen.frameZoom = typeof z === 'number' && z > 0 && Number.isFinite(z) ? z : screen.zoom;
      if (screen.url) URL.revokeObjectURL(screen.url);
      screen.url = url;
      ui.view.src = url;
      ui.view.dataset.frame = String(n);
      ui.view.dataset.zoom = String(screen.frameZoom);
      ui.view.hidden = false;
      magnify(screen.zoom);
    },
    () => URL.revokeObjectURL(url), // not a picture
  );
}

// Shows the last frame as it would look at `zoom`, until frames of that zoom arrive.
function magnify(zoom) {
  const scale = zoom / screen.frameZoom;
  ui.view.style.transform = scale === 1 ? '' : `scale(${scale})`;
}

// --- touchpad and keys ---

const touchpad = new Touchpad({ canPinch: () => screen.on });
const moves = new Paced(({ dx, dy }) => command('move', { dx, dy }));
const scrolls = new Paced(({ dy }) => command('scroll', { dy }));
let longPressTimer = 0;

function perform(actions) {
  for (const action of actions) {
    const type = typeof action === 'string' ? action : action.type;
    if (type === 'move') {
      moves.add(action.dx, action.dy);
    } else if (type === 'scroll') {
      scrolls.add(0, action.dy);
    } else if (type === 'pinch') {
      magnify(pinchZoom(screen.zoom, action.scale));
    } else if (type === 'pinchEnd') {
      screen.zoom = pinchZoom(screen.zoom, action.scale);
      magnify(screen.zoom);
      requestFrames();
    } else {
      // A button lands where the pointer was sent, so what is pending goes first.
      moves.flush();
      scrolls.flush();
      if (type === 'down') navigator.vibrate?.(15);
      command(type);
    }
  }
}

function watchTouchpad() {
  const pad = ui.pad;
  pad.addEventListener('pointerdown', (e) => {
    e.preventDefault(); // keeps the focus, and so the phone's keyboard, where it is
    pad.setPointerCapture?.(e.pointerId);
    perform(touchpad.down(e.pointerId, e.clientX, e.clientY, e.timeStamp));
    clearTimeout(longPressTimer);
    if (touchpad.state === 'pending') {
      longPressTimer = setTimeout(
        () => perform(touchpad.longPress(performance.now())),
        LONG_PRESS_MS,
      );
    }
  });
  pad.addEventListener('pointermove', (e) =>
    perform(touchpad.move(e.pointerId, e.clientX, e.clientY)),
  );
  pad.addEventListener('pointerup', (e) => perform(touchpad.up(e.pointerId, e.timeStamp)));
  pad.addEventListener('pointercancel', (e) => perform(touchpad.cancel(e.pointerId)));
  pad.addEventListener('contextmenu', (e) => e.preventDefault());
  // Safari's own pinch would zoom the page.
  document.addEventListener('gesturestart', (e) => e.preventDefault());
}

function activeMods() {
  return ui.mods.filter((b) => b.getAttribute('aria-pressed') === 'true').map((b) => b.dataset.mod);
}

// A modifier holds for the next key only, like a phone's own shift.
function pressKey(k) {
  command('key', { k, mods: activeMods() });
  for (const button of ui.mods) button.setAttribute('aria-pressed', 'false');
}

function typeText(text) {
  if (activeMods().length === 0) {
    command('text', { t: text });
    return;
  }
  const [first, ...rest] = Array.from(text);
  pressKey(first);
  if (rest.length) command('text', { t: rest.join('') });
}

function watchKeys() {
  for (const button of [...ui.mods, ...ui.keys]) {
    // Keeps the focus, and so the phone's keyboard, in the text field.
    button.addEventListener('mousedown', (e) => e.preventDefault());
  }
  for (const button of ui.mods) {
    button.addEventListener('click', () => {
      const on = button.getAttribute('aria-pressed') !== 'true';
      button.setAttribute('aria-pressed', String(on));
    });
  }
  for (const button of ui.keys)
    button.addEventListener('click', () => pressKey(button.dataset.key));

  const field = ui.field;
  let before = '';
  const clear = () => {
    field.value = '';
    before = '';
  };
  field.addEventListener('input', (e) => {
    const { erase, type } = fieldEdit(before, field.value);
    before = field.value;
    // Plain erasures: held modifiers wait for a key the person chose.
    for (let i = 0; i < erase; i++) command('key', { k: 'Backspace', mods: [] });
    if (type) typeText(type);
    if (!e.isComposing && before.length > FIELD_KEEP && /\s$/.test(before)) clear();
  });
  field.addEventListener('keydown', (e) => {
    if (e.isComposing) return;
    if (e.key === 'Enter') {
      e.preventDefault();
      pressKey('Enter');
      clear();
    } else if (e.key === 'Backspace' && field.value === '') {
      pressKey('Backspace'); // nothing left in the field to erase, but there is on the computer
    }
  });
}

// --- start ---

function start() {
  const params = new URLSearchParams(location.search);
  const code = params.get('k') ?? '';
  const secret = linkSecret();
  watchTouchpad();
  watchKeys();
  ui.screen.addEventListener('click', () => setScreen(!screen.on));
  let resizeTimer = 0;
  new ResizeObserver(() => {
    clearTimeout(resizeTimer);
    resizeTimer = setTimeout(() => screen.on && requestFrames(), RESIZE_SETTLE_MS);
  }).observe(ui.pad);

  let url;
  try {
    url = relayUrl(params);
  } catch {
    linkProblem = 'The relay address in this link is not valid.';
  }
  if (!PAIRING_CODE.test(code)) {
    linkProblem = 'This link has no valid pairing code. Scan the QR code again.';
  } else {
    seal = new Seal(globalThis.nacl, secret, me.id);
    if (!seal.usable) linkProblem = 'This link has no valid secret. Scan the QR code again.';
  }
  if (linkProblem) {
    showConnection();
    return;
  }
  channel = new RelayChannel(url, `realtime:zephyrglint-${code}`, {
    onJoin() {
      everJoined = true;
      host.greeted.clear();
      host.awaitingFirst = true;
      greet();
      showConnection();
    },
    onLeave: showConnection,
    onEvent: heard,
  });
  channel.connect();
  showConnection();

  setInterval(() => command('sync'), SYNC_MS);
  window.addEventListener('pagehide', () => {
    say('bye', { from: me.id });
    channel.close();
  });
  window.addEventListener('pageshow', (e) => e.persisted && channel.connect());
  window.addEventListener('online', () => channel.connect());
  document.addEventListener('visibilitychange', () => {
    if (document.visibilityState !== 'visible') return;
    channel.connect();
    channel.check();
    // Asleep for long, the phone may have been forgotten, and the frames stopped with it.
    if (channel.joined) greet();
  });
}

start();
