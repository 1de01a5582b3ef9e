// The plot under the 3D view: the joints and the tool's speed over the last
// minute, from the same live updates, drawn on a plain 2D canvas.
'use strict';

const PLOT_SECONDS = 60;
// The tool's speed is its way over the last quarter second (a single step
// between two updates varies with VarloSim's own motion steps); a gap in the
// updates longer than a second has none (the page was away).
const SPEED_WINDOW = 0.25;
const PLOT_GAP = 1;
const PLOT_COLOURS = ['#d62728', '#1f77b4', '#2ca02c', '#9467bd', '#ff7f0e', '#17becf'];
const SPEED_COLOUR = '#8c564b';

// About `count` round steps over [low, high].
function plotTicks(low, high, count) {
  const rough = (high - low) / count;
  const power = 10 ** Math.floor(Math.log10(rough));
  const step = [1, 2, 5, 10].map((m) => m * power).find((s) => s >= rough);
  const ticks = [];
  for (let v = Math.ceil(low / step) * step; v <= high + step / 1e6; v += step) ticks.push(Number(v.toPrecision(12)));
  return ticks;
}

function makePlot(canvas) {
  const context = canvas.getContext('2d');
  // {t: VarloSim's time (s), joints, at: the tool point (mm), speed: mm/s or null}
  const samples = [];
  let axes = 6;

  // One pane: `series` are [colour, value of a sample] pairs, the legend above it.
  function pane(top, height, left, width, now, legend, series, floor) {
    let low = floor === undefined ? Infinity : floor, high = -Infinity;
    for (const sample of samples) {
      for (const [, value] of series) {
        const v = value(sample);
        if (v !== null) { low = Math.min(low, v); high = Math.max(high, v); }
      }
    }
    if (high === -Infinity) { low = floor || 0; high = low; }
    if (high - low < 1) {   // a flat line in the middle, a standing tool at the bottom
      if (floor === undefined) low -= (1 - (high - low)) / 2;
      high = low + 1;
    }
    const y = (v) => top + 16 + (1 - (v - low) / (high - low)) * (height - 22);
    const x = (t) => left + width * (1 - (now - t) / PLOT_SECONDS);
    context.font = '11px system-ui, sans-serif';
    context.textBaseline = 'middle';
    context.textAlign = 'right';
    context.strokeStyle = '#dde1e6';
    context.lineWidth = 1;
    for (const tick of plotTicks(low, high, Math.max(1, Math.floor(height / 30)))) {
      context.fillStyle = '#5b6472';
      context.fillText(String(tick), left - 4, y(tick));
      context.beginPath();
      context.moveTo(left, Math.round(y(tick)) + 0.5);
      context.lineTo(left + width, Math.round(y(tick)) + 0.5);
      context.stroke();
    }
    context.textAlign = 'left';
    let at = left;
    for (const [text, colour] of legend) {
      if (colour) { context.fillStyle = colour; context.fillRect(at, top + 4, 10, 10); at += 13; }
      context.fillStyle = '#1d2430';
      context.fillText(text, at, top + 9);
      at += context.measureText(text).width + 10;
    }
    context.lineWidth = 2;
    for (const [colour, value] of series) {
      context.strokeStyle = colour;
      context.beginPath();
      let drawing = false;
      for (const sample of samples) {
        const v = value(sample);
        if (v === null) { drawing = false; continue; }
        if (drawing) context.lineTo(x(sample.t), y(v)); else context.moveTo(x(sample.t), y(v));
        drawing = true;
      }
      context.stroke();
    }
  }

  return {
    // A live state (its "time", the joints, the tool point).
    add(state) {
      const last = samples[samples.length - 1];
      if (typeof state.time !== 'number' || (last && state.time <= last.t)) return;
      axes = state.axes;
      const at = state.tcpFrame.p;
      let from = samples.length - 1;
      while (from > 0 && state.time - samples[from].t < SPEED_WINDOW && samples[from].t - samples[from - 1].t <= PLOT_GAP) from -= 1;
      const before = samples[from];
      const speed = last && state.time - last.t <= PLOT_GAP
        ? Math.hypot(at[0] - before.at[0], at[1] - before.at[1], at[2] - before.at[2]) / (state.time - before.t) : null;
      samples.push({ t: state.time, joints: state.jointCoordinate.slice(0, axes), at, speed });
      while (samples[0].t < state.time - PLOT_SECONDS) samples.shift();
    },
    // Draws the last minute; returns the samples drawn and the newest one.
    render() {
      const w = (canvas.width = canvas.clientWidth), h = (canvas.height = canvas.clientHeight);
      context.fillStyle = '#ffffff';
      context.fillRect(0, 0, w, h);
      if (!samples.length) return { plotted: 0, newest: null };
      const now = samples[samples.length - 1].t;
      const left = 48, width = w - left - 10, jointsHeight = Math.round((h - 18) * 0.62);
      const unit = axes === 4 ? '°, 3 in mm' : '°';
      const joints = [...Array(axes).keys()].map((i) => [PLOT_COLOURS[i], (s) => s.joints[i]]);
      pane(0, jointsHeight, left, width, now, [[`joints (${unit})`], ...joints.map(([c], i) => [String(i + 1), c])], joints);
      pane(jointsHeight, h - 18 - jointsHeight, left, width, now, [['tool speed (mm/s)', SPEED_COLOUR]],
           [[SPEED_COLOUR, (s) => s.speed]], 0);
      context.fillStyle = '#5b6472';
      for (let t = 0; t <= PLOT_SECONDS; t += 10) {
        context.textAlign = t ? 'center' : 'right';
        context.fillText(t ? `−${t} s` : 'now', left + width * (1 - t / PLOT_SECONDS) + (t ? 0 : 10), h - 8);
      }
      return { plotted: samples.length, newest: samples[samples.length - 1] };
    },
  };
}
