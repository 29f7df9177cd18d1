// The Velmora status page: the world map with every vehicle live, the users,
// the chat, the latest results and the server's health. Everything a player
// wrote reaches the page through textContent, never as markup.
"use strict";

const SVG = "http://www.w3.org/2000/svg";
const KINDS = {
  airliner: { name: "旅客機", colour: "var(--airliner)", air: true },
  fighter: { name: "戦闘機", colour: "var(--fighter)", air: true },
  light_aircraft: { name: "軽飛行機", colour: "var(--light)", air: true },
  aircraft: { name: "航空機", colour: "var(--airliner)", air: true },
  car: { name: "自動車", colour: "var(--car)", air: false },
  train: { name: "電車", colour: "var(--train)", air: false },
  other: { name: "その他", colour: "var(--other)", air: false },
};
// Icons drawn pointing north, about 24 units long, centred on the vehicle.
const SHAPES = {
  airliner: "M0 -12 C1.5 -12 2 -10 2 -8 L2 -3 L11 2 L11 4.5 L2 2 L2 7 L5 9.5 L5 11 L0 10 L-5 11 L-5 9.5 L-2 7 L-2 2 L-11 4.5 L-11 2 L-2 -3 L-2 -8 C-2 -10 -1.5 -12 0 -12 Z",
  fighter: "M0 -12 L2 -4 L9 6 L9 8 L2 6 L3 10 L0 9 L-3 10 L-2 6 L-9 8 L-9 6 L-2 -4 Z",
  light_aircraft: "M0 -9 L1.5 -6 L1.5 -4 L10 -4 L10 -1 L1.5 -1 L1 6 L4 7 L4 9 L-4 9 L-4 7 L-1 6 L-1.5 -1 L-10 -1 L-10 -4 L-1.5 -4 L-1.5 -6 Z",
  aircraft: "M0 -10 L8 8 L0 4 L-8 8 Z",
  car: "M-4 -8 Q0 -10 4 -8 L5 7 Q0 9 -5 7 Z",
  train: "M-3.5 -12 L3.5 -12 L3.5 12 L-3.5 12 Z M-3.5 -12 L0 -15 L3.5 -12 Z",
  other: "M0 -7 L7 0 L0 7 L-7 0 Z",
};
const RAIL_COLOURS = { 1: "#2b6cb0", 2: "#d9822b" };
const REFUSALS = {
  wrong_account: "アカウント違い", empty_handle: "ハンドル名が空", bad_handle: "使えない文字",
  long_handle: "長すぎるハンドル名", handle_in_use: "使用中のハンドル名",
  address_full: "同一アドレスの上限", room_full: "満員", other_world: "別のワールド",
  pending_full: "接続待ちの上限",
};
const KT_PER_MS = 3600 / 1852;
const FT_PER_M = 1 / 0.3048;

const el = (id) => document.getElementById(id);
const map = el("map");
const state = {
  view: null,        // { x, y, w, h } of the map's viewBox, metres (y down)
  home: null,        // the whole installation
  vehicles: new Map(),  // user → { data, node, at }
  chat: [], results: [], lastChatSeq: 0, lastResultSeq: 0,
  missions: new Map(),  // number → title
  selected: null,    // user number
  moved: false,      // the viewer has moved or zoomed the map: it stays as they left it
  clockOffset: 0,    // Date.now() minus the server's time_ms
  socket: null, polling: null,
};

function node(tag, attrs, parent) {
  const n = document.createElementNS(SVG, tag);
  for (const [k, v] of Object.entries(attrs || {})) n.setAttribute(k, String(v));
  if (parent) parent.appendChild(n);
  return n;
}

function html(tag, className, text) {
  const n = document.createElement(tag);
  if (className) n.className = className;
  if (text !== undefined) n.textContent = text;
  return n;
}

// ----- the map -----

function pointsAttr(points) {
  return points.map(([x, y]) => x + "," + -y).join(" ");
}

