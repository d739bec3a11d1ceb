// The checks of tests/pages/long-listing.sh, on a site it wrote: node long-listing.mjs SITE
import { readFileSync, readdirSync, renameSync, writeFileSync } from "node:fs";
import { join } from "node:path";
import vm from "node:vm";
import { launch } from "./launch.mjs";

const site = process.argv[2];
let failures = 0;
function check(ok, what, detail = "") {
  if (!ok) {
    failures++;
    console.error(`long-listing: ${what}${detail ? ": " + detail : ""}`);
  }
}
const same = (a, b) => a.length === b.length && a.every((x, i) => x === b[i]);
const fold = (s) => s.normalize("NFD").replace(/\p{M}/gu, "").toLowerCase();
// Rows show names cut at 40 characters, as the shipped options say.
const cut = (s) => [...s].length > 40 ? [...s].slice(0, 40).join("") + "..." : s;

// The rows of the data files, in order, as the page's script receives them.
function dataNames(folder) {
  const names = [];
  const context = { tabuloRows: (number, packed, widths, types, rows) => names.push(...rows.split("/")) };
  for (let n = 1; ; n++) {
    let text;
    try { text = readFileSync(join(folder, `index.rows-${n}.js`), "utf8"); } catch (e) { return names; }
    vm.runInNewContext(text, context);
  }
}

