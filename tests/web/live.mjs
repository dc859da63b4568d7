// A short live run of the page in headless Chromium over the DevTools
// protocol: 640 x 360 chosen on the start screen, click to play, then for a
// few seconds the audio clock must advance with the wall clock, the music from
// ?start's time, the output must not be silent and the canvas must show the
// show; Escape must bring the start screen back.
// Usage: node --experimental-websocket live.mjs URL PROFILE_DIR SHOT_PREFIX
// Prints one line per check; exit 0 when all pass, 1 when one fails.
import { writeFileSync } from "node:fs";
import { openBrowser, sleep } from "./devtools.mjs";

const [url, profile, shotPrefix] = process.argv.slice(2);
let failed = 0;
const check = (ok, what) => { console.log((ok ? "ok   " : "FAIL ") + what); if (!ok) failed = 1; };
let browser;

async function main() {
  browser = await openBrowser(profile, ["--autoplay-policy=no-user-gesture-required"]);
  const { send, evaluate } = browser;
  const waitTitle = async (title, seconds) => (await browser.waitTitle([title], seconds)) !== null;
  const shot = async (name) => {
    const r = await send("Page.captureScreenshot", { format: "png" });
    if (r.result) writeFileSync(shotPrefix + name + ".png", Buffer.from(r.result.data, "base64"));
  };
  await send("Page.enable");
  await send("Page.navigate", { url });
  check(await waitTitle("kestrel: ready", 60), "the start screen is ready after the data and the music loaded");
  await shot("start");
  await evaluate("document.getElementById('size').value = '640x360'");   // the start screen's size choice
  const box = await evaluate("(() => { const r = document.getElementById('play').getBoundingClientRect(); return [r.x + r.width / 2, r.y + r.height / 2]; })()");
  for (const type of ["mousePressed", "mouseReleased"])
    await send("Input.dispatchMouseEvent", { type, x: box[0], y: box[1], button: "left", clickCount: 1 });
  check(await waitTitle("kestrel: playing", 30), "a click starts the show");
  // The soundtrack's own position: the page numbers the sound files in the
  // order their decoding ends, so with another file in the data it need not be 0.
  const sample = () => evaluate("[Module.kestrelSound.clock(), performance.now() / 1000, Module.kestrelSound.contextState(), Module.kestrelSound.level(), Module.kestrelSound.timeMs(Module.kestrelSound.find('/data/barnstomp.mp3'))]");
  await sleep(1500);
  const first = await sample();
  let loudest = 0;
  for (let i = 0; i < 16; i++) { await sleep(250); loudest = Math.max(loudest, (await sample())[3]); }
  const last = await sample();
  await shot("playing");
  const audio = last[0] - first[0], wall = last[1] - first[1], music = (last[4] - first[4]) / 1000;
  check(first[4] >= 60000 && first[4] < 75000, `?start=60: the music plays from 60 s (at ${(first[4] / 1000).toFixed(3)} s 1.5 s after the click)`);
  console.log(`audio clock ${audio.toFixed(3)} s and music ${music.toFixed(3)} s over ${wall.toFixed(3)} s of wall clock; context ${last[2]}; loudest RMS ${loudest.toFixed(4)}`);
  check(last[2] == "running", "the audio context runs");
  check(Math.abs(audio - wall) < 0.1 * wall, "the audio clock advances with the wall clock");
  check(Math.abs(music - audio) < 0.05 + 0.02 * audio, "the music's position follows the audio clock");
  check(loudest > 0.01, "the output is not silent");
  if (failed) console.log("the page's stderr:\n" + (await evaluate("page.stderr.join('\\n')")));
  const canvas = await evaluate("(() => { const c = document.getElementById('canvas'); return [c.width, c.height, getComputedStyle(c).display]; })()");
  check(canvas[0] == 640 && canvas[1] == 360 && canvas[2] == "block", `the canvas shows the show at 640 x 360 (${canvas})`);
  for (const type of ["keyDown", "keyUp"])
    await send("Input.dispatchKeyEvent", { type, key: "Escape", code: "Escape", windowsVirtualKeyCode: 27 });
  check(await waitTitle("kestrel: ready", 60), "Escape brings the start screen back");
  await shot("after-escape");
}

main()
  .catch((e) => { console.log("FAIL " + e); failed = 1; })
  .finally(async () => {
    if (browser) await browser.close();
    process.exit(failed);
  });
