// The VarloSim panel: draws the arm from the points VarloSim computes with its
// own kinematic model, shows the live state pushed as server-sent events, and
// sends the pendant's buttons to the same handlers as the controller API.
'use strict';

const panel = {
  state: null,
  catalogue: { controller: [], servo: [] },
  // Live-update figures, read by the tests; `plotted` samples in the plot, the
  // `newest` of them.
  stats: { messages: 0, first: 0, last: 0, plotted: 0, newest: null },
};
window.panelStats = panel.stats;

const $ = (selector) => document.querySelector(selector);
const fixed = (v, digits) => (typeof v === 'number' ? v.toFixed(digits) : '–');

function say(text) {
  $('#message').textContent = text || '';
}

async function post(path, body) {
  try {
    const reply = await fetch(path, {
      method: 'POST',
      headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify(body || {}),
    });
    const answer = await reply.json();
    say(answer.result === false ? answer.error : '');
    return answer;
  } catch (error) {
    say('VarloSim does not answer');
    return null;
  }
}

// ---------------------------------------------------------------------------
// The 3D view: three.js with WebGL, else a plain 2D drawing of the same points.

const TRAIL = 2000;

function makeThreeView(host) {
  if (!window.THREE || !window.WebGLRenderingContext) return null;
  let renderer;
  try {
    renderer = new THREE.WebGLRenderer({ antialias: true, preserveDrawingBuffer: true });
  } catch (error) {
    return null;
  }
  const scene = new THREE.Scene();
  scene.background = new THREE.Color(0xe8ebef);
  const camera = new THREE.PerspectiveCamera(40, 1, 10, 20000);
  camera.up.set(0, 0, 1);
  scene.add(new THREE.AmbientLight(0xffffff, 0.55));
  const sun = new THREE.DirectionalLight(0xffffff, 0.7);
  sun.position.set(1000, -1500, 2500);
  scene.add(sun);
  const grid = new THREE.GridHelper(2000, 20, 0x9aa3ad, 0xc9ced6);
  grid.rotation.x = Math.PI / 2;
  scene.add(grid);
  const base = new THREE.AxesHelper(150);
  scene.add(base);

  const linkMaterial = new THREE.MeshLambertMaterial({ color: 0xf2a33a });
  const jointMaterial = new THREE.MeshLambertMaterial({ color: 0x3b4656 });
  const links = [];
  const joints = [];
  const unitY = new THREE.Vector3(0, 1, 0);

  // The tool path: rebuilt from the last points whenever one is added.
  const trail = [];
  const trailLine = new THREE.Line(new THREE.BufferGeometry(), new THREE.LineBasicMaterial({ color: 0x1b4fd8 }));
  trailLine.frustumCulled = false;
  scene.add(trailLine);

  const toolAxes = new THREE.AxesHelper(120);
  const userAxes = new THREE.AxesHelper(200);
  for (const axes of [toolAxes, userAxes]) {
    axes.matrixAutoUpdate = false;
    scene.add(axes);
  }

  let yaw = -0.9, pitch = 0.45, distance = 2600;
  function placeCamera() {
    camera.position.set(distance * Math.cos(pitch) * Math.cos(yaw), distance * Math.cos(pitch) * Math.sin(yaw),
                        distance * Math.sin(pitch) + 300);
    camera.lookAt(0, 0, 350);
  }
  host.appendChild(renderer.domElement);
  let dragging = null;
  renderer.domElement.addEventListener('pointerdown', (e) => { dragging = { x: e.clientX, y: e.clientY }; });
  window.addEventListener('pointerup', () => { dragging = null; });
  window.addEventListener('pointermove', (e) => {
    if (!dragging) return;
    yaw -= (e.clientX - dragging.x) * 0.01;
    pitch = Math.max(-0.2, Math.min(1.5, pitch + (e.clientY - dragging.y) * 0.01));
    dragging = { x: e.clientX, y: e.clientY };
  });
  renderer.domElement.addEventListener('wheel', (e) => {
    distance = Math.max(600, Math.min(8000, distance * (e.deltaY > 0 ? 1.1 : 0.9)));
    e.preventDefault();
  }, { passive: false });

  function setFrame(object, frame) {
    const r = frame.r, p = frame.p;
    object.matrix.set(r[0], r[1], r[2], p[0], r[3], r[4], r[5], p[1], r[6], r[7], r[8], p[2], 0, 0, 0, 1);
  }

  return {
    kind: 'webgl',
    update(state) {
      const points = state.links.map((p) => new THREE.Vector3(p[0], p[1], p[2]));
      grid.position.z = points[0].z;   // the floor the arm stands on
      while (links.length < points.length - 1) {
        const link = new THREE.Mesh(new THREE.CylinderGeometry(1, 1, 1, 20), linkMaterial);
        links.push(link);
        scene.add(link);
      }
      while (joints.length < points.length) {
        const joint = new THREE.Mesh(new THREE.SphereGeometry(1, 20, 12), jointMaterial);
        joints.push(joint);
        scene.add(joint);
      }
      points.forEach((p, i) => {
        joints[i].position.copy(p);
        joints[i].scale.setScalar(i === 0 ? 70 : 45);
        if (i === 0) return;
        const from = points[i - 1], direction = p.clone().sub(from), length = direction.length();
        const link = links[i - 1];
        link.visible = length > 1;
        link.position.copy(from).addScaledVector(direction, 0.5);
        link.scale.set(i === 1 ? 80 : 38, Math.max(length, 1), i === 1 ? 80 : 38);
        if (length > 1) link.quaternion.setFromUnitVectors(unitY, direction.normalize());
      });
      const tcp = new THREE.Vector3(...state.tcpFrame.p);
      if (!trail.length || trail[trail.length - 1].distanceTo(tcp) > 0.5) {
        trail.push(tcp);
        if (trail.length > TRAIL) trail.shift();
        trailLine.geometry.dispose();
        trailLine.geometry = new THREE.BufferGeometry().setFromPoints(trail);
      }
      setFrame(toolAxes, state.tcpFrame);
      setFrame(userAxes, state.userFrame);
    },
    render() {
      const width = host.clientWidth, height = host.clientHeight;
      if (renderer.domElement.width !== width || renderer.domElement.height !== height) {
        renderer.setSize(width, height, false);
        camera.aspect = width / Math.max(height, 1);
        camera.updateProjectionMatrix();
      }
      placeCamera();
      renderer.render(scene, camera);
    },
  };
}

