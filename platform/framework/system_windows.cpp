#include "platform/framework/system_windows.h"

namespace vx {

namespace {

// OK boxes and Yes/No questions, with no icon.
constexpr ButtonChoice kOk[] = {{"OK", IDOK}};
constexpr ButtonChoice kYesNo[] = {{"&Yes", IDYES}, {"&No", IDNO}};

}  // namespace

ProgressPacing::ProgressPacing(std::chrono::milliseconds interval)
    : interval_(interval), start_(std::chrono::steady_clock::now()) {}

ProgressPacing::Step ProgressPacing::Next(std::uint64_t done, std::uint64_t total) {
    using namespace std::chrono_literals;
    const auto now = std::chrono::steady_clock::now();
    Step step{false, false};
    if (!shown_ && now - start_ >= 500ms) {
        shown_ = step.appears = true;
        lastDrawn_ = now - 1s;
    }
    if (now - lastDrawn_ >= interval_ || done >= total) {
        lastDrawn_ = now;
        step.draws = true;
    }
    return step;
}

int SystemWindowsBackend::MessageBox(DialogWindow* owner, std::string_view text,
                                     std::string_view caption, UINT type) {
    // Escape answers No to a question, OK to the rest.
    const bool yesNo = IsYesNoBox(type);
    return RunButtonBox(owner, ButtonBox{codec_.ToUtf8(text), codec_.ToUtf8(caption),
                                         yesNo ? std::span<const ButtonChoice>(kYesNo)
                                               : std::span<const ButtonChoice>(kOk),
                                         DefaultResultOf(type), yesNo ? IDNO : IDOK});
}

bool SystemWindowsBackend::AskConfirmation(DialogWindow* owner, std::string_view text,
                                           std::string_view caption) {
    return RunButtonBox(owner, ButtonBox{codec_.ToUtf8(text), codec_.ToUtf8(caption), kYesNo, IDYES,
                                         IDNO}) == IDYES;
}

void SystemWindowsBackend::BeginProgress(DialogWindow* owner, std::string_view text) {
    progress_.reset();
    progress_ = OpenProgress(owner, codec_.ToUtf8(text));
}

void SystemWindowsBackend::UpdateProgress(std::uint64_t done, std::uint64_t total) {
    if (progress_) progress_->Update(done, total);
}

void SystemWindowsBackend::EndProgress() { progress_.reset(); }

}  // namespace vx
