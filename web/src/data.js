// One run's data (replay-data.js, written by korvan-sim) and its values at any time,
// interpolated between samples as the view shows them.

const DEG = 180 / Math.PI;

// Index of the last time <= t in a sorted array (0 before the first).
export function indexAt(times, t) {
  let lo = 0, hi = times.length - 1;
  if (hi < 0 || t <= times[0]) return 0;
  if (t >= times[hi]) return hi;
  while (hi - lo > 1) {
    const mid = (lo + hi) >> 1;
    if (times[mid] <= t) lo = mid; else hi = mid;
  }
  return lo;
}

function between(times, t) {
  const i = indexAt(times, t);
  const j = Math.min(i + 1, times.length - 1);
  const span = times[j] - times[i];
  const f = span > 0 ? Math.min(Math.max((t - times[i]) / span, 0), 1) : 0;
  return [i, j, f];
}

const lerp = (a, b, f) => a + (b - a) * f;

// The longitude of b moved by whole turns to within half a turn of a.
function unwrap(a, b) {
  while (b - a > 180) b -= 360;
  while (b - a < -180) b += 360;
  return b;
}

// Pitch, bank and heading (degrees) of an attitude quaternion, vessel frame to local horizon
// (east, up, north): the same definitions korvan-sim's telemetry uses.
export function anglesOf(q) {
  const { w, x, y, z } = q;
  const m13 = 2 * (x * z + w * y), m23 = 2 * (y * z - w * x), m33 = 1 - 2 * (x * x + y * y);
  const m21 = 2 * (x * y + w * z), m22 = 1 - 2 * (x * x + z * z);
  const pitch = Math.asin(Math.max(-1, Math.min(1, m23))) * DEG;
  let heading = Math.atan2(m13, m33) * DEG;
  if (heading < 0) heading += 360;
  return { pitch, bank: Math.atan2(m21, m22) * DEG, heading };
}

export class Run {
  constructor(raw, label) {
    this.raw = raw;
    this.label = label;
    this.telemetry = raw.telemetry;
    this.times = raw.telemetry.time_s;
    this.events = raw.events.map((e) => ({ name: e.name, t: e.t }));
    this.vessels = raw.vessels;
    this.focus = raw.vessels.find((v) => v.qw) || raw.vessels[0];
    this.duration = Math.max(this.times[this.times.length - 1] || 0, this.focus ? this.focus.t[this.focus.t.length - 1] : 0);
    this.body = raw.body || { radius: 6371e3, mu: 3.986004e14, sidereal_period: 86164.1, rotation_offset: 0 };
    this.hud = raw.hud;
    this.hudTimes = raw.hud ? raw.hud.rows.map((r) => r.t) : [];
  }

  // A telemetry column at time t, linear between rows.
  column(name, t) {
    const c = this.telemetry[name];
    if (!c) return 0;
    const [i, j, f] = between(this.times, t);
    return lerp(c[i], c[j], f);
  }

  // The telemetry row at or before t.
  rowIndex(t) { return indexAt(this.times, t); }

  hudRow(t) { return this.hud ? this.hud.rows[indexAt(this.hudTimes, t)] : null; }

  // A vessel's track at time t: position, attitude (normalised linear blend, the shorter way
  // round), main level and animation states.
  sample(t, vessel = this.focus) {
    const [i, j, f] = between(vessel.t, t);
    const s = {
      t,
      lat: lerp(vessel.lat[i], vessel.lat[j], f),
      lon: lerp(vessel.lon[i], unwrap(vessel.lon[i], vessel.lon[j]), f),
      alt: lerp(vessel.alt[i], vessel.alt[j], f),
    };
    if (s.lon > 180) s.lon -= 360;
    if (s.lon < -180) s.lon += 360;
    if (vessel.qw) {
      const p = [vessel.qw[i], vessel.qx[i], vessel.qy[i], vessel.qz[i]];
      let q = [vessel.qw[j], vessel.qx[j], vessel.qy[j], vessel.qz[j]];
      if (p[0] * q[0] + p[1] * q[1] + p[2] * q[2] + p[3] * q[3] < 0) q = q.map((v) => -v);
      const r = p.map((v, k) => lerp(v, q[k], f));
      const n = Math.hypot(...r);
      s.q = { w: r[0] / n, x: r[1] / n, y: r[2] / n, z: r[3] / n };
      s.main = lerp(vessel.main[i], vessel.main[j], f);
      s.anim = vessel.anim.map((a) => lerp(a[i], a[j], f));
    }
    return s;
  }

  // What the page shows at time t (window.korvanReplay.state()).
  state(t) {
    const s = this.sample(t);
    const a = s.q ? anglesOf(s.q) : { pitch: 0, bank: 0, heading: 0 };
    const anim = s.anim || [];
    return {
      t,
      altitude_m: s.alt,
      latitude_deg: s.lat,
      longitude_deg: s.lon,
      pitch_deg: a.pitch,
      bank_deg: a.bank,
      heading_deg: a.heading,
      // The Korvan's gear legs, doors and brakes animations follow the mechanisms' travel.
      gear: anim[1] ?? 0,
      doors: anim[2] ?? 0,
      brakes: anim[8] ?? 0,
      main_level: s.main ?? 0,
    };
  }

  // The body's rotation angle (rad) at time t: longitudes turn with it.
  bodyAngle(t) { return this.body.rotation_offset + (2 * Math.PI * t) / this.body.sidereal_period; }
}

// The JSON object inside a replay-data.js text (for a second run picked as a file).
export function parseDataScript(text) {
  const start = text.indexOf('.push(');
  const end = text.lastIndexOf(');');
  if (start < 0 || end < start) throw new Error('not a replay-data.js file');
  return JSON.parse(text.slice(start + 6, end));
}
