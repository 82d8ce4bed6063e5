// Measures the page against the floor page built the same way (scripts/bench
// --web), in headless Chromium, round by round, and prints Markdown tables:
// the weight on the wire, the first draw call after navigation, key -> next
// draw call, and the main thread's work over 5 idle seconds; then, as on a
// phone (412 x 915 CSS pixels at 2.625, touch), the first draw of a first
// visit with the CPU slowed 4 times on a slow mobile network (150 ms each
// way, 1.6 Mbps down, 750 kbps up), and a tap on the page's key that goes on
// -> next draw call. Draw
// calls are WebGL's and the 2D canvas's putImageData (SDL's software renderer), seen
// through a wrapper the benchmark puts in before the page loads; keys go
// through the browser's own input.
import { readFileSync } from "node:fs";
import { createRequire } from "node:module";
import { join } from "node:path";
import { gzipSync } from "node:zlib";
import { serve } from "../tests/web/serve.mjs";

// puppeteer-core as tests/web pins it.
const puppeteer = createRequire(new URL("../tests/web/package.json", import.meta.url))("puppeteer-core");

const folder = process.env.ZAN_WEB_PAGE;
const rounds = process.argv.includes("--quick") ? 1 : 5;
const keys = process.argv.includes("--quick") ? 5 : 40;
const pages = { "zan-demo": "index", floor: "floor" };
const pause = (ms) => new Promise((settle) => setTimeout(settle, ms));

const server = await serve(folder);
const browser = await puppeteer.launch({
  browser: "chrome",
  executablePath: "/usr/bin/chromium",
  headless: true,
  args: process.getuid() ? [] : ["--no-sandbox"],
});

// Opens the page `name` in a new tab set up by `prepare`, with its draw calls
// and keys timed in `draws` and `keyTimes`, and waits for its first draw.
async function open(name, timeout, prepare = async () => {}) {
  const page = await browser.newPage();
  await prepare(page);
  await page.evaluateOnNewDocument(() => {
    window.draws = [];
    window.keyTimes = [];
    window.tapTimes = [];
    addEventListener("keydown", (event) => keyTimes.push(event.timeStamp), true);
    addEventListener("touchstart", (event) => tapTimes.push(event.timeStamp), true);
    for (const context of [WebGLRenderingContext, WebGL2RenderingContext, CanvasRenderingContext2D]) {
      for (const call of ["drawArrays", "drawElements", "putImageData"]) {
        if (!context.prototype[call]) continue;
        const original = context.prototype[call];
        context.prototype[call] = function (...args) {
          draws.push(performance.now());
          return original.apply(this, args);
        };
      }
    }
  });
  await page.goto(`${server.address}${pages[name]}.html`);
  await page.waitForFunction(() => draws.length > 0, { timeout });
  return page;
}

// Presses with `press` as many times as `keys`, each once the last has
// drawn, and gives the times from each press (the page's `times`) to its
// next draw call: the median and the 95th percentile.
async function latencies(page, press, times) {
  const taken = [];
  for (let i = 0; i < keys; i++) {
    await press();
    await page.waitForFunction((n, times) => draws.some((t) => t > window[times][n]), { timeout: 5000 }, i, times);
    taken.push(await page.evaluate((n, times) => draws.find((t) => t > window[times][n]) - window[times][n], i, times));
    await pause(50);
  }
  taken.sort((a, b) => a - b);
  const at = (q) => taken[Math.min(taken.length - 1, Math.floor(q * taken.length))];
  return { p50: at(0.5), p95: at(0.95) };
}

// One run of a page: its figures, in milliseconds.
async function run(name) {
  const page = await open(name, 10000);
  await pause(1000);
  const { p50, p95 } = await latencies(page, () => page.keyboard.press("x"), "keyTimes");
  const cdp = await page.createCDPSession();
  await cdp.send("Performance.enable");
  const busy = async () =>
    (await cdp.send("Performance.getMetrics")).metrics.find((m) => m.name === "TaskDuration").value;
  await pause(1000);
  const before = await busy();
  await pause(5000);
  const idle = ((await busy()) - before) * 1000;
  const first = await page.evaluate(() => draws[0]);
  await page.close();
  return { first, p50, p95, idle };
}

