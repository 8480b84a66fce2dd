// The replay page: one korvan-sim run (replay-data.js beside the page), watched in 3D with
// its plots, HUD and timeline; a second run laid over it in compare mode. Scripts and tests
// drive it through window.korvanReplay.
import 'uplot/dist/uPlot.min.css';
import { Run, parseDataScript } from './data.js';
import { View } from './scene.js';
import { Plots } from './plots.js';
import { drawHud } from './hud.js';

const SPEEDS = [1, 10, 100, 1000];
const BOOKMARKS = ['liftoff', 'gear_up', 'mach1', 'engine_switch', 'cutoff', 'apoapsis', 'orbit', 'landed'];
const $ = (id) => document.getElementById(id);

function fail(message) {
  $('status').textContent = message;
  $('status').className = 'error';
}

// The data of the run in the folder `path` (relative to this page), by <script src>: the
// only way a page opened from disk may read another file there.
function loadRunScript(path) {
  return new Promise((resolve, reject) => {
    const before = (window.korvanRuns || []).length;
    const s = document.createElement('script');
    s.src = path.replace(/\/?$/, '/') + 'replay-data.js';
    s.onload = () => (window.korvanRuns.length > before ? resolve(window.korvanRuns[window.korvanRuns.length - 1]) : reject(new Error(`${s.src} holds no run`)));
    s.onerror = () => reject(new Error(`cannot read ${s.src}`));
    document.head.appendChild(s);
  });
}

class Replay {
  constructor(run) {
    this.run = run;
    this.t = 0;
    this.playing = false;
    this.speed = 10;
    this.view = new View($('view'), run);
    this.plots = new Plots($('plots'), [run], (t) => this.seek(t));
    this.hudCanvas = $('hud');
    this.hudCanvas.width = run.hud ? run.hud.W : 1024;
    this.hudCanvas.height = run.hud ? run.hud.H : 768;
    this.buildTimeline();
    this.lastFrame = null;
    this.pending = [];
    this.dirty = true;  // something changed that the next frame must show
    this.view.controls.addEventListener('change', () => { this.dirty = true; });
    window.addEventListener('resize', () => { this.dirty = true; });
    requestAnimationFrame((now) => this.frame(now));
  }

  buildTimeline() {
    const run = this.run;
    const slider = $('time');
    slider.max = run.duration;
    slider.addEventListener('input', () => this.seek(Number(slider.value)));
    $('play').addEventListener('click', () => this.toggle());
    const speed = $('speed');
    for (const s of SPEEDS) speed.add(new Option(`x${s}`, s, s === this.speed, s === this.speed));
    speed.addEventListener('change', () => { this.speed = Number(speed.value); });
    for (const m of document.querySelectorAll('input[name=camera]')) {
      m.addEventListener('change', () => { this.view.setCameraMode(m.value); this.dirty = true; });
    }
    const marks = $('marks'), list = $('bookmarks');
    for (const e of run.events) {
      const tick = document.createElement('div');
      tick.className = BOOKMARKS.includes(e.name) ? 'tick' : 'tick script';
      tick.style.left = `${(100 * e.t) / run.duration}%`;
      tick.title = `${e.name} ${e.t.toFixed(1)} s`;
      marks.appendChild(tick);
      const b = document.createElement('button');
      b.textContent = `${e.name} ${e.t.toFixed(0)} s`;
      b.addEventListener('click', () => this.seek(e.t));
      list.appendChild(b);
    }
    document.addEventListener('keydown', (e) => { if (e.code === 'Space' && e.target === document.body) { e.preventDefault(); this.toggle(); } });
  }

  toggle() {
    this.playing = !this.playing;
    $('play').textContent = this.playing ? 'Pause' : 'Play';
  }

  // Shows time t; the promise resolves once the frame showing it has been drawn.
  seek(t) {
    this.t = Math.min(Math.max(Number(t) || 0, 0), this.run.duration);
    this.dirty = true;
    return new Promise((resolve) => this.pending.push(resolve));
  }

  frame(now) {
    if (this.playing && this.lastFrame !== null) {
      this.t = Math.min(this.t + ((now - this.lastFrame) / 1000) * this.speed, this.run.duration);
      if (this.t >= this.run.duration) this.toggle();
    }
    this.lastFrame = now;
    // A paused page with nothing new draws nothing.
    if (this.playing || this.dirty || this.pending.length) this.draw();
    this.dirty = false;
    const done = this.pending;
    this.pending = [];
    done.forEach((resolve) => resolve());
    requestAnimationFrame((n) => this.frame(n));
  }

  draw() {
    const { run, t } = this;
    this.view.show(t);
    this.plots.setTime(t);
    $('time').value = t;
    const st = run.state(t);
    $('clock').textContent = `T+${t.toFixed(1)} s`;
    $('readout').textContent = `alt ${(st.altitude_m / 1000).toFixed(2)} km  speed ${run.column('airspeed_m_s', t).toFixed(0)} m/s  Mach ${run.column('mach', t).toFixed(2)}  ` +
      `pitch ${st.pitch_deg.toFixed(1)}°  bank ${st.bank_deg.toFixed(1)}°  heading ${st.heading_deg.toFixed(1)}°  gear ${st.gear.toFixed(2)}  doors ${st.doors.toFixed(2)}  main ${st.main_level.toFixed(2)}`;
    if (run.hud) {
      const values = {
        pitch: st.pitch_deg, bank: st.bank_deg, heading: st.heading_deg, altitude: st.altitude_m,
        airspeed: run.column('airspeed_m_s', t), mach: run.column('mach', t),
        apoapsis: run.column('apoapsis_km', t), periapsis: run.column('periapsis_km', t),
      };
      drawHud(this.hudCanvas, run.hud, values, run.hudRow(t), t);
    }
  }

  async compareWith(raw, label) {
    const other = new Run(raw, label);
    this.compare = other;
    this.view.setCompare(other);
    this.plots.build([this.run, other]);
    this.dirty = true;
    $('compare-name').textContent = `compared with ${label}`;
    return other;
  }
}

async function start() {
  const raws = window.korvanRuns || [];
  if (!raws.length) return fail('No run data: replay-data.js is missing beside this page.');
  const replay = new Replay(new Run(raws[0], 'this run'));
  const api = {
    duration: replay.run.duration,
    events: replay.run.events.map((e) => ({ ...e })),
    seek: (t) => replay.seek(t),
    state: () => replay.run.state(replay.t),
    // Compare mode: the run in another output folder (a path relative to this page).
    compare: async (path) => { await replay.compareWith(await loadRunScript(path), path); await replay.seek(replay.t); },
    get comparing() { return replay.compare ? { label: replay.compare.label, duration: replay.compare.duration } : null; },
    // The number of lines in each plot.
    get plotSeries() { return replay.plots.plots.map((p) => p.series.length - 1); },
  };
  window.korvanReplay = api;
  $('compare-file').addEventListener('change', async (e) => {
    const file = e.target.files[0];
    if (!file) return;
    try { await replay.compareWith(parseDataScript(await file.text()), file.name); } catch (err) { fail(String(err)); }
  });
  const path = new URLSearchParams(location.search).get('compare');
  if (path) {
    try { await api.compare(path); } catch (err) { fail(String(err)); }
  }
  if (replay.view.modelReady) await replay.view.modelReady;
  await replay.seek(replay.t);  // a first frame with everything loaded
  document.body.dataset.ready = '1';
  $('status').textContent = window.korvanModel ? '' : 'hull: stand-in shape (no Meshes/Korvan.glb in the run tree)';
}

start().catch((err) => fail(String(err && err.stack || err)));
