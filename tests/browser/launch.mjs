// Starts Debian's Chromium headless for the page tests and benchmarks: no sandbox (the tests
// run as root), no network of its own (this machine's network is closed), a fresh profile.
import puppeteer from "puppeteer-core";
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";

export async function launch() {
  const profile = mkdtempSync(join(tmpdir(), "tabulo-chromium-"));
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    headless: true,
    userDataDir: profile,
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
           "--disable-background-networking", "--disable-component-update", "--disable-sync",
           "--allow-file-access-from-files"],
  });
  const close = browser.close.bind(browser);
  browser.close = async () => {
    try { await close(); } finally { rmSync(profile, { recursive: true, force: true }); }
  };
  return browser;
}
