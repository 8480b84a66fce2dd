// The 3D view: the Korvan near the ground or in space with its attitude, moving parts and
// plumes, three cameras (chase, orbit around the vessel, from the ground), and an inset of
// the Earth with the ground track, the path and the orbit.
import * as THREE from 'three';
import { GLTFLoader } from 'three/examples/jsm/loaders/GLTFLoader.js';
import { OrbitControls } from 'three/examples/jsm/controls/OrbitControls.js';
import { buildStandIn } from './stand_in.js';

const RAD = Math.PI / 180;
const GROUND_TILE_M = 500;         // one square of the ground's grid
const GROUND_SIZE_M = 400e3;       // the flat ground under the vessel, fading out with height
const GROUND_FADE_M = [20e3, 60e3];
const SKY_TOP_M = 70e3;            // the sky is black from here up
const PLUME_SCALE = 1.5;           // plume length per unit of an exhaust's length scale at full level
const INSET_FRACTION = 0.28;      // the Earth inset's share of the view's width
const RUNWAY_HALF_M = 1500;        // the runway ahead of where the flight began

// Vessel frame (x right, y up, z forward) to the glTF model's frame (x left, y up, z forward),
// and local horizon (east, up, north) to the scene's (x east, y up, z south).
const vesselToModel = (v) => new THREE.Vector3(-v[0], v[1], v[2]);

// Rotation of the model in the scene from the attitude quaternion (vessel to horizon):
// S_h M S_v with S_h = diag(1, 1, -1) and S_v = diag(-1, 1, 1), a proper rotation.
export function modelQuaternion(q) {
  const { w, x, y, z } = q;
  const m = [
    [1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)],
    [2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)],
    [2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)],
  ];
  const sh = [1, 1, -1], sv = [-1, 1, 1];
  const r = new THREE.Matrix4();
  r.set(
    sh[0] * m[0][0] * sv[0], sh[0] * m[0][1] * sv[1], sh[0] * m[0][2] * sv[2], 0,
    sh[1] * m[1][0] * sv[0], sh[1] * m[1][1] * sv[1], sh[1] * m[1][2] * sv[2], 0,
    sh[2] * m[2][0] * sv[0], sh[2] * m[2][1] * sv[1], sh[2] * m[2][2] * sv[2], 0,
    0, 0, 0, 1);
  return new THREE.Quaternion().setFromRotationMatrix(r);
}

// Position in the Earth inset (Earth radii, scene axes; y to the north pole) of a latitude,
// longitude and altitude, with the Earth turned by angle (rad).
function insetPoint(lat, lon, alt, radius, angle = 0) {
  const r = 1 + alt / radius, phi = lat * RAD, L = lon * RAD + angle;
  return new THREE.Vector3(r * Math.cos(phi) * Math.cos(L), r * Math.sin(phi), -r * Math.cos(phi) * Math.sin(L));
}

// Metres east and north of b from a, on the sphere (good for the few hundred km the flat
// ground spans).
function offsetMetres(a, b, radius) {
  let dlon = b.lon - a.lon;
  if (dlon > 180) dlon -= 360;
  if (dlon < -180) dlon += 360;
  return { east: dlon * RAD * radius * Math.cos(a.lat * RAD), north: (b.lat - a.lat) * RAD * radius };
}

function gridTexture() {
  const c = document.createElement('canvas');
  c.width = c.height = 128;
  const g = c.getContext('2d');
  g.fillStyle = '#4d6b3c'; g.fillRect(0, 0, 128, 128);
  g.fillStyle = '#5b7a46'; g.fillRect(0, 0, 64, 64); g.fillRect(64, 64, 64, 64);
  g.strokeStyle = '#2f4426'; g.lineWidth = 2; g.strokeRect(0, 0, 128, 128);
  const t = new THREE.CanvasTexture(c);
  t.wrapS = t.wrapT = THREE.RepeatWrapping;
  t.repeat.set(GROUND_SIZE_M / GROUND_TILE_M, GROUND_SIZE_M / GROUND_TILE_M);
  t.anisotropy = 8;
  return t;
}

