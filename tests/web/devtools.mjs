// Headless Chromium driven over the DevTools protocol (node's WebSocket, run
// with --experimental-websocket): the browser tests' and scripts' one way to
// wait for a page, click, press keys and read values in real time (the
// --virtual-time-budget of --dump-dom hardly runs animation frames).
import { spawn } from "node:child_process";
import { existsSync, readFileSync } from "node:fs";

export const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// Starts Chromium with profile as its user-data folder and connects to its
// page. Returns { send, evaluate, waitTitle, close }.
export async function openBrowser(profile, extraFlags = []) {
  const chromium = spawn("chromium", [
    "--headless=new", "--no-sandbox", "--enable-unsafe-swiftshader", "--use-angle=swiftshader",
    "--disable-gpu-sandbox", "--no-first-run", "--disable-extensions", "--remote-debugging-port=0",
    "--user-data-dir=" + profile, "--window-size=960,540", ...extraFlags, "about:blank",
  ], { stdio: "ignore" });
  const portFile = profile + "/DevToolsActivePort";
  for (let i = 0; i < 300 && !existsSync(portFile); i++) await sleep(100);
  const port = readFileSync(portFile, "utf8").split("\n")[0];
  let target;
  for (let i = 0; i < 50 && !target; i++) {
    const list = await (await fetch(`http://127.0.0.1:${port}/json/list`)).json();
    target = list.find((t) => t.type == "page");
    if (!target) await sleep(100);
  }
  const ws = new WebSocket(target.webSocketDebuggerUrl);
  await new Promise((r, e) => { ws.onopen = r; ws.onerror = e; });
  let id = 0;
  const waiting = new Map();
  ws.onmessage = (m) => {
    const msg = JSON.parse(m.data);
    if (msg.id && waiting.has(msg.id)) { waiting.get(msg.id)(msg); waiting.delete(msg.id); }
  };
  const send = (method, params = {}) =>
    new Promise((r) => { waiting.set(++id, r); ws.send(JSON.stringify({ id, method, params })); });
  const evaluate = async (expr) => (await send("Runtime.evaluate", { expression: expr, returnByValue: true })).result?.result?.value;
  // Waits up to seconds for the page's title to be one of titles; returns it, or null.
  const waitTitle = async (titles, seconds) => {
    for (let i = 0; i < seconds * 10; i++) {
      const t = await evaluate("document.title");
      if (titles.includes(t)) return t;
      await sleep(100);
    }
    return null;
  };
  const close = () => new Promise((r) => { chromium.on("exit", r); ws.close(); chromium.kill(); });
  return { send, evaluate, waitTitle, close };
}
