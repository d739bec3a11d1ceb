// Several sites in one search (tests/pages/site-search.sh): a page of SITE that names OTHER
// and a site that is not there lists the matches of both, those of OTHER marked with its name
// and linked into it, says which index it could not read, and shows 50 results at a time.
//   node search-sites.mjs SITE OTHER QUERY COUNT_HERE COUNT_THERE
import { existsSync } from "node:fs";
import { join } from "node:path";
import { fileURLToPath, pathToFileURL } from "node:url";
import { launch } from "./launch.mjs";

const [site, other, query, here, there] = process.argv.slice(2);
let failures = 0;
const fail = (what) => { failures++; console.error("search-sites: " + what); };
const browser = await launch();
try {
  const page = await browser.newPage();
  const errors = [];
  page.on("pageerror", (e) => errors.push(e.message));
  await page.goto(pathToFileURL(join(site, "Café dir", "deep", "index.html")).href);
  await page.click("input[value=site]");
  await page.evaluate((q) => {
    const box = document.querySelector("input.filter");
    box.value = q;
    box.dispatchEvent(new Event("input"));
  }, query);
  const settled = () => page.waitForFunction(() => !/Looking/.test(document.querySelector("section.hits .found").textContent));
  await settled();
  const count = () => page.evaluate(() => document.querySelectorAll("section.hits li").length);
  const total = Number(here) + Number(there);
  if (total > 50 && (await count()) !== 50) fail(`the first page of results holds ${await count()}, not 50`);
  while (await page.evaluate(() => !document.querySelector("section.hits .more").hidden)) {
    const before = await count();
    await page.click("section.hits .more");
    await page.waitForFunction((n) => document.querySelectorAll("section.hits li").length > n ||
      document.querySelector("section.hits .more").hidden, {}, before);
  }
  const rows = await page.evaluate(() => [...document.querySelectorAll("section.hits li")].map((li) => ({
    text: li.textContent, href: li.querySelector("a").href })));
  const theirs = rows.filter((r) => / on other /.test(r.text));
  if (rows.length !== total) fail(`${rows.length} results, the two indexes hold ${total}`);
  if (theirs.length !== Number(there)) fail(`${theirs.length} results marked "on other", it holds ${there}`);
  for (const r of rows) {
    const target = fileURLToPath(r.href);
    if (!existsSync(target)) fail(`${r.text} links to ${r.href}, which is not there`);
    if (/ on other /.test(r.text) !== target.startsWith(other + "/")) fail(`${r.text} links to ${r.href}`);
  }
  if (new Set(rows.map((r) => r.href)).size !== rows.length) fail("a result is shown twice");
  const status = await page.evaluate(() => document.querySelector("section.hits .found").textContent);
  if (!status.startsWith(`${total} names in 3 sites.`) || !/Not read: .*missing/.test(status))
    fail(`the live region says "${status}"`);
  if (errors.length) fail("errors in the page: " + errors.join(" / "));
} finally {
  await browser.close();
}
if (failures) process.exit(1);
console.log(`search-sites: ${here} + ${there} results from two sites, the third said to be unread`);