function line(points, color, opacity = 1) {
  const g = new THREE.BufferGeometry().setFromPoints(points);
  return new THREE.Line(g, new THREE.LineBasicMaterial({ color, transparent: opacity < 1, opacity }));
}

function dot(color, size = 0.025) {
  return new THREE.Mesh(new THREE.SphereGeometry(size, 12, 8), new THREE.MeshBasicMaterial({ color }));
}

export class View {
  constructor(canvas, run) {
    this.canvas = canvas;
    this.run = run;
    this.cameraMode = 'chase';
    this.renderer = new THREE.WebGLRenderer({ canvas, antialias: true, logarithmicDepthBuffer: true, preserveDrawingBuffer: true });
    this.renderer.setPixelRatio(1);
    this.renderer.autoClear = false;
    this.buildLocal();
    this.buildInset();
    this.compare = null;
    this.resize();
    window.addEventListener('resize', () => this.resize());
  }

  buildLocal() {
    const s = (this.scene = new THREE.Scene());
    s.add(new THREE.HemisphereLight(0xdde8ff, 0x404030, 1.2));
    const sun = new THREE.DirectionalLight(0xffffff, 2.0);
    sun.position.set(300, 500, 200);
    s.add(sun);
    this.camera = new THREE.PerspectiveCamera(50, 1, 0.5, 2e8);
    this.camera.position.set(-60, 20, 90);
    this.controls = new OrbitControls(this.camera, this.canvas);
    this.controls.enabled = false;
    this.controls.minDistance = 30;
    this.controls.maxDistance = 5000;

    const R = this.run.body.radius;
    this.ground = new THREE.Mesh(
      new THREE.PlaneGeometry(GROUND_SIZE_M, GROUND_SIZE_M).rotateX(-Math.PI / 2),
      new THREE.MeshLambertMaterial({ map: gridTexture(), transparent: true }));
    s.add(this.ground);
    this.earth = new THREE.Mesh(new THREE.SphereGeometry(R, 96, 64), new THREE.MeshLambertMaterial({ color: 0x2b5d8a }));
    s.add(this.earth);
    const runway = (this.runway = new THREE.Mesh(new THREE.BoxGeometry(2 * RUNWAY_HALF_M, 0.5, 45), new THREE.MeshLambertMaterial({ color: 0x555555 })));
    s.add(runway);
    this.site = this.run.sample(0);
    this.siteHeading = (this.run.telemetry.heading_deg ? this.run.telemetry.heading_deg[0] : 90) * RAD;

    this.vessel = new THREE.Group();
    s.add(this.vessel);
    this.model = buildStandIn();
    this.vessel.add(this.model.root);
    this.plumes = this.run.raw.exhausts.filter((e) => e.main).map((e) => this.plume(e));
    if (window.korvanModel) this.loadModel(window.korvanModel);
  }

  plume(e) {
    const geometry = new THREE.ConeGeometry(Math.max(e.width, 0.5) * 0.75, 1, 16, 1, true).translate(0, 0.5, 0).rotateX(Math.PI);
    const material = new THREE.MeshBasicMaterial({ color: 0xff7a20, transparent: true, opacity: 0.45, blending: THREE.AdditiveBlending, depthWrite: false, side: THREE.DoubleSide });
    const mesh = new THREE.Mesh(geometry, material);
    mesh.position.copy(vesselToModel(e.pos));
    // The cone runs along -y; turn -y onto the exhaust's direction.
    mesh.quaternion.setFromUnitVectors(new THREE.Vector3(0, -1, 0), vesselToModel(e.dir).normalize());
    mesh.userData.length = e.length * PLUME_SCALE;
    this.vessel.add(mesh);
    return mesh;
  }

