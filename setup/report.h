// What the procedures tell the user: the path they are working on, and how
// they ended.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/dialog_services.h"
#include "setup/path_buffer.h"

namespace vx {

// The status line under the directory field.
void ShowStatus(DialogServices& dlg, const PathBuffer& path);

// How the report names `name` in `directory` when the two do not fit one path.
std::string UncomposedPath(const PathBuffer& directory, std::string_view name);

// The closing message of a procedure, complete or not.
struct ReportTexts {
    std::string completed;
    const char* completedCaption;
    const char* incomplete;
    const char* incompleteCaption;
};

// `completed` when nothing is left over; otherwise `incomplete` followed by
// one line for each left-over path or failure.
void ReportOutcome(DialogServices& dlg, const std::vector<std::string>& leftOver,
                   const ReportTexts& texts);

}  // namespace vx