function makeFlatView(host) {
  const canvas = document.createElement('canvas');
  host.appendChild(canvas);
  const context = canvas.getContext('2d');
  const trail = [];
  let state = null;
  const yaw = -0.9, pitch = 0.45;
  const project = (p, scale, w, h) => {
    const x = p[0] * Math.sin(-yaw) + p[1] * Math.cos(-yaw);
    const depth = p[0] * Math.cos(-yaw) - p[1] * Math.sin(-yaw);
    return [w / 2 + x * scale, h * 0.75 - (p[2] * Math.cos(pitch) - depth * Math.sin(pitch)) * scale];
  };
  return {
    kind: '2d',
    update(next) {
      state = next;
      trail.push(next.tcpFrame.p);
      if (trail.length > TRAIL) trail.shift();
    },
    render() {
      const w = (canvas.width = host.clientWidth), h = (canvas.height = host.clientHeight);
      context.fillStyle = '#e8ebef';
      context.fillRect(0, 0, w, h);
      if (!state) return;
      const scale = Math.min(w, h) / 1800;
      context.strokeStyle = '#2d6cdf';
      context.lineWidth = 1;
      context.beginPath();
      trail.forEach((p, i) => { const s = project(p, scale, w, h); i ? context.lineTo(s[0], s[1]) : context.moveTo(s[0], s[1]); });
      context.stroke();
      context.strokeStyle = '#f2a33a';
      context.lineWidth = 12;
      context.lineCap = 'round';
      context.beginPath();
      state.links.forEach((p, i) => { const s = project(p, scale, w, h); i ? context.lineTo(s[0], s[1]) : context.moveTo(s[0], s[1]); });
      context.stroke();
    },
  };
}

