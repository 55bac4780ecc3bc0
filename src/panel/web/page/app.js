// The analyzer's screen and keys in the browser. The server sends every
// screen as an event; this script draws it as the window's painter does:
// the same colours, places and texts, in the window's plot units.
"use strict";

const token = new URLSearchParams(location.search).get("token") || "";
const LEFT = 10, RIGHT = 650, WIDTH = 660, HEIGHT = 714;
const GRATICULE_HEIGHT = 500, DIVISIONS = 10, COLUMNS_PER_DIV = 64, ROWS_PER_DIV = 50;
const CLAMPED_ROWS = 8;
const FONT = "Arial, 'Liberation Sans', sans-serif";
const px = points => points * 96 / 72;  // Qt's points on a 96 dpi screen

const COLOURS = {
  black: "rgb(0,0,0)", white: "rgb(255,255,255)", yellow: "rgb(255,255,0)",
  green: "rgb(0,255,0)", red: "rgb(255,0,0)", cyan: "rgb(0,255,255)",
  blue: "rgb(0,0,192)", teal: "rgb(0,128,128)", purple: "rgb(192,0,192)",
};

function schemeOf(screen) {
  const classic = !!screen.classic;
  return {
    background: COLOURS.black,
    text: COLOURS.yellow,
    graticule: classic ? COLOURS.teal : COLOURS.blue,
    traceA: classic ? COLOURS.yellow : COLOURS.green,
    traceB: classic ? COLOURS.cyan : COLOURS.red,
    upperLimit: COLOURS.purple,
    marker: COLOURS.white,
    readout: classic ? COLOURS.white : COLOURS.yellow,
  };
}

const canvas = document.getElementById("screen");
const ctx = canvas.getContext("2d");
let indicatorTurn = 0;

// A text on its own background, as on the instrument's screen.
function drawText(t, colour, points, bold, background) {
  ctx.font = (bold ? "bold " : "") + px(points) + "px " + FONT;
  ctx.textBaseline = "top";
  const width = ctx.measureText(t.text).width;
  let x = t.x;
  if (t.align === "centre") x = t.x + (t.w - width) / 2;
  else if (t.align === "right") x = t.x + t.w - width;
  if (background) {
    ctx.fillStyle = background;
    ctx.fillRect(x, t.y, width, px(points) * 1.15);
  }
  ctx.fillStyle = colour;
  ctx.fillText(t.text, x, t.y);
}

function drawGraticule(top, c) {
  ctx.strokeStyle = c.graticule;
  ctx.lineWidth = 1;
  ctx.beginPath();
  for (let i = 0; i <= DIVISIONS; i++) {
    const x = LEFT + COLUMNS_PER_DIV * i + 0.5;
    const y = top + ROWS_PER_DIV * i + 0.5;
    ctx.moveTo(x, top); ctx.lineTo(x, top + GRATICULE_HEIGHT);
    ctx.moveTo(LEFT, y); ctx.lineTo(RIGHT, y);
  }
  ctx.stroke();
}

// 640 segments from one column's row to the next; a column that measured
// nothing leaves a gap, a lone column is a dot.
function drawRows(rows, top, colour) {
  if (!rows) return;
  ctx.strokeStyle = colour;
  ctx.fillStyle = colour;
  ctx.lineWidth = 2;
  ctx.lineCap = "square";
  ctx.beginPath();
  for (let i = 0; i < rows.length; i++) {
    if (rows[i] === null) continue;
    const x = LEFT + i, y = top + rows[i];
    const before = i > 0 && rows[i - 1] !== null;
    const after = i + 1 < rows.length && rows[i + 1] !== null;
    if (!before) ctx.moveTo(x, y);
    if (after) ctx.lineTo(x + 1, top + rows[i + 1]);
    else if (!before) ctx.fillRect(x - 1, y - 1, 2, 2);
  }
  ctx.stroke();
}

function drawTraces(s, c) {
  const top = s.top;
  ctx.save();
  ctx.beginPath();
  ctx.rect(LEFT - 1, top - CLAMPED_ROWS, 642, GRATICULE_HEIGHT + 2 * CLAMPED_ROWS + 1);
  ctx.clip();
  drawRows(s.traceA, top, c.traceA);
  ctx.restore();
  ctx.save();
  ctx.beginPath();
  ctx.rect(LEFT - 1, top, 642, GRATICULE_HEIGHT + 1);
  ctx.clip();
  drawRows(s.limits.traceB, top, c.traceB);
  drawRows(s.limits.upper, top, c.upperLimit);
  ctx.restore();
}

