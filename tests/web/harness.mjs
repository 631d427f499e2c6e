// What the browser test and the browser soak share: a pentad-board server on a free port and
// Debian's Chromium, started headless.
import { spawn } from "node:child_process";
import { chromium } from "playwright-core";

const servers = [];

export function startServer(boardBinary, engine) {
  return new Promise((resolve, reject) => {
    const child = spawn(boardBinary, ["--port", "0", "--engine", engine], { stdio: ["ignore", "pipe", "inherit"] });
    servers.push(child);
    let out = "";
    child.stdout.on("data", (d) => {
      out += d;
      const m = out.match(/http:\/\/127\.0\.0\.1:(\d+)\//);
      if (m) resolve({ child, url: `http://127.0.0.1:${m[1]}/` });
    });
    child.on("exit", (code) => reject(new Error("pentad-board ended with " + code + ": " + out)));
  });
}

export function stopServers() {
  for (const s of servers) s.kill("SIGTERM");
}

export function launchBrowser() {
  return chromium.launch({
    executablePath: process.env.CHROMIUM || "/usr/bin/chromium", headless: true,
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
           "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  });
}

export const cell = (page, x, y) => page.locator(`#board rect.cell[data-x="${x}"][data-y="${y}"]`);