const view = makeThreeView($('#view')) || makeFlatView($('#view'));
const plot = makePlot($('#plot canvas'));

// Drawn only when something changed, the plot at most ten times a second: a
// page left open costs little.
const PLOT_INTERVAL = 100;
let dirty = true, plotDirty = true, plottedAt = -PLOT_INTERVAL;
function animate(now) {
  if (dirty) {
    dirty = false;
    view.render();
  }
  if (plotDirty && now - plottedAt >= PLOT_INTERVAL) {
    plotDirty = false;
    plottedAt = now;
    Object.assign(panel.stats, plot.render());
  }
  requestAnimationFrame(animate);
}
window.addEventListener('resize', () => { dirty = true; plotDirty = true; });
window.addEventListener('pointermove', (e) => { if (e.buttons) dirty = true; });
window.addEventListener('wheel', () => { dirty = true; });

// ---------------------------------------------------------------------------
// The pendant.

function buildControls() {
  const positions = $('#positions tbody').rows;
  for (const row of positions) {
    for (let i = 0; i < 6; i += 1) row.insertCell().textContent = '–';
  }
  const jog = $('#jog');
  for (const dir of [1, -1]) {
    for (let axis = 0; axis < 6; axis += 1) {
      const button = document.createElement('button');
      button.textContent = `${axis + 1}${dir > 0 ? '+' : '−'}`;
      button.setAttribute('aria-label', `jog ${axis + 1} ${dir > 0 ? 'plus' : 'minus'}`);
      button.dataset.axis = axis;
      const press = (on) => {
        const pos = [false, false, false, false, false, false], neg = pos.slice();
        if (on) (dir > 0 ? pos : neg)[axis] = true;
        post('/panel/jog', { posBtns: pos, negBtns: neg });
      };
      hold(button, press);
      jog.appendChild(button);
    }
  }
  for (const [id, count] of [['#di', 64], ['#do', 64]]) {
    const box = $(id);
    for (let i = 0; i < count; i += 1) {
      const bit = document.createElement(id === '#di' ? 'button' : 'span');
      bit.textContent = i + 1;
      bit.dataset.index = i;
      if (id === '#di') {
        bit.setAttribute('aria-pressed', 'false');
        bit.addEventListener('click', () => post('/sim/inputs', { index: i, value: bit.getAttribute('aria-pressed') !== 'true' }));
      }
      box.appendChild(bit);
    }
  }
  for (const button of document.querySelectorAll('[data-mode]')) {
    button.addEventListener('click', () => post('/settings/controlMode', { controlMode: button.dataset.mode }));
  }
  $('#estop').addEventListener('click', () => post('/panel/emergencyStop', { value: !(panel.state && panel.state.emergencyStop) }));
  $('#power').addEventListener('click', () => post('/interface/powerControl', { value: !(panel.state && panel.state.powerState === 'on') }));
  $('#auto-manual').addEventListener('click', () => post('/panel/autoManual', { value: panel.state && panel.state.autoManual === 'auto' ? 'manual' : 'auto' }));
  hold($('#enable-switch'), (on) => post('/panel/threeSwitch', { value: on ? 'pressed' : 'released' }));
  $('#clear-alarms').addEventListener('click', () => post('/alarms/clear'));
  window.addEventListener('keydown', (e) => { if (e.key === 'Escape') post('/panel/emergencyStop', { value: true }); });
}

// A button that acts while held: by pointer, or by Space or Enter.
function hold(button, press) {
  let down = false;
  const set = (on) => { if (on !== down) { down = on; button.classList.toggle('active', on); press(on); } };
  button.addEventListener('pointerdown', (e) => { button.setPointerCapture(e.pointerId); set(true); });
  button.addEventListener('pointerup', () => set(false));
  button.addEventListener('pointercancel', () => set(false));
  button.addEventListener('keydown', (e) => { if ((e.key === ' ' || e.key === 'Enter') && !e.repeat) { e.preventDefault(); set(true); } });
  button.addEventListener('keyup', (e) => { if (e.key === ' ' || e.key === 'Enter') set(false); });
  button.addEventListener('blur', () => set(false));
}

