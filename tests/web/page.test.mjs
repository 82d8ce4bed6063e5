// The page in real browsers: headless Chromium and Firefox ESR, driven by
// puppeteer-core, and WebKitGTK through its WebDriver (webkit.mjs), with keys
// typed through the browser's own input and the
// pixels read from its screenshots. The page is served from ZAN_WEB_PAGE, else
// from page/ in the run's session folder (the unpacked zip), by a plain
// static server. The golden image, the hints and the
// colour walk come from the native suite's files, not from here.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { readFileSync, readdirSync } from "node:fs";
import { createServer } from "node:http";
import { join } from "node:path";
import { after, afterEach, before, describe, test } from "node:test";
import { PNG } from "pngjs";
import puppeteer from "puppeteer-core";
import { serve } from "./serve.mjs";
import * as webDriver from "./webkit.mjs";

// The native suite's folder: ZAN_TESTS where ctest runs a copy of this file
// beside npm's modules in the build folder.
const tests = process.env.ZAN_TESTS ?? new URL("..", import.meta.url).pathname;
const read = (name) => readFileSync(join(tests, name), "utf8");
const [, goldenWidth, , ...golden] = read("first-hint.pbm").trim().split(/\s+/);
const hints = [...read("harness.cpp").matchAll(/\{"(Press [^"]*)", (\d+)\}/g)].map((m) => ({
  text: m[1],
  column: Number(m[2]),
}));
const colours = Object.fromEntries(
  [...read("harness.hpp").matchAll(/unsigned long (\w+) = 0x(\w{6});/g)].map((m) => [m[1], parseInt(m[2], 16)]),
);
const walk = read("demo_test.cpp").split("ColourKeysRecolourTheFollowingFrames")[1].split("Demo demo")[0];
const steps = [...walk.matchAll(/\{XK_(\w), (\d), (\w+), (\w+)\}/g)].map((m) => ({
  key: m[1],
  hint: Number(m[2]),
  background: colours[m[3]],
  ink: colours[m[4]],
}));
// Read out of the native suite's sources: a pattern that stops matching must
// fail here, not leave a table empty and its checks vacuous.
assert.deepEqual([hints.length, Object.keys(colours).length, steps.length >= 4], [4, 4, true], "tables read from tests/");
const [cols, rows, cellW, cellH] = [80, 50, 8, 13];
// Under ctest the run's session folder (tests/session) holds the page and
// the browsers' HOME, which no other run shares.
const session = process.env.ZAN_SESSION;
if (session) process.env.HOME = join(session, "home");
const pageFolder = process.env.ZAN_WEB_PAGE ?? join(session, "page");
const browsers = [
  // Chromium's sandbox refuses root, as CI runs, and needs user namespaces,
  // which a user in a chroot (the web root) cannot make; the page is ours.
  { browser: "chrome", executablePath: "/usr/bin/chromium", args: ["--no-sandbox"] },
  { browser: "firefox", executablePath: "/usr/bin/firefox-esr" },
  { browser: "webkit" },
].filter((b) => !process.env.ZAN_WEB_BROWSER || b.browser === process.env.ZAN_WEB_BROWSER);

// What the canvas shows, read as the suite reads a window: its background,
// the cells of row 24 holding ink, the hint they make, the ink's colour and
// every colour seen. `page` may be a frame in a page.
async function frame(page) {
  const canvas = await page.$("canvas");
  // Captured as shown: capturing beyond the viewport resizes it, and a resize
  // has the program draw the frame again.
  const shot = await canvas.screenshot({ captureBeyondViewport: false });
  const { width, height, data } = PNG.sync.read(Buffer.from(shot));
  // 0xRRGGBB; a window scaled down may round to a pixel less than its cells' share.
  const pixel = (x, y) => data.readUIntBE((Math.min(y, height - 1) * width + Math.min(x, width - 1)) * 4, 3);
  const image = { width, height, pixel };
  const scale = image.width / (cols * cellW);
  const at = (x, y) => image.pixel(Math.floor(x * scale), Math.floor(y * scale));
  const background = at(0, 0);
  const seen = new Set();
  const inked = [];
  for (let y = 0; y < image.height; y++) for (let x = 0; x < image.width; x++) seen.add(image.pixel(x, y));
  const ink = [...seen].find((c) => c !== background);
  for (let col = 0; col < cols; col++) {
    for (let y = 24 * cellH; y < 25 * cellH; y++) for (let x = col * cellW; x < (col + 1) * cellW; x++) if (at(x, y) !== background) inked.push(col);
  }
  const [first, last] = [Math.min(...inked), Math.max(...inked)];
  const hint = hints.findIndex((h) => h.column === first && h.column + h.text.length - 1 === last);
  const glyphs = [];
  for (let y = 24 * cellH; y < 25 * cellH; y++) {
    let row = "";
    for (let x = hints[0].column * cellW; x < hints[0].column * cellW + Number(goldenWidth); x++) row += at(x, y) === background ? "0" : "1";
    glyphs.push(row);
  }
  return { width: image.width / scale, height: image.height / scale, background, ink, hint, glyphs, colours: seen.size };
}

// The first frame that satisfies `done`, within 5 s or the time given.
async function until(page, done, what, ms = 5000) {
  for (const end = Date.now() + ms; Date.now() < end; ) {
    const now = await frame(page);
    if (done(now)) return now;
  }
  assert.fail(`no ${what} within ${ms} ms`);
}
// What a screen reader is told, what the page puts where, and whether it scrolls.
const said = (page) => page.$eval("#said", (s) => s.textContent);
const box = (page, selector) => page.$eval(selector, (e) => e.getBoundingClientRect().toJSON());
const scrolls = (page) =>
  page.evaluate(() => [document.documentElement.scrollWidth > innerWidth, document.documentElement.scrollHeight > innerHeight]);
const shown = (page) => until(page, (now) => now.hint >= 0, "hint");
const changed = (page, before) => until(page, (now) => JSON.stringify(now) !== JSON.stringify(before), "new frame");

// What a player downloads, gzipped as a server sends it (every file but the
// licence texts): for a phone on a slow network, the page at most 200,000
// bytes, its script at most 16,384.
if (!process.env.ZAN_WEB_BROWSER || browsers.length === 0) {
  test("the page weighs at most 200,000 bytes gzipped, its script at most 16,384", (t) => {
    const sizes = Object.fromEntries(readdirSync(pageFolder).filter((name) => !name.endsWith(".txt"))
      .map((name) => [name, execFileSync("gzip", ["-9c", join(pageFolder, name)]).length]));
    const total = Object.values(sizes).reduce((sum, size) => sum + size);
    t.diagnostic(JSON.stringify({ ...sizes, total }));
    assert.ok(total <= 200000 && sizes["index.js"] <= 16384, JSON.stringify({ ...sizes, total }));
  });
}

let server;
before(async () => (server = await serve(pageFolder)));
after(() => server.close());