// Each kind of strip at its width in metres, but never thinner on the screen
// than `px` pixels, so that roads and track stay visible from afar.
const STRIP_STYLE = {
  apron: { colour: "#b9bec5", cap: "butt", px: 1 },
  taxiway: { colour: "#9aa1aa", cap: "round", px: 1.5 },
  runway: { colour: "#4a5058", cap: "butt", px: 5 },
  road: { colour: "#e8e2d0", cap: "round", px: 2.5 },
  race: { colour: "#3d4249", cap: "round", px: 3.5 },
  building: { colour: "#8a6f5a", cap: "butt", px: 2 },
};

function strip(points, width, px, attrs, parent) {
  const line = node("polyline", { points: pointsAttr(points), fill: "none", "stroke-linejoin": "round", ...attrs }, parent);
  state.strips.push({ line, width, px });
  return line;
}

function drawMap(m) {
  state.strips = [];
  const ground = el("layer-ground");
  for (const g of m.ground) {
    node("rect", { x: g.x1, y: -g.y2, width: g.x2 - g.x1, height: g.y2 - g.y1, fill: g.colour }, ground);
  }
  const strips = el("layer-strips");
  for (const s of m.strips) {
    const style = STRIP_STYLE[s.kind] || STRIP_STYLE.road;
    strip(s.points, s.width, style.px, { stroke: style.colour, "stroke-linecap": style.cap }, strips);
  }
  for (const r of m.runways) {
    // The centre line's dashes.
    strip([[r.x1, r.y1], [r.x2, r.y2]], r.width / 20, 1, { stroke: "#ffffff", "stroke-dasharray": "30 20", opacity: 0.9 }, strips);
  }
  const rail = el("layer-rail");
  for (const r of m.railway) {
    const colour = RAIL_COLOURS[r.lines] || "#46505c";
    strip(r.points, 7, 3.5, { stroke: colour, opacity: 0.95 }, rail);
    strip(r.points, 2, 1, { stroke: "#ffffff", "stroke-dasharray": "12 12", opacity: 0.8 }, rail);
  }
  state.mapData = m;
  const b = m.bounds;
  state.home = { x: b.west, y: -b.north, w: b.east - b.west, h: b.north - b.south };
  drawLegend();
}

function widenStrips() {
  const k = unitsPerPixel();
  for (const s of state.strips || []) s.line.setAttribute("stroke-width", Math.max(s.width, s.px * k));
}

// Labels are drawn at a fixed screen size, so they follow the zoom.
function drawLabels() {
  const labels = el("layer-labels");
  labels.replaceChildren();
  if (!state.mapData) return;
  const k = unitsPerPixel();
  for (const r of state.mapData.runways) {
    const mx = (r.x1 + r.x2) / 2, my = -(r.y1 + r.y2) / 2;
    let angle = Math.atan2(-(r.y2 - r.y1), r.x2 - r.x1) * 180 / Math.PI;
    if (angle > 90) angle -= 180;
    if (angle < -90) angle += 180;
    const t = node("text", {
      class: "runway-name", "text-anchor": "middle",
      transform: `translate(${mx},${my}) rotate(${angle}) scale(${k}) translate(0,${-r.width / (2 * k) - 6})`,
    }, labels);
    t.textContent = r.name;
  }
  state.mapData.stations.forEach((s, i) => {
    const mark = node("g", { transform: `translate(${s.x},${-s.y}) scale(${k})` }, labels);
    node("rect", { x: -5, y: -5, width: 10, height: 10, rx: 2, fill: "#ffffff", stroke: "#14233a", "stroke-width": 2 }, mark);
    // Below to the right: a train's own label is level with it.
    const t = node("text", { class: "station-name", "text-anchor": "start", x: 7, y: 18 }, mark);
    const lines = [1, 2, 3, 4].filter((n) => s.lines & (1 << (n - 1))).join("・");
    t.textContent = "駅 " + String.fromCharCode(65 + i) + (lines ? " (" + lines + "号線)" : "");
  });
}

