// The simulator's types, constants and global functions, as the vessel module sees them.
// Our own definition: every name here is one the module calls, with the arguments and
// results it relies on. Behind the functions stands the World (runtime/world.h).
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>

// ---------------------------------------------------------------------------------------
// Export and platform words
// ---------------------------------------------------------------------------------------
#if defined(_WIN32)
// The platform's own words (DWORD, UINT, WORD, HMODULE, FARPROC) and loader come from the
// system header, lean and without its min and max macros.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#define DLLEXPORT __declspec(dllexport)
#else
#define DLLEXPORT __attribute__((visibility("default")))
using DWORD = std::uint32_t;
using UINT = unsigned int;
using WORD = std::uint16_t;
#endif

// ---------------------------------------------------------------------------------------
// Vectors and matrices
// ---------------------------------------------------------------------------------------
union VECTOR3 {
    double data[3];
    struct {
        double x, y, z;
    };
};

union MATRIX3 {
    double data[9];
    struct {
        double m11, m12, m13, m21, m22, m23, m31, m32, m33;
    };
};

inline VECTOR3 _V(double x, double y, double z) {
    VECTOR3 v;
    v.x = x;
    v.y = y;
    v.z = z;
    return v;
}

inline VECTOR3 operator+(const VECTOR3& a, const VECTOR3& b) { return _V(a.x + b.x, a.y + b.y, a.z + b.z); }
inline VECTOR3 operator-(const VECTOR3& a, const VECTOR3& b) { return _V(a.x - b.x, a.y - b.y, a.z - b.z); }
inline VECTOR3 operator-(const VECTOR3& a) { return _V(-a.x, -a.y, -a.z); }
inline VECTOR3 operator*(const VECTOR3& a, double f) { return _V(a.x * f, a.y * f, a.z * f); }
inline VECTOR3 operator*(double f, const VECTOR3& a) { return a * f; }
inline VECTOR3 operator/(const VECTOR3& a, double f) { return _V(a.x / f, a.y / f, a.z / f); }
inline VECTOR3& operator+=(VECTOR3& a, const VECTOR3& b) { return a = a + b; }
inline VECTOR3& operator-=(VECTOR3& a, const VECTOR3& b) { return a = a - b; }
inline VECTOR3& operator*=(VECTOR3& a, double f) { return a = a * f; }
// The helpers are inline so that every caller (the vessel module included) computes them in
// place: the module calls them many times per step.
inline double dotp(const VECTOR3& a, const VECTOR3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline VECTOR3 crossp(const VECTOR3& a, const VECTOR3& b) {
    return _V(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}
inline double length(const VECTOR3& a) { return std::sqrt(dotp(a, a)); }
inline double dist(const VECTOR3& a, const VECTOR3& b) { return length(a - b); }
// A zero vector stays zero rather than becoming NaN.
inline VECTOR3 unit(const VECTOR3& a) {
    const double len = length(a);
    return len > 0.0 ? a / len : _V(0.0, 0.0, 0.0);
}
// m v
inline VECTOR3 mul(const MATRIX3& m, const VECTOR3& v) {
    return _V(m.m11 * v.x + m.m12 * v.y + m.m13 * v.z, m.m21 * v.x + m.m22 * v.y + m.m23 * v.z,
              m.m31 * v.x + m.m32 * v.y + m.m33 * v.z);
}
// transpose(m) v
inline VECTOR3 tmul(const MATRIX3& m, const VECTOR3& v) {
    return _V(m.m11 * v.x + m.m21 * v.y + m.m31 * v.z, m.m12 * v.x + m.m22 * v.y + m.m32 * v.z,
              m.m13 * v.x + m.m23 * v.y + m.m33 * v.z);
}
inline MATRIX3 mul(const MATRIX3& a, const MATRIX3& b) {
    MATRIX3 r;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            double s = 0.0;
            for (int k = 0; k < 3; ++k) s += a.data[i * 3 + k] * b.data[k * 3 + j];
            r.data[i * 3 + j] = s;
        }
    }
    return r;
}
inline MATRIX3 identity_matrix() {
    MATRIX3 m;
    for (double& d : m.data) d = 0.0;
    m.m11 = m.m22 = m.m33 = 1.0;
    return m;
}