const browser = await launch();
try {
  const plain = await browser.newPage();
  await plain.setJavaScriptEnabled(false);
  const rowsOf = () => plain.evaluate(() => [...document.querySelectorAll("tbody tr.dir, tbody tr.file")].map((r) => ({
    name: r.getAttribute("data-name"), dir: r.className === "dir", text: r.querySelector("span").textContent.replace(/\/$/, ""),
    href: r.querySelector("a").getAttribute("href"),
    cells: [...r.cells].slice(1).map((c) => c.textContent) })));

  // Without scripts: page after page by their "Next" links, every entry once.
  const pages = [], plainRows = [];
  for (let url = "file://" + join(site, "index.html"); url;) {
    await plain.goto(url);
    const rows = await rowsOf();
    check(rows.length <= 1000, "a page holds more than the budget", url);
    pages.push(rows);
    plainRows.push(...rows);
    url = await plain.evaluate(() => document.querySelector("a[rel=next]")?.href || "");
    check(pages.length < 100, "the next links go round");
    if (pages.length >= 100) break;
  }
  const shown = plainRows.map((r) => r.name), texts = plainRows.map((r) => r.text);
  const ownFile = (name) => /^index(-\d+\.html|\.html|\.rows-\d+\.js|\.page\.js)$/.test(name) || name === "pics";
  const entries = readdirSync(site).filter((name) => !ownFile(name));
  check(new Set(shown).size === shown.length, "a row shows twice");
  check(same([...shown].sort(), [...entries].sort()), "the pages list other entries than the folder holds",
    `${shown.length} rows, ${entries.length} entries`);
  const data = dataNames(site);
  check(same(shown, data), "the pages and the data files list the rows in different orders");
  // The generator's natural order puts "é" after "z", as no browser collation does.
  check(shown.indexOf("zebra.txt") < shown.indexOf("éclair.txt"), "not in the generator's order");

  const page = await browser.newPage();
  const errors = [];
  page.on("pageerror", (e) => errors.push(e.message));
  await page.setViewport({ width: 1200, height: 800 });
  const ready = () => page.waitForFunction(() => {
    const table = document.querySelector("table.listing");
    return !table.hasAttribute("aria-busy") && (!table.classList.contains("long") || table.querySelector("tr.gap"));
  }, { timeout: 30000 });
  const visible = () => page.evaluate(() => [...document.querySelectorAll("tbody tr.dir, tbody tr.file")]
    .filter((r) => !r.hidden && r.getBoundingClientRect().height > 0)
    .map((r) => ({ text: r.querySelector("span").textContent.replace(/\/$/, ""), href: r.querySelector("a").getAttribute("href"),
      cells: [...r.cells].slice(1).map((c) => c.textContent), top: r.getBoundingClientRect().top })));
  const filter = (text) => page.evaluate((text) => {
    const box = document.querySelector("input.filter");
    box.value = text;
    box.dispatchEvent(new Event("input"));
  }, text);
  const settled = () => page.waitForFunction(() => !/Looking/.test(document.querySelector(".status").textContent));
  const status = () => page.evaluate(() => {
    const s = document.querySelector("[role=status]");
    return s ? s.textContent : "no live region";
  });
  const sortBy = (key) => page.click(`th[data-key=${key}] button`);

  // A folder within the budget: all its rows are in the page.
  await page.goto("file://" + join(site, "small", "index.html"));
  await ready();
  const small = (await visible()).map((r) => r.text);
  await sortBy("size");
  await sortBy("name");
  check(same((await visible()).map((r) => r.text), small), "sorting by name changed the generator's order",
    (await visible()).map((r) => r.text).join(" | "));
  await sortBy("name");
  check(same((await visible()).map((r) => r.text), [...small].reverse()), "descending is not the order backwards");
  await filter("e");
  const withE = small.filter((n) => fold(n).includes("e"));
  const found = (await visible()).map((r) => r.text);
  check(same([...found].sort(), [...withE].sort()), "filtering \"e\"", found.join(" | "));
  check(found.includes("éclair.txt") && found.includes("Zoë.txt"), "\"e\" does not find \"é\" or \"ë\"");
  check(await status() === `${withE.length} of ${small.length} names match.`, "the live region says", await status());
  await filter("nothing like it");
  check(/^No names match/.test(await status()), "no \"no match\" line", await status());

  // The long folder: the page draws rows from the data files as they come into sight.
  await page.goto("file://" + join(site, "index.html"));
  await ready();
  const top = await visible();
  check(top.length > 5 && top.length < 200, "the long listing draws its rows in sight only", String(top.length));
  for (const row of top) {
    const expected = plainRows[texts.indexOf(row.text)];
    check(expected && row.href === expected.href && same(row.cells, expected.cells),
      "a row drawn from the data differs from the page's", JSON.stringify([row, expected]));
  }
  // Deep in the listing, past the rows the page itself holds.
  const depth = 15000, height = top[1].top - top[0].top;
  await page.evaluate((y) => window.scrollTo(0, y), top[0].top + depth * height);
  await page.waitForFunction((first) => {
    const span = document.querySelector("tbody tr.file span");
    return span && span.textContent !== first;
  }, {}, top[0].text);
  await new Promise((ok) => setTimeout(ok, 300));
  const deep = (await visible()).filter((r) => r.top >= 0);
  const at = texts.indexOf(deep[0].text);
  check(Math.abs(at - depth) < 50, "scrolled to the wrong rows", `${deep[0].text} is row ${at}`);
  for (const row of deep.slice(0, 10)) {
    const expected = plainRows[texts.indexOf(row.text)];
    check(expected && row.href === expected.href && same(row.cells, expected.cells),
      "a row deep in the listing differs from its numbered page", JSON.stringify([row, expected]));
  }
  await page.evaluate(() => window.scrollTo(0, 0));
  await sortBy("size");
  await sortBy("name");
  await page.waitForFunction(() => true);
  const again = (await visible()).map((r) => r.text);
  check(same(again, texts.slice(0, again.length)), "sorting the long listing by name", again.slice(0, 5).join(" | "));
  await page.evaluate(() => window.scrollTo(0, document.body.scrollHeight));
  await new Promise((ok) => setTimeout(ok, 300));
  const bottom = (await visible()).map((r) => r.text);
  check(same(bottom, texts.slice(texts.length - bottom.length)), "the end of the long listing by name",
    bottom.slice(-4).join(" | "));
  await filter("eclair");
  await settled();
  check(same((await visible()).map((r) => r.text).sort(), ["Éclair-2.txt", "éclair.txt"].sort()),
    "\"eclair\" in the long listing", (await visible()).map((r) => r.text).join(" | "));
  check(await status() === `2 of ${shown.length.toLocaleString("en")} names match.`, "the live region says", await status());

  // Hostile names, in the data as the generator escapes them and as a careless one would not
  // ("/" parts names there, as no name on disk holds one).
  const file = join(site, "index.rows-2.js");
  const text = readFileSync(file, "utf8");
  writeFileSync(file, text
    .replace("/file-20001.dat/", "/\\u003cscript\\u003ewindow.__pwned=1\\u003c\\\\script\\u003e/")
    .replace("/file-20002.dat/", "/<img src=x onerror=window.__pwned=1>/"));
  await page.goto("file://" + join(site, "index.html"));
  await ready();
  await filter("pwned");
  await settled();
  const hostile = (await visible()).map((r) => r.text).sort();
  check(same(hostile, ["\"><img src=x onerror=window.__pwned=1>", "<script>window.__pwned=1<\\script>",
    "<img src=x onerror=window.__pwned=1>"].map(cut).sort()),
    "hostile names shown", hostile.join(" | "));
  for (const key of ["name", "size", "time", "type", "name"]) await sortBy(key);
  await filter("");
  await page.evaluate(() => window.scrollTo(0, document.body.scrollHeight / 2));
  await new Promise((ok) => setTimeout(ok, 500));
  check(await page.evaluate(() => window.__pwned === undefined && !document.querySelector("img[src=x]")),
    "a hostile name ran as script");
  check(errors.length === 0, "errors in the page", errors.join(" / "));

  // Without its data files the page still draws, sorts and filters the rows it holds, the
  // last of them included, and says the rest could not be loaded.
  renameSync(join(site, "index.rows-1.js"), join(site, "index.rows-1.js.away"));
  await page.goto("file://" + join(site, "index.html"));
  await page.waitForFunction(() => /could not be loaded/.test(document.querySelector(".status").textContent),
    { timeout: 30000 });
  const own = pages[0].map((r) => r.text);
  const first = (await visible()).map((r) => r.text);
  check(first.length > 5 && first.length < 200 && same(first, own.slice(0, first.length)),
    "the page's own rows drawn without the data", first.slice(0, 3).join(" | "));
  await page.evaluate(() => window.scrollTo(0, document.body.scrollHeight));
  await new Promise((ok) => setTimeout(ok, 300));
  const end = (await visible()).map((r) => r.text);
  check(same(end, own.slice(own.length - end.length)), "the last of the page's own rows",
    end.slice(-3).join(" | "));
  await filter("file-00");
  const some = own.filter((n) => n.startsWith("file-00"));
  check(/^\d[\d,]* of 1,000 names match/.test(await status()) && (await status()).startsWith(
    some.length.toLocaleString("en") + " of"), "the filter over the page's own rows", await status());
  await filter("");
  await page.evaluate(() => window.scrollTo(0, 0));
  await sortBy("name");
  // Descending: folders first still, each group backwards.
  const down = [...pages[0].filter((r) => r.dir), ...pages[0].filter((r) => !r.dir)].map((r) => r.text);
  const folders = pages[0].filter((r) => r.dir).length;
  const backwards = [...down.slice(0, folders).reverse(), ...down.slice(folders).reverse()];
  check(same((await visible()).map((r) => r.text), backwards.slice(0, first.length)),
    "sorting the page's own rows", (await visible()).slice(0, 3).map((r) => r.text).join(" | "));
  renameSync(join(site, "index.rows-1.js.away"), join(site, "index.rows-1.js"));
  check(errors.length === 0, "errors in the page", errors.join(" / "));
} finally {
  await browser.close();
}
if (failures) process.exit(1);
console.log("long-listing: every check passed");