function drawLegend() {
  const legend = el("legend");
  legend.replaceChildren();
  for (const kind of ["airliner", "fighter", "light_aircraft", "car", "train"]) {
    const item = html("span");
    const swatch = html("i");
    swatch.style.background = KINDS[kind].colour;
    item.append(swatch, document.createTextNode(KINDS[kind].name));
    legend.append(item);
  }
}

function unitsPerPixel() {
  const rect = map.getBoundingClientRect();
  if (!state.view || rect.width === 0 || rect.height === 0) return 1;
  return Math.max(state.view.w / rect.width, state.view.h / rect.height);
}

function setView(v) {
  state.view = v;
  map.setAttribute("viewBox", `${v.x} ${v.y} ${v.w} ${v.h}`);
  widenStrips();
  drawLabels();
  placeVehicles(performance.now());
  drawScale();
}

function fit() {
  if (!state.home) return;
  const v = { ...state.home };
  // Take in the vehicles near the installation as well (aircraft on their circuits).
  const cx = v.x + v.w / 2, cy = v.y + v.h / 2;
  for (const { data } of state.vehicles.values()) {
    const x = data.x, y = -data.y, pad = 600;
    if (Math.hypot(x - cx, y - cy) > 15000) continue;
    const x2 = Math.max(v.x + v.w, x + pad), y2 = Math.max(v.y + v.h, y + pad);
    v.x = Math.min(v.x, x - pad); v.y = Math.min(v.y, y - pad);
    v.w = x2 - v.x; v.h = y2 - v.y;
  }
  setView(v);
}

function outside(v) {
  const view = state.view, x = v.x, y = -v.y;
  const home = state.home;
  const far = Math.hypot(x - (home.x + home.w / 2), y - (home.y + home.h / 2)) > 15000;
  return !far && (x < view.x || x > view.x + view.w || y < view.y || y > view.y + view.h);
}

function zoom(factor, cx, cy) {
  const v = state.view;
  if (!v) return;
  const w = Math.min(Math.max(v.w * factor, 200), 200000);
  const f = w / v.w;
  const px = cx === undefined ? v.x + v.w / 2 : cx;
  const py = cy === undefined ? v.y + v.h / 2 : cy;
  setView({ x: px - (px - v.x) * f, y: py - (py - v.y) * f, w: v.w * f, h: v.h * f });
}

// Screen pixels to map units.
function toMap(clientX, clientY) {
  const ctm = map.getScreenCTM();
  if (!ctm) return { x: 0, y: 0 };
  const p = new DOMPoint(clientX, clientY).matrixTransform(ctm.inverse());
  return { x: p.x, y: p.y };
}

function drawScale() {
  const k = unitsPerPixel();
  const target = k * 120;
  const step = [50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000].find((s) => s >= target * 0.5) || 20000;
  const bar = el("scale");
  bar.querySelector("i").style.width = Math.round(step / k) + "px";
  bar.querySelector("span").textContent = step >= 1000 ? step / 1000 + " km" : step + " m";
}

function wirePanZoom() {
  const pointers = new Map();
  let pinch = null;
  map.addEventListener("wheel", (e) => {
    e.preventDefault();
    state.moved = true;
    const p = toMap(e.clientX, e.clientY);
    zoom(Math.exp(e.deltaY * 0.0015), p.x, p.y);
  }, { passive: false });
  map.addEventListener("pointerdown", (e) => {
    state.moved = true;
    pointers.set(e.pointerId, { x: e.clientX, y: e.clientY });
    map.setPointerCapture(e.pointerId);
    map.classList.add("dragging");
    if (pointers.size === 2) {
      const [a, b] = [...pointers.values()];
      pinch = Math.hypot(a.x - b.x, a.y - b.y);
    }
  });
  map.addEventListener("pointermove", (e) => {
    const last = pointers.get(e.pointerId);
    if (!last) return;
    const k = unitsPerPixel();
    if (pointers.size === 1) {
      const v = state.view;
      setView({ ...v, x: v.x - (e.clientX - last.x) * k, y: v.y - (e.clientY - last.y) * k });
    }
    pointers.set(e.pointerId, { x: e.clientX, y: e.clientY });
    if (pointers.size === 2 && pinch) {
      const [a, b] = [...pointers.values()];
      const d = Math.hypot(a.x - b.x, a.y - b.y);
      const c = toMap((a.x + b.x) / 2, (a.y + b.y) / 2);
      if (d > 0) zoom(pinch / d, c.x, c.y);
      pinch = d;
    }
  });
  const up = (e) => {
    pointers.delete(e.pointerId);
    if (pointers.size < 2) pinch = null;
    if (pointers.size === 0) map.classList.remove("dragging");
  };
  map.addEventListener("pointerup", up);
  map.addEventListener("pointercancel", up);
  el("zoom-in").addEventListener("click", () => { state.moved = true; zoom(1 / 1.6); });
  el("zoom-out").addEventListener("click", () => { state.moved = true; zoom(1.6); });
  el("zoom-fit").addEventListener("click", () => { state.moved = false; fit(); });
  window.addEventListener("resize", () => { if (state.view) setView(state.view); });
}

