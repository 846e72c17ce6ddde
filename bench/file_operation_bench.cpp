// Times the two heavy host operations behind the shell's copy and delete: a
// large copy (kernel copy, flush, rename) and the removal of a wide tree; and
// a whole install of large game files beside `cp` and `sync -f` of the same.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/host/host_files.h"
#include "platform/scripted/scripted_dialog_services.h"
#include "setup/paths.h"
#include "setup/procedures.h"
#include "tests/support/distribution.h"
#include "tests/support/temp_machine.h"

namespace {

namespace fs = std::filesystem;

// A scratch folder for one benchmark, removed when it ends.
class Scratch {
public:
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "vx-bench-XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~Scratch() {
        if (!path_.empty()) vx::host::RemoveHostTree(path_.string());
    }
    bool ok() const { return !path_.empty(); }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

bool WriteBytes(const fs::path& path, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<char> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + 7);
    for (std::size_t written = 0; written < size && out; written += block.size())
        out.write(block.data(),
                  static_cast<std::streamsize>(std::min(block.size(), size - written)));
    return static_cast<bool>(out);
}

void BM_CopyLargeFile(benchmark::State& state) {
    const std::size_t size = static_cast<std::size_t>(state.range(0)) << 20;
    Scratch scratch;
    const fs::path source = scratch.path() / "source.bin";
    if (!scratch.ok() || !WriteBytes(source, size)) {
        state.SkipWithError("cannot prepare the source file");
        return;
    }
    const std::string from = source.string();
    const std::string to = (scratch.path() / "copy.bin").string();
    for (auto _ : state) {
        if (vx::host::CopyHostFile(from, to) != 0) {
            state.SkipWithError("copy failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(size));
}
BENCHMARK(BM_CopyLargeFile)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// `files` small files spread over folders of 200, two levels deep.
bool MakeTree(const fs::path& top, int files) {
    std::error_code ec;
    for (int i = 0; i < files; ++i) {
        const fs::path folder =
            top / ("group" + std::to_string(i / 1000)) / ("set" + std::to_string(i / 200));
        if (i % 200 == 0 && !fs::create_directories(folder, ec)) return false;
        std::ofstream(folder / ("file" + std::to_string(i) + ".dat")) << i;
    }
    return true;
}

void BM_DeleteTree(benchmark::State& state) {
    const int files = static_cast<int>(state.range(0));
    Scratch scratch;
    if (!scratch.ok()) {
        state.SkipWithError("cannot make a scratch folder");
        return;
    }
    const fs::path top = scratch.path() / "tree";
    for (auto _ : state) {
        state.PauseTiming();
        const bool made = MakeTree(top, files);
        state.ResumeTiming();
        if (!made || vx::host::RemoveHostTree(top.string()) != 0) {
            state.SkipWithError("delete failed");
            break;
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * files);
}
BENCHMARK(BM_DeleteTree)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Flushes the whole file system that holds `path`, as `sync -f` does.
void SyncFileSystem(const fs::path& path) {
    const vx::host::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd) ::syncfs(fd.get());
}

double Seconds(std::chrono::steady_clock::duration elapsed) {
    return std::chrono::duration<double>(elapsed).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// One install into C:\Games\Vornalux, as the person at the keyboard makes it;
// true when it completed.
bool InstallGame(vx::testing::TempMachine& machine) {
    vx::PathBuffer source, target;
    vx::TakeSourceDirectory(machine.sys(), source);
    target.Assign("C:\\Games\\Vornalux");
    vx::ScriptedDialogServices dlg(machine.sys());
    const std::optional<vx::CheckedDirectory> checked =
        vx::ConfirmSetupDirectory(machine.sys(), dlg, target, vx::SetupAction::Install, source);
    return checked && vx::RunInstall(machine.sys(), dlg, *checked) && dlg.messages.size() == 1 &&
           dlg.messages[0].caption == "Vornalux! installation complete.";
}

// The install with its five game files `size` MiB in all, against `cp` of the
// same five files and `sync -f`, on the same file system and from the page
// cache. Each round runs both on a fresh machine, the first going second in
// the next round; the ratio of each round is install / (cp + sync).
void BM_InstallBesideCopyAndSync(benchmark::State& state) {
    const std::size_t perFile = (static_cast<std::size_t>(state.range(0)) << 20) / 5;
    const int rounds = static_cast<int>(state.range(1));
    Scratch sources;
    std::vector<fs::path> files;
    for (const char* name : vx::ProgramFiles) {
        files.push_back(sources.path() / name);
        if (!sources.ok() || !WriteBytes(files.back(), perFile)) {
            state.SkipWithError("cannot prepare the game files");
            return;
        }
    }
    // `cp` and `sync -f` of the five files into a folder.
    const auto copyCommand = [&files](const fs::path& folder) {
        std::string command = "cp";
        for (const fs::path& file : files) command += " '" + file.string() + "'";
        return command + " '" + folder.string() + "/' && sync -f '" + folder.string() + "'";
    };
    // The first round starts like the others, after a free of what a copy wrote.
    const fs::path warm = sources.path() / "warm";
    if (!fs::create_directory(warm) || std::system(copyCommand(warm).c_str()) != 0) {
        state.SkipWithError("cp failed");
        return;
    }
    vx::host::RemoveHostTree(warm.string());
    SyncFileSystem(sources.path());

    std::vector<double> installs, copies, ratios;
    for (auto _ : state) {
        for (int round = 0; round < rounds; ++round) {
            vx::testing::TempMachine machine;
            vx::testing::FillDistribution(machine);
            for (const fs::path& file : files) {
                fs::remove(machine.distFolder() / file.filename());
                fs::create_hard_link(file, machine.distFolder() / file.filename());
            }
            const fs::path copied = machine.root() / "cp";
            fs::create_directory(copied);
            const std::string command = copyCommand(copied);
            SyncFileSystem(machine.root());

            double install = 0, copy = 0;
            for (int step = 0; step < 2; ++step) {
                const bool installing = (step == 0) == (round % 2 == 0);
                const auto start = std::chrono::steady_clock::now();
                if (!(installing ? InstallGame(machine) : std::system(command.c_str()) == 0)) {
                    state.SkipWithError(installing ? "install failed" : "cp failed");
                    return;
                }
                (installing ? install : copy) = Seconds(std::chrono::steady_clock::now() - start);
                // Each starts right after the disk freed what the other wrote: on a thin
                // virtual disk, writing while the other's bytes stay costs several times more.
                vx::host::RemoveHostTree(
                    (installing ? machine.driveC() / "Games" : copied).string());
                fs::create_directory(copied);
                SyncFileSystem(machine.root());
            }
            installs.push_back(install);
            copies.push_back(copy);
            ratios.push_back(install / copy);
            std::fprintf(stderr, "round %d: install %.3f s, cp + sync %.3f s, ratio %.3f\n",
                         round + 1, install, copy, install / copy);
        }
    }
    state.counters["install_s"] = Median(installs);
    state.counters["cp_sync_s"] = Median(copies);
    state.counters["ratio"] = Median(ratios);
    state.counters["ratio_min"] = *std::min_element(ratios.begin(), ratios.end());
    state.counters["ratio_max"] = *std::max_element(ratios.begin(), ratios.end());
}
BENCHMARK(BM_InstallBesideCopyAndSync)
    ->Args({2048, 5})
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace
