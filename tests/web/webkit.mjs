// WebKitGTK, the engine of every browser on an iPhone, driven through
// WebKitWebDriver (W3C WebDriver) behind the few calls of puppeteer's that
// page.test.mjs makes. WebDriver has no script that runs before the page's
// own: the server puts them first in the page (`withFirst`, serve.mjs),
// with a listener that keeps the page's errors. It has no touch screen,
// and no device scale of its own: each whole scale has its WebKit, started
// with GDK_SCALE.
import { spawn } from "node:child_process";
import { createServer } from "node:net";
import { PNG } from "pngjs";

const ref = "element-6066-11e4-a52e-4f735466cecf";
const keys = { Enter: "\uE007", Tab: "\uE004", Shift: "\uE008" };
const sleep = (ms) => new Promise((settle) => setTimeout(settle, ms));
// What `get` gives once it is something, trying for up to `ms`.
async function poll(get, ms, what) {
  for (const end = Date.now() + ms; Date.now() < end; await sleep(50)) {
    const got = await get();
    if (got) return got;
  }
  throw new Error(`${what}: not within ${ms} ms`);
}

// A WebKitWebDriver and its one session; `spare` holds windows to reuse.
async function driver(scale) {
  const port = await new Promise((found) => {
    const probe = createServer().listen(0, "127.0.0.1", () => {
      const { port } = probe.address();
      probe.close(() => found(port));
    });
  });
  const env = { ...process.env, GDK_SCALE: String(scale) };
  // What it says on stderr, and its end, are what a failed start shows.
  const child = spawn("WebKitWebDriver", [`--port=${port}`], { env, stdio: ["ignore", "ignore", "pipe"] });
  let said = "";
  child.stderr.on("data", (data) => (said = (said + data).slice(-2000)));
  const ended = new Promise((_, fail) => {
    child.on("error", fail);
    child.on("exit", (status) => fail(new Error(`WebKitWebDriver ended (status ${status}): ${said}`)));
  });
  ended.catch(() => {});
  const call = async (method, path, body) => {
    const reply = await fetch(`http://127.0.0.1:${port}${path}`, {
      method,
      headers: { "Content-Type": "application/json" },
      body: body && JSON.stringify(body),
      signal: AbortSignal.timeout(60000),
    });
    const { value } = await reply.json();
    if (value?.error) throw new Error(`WebDriver ${method} ${path}: ${value.error}: ${value.message}`);
    return value;
  };
  try {
    await Promise.race([ended, poll(async () => (await call("GET", "/status").catch(() => ({}))).ready, 10000, "WebKitWebDriver's start")]);
    const { sessionId } = await call("POST", "/session", { capabilities: {} });
    const session = (method, path, body) => call(method, `/session/${sessionId}${path}`, body);
    return { session, spare: await session("GET", "/window/handles"), close: () => session("DELETE", "").finally(() => child.kill()) };
  } catch (error) {
    child.kill();
    throw error;
  }
}

