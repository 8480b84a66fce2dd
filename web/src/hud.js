// The HUD at the current moment: the standard HUD (the layout korvan-sim draws in
// sim/app/standard_hud.cpp, from the same values) with the vessel's own items, recorded at
// each telemetry row, drawn on top.

const RAD = Math.PI / 180;
const LADDER_STEP = 10, LADDER_SPAN = 30, RUNG_HALF = 120, RUNG_GAP = 40;
const TAPE_Y = 40, TAPE_HALF_SPAN = 30, TAPE_STEP = 5;
const BANK_RADIUS = 220, BANK_TICKS = [-60, -45, -30, -20, -10, 0, 10, 20, 30, 45, 60];
const READOUT_X = 300, MARKER_R = 12;
const TEXT_ASCENT = 13;  // the 16 px font's baseline below the point a text is placed at
const trunc = Math.trunc;

class Pad {
  constructor(ctx) { this.ctx = ctx; this.px = 0; this.py = 0; }
  line(x0, y0, x1, y1) {
    const c = this.ctx;
    c.beginPath(); c.moveTo(x0, y0); c.lineTo(x1, y1); c.stroke();
    this.px = x1; this.py = y1;
  }
  moveTo(x, y) { this.px = x; this.py = y; }
  lineTo(x, y) { this.line(this.px, this.py, x, y); }
  rect(x0, y0, x1, y1) { this.ctx.strokeRect(Math.min(x0, x1), Math.min(y0, y1), Math.abs(x1 - x0), Math.abs(y1 - y0)); }
  ellipse(x0, y0, x1, y1) {
    const c = this.ctx;
    c.beginPath();
    c.ellipse((x0 + x1) / 2, (y0 + y1) / 2, Math.abs(x1 - x0) / 2, Math.abs(y1 - y0) / 2, 0, 0, 2 * Math.PI);
    c.stroke();
  }
  text(x, y, s) { this.ctx.fillText(s, x, y + TEXT_ASCENT); }
}

function rotate(b, dx, dy) { return [dx * Math.cos(b) - dy * Math.sin(b), dx * Math.sin(b) + dy * Math.cos(b)]; }
const pad3 = (n) => String(((n % 360) + 360) % 360).padStart(3, '0');
const fixed = (v, width, digits) => v.toFixed(digits).padStart(width, ' ');

function ladder(p, hps, pitch, bank, pxPerDeg) {
  const b = bank * RAD;
  for (let a = Math.ceil((pitch - LADDER_SPAN) / LADDER_STEP) * LADDER_STEP; a <= pitch + LADDER_SPAN; a += LADDER_STEP) {
    if (a < -90 || a > 90) continue;
    const dy = (pitch - a) * pxPerDeg;
    const outer = a === 0 ? 2 * RUNG_HALF : RUNG_HALF;
    for (const side of [-1, 1]) {
      const [x0, y0] = rotate(b, side * RUNG_GAP, dy);
      const [x1, y1] = rotate(b, side * outer, dy);
      p.line(hps.CX + trunc(x0), hps.CY + trunc(y0), hps.CX + trunc(x1), hps.CY + trunc(y1));
    }
    if (a !== 0) {
      const [lx, ly] = rotate(b, RUNG_HALF + 8, dy);
      p.text(hps.CX + trunc(lx), hps.CY + trunc(ly) - 8, String(a));
    }
  }
}

function tape(p, hps, heading, pxPerDeg) {
  for (let h = Math.ceil((heading - TAPE_HALF_SPAN) / TAPE_STEP) * TAPE_STEP; h <= heading + TAPE_HALF_SPAN; h += TAPE_STEP) {
    const x = hps.CX + trunc((h - heading) * pxPerDeg);
    const major = h % (2 * TAPE_STEP) === 0;
    p.line(x, TAPE_Y, x, TAPE_Y + (major ? 12 : 6));
    if (major) p.text(x - 12, TAPE_Y + 14, pad3(h));
  }
  p.line(hps.CX, TAPE_Y - 10, hps.CX, TAPE_Y);
}

function bankScale(p, hps, bank) {
  for (const t of BANK_TICKS) {
    const len = t % 30 === 0 ? 14 : 8;
    const [x0, y0] = rotate(t * RAD, 0, BANK_RADIUS);
    const [x1, y1] = rotate(t * RAD, 0, BANK_RADIUS + len);
    p.line(hps.CX + trunc(x0), hps.CY + trunc(y0), hps.CX + trunc(x1), hps.CY + trunc(y1));
  }
  const b = bank * RAD;
  const [px, py] = rotate(b, 0, BANK_RADIUS - 2), [lx, ly] = rotate(b, -6, BANK_RADIUS - 12), [rx, ry] = rotate(b, 6, BANK_RADIUS - 12);
  p.moveTo(hps.CX + trunc(lx), hps.CY + trunc(ly));
  p.lineTo(hps.CX + trunc(px), hps.CY + trunc(py));
  p.lineTo(hps.CX + trunc(rx), hps.CY + trunc(ry));
}

