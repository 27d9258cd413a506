// Drives the host for the end-to-end tests and reports what it saw as log lines ("E2E ...")
// through doWriteLog. window.E2E (scenario.js, written by the test) says what to do.
"use strict";

const post = (message) => window.chrome.webview.postMessage(message);
const log = (text) => post({action: "doWriteLog", category: "E2E", message: "E2E " + text});
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

const pending = new Map();
let sequence = 0;
function call(message) {
  const id = "cb" + ++sequence;
  return new Promise((resolve) => {
    pending.set(id, resolve);
    post(Object.assign({callbackId: id}, message));
  });
}

function decode(base64) {
  const bytes = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
  return JSON.parse(new TextDecoder().decode(bytes));
}

const burstSeen = [];

window.onActionComplete = (base64) => {
  const payload = decode(base64);
  if (payload.cbid.startsWith("burst-")) {
    burstSeen.push(payload.cbid);
    if (Number(payload.cbid.slice(6)) % window.E2E.throwEvery === 1) {
      throw new Error("E2E handler fails on purpose");
    }
    return;
  }
  log("complete " + payload.cbid + " " + payload.result);
  const resolve = pending.get(payload.cbid);
  if (resolve) {
    pending.delete(payload.cbid);
    resolve(payload);
  }
};

window.requestClose = (argument) => {
  log("requestClose " + argument);
  post({action: window.E2E.closeWith || "doClose"});
};

async function fetchReport(path) {
  try {
    const response = await fetch(path);
    const body = await response.text();
    log(`fetch ${path} ${response.status} ${response.headers.get("content-type")} ` +
        `leaked=${body.includes("TOP-" + "SECRET")}`);
  } catch (e) {
    log(`fetch ${path} error`);
  }
}

// Reads a body without keeping it, as a page streaming a large resource would.
async function streamReport(path) {
  try {
    const response = await fetch(path);
    const reader = response.body.getReader();
    let bytes = 0;
    for (let part = await reader.read(); !part.done; part = await reader.read()) bytes += part.value.length;
    log(`stream ${path} ${response.status} ${bytes}`);
  } catch (e) {
    log(`stream ${path} error`);
  }
}

async function bridge() {
  const written = await call({action: "doWriteLog", category: "E2E", message: "E2E unicode \u00fc\u20ac"});
  log("written " + written.result);
  // A pre-signed link whose server redirects to another scheme: the host does not follow, and
  // the redirect's status is the result.
  const download = await call({action: "doDownload",
                               fetchDownloadConfig: {url: window.E2E.redirectUrl, archive_name: "a.zip"}});
  log("download " + download.result + " [" + download.message + "]");
  // Answered from the clean-up thread: a script posted by a worker.
  const cleaned = await call({action: "doCleanUp"});
  log("cleanup-answered " + cleaned.result);
  log("origin " + location.origin + " secure=" + window.isSecureContext);
  log("chrome-replaceable " + (() => { try { window.chrome = {}; } catch (e) {} return window.chrome.webview === undefined; })());

  for (const path of window.E2E.fetches) await fetchReport(path);
  if (window.E2E.streams) {
    // The test reads the host's memory before the streams begin: a hundred lines flush the
    // report to the file at once, and the pause gives the test time to find it.
    log("streams-start");
    for (let i = 0; i < 100; ++i) post({action: "doWriteLog", level: "DEBUG", category: "E2E", message: "E2E tick"});
    await sleep(2000);
    for (const path of window.E2E.streams) await streamReport(path);
  }

  // Frames of the page may show content but never drive the host: a sandboxed one (release
  // notes shown the usual safe way) and a plain one each try to post through their own world
  // and through the top window. (A frame of the page's own origin can reach the page's own
  // functions, as the page itself can: that is not a frame's power but the page's.)
  const framePoster = (kind) => `<script>
    const text = (how) => JSON.stringify({action: "doWriteLog", category: "E2E", message: "E2E frame-message ${kind} " + how});
    try { window.webkit.messageHandlers.quillfetch.postMessage(text("channel")); } catch (e) {}
    try { window.chrome.webview.postMessage(JSON.parse(text("bridge"))); } catch (e) {}
    try { parent.postMessage(text("window-message"), "*"); } catch (e) {}
    if ("${kind}" === "sandboxed") {
      try { parent.document.dispatchEvent(new CustomEvent("quillfetch-message", {detail: text("event")})); } catch (e) {}
    }
  <\/script>`;
  for (const [kind, sandbox] of [["sandboxed", "allow-scripts"], ["plain", null]]) {
    const notes = document.createElement("iframe");
    if (sandbox) notes.setAttribute("sandbox", sandbox);
    notes.srcdoc = framePoster(kind);
    document.body.appendChild(notes);
  }
  await sleep(500);

  // A frame and a navigation of a foreign origin: both must be refused.
  const frame = document.createElement("iframe");
  frame.src = `http://127.0.0.1:${window.E2E.port}/frame.html`;
  document.body.appendChild(frame);
  await sleep(1000);
  log("navigating-away");
  location.href = `http://127.0.0.1:${window.E2E.port}/evil.html`;
  await sleep(1500);
  log("still-here " + location.href);
  log("bridge-done");
}