function alarmText(group, id) {
  const list = group === 0 ? panel.catalogue.controller : panel.catalogue.servo;
  const entry = list.find((e) => e.id === id);
  const where = group === 0 ? 'controller' : `joint ${group}`;
  return `${where} ${id}: ${entry ? entry.en.description : 'unknown alarm'}`;
}

function showBits(box, bytes) {
  for (const bit of box.children) {
    const i = Number(bit.dataset.index);
    const on = ((bytes[i >> 3] >> (i & 7)) & 1) === 1;
    bit.classList.toggle('on', on);
    if (bit.tagName === 'BUTTON') bit.setAttribute('aria-pressed', String(on));
  }
}

function show(state) {
  panel.state = state;
  $('#model').textContent = `${state.model} (${state.axes} axes)`;
  for (const button of document.querySelectorAll('#jog button')) button.hidden = Number(button.dataset.axis) >= state.axes;
  const [jointRow, poseRow] = $('#positions tbody').rows;
  state.jointCoordinate.forEach((v, i) => { jointRow.cells[i + 1].textContent = i < state.axes ? fixed(v, 2) : '–'; });
  state.cartesianCoordinate.forEach((v, i) => { poseRow.cells[i + 1].textContent = fixed(v, 1); });
  for (const button of document.querySelectorAll('[data-mode]')) {
    button.setAttribute('aria-pressed', String(button.dataset.mode === state.controlMode));
  }
  $('#estop').setAttribute('aria-pressed', String(state.emergencyStop));
  $('#estop').textContent = state.emergencyStop ? 'EMERGENCY STOP pressed: click to release' : 'EMERGENCY STOP';
  $('#power').setAttribute('aria-pressed', String(state.powerState === 'on'));
  $('#power').textContent = `Power ${state.powerState}`;
  $('#auto-manual').textContent = state.autoManual === 'auto' ? 'Auto' : 'Manual';
  $('#auto-manual').setAttribute('aria-pressed', String(state.autoManual === 'auto'));
  $('#enable-switch').setAttribute('aria-pressed', String(state.threeSwitch === 'pressed'));
  $('#state').textContent = `${state.controlMode}, ${state.moving ? 'moving' : 'standing'}, tool ${state.toolCoordinate},`
    + ` user ${state.userCoordinate}, ${state.coordinate} ${state.JogMode}`;
  showBits($('#di'), state.inputs);
  showBits($('#do'), state.outputs);
  const alarms = $('#alarms');
  const items = state.alarmList.map(([group, id]) => alarmText(group, id));
  if (alarms.dataset.shown !== items.join('\n')) {
    alarms.dataset.shown = items.join('\n');
    alarms.replaceChildren(...(items.length ? items : ['none']).map((text) => {
      const li = document.createElement('li');
      li.textContent = text;
      if (!items.length) li.className = 'none';
      return li;
    }));
  }
  const script = state.script;
  $('#script').textContent = script.value === 'stop' ? (script.prjname ? `${script.prjname}: stopped` : 'none')
    : `${script.prjname}: ${script.value}` + (script.line ? `, line ${script.line.number}: ${script.line.text}` : '');
  plot.add(state);
  plotDirty = true;
  const pose = JSON.stringify(state.links);
  if (pose !== panel.drawnPose) {
    panel.drawnPose = pose;
    view.update(state);
    dirty = true;
  }
}

function listen() {
  const events = new EventSource('events');
  events.onopen = () => { $('#link').textContent = 'live'; $('#link').classList.add('live'); };
  events.onerror = () => { $('#link').textContent = 'reconnecting…'; $('#link').classList.remove('live'); };
  events.onmessage = (message) => {
    const now = performance.now();
    if (!panel.stats.first) panel.stats.first = now;
    panel.stats.last = now;
    panel.stats.messages += 1;
    show(JSON.parse(message.data));
  };
}

buildControls();
fetch('catalogue').then((r) => r.json()).then((c) => { panel.catalogue = c; }).catch(() => {});
listen();
requestAnimationFrame(animate);
