#pragma once

namespace quillon {

// Whether the program itself talks Wayland (not through XWayland): then it cannot read
// the screen, nor learn or choose where its windows are.
bool NativeWayland();

} // namespace quillon