// Links the user follows: one at a time fills the page, so the test clicks the middle of the
// window. "open" steps call window.open from the click, as the SDK's openExternal does.
// Requests nobody clicked for come first: they must never reach the browser.
async function links() {
  const unasked = document.createElement("a");
  unasked.href = "https://example.com/unasked-click";
  unasked.target = "_blank";
  unasked.click();
  window.open("https://example.com/unasked-open", "_blank", "noopener");

  const link = document.createElement("a");
  link.id = "link";
  link.textContent = "link";
  document.body.appendChild(link);
  for (const step of window.E2E.links) {
    link.href = step.open ? "#" : step.href;
    if (step.target) link.target = step.target;
    else link.removeAttribute("target");
    await new Promise((resolve) => {
      link.onclick = (event) => {
        log("link-clicked " + step.name);
        if (step.open) {
          event.preventDefault();
          window.open(step.open, "_blank", "noopener");
        }
        // The click's own default action still sees this step's link.
        setTimeout(resolve, 500);
      };
      log("link-shown " + step.name);
    });
  }
  link.onclick = null;
  await sleep(1000);
  log("links-done " + location.href);
}

// Many answers at once, queued behind one another in the host: each must arrive once and in
// order, also those after an answer whose handler threw.
async function burst() {
  const count = window.E2E.burst;
  for (let i = 0; i < count; ++i) {
    post({action: "doDataExchange", callbackId: "burst-" + i, subAction: "out"});
  }
  const deadline = Date.now() + 30000;
  while (burstSeen.length < count && Date.now() < deadline) await sleep(50);
  await sleep(500);  // a late duplicate would arrive here
  const inOrder = burstSeen.every((id, i) => id === "burst-" + i);
  log(`burst-done ${burstSeen.length} ${inOrder ? "in-order" : "out-of-order"}`);
}

// Actions one after another, each reported as "step <name> <result> <message>". A doUnZip
// whose "download" is "$last" takes the answer of the latest successful doDownload, and a
// doLaunchSetup whose "unzipdir" is "$lastUnzip" the folder of the latest successful doUnZip.
// A step with "sleep" only waits that many milliseconds, while the test acts on the files.
async function steps() {
  let last = null;
  let lastUnzip = null;
  for (const step of window.E2E.steps) {
    if (step.sleep) {
      await sleep(step.sleep);
      continue;
    }
    const message = Object.assign({}, step.message);
    if (message.download === "$last") message.download = last;
    if (message.unzipdir === "$lastUnzip") message.unzipdir = lastUnzip;
    const answer = await call(message);
    if (message.action === "doDownload" && answer.result === 0) last = JSON.parse(answer.message);
    if (message.action === "doUnZip" && answer.result === 0) lastUnzip = answer.message;
    log(`step ${step.name} ${answer.result} ${answer.message}`);
  }
  log("steps-done");
}

async function interactive() {
  document.addEventListener("contextmenu", () => log("contextmenu-event"));
  document.addEventListener("click", () => {
    log("clicked");
    post({action: "OpenDevToolsWindow"});
  });
}

// The log file is written in batches: a line at least every half second makes every report
// reach the file within about five seconds, while the test waits for it.
setInterval(() => post({action: "doWriteLog", level: "DEBUG", category: "E2E", message: "E2E tick"}), 500);

window.addEventListener("load", async () => {
  if (window.E2E.noRequestClose) delete window.requestClose;
  document.getElementById("status").textContent = "scenario " + window.E2E.scenario;
  log("prefers " + (matchMedia("(prefers-color-scheme: dark)").matches ? "dark" : "light"));
  log("ready");
  if (window.E2E.scenario === "bridge") await bridge();
  if (window.E2E.scenario === "interactive") await interactive();
  if (window.E2E.scenario === "links") await links();
  if (window.E2E.scenario === "burst") await burst();
  if (window.E2E.scenario === "steps") await steps();
});