function drawMarkers(s, c) {
  for (const m of s.markers) {
    ctx.strokeStyle = c.marker;
    ctx.lineWidth = 2;
    ctx.beginPath();
    if (m.n === 1) {
      ctx.rect(m.x - 2, m.y - 2, 4, 4);
    } else {
      ctx.moveTo(m.x - 2, m.y - 2); ctx.lineTo(m.x + 2, m.y + 2);
      ctx.moveTo(m.x - 2, m.y + 2); ctx.lineTo(m.x + 2, m.y - 2);
    }
    ctx.stroke();
    const bx = m.x + 4 + 11 <= RIGHT ? m.x + 4 : m.x - 4 - 11;
    const above = m.y - 4 - 14;
    const by = above >= s.top ? above : m.y + 4;
    if (m.active) {
      ctx.fillStyle = c.marker;
      ctx.fillRect(bx, by, 11, 14);
    }
    drawText({x: bx, y: by + 1, w: 11, align: "centre", text: String(m.n)},
             m.active ? c.background : c.marker, 9, true, null);
  }
}

function drawMeasurements(s, c) {
  ctx.save();
  ctx.strokeStyle = c.text;
  ctx.setLineDash([6, 3]);
  ctx.lineWidth = 1;
  for (const column of s.channelEdges) {
    ctx.beginPath();
    ctx.moveTo(LEFT + column + 0.5, s.top);
    ctx.lineTo(LEFT + column + 0.5, s.top + GRATICULE_HEIGHT);
    ctx.stroke();
  }
  ctx.restore();
  s.measurements.forEach((line, i) => drawText(
      {x: 250, y: s.top + 5 + 20 * i, w: RIGHT - 5 - 250, align: "right", text: line},
      c.text, 11, false, c.background));
}

function drawIndicator(sweeping) {
  ctx.fillStyle = COLOURS.black;
  ctx.fillRect(624, 4, 32, 32);
  if (!sweeping) return;
  indicatorTurn = (indicatorTurn + 1) % 8;
  const from = indicatorTurn * Math.PI / 4;
  ctx.fillStyle = COLOURS.white;
  ctx.beginPath();
  ctx.moveTo(640, 20);
  ctx.arc(640, 20, 16, from, from + Math.PI / 2);
  ctx.closePath();
  ctx.fill();
}

function drawScreen(s) {
  const c = schemeOf(s);
  ctx.fillStyle = c.background;
  ctx.fillRect(0, 0, WIDTH, HEIGHT);
  drawGraticule(s.top, c);
  if (s.annunciators) {
    drawText({x: s.annunciatorAt[0], y: s.annunciatorAt[1], w: RIGHT, align: "left",
              text: s.annunciators}, c.text, 12, true, c.background);
  }
  for (const t of s.texts) drawText(t, c.text, 14, false, c.background);
  for (const strip of [s.readout, ...s.extraReadouts]) {
    ctx.fillStyle = COLOURS.black;
    ctx.fillRect(strip.x, strip.y, strip.w, strip.h);
    if (strip.text) drawText(strip, c.readout, 12, false, c.background);
  }
  drawMeasurements(s, c);
  drawTraces(s, c);
  if (s.limits.verdict) {
    drawText({x: LEFT + 8, y: s.top + 30, w: 230, align: "left", text: s.limits.verdict.text},
             s.limits.verdict.pass ? COLOURS.green : COLOURS.red, 12, true, c.background);
  }
  drawMarkers(s, c);
  drawIndicator(s.sweeping);
}

function drawDisconnected() {
  ctx.fillStyle = COLOURS.black;
  ctx.fillRect(0, 0, WIDTH, HEIGHT);
  drawGraticule(70, schemeOf({}));
  drawText({x: 0, y: 300, w: WIDTH, align: "centre", text: "UNIT DISCONNECTED"},
           COLOURS.red, 20, true, COLOURS.black);
}

// --- The spectrogram: the newest sweep on top, older ones moving down ---

const VIRIDIS = [
  [0.2777273272234177, 0.005407344544966578, 0.3340998053353061],
  [0.1050930431085774, 1.404613529898575, 1.384590162594685],
  [-0.3308618287255563, 0.214847559468213, 0.09509516302823659],
  [-4.634230498983486, -5.799100973351585, -19.33244095627987],
  [6.228269936347081, 14.17993336680509, 56.69055260068105],
  [4.776384997670288, -13.74514537774601, -65.35303263337234],
  [-5.435455855934631, 4.645852612178535, 26.3124352495832],
];

function viridis(t) {
  const rgb = [0, 0, 0];
  for (let k = 0; k < 3; k++) {
    let v = VIRIDIS[6][k];
    for (let p = 5; p >= 0; p--) v = VIRIDIS[p][k] + t * v;
    rgb[k] = Math.round(Math.min(1, Math.max(0, v)) * 255);
  }
  return rgb;
}

