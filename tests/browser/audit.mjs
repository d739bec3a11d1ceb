// Audits pages with axe-core in headless Chromium: the WCAG 2.2 A and AA rules and axe's best
// practices, in light and dark colours, on a desktop's width and a phone's, scripts on. Then,
// scripts off, the sort headings must be plain text with the starting order marked; and with
// the keyboard, every control must show where the focus is.
//   node audit.mjs PAGE...
// Prints every violation as "page [colours width]: rule: element: what is wrong" and exits 1
// when there is one.
import { createRequire } from "node:module";
import { pathToFileURL } from "node:url";
import { launch } from "./launch.mjs";

const axePath = createRequire(import.meta.url).resolve("axe-core/axe.min.js");
const tags = ["wcag2a", "wcag2aa", "wcag21a", "wcag21aa", "wcag22aa", "best-practice"];
const widths = [1280, 390];
const schemes = ["light", "dark"];

const pages = process.argv.slice(2);
if (pages.length === 0) {
  console.error("usage: node audit.mjs PAGE...");
  process.exit(2);
}

const failures = [];
let focusStops = 0;
function fail(where, rule, target, summary) {
  failures.push(`${where}: ${rule}: ${target}: ${summary.replace(/\s*\n\s*/g, " ")}`);
}

async function open(browser, file, { width, scheme, scripts }) {
  const tab = await browser.newPage();
  await tab.setJavaScriptEnabled(scripts);
  await tab.setViewport({ width, height: 900 });
  await tab.emulateMediaFeatures([{ name: "prefers-color-scheme", value: scheme }]);
  const errors = [];
  tab.on("pageerror", (e) => errors.push(String(e)));
  await tab.goto(pathToFileURL(file).href, { waitUntil: "load" });
  return { tab, errors };
}

