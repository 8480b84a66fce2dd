// Plots of the flight, synchronised with the timeline: a cursor shared by all, a line at the
// time shown, and a click that seeks there. A second run (compare mode) adds its own lines.
import uPlot from 'uplot';

const PANELS = [
  { title: 'Altitude (km)', series: [['altitude_m', 'altitude', 1e-3]] },
  { title: 'Speed (m/s) and Mach', series: [['airspeed_m_s', 'airspeed', 1], ['mach', 'Mach', 1, 'mach']] },
  { title: 'Dynamic pressure (kPa)', series: [['dyn_pressure_Pa', 'q', 1e-3]] },
  { title: 'Pitch and angle of attack (deg)', series: [['pitch_deg', 'pitch', 1], ['aoa_deg', 'AoA', 1]] },
  { title: 'Apoapsis and periapsis (km)', series: [['apoapsis_km', 'apoapsis', 1], ['periapsis_km', 'periapsis', 1]], range: [-200, 400] },
  { title: 'Propellant (t)', series: [['fuel_kg', 'propellant', 1e-3]] },
];
const COLOURS = ['#ffbe28', '#ff6b6b'];
const COMPARE_COLOURS = ['#40e0ff', '#7fa8ff'];

// One run's columns on a time axis; values outside a panel's range (an unbound apoapsis, a
// periapsis deep inside the Earth) become gaps.
function columns(run, panel) {
  return panel.series.map(([name, , factor]) => run.telemetry[name].map((v) => {
    const x = v * factor;
    return panel.range && (x < panel.range[0] * 5 || x > panel.range[1] * 5) ? null : x;
  }));
}

export class Plots {
  constructor(container, runs, onSeek) {
    this.container = container;
    this.onSeek = onSeek;
    this.now = 0;
    this.build(runs);
  }

  build(runs) {
    this.container.innerHTML = '';
    this.plots = [];
    const width = Math.max(this.container.clientWidth - 8, 300);
    for (const panel of PANELS) {
      const tables = runs.map((run) => [run.telemetry.time_s, ...columns(run, panel)]);
      const data = tables.length > 1 ? uPlot.join(tables) : tables[0];
      const series = [{ label: 't (s)' }];
      runs.forEach((run, r) => panel.series.forEach(([, label, , scale], k) => series.push({
        label: runs.length > 1 ? `${label} (${run.label})` : label,
        stroke: (r ? COMPARE_COLOURS : COLOURS)[k],
        width: 1.5,
        scale: scale || 'y',
        spanGaps: true,
      })));
      const axes = [{ stroke: '#ccc', grid: { stroke: '#333' } }, { stroke: '#ccc', grid: { stroke: '#333' } }];
      const scales = { x: { time: false } };
      if (panel.range) scales.y = { range: panel.range };
      if (panel.series.some((s) => s[3])) {
        axes.push({ scale: 'mach', side: 1, stroke: '#ccc', grid: { show: false } });
        scales.mach = {};
      }
      const div = document.createElement('div');
      div.className = 'plot';
      this.container.appendChild(div);
      const plot = new uPlot({
        title: panel.title, width, height: 150, series, axes, scales,
        legend: { show: false },
        cursor: { sync: { key: 'korvan' }, drag: { x: false, y: false } },
        hooks: { draw: [(u) => this.drawNow(u)] },
      }, data, div);
      plot.over.addEventListener('click', (e) => this.onSeek(plot.posToVal(e.offsetX, 'x')));
      this.plots.push(plot);
    }
  }

  // A line at the time the view shows.
  drawNow(u) {
    const x = u.valToPos(this.now, 'x', true);
    const ctx = u.ctx;
    ctx.save();
    ctx.strokeStyle = '#ffffff';
    ctx.lineWidth = 1;
    ctx.beginPath();
    ctx.moveTo(x, u.bbox.top);
    ctx.lineTo(x, u.bbox.top + u.bbox.height);
    ctx.stroke();
    ctx.restore();
  }

  setTime(t) {
    this.now = t;
    for (const p of this.plots) p.redraw(false, false);
  }
}
