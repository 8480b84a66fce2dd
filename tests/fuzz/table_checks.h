// The item table's invariants, checked by the vessel fuzz targets after every change.
#pragma once

#include <cmath>
#include <string>

#include "fuzz_support.h"
#include "stages/common_vessel_ex.h"

namespace fuzz {

// Items in use occupy slots 0..n-1; a member's group is an earlier STAGE; the open group is
// none, a STAGE, or a slot its STAGE left by a release (the next item line closes it); every
// number is finite.
inline void check_item_table(const COMMON_VESSEL_EX& v) {
    const int n = v.item_count();
    for (int i = 0; i < CVE_MAX_ITEMS; ++i) {
        const CVE_ITEM& item = v.item(i);
        check(item.in_use == (i < n), "a hole in the item table at slot " + std::to_string(i));
        if (!item.in_use) continue;
        check(item.parent == -1 || (item.parent >= 0 && item.parent < i && v.item(item.parent).kind == CVE_STAGE),
              "item " + std::to_string(i) + " has the group " + std::to_string(item.parent));
        for (double x : {item.mesh.offset.x, item.mesh.offset.y, item.mesh.offset.z, item.mass, item.angle, item.fuel})
            check(std::isfinite(x), "item " + std::to_string(i) + " holds a non-finite number");
    }
    const short open = v.current_open_group();
    check(open == -1 || (open >= 0 && open < CVE_MAX_ITEMS && (open >= n || v.item(open).kind == CVE_STAGE)),
          "the open group is " + std::to_string(open));
    check(std::isfinite(v.GetItemMass()), "the item mass is not finite");
}

}  // namespace fuzz
