// The browser board: draws the game the server keeps and sends the player's actions.
"use strict";
(() => {
  const N = 20;
  const SVG = "http://www.w3.org/2000/svg";
  const LETTERS = "ABCDEFGHJKLMNOPQRSTU"; // no I, as on printed boards
  const $ = (id) => document.getElementById(id);
  const board = $("board");

  let game = null;          // the server's state of the current game
  let events = null;        // EventSource of the current game
  let view = null;          // null: the game as it stands; k: the position after k moves
  let hover = null;
  let lostServer = false;

  const name = (p) => LETTERS[p[0]] + (p[1] + 1);
  const opts = () => ({ numbers: $("opt-numbers").checked, line: $("opt-line").checked,
                        coords: $("opt-coords").checked });

  // ---- talking to the server ----
  async function api(method, path, body) {
    let res;
    try {
      res = await fetch(path, { method, headers: body ? { "Content-Type": "application/json" } : {},
                                body: body ? JSON.stringify(body) : undefined });
    } catch (e) {
      throw new Error("The server cannot be reached. Is pentad-board still running?");
    }
    const text = await res.text();
    let data = null;
    try { data = text ? JSON.parse(text) : null; } catch (e) { data = null; }
    if (!res.ok) {
      const err = new Error((data && data.error) || ("The server answered " + res.status));
      err.status = res.status;
      throw err;
    }
    return data;
  }

  function showBanner(text, kind, actionText, action) {
    $("banner").hidden = false;
    $("banner").className = "banner" + (kind ? " " + kind : "");
    $("banner-text").textContent = text;
    const b = $("banner-action");
    b.hidden = !actionText;
    b.textContent = actionText || "";
    b.onclick = action || null;
  }
  const hideBanner = () => { $("banner").hidden = true; };
  $("banner-close").onclick = hideBanner;

  async function act(path, body) {
    try {
      const s = await api("POST", "/api/games/" + game.id + "/" + path, body);
      setState(s);
      return s;
    } catch (e) {
      if (e.status === 404) return recoverLostGame();
      showBanner(e.message);
      return null;
    }
  }

  function follow(id) {
    if (events) events.close();
    events = new EventSource("/api/games/" + id + "/events");
    events.addEventListener("state", (e) => { lostServer = false; setState(JSON.parse(e.data)); });
    events.addEventListener("reading", (e) => {
      const r = JSON.parse(e.data);
      if (!game || game.id !== id || r.version < game.version) return;
      game.reading = r;
      game.version = r.version;
      render();
    });
    events.addEventListener("failure", (e) => showBanner("Engine failure: " + JSON.parse(e.data).message));
    events.onopen = () => { if (lostServer) { lostServer = false; hideBanner(); } };
    events.onerror = () => {
      if (events.readyState === EventSource.CLOSED) { recoverLostGame(); return; }
      lostServer = true;
      showBanner("The connection to the server was lost; trying again…", "info");
    };
  }

  async function newGame(settings, record) {
    const body = Object.assign({}, settings);
    if (record !== undefined) body.record = record;
    const s = await api("POST", "/api/games", body);
    localStorage.setItem("pentad-game", s.id);
    view = null;
    setState(s, true);
    follow(s.id);
    return s;
  }

  // The server restarted or dropped the game: start again from the moves on the page.
  async function recoverLostGame() {
    if (!game) return;
    const moves = game.moves.map((m) => m[0] + "," + m[1]).join(" ");
    try {
      await newGame({ engineSide: game.engineSide, moveMs: game.moveMs }, moves);
      showBanner("The server had lost this game; it was set up again from the moves on the page.", "info");
    } catch (e) {
      showBanner("The server cannot be reached. Is pentad-board still running?");
    }
  }

  // ---- state and drawing ----
  // Answers and events can arrive out of order: a state older than the one shown, or of a game
  // the page has left, is dropped. `fresh` takes the state of a game the page turns to.
  function setState(s, fresh) {
    if (!fresh && game && (s.id !== game.id || s.version < game.version)) return;
    const first = !game || game.id !== s.id;
    game = s;
    if (first) view = null;
    if (view !== null && view > game.moves.length) view = null;
    if (game.engineError) showBanner("Engine failure: " + game.engineError);
    render();
  }

  function humanSide() {
    if (!game || game.engineSide === "none") return null;
    return game.engineSide === "black" ? "white" : "black";
  }

  function canPlay() {
    return game && view === null && game.outcome === "playing" &&
      !game.thinkingToPlay && (game.engineSide === "none" || game.toMove === humanSide());
  }

  function el(tag, attrs, parent) {
    const e = document.createElementNS(SVG, tag);
    for (const k in attrs) e.setAttribute(k, attrs[k]);
    if (parent) parent.appendChild(e);
    return e;
  }

  function drawBoardBase() {
    board.textContent = "";
    const defs = el("defs", {}, board);
    const gb = el("radialGradient", { id: "g-black", cx: "35%", cy: "35%", r: "65%" }, defs);
    el("stop", { offset: "0%", "stop-color": "#6a6a6a" }, gb);
    el("stop", { offset: "100%", "stop-color": "#0d0d0d" }, gb);
    const gw = el("radialGradient", { id: "g-white", cx: "35%", cy: "35%", r: "70%" }, defs);
    el("stop", { offset: "0%", "stop-color": "#ffffff" }, gw);
    el("stop", { offset: "100%", "stop-color": "#cfcfc8" }, gw);
    el("rect", { x: -1.3, y: -1.3, width: 21.6, height: 21.6, rx: 0.35, fill: "var(--wood)" }, board);
    const grid = el("g", { class: "grid" }, board);
    for (let i = 0; i < N; i++) {
      el("line", { x1: 0, y1: i, x2: N - 1, y2: i }, grid);
      el("line", { x1: i, y1: 0, x2: i, y2: N - 1 }, grid);
    }
    el("rect", { class: "edge", x: 0, y: 0, width: N - 1, height: N - 1 }, board);
    for (const x of [3, 9.5, 16]) for (const y of [3, 9.5, 16]) {
      if ((x === 9.5) !== (y === 9.5)) continue;
      el("circle", { class: "star", cx: x === 9.5 ? 10 : x, cy: y === 9.5 ? 10 : y, r: 0.11 }, board);
    }
    el("g", { id: "coords" }, board);
    el("g", { id: "layer-stones" }, board);
    el("g", { id: "layer-marks" }, board);
    const cells = el("g", { id: "cells" }, board);
    for (let y = 0; y < N; y++) for (let x = 0; x < N; x++) {
      const c = el("rect", { class: "cell", x: x - 0.5, y: y - 0.5, width: 1, height: 1,
                             "data-x": x, "data-y": y }, cells);
      c.setAttribute("aria-label", LETTERS[x] + (y + 1));
    }
  }

  function drawCoords(show) {
    const g = $("coords");
    g.textContent = "";
    if (!show) return;
    for (let i = 0; i < N; i++) {
      for (const [x, y, t] of [[i, -0.85, LETTERS[i]], [i, N - 0.15, LETTERS[i]],
                               [-0.85, i, String(i + 1)], [N - 0.15, i, String(i + 1)]]) {
        const e = el("text", { class: "coord", x, y }, g);
        e.textContent = t;
      }
    }
  }

  function stone(g, p, black, extraClass) {
    return el("circle", { cx: p[0], cy: p[1], r: 0.46, fill: black ? "url(#g-black)" : "url(#g-white)",
                          stroke: black ? "#000" : "#9a9a92", "stroke-width": 0.03,
                          class: extraClass || "" }, g);
  }

  function label(g, p, text, onBlack, cls) {
    const t = el("text", { x: p[0], y: p[1] + 0.02, class: cls + (onBlack ? " on-black" : " on-white") }, g);
    t.textContent = text;
    if (cls === "ghost-num") t.setAttribute("fill", onBlack ? "#fff" : "#111");
    return t;
  }

  function render() {
    if (!game) return;
    const o = opts();
    drawCoords(o.coords);
    const shown = view === null ? game.moves.length : view;
    const moves = game.moves.slice(0, shown);
    const stones = $("layer-stones"), marks = $("layer-marks");
    stones.textContent = "";
    marks.textContent = "";
    const occupied = new Set();
    moves.forEach((m, i) => {
      occupied.add(m[0] + "," + m[1]);
      stone(stones, m, i % 2 === 0);
      if (o.numbers) label(stones, m, String(i + 1), i % 2 === 0, "num");
    });
    if (moves.length && !o.numbers) {
      const last = moves[moves.length - 1];
      el("circle", { class: "last", cx: last[0], cy: last[1], r: 0.13 }, marks);
    } else if (moves.length) {
      const last = moves[moves.length - 1];
      el("circle", { cx: last[0], cy: last[1], r: 0.47, fill: "none", stroke: "#e0362a",
                     "stroke-width": 0.06 }, marks);
    }
    // The engine's principal line, as faint numbered stones, while it is of this position.
    const r = game.reading;
    if (view === null && o.line && r && r.line && r.line.length && game.outcome === "playing") {
      // After the engine's move its line starts with that move: show the rest, from 1.
      let line = r.line;
      if (occupied.has(line[0][0] + "," + line[0][1])) line = line.slice(1);
      let black = game.toMove === "black";
      for (const [i, p] of line.slice(0, 9).entries()) {
        if (occupied.has(p[0] + "," + p[1])) break;
        occupied.add(p[0] + "," + p[1]);
        stone(marks, p, black, "ghost");
        label(marks, p, String(i + 1), black, "ghost-num");
        black = !black;
      }
    }
    if (view === null && game.bestMove) {
      el("circle", { class: "hint", cx: game.bestMove[0], cy: game.bestMove[1], r: 0.5 }, marks);
    }
    if (view === null && game.winLine.length) {
      const a = game.winLine[0], b = game.winLine[game.winLine.length - 1];
      el("line", { class: "winline", x1: a[0], y1: a[1], x2: b[0], y2: b[1] }, marks);
    }
    if (hover && canPlay() && !occupied.has(hover[0] + "," + hover[1])) {
      stone(marks, hover, game.toMove === "black", "preview");
    }
    board.classList.toggle("locked", !canPlay());
    renderPanel(shown);
  }

  function describeOutcome() {
    const you = humanSide();
    if (game.outcome === "draw") return "Draw: the board is full.";
    const winner = game.outcome === "black" ? "Black" : "White";
    if (!you) return winner + " wins with five in a row.";
    return (game.outcome === you ? "You win" : "The engine wins") + " with five in a row.";
  }

  function renderPanel(shown) {
    const you = humanSide();
    $("name-black").textContent = game.engineSide === "black" ? "Engine" : you ? "You" : "Black";
    $("name-white").textContent = game.engineSide === "white" ? "Engine" : you ? "You" : "White";
    $("player-black").classList.toggle("to-move", game.outcome === "playing" && game.toMove === "black");
    $("player-white").classList.toggle("to-move", game.outcome === "playing" && game.toMove === "white");

    let status;
    if (game.outcome !== "playing") status = describeOutcome();
    else if (game.thinking) status = game.thinkingToPlay ? "The engine is thinking…" : "The engine is reading the position…";
    else if (!you) status = (game.toMove === "black" ? "Black" : "White") + " to move.";
    else status = game.toMove === you ? "Your move." : "The engine's move.";
    $("status").textContent = status;

    const r = game.reading;
    const share = r ? r.blackShare : 0.5;
    $("share-black").style.width = (share * 100).toFixed(1) + "%";
    $("label-black").textContent = "Black " + Math.round(share * 100) + "%";
    $("label-white").textContent = "White " + Math.round((1 - share) * 100) + "%";
    if (r) {
      const side = r.forBlack ? "black" : "white";
      const nodes = r.nodes >= 1e6 ? (r.nodes / 1e6).toFixed(1) + "M" : r.nodes >= 1e3 ? Math.round(r.nodes / 1e3) + "k" : r.nodes;
      const nps = r.nps >= 1e6 ? (r.nps / 1e6).toFixed(1) + "M" : Math.round(r.nps / 1e3) + "k";
      $("reading-summary").textContent = "Depth " + r.depth + " · value " + r.value + " for " + side +
        " · " + nodes + " nodes · " + nps + " n/s";
      $("reading-line").textContent = r.line.length ? "Line: " + r.line.map(name).join(" ") : "";
      $("reading-summary").classList.remove("muted");
    } else {
      $("reading-summary").textContent = game.thinking ? "Reading…" : "The engine has not read this position yet.";
      $("reading-summary").classList.add("muted");
      $("reading-line").textContent = game.bestMove ? "Hint: " + name(game.bestMove) : "";
    }
    if (r && game.bestMove) $("reading-line").textContent = "Hint: " + name(game.bestMove) + ". " + $("reading-line").textContent;

    const playing = game.outcome === "playing";
    $("btn-stop").hidden = !game.thinking;
    $("btn-stop").textContent = game.thinkingToPlay ? "Move now" : "Stop";
    $("btn-think").disabled = !playing || game.thinking || view !== null;
    $("btn-hint").disabled = !playing || game.thinking || view !== null;
    $("btn-undo").disabled = game.moves.length === 0;
    $("btn-swap").disabled = game.engineSide === "none";

    const list = $("moves");
    list.textContent = "";
    game.moves.forEach((m, i) => {
      const li = document.createElement("li");
      li.dataset.index = i + 1;
      li.innerHTML = '<span class="n">' + (i + 1) + ".</span>";
      li.appendChild(document.createTextNode((i % 2 === 0 ? "● " : "○ ") + name(m)));
      if (i + 1 === shown && (view !== null || i + 1 === game.moves.length)) li.classList.add("current");
      li.onclick = () => { view = i + 1 === game.moves.length ? null : i + 1; render(); };
      list.appendChild(li);
    });
    const current = list.querySelector(".current");
    if (current && view === null) list.scrollTop = list.scrollHeight;
    $("browse").hidden = view === null;
    if (view !== null) $("browse-text").textContent = "Viewing the position after move " + view + " of " + game.moves.length + ".";
    $("engine-name").textContent = game.engineName ? "Engine: " + game.engineName + " · " + game.moveMs / 1000 + " s a move" : "";
  }

  // ---- the player's actions ----
  function cellOf(ev) {
    const t = ev.target;
    if (!t.classList || !t.classList.contains("cell")) return null;
    return [Number(t.dataset.x), Number(t.dataset.y)];
  }
  board.addEventListener("pointermove", (ev) => {
    const c = cellOf(ev);
    if ((c && hover && c[0] === hover[0] && c[1] === hover[1]) || (!c && !hover)) return;
    hover = c;
    if (ev.pointerType === "mouse") render();
  });
  board.addEventListener("pointerleave", () => { hover = null; render(); });
  board.addEventListener("click", (ev) => {
    const c = cellOf(ev);
    if (!c || !canPlay()) return;
    if (game.moves.some((m) => m[0] === c[0] && m[1] === c[1])) return;
    hover = null;
    act("move", { x: c[0], y: c[1] });
  });

  $("btn-stop").onclick = () => act("stop");
  $("btn-think").onclick = () => act("think", { play: true });
  $("btn-hint").onclick = () => act("think", { play: false });
  $("btn-undo").onclick = () => {
    view = null;
    const you = humanSide();
    // Against the engine, take back to the player's own turn.
    const count = you && game.toMove === you && !game.thinking ? Math.min(2, game.moves.length) : 1;
    act("undo", { count });
  };
  $("btn-swap").onclick = () => {
    if (game.engineSide === "none") return;
    act("settings", { engineSide: game.engineSide === "black" ? "white" : "black" });
  };
  $("btn-new").onclick = () => {
    const f = $("dlg-new").querySelector("form");
    if (game) {
      for (const r of f.elements.side) r.checked = r.value === game.engineSide;
      f.elements.moveMs.value = String(game.moveMs);
    }
    $("dlg-new").showModal();
  };
  $("dlg-new").addEventListener("close", async () => {
    if ($("dlg-new").returnValue !== "start") return;
    const f = $("dlg-new").querySelector("form");
    try {
      hideBanner();
      await newGame({ engineSide: f.elements.side.value, moveMs: Number(f.elements.moveMs.value) });
    } catch (e) { showBanner(e.message); }
  });
  $("browse-back").onclick = () => { view = null; render(); };
  $("browse-play").onclick = () => {
    const moves = game.moves.slice(0, view);
    view = null;
    act("setup", { moves });
  };
  for (const id of ["opt-numbers", "opt-line", "opt-coords"]) {
    $(id).checked = localStorage.getItem("pentad-" + id) === null ? $(id).checked
                                                                   : localStorage.getItem("pentad-" + id) === "1";
    $(id).onchange = () => { localStorage.setItem("pentad-" + id, $(id).checked ? "1" : "0"); render(); };
  }

  async function copyText(text, what) {
    try {
      await navigator.clipboard.writeText(text);
    } catch (e) {
      // Pages served to other machines over plain HTTP have no clipboard API.
      const t = document.createElement("textarea");
      t.value = text;
      document.body.appendChild(t);
      t.select();
      document.execCommand("copy");
      t.remove();
    }
    showBanner(what + " copied to the clipboard.", "info");
    setTimeout(hideBanner, 2500);
  }
  $("btn-copy-moves").onclick = async () => {
    try { copyText((await (await fetch("/api/games/" + game.id + "/record?format=moves")).text()).trim(), "Moves"); }
    catch (e) { showBanner("The record could not be fetched: " + e.message); }
  };
  $("btn-copy-psq").onclick = async () => {
    try { copyText(await (await fetch("/api/games/" + game.id + "/record?format=psq")).text(), "The .psq record"); }
    catch (e) { showBanner("The record could not be fetched: " + e.message); }
  };
  $("btn-paste").onclick = () => {
    $("paste-error").hidden = true;
    $("paste-text").value = "";
    $("dlg-paste").showModal();
  };
  $("paste-load").onclick = async (ev) => {
    ev.preventDefault();
    try {
      view = null;
      await api("POST", "/api/games/" + game.id + "/setup", { record: $("paste-text").value })
        .then(setState);
      $("dlg-paste").close();
    } catch (e) {
      $("paste-error").textContent = e.message;
      $("paste-error").hidden = false;
    }
  };

  document.addEventListener("keydown", (ev) => {
    if (document.querySelector("dialog[open]") || !game) return;
    if (ev.key === "ArrowLeft") { view = Math.max(0, (view === null ? game.moves.length : view) - 1); render(); }
    else if (ev.key === "ArrowRight" && view !== null) { view = view + 1 >= game.moves.length ? null : view + 1; render(); }
  });

  // ---- start ----
  drawBoardBase();
  (async () => {
    const saved = localStorage.getItem("pentad-game");
    try {
      if (saved && /^[0-9a-f]+$/.test(saved)) {
        try {
          const s = await api("GET", "/api/games/" + saved);
          setState(s, true);
          follow(s.id);
          return;
        } catch (e) { if (e.status !== 404) throw e; }
      }
      await newGame({ engineSide: "white", moveMs: 1000 });
    } catch (e) {
      $("status").textContent = "No connection.";
      showBanner(e.message);
    }
  })();
})();
