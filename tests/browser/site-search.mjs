// The checks of tests/pages/site-search.sh and search-vs-find.sh:
//   node site-search.mjs SITE EXPECTED.tsv [PAGE]
// EXPECTED holds, per line, a query, a tab, and what the command line printed for it (sorted,
// lines parted by \v), names as the page shows them. PAGE, relative to SITE, is where the
// searches start (a page two levels down by default: its links go up to the top).
import { existsSync, readFileSync } from "node:fs";
import { join } from "node:path";
import { pathToFileURL } from "node:url";
import { launch } from "./launch.mjs";

const [site, expectedFile, startPage = join("Café dir", "deep", "index.html")] = process.argv.slice(2);
let failures = 0;
// The first failures in full; a fault that touches every query would bury them.
const fail = (what) => { if (++failures <= 25) console.error("site-search: " + what); };
const cases = readFileSync(expectedFile, "utf8").split("\n").filter(Boolean).map((line) => {
  const tab = line.indexOf("\t");
  return { query: line.slice(0, tab), paths: line.slice(tab + 1).split("\v").filter(Boolean) };
});
// The bytes a file: link names. A name that is not UTF-8 is linked by its own bytes ("%E9"),
// which a path decoded as text would lose; an encoded "/" names nothing on disk.
function filePath(href) {
  const url = new URL(href);
  if (url.protocol !== "file:" || /%2f/i.test(url.pathname)) return null;
  const bytes = [];
  for (const piece of url.pathname.split(/(%[0-9A-Fa-f]{2})/)) {
    if (piece.startsWith("%") && piece.length === 3) bytes.push(parseInt(piece.slice(1), 16));
    else bytes.push(...Buffer.from(piece, "utf8"));
  }
  return Buffer.from(bytes);
}
const browser = await launch();
try {
  const page = await browser.newPage();
  const errors = [];
  page.on("pageerror", (e) => errors.push(e.message));
  const start = pathToFileURL(join(site, startPage)).href;
  await page.goto(start);
  await page.click("input[value=site]");
  for (const { query, paths } of cases) {
    await page.evaluate((q) => {
      const box = document.querySelector("input.filter");
      box.value = q;
      box.dispatchEvent(new Event("input"));
    }, query);
    await page.waitForFunction(() => !/Looking/.test(document.querySelector("section.hits .found").textContent));
    // Every result, asking for more while there are more.
    while (await page.evaluate(() => !document.querySelector("section.hits .more").hidden)) {
      const before = await page.evaluate(() => document.querySelectorAll("section.hits li").length);
      await page.click("section.hits .more");
      await page.waitForFunction((n) => document.querySelectorAll("section.hits li").length > n ||
        document.querySelector("section.hits .more").hidden, {}, before);
    }
    const shown = await page.evaluate(() => [...document.querySelectorAll("section.hits li")].map((li) => {
      const a = li.querySelector("a");
      return { text: a.textContent, href: a.href, folder: li.querySelectorAll("a")[1].textContent };
    }));
    const got = shown.map((r) => (r.folder === "/" ? "" : r.folder) + r.text).sort();
    const want = [...paths].sort();
    if (JSON.stringify(got) !== JSON.stringify(want))
      fail(`"${query}": the page lists ${got.length}, the command line ${want.length}: ` +
        `${got.filter((p) => !want.includes(p)).slice(0, 3).join(" | ")} / ${want.filter((p) => !got.includes(p)).slice(0, 3).join(" | ")}`);
    for (const r of shown) {
      const target = filePath(r.href);
      if (!target || !existsSync(target)) fail(`"${query}": ${r.text} links to ${r.href}, which is not there`);
    }
    const status = await page.evaluate(() => document.querySelector("section.hits .found").textContent);
    if (want.length === 0 && !/^No names/.test(status)) fail(`"${query}": no "no match" line: ${status}`);
    if (want.length > 0 && !status.startsWith(want.length.toLocaleString("en") + " name")) fail(`"${query}": the live region says ${status}`);
  }
  if (await page.evaluate(() => window.__pwned !== undefined || document.querySelector("img[src=x]")))
    fail("a name ran as script or became markup");
  if (errors.length) fail("errors in the page: " + errors.join(" / "));
} finally {
  await browser.close();
}
if (failures > 25) console.error(`site-search: and ${failures - 25} more`);
if (failures) process.exit(1);
console.log(`site-search: ${cases.length} queries, page and command line agree`);