  // The hull from the run tree's Meshes/Korvan.glb (inlined by korvan-sim): one node per mesh
  // group, each moving part's node with its hinge components in extras.
  loadModel(base64) {
    const bytes = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
    this.modelReady = new Promise((resolve) => {
      new GLTFLoader().parse(bytes.buffer, '', (gltf) => {
        const variantB = (this.run.focus.class || '').includes('KorvanB');
        const parts = [];
        gltf.scene.traverse((node) => {
          const c = node.userData && node.userData.components;
          if (!Array.isArray(c)) return;
          const own = c.filter((k) => k.variant === 'both' || k.variant === (variantB ? 'B' : 'standard'));
          parts.push({ node, base: node.quaternion.clone(), components: own });
        });
        this.vessel.remove(this.model.root);
        this.model = { root: gltf.scene, update: (anim) => animateParts(parts, anim) };
        this.vessel.add(gltf.scene);
        resolve();
      }, () => resolve());
    });
  }

  buildInset() {
    const s = (this.globe = new THREE.Scene());
    s.add(new THREE.AmbientLight(0xffffff, 1.0));
    this.globeCamera = new THREE.PerspectiveCamera(40, 1, 0.01, 100);
    this.turning = new THREE.Group();  // turns with the Earth
    s.add(this.turning);
    this.turning.add(new THREE.Mesh(new THREE.SphereGeometry(1, 64, 48), new THREE.MeshBasicMaterial({ color: 0x1d4e7a })));
    const grid = [];
    for (let lat = -60; lat <= 60; lat += 30) {
      const ring = [];
      for (let lon = -180; lon <= 180; lon += 5) ring.push(insetPoint(lat, lon, 0, 1).multiplyScalar(1.001));
      grid.push(line(ring, 0x4d7fa8));
    }
    for (let lon = -180; lon < 180; lon += 30) {
      const meridian = [];
      for (let lat = -90; lat <= 90; lat += 5) meridian.push(insetPoint(lat, lon, 0, 1).multiplyScalar(1.001));
      grid.push(line(meridian, 0x4d7fa8));
    }
    grid.forEach((g) => this.turning.add(g));
    this.addRunToInset(this.run, 0xffbe28, 0xffe070);
    this.marker = dot(0xffffff, 0.03);
    s.add(this.marker);
    this.orbitLine = null;
    this.apsides = [dot(0xff5050), dot(0x50a0ff)];
    this.apsides.forEach((d) => { d.visible = false; s.add(d); });
  }

  // A run's ground track (on the turning Earth) and path (fixed in space).
  addRunToInset(run, pathColor, trackColor) {
    const R = run.body.radius;
    const v = run.focus;
    const track = [], path = [];
    for (let i = 0; i < v.t.length; ++i) {
      track.push(insetPoint(v.lat[i], v.lon[i], 0, R).multiplyScalar(1.003));
      path.push(insetPoint(v.lat[i], v.lon[i], v.alt[i], R, run.bodyAngle(v.t[i])));
    }
    this.turning.add(line(track, trackColor, 0.8));
    this.globe.add(line(path, pathColor));
  }

  setCompare(run) {
    this.compare = run;
    this.addRunToInset(run, 0x40e0ff, 0x90f0ff);
    this.compareMarker = dot(0x40e0ff, 0.03);
    this.globe.add(this.compareMarker);
  }

  setCameraMode(mode) {
    this.cameraMode = mode;
    this.controls.enabled = mode === 'orbit';
    if (mode === 'orbit') {
      this.camera.fov = 50;
      this.camera.position.set(-80, 30, 120);
      this.controls.target.set(0, 0, 0);
      this.controls.update();
    }
  }

  resize() {
    const w = this.canvas.clientWidth || 800, h = this.canvas.clientHeight || 500;
    this.renderer.setSize(w, h, false);
    this.size = [w, h];
  }

