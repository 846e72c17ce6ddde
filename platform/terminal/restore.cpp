#include "platform/terminal/restore.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "platform/host/descriptors.h"

namespace vx::terminal {

namespace {

using host::WriteAll;

struct Restore {
    volatile sig_atomic_t active = 0;
    int inFd = -1;
    int outFd = -1;
    termios saved{};
    char sequence[256] = {};
    std::size_t length = 0;
    // Standard error, when it is the terminal, is held back in a file while
    // the dialogs are up (the programs the setup starts write there too) and
    // shown once the terminal is the shell's again.
    int heldErrors = -1;
    int terminalErrors = -1;
    off_t shownErrors = 0;
};
Restore g_restore;

void HoldErrors() {
    if (g_restore.heldErrors >= 0) dup2(g_restore.heldErrors, STDERR_FILENO);
}

// An unnamed file for what is written to standard error meanwhile; -1 when
// standard error is not the terminal (then nothing needs holding back).
int OpenHeldErrors() {
    if (!isatty(STDERR_FILENO)) return -1;
    const char* folder = std::getenv("TMPDIR");
    if (folder == nullptr || folder[0] == '\0') folder = "/tmp";
    int fd = open(folder, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::string name = std::string(folder) + "/vx-errors-XXXXXX";
        fd = mkostemp(name.data(), O_CLOEXEC);
        if (fd >= 0) unlink(name.c_str());
    }
    return fd;
}

// Every signal whose default action ends the process, besides the real-time ones.
constexpr int kSignals[] = {SIGHUP,  SIGINT,  SIGQUIT,   SIGILL,  SIGTRAP, SIGABRT,
                            SIGBUS,  SIGFPE,  SIGUSR1,   SIGSEGV, SIGUSR2, SIGPIPE,
                            SIGALRM, SIGTERM, SIGSTKFLT, SIGXCPU, SIGXFSZ, SIGVTALRM,
                            SIGPROF, SIGIO,   SIGPWR,    SIGSYS};
// What each fault signal did before us (the default, or a sanitizer's handler).
struct sigaction g_previous[NSIG];

bool IsFault(int signal) {
    return signal == SIGSEGV || signal == SIGBUS || signal == SIGILL || signal == SIGFPE;
}

void OnSignal(int signal, siginfo_t* info, void*) {
    RestoreNow();
    // Ends the process as the signal would have without us (or curses, whose
    // own handlers would exit with status 1): by the default action, or for
    // a fault by the earlier one. A fault recurs by itself once the handler
    // returns; a signal that was sent is sent again.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, IsFault(signal) ? &g_previous[signal] : &fallback, nullptr);
    if (info == nullptr || info->si_code <= 0 || !IsFault(signal)) raise(signal);
}

}  // namespace

void PrepareRestore(int inFd, int outFd, const termios& saved) {
    g_restore.inFd = inFd;
    g_restore.outFd = outFd;
    g_restore.saved = saved;
    g_restore.length = 0;
    if (g_restore.heldErrors < 0) {
        g_restore.heldErrors = OpenHeldErrors();
        g_restore.terminalErrors =
            g_restore.heldErrors >= 0 ? fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3) : -1;
    }
}

void AddRestoreSequence(std::string_view sequence) {
    if (g_restore.length + sequence.size() >= sizeof g_restore.sequence) return;
    std::memcpy(g_restore.sequence + g_restore.length, sequence.data(), sequence.size());
    g_restore.length += sequence.size();
}

void ArmRestore() {
    g_restore.active = 1;
    HoldErrors();
}

void DisarmRestore() { g_restore.active = 0; }

void ShowHeldErrors() {
    if (g_restore.heldErrors < 0 || g_restore.terminalErrors < 0) return;
    dup2(g_restore.terminalErrors, STDERR_FILENO);
    static char buffer[4096];
    for (;;) {
        const ssize_t n = pread(g_restore.heldErrors, buffer, sizeof buffer, g_restore.shownErrors);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        WriteAll(STDERR_FILENO, buffer, static_cast<std::size_t>(n));
        g_restore.shownErrors += n;
    }
}

void RestoreNow() {
    if (!g_restore.active) return;
    g_restore.active = 0;
    WriteAll(g_restore.outFd, g_restore.sequence, g_restore.length);
    tcsetattr(g_restore.inFd, TCSANOW, &g_restore.saved);
    ShowHeldErrors();
}

void InstallRestoreHandlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    struct sigaction action {};
    action.sa_sigaction = OnSignal;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    auto install = [&](int signal) {
        // A signal the program was started (or chose) to ignore stays ignored.
        if (sigaction(signal, nullptr, &g_previous[signal]) != 0 ||
            g_previous[signal].sa_handler == SIG_IGN)
            return;
        sigaction(signal, &action, nullptr);
    };
    for (int signal : kSignals) install(signal);
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) install(signal);
    std::atexit(RestoreNow);
    static std::terminate_handler previous = std::set_terminate([] {
        RestoreNow();
        if (previous) previous();
        std::abort();
    });
}

}  // namespace vx::terminal