export async function launch({ withFirst }) {
  const drivers = {};
  let current;
  // One call at a time: a call switches to its page's window first, and the
  // pages' cases run side by side (afterEach closes them all at once).
  let queue = Promise.resolve();
  const exclusive = (fn) => (queue = queue.catch(() => {}).then(fn));
  // A page takes its window at its first call, once its scale is known.
  function newPage() {
    let scale = 1, handle, onError = () => {};
    const first = [];
    const enter = async () => {
      const { session, spare } = await (drivers[scale] ??= driver(scale));
      handle ??= spare.pop() ?? (await session("POST", "/window/new", { type: "window" })).handle;
      if (current !== handle) await session("POST", "/window", { handle });
      current = handle;
      return session;
    };
    // The document of the page, or of one of its frames (`into` enters it,
    // and `host` is the frame's element in the page).
    const frame = (into = async () => {}, host = null) => {
      const run = (method, path, body) => exclusive(async () => {
        const session = await enter();
        await session("POST", "/frame", { id: null });
        await into(session);
        return session(method, path, body);
      });
      // Each script also collects the errors the page has seen since the last.
      const evaluate = async (fn, ...args) => {
        const script = `return [(${fn})(...arguments), (window.zanErrors ?? []).splice(0)]`;
        const [value, errors] = await run("POST", "/execute/sync", { script, args });
        errors.forEach(onError);
        return value;
      };
      const $ = async (selector) => {
        const found = await run("POST", "/element", { using: "css selector", value: selector }).catch(() => null);
        const element = found && {
          // WebKitWebDriver cuts an element from the wrong place above a
          // device scale of 1 and in a frame, and may catch a canvas half
          // drawn: it is cut here from the page's shot, once two agree.
          screenshot: async () => {
            let [x, y, width, height] = await evaluate((e) => ["x", "y", "width", "height"].map((k) => e.getBoundingClientRect()[k]), found);
            if (host) {
              const [left, above] = await host.outside((f) => [f.getBoundingClientRect().x + f.clientLeft, f.getBoundingClientRect().y + f.clientTop]);
              [x, y] = [x + left, y + above];
            }
            let shot;
            await poll(async () => shot === (shot = await top.run("GET", "/screenshot")), 5000, "two screenshots alike");
            const page = PNG.sync.read(Buffer.from(shot, "base64"));
            const scale = page.width / (await top.evaluate(() => innerWidth));
            [x, y] = [Math.round(x * scale), Math.round(y * scale)];
            const cut = new PNG({ width: Math.min(Math.round(width * scale), page.width - x), height: Math.min(Math.round(height * scale), page.height - y) });
            PNG.bitblt(page, cut, x, y, cut.width, cut.height, 0, 0);
            return PNG.sync.write(cut);
          },
          click: () => run("POST", `/element/${found[ref]}/click`, {}),
          outside: (fn) => evaluate(fn, found),
          contentFrame: async () => frame((session) => session("POST", "/frame", { id: found }), element),
        };
        return element;
      };
      return { run, evaluate, $, $eval: (selector, fn) => evaluate(`(s) => (${fn})(document.querySelector(s))`, selector) };
    };
    const top = frame();
    const key = (...types) => (name) => top.run("POST", "/actions", {
      actions: [{ type: "key", id: "keyboard", actions: types.map((type) => ({ type, value: keys[name] ?? name })) }],
    });
    return {
      ...top,
      on: (_, callback) => (onError = (message) => callback({ message })),
      evaluateOnNewDocument: async (fn) => first.push(fn),
      setViewport: async ({ width, height, deviceScaleFactor = 1 }) => {
        scale = deviceScaleFactor;
        await top.run("POST", "/window/rect", { width, height });
        const [w, h] = await top.evaluate(() => [outerWidth - innerWidth, outerHeight - innerHeight]);
        await top.run("POST", "/window/rect", { width: width + w, height: height + h });
      },
      goto: async (url) => {
        const scripts = [() => addEventListener("error", (e) => (window.zanErrors ??= []).push(e.message)), ...first];
        const served = withFirst(scripts.map((fn) => `(${fn})();`).join("\n"), url);
        await top.run("POST", "/url", { url: served });
        // Another server's page has them once it has loaded.
        if (served === url) for (const fn of scripts) await top.evaluate(fn);
      },
      title: () => top.run("GET", "/title"),
      waitForSelector: (selector) => poll(() => top.$(selector), 5000, selector),
      waitForFunction: (fn, { timeout }) => poll(() => top.evaluate(fn), timeout, String(fn)),
      click: async (selector) => (await top.$(selector)).click(),
      focus: (selector) => top.$eval(selector, (e) => e.focus()),
      addStyleTag: ({ content }) => top.evaluate((css) => document.head.append(Object.assign(document.createElement("style"), { textContent: css })), content),
      keyboard: { press: key("keyDown", "keyUp"), down: key("keyDown"), up: key("keyUp") },
      // Its window goes back to the spares, blank: a session ends with its last.
      close: async () => {
        if (!handle) return;
        await top.run("POST", "/url", { url: "about:blank" });
        (await drivers[scale]).spare.push(handle);
        handle = undefined;
      },
    };
  }
  return {
    newPage: async () => newPage(),
    close: () => Promise.allSettled(Object.values(drivers).map(async (d) => (await d).close())),
  };
}
