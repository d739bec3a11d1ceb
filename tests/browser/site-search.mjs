// The checks of tests/pages/site-search.sh: node site-search.mjs SITE EXPECTED.tsv
// EXPECTED holds, per line, a query, a tab, and what the command line printed for it (sorted,
// lines parted by \v).
import { existsSync, readFileSync } from "node:fs";
import { join } from "node:path";
import { fileURLToPath } from "node:url";
import { launch } from "./launch.mjs";

const [site, expectedFile] = process.argv.slice(2);
let failures = 0;
const fail = (what) => { failures++; console.error("site-search: " + what); };
const cases = readFileSync(expectedFile, "utf8").split("\n").filter(Boolean).map((line) => {
  const tab = line.indexOf("\t");
  return { query: line.slice(0, tab), paths: line.slice(tab + 1).split("\v").filter(Boolean) };
});
const browser = await launch();
try {
  const page = await browser.newPage();
  const errors = [];
  page.on("pageerror", (e) => errors.push(e.message));
  // A page two levels down: its links go up to the top.
  const start = "file://" + join(site, "Café dir", "deep", "index.html");
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
      const target = fileURLToPath(r.href);
      if (!existsSync(target)) fail(`"${query}": ${r.text} links to ${r.href}, which is not there`);
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
if (failures) process.exit(1);
console.log(`site-search: ${cases.length} queries, page and command line agree`);