constexpr double PI = 3.14159265358979323846;
constexpr double PI05 = PI / 2.0;
constexpr double PI2 = PI * 2.0;
constexpr double RAD = PI / 180.0;
constexpr double DEG = 180.0 / PI;

// ---------------------------------------------------------------------------------------
// Opaque handles owned by the host
// ---------------------------------------------------------------------------------------
using OBJHANDLE = void*;
using THRUSTER_HANDLE = void*;
using THGROUP_HANDLE = void*;
using PROPELLANT_HANDLE = void*;
using ATTACHMENTHANDLE = void*;
using DOCKHANDLE = void*;
using MESHHANDLE = void*;
using SURFHANDLE = void*;
using AIRFOILHANDLE = void*;
using CTRLSURFHANDLE = void*;
using ANIMATIONCOMPONENT_HANDLE = void*;
using VISHANDLE = void*;
using FILEHANDLE = void*;

// ---------------------------------------------------------------------------------------
// Enumerations
// ---------------------------------------------------------------------------------------
enum THGROUP_TYPE {
    THGROUP_MAIN = 0,
    THGROUP_RETRO = 1,
    THGROUP_HOVER = 2,
    THGROUP_ATT_PITCHUP = 3,
    THGROUP_ATT_PITCHDOWN = 4,
    THGROUP_ATT_YAWLEFT = 5,
    THGROUP_ATT_YAWRIGHT = 6,
    THGROUP_ATT_BANKLEFT = 7,
    THGROUP_ATT_BANKRIGHT = 8,
    THGROUP_ATT_RIGHT = 9,
    THGROUP_ATT_LEFT = 10,
    THGROUP_ATT_UP = 11,
    THGROUP_ATT_DOWN = 12,
    THGROUP_ATT_FORWARD = 13,
    THGROUP_ATT_BACK = 14,
    THGROUP_USER = 0x40
};
constexpr int THGROUP_TYPE_COUNT = 15;  // the predefined types 0..14

enum AIRCTRL_TYPE {
    AIRCTRL_ELEVATOR = 0,
    AIRCTRL_RUDDER = 1,
    AIRCTRL_AILERON = 2,
    AIRCTRL_FLAP = 3,
    AIRCTRL_ELEVATORTRIM = 4,
    AIRCTRL_RUDDERTRIM = 5
};
constexpr int AIRCTRL_TYPE_COUNT = 6;

enum AIRCTRL_AXIS {
    AIRCTRL_AXIS_AUTO = 0,
    AIRCTRL_AXIS_YPOS = 1,
    AIRCTRL_AXIS_YNEG = 2,
    AIRCTRL_AXIS_XPOS = 3,
    AIRCTRL_AXIS_XNEG = 4
};

enum AIRFOIL_ORIENTATION { LIFT_VERTICAL = 0, LIFT_HORIZONTAL = 1 };

enum ENGINETYPE { ENGINE_MAIN = 0, ENGINE_RETRO = 1, ENGINE_HOVER = 2, ENGINE_ATTITUDE = 3 };

// Manual control: the mode and device arguments of GetManualControlLevel. ATTMODE asks for
// the attitude thrusters' current manual mode (rotation or translation), ROTMODE and LINMODE
// for one of them, ANYMODE for either.
constexpr DWORD MANCTRL_ATTMODE = 0;
constexpr DWORD MANCTRL_ROTMODE = 1;
constexpr DWORD MANCTRL_ANYMODE = 2;
constexpr DWORD MANCTRL_LINMODE = 3;
constexpr DWORD MANCTRL_KEYBOARD = 0;
constexpr DWORD MANCTRL_JOYSTICK = 1;
constexpr DWORD MANCTRL_ANYDEVICE = 4;

// The attitude thrusters' manual mode: off, rotation or translation.
constexpr int RCS_NONE = 0;
constexpr int RCS_ROT = 1;
constexpr int RCS_LIN = 2;

// The attitude autopilots every vessel has (navigation modes); one is active at a time.
constexpr int NAVMODE_KILLROT = 1;
constexpr int NAVMODE_HLEVEL = 2;
constexpr int NAVMODE_PROGRADE = 3;
constexpr int NAVMODE_RETROGRADE = 4;
constexpr int NAVMODE_NORMAL = 5;
constexpr int NAVMODE_ANTINORMAL = 6;
constexpr int NAVMODE_COUNT = 7;  // modes are 1..NAVMODE_COUNT-1

