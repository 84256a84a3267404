#pragma once

// Libraries that talk on the terminal. SANE's backends write their complaints (a network
// backend's "Address already in use", debug lines) straight to file descriptor 2, from
// whichever thread calls them, so their output cannot be told apart from the program's
// by thread. While such a library works, descriptor 2 points at /dev/null; the program's
// own messages go to the terminal's stderr, kept aside, all the time.
#include <string>

namespace quillon {

// The environment variable that asks for the libraries' own output, as it would be
// without this program: set and not "0".
inline constexpr const char* kDiagnosticsVariable = "QUILLON_DEBUG";

bool DiagnosticsWanted();

// While any of these lives, descriptor 2 goes to /dev/null (unless diagnostics are
// wanted when the first one starts). Any thread; scopes may overlap.
class TQuietLibraryOutput {
public:
    TQuietLibraryOutput();
    ~TQuietLibraryOutput();
    TQuietLibraryOutput(const TQuietLibraryOutput&) = delete;
    TQuietLibraryOutput& operator=(const TQuietLibraryOutput&) = delete;
};

// Writes one of the program's own messages to the terminal's stderr, quiet scope or not.
void WriteProgramMessage(const std::string& text);

} // namespace quillon
