// Helpers for the stage, payload, link and sound tests: plain vessel classes, a Korvan
// carrying item lines, and direct access to the message link library.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "runtime/loader.h"
#include "runtime/world.h"
#include "vessel/vessel_fixture.h"

namespace stages_test {

using Message = std::pair<std::string, std::string>;  // keyword, text

// The message link library of a run tree, opened beside the vessels that use it.
class LinkLibrary {
public:
    explicit LinkLibrary(const std::string& root) : handle(LoadLibraryA((root + "/Modules/cvelmessage").c_str())) {}
    ~LinkLibrary() { FreeLibrary(handle); }
    LinkLibrary(const LinkLibrary&) = delete;
    LinkLibrary& operator=(const LinkLibrary&) = delete;

    using Send = int (*)(void*, const char*, const char*);
    using Check = int (*)(void*, char*, char*);
    Send send() const { return runtime::procedure<Send>(handle, "SendCMessage"); }
    Check check() const { return runtime::procedure<Check>(handle, "CheckCMessage"); }

    // Every pair waiting for `receiver`, in order; the queue is empty afterwards.
    std::vector<Message> take_all(void* receiver) const {
        std::vector<Message> out;
        for (int guard = 0; guard < 10000; ++guard) {
            char keyword[256] = {};
            char text[2048] = {};
            if (check()(receiver, keyword, text) == -1) break;
            out.emplace_back(keyword, text);
        }
        return out;
    }

    HMODULE handle;
};

// A vessel class without a module, for released items and captured payloads.
inline runtime::VesselClass plain_class(const std::string& name, double size, double empty_mass, double max_fuel,
                                        std::vector<runtime::AttachmentSpec> points = {}) {
    runtime::VesselClass cls;
    cls.name = name;
    cls.size = size;
    cls.empty_mass = empty_mass;
    cls.max_fuel = max_fuel;
    cls.isp = max_fuel > 0.0 ? 30000.0 : 0.0;
    cls.attachments = std::move(points);
    return cls;
}

inline runtime::AttachmentSpec to_parent_point(const VECTOR3& pos, const std::string& id) {
    runtime::AttachmentSpec spec;
    spec.to_parent = true;
    spec.pos = pos;
    spec.id = id;
    return spec;
}

}  // namespace stages_test
