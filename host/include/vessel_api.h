// The host's vessel classes. VESSEL carries the operations a vessel calls on the host;
// VESSEL2 and VESSEL3 add the callbacks the host calls on the vessel. Every operation
// reads or writes the vessel's record in the World.
#pragma once

#include "orbiter_api.h"
#include "sketchpad.h"

class VESSEL {
public:
    VESSEL(OBJHANDLE hVessel, int fmodel = 1);
    virtual ~VESSEL();

    // Identity
    OBJHANDLE GetHandle() const;
    const char* GetName() const;
    const char* GetClassNameA() const;
    int GetFlightModel() const;

    // Scenario
    bool ParseScenarioLineEx(char* line, void* status);
    void SaveDefaultState(FILEHANDLE scn) const;

    // Shape, mass and drag
    void SetSize(double size) const;
    double GetSize() const;
    void SetEmptyMass(double m) const;
    double GetEmptyMass() const;
    double GetMass() const;
    void SetPMI(const VECTOR3& pmi) const;
    void GetPMI(VECTOR3& pmi) const;
    void SetCrossSections(const VECTOR3& cs) const;
    void GetCrossSections(VECTOR3& cs) const;
    void SetCW(double cw_z_pos, double cw_z_neg, double cw_x, double cw_y) const;
    void SetRotDrag(const VECTOR3& rd) const;
    void SetPitchMomentScale(double scale) const;
    void SetBankMomentScale(double scale) const;
    void SetTrimScale(double scale) const;
    void SetCameraOffset(const VECTOR3& co) const;
    void SetTouchdownPoints(const VECTOR3& pt1, const VECTOR3& pt2, const VECTOR3& pt3) const;
    void GetTouchdownPoints(VECTOR3& pt1, VECTOR3& pt2, VECTOR3& pt3) const;
    void SetSurfaceFrictionCoeff(double mu_lng, double mu_lat) const;
    void EnableTransponder(bool enable) const;

    // Meshes
    UINT AddMesh(MESHHANDLE hMesh, const VECTOR3* ofs = nullptr) const;
    void ClearMeshes() const;
    void SetMeshVisibilityMode(UINT idx, WORD mode) const;

    // Propellant
    PROPELLANT_HANDLE CreatePropellantResource(double maxmass, double mass = -1.0, double efficiency = 1.0) const;
    void SetDefaultPropellantResource(PROPELLANT_HANDLE ph) const;
    double GetMaxFuelMass() const;
    double GetFuelMass() const;
    void SetFuelMass(double m) const;
    double GetPropellantMass(PROPELLANT_HANDLE ph) const;
    double GetPropellantMaxMass(PROPELLANT_HANDLE ph) const;
    void SetPropellantMass(PROPELLANT_HANDLE ph, double mass) const;
    double GetTotalPropellantMass() const;