const waterfall = document.getElementById("spectrogram");
const wctx = waterfall.getContext("2d");
let waterfallSeq = 0;

function drawSpectrogram(row) {
  document.getElementById("spectrogram-on").checked = !!row;
  if (!row) {
    waterfall.hidden = true;
    waterfallSeq = 0;
    return;
  }
  if (waterfall.hidden) {
    waterfall.hidden = false;
    wctx.fillStyle = COLOURS.black;
    wctx.fillRect(0, 0, waterfall.width, waterfall.height);
  }
  if (row.seq === 0 || row.seq === waterfallSeq) return;
  waterfallSeq = row.seq;
  wctx.drawImage(waterfall, 0, 1);
  const line = wctx.createImageData(row.levels.length, 1);
  const bottom = row.refDbm - DIVISIONS * row.dbPerDiv;
  row.levels.forEach((level, i) => {
    const t = Math.min(1, Math.max(0, (level - bottom) / (DIVISIONS * row.dbPerDiv)));
    const [r, g, b] = viridis(t);
    line.data.set([r, g, b, 255], 4 * i);
  });
  wctx.putImageData(line, LEFT, 0);  // under the graticule's columns
}

// --- What the server says ---

const statusLine = document.getElementById("status");
const unitLine = document.getElementById("unit");
window.tavlinFrames = 0;

function showUnit(screen) {
  statusLine.dataset.connected = String(screen.connected);
  statusLine.textContent = screen.connected ? "Connected" : "Unit disconnected";
  const u = screen.unit;
  unitLine.textContent = u ? `Serial ${u.serial}  ·  firmware ${u.firmware}  ·  ` +
                             `cal date ${u.calDate}  ·  ${u.calibration}` : "";
}

function show(screen) {
  window.tavlinLast = screen;
  window.tavlinFrames++;
  showUnit(screen);
  if (screen.connected) {
    drawScreen(screen);
    drawSpectrogram(screen.spectrogram);
  } else {
    drawDisconnected();
  }
}

function withToken(path) {
  return token ? `${path}?token=${encodeURIComponent(token)}` : path;
}

function authHeaders(extra) {
  const headers = Object.assign({}, extra);
  if (token) headers.Authorization = `Bearer ${token}`;
  return headers;
}

function watch() {
  const stream = new EventSource(withToken("/api/stream"));
  stream.onmessage = event => show(JSON.parse(event.data));
  stream.onerror = () => {
    statusLine.dataset.connected = "false";
    statusLine.textContent = "Server not reachable";
  };
}

// --- The keys ---

const message = document.getElementById("message");

async function press(action, value) {
  message.textContent = "";
  try {
    const reply = await fetch("/api/control", {
      method: "POST",
      headers: authHeaders({"Content-Type": "application/json"}),
      body: JSON.stringify({action, value: value || ""}),
    });
    if (!reply.ok) {
      const body = await reply.json().catch(() => ({}));
      message.textContent = body.error || `refused (${reply.status})`;
    }
  } catch (error) {
    message.textContent = "the server is not reachable";
  }
}

async function listStates() {
  const reply = await fetch("/api/states", {headers: authHeaders({})});
  if (!reply.ok) return;
  const body = await reply.json();
  const select = document.getElementById("state-name");
  select.replaceChildren(...body.states.map(name => new Option(name, name)));
  if (body.readOnly) {
    for (const control of document.querySelectorAll("#panel button[data-action], #panel input")) {
      control.disabled = true;
    }
    message.textContent = "This page is read-only.";
  }
}

function download(blob, name) {
  const link = document.createElement("a");
  link.href = URL.createObjectURL(blob);
  link.download = name;
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 1000);
}

async function saveCsv() {
  const reply = await fetch("/api/trace.csv", {headers: authHeaders({})});
  if (!reply.ok) {
    message.textContent = `no trace (${reply.status})`;
    return;
  }
  download(await reply.blob(), "trace.csv");
}

for (const key of document.querySelectorAll("button[data-action]")) {
  key.addEventListener("click", () => {
    const field = key.dataset.field ? document.getElementById(key.dataset.field) : null;
    press(key.dataset.action, field ? field.value : "");
  });
}
for (const field of document.querySelectorAll("#panel input:not([type=checkbox])")) {
  field.addEventListener("keydown", event => {
    if (event.key === "Enter") {
      event.preventDefault();
      press(field.id, field.value);
    }
  });
}
document.getElementById("spectrogram-on").addEventListener("change",
    event => press("spectrogram", event.target.checked ? "on" : "off"));
document.getElementById("save-csv").addEventListener("click", saveCsv);
document.getElementById("save-png").addEventListener("click",
    () => canvas.toBlob(blob => download(blob, "tavlin-screen.png"), "image/png"));

listStates();
watch();
