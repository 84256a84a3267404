#pragma once

#include <string>

namespace quillon {

// Makes `path` a folder that this user alone can use: creates it 0700, or accepts an
// existing one only when it is a real folder (not a link) owned by this user and closed
// to everyone else. False when the folder must not be used: another user could
// otherwise plant sockets in it or read what it holds.
bool MakePrivateFolder(const std::string& path);

} // namespace quillon
