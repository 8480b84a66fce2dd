// The vessel's physical definition, rebuilt on every change of shape: meshes, size, mass,
// inertia, drag, touchdown points, the "NG" attachment points, aerodynamics, propellant,
// engines and transponder.
#include "vessel/korvan.h"

namespace {

constexpr double kSize = 45.0;                  // m, mean radius
constexpr double kHullEmptyMass = 59874.0;      // kg
constexpr double kHullEmptyMassB = 55874.0;     // kg, B variant

// Gear-down touchdown triangle: nose, left main, right main (m).
const VECTOR3 kTouchdownNose{{0.0, -11.8, 23.0}};
const VECTOR3 kTouchdownLeft{{-8.7, -13.14, -11.9}};
const VECTOR3 kTouchdownRight{{8.7, -13.14, -11.9}};

const VECTOR3 kPmi{{86.7, 88.9, 13.6}};                 // m^2, per unit mass
const VECTOR3 kCrossSections{{534.8, 1389.1, 158.2}};   // m^2
constexpr double kCwForward = 0.1, kCwBackward = 0.3, kCwLateral = 1.4, kCwVertical = 1.4;
const VECTOR3 kRotDrag{{0.7, 0.7, 1.2}};
constexpr double kPitchMomentScale = 1e-6;
constexpr double kBankMomentScale = 1e-6;
constexpr double kTrimScale = 0.025;
const VECTOR3 kCameraOffset{{0.0, 1.5, 40.0}};  // m

constexpr double kMaxPropellant = 76204.0;      // kg
constexpr double kPropellantEfficiency = 1.0;

const VECTOR3 kNgPoint{{0.0, -2.55, 14.0}};
const VECTOR3 kNgDir{{0.0, 0.0675, 1.0}};
const VECTOR3 kNgRot{{0.0, 1.0, 0.0}};
constexpr const char* kNgId = "NG";

constexpr const char* kContrailTexture = "Contrail2";

// Exhaust particle stream of every main engine.
PARTICLESTREAMSPEC main_exhaust_stream_spec() {
    PARTICLESTREAMSPEC spec{};
    spec.flags = 0;
    spec.srcsize = 1.1;    // m
    spec.srcrate = 7.0;    // particles per second
    spec.v0 = 25.0;        // m/s
    spec.srcspread = 0.0;
    spec.lifetime = 0.5;   // s
    spec.growthrate = -0.5;
    spec.atmslowdown = 0.5;
    spec.ltype = PARTICLESTREAMSPEC::DIFFUSE;
    spec.levelmap = PARTICLESTREAMSPEC::LVL_SQRT;
    spec.lmin = 0.0;
    spec.lmax = 0.1;
    spec.atmsmap = PARTICLESTREAMSPEC::ATM_PLOG;
    spec.amin = 1e-4;
    spec.amax = 1.0;
    spec.tex = nullptr;  // the host's default particle texture
    return spec;
}

}  // namespace

void Korvan::build_class_caps() {
    ClearItemMeshes();
    ClearThrusterDefinitions();

    exhaust_stream_spec = main_exhaust_stream_spec();
    (void)oapiRegisterParticleTexture(kContrailTexture);

    SetSize(kSize);
    SetEmptyMass(GetItemMass() + payload_mass + (variant_b ? kHullEmptyMassB : kHullEmptyMass));
    SetTouchdownPoints(kTouchdownNose, kTouchdownLeft, kTouchdownRight);

    // The "NG" points are made once and then moved, so a vessel attached there stays.
    if (ng_child_attachment == nullptr)
        ng_child_attachment = CreateAttachment(false, kNgPoint, kNgDir, kNgRot, kNgId, false);
    else
        SetAttachmentParams(ng_child_attachment, kNgPoint, kNgDir, kNgRot);
    if (ng_parent_attachment == nullptr)
        ng_parent_attachment = CreateAttachment(true, kNgPoint, kNgDir, kNgRot, kNgId, false);
    else
        SetAttachmentParams(ng_parent_attachment, kNgPoint, kNgDir, kNgRot);

    SetPMI(kPmi);
    SetCrossSections(kCrossSections);
    SetCW(kCwForward, kCwBackward, kCwLateral, kCwVertical);
    SetRotDrag(kRotDrag);
    SetPitchMomentScale(kPitchMomentScale);
    SetBankMomentScale(kBankMomentScale);
    SetTrimScale(kTrimScale);
    SetCameraOffset(kCameraOffset);

    define_aerodynamics();

    AddListedMesh(mesh_main, _V(0.0, 0.0, 0.0));
    BuildItemMeshes();

    // The tank survives every rebuild, and with it the fuel level.
    if (main_propellant == nullptr)
        main_propellant = CreatePropellantResource(kMaxPropellant, kMaxPropellant, kPropellantEfficiency);
    SetDefaultPropellantResource(main_propellant);

    define_main_engines();
    define_rcs();

    EnableTransponder(true);
}