  // Shows time t: the vessel's attitude, parts and plumes, the ground and sky around it, and
  // the inset.
  show(t) {
    const run = this.run;
    const s = run.sample(t);
    const R = run.body.radius;
    this.vessel.quaternion.copy(modelQuaternion(s.q));
    this.model.update(s.anim);
    for (const p of this.plumes) {
      const len = p.userData.length * s.main;
      p.visible = len > 0.05;
      p.scale.set(1, Math.max(len, 1e-3), 1);
    }
    // Ground: the flat square under the vessel with its grid fixed to the Earth, the runway
    // where the flight began, and the whole Earth below.
    const d = offsetMetres(this.site, s, R);
    this.ground.position.set(0, -s.alt, 0);
    this.ground.material.map.offset.set((d.east / GROUND_TILE_M) % 1, (d.north / GROUND_TILE_M) % 1);
    const fade = Math.min(Math.max((s.alt - GROUND_FADE_M[0]) / (GROUND_FADE_M[1] - GROUND_FADE_M[0]), 0), 1);
    this.ground.material.opacity = 1 - fade;
    this.ground.visible = fade < 1;
    const h = this.siteHeading;
    this.runway.position.set(-d.east + RUNWAY_HALF_M * Math.sin(h), -s.alt + 0.3, d.north - RUNWAY_HALF_M * Math.cos(h));
    this.runway.rotation.y = Math.PI / 2 - h;
    this.runway.visible = s.alt < GROUND_FADE_M[1];
    // The whole Earth shows once the flat ground fades: near the ground the two would fight
    // over the same depths.
    this.earth.position.set(0, -(R + s.alt) - 2, 0);
    this.earth.visible = fade > 0;
    const sky = Math.min(s.alt / SKY_TOP_M, 1);
    this.scene.background = new THREE.Color(0x7fb2e5).lerp(new THREE.Color(0x02030a), sky);
    this.placeCamera(s, d);

    // The inset: the Earth turned to time t, the vessel, and the osculating orbit once it has one.
    const angle = run.bodyAngle(t);
    this.turning.rotation.y = angle;
    const here = insetPoint(s.lat, s.lon, s.alt, R, angle);
    this.marker.position.copy(here);
    if (this.compare) {
      const c = this.compare.sample(Math.min(t, this.compare.duration));
      this.compareMarker.position.copy(insetPoint(c.lat, c.lon, c.alt, R, this.compare.bodyAngle(c.t)));
    }
    this.showOrbit(t, here);
    const eye = here.clone().normalize().multiplyScalar(3.6);
    eye.y += 0.8;
    this.globeCamera.position.copy(eye);
    this.globeCamera.lookAt(0, 0, 0);
    this.render();
  }

  placeCamera(s, d) {
    const cam = this.camera;
    if (this.cameraMode === 'chase') {
      // Behind the vessel along its course over the ground, a little above: the view keeps the
      // horizon level, so that pitch and bank show.
      const back = new THREE.Vector3(0, 0, -1).applyQuaternion(this.vessel.quaternion).setY(0);
      if (back.lengthSq() < 1e-6) back.set(0, 0, 1);
      back.normalize();
      const side = new THREE.Vector3(-back.z, 0, back.x);  // to one side, so that pitch shows too
      cam.position.copy(back.multiplyScalar(130)).addScaledVector(side, 55).add(new THREE.Vector3(0, 10, 0));
      cam.fov = 50;
      cam.lookAt(0, 0, 0);
    } else if (this.cameraMode === 'ground') {
      // From beside the runway, 2 m up, zoomed so that the vessel keeps its size.
      const site = new THREE.Vector3(-d.east + 800, -s.alt + 2, d.north + 300);
      cam.position.copy(site);
      const dist = site.length();
      cam.fov = Math.min(Math.max((2 * Math.atan(60 / dist)) / RAD, 0.02), 60);
      cam.lookAt(0, 0, 0);
    } else {
      this.controls.update();
    }
    cam.updateProjectionMatrix();
  }

