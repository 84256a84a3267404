#pragma once

#include "common/prompts.h"
#include "logodir/logotree.h"

#include <string>

namespace quillon {

inline constexpr const char* kAppStateFile = "appstate.xml";

// Reads appstate.xml of appDir and walks its stored path from the root, expanding each
// node on the way. Returns the node to select, or null when there is nothing to select
// (no file, or a damaged one, which is reported).
TLogoNode* LoadAppState(const std::string& appDir, TLogoTree& tree, TPrompts& prompts);

// The stored form of a node: the texts below the root joined with "/"; empty for the root.
std::string ActiveNodePath(const TLogoNode* node);

// Writes appstate.xml naming a node by its stored form (empty: none); throws on failure.
void WriteAppState(const std::string& appDir, const std::string& activeNodePath);
// Writes appstate.xml with the path of selected (null or the root: no path).
bool SaveAppState(const std::string& appDir, const TLogoNode* selected, TPrompts& prompts);

} // namespace quillon