// Mesh visibility modes.
constexpr WORD MESHVIS_NEVER = 0x00;
constexpr WORD MESHVIS_EXTERNAL = 0x01;
constexpr WORD MESHVIS_COCKPIT = 0x02;
constexpr WORD MESHVIS_ALWAYS = 0x03;

// Keyboard scan codes (set 1) and the key-state test.
constexpr DWORD OAPI_KEY_LSHIFT = 0x2A;
constexpr DWORD OAPI_KEY_RSHIFT = 0x36;
constexpr DWORD OAPI_KEY_LCONTROL = 0x1D;
constexpr DWORD OAPI_KEY_RCONTROL = 0x9D;
constexpr DWORD OAPI_KEY_J = 0x24;
constexpr DWORD OAPI_KEY_G = 0x22;
constexpr DWORD OAPI_KEY_K = 0x25;
constexpr DWORD OAPI_KEY_B = 0x30;
constexpr DWORD OAPI_KEY_O = 0x18;
constexpr DWORD OAPI_KEY_U = 0x16;
constexpr int KEYSTATE_SIZE = 256;
inline bool KEYDOWN(const char* kstate, DWORD key) { return (kstate[key] & 0x80) != 0; }
inline bool KEYMOD_SHIFT(const char* kstate) {
    return KEYDOWN(kstate, OAPI_KEY_LSHIFT) || KEYDOWN(kstate, OAPI_KEY_RSHIFT);
}
inline bool KEYMOD_CONTROL(const char* kstate) {
    return KEYDOWN(kstate, OAPI_KEY_LCONTROL) || KEYDOWN(kstate, OAPI_KEY_RCONTROL);
}

// ---------------------------------------------------------------------------------------
// Records exchanged with the host
// ---------------------------------------------------------------------------------------

// A vessel's status, as used for creating a vessel. Positions and velocities are relative
// to the reference body, in the host's global (inertial) axes; arot holds the orientation
// angles (alpha, beta, gamma) of the vessel frame in those axes; vrot the angular velocity
// in the vessel frame.
struct VESSELSTATUS {
    VECTOR3 rpos;
    VECTOR3 rvel;
    VECTOR3 vrot;
    VECTOR3 arot;
    double fuel;      // fuel level of the default propellant resource, 0..1
    double eng_main;  // main engine level, -1 (retro) .. 1 (main)
    double eng_hovr;  // hover engine level, 0..1
    OBJHANDLE rbody;  // reference body
    OBJHANDLE base;   // landing base, or null
    int port;         // landing pad
    int status;       // 0 flying, 1 landed
};

// Osculating elements: semi-major axis (m), eccentricity, inclination, longitude of the
// ascending node, longitude of periapsis, mean longitude at the epoch (radians).
struct ELEMENTS {
    double a;
    double e;
    double i;
    double theta;
    double omegab;
    double L;
};
struct ORBITPARAM;  // not used by the vessel
constexpr int FRAME_ECL = 0;
constexpr int FRAME_EQU = 1;

struct PARTICLESTREAMSPEC {
    DWORD flags;
    double srcsize;
    double srcrate;
    double v0;
    double srcspread;
    double lifetime;
    double growthrate;
    double atmslowdown;
    enum LTYPE { EMISSIVE, DIFFUSE } ltype;
    enum LEVELMAP { LVL_FLAT, LVL_LIN, LVL_SQRT, LVL_PLIN, LVL_PSQRT } levelmap;
    double lmin, lmax;
    enum ATMSMAP { ATM_FLAT, ATM_PLIN, ATM_PLOG } atmsmap;
    double amin, amax;
    SURFHANDLE tex;
};

struct HUDPAINTSPEC {
    int W, H;
    int CX, CY;
    double Scale;
    int Markersize;
};

// Mesh-group transforms for animations.
struct MGROUP_TRANSFORM {
    enum TYPE { NULLTRANSFORM, ROTATE, TRANSLATE, SCALE };
    MGROUP_TRANSFORM() = default;
    MGROUP_TRANSFORM(UINT mesh_, UINT* grp_, UINT ngrp_) : mesh(mesh_), grp(grp_), ngrp(ngrp_) {}
    virtual ~MGROUP_TRANSFORM() = default;
    virtual TYPE Type() const { return NULLTRANSFORM; }
    UINT mesh = 0;
    UINT* grp = nullptr;
    UINT ngrp = 0;
};