    // Thrusters
    THRUSTER_HANDLE CreateThruster(const VECTOR3& pos, const VECTOR3& dir, double maxth0,
                                   PROPELLANT_HANDLE hp = nullptr, double isp0 = 0.0, double isp_ref = 0.0,
                                   double p_ref = 101.4e3) const;
    void ClearThrusterDefinitions() const;
    DWORD GetThrusterCount() const;
    void SetThrusterLevel(THRUSTER_HANDLE th, double level) const;
    double GetThrusterLevel(THRUSTER_HANDLE th) const;
    void SetThrusterIsp(THRUSTER_HANDLE th, double isp) const;
    double GetThrusterIsp0(THRUSTER_HANDLE th) const;
    void SetThrusterMax0(THRUSTER_HANDLE th, double maxth0) const;
    double GetThrusterMax0(THRUSTER_HANDLE th) const;
    void SetThrusterDir(THRUSTER_HANDLE th, const VECTOR3& dir) const;
    void GetThrusterDir(THRUSTER_HANDLE th, VECTOR3& dir) const;
    THGROUP_HANDLE CreateThrusterGroup(THRUSTER_HANDLE* th, int nth, THGROUP_TYPE type) const;
    THGROUP_HANDLE GetThrusterGroupHandle(THGROUP_TYPE type) const;
    DWORD GetGroupThrusterCount(THGROUP_TYPE type) const;
    void SetThrusterGroupLevel(THGROUP_TYPE type, double level) const;
    double GetThrusterGroupLevel(THGROUP_TYPE type) const;
    double GetManualControlLevel(THGROUP_TYPE type, DWORD mode = MANCTRL_ATTMODE, DWORD device = MANCTRL_ANYDEVICE) const;
    void SetAttitudeRotLevel(const VECTOR3& th) const;
    // The attitude thrusters' manual mode (RCS_NONE, RCS_ROT, RCS_LIN): what the pilot's
    // attitude inputs fire. SetAttitudeMode refuses (false) an unknown mode.
    int GetAttitudeMode() const;
    bool SetAttitudeMode(int mode) const;
    int ToggleAttitudeMode() const;  // rotation <-> translation; off stays off
    UINT AddExhaust(THRUSTER_HANDLE th, double lscale, double wscale, const VECTOR3& pos, const VECTOR3& dir,
                    SURFHANDLE tex = nullptr) const;
    UINT AddExhaust(THRUSTER_HANDLE th, double lscale, double wscale, SURFHANDLE tex = nullptr) const;
    void* AddExhaustStream(THRUSTER_HANDLE th, const VECTOR3& pos, PARTICLESTREAMSPEC* pss = nullptr) const;

    // Aerodynamics
    AIRFOILHANDLE CreateAirfoil(AIRFOIL_ORIENTATION align, const VECTOR3& ref, AirfoilCoeffFunc cf, double c,
                                double S, double A) const;
    void ClearAirfoilDefinitions() const;
    void CreateVariableDragElement(const double* drag, double factor, const VECTOR3& ref) const;
    void ClearVariableDragElements() const;
    CTRLSURFHANDLE CreateControlSurface(AIRCTRL_TYPE type, double area, double dCl, const VECTOR3& ref,
                                        int axis = AIRCTRL_AXIS_AUTO, UINT anim = (UINT)-1) const;
    void SetControlSurfaceLevel(AIRCTRL_TYPE type, double level) const;
    double GetControlSurfaceLevel(AIRCTRL_TYPE type) const;

    // Attitude autopilots (NAVMODE_*). One mode is active at a time: activating one ends the
    // other. The host flies them with the vessel's attitude thruster groups.
    bool ActivateNavmode(int mode) const;    // true when the mode was off and is now on
    bool DeactivateNavmode(int mode) const;  // true when the mode was on and is now off
    bool ToggleNavmode(int mode) const;      // true for a known mode
    bool GetNavmodeState(int mode) const;    // true while the mode is active

    // Attachments and docking
    DOCKHANDLE CreateDock(const VECTOR3& pos, const VECTOR3& dir, const VECTOR3& rot) const;
    DWORD DockCount() const;
    ATTACHMENTHANDLE CreateAttachment(bool toparent, const VECTOR3& pos, const VECTOR3& dir, const VECTOR3& rot,
                                      const char* id, bool loose = false) const;
    void SetAttachmentParams(ATTACHMENTHANDLE attachment, const VECTOR3& pos, const VECTOR3& dir,
                             const VECTOR3& rot) const;
    void GetAttachmentParams(ATTACHMENTHANDLE attachment, VECTOR3& pos, VECTOR3& dir, VECTOR3& rot) const;
    const char* GetAttachmentId(ATTACHMENTHANDLE attachment) const;
    OBJHANDLE GetAttachmentStatus(ATTACHMENTHANDLE attachment) const;
    DWORD AttachmentCount(bool toparent) const;
    ATTACHMENTHANDLE GetAttachmentHandle(bool toparent, DWORD i) const;
    bool AttachChild(OBJHANDLE child, ATTACHMENTHANDLE attachment, ATTACHMENTHANDLE child_attachment) const;
    bool DetachChild(ATTACHMENTHANDLE attachment, double vel = 0.0) const;

