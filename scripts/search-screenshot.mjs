// Draws the whole site's search on a modern page into OUT/modern-search.png: a page two levels
// down, "the whole site" chosen, a few letters typed.
//   node scripts/search-screenshot.mjs SITE_WITH_PAGES START_PAGE QUERY OUT
import { join } from "node:path";
import { pathToFileURL } from "node:url";
import { launch } from "../tests/browser/launch.mjs";

const [site, start, query, out] = process.argv.slice(2);
const browser = await launch();
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1000, height: 620 });
  await page.goto(pathToFileURL(join(site, start)).href);
  await page.click("input[value=site]");
  await page.type("input.filter", query);
  await page.waitForFunction(() => {
    const found = document.querySelector("section.hits .found").textContent;
    return found && !/Looking/.test(found);
  });
  await page.screenshot({ path: join(out, "modern-search.png") });
} finally {
  await browser.close();
}