struct MGROUP_ROTATE : MGROUP_TRANSFORM {
    MGROUP_ROTATE(UINT mesh_, UINT* grp_, UINT ngrp_, const VECTOR3& ref_, const VECTOR3& axis_, float angle_)
        : MGROUP_TRANSFORM(mesh_, grp_, ngrp_), ref(ref_), axis(axis_), angle(angle_) {}
    TYPE Type() const override { return ROTATE; }
    VECTOR3 ref;
    VECTOR3 axis;
    float angle;  // radians
};

// Airfoil coefficient function: angle (rad), Mach number, Reynolds number; writes lift,
// moment and drag coefficients.
using AirfoilCoeffFunc = void (*)(double aoa, double M, double Re, double* cl, double* cm, double* cd);

// Input box handler: (box id, entered text, user data); true accepts the input.
using InputBoxHandler = bool (*)(void* id, char* str, void* usrdata);

class VESSEL;

// ---------------------------------------------------------------------------------------
// Global functions
// ---------------------------------------------------------------------------------------

// Scenario streams
bool oapiReadScenario_nextline(FILEHANDLE scn, char*& line);
void oapiWriteScenario_string(FILEHANDLE scn, const char* item, const char* string);
void oapiWriteScenario_int(FILEHANDLE scn, const char* item, int i);
void oapiWriteScenario_float(FILEHANDLE scn, const char* item, double d);
void oapiWriteScenario_vec(FILEHANDLE scn, const char* item, const VECTOR3& vec);

// Debug line, log, input box, keys
char* oapiDebugString();
void oapiWriteLog(const char* line);
bool oapiOpenInputBox(const char* title, InputBoxHandler handler, const char* buf, int vislen, void* usrdata);
bool oapiAcceptDelayedKey(char key, double repdelay);

// Resources
SURFHANDLE oapiRegisterExhaustTexture(const char* name);
SURFHANDLE oapiRegisterParticleTexture(const char* name);
MESHHANDLE oapiLoadMeshGlobal(const char* name);
MESHHANDLE oapiLoadMesh(const char* name);

// Clock and focus
double oapiGetSimTime();
double oapiGetSimStep();
double oapiGetSimMJD();
double oapiGetTimeAcceleration();
OBJHANDLE oapiGetFocusObject();

// Objects
DWORD oapiGetVesselCount();
OBJHANDLE oapiGetVesselByIndex(int index);
OBJHANDLE oapiGetVesselByName(const char* name);
VESSEL* oapiGetVesselInterface(OBJHANDLE hVessel);
OBJHANDLE oapiCreateVessel(const char* name, const char* classname, const VESSELSTATUS& status);
bool oapiDeleteVessel(OBJHANDLE hVessel);
void oapiGetGlobalPos(OBJHANDLE hObj, VECTOR3* pos);
void oapiGetGlobalVel(OBJHANDLE hObj, VECTOR3* vel);
double oapiGetSize(OBJHANDLE hObj);
double oapiGetMass(OBJHANDLE hObj);
void oapiGetRelativeVel(OBJHANDLE hObj, OBJHANDLE hRef, VECTOR3* vel);
void oapiGetRelativePos(OBJHANDLE hObj, OBJHANDLE hRef, VECTOR3* pos);
bool oapiGetHeading(OBJHANDLE hVessel, double* heading);
void oapiSetEngineLevel(OBJHANDLE hVessel, ENGINETYPE engine, double level);
OBJHANDLE oapiGetGbodyByName(const char* name);

// Pure formulas
double oapiGetInducedDrag(double cl, double A, double e);
double oapiGetWaveDrag(double M, double M1, double M2, double M3, double cmax);

// ---------------------------------------------------------------------------------------
// Platform loader. On Windows these are the system's own; elsewhere a thin layer over the
// dynamic loader: '\' becomes '/', a name without extension gets the platform's library
// suffix, ".dll" maps to it, and GetModuleHandleA finds only libraries already loaded.
// ---------------------------------------------------------------------------------------
#if !defined(_WIN32)
using HMODULE = void*;
using HINSTANCE = void*;
using FARPROC = void (*)();
HMODULE LoadLibraryA(const char* name);
FARPROC GetProcAddress(HMODULE module, const char* name);
bool FreeLibrary(HMODULE module);
HMODULE GetModuleHandleA(const char* name);
#endif
