#pragma once

#include "imaging/bitmap.h"

#include <QString>
#include <optional>
#include <string>

class QWidget;

namespace quillon {

// The real platform adapters behind TAppEnvironment.

// Where the file dialogs start before the user has chosen a folder: the desktop's pictures
// folder (XDG_PICTURES_DIR), else the home folder; never the folder the program happened to
// be started from.
QString DialogStartFolder();
// An open-file dialog for an existing file; filter in the "Label|patterns|Label|patterns" form.
std::string AskOpenFile(QWidget* parent, const std::string& filter);
// A save-file dialog that leaves the overwrite question to the caller.
std::string AskSaveFile(QWidget* parent, const std::string& fileName, const std::string& folder,
                        const std::string& filter, const std::string& defaultExtension);
// The toolkit's own colour picker over the active window.
bool PickColor(QWidget* parent, int& colour);
// The same filter in the form the toolkit's file dialogs take.
QString ToDialogFilter(const std::string& filter);
// $BROWSER, or xdg-open, started detached; the error text and the program on failure.
std::string LaunchBrowser(const std::string& url);
// The primary screen's pixels: through the desktop portal in a Wayland session, else from
// the X server; nothing where the user refused in the portal or X gives no picture.
// Throws QuillonError with the message for the user where the screen cannot be had: a
// native Wayland program without a portal, or a portal that failed.
std::optional<TBitmap> GrabPrimaryScreen();

} // namespace quillon
