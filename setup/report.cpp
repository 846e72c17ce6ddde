#include "setup/report.h"

#include "setup/setup_selection.h"

namespace vx {

void ShowStatus(DialogServices& dlg, const PathBuffer& path) {
    // The status line only follows the work; a line that fails to show stops nothing.
    (void)dlg.SetDlgItemTextA(IDC_STATUS, path.c_str());
}

std::string UncomposedPath(const PathBuffer& directory, std::string_view name) {
    std::string path(directory.view());
    path += '\\';
    path.append(name);
    return path;
}

void ReportOutcome(DialogServices& dlg, const std::vector<std::string>& leftOver,
                   const ReportTexts& texts) {
    // An OK box has one answer.
    if (leftOver.empty()) {
        (void)dlg.MessageBox(texts.completed.c_str(), texts.completedCaption, MB_OK);
        return;
    }
    std::string message = texts.incomplete;
    for (const std::string& line : leftOver) message += "\n" + line;
    (void)dlg.MessageBox(message.c_str(), texts.incompleteCaption, MB_OK);
}

}  // namespace vx