for (const options of browsers) {
  // WebKitGTK, through WebDriver, lacks what some cases need; each says so.
  const webkit = options.browser === "webkit";
  describe(options.browser, () => {
    let browser;
    before(async () => (browser = await (webkit ? webDriver : puppeteer).launch({
      ...options, headless: true, withFirst: (script, url) => (url === server.address ? server.withFirst(script) : url),
    })));
    after(() => browser.close());

    const pages = [];
    afterEach(() => Promise.all(pages.splice(0).map((page) => page.close())));

    // Counts what would wake the page while it waits: timers, frames and
    // messages, and the resizes it has seen. `before` runs in the page before
    // its own scripts.
    async function open(scale = 1, before = () => {}, viewport = { width: 800, height: 720 }) {
      const page = await browser.newPage();
      pages.push(page);
      const errors = [];
      page.on("pageerror", (error) => errors.push(error.message));
      await page.setViewport({ ...viewport, deviceScaleFactor: scale });
      await page.evaluateOnNewDocument(before);
      await page.evaluateOnNewDocument(() => {
        window.wakeUps = 0;
        window.resizes = 0;
        addEventListener("resize", () => window.resizes++);
        // WebKit's WebDriver sets a timer of its own for each script it runs.
        for (const name of ["setTimeout", "setInterval", "requestAnimationFrame"]) {
          const original = window[name];
          window[name] = (...args) => (/_execute@/.test(new Error().stack) || window.wakeUps++, original.apply(window, args));
        }
        addEventListener("message", () => window.wakeUps++, true);
        const post = MessagePort.prototype.postMessage;
        MessagePort.prototype.postMessage = function (...args) {
          window.wakeUps++;
          return post.apply(this, args);
        };
      });
      await page.goto(server.address);
      return { page, errors };
    }

    test("the first frame shows the quit hint in the tileset, and keys walk the hints and colours", async () => {
      const { page, errors } = await open();
      const first = await shown(page);
      assert.equal(await page.title(), "windowname");
      assert.deepEqual([first.width, first.height, first.colours], [cols * cellW, rows * cellH, 2]);
      assert.deepEqual([first.hint, first.background, first.ink], [0, colours.black, colours.white]);
      assert.deepEqual(first.glyphs, golden, "the glyphs differ from tests/first-hint.pbm");
      assert.deepEqual(await scrolls(page), [false, false]);
      assert.equal(await page.$eval("#keys", (k) => getComputedStyle(k).display), "none", "no keys to tap with a mouse");
      assert.equal(await said(page), hints[0].text);
      const focused = await page.$eval("#window", (w) => (w.focus(), [document.activeElement === w, getComputedStyle(w).outlineStyle]));
      assert.deepEqual(focused, [true, "none"], "the window takes the focus, and shows no outline");
      await page.setViewport({ width: 900, height: 800 });
      await page.waitForFunction(() => window.resizes > 0, { timeout: 5000 });
      await until(page, (now) => JSON.stringify(now) === JSON.stringify(first), "frame as before the resize");
      let last = first;
      for (const step of steps) {
        await page.keyboard.press(step.key);
        last = await changed(page, last);
        assert.deepEqual([last.hint, last.background, last.ink], [step.hint, step.background, step.ink], step.key);
        assert.equal(await said(page), hints[step.hint].text, step.key);
      }
      if (options.browser === "chrome") {
        const tree = JSON.stringify(await page.accessibility.snapshot());
        assert.match(tree, /"role":"application",[^}]*"name":"windowname: a console window/);
        assert.ok(tree.includes(hints[last.hint].text), tree);
      }
      assert.deepEqual(errors, []);
    });

    test("the window fills the page by whole multiples of device pixels, crisp, centred, at least its own size in CSS pixels at any zoom from 50 % to 300 % where that fits; smaller, smoothly", async (t) => {
      // Device pixels for each of the window's; 0: scaled down to fit.
      const cases = [[2, 800, 720, 2], [1, 1300, 1400, 2], [1, 1920, 1080, 1], [1.5, 800, 720, 1.5], [1.25, 700, 720, 1.25],
        [1.25, 1100, 1100, 2], [0.9, 660, 680, 0.9], [0.5, 660, 680, 0.5], [3, 700, 720, 3], [1, 600, 500, 0]];
      if (webkit) t.diagnostic("WebKitGTK takes whole device scales only: 1.5, 1.25, 0.9 and 0.5 are not run");
      for (const [scale, width, height, multiple] of cases.filter(([scale]) => !webkit || Number.isInteger(scale))) {
        const { page } = await open(scale, undefined, { width, height });
        const first = await shown(page);
        const at = await box(page, "canvas");
        const smooth = await page.$eval("canvas", (c) => getComputedStyle(c).imageRendering === "auto");
        const size = multiple ? [640 * multiple, 650 * multiple].map(Math.round) : [Math.round(500 * scale * 640 / 650), 500 * scale];
        assert.deepEqual([Math.round(at.width * scale), Math.round(at.height * scale), smooth], [...size, multiple > 0 && multiple < 1 || !multiple], `${width} x ${height} at ${scale}`);
        // At 1.5 a screenshot's clip may start a device pixel early: its
        // glyphs are not compared, but the window lies on whole device pixels.
        if (multiple >= 1 && Number.isInteger(multiple) && Number.isInteger(scale)) assert.deepEqual([first.hint, first.colours, first.glyphs], [0, 2, golden], `${width} x ${height}`);
        const whole = (css) => Math.abs(css * scale - Math.round(css * scale)) < 0.005;
        assert.ok(!multiple || (whole(at.x) && whole(at.y)), `on whole device pixels: ${at.x}, ${at.y} at ${scale}`);
        // Centred, to the nearest place on whole device pixels and 64ths of
        // a CSS pixel (at 1.5, every second CSS pixel).
        let step = 1 / scale;
        while (Math.abs(step * 64 - Math.round(step * 64)) > 1e-6) step += 1 / scale;
        const off = Math.max(Math.abs(at.x * 2 + at.width - width), Math.abs(at.y * 2 + at.height - height));
        assert.ok(off <= Math.max(step, 1) + 0.01, `centred: ${JSON.stringify(at)} at ${scale}`);
        assert.deepEqual(await scrolls(page), [false, false]);
      }
    });

    test("embedded in another origin's 640 x 650 frame, it fits, and keys act after a click, out and back, and after another tab", async (t) => {
      const host = createServer((_, response) =>
        response.end(`<!doctype html><p><a href="#">A game site</a></p><iframe src="${server.address}" width="640" height="650"></iframe>`),
      );
      // Closed however the case ends: a server left listening would keep node running.
      t.after(() => {
        host.closeAllConnections();
        host.close();
      });
      await new Promise((listening) => host.listen(0, "localhost", listening));
      const { page } = await open(1, undefined, { width: 900, height: 800 });
      await page.goto(`http://localhost:${host.address().port}/`);
      const game = await (await page.waitForSelector("iframe")).contentFrame();
      let last = await shown(game);
      const at = await box(game, "canvas");
      assert.deepEqual([await scrolls(game), at.width, at.height], [[false, false], 640, 650]);
      const step = async (what) => {
        await page.keyboard.press("x");
        last = await changed(game, last);
        assert.equal(await said(game), hints[last.hint].text, what);
      };
      await (await page.$("iframe")).click();
      await step("after a click into the frame");
      await page.click("p");
      await (await page.$("iframe")).click();
      await step("after a click outside and back");
      if (webkit) {
        t.diagnostic("WebKitGTK on a bare X server: no window manager gives its window the focus back, so no other tab is tried");
      } else {
        const other = await browser.newPage();
        await other.bringToFront();
        await page.bringToFront();
        await other.close();
        await step("after another tab");
      }
      // Shift itself is a key press, as on the desktop.
      for (const shift of [false, true]) {
        await (await page.$("iframe")).click();
        if (shift) await page.keyboard.down("Shift");
        await page.keyboard.press("Tab");
        if (shift) await page.keyboard.up("Shift");
        // Browsers differ in which document tells it.
        const inFrame = await page.evaluate(() => document.activeElement.tagName === "IFRAME");
        const onWindow = await game.evaluate(() => document.activeElement.id === "window");
        assert.ok(!(inFrame && onWindow), `${shift ? "Shift+" : ""}Tab leaves the window`);
        if (!shift) assert.deepEqual(await frame(game), last, "Tab is no key of the game");
      }
    });

    // As a blind player has it: Orca (tests/access/with-orca, which
    // ctest runs this case alone beside, as a screen reader
    // changes what the browsers do while the others measure) and Firefox
    // on a real display, the keys from the X server, which Orca sees first.
    // A click on the window puts Orca in focus mode, so that keys reach the
    // game, and it speaks each new hint once.
    const orca = process.env.ZAN_ORCA_LOG;
    if (options.browser === "firefox" && orca) test("with Orca, keys reach the game after a click on the window, and each new hint is spoken once", async (t) => {
      const onScreen = await puppeteer.launch({ ...options, headless: false });
      t.after(() => onScreen.close());
      const page = await onScreen.newPage();
      await page.goto(server.address);
      let last = await until(page, (now) => now.hint === 0, "hint");
      const spoken = () => readFileSync(orca, "utf8").split("\n").filter((line) => line.includes("SPEECH OUTPUT:"));
      // Waits, as a player listens, until Orca has said the text given (since line `from`).
      const hear = async (text, from = 0) => {
        for (const end = Date.now() + 10000; !spoken().slice(from).some((line) => line.includes(text)); ) {
          assert.ok(Date.now() < end, `Orca did not say "${text}"`);
          await new Promise((settle) => setTimeout(settle, 100));
        }
      };
      // Orca reads the page once it has loaded, the hint last; on a busy
      // machine that reading may come late, and must not be taken for a key's.
      await hear(hints[0].text);
      const xdotool = (...args) => execFileSync("xdotool", args.map(String));
      const centre = await page.$eval("canvas", (c) => {
        const at = c.getBoundingClientRect();
        return [mozInnerScreenX + at.x + at.width / 2, mozInnerScreenY + at.y + at.height / 2].map(Math.round);
      });
      xdotool("mousemove", ...centre, "click", 1);
      const from = spoken().length;
      // Each key once the last hint is heard, as a player listens: Orca
      // speaks a live region a moment after it changes, and drops what it
      // has not spoken yet at the next key.
      for (const [key, hint] of [["x", 1], ["r", 2]]) {
        xdotool("key", key);
        last = await changed(page, last);
        assert.equal(last.hint, hint, `${key} reached the game`);
        await hear(hints[hint].text, from);
      }
      await new Promise((settle) => setTimeout(settle, 1000));
      const heard = spoken().slice(from).map((line) => hints.find((h) => line.includes(h.text))?.text);
      assert.deepEqual(heard.filter(Boolean), [hints[1].text, hints[2].text]);
    });

    test("on a phone the whole window shows, and the keys to tap act as pressed keys", async () => {
      // Firefox and WebKitGTK emulate no touch screen.
      const touch = options.browser === "chrome";
      const { page } = await open(3, undefined, { width: 390, height: 844, isMobile: true, hasTouch: true });
      let last = await shown(page);
      const at = await box(page, "canvas");
      // As wide as the page, which a window of WebKitGTK's makes wider.
      const [width, height] = await page.evaluate(() => [innerWidth, innerHeight]);
      assert.deepEqual([at.x, at.width, at.y >= 0 && at.y + at.height <= height], [0, width, true]);
      assert.deepEqual(await scrolls(page), [false, false]);
      // Enter and Space on a focused key press that key alone, with a
      // keyboard as with a tablet's (where no touch screen is emulated, the
      // keys are shown).
      if (!touch) await page.addStyleTag({ content: "#keys { display: flex; }" });
      for (const [key, press, hint, background, ink] of [["r", "Enter", 1, "black", "red"], ["b", " ", 2, "blue", "red"]]) {
        await page.focus(`#keys button[data-key="${key}"]`);
        await page.keyboard.press(press);
        last = await changed(page, last);
        assert.deepEqual([last.hint, last.background, last.ink], [hint, colours[background], colours[ink]], `${press} on ${key}`);
      }
      if (!touch) return;
      assert.ok((await box(page, "#keys")).y >= at.y + at.height, "the keys cover nothing of the window");
      // The last by a click with no pointer, as a screen reader's double tap or Enter makes.
      for (const [key, hint, background, ink] of [["w", 3, "blue", "white"], [" ", 0, "blue", "white"], ["r", 1, "blue", "red"], ["w", 2, "blue", "white"]]) {
        const button = `#keys button[data-key="${key}"]`;
        await (hint === 2 ? page.$eval(button, (b) => b.click()) : page.tap(button));
        last = await changed(page, last);
        assert.deepEqual([last.hint, last.background, last.ink], [hint, colours[background], colours[ink]], key);
      }
      await page.tap('#keys button[data-key="q"]');
      await page.waitForFunction(() => document.getElementById("said").textContent.includes("status 0"), { timeout: 5000 });
    });

    test("q ends the run with status 0, the page says so, and keys then change nothing", async () => {
      const { page, errors } = await open();
      const first = await shown(page);
      await page.keyboard.press("q");
      await page.waitForFunction(() => document.getElementById("status").textContent.includes("status 0"), {
        timeout: 5000,
      });
      await page.keyboard.press("r");
      await new Promise((settle) => setTimeout(settle, 300));
      assert.deepEqual(await frame(page), first);
      assert.deepEqual(errors, []);
    });

    test("without WebGL the page draws all the same, and again when its canvas comes back; a runtime's warning is no failure; without WebAssembly it says so in one line", async (t) => {
      if (webkit) return t.skip("WebDriver runs no script before the page's own, to take WebGL or WebAssembly away");
      const noWebGL = await open(1, () => {
        const getContext = HTMLCanvasElement.prototype.getContext;
        HTMLCanvasElement.prototype.getContext = function (kind, ...rest) {
          return kind.startsWith("webgl") ? null : getContext.call(this, kind, ...rest);
        };
      });
      const first = await shown(noWebGL.page);
      assert.equal(first.hint, 0);
      // A canvas the browser takes away and gives back is cleared; the frame
      // is back within a second, without a key, and keys act.
      // The screen reader hears of both.
      const told = await noWebGL.page.evaluate(() => {
        const canvas = document.querySelector("canvas");
        const said = document.getElementById("said");
        canvas.dispatchEvent(new Event("contextlost"));
        const lost = said.textContent;
        canvas.getContext("2d").clearRect(0, 0, canvas.width, canvas.height);
        canvas.dispatchEvent(new Event("contextrestored"));
        return [lost, said.textContent];
      });
      assert.match(told.join("|"), /taken the window's drawing away.*\|.*drawing is back/);
      await until(noWebGL.page, (now) => JSON.stringify(now) === JSON.stringify(first), "frame after the canvas came back", 1000);
      await noWebGL.page.keyboard.press("x");
      assert.equal((await changed(noWebGL.page, first)).hint, 1);
      // A host that serves .wasm with another type costs the runtime its
      // streaming compile, which it says on stderr: a warning, no failure.
      const wrongType = await open(1, () => {
        WebAssembly.instantiateStreaming = () => Promise.reject(new TypeError("Incorrect response MIME type"));
      });
      assert.equal((await shown(wrongType.page)).hint, 0);
      assert.deepEqual([await wrongType.page.$eval("#status", (s) => s.textContent), await said(wrongType.page)], ["", hints[0].text]);
      const { page } = await open(1, () => delete window.WebAssembly);
      await page.waitForFunction(() => document.getElementById("status").textContent !== "", { timeout: 5000 });
      assert.equal(await page.$eval("#status", (s) => s.textContent), "windowname: cannot start: this browser has no WebAssembly");
    });

    test("waiting for a key, nothing wakes the page", async () => {
      const { page } = await open();
      await shown(page);
      // The browser finishes loading (compiling, collecting) for about a second.
      await new Promise((settle) => setTimeout(settle, 1000));
      // What load cannot change: no timer, frame or message wakes it. How
      // long the main thread is busy is the benchmark's to measure.
      const before = await page.evaluate(() => window.wakeUps);
      assert.equal(typeof before, "number", "the counters ran before the page's own scripts");
      await new Promise((settle) => setTimeout(settle, 5000));
      assert.equal(await page.evaluate(() => window.wakeUps), before, "timers, frames or messages while idle");
    });
  });
}