async function audit(browser, file, width, scheme) {
  const where = `${file} [${scheme} ${width}]`;
  const { tab, errors } = await open(browser, file, { width, scheme, scripts: true });
  for (const e of errors) fail(where, "script error", "page", e);
  // The audit sees the page as asked: its colours and its width.
  const seen = await tab.evaluate(() => ({
    dark: matchMedia("(prefers-color-scheme: dark)").matches,
    width: window.innerWidth,
  }));
  if (seen.dark !== (scheme === "dark") || seen.width !== width)
    fail(where, "set-up", "html", `the page sees ${seen.dark ? "dark" : "light"} colours ${seen.width} px wide`);
  await tab.addScriptTag({ path: axePath });
  const result = await tab.evaluate(async (tags) => {
    const r = await axe.run(document, { runOnly: { type: "tag", values: tags } });
    const brief = (list) => list.map((v) => ({
      id: v.id,
      nodes: v.nodes.map((n) => ({ target: n.target.join(" "), summary: n.failureSummary || v.help })),
    }));
    return { violations: brief(r.violations), incomplete: brief(r.incomplete), passes: r.passes.length };
  }, tags);
  for (const v of result.violations) {
    for (const n of v.nodes) fail(where, v.id, n.target, n.summary);
  }
  // What axe could not decide is shown, not failed: a person looks at it.
  for (const v of result.incomplete) {
    for (const n of v.nodes) console.log(`${where}: to check by eye: ${v.id}: ${n.target}`);
  }
  // The whole site's search, with its results shown, passes the same rules.
  const searched = await tab.evaluate(async () => {
    const wide = document.querySelector("fieldset.scope input[value=site]");
    if (!wide) return null;
    wide.click();
    const box = document.querySelector("input.filter");
    box.value = "t";
    box.dispatchEvent(new Event("input"));
    const found = document.querySelector("section.hits .found");
    for (let i = 0; i < 100 && /Looking|^$/.test(found.textContent); i++) await new Promise((r) => setTimeout(r, 20));
    return { status: found.textContent, results: document.querySelectorAll("section.hits li").length };
  });
  if (searched) {
    if (!searched.results) fail(where, "search", "section.hits", `no results shown: "${searched.status}"`);
    const again = await tab.evaluate(async (tags) => {
      const r = await axe.run(document, { runOnly: { type: "tag", values: tags } });
      return r.violations.map((v) => ({ id: v.id, nodes: v.nodes.map((n) => ({ target: n.target.join(" "), summary: n.failureSummary || v.help })) }));
    }, tags);
    for (const v of again) {
      for (const n of v.nodes) fail(where + " [search results]", v.id, n.target, n.summary);
    }
  }
  // The sort buttons are the script's, and sort; a page with no folder listing (what's new)
  // has a fixed order and no buttons.
  const sorting = await tab.evaluate(() => {
    const heads = Array.from(document.querySelectorAll("th[data-key]"));
    const plain = heads.filter((th) => !th.querySelector("button")).length;
    const last = heads[heads.length - 1];
    if (last) last.querySelector("button")?.click();
    return { heads: heads.length, plain, sorted: last ? last.getAttribute("aria-sort") : "",
             listings: document.querySelectorAll("table[data-listing]").length };
  });
  if (sorting.heads === 0 && sorting.listings) fail(where, "sort headings", "th[data-key]", "none on the page");
  if (sorting.plain) fail(where, "sort headings", "th[data-key]", `${sorting.plain} without a button`);
  if (sorting.heads && !sorting.sorted) fail(where, "sort headings", "th[data-key]", "a click did not sort");
  // Every stop of the Tab key shows a visible outline.
  const client = await tab.target().createCDPSession();
  await client.send("Emulation.setFocusEmulationEnabled", { enabled: true });
  for (let stop = 0; stop < 200; ++stop) {
    await tab.keyboard.press("Tab");
    const focus = await tab.evaluate(() => {
      const e = document.activeElement;
      if (!e || e === document.body) return null;
      const s = getComputedStyle(e);
      return { name: e.outerHTML.slice(0, 80), style: s.outlineStyle, width: parseFloat(s.outlineWidth) };
    });
    if (!focus) break;
    ++focusStops;
    if (focus.style === "none" || !(focus.width >= 2))
      fail(where, "focus visible", focus.name, `outline ${focus.style} ${focus.width}px, not a line of 2px or more`);
  }
  await tab.close();
  return result.passes;
}

// Scripts off: the headings are text, the sorted one says so, and nothing waits for a script.
async function withoutScripts(browser, file) {
  const where = `${file} [scripts off]`;
  const { tab } = await open(browser, file, { width: 1280, scheme: "light", scripts: false });
  const found = await tab.evaluate(() => ({
    buttons: document.querySelectorAll("th button").length,
    heads: document.querySelectorAll("th[data-key]").length,
    listings: document.querySelectorAll("table[data-listing]").length,
    tables: document.querySelectorAll("table.listing").length,
    sorted: document.querySelectorAll("th[aria-sort]").length,
    filters: Array.from(document.querySelectorAll("input.filter")).filter((e) => e.offsetParent).length,
  }));
  if (found.buttons) fail(where, "sort headings", "th button", `${found.buttons} buttons that do nothing`);
  if (!found.heads && found.listings) fail(where, "sort headings", "th[data-key]", "none on the page");
  if (found.sorted !== found.tables)
    fail(where, "sort headings", "th[aria-sort]", `${found.sorted} marked as sorted in ${found.tables} tables`);
  if (found.filters) fail(where, "filter", "input.filter", "shown though nothing filters");
  await tab.close();
}

const browser = await launch();
try {
  let checks = 0;
  for (const file of pages) {
    for (const scheme of schemes) {
      for (const width of widths) checks += await audit(browser, file, width, scheme);
    }
    await withoutScripts(browser, file);
  }
  for (const line of failures) console.log(line);
  console.log(`${pages.length} pages, ${pages.length * schemes.length * widths.length} audits, ` +
              `${checks} rules passed, ${focusStops} focus stops seen, ${failures.length} violations`);
} finally {
  await browser.close();
}
process.exit(failures.length ? 1 : 0);