// ----- vehicles -----

function fmt(n, digits) {
  return n.toLocaleString("ja-JP", { maximumFractionDigits: digits || 0, minimumFractionDigits: digits || 0 });
}

function speedText(v) {
  const kind = KINDS[v.kind] || KINDS.other;
  return kind.air ? fmt(v.speed * KT_PER_MS) + " kt" : fmt(v.speed * 3.6) + " km/h";
}

function heightText(v) {
  return fmt(v.height * FT_PER_M) + " ft";
}

function makeVehicle(v) {
  const g = node("g", { class: "vehicle" }, el("layer-vehicles"));
  g.dataset.user = String(v.user);
  const icon = node("g", { class: "icon" }, g);
  node("path", { class: "body", d: "" }, icon);
  const label = node("text", { x: 14, y: 4 }, g);
  label.appendChild(document.createTextNode(""));
  const height = node("tspan", { class: "height" }, label);
  height.textContent = "";
  g.addEventListener("pointerenter", (e) => showTip(v.user, e));
  g.addEventListener("pointermove", (e) => showTip(v.user, e));
  g.addEventListener("pointerleave", () => { if (state.selected !== v.user) hideTip(); });
  g.addEventListener("click", (e) => { e.stopPropagation(); select(v.user, e); });
  g.addEventListener("pointerdown", (e) => e.stopPropagation());
  return g;
}

function updateVehicle(entry) {
  const v = entry.data;
  const kind = KINDS[v.kind] ? v.kind : "other";
  const g = entry.node;
  const body = g.querySelector(".body");
  body.setAttribute("d", SHAPES[kind]);
  body.setAttribute("fill", KINDS[kind].colour);
  const label = g.querySelector("text");
  label.firstChild.textContent = v.handle;
  label.querySelector(".height").textContent = KINDS[kind].air ? " " + heightText(v) : "";
  g.classList.toggle("selected", state.selected === v.user);
}

// Each vehicle carried on along its last speed and heading between updates.
function placeVehicles(now) {
  const k = unitsPerPixel();
  for (const entry of state.vehicles.values()) {
    const v = entry.data;
    const ahead = Math.min(Math.max((now - entry.at) / 1000, 0), 1);
    const rad = v.heading * Math.PI / 180;
    const ground = Math.sqrt(Math.max(v.speed * v.speed - v.climb * v.climb, 0));
    const x = v.x + Math.sin(rad) * ground * ahead;
    const y = v.y + Math.cos(rad) * ground * ahead;
    entry.node.setAttribute("transform", `translate(${x},${-y}) scale(${k})`);
    entry.node.querySelector(".icon").setAttribute("transform", `rotate(${v.heading})`);
  }
}

function animate() {
  placeVehicles(performance.now());
  requestAnimationFrame(animate);
}

