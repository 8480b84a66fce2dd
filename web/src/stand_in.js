// A plain Korvan of boxes and cones, shown while the run tree holds no glTF hull: a fuselage,
// a delta wing, twin fins, the gear, the bay doors, elevons and rudders, moved by the same
// animation states (glTF frame: x left, y up, z forward).
import * as THREE from 'three';

const RAD = Math.PI / 180;
const ELEVON_DEG = 25, RUDDER_DEG = 16, DOOR_DEG = 145;

function part(geometry, color, x, y, z) {
  const m = new THREE.Mesh(geometry, new THREE.MeshStandardMaterial({ color, metalness: 0.2, roughness: 0.6 }));
  m.position.set(x, y, z);
  return m;
}

// A group whose origin is the hinge at (x, y, z), holding a child mesh offset from it.
function hinged(x, y, z, mesh) {
  const g = new THREE.Group();
  g.position.set(x, y, z);
  g.add(mesh);
  return g;
}

export function buildStandIn() {
  const root = new THREE.Group();
  const hull = 0xd8dde3, dark = 0x30343a;
  root.add(part(new THREE.CylinderGeometry(5, 5, 74, 28).rotateX(Math.PI / 2), hull, 0, -4, -7));
  root.add(part(new THREE.ConeGeometry(5, 16, 28).rotateX(Math.PI / 2), hull, 0, -4, 38));
  const wing = new THREE.Shape();
  wing.moveTo(0, 12); wing.lineTo(19, -42); wing.lineTo(-19, -42); wing.closePath();
  root.add(part(new THREE.ExtrudeGeometry(wing, { depth: 1, bevelEnabled: false }).rotateX(Math.PI / 2), hull, 0, -5.5, 0));
  const fin = new THREE.Shape();
  fin.moveTo(0, 0); fin.lineTo(-12, 0); fin.lineTo(-14, 11); fin.lineTo(-8, 11); fin.closePath();
  for (const side of [-1, 1])
    root.add(part(new THREE.ExtrudeGeometry(fin, { depth: 0.6, bevelEnabled: false }).rotateY(-Math.PI / 2), hull, side * 10.25, -5, -29));
  // Elevons at the wing's trailing edge and rudders behind the fins, hinged at their front
  // where the vessel's own hinges are.
  const elevons = [-1, 1].map((side) => hinged(side * 10, -5.5, -42, part(new THREE.BoxGeometry(16, 0.6, 3.5), dark, 0, 0, -1.75)));
  const rudders = [-1, 1].map((side) => hinged(side * 10.25, 1, -42.8, part(new THREE.BoxGeometry(0.5, 10, 3), dark, 0, 0, -1.5)));
  // Bay doors on the back, hinged along the fuselage's sides.
  const doors = [-1, 1].map((side) => hinged(side * 1.2, 1.35, 12, part(new THREE.BoxGeometry(2.4, 0.3, 18), 0xc0c6cc, -side * 1.2, 0, 0)));
  // Nose and main gear: legs that drop out of the hull down to the touchdown points.
  const gear = [[0, -7, 25, 5], [-8.8, -8, -9, 4], [8.8, -8, -9, 4]].map(([x, y, z, leg]) => {
    const g = hinged(x, y, z, part(new THREE.CylinderGeometry(0.4, 0.4, leg, 8), dark, 0, -leg / 2, 0));
    g.add(part(new THREE.CylinderGeometry(1.2, 1.2, 1, 16).rotateZ(Math.PI / 2), 0x111111, 0, -leg - 0.6, 0));
    return g;
  });
  [...elevons, ...rudders, ...doors, ...gear].forEach((g) => root.add(g));
  const update = (anim = []) => {
    const surface = (k) => ((anim[k] ?? 0.5) - 0.5) * 2;  // -1..1 from a surface animation
    const elevator = surface(3) + surface(4);
    elevons[0].rotation.x = (elevator + surface(6)) * ELEVON_DEG * RAD * 0.5;  // left
    elevons[1].rotation.x = (elevator - surface(5)) * ELEVON_DEG * RAD * 0.5;  // right
    rudders.forEach((r) => { r.rotation.y = surface(7) * RUDDER_DEG * RAD; });
    const door = anim[2] ?? 0;
    doors[0].rotation.z = -door * DOOR_DEG * RAD;
    doors[1].rotation.z = door * DOOR_DEG * RAD;
    const down = anim[1] ?? 1;  // gear legs: 0 up, 1 down
    gear.forEach((g) => { g.rotation.x = (1 - down) * 90 * RAD; g.visible = down > 0.02; });
  };
  return { root, update };
}
