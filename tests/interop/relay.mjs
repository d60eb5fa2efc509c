// Helpers shared by the interop scenarios: a relay binary of our own on a free port, and the
// official Supabase Realtime client set up the way the phone page uses it.
import { spawn } from 'node:child_process';
import { RealtimeClient, REALTIME_SUBSCRIBE_STATES } from '@supabase/realtime-js';
import WebSocket from 'ws';

const timeoutMs = 10_000;

// Fails with `what` unless `promise` settles within the timeout.
export function within(promise, what) {
  let timer;
  const timeout = new Promise((_, reject) => {
    timer = setTimeout(() => reject(new Error(`timed out: ${what}`)), timeoutMs);
  });
  return Promise.race([promise, timeout]).finally(() => clearTimeout(timer));
}

// Resolves with the first truthy value of `check`, polled until the timeout.
export function until(check, what) {
  return within(
    new Promise((resolve) => {
      const poll = () => {
        const found = check();
        if (found) resolve(found);
        else setTimeout(poll, 5);
      };
      poll();
    }),
    what,
  );
}

// Starts the relay executable named by ZG_RELAY_BIN on 127.0.0.1 and a free port.
export async function startRelay() {
  const binary = process.env.ZG_RELAY_BIN;
  if (!binary) throw new Error('ZG_RELAY_BIN must name the zephyrglint-relay executable');
  const child = spawn(binary, ['--listen', '127.0.0.1:0'], { stdio: ['ignore', 'inherit', 'pipe'] });
  let log = '';
  const port = await within(
    new Promise((resolve, reject) => {
      child.stderr.on('data', (chunk) => {
        log += chunk;
        const listening = /relay: listening on 127\.0\.0\.1:(\d+)\n/.exec(log);
        if (listening) resolve(Number(listening[1]));
      });
      child.on('exit', (code) => reject(new Error(`relay exited with ${code}: ${log}`)));
    }),
    'the relay to listen',
  );
  return {
    endpoint: `ws://127.0.0.1:${port}/realtime/v1`,
    stop: () => {
      child.kill();
      return new Promise((resolve) => child.on('close', resolve));
    },
  };
}

export function newClient(relay) {
  return new RealtimeClient(relay.endpoint, {
    transport: WebSocket,
    vsn: '1.0.0',
    params: { apikey: 'sb_publishable_interop' },
  });
}

// Joins `topic` with the given config; resolves once the relay has accepted the join.
export function subscribe(client, topic, config = { broadcast: { self: false, ack: false } }) {
  const channel = client.channel(topic, { config });
  channel.received = [];
  channel.on('broadcast', { event: '*' }, (message) => channel.received.push(message));
  return within(
    new Promise((resolve, reject) => {
      channel.subscribe((status, error) => {
        if (status === REALTIME_SUBSCRIBE_STATES.SUBSCRIBED) resolve(channel);
        else reject(new Error(`join ${topic}: ${status} ${error ?? ''}`));
      });
    }),
    `joining ${topic}`,
  );
}

// Resolves with the broadcasts `channel` has received once there are `count` of them.
export function broadcasts(channel, count) {
  return until(
    () => channel.received.length >= count && channel.received,
    `${count} broadcasts on ${channel.topic}`,
  );
}