// The first draw of a first visit on a phone, nothing cached; then taps on
// the key that goes on to the next hint.
async function phone(name) {
  const page = await open(name, 60000, async (tab) => {
    await tab.setViewport({ width: 412, height: 915, deviceScaleFactor: 2.625, isMobile: true, hasTouch: true });
    await tab.setCacheEnabled(false);
    const cdp = await tab.createCDPSession();
    await cdp.send("Emulation.setCPUThrottlingRate", { rate: 4 });
    await cdp.send("Network.enable");
    await cdp.send("Network.emulateNetworkConditions", {
      offline: false,
      latency: 150,
      downloadThroughput: 1.6e6 / 8,
      uploadThroughput: 750e3 / 8,
    });
  });
  const first = await page.evaluate(() => draws[0]);
  const { p50 } = await latencies(page, () => page.tap('#keys button[data-key=" "]'), "tapTimes");
  await page.close();
  return { first, p50 };
}

// One unmeasured run of each first: the first page a new browser opens also
// pays for starting its GPU process, and later visits find the compiled
// program in the browser's cache, as a returning visitor's browser does.
const figures = { "zan-demo": [], floor: [] };
for (const name of Object.keys(pages)) await run(name);
for (let round = 0; round < rounds; round++) {
  for (const name of Object.keys(pages)) figures[name].push(await run(name));
}
const onPhone = { "zan-demo": [], floor: [] };
for (let round = 0; round < rounds; round++) {
  for (const name of Object.keys(pages)) onPhone[name].push(await phone(name));
}
await browser.close();
server.close();

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor((values.length - 1) / 2)];
const range = (values) => `${median(values).toFixed(2)} (${Math.min(...values).toFixed(2)}–${Math.max(...values).toFixed(2)})`;
const weight = (base) =>
  ["html", "js", "wasm"].reduce((sum, ext) => sum + gzipSync(readFileSync(join(folder, `${base}.${ext}`)), { level: 9 }).length, 0);
console.log(`Chromium, ${rounds} rounds, ${keys} keys a run\n`);
console.log("| figure | zan-demo, median (min–max) | floor, median (min–max) | ratio, run by run |");
console.log("|---|---|---|---|");
const [demoWeight, floorWeight] = [weight("index"), weight("floor")];
console.log(`| weight, gzipped (KB) | ${(demoWeight / 1000).toFixed(1)} | ${(floorWeight / 1000).toFixed(1)} | ${(demoWeight / floorWeight).toFixed(3)} |`);
for (const [label, key] of [["first draw call (ms)", "first"], ["key → draw call p50 (ms)", "p50"], ["key → draw call p95 (ms)", "p95"], ["idle main thread per 5 s (ms)", "idle"]]) {
  const demo = figures["zan-demo"].map((f) => f[key]);
  const floor = figures.floor.map((f) => f[key]);
  const ratios = demo.map((d, i) => d / floor[i]);
  const ratio = `${median(ratios).toFixed(3)} (${Math.min(...ratios).toFixed(3)}–${Math.max(...ratios).toFixed(3)})`;
  console.log(`| ${label} | ${range(demo)} | ${range(floor)} | ${ratio} |`);
}
console.log(`\nAs on a phone (412 × 915 at 2.625, touch; CPU 4× slower, 150 ms, 1.6 Mbps down; nothing cached), ${rounds} rounds, ${keys} taps a run\n`);
console.log("| figure | zan-demo, median (min–max) | floor, median (min–max) | ratio, run by run |");
console.log("|---|---|---|---|");
for (const [label, key] of [["first draw call (ms)", "first"], ["tap → draw call p50 (ms)", "p50"]]) {
  const demo = onPhone["zan-demo"].map((f) => f[key]);
  const floor = onPhone.floor.map((f) => f[key]);
  const ratios = demo.map((d, i) => d / floor[i]);
  console.log(`| ${label} | ${range(demo)} | ${range(floor)} | ${median(ratios).toFixed(3)} (${Math.min(...ratios).toFixed(3)}–${Math.max(...ratios).toFixed(3)}) |`);
}
