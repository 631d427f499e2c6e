// Drives the board page in headless Chromium against a real pentad-board and its engine.
// usage: node board_test.mjs BOARD_BINARY PBRAIN_BINARY SCREENSHOT_DIR
import assert from "node:assert/strict";
import { cell, launchBrowser, startServer as start, stopServers } from "./harness.mjs";

const [boardBinary, pbrainBinary, shotDir] = process.argv.slice(2);
const startServer = (engine) => start(boardBinary, engine);

const results = [];
async function step(name, fn) {
  const t0 = Date.now();
  try {
    await fn();
    results.push(`ok   ${name} (${Date.now() - t0} ms)`);
  } catch (e) {
    results.push(`FAIL ${name}: ${e.message}`);
    throw e;
  }
}

const moveCount = (page) => page.locator("#moves li").count();
async function waitMoves(page, n, timeout = 20000) {
  await page.waitForFunction((k) => document.querySelectorAll("#moves li").length === k, n, { timeout });
}

let browser;
let exitCode = 0;
try {
  const server = await startServer(pbrainBinary);
  browser = await launchBrowser();
  const context = await browser.newContext({ viewport: { width: 1180, height: 820 } });
  const page = await context.newPage();
  const pageErrors = [];
  page.on("pageerror", (e) => pageErrors.push(e.message));

  await step("the page loads and a game starts", async () => {
    await page.goto(server.url);
    await page.waitForFunction(() => document.getElementById("status").textContent === "Your move.");
    const timing = () => page.evaluate(() => {
      const nav = performance.getEntriesByType("navigation")[0];
      const res = performance.getEntriesByType("resource").filter((r) => !r.name.includes("/api/"));
      return { load: Math.round(nav.loadEventEnd), dom: Math.round(nav.domContentLoadedEventEnd),
               sent: nav.encodedBodySize + res.reduce((s, r) => s + (r.encodedBodySize || 0), 0),
               whole: nav.decodedBodySize + res.reduce((s, r) => s + (r.decodedBodySize || 0), 0),
               files: 1 + res.length };
    });
    const first = await timing();
    await page.reload();
    await page.waitForFunction(() => document.getElementById("status").textContent === "Your move.");
    const again = await timing();
    console.log(`page: ${first.files} files, ${first.whole} bytes (${first.sent} bytes compressed); ` +
                `load event after ${first.load} ms in a new browser, ${again.load} ms on reload`);
  });

  await step("a move is answered, with the engine's reading and line", async () => {
    await cell(page, 10, 10).click();
    await waitMoves(page, 2);
    await page.waitForFunction(() => document.getElementById("reading-line").textContent.startsWith("Line:"));
    assert.ok(await page.locator("#board .ghost").count() > 0, "no principal line on the board");
    assert.match(await page.locator("#label-black").textContent(), /^Black \d+%$/);
  });

  await step("two more moves, then undo takes back to the player's turn", async () => {
    const free = async () => {
      for (const [x, y] of [[11, 11], [9, 9], [11, 9], [9, 11], [12, 12], [8, 8]]) {
        const taken = await page.evaluate(([a, b]) => [...document.querySelectorAll("#moves li")]
          .some((li) => li.textContent.endsWith("ABCDEFGHJKLMNOPQRSTU"[a] + (b + 1))), [x, y]);
        if (!taken) return [x, y];
      }
    };
    let [x, y] = await free();
    await cell(page, x, y).click();
    await waitMoves(page, 4);
    await page.locator("#opt-numbers").check();
    await page.waitForFunction(() => document.getElementById("reading-line").textContent.startsWith("Line:"));
    await page.screenshot({ path: `${shotDir}/board.png` });
    await page.locator("#btn-undo").click();
    await waitMoves(page, 2);
    await page.waitForFunction(() => document.getElementById("status").textContent === "Your move.");
  });

  await step("history: a clicked move shows its position, and play goes on from there", async () => {
    await page.locator("#moves li").first().click();
    assert.equal(await page.locator("#board circle[fill='url(#g-white)']:not(.ghost)").count(), 0);
    await page.locator("#browse-play").click();
    await waitMoves(page, 2); // the engine answers the first move again
  });

  await step("a new game for both sides, and a pasted record", async () => {
    await page.locator("#btn-new").click();
    await page.locator("input[name=side][value=none]").check();
    await page.locator("#dlg-new-start").click();
    await waitMoves(page, 0);
    await page.waitForFunction(() => document.getElementById("status").textContent === "Black to move.");
    await page.locator("#btn-paste").click();
    await page.locator("#paste-text").fill("10,10 11,11 10,99");
    await page.locator("#paste-load").click();
    await page.waitForSelector("#paste-error:not([hidden])");
    assert.match(await page.locator("#paste-error").textContent(), /move 3: .*off the board/);
    await page.locator("#paste-text").fill("Piskvorky 20x20, 11:11, 0\n11,11,0\n12,12,0\n11,12,0\n-1\n");
    await page.locator("#paste-load").click();
    await waitMoves(page, 3);
    assert.equal(await page.locator("#moves li").last().textContent(), "3.● L12");
    await page.locator("#btn-think").click();
    await waitMoves(page, 4);
  });

  // The engine's answer comes at once (a forced block), usually before the move request's own
  // answer: the page must end on the block, not on the older "thinking" state.
  await step("a forced answer shows on the page", async () => {
    await page.locator("#btn-new").click();
    await page.locator("input[name=side][value=white]").check();
    await page.locator("#dlg-new-start").click();
    await waitMoves(page, 0);
    await page.locator("#btn-paste").click();
    await page.locator("#paste-text").fill("10,10 9,9 11,11 0,0 12,12 0,19");
    await page.locator("#paste-load").click();
    await waitMoves(page, 6);
    await page.waitForFunction(() => document.getElementById("status").textContent === "Your move.");
    // A hint first, so that the engine is running and its answer to the four is instant.
    await page.locator("#btn-hint").click();
    await page.waitForFunction(() => document.getElementById("reading-line").textContent.startsWith("Hint:"));
    await cell(page, 13, 13).click();
    try {
      await waitMoves(page, 8, 10000);
      await page.waitForFunction(() => document.getElementById("status").textContent === "Your move.",
                                 null, { timeout: 5000 });
    } catch (e) {
      const shown = await page.evaluate(() => ({
        moves: document.querySelectorAll("#moves li").length,
        status: document.getElementById("status").textContent,
        reading: document.getElementById("reading-summary").textContent }));
      throw new Error(`the page shows ${shown.moves} moves, "${shown.status}", "${shown.reading}"`);
    }
    assert.equal(await page.locator("#moves li").last().textContent(), "8.○ P15");
  });

  await step("the page fits a phone", async () => {
    const phone = await browser.newContext({ viewport: { width: 390, height: 844 }, isMobile: true, hasTouch: true });
    const p = await phone.newPage();
    await p.goto(server.url);
    await p.waitForFunction(() => document.getElementById("status").textContent === "Your move.");
    const board = await p.locator("#board").boundingBox();
    const panel = await p.locator(".panel").boundingBox();
    assert.ok(board.width <= 390 && board.width >= 340, `board ${board.width} px wide`);
    assert.ok(panel.y >= board.y + board.height - 1, "the panel is not below the board");
    const overflow = await p.evaluate(() => document.documentElement.scrollWidth > window.innerWidth);
    assert.ok(!overflow, "the page scrolls sideways");
    await cell(p, 10, 10).tap();
    await waitMoves(p, 2);
    await p.screenshot({ path: `${shotDir}/board-phone.png` });
    await phone.close();
  });

  await step("an engine that fails is reported on the page", async () => {
    const broken = await startServer("/bin/false");
    const p = await context.newPage();
    await p.goto(broken.url);
    await p.evaluate(() => localStorage.clear());
    await p.reload();
    await p.waitForFunction(() => document.getElementById("status").textContent === "Your move.");
    await cell(p, 10, 10).click();
    await p.waitForSelector("#banner:not([hidden])");
    assert.match(await p.locator("#banner-text").textContent(), /^Engine failure: the engine ended/);
    broken.child.kill("SIGTERM");
    await new Promise((r) => broken.child.once("exit", r));
    await p.locator("#btn-undo").click();
    await p.waitForFunction(() => /cannot be reached/.test(document.getElementById("banner-text").textContent));
    await p.close();
  });
  assert.deepEqual(pageErrors, [], "script errors on the page");
} catch (e) {
  exitCode = 1;
  console.error(e);
} finally {
  if (browser) await browser.close();
  stopServers();
  for (const line of results) console.log(line);
  console.log(exitCode === 0 ? "browser test passed" : "browser test FAILED");
  process.exit(exitCode);
}
