// The system's modal boxes and dialogs, owned by the window given. Texts are UTF-8 both ways.
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"
#include "ui/ui.h"

namespace pixtrel::win32 {

// Caption "Pixtrel" and OK; the error box has the stop icon, the plain box none.
void ErrorBox(WindowHandle owner, const std::string& text);
void PlainBox(WindowHandle owner, const std::string& text);

// File-system folders only, nothing preselected; nothing when cancelled.
std::optional<std::string> BrowseForFolder(WindowHandle owner, const std::string& title);

// Starts at the dialog's last confirmed path with its filter and default extension, and asks
// nothing when the file exists. Nothing when cancelled.
std::optional<std::string> RunSaveDialog(WindowHandle owner, const ui::SaveDialog& dialog);

}  // namespace pixtrel::win32
