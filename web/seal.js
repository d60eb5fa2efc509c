// The page's end of the sealed channel. Every message between the page and the computer
// travels as one "sealed" broadcast {s: Base64 of nonce, tag and ciphertext}; the relay sees
// nothing else. NaCl secretbox (TweetNaCl, passed in as `nacl`) under a key per direction,
// derived from the secret in the link's fragment, with a fresh random nonce per message. The
// plaintext is a JSON header line {e: event, p: payload, id: sender, c: counter} (the page's
// also name the computer's run as `run`), then any attachment bytes: a frame's picture.

export const SEALED_EVENT = 'sealed';
export const SECRET = /^[A-Za-z0-9_-]{43}$/;
const LABELS = { toAgent: 'zephyrglint phone to agent', toPhone: 'zephyrglint agent to phone' };
const NONCE_BYTES = 24;
const text = {
  encode: (s) => new TextEncoder().encode(s),
  decode: (b) => new TextDecoder().decode(b),
};

export function fromBase64(base64) {
  const binary = atob(base64);
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
  return bytes;
}

export function toBase64(bytes) {
  let binary = '';
  for (let i = 0; i < bytes.length; i += 0x8000) {
    binary += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  }
  return btoa(binary);
}

// The first 32 bytes of SHA-512 over the direction's label, a zero byte and the secret's 32
// bytes; null when `secret` is not their Base64url.
export function directionKey(nacl, secret, direction) {
  if (typeof secret !== 'string' || !SECRET.test(secret) || !/[AEIMQUYcgkosw048]$/.test(secret))
    return null; // the last character carries two bits that must be zero
  const bytes = fromBase64(`${secret.replace(/-/g, '+').replace(/_/g, '/')}=`);
  const label = text.encode(LABELS[direction]);
  const input = new Uint8Array(label.length + 1 + bytes.length);
  input.set(label);
  input.set(bytes, label.length + 1);
  return nacl.hash(input).subarray(0, nacl.secretbox.keyLength);
}

// Nonce, tag and ciphertext of `plaintext` (bytes) under `key`.
export function box(nacl, key, nonce, plaintext) {
  const sealed = nacl.secretbox(plaintext, nonce, key);
  const out = new Uint8Array(NONCE_BYTES + sealed.length);
  out.set(nonce);
  out.set(sealed, NONCE_BYTES);
  return out;
}

// The plaintext bytes, or null when `sealed` is damaged or was not sealed under `key`.
export function unbox(nacl, key, sealed) {
  if (sealed.length < NONCE_BYTES + nacl.secretbox.overheadLength) return null;
  return nacl.secretbox.open(sealed.subarray(NONCE_BYTES), sealed.subarray(0, NONCE_BYTES), key);
}

// One end of the sealed channel: the page's (side 'phone'), or the computer's, as tests play it.
export class Seal {
  // `id` names the sender: this phone's id, or the computer's run.
  constructor(nacl, secret, id, side = 'phone') {
    this.nacl = nacl;
    const directions = side === 'phone' ? ['toAgent', 'toPhone'] : ['toPhone', 'toAgent'];
    [this.sealKey, this.openKey] = directions.map((d) => directionKey(nacl, secret, d));
    this.id = id;
    this.counter = 0;
    this.heard = new Map(); // the highest counter accepted from each sender
  }

  get usable() {
    return this.sealKey !== null;
  }

  // The payload of a sealed broadcast carrying `event`, `payload` and `attachment` bytes to
  // the run `run` (null before the page knows one). Counters follow the clock, so a reloaded
  // page goes on above what it sent before.
  seal(event, payload, run = null, attachment = new Uint8Array()) {
    this.counter = Math.max(this.counter + 1, Date.now() * 1000);
    const header = { e: event, p: payload, id: this.id, c: this.counter };
    if (run) header.run = run;
    const line = text.encode(`${JSON.stringify(header)}\n`);
    const plaintext = new Uint8Array(line.length + attachment.length);
    plaintext.set(line);
    plaintext.set(attachment, line.length);
    const nonce = this.nacl.randomBytes(NONCE_BYTES);
    return { s: toBase64(box(this.nacl, this.sealKey, nonce, plaintext)) };
  }

  // {event, payload, attachment} of what the other side sealed, when it opens and its counter
  // is above every earlier one from the same sender; null otherwise.
  open(payload) {
    if (!this.usable || typeof payload?.s !== 'string') return null;
    let plaintext;
    try {
      plaintext = unbox(this.nacl, this.openKey, fromBase64(payload.s));
    } catch {
      return null; // not Base64
    }
    if (!plaintext) return null;
    const end = plaintext.indexOf(10);
    let header;
    try {
      header = JSON.parse(text.decode(end < 0 ? plaintext : plaintext.subarray(0, end)));
    } catch {
      return null;
    }
    const { e, p, id, c } = header ?? {};
    if (typeof e !== 'string' || typeof id !== 'string' || !Number.isSafeInteger(c)) return null;
    if (c <= (this.heard.get(id) ?? 0)) return null; // replayed
    this.heard.set(id, c);
    const attachment = end < 0 ? new Uint8Array() : plaintext.subarray(end + 1);
    return { event: e, payload: p && typeof p === 'object' ? p : {}, attachment };
  }
}
