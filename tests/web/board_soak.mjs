// The browser soak: many fast games on the page against the engine, with random legal clicks
// (moves, undo, new game, hint, engine move, stop) at random moments. After every step the
// page's board, move list and status must come to agree with the server's game; a difference
// that lasts, or a script error on the page, fails the run.
// usage: node board_soak.mjs BOARD_BINARY PBRAIN_BINARY [--games N] [--seed S] [--steps-per-game K]
import { cell, launchBrowser, startServer, stopServers } from "./harness.mjs";

const usage = "usage: node board_soak.mjs BOARD_BINARY PBRAIN_BINARY [--games N] [--seed S] " +
              "[--steps-per-game K]";
const args = process.argv.slice(2);
const positional = [];
const options = { games: 20, seed: 1, "steps-per-game": 60 };
for (let i = 0; i < args.length; i++) {
  const a = args[i];
  if (!a.startsWith("--")) { positional.push(a); continue; }
  const key = a.slice(2);
  const value = Number(args[++i]);
  if (!(key in options)) { console.error(`unknown option ${a}\n${usage}`); process.exit(2); }
  if (!Number.isInteger(value) || value < 0) {
    console.error(`${a} takes a whole number\n${usage}`);
    process.exit(2);
  }
  options[key] = value;
}
if (positional.length !== 2) { console.error(usage); process.exit(2); }
const [boardBinary, pbrainBinary] = positional;

// A small fixed-seed generator, so that a failing run can be replayed.
let seed = options.seed >>> 0 || 1;
const random = () => {
  seed ^= seed << 13; seed >>>= 0;
  seed ^= seed >>> 17;
  seed ^= seed << 5; seed >>>= 0;
  return seed / 4294967296;
};
const pick = (list) => list[Math.floor(random() * list.length)];
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const LETTERS = "ABCDEFGHJKLMNOPQRSTU";

// What the page shows of the game: its id, stones, move list and status line.
const pageView = (page) => page.evaluate(() => ({
  id: localStorage.getItem("pentad-game"),
  stones: [...document.querySelectorAll("#layer-stones circle")].map((c) => [Number(c.getAttribute("cx")),
                                                                            Number(c.getAttribute("cy"))]),
  list: [...document.querySelectorAll("#moves li")].map((li) => li.textContent),
  status: document.getElementById("status").textContent,
  locked: document.getElementById("board").classList.contains("locked"),
}));

// The status line the page must show for the server's state.
function expectedStatus(s) {
  const you = s.engineSide === "none" ? null : s.engineSide === "black" ? "white" : "black";
  if (s.outcome === "draw") return "Draw: the board is full.";
  if (s.outcome !== "playing") {
    const winner = s.outcome === "black" ? "Black" : "White";
    if (!you) return winner + " wins with five in a row.";
    return (s.outcome === you ? "You win" : "The engine wins") + " with five in a row.";
  }
  if (s.thinking) return s.thinkingToPlay ? "The engine is thinking…" : "The engine is reading the position…";
  if (!you) return (s.toMove === "black" ? "Black" : "White") + " to move.";
  return s.toMove === you ? "Your move." : "The engine's move.";
}

function differences(view, s) {
  const found = [];
  if (view.id !== s.id) found.push(`game ${view.id} on the page, ${s.id} checked`);
  const list = s.moves.map((m, i) => `${i + 1}.${i % 2 === 0 ? "●" : "○"} ${LETTERS[m[0]]}${m[1] + 1}`);
  if (JSON.stringify(view.list) !== JSON.stringify(list))
    found.push(`move list ${view.list.length} moves, server ${list.length}`);
  if (JSON.stringify(view.stones) !== JSON.stringify(s.moves))
    found.push(`board ${view.stones.length} stones, server ${s.moves.length}`);
  const status = expectedStatus(s);
  if (view.status !== status) found.push(`status "${view.status}", server's game says "${status}"`);
  return found;
}

// Waits until the page agrees with the server's game; the engine may still be moving, so both
// are read again until they agree or the page has had 10 s to catch up.
async function agree(page, base) {
  let last = [];
  for (const t0 = Date.now(); Date.now() - t0 < 10000;) {
    const id = (await pageView(page)).id;
    const res = await fetch(base + "api/games/" + id);
    const s = await res.json();
    const view = await pageView(page);
    last = differences(view, s);
    if (!last.length) return { s, view };
    await sleep(50);
  }
  throw new Error(last.join("; "));
}