function showTip(user, e) {
  const entry = state.vehicles.get(user);
  if (!entry) return;
  const v = entry.data;
  const tip = el("tip");
  const kind = KINDS[v.kind] || KINDS.other;
  tip.replaceChildren(
    html("b", "", v.handle),
    html("div", "muted", kind.name + (missionTitle(v) ? " · " + missionTitle(v) : "")),
    html("div", "", "速度 " + speedText(v)),
    html("div", "", "高度 " + (kind.air ? heightText(v) + " (" + fmt(v.height) + " m)" : fmt(v.height, 1) + " m")),
  );
  tip.hidden = false;
  const frame = el("map-frame").getBoundingClientRect();
  const x = (e ? e.clientX : frame.left + frame.width / 2) - frame.left;
  const y = (e ? e.clientY : frame.top + frame.height / 2) - frame.top;
  tip.style.left = Math.min(x + 14, frame.width - 270) + "px";
  tip.style.top = Math.max(y - 10, 8) + "px";
}

function missionTitle(item) {
  return state.missions.get(item.mission_no) || "";
}

function hideTip() {
  el("tip").hidden = true;
}

function select(user, e) {
  state.selected = state.selected === user ? null : user;
  for (const entry of state.vehicles.values()) updateVehicle(entry);
  for (const row of el("users").tBodies[0].rows) {
    row.classList.toggle("selected", Number(row.dataset.user) === state.selected);
  }
  if (state.selected === null) hideTip(); else showTip(user, e);
}

// ----- the panels -----

function clock(timeMs) {
  const d = new Date(state.clockOffset + timeMs);
  return d.toLocaleTimeString("ja-JP", { hour: "2-digit", minute: "2-digit" });
}

function duration(seconds) {
  const s = Math.max(0, Math.floor(seconds));
  const h = Math.floor(s / 3600), m = Math.floor((s % 3600) / 60), r = s % 60;
  const two = (n) => String(n).padStart(2, "0");
  return h > 0 ? `${h}:${two(m)}:${two(r)}` : `${m}:${two(r)}`;
}

function kindCell(kindName) {
  const td = html("td");
  if (!kindName) {
    td.append(html("span", "muted", "—"));
    return td;
  }
  const kind = KINDS[kindName] || KINDS.other;
  const span = html("span", "kind");
  const dot = html("i");
  dot.style.background = kind.colour;
  span.append(dot, document.createTextNode(kind.name));
  td.append(span);
  return td;
}

function drawUsers(users) {
  const body = el("users").tBodies[0];
  body.replaceChildren();
  for (const u of users) {
    const row = html("tr");
    row.dataset.user = String(u.user);
    row.classList.toggle("selected", state.selected === u.user);
    const title = missionTitle(u);
    const mission = html("td", title ? "" : "muted");
    mission.append(html("div", "clamp", title || "—"));
    if (title) mission.title = title;
    row.append(html("td", "", u.handle), kindCell(u.vehicle), mission,
      html("td", "num", duration(u.online_s)));
    row.addEventListener("click", () => select(u.user));
    body.append(row);
  }
  el("users-count").textContent = String(users.length);
  el("online-count").textContent = String(users.length);
  el("users-empty").hidden = users.length > 0;
}

function drawChat() {
  const list = el("chat");
  const atBottom = list.scrollTop + list.clientHeight >= list.scrollHeight - 4;
  list.replaceChildren();
  for (const line of state.chat) {
    const item = html("li", line.server ? "server" : "");
    item.append(html("time", "", clock(line.time_ms)), html("span", "who", line.handle),
      html("span", "text", line.text));
    list.append(item);
  }
  el("chat-empty").hidden = state.chat.length > 0;
  if (atBottom) list.scrollTop = list.scrollHeight;
}

function drawResults() {
  const body = el("results").tBodies[0];
  body.replaceChildren();
  for (const r of [...state.results].reverse()) {
    const row = html("tr");
    row.append(html("td", "", r.handle), html("td", "", r.mission),
      html("td", "num", fmt(r.seconds, 1) + " 秒"), html("td", "num", clock(r.time_ms)));
    body.append(row);
  }
  el("results-empty").hidden = state.results.length > 0;
}

function bytes(n) {
  if (n >= 1e6) return fmt(n / 1e6, 1) + " MB/s";
  if (n >= 1e3) return fmt(n / 1e3, 1) + " kB/s";
  return fmt(n) + " B/s";
}

