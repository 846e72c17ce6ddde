// A file system for the power-cut tests, mounted over a folder:
//   power_cut_fs <folder> <report> [<cut after call n>]
// Every call passes through to the folder, but what a disk would still hold
// after a power failure is kept apart, with no more than a journalling file
// system in ordered mode promises: a file's bytes and mode once it is
// flushed, the names in a folder once the folder is flushed, nothing else.
//
// The calls that change anything (writes, creates, names, modes, flushes)
// are counted. When the folder is unmounted the report gets each call, one a
// line ("call <n> <what> <path>"); with a cut given, the folder is then
// replaced by what the disk held right after call n (0: before the first),
// and the report gets each file whose name survived with fewer bytes than
// had been written into it by then ("short <kept> <written> <path>").
#define FUSE_USE_VERSION 35
#include <dirent.h>
#include <fcntl.h>
#include <fuse.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// An inode as the disk holds it.
struct Inode {
    mode_t mode = 0;
    std::shared_ptr<const std::string> data;       // a file's bytes, a link's target
    std::map<std::string, std::uint64_t> entries;  // a folder's names
};
using Image = std::map<std::uint64_t, Inode>;

struct Handle {
    int fd;
    std::uint64_t id;
    std::string path;  // as opened, for the report
};

struct State {
    int backing = -1;  // the folder under the mount
    std::uint64_t root = 0;
    std::map<ino_t, std::uint64_t> ids;  // the backing inodes, by ids that never repeat
    std::uint64_t nextId = 1;
    std::map<std::uint64_t, off_t> written;  // each file's size as written
    Image durable;                           // what the disk holds now
    long calls = 0;
    long cutAfter = -1;
    Image cut;  // what it held at the cut
    std::vector<std::string> log, shortfalls;
} state;

// A path of the mount ("/a/b") as one below the backing folder.
std::string Rel(const char* path) { return path[1] ? path + 1 : "."; }

std::uint64_t IdOf(ino_t ino) {
    auto [it, added] = state.ids.emplace(ino, 0);
    if (added) it->second = state.nextId++;
    return it->second;
}

std::uint64_t NewId(ino_t ino) { return state.ids[ino] = state.nextId++; }

// The bytes of the open file `fd`, which may be open for writing only.
std::shared_ptr<const std::string> ReadWhole(int written) {
    auto bytes = std::make_shared<std::string>();
    const int fd = ::open(("/proc/self/fd/" + std::to_string(written)).c_str(), O_RDONLY);
    if (fd < 0) return bytes;
    char buffer[65536];
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, at);
        if (got <= 0) break;
        bytes->append(buffer, static_cast<std::size_t>(got));
        at += got;
    }
    ::close(fd);
    return bytes;
}

