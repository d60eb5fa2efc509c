// What a sealed frame costs the phone page in Chromium: opening the seal and showing the
// picture, against showing the same picture alone, measured in the same run on a picture like
// a busy screen's default view (780 x 1200 pixels of noise, about 80 kB of JPEG). The page
// comes from the real agent's relay. Reports, never asserts.
import { createRequire } from 'node:module';
import { startAgent, until } from '../tests/harness.mjs';

const { chromium } = createRequire(new URL('../tests/', import.meta.url))('playwright-core');
const secret = 'bjXM5QmXk1pFhrsKxQy0bS8uMQVeQ4JPQ7wW9ZC3kLc';
const settings = { code: '23456789ABCDEFGH', secret };
const FRAMES = 60;

const agent = await startAgent('', settings); // no display: it still serves the page
const args = process.getuid?.() === 0 ? ['--no-sandbox'] : [];
const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args });
try {
  const page = await browser.newPage({ viewport: { width: 390, height: 844 } });
  await page.goto(agent.link);
  await until(() => page.evaluate(() => Boolean(globalThis.nacl)), 'the page to load nacl.js');
  const result = await page.evaluate(async ({ secret, frames }) => {
    const { Seal } = await import('/seal.js');
    const canvas = Object.assign(document.createElement('canvas'), { width: 780, height: 1200 });
    const g = canvas.getContext('2d');
    const noise = g.createImageData(780, 1200);
    for (let i = 0; i < noise.data.length; i++)
      noise.data[i] = i % 4 === 3 ? 255 : Math.random() * 256;
    g.putImageData(noise, 0, 0);
    const blob = await new Promise((done) => canvas.toBlob(done, 'image/jpeg', 0.1));
    const jpeg = new Uint8Array(await blob.arrayBuffer());
    const computer = new Seal(globalThis.nacl, secret, 'bench', 'agent');
    const page = new Seal(globalThis.nacl, secret, 'phone');
    const sealed = Array.from({ length: frames }, (_, n) =>
      computer.seal('frame', { n }, null, jpeg),
    );
    const show = (bytes) => {
      const url = URL.createObjectURL(new Blob([bytes], { type: 'image/jpeg' }));
      const image = new Image();
      image.src = url;
      return image.decode().then(() => URL.revokeObjectURL(url));
    };
    const time = async (each) => {
      const start = performance.now();
      for (let i = 0; i < frames; i++) await each(i);
      return (performance.now() - start) / frames;
    };
    const bare = await time(() => show(jpeg));
    let openMs = 0;
    const sealedMs = await time(async (i) => {
      const start = performance.now();
      const message = page.open(sealed[i]);
      openMs += performance.now() - start;
      await show(message.attachment);
    });
    return { kB: jpeg.length / 1000, sealedKB: sealed[0].s.length / 1000, bare, sealedMs,
      openMs: openMs / frames };
  }, { secret, frames: FRAMES });
  const { kB, sealedKB, bare, sealedMs, openMs } = result;
  console.log(
    `page: a sealed frame of ${sealedKB.toFixed(0)} kB (JPEG ${kB.toFixed(0)} kB): ` +
      `${openMs.toFixed(2)} ms to open, ${sealedMs.toFixed(2)} ms to open and show, against ` +
      `${bare.toFixed(2)} ms to show the picture alone (${(sealedMs / bare).toFixed(2)}x)`,
  );
} finally {
  await browser.close();
  await agent.stop();
}