function drawHealth(h) {
  el("h-users").textContent = String(h.users);
  el("h-rounds").textContent = fmt(h.rounds_per_s, 1);
  el("h-round").textContent = fmt(h.round_ms_median, 2) + " / " + fmt(h.round_ms_max, 2) + " ms";
  el("h-bytes").textContent = bytes(h.bytes_sent_per_s) + " / " + bytes(h.bytes_received_per_s);
  const refused = Object.entries(h.refusals).filter(([, n]) => n > 0)
    .map(([reason, n]) => (REFUSALS[reason] || reason) + " " + n);
  el("h-refused").textContent = refused.length ? refused.join("、") : "なし";
  el("h-uptime").textContent = duration(h.uptime_s);
}

// Keeps the lines not seen before, in order, at most `limit` of them; true
// when there were any.
function merge(list, incoming, limit) {
  let added = false;
  for (const item of incoming) {
    const last = list.length ? list[list.length - 1].seq : 0;
    if (item.seq > last) {
      list.push(item);
      added = true;
    }
  }
  if (list.length > limit) list.splice(0, list.length - limit);
  return added;
}

function apply(s) {
  state.clockOffset = Date.now() - s.time_ms;
  state.missions = new Map(s.missions.map((m) => [m.no, m.title]));
  el("world").textContent = String(s.server.world);
  const now = performance.now();
  const seen = new Set();
  for (const v of s.vehicles) {
    seen.add(v.user);
    let entry = state.vehicles.get(v.user);
    if (!entry) {
      entry = { data: v, node: makeVehicle(v), at: now };
      state.vehicles.set(v.user, entry);
    }
    entry.data = v;
    entry.at = now;
    updateVehicle(entry);
  }
  for (const [user, entry] of state.vehicles) {
    if (!seen.has(user)) {
      entry.node.remove();
      state.vehicles.delete(user);
    }
  }
  placeVehicles(now);
  // Until the viewer takes the map in hand, it keeps every vehicle in view.
  const vehicles = [...state.vehicles.values()];
  if (!state.moved && state.view && vehicles.some(({ data }) => outside(data))) fit();
  drawUsers(s.users);
  if (merge(state.chat, s.chat, 100) || !state.drawnOnce) drawChat();
  if (merge(state.results, s.results, 20) || !state.drawnOnce) drawResults();
  drawHealth(s.health);
  state.drawnOnce = true;
}

// ----- the connection -----

function linkState(on, text) {
  const pill = el("link");
  pill.classList.toggle("on", on === true);
  pill.classList.toggle("off", on === false);
  el("link-text").textContent = text;
}

async function poll() {
  try {
    const response = await fetch("/api/state", { cache: "no-store" });
    if (response.ok) apply(await response.json());
  } catch (e) {
    linkState(false, "サーバーに接続できません");
  }
}

function connect() {
  const scheme = location.protocol === "https:" ? "wss:" : "ws:";
  const socket = new WebSocket(scheme + "//" + location.host + "/api/events");
  socket.binaryType = "arraybuffer";
  const decoder = new TextDecoder();
  state.socket = socket;
  socket.onopen = () => {
    linkState(true, "ライブ");
    if (state.polling) clearInterval(state.polling);
    state.polling = null;
  };
  socket.onmessage = (e) => {
    const text = typeof e.data === "string" ? e.data : decoder.decode(e.data);
    apply(JSON.parse(text));
  };
  socket.onclose = () => {
    linkState(false, "再接続しています…");
    if (!state.polling) state.polling = setInterval(poll, 2000);
    setTimeout(connect, 3000);
  };
}

async function start() {
  wirePanZoom();
  map.addEventListener("click", () => { if (state.selected !== null) select(state.selected); });
  const [mapData, first] = await Promise.all([
    fetch("/map.json").then((r) => r.json()),
    fetch("/api/state", { cache: "no-store" }).then((r) => r.json()),
  ]);
  drawMap(mapData);
  setView({ ...state.home });
  apply(first);
  fit();
  connect();
  requestAnimationFrame(animate);
}

start();