function markerAt(hps, dir, pxPerDeg) {
  if (!dir || !dir[2]) return null;
  const x = hps.CX + trunc(dir[0] * pxPerDeg), y = hps.CY - trunc(dir[1] * pxPerDeg);
  return x >= 0 && x < hps.W && y >= 0 && y < hps.H ? [x, y] : null;
}

function readout(p, x, y, text) {
  p.rect(x - 4, y - 2, x + text.length * 10 + 4, y + 18);
  p.text(x, y, text);
}

// values: pitch, bank, heading, airspeed, altitude, mach, apoapsis, periapsis (telemetry
// units, interpolated); row: the HUD record of the moment (mode, markers, vessel items).
export function drawHud(canvas, hps, values, row, t) {
  const ctx = canvas.getContext('2d');
  ctx.fillStyle = '#101418';
  ctx.fillRect(0, 0, hps.W, hps.H);
  ctx.strokeStyle = ctx.fillStyle = '#40ff60';
  ctx.lineWidth = 1.5;
  ctx.font = '16px monospace';
  const p = new Pad(ctx);
  const pxPerDeg = hps.Scale * RAD;
  // The host's own items: the boresight and the clock.
  p.line(hps.CX - hps.Markersize, hps.CY, hps.CX - trunc(hps.Markersize / 3), hps.CY);
  p.line(hps.CX + trunc(hps.Markersize / 3), hps.CY, hps.CX + hps.Markersize, hps.CY);
  p.line(hps.CX, hps.CY + trunc(hps.Markersize / 3), hps.CX, hps.CY + hps.Markersize);
  p.text(8, 8, `T+${t.toFixed(2)} s`);
  const surface = row ? row.mode === 2 : values.altitude < hps.orbit_mode_altitude_m;
  if (surface) {
    ladder(p, hps, values.pitch, values.bank, pxPerDeg);
    tape(p, hps, values.heading, pxPerDeg);
    bankScale(p, hps, values.bank);
    readout(p, hps.CX - READOUT_X - 160, hps.CY - 9, `SPD ${fixed(values.airspeed, 5, 0)} m/s  M ${fixed(values.mach, 4, 2)}`);
    readout(p, hps.CX + READOUT_X, hps.CY - 9, `ALT ${fixed(values.altitude / 1000, 7, 2)} km`);
    const m = values.airspeed > 1 && row && markerAt(hps, row.fpm, pxPerDeg);
    if (m) {
      const [x, y] = m, r = MARKER_R;
      p.ellipse(x - r / 2, y - r / 2, x + r / 2, y + r / 2);
      p.line(x - r * 1.5, y, x - r / 2, y); p.line(x + r / 2, y, x + r * 1.5, y); p.line(x, y - r / 2, x, y - r);
    }
  } else {
    readout(p, hps.CX + READOUT_X, hps.CY - 30, `ApA ${fixed(values.apoapsis, 8, 1)} km`);
    readout(p, hps.CX + READOUT_X, hps.CY + 10, `PeA ${fixed(values.periapsis, 8, 1)} km`);
    readout(p, hps.CX - READOUT_X - 140, hps.CY - 9, `VEL ${fixed(row ? row.v : 0, 6, 0)} m/s`);
    const r = MARKER_R;
    const pro = row && markerAt(hps, row.pro, pxPerDeg);
    if (pro) {
      const [x, y] = pro;
      p.ellipse(x - r, y - r, x + r, y + r);
      p.line(x - 2 * r, y, x - r, y); p.line(x + r, y, x + 2 * r, y); p.line(x, y - 2 * r, x, y - r);
    }
    const retro = row && markerAt(hps, row.retro, pxPerDeg);
    if (retro) {
      const [x, y] = retro;
      p.ellipse(x - r, y - r, x + r, y + r);
      p.line(x - r, y - r, x + r, y + r); p.line(x - r, y + r, x + r, y - r);
    }
  }
  // The vessel's own items, as its HUD callback drew them: Text, MoveTo, LineTo, Line,
  // Rectangle, Ellipse.
  for (const it of row ? row.items : []) {
    switch (it[0]) {
      case 0: p.text(it[1], it[2], it[3]); break;
      case 1: p.moveTo(it[1], it[2]); break;
      case 2: p.lineTo(it[1], it[2]); break;
      case 3: p.line(it[1], it[2], it[3], it[4]); break;
      case 4: p.rect(it[1], it[2], it[3], it[4]); break;
      case 5: p.ellipse(it[1], it[2], it[3], it[4]); break;
    }
  }
}
