// COMMON_VESSEL_EX: the stage and payload framework between the host's VESSEL3 and a
// vessel class. It keeps a table of up to 50 carried items, reads and writes their item
// lines, builds their meshes, sums their mass, releases them as vessels and exchanges item
// lines with other vessels through the message module.
#pragma once

#include <string>
#include <vector>

#include "vessel_api.h"

constexpr int CVE_MAX_ITEMS = 50;
constexpr int CVE_NAME_LEN = 128;        // name, class name and mesh file fields, terminator included
constexpr int CVE_LINE_LEN = 512;        // item and scenario lines, terminator included
constexpr int CVE_KEYWORD_LEN = 128;     // keyword copy in DispatchLine
constexpr int CVE_TEXT_LEN = 2048;       // text copy in DispatchLine and the poll's text buffer
constexpr int CVE_MSG_KEYWORD_LEN = 256; // the poll's keyword buffer

enum CVE_KIND : short { CVE_PAYLOAD = 0, CVE_STAGE = 1 };

struct CVE_MESH {
    MESHHANDLE handle = nullptr;
    VECTOR3 offset{};
    std::string file;
    int index = 0;
};

struct CVE_ITEM {
    short kind = CVE_PAYLOAD;
    bool in_use = false;
    short parent = -1;
    char name[CVE_NAME_LEN] = {};
    CVE_MESH mesh;
    VECTOR3 position{};
    char class_name[CVE_NAME_LEN] = {};
    double mass = 0.0;
    double angle = 0.0;
    double fuel = 0.0;
    VECTOR3 sep_velocity{};
};

// The fields of an item line after its keyword (name, mesh file, class, the offset given,
// mass, angle, fuel), as the scenario block and the handover messages write them.
std::string format_item_fields(const CVE_ITEM& item, const VECTOR3& offset);

class _COMMON_VESSEL_EX {
public:
    virtual ~_COMMON_VESSEL_EX() = default;
    // Lines and messages whose keyword is not an item keyword.
    virtual void clbkCVELine(const char* keyword, const char* text) { (void)keyword, (void)text; }
};

class COMMON_VESSEL_EX : public VESSEL3, public _COMMON_VESSEL_EX {
public:
    explicit COMMON_VESSEL_EX(OBJHANDLE hVessel);
    ~COMMON_VESSEL_EX() override;

    // Item lines, from the scenario and from messages
    void ReadScenarioLine(const char* line);
    void DispatchLine(const char* keyword, const char* text);
    void ParseItemLine(const char* text);
    void WriteItems(FILEHANDLE scn);

    // Meshes and mass
    void ClearItemMeshes();
    void AddListedMesh(MESHHANDLE handle, const VECTOR3& offset);
    void BuildItemMeshes();
    double GetItemMass() const;

    // Separation
    void SetSeparationVelocity(const VECTOR3& v);
    VESSEL* SeparateLastItem();

    // Message link
    void SendCVEMessage(VESSEL* receiver, const char* keyword, const char* text);
    bool poll_messages(char* keyword_out = nullptr, char* text_out = nullptr);

    // Read access for the vessel and its tests
    const CVE_ITEM& item(int i) const { return items[i]; }
    int item_count() const;  // items in use
    short current_open_group() const { return open_group; }
    const std::vector<CVE_MESH>& listed_meshes() const { return mesh_list; }
    bool message_module_loaded() const { return msg_module != nullptr; }

protected:
    CVE_ITEM items[CVE_MAX_ITEMS];
    short open_group = -1;
    std::vector<CVE_MESH> mesh_list;
    HMODULE msg_module = nullptr;
    int mesh_visibility = 1;
    VECTOR3 sep_override = _V(0.0, 0.0, 1.0);
    bool sep_override_set = false;
    // The last poll stopped at its bound; the next one returns false without asking.
    bool msg_poll_saturated = false;
};