// The names in the open folder `fd`, with their ids and modes.
std::map<std::string, std::pair<std::uint64_t, mode_t>> List(int fd) {
    std::map<std::string, std::pair<std::uint64_t, mode_t>> names;
    DIR* dir = ::fdopendir(::dup(fd));
    if (!dir) return names;
    ::rewinddir(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat st {};
        if (name == "." || name == ".." ||
            ::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        names[name] = {IdOf(st.st_ino), st.st_mode};
    }
    ::closedir(dir);
    return names;
}

// Makes the inode `id` known to the disk as it is now (a folder with no names yet).
void Adopt(std::uint64_t id, int folder, const std::string& name, mode_t mode) {
    if (state.durable.count(id)) return;
    Inode& inode = state.durable[id];
    inode.mode = mode;
    inode.data = std::make_shared<std::string>();
    if (S_ISLNK(mode)) {
        char target[4096];
        const ssize_t got = ::readlinkat(folder, name.c_str(), target, sizeof target);
        if (got > 0) inode.data = std::make_shared<std::string>(target, got);
    }
}

// Everything the backing folder holds at the start is on the disk.
void Scan(int fd, std::uint64_t id) {
    for (const auto& [name, entry] : List(fd)) {
        const auto [child, mode] = entry;
        state.durable[id].entries[name] = child;
        Adopt(child, fd, name, mode);
        if (S_ISDIR(mode)) {
            const int below = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
            if (below >= 0) {
                Scan(below, child);
                ::close(below);
            }
        } else if (S_ISREG(mode)) {
            const int file = ::openat(fd, name.c_str(), O_RDONLY | O_NOFOLLOW);
            if (file >= 0) {
                state.durable[child].data = ReadWhole(file);
                state.written[child] = static_cast<off_t>(state.durable[child].data->size());
                ::close(file);
            }
        }
    }
}

// The files under `id` whose bytes on the disk are fewer than were written.
void FindShortfalls(std::uint64_t id, const std::string& path, std::set<std::uint64_t>& seen) {
    if (!seen.insert(id).second) return;
    for (const auto& [name, child] : state.cut[id].entries) {
        const Inode& inode = state.cut[child];
        const std::string below = path + "/" + name;
        if (S_ISDIR(inode.mode)) FindShortfalls(child, below, seen);
        if (S_ISREG(inode.mode) && static_cast<off_t>(inode.data->size()) < state.written[child])
            state.shortfalls.push_back("short " + std::to_string(inode.data->size()) + " " +
                                       std::to_string(state.written[child]) + " " + below);
    }
}

// The power fails: what the disk holds now is what the folder will show.
void Cut() {
    state.cut = state.durable;
    std::set<std::uint64_t> seen;
    FindShortfalls(state.root, "", seen);
}

void Count(const char* what, const char* path, fuse_file_info* fi = nullptr) {
    if (!path && fi) path = reinterpret_cast<Handle*>(fi->fh)->path.c_str();
    ++state.calls;
    state.log.push_back("call " + std::to_string(state.calls) + " " + what + " " +
                        (path ? path : "(unnamed)"));
    if (state.calls == state.cutAfter) Cut();
}

int Result(int rc) { return rc < 0 ? -errno : rc; }

Handle* H(fuse_file_info* fi) { return reinterpret_cast<Handle*>(fi->fh); }

// A new inode under `path`: a fresh id and nothing written.
void Created(const char* path) {
    struct stat st {};
    if (::fstatat(state.backing, Rel(path).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        state.written[NewId(st.st_ino)] = 0;
}

void* Init(fuse_conn_info*, fuse_config* cfg) {
    cfg->use_ino = 1;
    cfg->readdir_ino = 1;
    cfg->hard_remove = 1;  // an open file unlinked stays unnamed, as on a disk
    cfg->nullpath_ok = 1;
    cfg->entry_timeout = cfg->attr_timeout = cfg->negative_timeout = 0;
    return nullptr;
}

int GetAttr(const char* path, struct stat* st, fuse_file_info* fi) {
    if (fi) return Result(::fstat(H(fi)->fd, st));
    return Result(::fstatat(state.backing, Rel(path).c_str(), st, AT_SYMLINK_NOFOLLOW));
}

int Access(const char* path, int mask) {
    return Result(::faccessat(state.backing, Rel(path).c_str(), mask, AT_SYMLINK_NOFOLLOW));
}

int ReadLink(const char* path, char* buffer, size_t size) {
    const ssize_t got = ::readlinkat(state.backing, Rel(path).c_str(), buffer, size - 1);
    if (got < 0) return -errno;
    buffer[got] = '\0';
    return 0;
}

int MkNod(const char* path, mode_t mode, dev_t dev) {
    const int rc = Result(::mknodat(state.backing, Rel(path).c_str(), mode, dev));
    if (rc == 0) Created(path);
    Count("mknod", path);
    return rc;
}

int MkDir(const char* path, mode_t mode) {
    const int rc = Result(::mkdirat(state.backing, Rel(path).c_str(), mode));
    if (rc == 0) Created(path);
    Count("mkdir", path);
    return rc;
}

int SymLink(const char* target, const char* path) {
    const int rc = Result(::symlinkat(target, state.backing, Rel(path).c_str()));
    if (rc == 0) Created(path);
    Count("symlink", path);
    return rc;
}

int Unlink(const char* path) {
    const int rc = Result(::unlinkat(state.backing, Rel(path).c_str(), 0));
    Count("unlink", path);
    return rc;
}

int RmDir(const char* path) {
    const int rc = Result(::unlinkat(state.backing, Rel(path).c_str(), AT_REMOVEDIR));
    Count("rmdir", path);
    return rc;
}

int Rename(const char* from, const char* to, unsigned int flags) {
    const int rc = Result(
        ::renameat2(state.backing, Rel(from).c_str(), state.backing, Rel(to).c_str(), flags));
    Count("rename", to);
    return rc;
}

int Link(const char* from, const char* to) {
    const int rc =
        Result(::linkat(state.backing, Rel(from).c_str(), state.backing, Rel(to).c_str(), 0));
    Count("link", to);
    return rc;
}

int ChMod(const char* path, mode_t mode, fuse_file_info* fi) {
    const int rc = Result(fi ? ::fchmod(H(fi)->fd, mode)
                             : ::fchmodat(state.backing, Rel(path).c_str(), mode, 0));
    Count("chmod", path, fi);
    return rc;
}

int ChOwn(const char* path, uid_t uid, gid_t gid, fuse_file_info* fi) {
    const int rc =
        Result(fi ? ::fchown(H(fi)->fd, uid, gid)
                  : ::fchownat(state.backing, Rel(path).c_str(), uid, gid, AT_SYMLINK_NOFOLLOW));
    Count("chown", path, fi);
    return rc;
}

// A file cut to `size` keeps no more written bytes than that; one made
// longer has had nothing written into it.
void Shortened(std::uint64_t id, off_t size) {
    state.written[id] = std::min(state.written[id], size);
}

int Truncate(const char* path, off_t size, fuse_file_info* fi) {
    int rc;
    struct stat st {};
    if (fi) {
        rc = Result(::ftruncate(H(fi)->fd, size));
        if (rc == 0) Shortened(H(fi)->id, size);
    } else {
        const int fd = ::openat(state.backing, Rel(path).c_str(), O_WRONLY | O_NOFOLLOW);
        rc = fd < 0 ? -errno : Result(::ftruncate(fd, size));
        if (rc == 0 && ::fstat(fd, &st) == 0) Shortened(IdOf(st.st_ino), size);
        if (fd >= 0) ::close(fd);
    }
    Count("truncate", path, fi);
    return rc;
}

int Utimens(const char* path, const timespec tv[2], fuse_file_info* fi) {
    if (fi) return Result(::futimens(H(fi)->fd, tv));
    return Result(::utimensat(state.backing, Rel(path).c_str(), tv, AT_SYMLINK_NOFOLLOW));
}

int OpenWith(const char* path, int flags, mode_t mode, fuse_file_info* fi, bool create) {
    const int fd = ::openat(state.backing, Rel(path).c_str(), flags, mode);
    if (fd < 0) return -errno;
    struct stat st {};
    ::fstat(fd, &st);
    const std::uint64_t id = create ? NewId(st.st_ino) : IdOf(st.st_ino);
    if (create) state.written[id] = 0;
    fi->fh = reinterpret_cast<std::uint64_t>(new Handle{fd, id, path});
    return 0;
}

int Open(const char* path, fuse_file_info* fi) {
    const int rc = OpenWith(path, fi->flags & ~(O_CREAT | O_EXCL), 0, fi, false);
    if (rc != 0 || !(fi->flags & O_TRUNC)) return rc;
    state.written[H(fi)->id] = 0;
    Count("truncate", path, fi);
    return rc;
}

int Create(const char* path, mode_t mode, fuse_file_info* fi) {
    const int rc = OpenWith(path, fi->flags | O_CREAT, mode, fi, true);
    Count("create", path);
    return rc;
}

int Read(const char*, char* buffer, size_t size, off_t at, fuse_file_info* fi) {
    return Result(static_cast<int>(::pread(H(fi)->fd, buffer, size, at)));
}

int Write(const char* path, const char* bytes, size_t size, off_t at, fuse_file_info* fi) {
    const ssize_t put = ::pwrite(H(fi)->fd, bytes, size, at);
    if (put > 0) {
        off_t& written = state.written[H(fi)->id];
        written = std::max(written, at + static_cast<off_t>(put));
    }
    Count("write", path, fi);
    return put < 0 ? -errno : static_cast<int>(put);
}

// Space set aside is not written: only writes count against a cut.
int FAllocate(const char* path, int mode, off_t at, off_t size, fuse_file_info* fi) {
    const int rc = ::fallocate(H(fi)->fd, mode, at, size) == 0 ? 0 : -errno;
    Count("fallocate", path, fi);
    return rc;
}

int StatFs(const char*, struct statvfs* st) { return Result(::fstatvfs(state.backing, st)); }

int Release(const char*, fuse_file_info* fi) {
    ::close(H(fi)->fd);
    delete H(fi);
    return 0;
}

// A file's bytes and mode reach the disk.
int FSync(const char* path, int, fuse_file_info* fi) {
    struct stat st {};
    int rc = Result(::fstat(H(fi)->fd, &st));
    if (rc == 0) {
        Inode& inode = state.durable[H(fi)->id];
        inode.mode = st.st_mode;
        inode.data = ReadWhole(H(fi)->fd);
    }
    Count("fsync", path, fi);
    return rc;
}

int OpenDir(const char* path, fuse_file_info* fi) {
    const int fd = ::openat(state.backing, Rel(path).c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return -errno;
    struct stat st {};
    ::fstat(fd, &st);
    fi->fh = reinterpret_cast<std::uint64_t>(new Handle{fd, IdOf(st.st_ino), path ? path : ""});
    return 0;
}

int ReadDir(const char*, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info* fi,
            fuse_readdir_flags) {
    for (const char* dot : {".", ".."}) fill(buffer, dot, nullptr, 0, fuse_fill_dir_flags{});
    for (const auto& [name, entry] : List(H(fi)->fd)) {
        struct stat st {};
        ::fstatat(H(fi)->fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW);
        fill(buffer, name.c_str(), &st, 0, fuse_fill_dir_flags{});
    }
    return 0;
}

// A folder's names, as they are now, reach the disk; the inodes they name
// with them, their bytes only as far as they were flushed.
int FSyncDir(const char* path, int, fuse_file_info* fi) {
    const int fd = H(fi)->fd;
    std::map<std::string, std::uint64_t> entries;
    for (const auto& [name, entry] : List(fd)) {
        entries[name] = entry.first;
        Adopt(entry.first, fd, name, entry.second);
    }
    struct stat st {};
    ::fstat(fd, &st);
    Inode& folder = state.durable[H(fi)->id];
    folder.mode = st.st_mode;
    folder.entries = std::move(entries);
    Count("fsyncdir", path, fi);
    return 0;
}

// Lays the disk's inode `id` out as `path`; files already laid out are linked.
void LayOut(const Image& image, std::uint64_t id, const fs::path& path,
            std::map<std::uint64_t, fs::path>& done) {
    const Inode& inode = image.at(id);
    if (S_ISDIR(inode.mode)) {
        std::error_code ec;
        fs::create_directory(path, ec);
        if (!done.emplace(id, path).second) return;
        for (const auto& [name, child] : inode.entries)
            if (image.count(child)) LayOut(image, child, path / name, done);
    } else if (S_ISLNK(inode.mode)) {
        fs::create_symlink(*inode.data, path);
        return;
    } else if (const auto it = done.find(id); it != done.end()) {
        fs::create_hard_link(it->second, path);
        return;
    } else {
        std::ofstream(path, std::ios::binary).write(inode.data->data(), inode.data->size());
        done.emplace(id, path);
    }
    ::chmod(path.c_str(), inode.mode & 07777);
}

void ReplaceWithCut(const fs::path& folder) {
    for (const auto& entry : fs::directory_iterator(folder)) fs::remove_all(entry.path());
    std::map<std::uint64_t, fs::path> done;
    LayOut(state.cut, state.root, folder, done);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fputs("usage: power_cut_fs <folder> <report> [<cut after call n>]\n", stderr);
        return 2;
    }
    ::umask(0);  // the kernel has applied the caller's
    const fs::path folder = fs::absolute(argv[1]), reportPath = fs::absolute(argv[2]);
    state.backing = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (state.backing < 0) {
        std::perror(argv[1]);
        return 1;
    }
    struct stat st {};
    ::fstat(state.backing, &st);
    state.root = IdOf(st.st_ino);
    state.durable[state.root].mode = st.st_mode;
    Scan(state.backing, state.root);
    if (argc == 4) state.cutAfter = std::atol(argv[3]);
    if (state.cutAfter == 0) Cut();

    fuse_operations ops{};
    ops.init = Init;
    ops.getattr = GetAttr;
    ops.access = Access;
    ops.readlink = ReadLink;
    ops.mknod = MkNod;
    ops.mkdir = MkDir;
    ops.symlink = SymLink;
    ops.unlink = Unlink;
    ops.rmdir = RmDir;
    ops.rename = Rename;
    ops.link = Link;
    ops.chmod = ChMod;
    ops.chown = ChOwn;
    ops.truncate = Truncate;
    ops.utimens = Utimens;
    ops.open = Open;
    ops.create = Create;
    ops.read = Read;
    ops.write = Write;
    ops.fallocate = FAllocate;
    ops.statfs = StatFs;
    ops.release = Release;
    ops.fsync = FSync;
    ops.opendir = OpenDir;
    ops.readdir = ReadDir;
    ops.releasedir = Release;
    ops.fsyncdir = FSyncDir;

    std::string mountPoint = folder.string();
    char* args[] = {argv[0],
                    const_cast<char*>("-f"),
                    const_cast<char*>("-s"),
                    const_cast<char*>("-o"),
                    const_cast<char*>("fsname=power_cut"),
                    mountPoint.data()};
    const int rc = fuse_main(6, args, &ops, nullptr);

    std::ofstream report(reportPath);
    for (const std::string& line : state.log) report << line << '\n';
    if (state.cutAfter >= 0) {
        // A cut after the last call leaves what the disk held at the end.
        if (state.cutAfter > state.calls) Cut();
        for (const std::string& line : state.shortfalls) report << line << '\n';
        ::close(state.backing);
        ReplaceWithCut(folder);
    }
    return rc;
}