  showOrbit(t, here) {
    const run = this.run;
    const peri = run.column('periapsis_km', t);
    const hasOrbit = peri > 0 && run.column('apoapsis_km', t) < 1e6;
    this.apsides.forEach((a) => { a.visible = hasOrbit; });
    if (this.orbitLine) { this.globe.remove(this.orbitLine); this.orbitLine = null; }
    if (!hasOrbit) return;
    const R = run.body.radius;
    // The inertial velocity from the path around t (scene units are Earth radii).
    const at = (u) => { const s = run.sample(u); return insetPoint(s.lat, s.lon, s.alt, R, run.bodyAngle(u)).multiplyScalar(R); };
    const dt = 1;
    const r = here.clone().multiplyScalar(R);
    const v = at(t + dt).sub(at(t - dt)).multiplyScalar(1 / (2 * dt));
    const mu = run.body.mu;
    const h = new THREE.Vector3().crossVectors(r, v);
    const e = new THREE.Vector3().crossVectors(v, h).multiplyScalar(1 / mu).sub(r.clone().normalize());
    const ecc = e.length();
    const a = 1 / (2 / r.length() - v.lengthSq() / mu);
    if (!(ecc < 1 && a > 0)) return;
    const P = ecc > 1e-9 ? e.clone().normalize() : r.clone().normalize();
    const Q = new THREE.Vector3().crossVectors(h.clone().normalize(), P);
    const pts = [];
    const p = a * (1 - ecc * ecc);
    for (let k = 0; k <= 256; ++k) {
      const nu = (2 * Math.PI * k) / 256;
      const rr = p / (1 + ecc * Math.cos(nu)) / R;
      pts.push(P.clone().multiplyScalar(rr * Math.cos(nu)).add(Q.clone().multiplyScalar(rr * Math.sin(nu))));
    }
    this.orbitLine = line(pts, 0xff80ff);
    this.globe.add(this.orbitLine);
    this.apsides[0].position.copy(P.clone().multiplyScalar(-(a * (1 + ecc)) / R));
    this.apsides[1].position.copy(P.clone().multiplyScalar((a * (1 - ecc)) / R));
  }

  render() {
    const [w, h] = this.size;
    const r = this.renderer;
    r.setScissorTest(false);
    r.setViewport(0, 0, w, h);
    this.camera.aspect = w / h;
    this.camera.updateProjectionMatrix();
    r.clear();
    r.render(this.scene, this.camera);
    const iw = Math.round(w * INSET_FRACTION), ih = Math.round(iw * 0.75);
    r.setScissorTest(true);
    r.setScissor(w - iw, 0, iw, ih);
    r.setViewport(w - iw, 0, iw, ih);
    r.setClearColor(0x000000, 1);
    r.clear();
    this.globeCamera.aspect = iw / ih;
    this.globeCamera.updateProjectionMatrix();
    r.render(this.globe, this.globeCamera);
    r.setScissorTest(false);
  }
}

// Turns each moving part by its components: angle × how far the animation has moved across
// the component's range from its initial state, composed in order about the node's axes.
export function animateParts(parts, anim) {
  const clamp01 = (x) => Math.min(Math.max(x, 0), 1);
  const turn = new THREE.Quaternion();
  for (const { node, base, components } of parts) {
    node.quaternion.copy(base);
    for (const c of components) {
      const span = c.state1 - c.state0;
      const state = anim[c.animation] ?? c.initial_state;
      const f = span !== 0 ? clamp01((state - c.state0) / span) - clamp01((c.initial_state - c.state0) / span) : 0;
      turn.setFromAxisAngle(new THREE.Vector3(...c.axis).normalize(), c.angle_deg * f * RAD);
      node.quaternion.multiply(turn);
    }
  }
}
