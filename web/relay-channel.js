// One Phoenix channel on the relay: join, heartbeats, broadcasts, and reconnection with
// back-off whenever the socket or the channel fails. The page uses the browser's WebSocket;
// node passes the `ws` package's.

const HEARTBEAT_MS = 25_000; // the relay closes sockets that stay silent for 60 s
const HEARTBEAT_ANSWER_MS = 10_000; // an unanswered heartbeat means a dead socket
const RETRY_MIN_MS = 500;
const RETRY_MAX_MS = 10_000;
const OPEN = 1; // WebSocket.OPEN, in browsers and in ws alike

const isObject = (value) => typeof value === 'object' && value !== null && !Array.isArray(value);
const ignore = () => {};

export class RelayChannel {
  constructor(
    url,
    topic,
    { onJoin = ignore, onLeave = ignore, onEvent = ignore, WebSocket = globalThis.WebSocket } = {},
  ) {
    Object.assign(this, { url, topic, onJoin, onLeave, onEvent, WebSocket });
    this.ref = 0;
    this.socket = null;
    this.joined = false;
    this.retryMs = RETRY_MIN_MS;
    this.retryTimer = 0;
    this.beatTimer = 0;
    this.answerTimer = 0;
  }

  // Connects now unless a socket is open or opening; also cuts a pending back-off short.
  connect() {
    clearTimeout(this.retryTimer);
    this.retryTimer = 0;
    if (this.socket) return;
    let socket;
    try {
      socket = new this.WebSocket(this.url);
    } catch {
      this.retry();
      return;
    }
    this.socket = socket;
    socket.onopen = () => this.join();
    socket.onmessage = (message) => socket === this.socket && this.receive(message.data);
    socket.onclose = () => socket === this.socket && this.lost();
    // A close always follows; node's ws would throw an error nobody listens to.
    socket.onerror = ignore;
    this.beatTimer = setInterval(() => this.beat(), HEARTBEAT_MS);
  }

  // Ends the connection for good (the page goes away); connect() starts over.
  close() {
    const socket = this.socket;
    this.forget();
    clearTimeout(this.retryTimer);
    this.retryTimer = 0;
    socket?.close(1000);
  }

  // Sends one application event; false when the channel is not joined (it is dropped).
  send(event, payload) {
    if (!this.joined) return false;
    this.push({
      topic: this.topic,
      event: 'broadcast',
      join_ref: this.joinRef,
      payload: { type: 'broadcast', event, payload },
    });
    return true;
  }

  // Asks the relay for a sign of life now: after the phone slept, the socket may be dead
  // without anyone having noticed.
  check() {
    if (this.socket?.readyState === OPEN) this.beat();
  }

  push(frame) {
    const ref = String(++this.ref);
    this.socket.send(JSON.stringify({ ...frame, ref }));
    return ref;
  }

  join() {
    this.joinRef = String(this.ref + 1);
    this.push({
      topic: this.topic,
      event: 'phx_join',
      join_ref: this.joinRef,
      payload: {
        config: { broadcast: { self: false, ack: false }, presence: { key: '' }, private: false },
      },
    });
  }

  beat() {
    if (this.socket?.readyState !== OPEN || this.answerTimer) return;
    this.beatRef = this.push({ topic: 'phoenix', event: 'heartbeat', payload: {} });
    this.answerTimer = setTimeout(() => this.fail(), HEARTBEAT_ANSWER_MS);
  }

  receive(data) {
    if (typeof data !== 'string') return;
    let frame;
    try {
      frame = JSON.parse(data);
    } catch {
      return;
    }
    if (!isObject(frame)) return;
    const { event, topic, ref, payload } = frame;
    if (event === 'phx_reply' && typeof ref === 'string') {
      if (ref === this.beatRef) {
        clearTimeout(this.answerTimer);
        this.answerTimer = 0;
      } else if (ref === this.joinRef && !this.joined) {
        if (isObject(payload) && payload.status === 'ok') {
          this.joined = true;
          this.retryMs = RETRY_MIN_MS;
          this.onJoin();
        } else {
          this.fail();
        }
      }
    } else if (topic !== this.topic) {
      // another channel's business
    } else if (event === 'broadcast' && isObject(payload)) {
      const name = typeof payload.event === 'string' ? payload.event : '';
      this.onEvent(name, isObject(payload.payload) ? payload.payload : {});
    } else if (event === 'phx_error' || event === 'phx_close') {
      this.fail();
    }
  }

  fail() {
    const socket = this.socket;
    if (!socket) return;
    this.lost();
    socket.close(1000);
  }

  lost() {
    const wasJoined = this.joined;
    this.forget();
    if (wasJoined) this.onLeave();
    this.retry();
  }

  retry() {
    this.retryTimer = setTimeout(() => this.connect(), this.retryMs);
    this.retryMs = Math.min(this.retryMs * 2, RETRY_MAX_MS);
  }

  // Drops the socket; its error handler stays, as a late error would throw in node.
  forget() {
    if (this.socket) Object.assign(this.socket, { onopen: null, onmessage: null, onclose: null });
    this.socket = null;
    this.joined = false;
    clearInterval(this.beatTimer);
    clearTimeout(this.answerTimer);
    this.answerTimer = 0;
  }
}
