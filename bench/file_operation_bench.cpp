// Times the two heavy host operations behind the shell's copy and delete: a
// large copy (kernel copy, flush, rename) and the removal of a wide tree.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/posix/host_files.h"

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
        if (!path_.empty()) vx::posix::RemoveHostTree(path_.string());
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
        if (vx::posix::CopyHostFile(from, to) != 0) {
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
        if (!made || vx::posix::RemoveHostTree(top.string()) != 0) {
            state.SkipWithError("delete failed");
            break;
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * files);
}
BENCHMARK(BM_DeleteTree)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
