// Modern pages of folders of 1,000 to 1,000,000 files in headless Chromium: how soon the page
// is usable, how long a filter keystroke, clearing it and a sort by each column take to show,
// and the tab's memory; with the ratio of each to the folder of 1,000 files. For the larger
// folders also the site search: how soon a query typed with the whole site in scope shows its
// first results, the index files it loads and the index's size. Prints figures only; nothing
// here passes or fails.
//   node bench/pages.mjs        (make bench-pages)
// SIZES="1000 10000" RUNS=3 TABULO_CLI=build/bin/tabulo-cli KEEP=1 (keeps the folders)
// SEARCH_SIZES="100000 1000000" SEARCH_QUERY=photo SEARCH_RARE=0086415
import { execFileSync } from "node:child_process";
import { linkSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, statSync,
         statfsSync, utimesSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";
import { launch } from "../tests/browser/launch.mjs";

const root = join(dirname(fileURLToPath(import.meta.url)), "..");
const sizes = (process.env.SIZES || "1000 10000 100000 1000000").split(/\s+/).filter(Boolean).map(Number);
const runs = Number(process.env.RUNS || 3);
const cli = process.env.TABULO_CLI || join(root, "build/bin/tabulo-cli");
const query = process.env.QUERY || "7";
// The site search is timed on these of the sizes: a query many names hold, and one that one
// name holds (by default the number of the name in the middle).
const searchSizes = (process.env.SEARCH_SIZES ?? "100000 1000000").split(/\s+/).filter(Boolean).map(Number);
const searchQuery = process.env.SEARCH_QUERY || "photo";
const rareQuery = (count) => process.env.SEARCH_RARE || String((count >> 1) * 7 % count).padStart(7, "0");

// On /dev/shm when it has room for the largest folder's pages and data.
function scratch() {
  try {
    const fs = statfsSync("/dev/shm");
    if (fs.bavail * fs.bsize > 4e9) return mkdtempSync("/dev/shm/tabulo-pages-");
  } catch (e) { /* no /dev/shm */ }
  return mkdtempSync(join(tmpdir(), "tabulo-pages-"));
}
const work = scratch();
process.on("exit", () => { if (!process.env.KEEP) rmSync(work, { recursive: true, force: true }); });
for (const signal of ["SIGINT", "SIGTERM"]) process.on(signal, () => process.exit(130));

// Names as people give them, some with accents and other scripts; every name a hard link to
// one of a few dozen files of different sizes and times, so a million take little room.
const words = ["report", "holiday photo", "café menu", "résumé", "Übersicht", "naïve art",
  "smörgåsbord", "invoice", "draft", "Ελλάδα", "東京", "backup", "scan", "notes", "track"];
const exts = ["pdf", "jpg", "txt", "mp3", "zip", "tar.gz", "png", "docx", "csv", "html"];
// The bytes of all names, which the data files carry beside at most 40 bytes a row.
function makeFolder(dir, count) {
  let nameBytes = 0;
  mkdirSync(dir, { recursive: true });
  const sources = join(work, "sources");
  mkdirSync(sources, { recursive: true });
  const originals = [];
  for (let k = 0; k < 48; k++) {
    const file = join(sources, "s" + k);
    try { statSync(file); } catch (e) {
      writeFileSync(file, Buffer.alloc((k * 7919) % 200000));
      utimesSync(file, 1500000000 + k * 86400 * 13, 1500000000 + k * 86400 * 13);
    }
    originals.push(file);
  }
  for (let i = 0; i < count; i++) {
    const name = `${words[i % words.length]} ${String(i * 7 % count).padStart(7, "0")}.${exts[(i >> 3) % exts.length]}`;
    linkSync(originals[(i * 31) % originals.length], join(dir, name));
    nameBytes += Buffer.byteLength(name);
  }
  return nameBytes;
}

function home() {
  const dir = join(work, "home");
  mkdirSync(dir, { recursive: true });
  return dir;
}

function writePages(dir) {
  const t0 = process.hrtime.bigint();
  execFileSync(cli, ["--answer=yes", "-q", dir, "-sheme", "modern"], {
    env: { ...process.env, TABULO_HOME: home(), LC_ALL: "C" }, stdio: ["ignore", "ignore", "pipe"] });
  const seconds = Number(process.hrtime.bigint() - t0) / 1e9;
  let html = 0, data = 0, pages = 0;
  for (const name of readdirSync(dir)) {
    if (/^index(-\d+)?\.html$/.test(name)) { pages++; if (name === "index.html") html = statSync(join(dir, name)).size; }
    if (/^index\.rows-\d+\.js$/.test(name)) data += statSync(join(dir, name)).size;
  }
  // The search index a recursive run of the modern theme writes beside the pages.
  const index = join(dir, ".tabulo-search");
  let indexBytes = 0, indexFiles = 0, shards = 0, largestShard = 0, largestBlock = 0;
  try {
    for (const name of readdirSync(index)) {
      const size = statSync(join(index, name)).size;
      indexBytes += size;
      indexFiles++;
      if (/^t-\d+\.js$/.test(name)) { shards++; largestShard = Math.max(largestShard, size); }
      if (/^b-.*\.js$/.test(name)) largestBlock = Math.max(largestBlock, size);
    }
  } catch (e) { indexFiles = -1; /* no index written */ }
  return { seconds, html, data, pages, indexBytes, indexFiles, shards, largestShard, largestBlock };
}

// The memory of the browser's largest renderer (the tab's), in MB: resident, its peak, and
// what is its own (private: not shared with other processes), as Chrome's task manager counts
// a tab's memory footprint.
function tabMemory(browser) {
  const top = browser.process().pid, parents = new Map();
  for (const pid of readdirSync("/proc").filter((n) => /^\d+$/.test(n))) {
    try {
      const stat = readFileSync(`/proc/${pid}/stat`, "utf8");
      parents.set(Number(pid), Number(stat.slice(stat.lastIndexOf(")") + 2).split(" ")[1]));
    } catch (e) { /* gone */ }
  }
  const below = (pid) => { for (let p = parents.get(pid); p; p = parents.get(p)) if (p === top) return true; return false; };
  let most = { rss: 0, peak: 0, own: 0 };
  for (const pid of parents.keys()) {
    if (!below(pid)) continue;
    try {
      if (!readFileSync(`/proc/${pid}/cmdline`, "utf8").includes("--type=renderer")) continue;
      const status = readFileSync(`/proc/${pid}/status`, "utf8"), smaps = readFileSync(`/proc/${pid}/smaps_rollup`, "utf8");
      const kb = (text, key) => Number(new RegExp(key + ":\\s+(\\d+)").exec(text)[1]);
      const m = { rss: kb(status, "VmRSS") / 1024, peak: kb(status, "VmHWM") / 1024,
        own: (kb(smaps, "Private_Clean") + kb(smaps, "Private_Dirty")) / 1024 };
      if (m.rss > most.rss) most = m;
    } catch (e) { /* gone */ }
  }
  return most;
}

async function measure(browser, url) {
  const page = await browser.newPage();
  await page.setViewport({ width: 1280, height: 900 });
  const errors = [];
  page.on("pageerror", (e) => errors.push(e.message));
  await page.evaluateOnNewDocument(() => {
    // Resolves once the next frame is drawn.
    window.__painted = () => new Promise((ok) => requestAnimationFrame(() => setTimeout(ok, 0)));
    window.__longest = 0;
    new PerformanceObserver((list) => {
      for (const e of list.getEntries()) window.__longest = Math.max(window.__longest, e.duration);
    }).observe({ type: "longtask", buffered: true });
  });
  const r = {};
  // The browser has started and settled, as a reader's has: the page alone is timed.
  await page.goto("about:blank");
  await new Promise((ok) => setTimeout(ok, 1000));
  await page.goto(url, { waitUntil: "domcontentloaded" });
  r.usable = await page.evaluate(async () => {
    await window.__painted();
    const row = document.querySelector("table.listing tbody tr.file, table.listing tbody tr.dir");
    const filter = document.querySelector("input.filter");
    if (!row || !filter || filter.hidden) throw new Error("no rows or no filter");
    // Controls answer: an event handled right after.
    await new Promise((ok) => setTimeout(ok, 0));
    return performance.now();
  });
  r.loaded = await page.evaluate(async () => {
    const table = document.querySelector("table.listing");
    while (table.hasAttribute("aria-busy") || (table.classList.contains("long") && !table.querySelector("tr.gap")))
      await new Promise((ok) => setTimeout(ok, 20));
    return performance.now();
  });
  // Whatever the page still does after loading is over before the timings.
  await new Promise((ok) => setTimeout(ok, 300));
  const timed = (action) => page.evaluate(async (action, query) => {
    const filter = document.querySelector("input.filter"), status = document.querySelector(".status");
    const settled = (test) => new Promise((ok) => {
      if (test()) return ok();
      const watch = new MutationObserver(() => { if (test()) { watch.disconnect(); ok(); } });
      watch.observe(status, { childList: true, characterData: true, subtree: true });
    });
    const t0 = performance.now();
    if (action === "filter" || action === "clear") {
      filter.value = action === "filter" ? query : "";
      filter.dispatchEvent(new Event("input"));
      await settled(() => action === "clear" ? status.textContent === "" :
        /match/.test(status.textContent) && !/Looking/.test(status.textContent));
    } else {
      document.querySelector(`th[data-key=${action}] button`).click();
    }
    await window.__painted();
    return performance.now() - t0;
  }, action, query);
  r.filter = await timed("filter");
  r.matches = await page.evaluate(() => document.querySelector(".status").textContent);
  r.clear = await timed("clear");
  r.sorts = {};
  for (const key of await page.evaluate(() => [...document.querySelectorAll("th[data-key] button")].map((b) => b.parentNode.dataset.key)))
    r.sorts[key] = await timed(key);
  r.sort = Math.max(...Object.values(r.sorts));
  r.longest = await page.evaluate(() => window.__longest);
  const cdp = await page.createCDPSession();
  await cdp.send("Performance.enable");
  const metrics = (await cdp.send("Performance.getMetrics")).metrics;
  r.heap = metrics.find((m) => m.name === "JSHeapUsedSize").value / 1048576;
  Object.assign(r, tabMemory(browser));
  r.errors = errors;
  await page.close();
  return r;
}

// The site search on a fresh load of the page: the whole site chosen, `q` typed into the box;
// the time from the input event until the first results are drawn (or the line says there are
// none), and the index's shards and blocks the page asked for meanwhile, with their bytes.
async function measureSearch(browser, url, q) {
  const page = await browser.newPage();
  await page.setViewport({ width: 1280, height: 900 });
  const errors = [], loads = { manifest: 0, shards: 0, blocks: 0, bytes: 0 };
  page.on("pageerror", (e) => errors.push(e.message));
  page.on("request", (req) => {
    const m = /\/\.tabulo-search\/(manifest|t-\d+|b-[^/]*)\.js$/.exec(req.url());
    if (!m) return;
    try { loads.bytes += statSync(fileURLToPath(req.url())).size; } catch (e) { /* not a file */ }
    if (m[1] === "manifest") loads.manifest++;
    else if (m[1].startsWith("t-")) loads.shards++;
    else loads.blocks++;
  });
  await page.evaluateOnNewDocument(() => {
    window.__painted = () => new Promise((ok) => requestAnimationFrame(() => setTimeout(ok, 0)));
    // When each of the index's scripts is asked for and when it has run.
    window.__index = [];
    const append = Node.prototype.appendChild;
    Node.prototype.appendChild = function (child) {
      if (child instanceof HTMLScriptElement && /\.tabulo-search\//.test(child.src)) {
        const entry = { file: child.src.replace(/.*\//, ""), asked: performance.now(), ran: NaN };
        window.__index.push(entry);
        child.addEventListener("load", () => { entry.ran = performance.now(); });
      }
      return append.call(this, child);
    };
  });
  await page.goto("about:blank");
  await new Promise((ok) => setTimeout(ok, 1000));
  await page.goto(url, { waitUntil: "domcontentloaded" });
  // As the other timings: once the listing is loaded and the page is idle.
  await page.waitForFunction(() => {
    const table = document.querySelector("table.listing"), scope = document.querySelector("fieldset.scope");
    return table && scope && !scope.hidden && !table.hasAttribute("aria-busy") &&
      !(table.classList.contains("long") && !table.querySelector("tr.gap"));
  }, { timeout: 300000, polling: 20 });
  await new Promise((ok) => setTimeout(ok, 300));
  await page.click("input[value=site]");
  await new Promise((ok) => setTimeout(ok, 100));
  Object.assign(loads, { manifest: 0, shards: 0, blocks: 0, bytes: 0 });
  const r = await page.evaluate(async (q) => {
    const box = document.querySelector("input.filter"), hits = document.querySelector("section.hits");
    const found = hits.querySelector(".found");
    const done = () => !/Looking/.test(found.textContent) &&
      (hits.querySelector("ol li") !== null || /^No names/.test(found.textContent));
    window.__index.length = 0;
    const t0 = performance.now();
    box.value = q;
    box.dispatchEvent(new Event("input"));
    await new Promise((ok) => {
      if (done()) return ok();
      const watch = new MutationObserver(() => { if (done()) { watch.disconnect(); ok(); } });
      watch.observe(hits, { childList: true, characterData: true, subtree: true });
    });
    await window.__painted();
    const ms = performance.now() - t0;
    // When the page first asked for a file of the index, after the input event: what ran before
    // it (the folder's own filter) delays the search; and when the last one it read had run.
    const index = window.__index;
    const firstAsk = index.length ? index[0].asked - t0 : -1;
    const lastRan = index.length ? Math.max(...index.map((e) => e.ran || 0)) - t0 : -1;
    return { ms, firstAsk, lastRan, shown: hits.querySelectorAll("ol li").length, status: found.textContent };
  }, q);
  Object.assign(r, loads, { errors });
  await page.close();
  return r;
}

const median = (xs) => { const s = [...xs].sort((a, b) => a - b); return s[Math.floor((s.length - 1) / 2)]; };
const fmt = (x, d = 0) => (x === undefined || x === null || Number.isNaN(x) ? "n/a" : x.toFixed(d));

console.log(`tabulo-cli: ${cli}; folders in ${work}; median of ${runs} loads each; filter "${query}"`);
const results = [], searches = [];
for (const count of sizes) {
  const dir = join(work, "f" + count);
  process.stderr.write(`making a folder of ${count} files...\n`);
  const nameBytes = makeFolder(dir, count);
  const written = writePages(dir);
  written.perRow = written.data ? (written.data - nameBytes) / count : 0;
  const all = [];
  for (let run = 0; run < runs; run++) {
    // A browser of its own for each load: nothing cached, one renderer to weigh.
    const browser = await launch();
    try { all.push(await measure(browser, "file://" + join(dir, "index.html"))); } finally { await browser.close(); }
  }
  const pick = (f) => median(all.map(f));
  results.push({ count, written, usable: pick((r) => r.usable), loaded: pick((r) => r.loaded),
    longest: pick((r) => r.longest), filter: pick((r) => r.filter), clear: pick((r) => r.clear),
    sort: pick((r) => r.sort), sorts: Object.keys(all[0].sorts).map((k) => k + " " + fmt(median(all.map((r) => r.sorts[k])))).join(", "),
    heap: pick((r) => r.heap), rss: Math.max(...all.map((r) => r.rss)), peak: Math.max(...all.map((r) => r.peak)),
    own: Math.max(...all.map((r) => r.own)), matches: all[0].matches,
    errors: [...new Set(all.flatMap((r) => r.errors))] });
  if (searchSizes.includes(count)) {
    if (written.indexFiles < 0) {
      console.log(`${count}: no search index was written in ${dir}/.tabulo-search; the search is not timed`);
    } else {
      for (const [kind, q] of [["many", searchQuery], ["rare", rareQuery(count)]]) {
        const tries = [];
        for (let run = 0; run < runs; run++) {
          const browser = await launch();
          try { tries.push(await measureSearch(browser, "file://" + join(dir, "index.html"), q)); } finally { await browser.close(); }
        }
        const at = (f) => median(tries.map(f));
        searches.push({ count, kind, query: q, written, nameBytes, ms: at((r) => r.ms), firstAsk: at((r) => r.firstAsk),
          lastRan: at((r) => r.lastRan),
          shards: Math.max(...tries.map((r) => r.shards)), blocks: Math.max(...tries.map((r) => r.blocks)),
          manifest: Math.max(...tries.map((r) => r.manifest)), kb: Math.max(...tries.map((r) => r.bytes)) / 1024, shown: tries[0].shown,
          status: tries[0].status, errors: [...new Set(tries.flatMap((r) => r.errors))] });
      }
    }
  }
  if (!process.env.KEEP) rmSync(dir, { recursive: true, force: true });
}

const base = results.find((r) => r.count === 1000) || results[0];
const ratio = (a, b) => (b > 0 ? (a / b).toFixed(2) : "n/a");
const line = (cells) => console.log(cells.map((c, i) => String(c).padStart(i ? 10 : 9)).join(""));
console.log("\ndata B/row: bytes of the data files per row beyond the names' own");
console.log("times in ms from navigation start (usable, loaded) or from the action to the next frame drawn;");
console.log("longtask: the longest task of the page's main thread from its start to the timings");
console.log("memory of the tab's renderer at the end: JS heap, resident, resident at its peak, its own (not shared)");
line(["files", "write s", "HTML KB", "data B/row", "usable", "loaded", "longtask", "filter", "clear", "sort max",
  "heap MB", "RSS MB", "peak MB", "own MB"]);
for (const r of results) {
  line([r.count, fmt(r.written.seconds, 1), fmt(r.written.html / 1024), fmt(r.written.perRow, 1),
    fmt(r.usable), fmt(r.loaded), fmt(r.longest), fmt(r.filter), fmt(r.clear), fmt(r.sort), fmt(r.heap, 1), fmt(r.rss), fmt(r.peak), fmt(r.own)]);
}
console.log(`\nratios to the folder of ${base.count} files (goals: usable <= 2, filter <= 3, sort <= 3; tab < 400 MB)`);
line(["files", "usable", "filter", "clear", "sort max"]);
for (const r of results) line([r.count, ratio(r.usable, base.usable), ratio(r.filter, base.filter), ratio(r.clear, base.clear), ratio(r.sort, base.sort)]);
console.log("");
for (const r of results) {
  console.log(`${r.count}: ${r.written.pages} page(s); sorts ${r.sorts}; filter "${query}": ${r.matches}` +
    (r.errors.length ? `; page errors: ${r.errors.join(" / ")}` : ""));
}

if (searches.length) {
  console.log("\nsite search, whole site in scope, on a fresh load of each folder's page (median of " + runs + "):");
  console.log("index B/name: bytes of .tabulo-search per name beyond the names' own (goal <= 30)");
  console.log("first results: ms from the input event to the first results drawn (goals: 100,000 names <= 100,");
  console.log("1,000,000 <= 200); asked: ms from the input event until the page asked for the index's first file;");
  console.log("read: until the last index file it loaded had run; shards, blocks: index files loaded (the most of");
  console.log("the runs; goal <= 2 shards); KB: their bytes");
  const cells = (c, w) => console.log(c.map((x, i) => String(x).padStart(w[i])).join(""));
  const widths = [9, 10, 8, 8, 7, 10, 8, 8, 8, 8, 9];
  cells(["files", "index MB", "shards", "B/name", "query", "first ms", "asked", "read", "shards", "blocks", "KB"], widths);
  for (const s of searches) {
    const w = s.written;
    cells([s.count, fmt(w.indexBytes / 1e6, 1), w.shards, fmt((w.indexBytes - s.nameBytes) / s.count, 1), s.kind,
      fmt(s.ms), fmt(s.firstAsk), fmt(s.lastRan), s.shards, s.blocks, fmt(s.kb)], widths);
  }
  for (const s of searches) {
    console.log(`${s.count} ${s.kind} "${s.query}": ${s.status} (${s.shown} shown; manifest loaded ${s.manifest}x; ` +
      `the index's largest shard ${fmt(s.written.largestShard / 1024)} KB, block ${fmt(s.written.largestBlock / 1024)} KB)` +
      (s.errors.length ? `; page errors: ${s.errors.join(" / ")}` : ""));
  }
}