const stats = { games: 0, steps: 0, differences: 0, pageErrors: 0, moves: 0, undos: 0, hints: 0,
                engineMoves: 0, stops: 0, newGames: 0 };
let browser, exitCode = 0;
const t0 = Date.now();
try {
  const server = await startServer(boardBinary, pbrainBinary);
  browser = await launchBrowser();
  const page = await (await browser.newContext({ viewport: { width: 1180, height: 820 } })).newPage();
  page.on("pageerror", (e) => { stats.pageErrors++; console.log("page error: " + e.message); });
  page.on("dialog", (d) => d.dismiss());

  const newGame = async () => {
    await page.locator("#btn-new").click();
    await page.locator(`input[name=side][value=${pick(["white", "white", "black", "none"])}]`).check();
    await page.locator("select[name=moveMs]").selectOption("300");
    await page.locator("#dlg-new-start").click();
    stats.games++;
    stats.newGames++;
  };

  await page.goto(server.url);
  await page.waitForFunction(() => /move|thinking/.test(document.getElementById("status").textContent));
  await newGame();
  let gameSteps = 0;
  let state = (await agree(page, server.url)).s;
  while (stats.games <= options.games) {
    const playing = state.outcome === "playing";
    if (!playing || gameSteps >= options["steps-per-game"]) {
      if (stats.games === options.games) break;
      await newGame();
      gameSteps = 0;
    } else {
      const r = random();
      // A button can go between the look and the click (the engine answered): then no click.
      const press = async (id) => {
        try {
          if (!(await page.locator(id).isVisible()) || !(await page.locator(id).isEnabled())) return false;
          await page.locator(id).click({ timeout: 1000 });
          return true;
        } catch (e) {
          if (e.name === "TimeoutError") return false;
          throw e;
        }
      };
      if (r < 0.62) {
        // A move on a free cell near the stones, if the page takes one now.
        const view = await pageView(page);
        if (!view.locked) {
          const taken = new Set(state.moves.map((m) => m[0] + "," + m[1]));
          const near = state.moves.length ? pick(state.moves) : [10, 10];
          for (let tries = 0; tries < 30; tries++) {
            const x = Math.min(19, Math.max(0, near[0] + Math.floor(random() * 5) - 2));
            const y = Math.min(19, Math.max(0, near[1] + Math.floor(random() * 5) - 2));
            if (taken.has(x + "," + y)) continue;
            await cell(page, x, y).click();
            stats.moves++;
            break;
          }
        }
      } else if (r < 0.72) {
        if (await press("#btn-undo")) stats.undos++;
      } else if (r < 0.80) {
        if (await press("#btn-hint")) stats.hints++;
      } else if (r < 0.86) {
        if (await press("#btn-think")) stats.engineMoves++;
      } else if (r < 0.95) {
        if (await press("#btn-stop")) stats.stops++;
      } else if (stats.games < options.games) {
        await newGame();
        gameSteps = 0;
      }
    }
    stats.steps++;
    gameSteps++;
    // A random moment: at once, during the engine's search, or after it.
    await sleep(pick([0, 0, 30, 120, 400]));
    try {
      state = (await agree(page, server.url)).s;
    } catch (e) {
      stats.differences++;
      console.log(`step ${stats.steps}: ${e.message}`);
      state = await (await fetch(server.url + "api/games/" + (await pageView(page)).id)).json();
    }
    if (stats.steps % 100 === 0)
      console.log(`${stats.steps} steps, ${stats.games} games, ${stats.differences} differences, ` +
                  `${stats.pageErrors} page errors, ${Math.round((Date.now() - t0) / 1000)} s`);
  }
} catch (e) {
  exitCode = 1;
  console.error(e);
} finally {
  if (browser) await browser.close();
  stopServers();
  const failed = exitCode !== 0 || stats.differences > 0 || stats.pageErrors > 0;
  console.log(`board soak: ${stats.games} games, ${stats.steps} steps (${stats.moves} moves, ` +
              `${stats.undos} undos, ${stats.hints} hints, ${stats.engineMoves} engine moves, ` +
              `${stats.stops} stops, ${stats.newGames} new games), ${stats.differences} differences, ` +
              `${stats.pageErrors} page errors, ${Math.round((Date.now() - t0) / 1000)} s`);
  console.log(failed ? "board soak FAILED" : "board soak passed");
  process.exit(failed ? 1 : 0);
}
