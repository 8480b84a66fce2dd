// Pictures of the Korvan drawn from its written mesh file: the views and poses a reader
// wants to see (side, top, front, three-quarter; gear up and down; each variant's doors
// open; the control surfaces at both ends of their travel), as PNG files.
#pragma once

#include <string>
#include <vector>

#include "mesh_files.h"

namespace korvan_assets {

// Writes every picture into `folder`; returns their file names.
std::vector<std::string> draw_pictures(const MeshFile& mesh, const std::string& folder);

}  // namespace korvan_assets