    // Animations
    UINT CreateAnimation(double initial_state) const;
    ANIMATIONCOMPONENT_HANDLE AddAnimationComponent(UINT anim, double state0, double state1,
                                                    MGROUP_TRANSFORM* trans,
                                                    ANIMATIONCOMPONENT_HANDLE parent = nullptr) const;
    bool SetAnimation(UINT anim, double state) const;
    double GetAnimation(UINT anim) const;

    // State and observables
    void GetStatus(VESSELSTATUS& status) const;
    void DefSetState(const VESSELSTATUS* status) const;
    OBJHANDLE GetSurfaceRef() const;
    OBJHANDLE GetGravityRef() const;
    double GetAltitude() const;
    double GetAirspeed() const;
    double GetMachNumber() const;
    double GetDynPressure() const;
    double GetAtmPressure() const;
    double GetAtmDensity() const;
    double GetPitch() const;
    double GetBank() const;
    double GetYaw() const;
    double GetAOA() const;
    double GetSlipAngle() const;
    void GetAngularVel(VECTOR3& avel) const;
    void SetAngularVel(const VECTOR3& avel) const;
    void GetHorizonAirspeedVector(VECTOR3& v) const;
    void GetAirspeedVector(VECTOR3& v) const;  // in the vessel frame
    void GetRelativeVel(OBJHANDLE hRef, VECTOR3& vel) const;
    void GetRelativePos(OBJHANDLE hRef, VECTOR3& pos) const;
    void GetGlobalPos(VECTOR3& pos) const;
    void GetGlobalVel(VECTOR3& vel) const;
    OBJHANDLE GetElements(OBJHANDLE hRef, ELEMENTS& el, ORBITPARAM* prm = nullptr, double mjd_ref = 0.0,
                          int frame = FRAME_ECL) const;
    OBJHANDLE GetEquPos(double& longitude, double& latitude, double& radius) const;
    void GetForceVector(VECTOR3& F) const;
    void GetWeightVector(VECTOR3& G) const;
    void GetThrustVector(VECTOR3& T) const;
    void AddForce(const VECTOR3& F, const VECTOR3& r) const;
    bool GroundContact() const;

    // Frames
    void Local2Global(const VECTOR3& local, VECTOR3& global) const;
    void Global2Local(const VECTOR3& global, VECTOR3& local) const;
    void Local2Rel(const VECTOR3& local, VECTOR3& rel) const;
    void GlobalRot(const VECTOR3& rloc, VECTOR3& rglob) const;
    void GetRotationMatrix(MATRIX3& R) const;

    // Host callbacks with the host's default behaviour.
    virtual void clbkSetClassCaps(FILEHANDLE cfg);
    virtual void clbkSaveState(FILEHANDLE scn);
    virtual void clbkLoadStateEx(FILEHANDLE scn, void* status);
    virtual void clbkPostStep(double simt, double simdt, double mjd);
    virtual void clbkVisualCreated(VISHANDLE vis, int refcount);
    virtual void clbkVisualDestroyed(VISHANDLE vis, int refcount);
    virtual int clbkConsumeBufferedKey(DWORD key, bool down, char* kstate);
    virtual bool clbkDrawHUD(int mode, const HUDPAINTSPEC* hps, oapi::Sketchpad* skp);

protected:
    OBJHANDLE vessel_handle;
    int flight_model;
};

class VESSEL2 : public VESSEL {
public:
    using VESSEL::VESSEL;
};

class VESSEL3 : public VESSEL2 {
public:
    using VESSEL2::VESSEL2;
};

// Module entry points, resolved by name from a vessel module.
using OvcInitFunc = VESSEL* (*)(OBJHANDLE hvessel, int flightmodel);
using OvcExitFunc = void (*)(VESSEL* vessel);
