#include "tests/differential/sequences.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <system_error>

namespace vx::differential {

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

constexpr WORD kQuiet = FOF_SILENT | FOF_NOCONFIRMATION;
constexpr const char* kBareName = "vxdiff.ini";

std::string Escape(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (u < 0x20 || u >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

std::string Shown(const char* text) { return text ? "\"" + Escape(text) + "\"" : "(null)"; }

std::string Folded(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

void Store(const fs::path& path, std::string_view bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::optional<std::string> Load(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

// One sequence's calls, each recorded with its result.
class Recorder {
public:
    Recorder(SystemServices& sys, const Workspace& ws, Lines& lines)
        : sys_(sys), ws_(ws), lines_(lines) {}

    std::string Path(const std::string& relative) const {
        return relative.empty() ? ws_.windowsFolder : ws_.windowsFolder + "\\" + relative;
    }
    fs::path Host(const std::string& relative) const {
        fs::path path = ws_.hostFolder;
        std::string part;
        for (const char c : relative + "\\") {
            if (c != '\\') {
                part += c;
            } else if (!part.empty()) {
                path /= part;
                part.clear();
            }
        }
        return path;
    }
    void Put(const std::string& relative, std::string_view bytes) { Store(Host(relative), bytes); }
    void Note(const std::string& line) { lines_.push_back(line); }

    // Profile calls on a file of the work folder (or a bare name).
    void Write(const char* section, const char* key, const char* value, const std::string& file) {
        const BOOL result = sys_.WritePrivateProfileStringA(section, key, value, FileName(file));
        Note("write " + Shown(section) + " " + Shown(key) + " " + Shown(value) + " -> " +
             std::to_string(result));
    }
    void WriteSection(const char* section, const std::vector<std::string>& entries,
                      const std::string& file) {
        std::string list;
        for (const std::string& entry : entries) list += entry + '\0';
        list += '\0';
        const BOOL result = sys_.WritePrivateProfileSectionA(section, list.c_str(), FileName(file));
        Note("section " + Shown(section) + " -> " + std::to_string(result));
    }
    void Read(const char* section, const char* key, const char* defaultValue, DWORD size,
              const std::string& file) {
        std::string buffer(size + 8, 'k');
        const DWORD result = sys_.GetPrivateProfileStringA(section, key, defaultValue,
                                                           buffer.data(), size, FileName(file));
        // The returned text and the two bytes after it show terminators and lists.
        const std::size_t shown = std::min<std::size_t>(size, std::size_t{result} + 2);
        Note("read " + Shown(section) + " " + Shown(key) + " " + Shown(defaultValue) + " " +
             std::to_string(size) + " -> " + std::to_string(result) + " \"" +
             Escape(std::string_view(buffer).substr(0, shown)) + "\"");
    }
    void ReadInt(const char* section, const char* key, int defaultValue, const std::string& file) {
        const UINT result = sys_.GetPrivateProfileIntA(section, key, defaultValue, FileName(file));
        Note("int " + Shown(section) + " " + Shown(key) + " " + std::to_string(defaultValue) +
             " -> " + std::to_string(result));
    }

    // The shell's file operation on paths of the work folder.
    void Operate(UINT function, const std::string& from, const std::string& to, WORD flags) {
        std::string fromList = Path(from) + '\0' + '\0';
        std::string toList = Path(to) + '\0' + '\0';
        FileOperationRequest request;
        request.wFunc = function;
        request.pFrom = fromList.c_str();
        request.pTo = function == FO_COPY ? toList.c_str() : nullptr;
        request.fFlags = flags;
        const int result = sys_.SHFileOperationA(&request);
        char line[64];
        std::snprintf(line, sizeof line, " flags 0x%X -> %d aborted %d", flags, result,
                      request.fAnyOperationsAborted);
        Note(std::string(function == FO_COPY ? "copy " : "delete ") + from +
             (function == FO_COPY ? " to " + to : "") + line);
    }
    // Read-only and folder only: the archive bit is neither stored by the
    // stand-in nor cleared by Wine, and the program never looks at it.
    void Attributes(const std::string& relative) {
        const DWORD attributes = sys_.GetFileAttributesA(Path(relative).c_str());
        const std::string shown =
            attributes == INVALID_FILE_ATTRIBUTES
                ? "invalid"
                : std::string((attributes & FILE_ATTRIBUTE_DIRECTORY) ? "folder" : "file") +
                      ((attributes & FILE_ATTRIBUTE_READONLY) ? " read-only" : "");
        Note("attributes " + relative + " -> " + shown);
    }
    void SetAttributes(const std::string& relative, DWORD attributes) {
        const BOOL result = sys_.SetFileAttributesA(Path(relative).c_str(), attributes);
        Note("set attributes " + relative + " " + std::to_string(attributes) + " -> " +
             std::to_string(result));
    }
    void RemoveDirectory(const std::string& relative) {
        Note("remove directory " + relative + " -> " +
             std::to_string(sys_.RemoveDirectoryA(Path(relative).c_str())));
    }
    void ShortPath(const std::string& relative) {
        char buffer[MAX_PATH] = {};
        const DWORD result = sys_.GetShortPathNameA(Path(relative).c_str(), buffer, MAX_PATH);
        Note("short path " + relative + " -> " + std::to_string(result) + " \"" +
             Escape(result > 0 && result < MAX_PATH ? buffer : "") + "\"");
    }
    // Old-style file calls: a file written in pieces.
    void CreateAndWrite(const std::string& relative, const std::vector<std::string>& pieces) {
        const HFILE file = sys_._lcreat(Path(relative).c_str(), 0);
        Note("lcreat " + relative + " -> " + (file == HFILE_ERROR ? "error" : "handle"));
        if (file == HFILE_ERROR) return;
        for (const std::string& piece : pieces) {
            const UINT written = sys_._lwrite(file, piece.data(), static_cast<UINT>(piece.size()));
            Note("lwrite " + std::to_string(piece.size()) + " -> " +
                 (written == static_cast<UINT>(HFILE_ERROR) ? "error" : std::to_string(written)));
        }
        Note(std::string("lclose -> ") + (sys_._lclose(file) == HFILE_ERROR ? "error" : "0"));
    }

    // Every entry the sequence left in the work folder, and the bare-name
    // profile file in the Windows directory.
    void Dump() {
        std::vector<std::pair<std::string, fs::path>> entries;
        std::error_code ec;
        for (fs::recursive_directory_iterator it(ws_.hostFolder, ec), end; !ec && it != end;
             it.increment(ec)) {
            const std::string relative = fs::relative(it->path(), ws_.hostFolder, ec).string();
            std::string windows = relative;
            std::replace(windows.begin(), windows.end(), '/', '\\');
            entries.emplace_back(windows, it->path());
        }
        std::sort(entries.begin(), entries.end(),
                  [](const auto& a, const auto& b) { return Folded(a.first) < Folded(b.first); });
        for (const auto& [relative, host] : entries) {
            if (fs::is_directory(host, ec)) {
                Note("left folder " + relative);
                continue;
            }
            const DWORD attributes = sys_.GetFileAttributesA(Path(relative).c_str());
            Note("left file " + relative +
                 ((attributes & FILE_ATTRIBUTE_READONLY) ? " read-only" : "") + " \"" +
                 Escape(Load(host).value_or("(unreadable)")) + "\"");
        }
        if (const auto bare = Load(ws_.hostWindowsFolder / kBareName))
            Note(std::string("left in the Windows directory ") + kBareName + " \"" + Escape(*bare) +
                 "\"");
    }

private:
    const char* FileName(const std::string& file) {
        fileName_ = file == kBareName ? file : Path(file);
        return fileName_.c_str();
    }

    SystemServices& sys_;
    const Workspace& ws_;
    Lines& lines_;
    std::string fileName_;
};

namespace {

constexpr const char* kFixture =
    "[section1]\r\nname1=val1\r\nname2=\"val2\"\r\nname3\r\nname4=a\r\n[section2]\r\n";

const std::vector<Sequence> kSequences = {
    {"profile_builds_a_file",
     [](Recorder& r) {
         r.Write("App1", "key1", "string1", "a.ini");
         r.Write("App1", "key2", "string2", "a.ini");
         r.Write("App1", "key3", "string3", "a.ini");
         r.Write("App2", "key4", "string4", "a.ini");
         r.Write("App3", "key5", "string5", "a.ini");
         r.Write("App", "key", "", "b.ini");
         r.Write("app1", "KEY1", "again", "a.ini");  // an existing key in another case
         r.Dump();
     }},
    {"profile_replaces_and_deletes",
     [](Recorder& r) {
         r.Put("a.ini",
               "[App1]\r\nkey1=string1\r\nkey2=string2\r\nkey3=string3\r\n[App2]\r\n"
               "key4=string4\r\n[App3]\r\nkey5=string5\r\n");
         for (int i = 0; i < 3; ++i) r.Write("App1", "key1", std::to_string(i).c_str(), "a.ini");
         r.Write("App1", "key2", nullptr, "a.ini");
         r.Write("App1", "key2", nullptr, "a.ini");
         r.Write("App2", nullptr, "ignored", "a.ini");
         r.Write("App3", "key5", nullptr, "a.ini");
         r.Dump();
     }},
    {"profile_delete_in_a_missing_file",
     [](Recorder& r) {
         r.Write("Missing", "key", nullptr, "c.ini");
         r.Write("Missing", nullptr, nullptr, "d.ini");
         r.Dump();
     }},
    {"profile_reads_values",
     [](Recorder& r) {
         r.Put("f.ini", kFixture);
         r.Read("section1", "name1", "default", MAX_PATH, "f.ini");
         r.Read("section1", "NaMe1", "default", MAX_PATH, "f.ini");
         r.Read("section1", "name2", "default", MAX_PATH, "f.ini");
         r.Read("notasection", "name1", "default", MAX_PATH, "f.ini");
         r.Read("section1", "notakey", "default", MAX_PATH, "f.ini");
         r.Read("section1", "notakey", nullptr, MAX_PATH, "f.ini");
         r.Read("section1", "notakey", "", MAX_PATH, "f.ini");
         r.Read("section1", "notakey", "one two  ", MAX_PATH, "f.ini");
         r.Read(nullptr, nullptr, "default", MAX_PATH, "f.ini");
         r.Read("section1", nullptr, "default", MAX_PATH, "f.ini");
         r.Read("section1", "name1", "default", 4, "f.ini");
         r.Read("section1", "name1", "default", 5, "f.ini");
         r.Read("section1", "name4", "default", 1, "f.ini");
         r.Read("section2", "any", "", MAX_PATH, "f.ini");
         r.Read("section1", "name1", "default", MAX_PATH, "missing.ini");
     }},
    {"profile_reads_cr_only",
     [](Recorder& r) {
         std::string crOnly = kFixture;
         crOnly.erase(std::remove(crOnly.begin(), crOnly.end(), '\n'), crOnly.end());
         r.Put("f.ini", crOnly);
         r.Read("section1", "name1", "default", MAX_PATH, "f.ini");
         r.Read("section1", "name2", "default", MAX_PATH, "f.ini");
         r.Read(nullptr, nullptr, "default", MAX_PATH, "f.ini");
         r.Read("section1", nullptr, "default", MAX_PATH, "f.ini");
     }},
    {"profile_reads_lists_that_overflow",
     [](Recorder& r) {
         r.Put("f.ini", kFixture);
         r.Read(nullptr, nullptr, "default", 16, "f.ini");
         r.Read("section1", nullptr, "default", 16, "f.ini");
     }},
    {"profile_int_values",
     [](Recorder& r) {
         for (const char* value : {"-1", "1", "+1", "4294967296", "4294967297", "-4294967297",
                                   "42A94967297", "B4294967297", "414abc"}) {
             r.Write("Test", "ProfileInt", value, "i.ini");
             r.ReadInt("Test", "ProfileInt", 5, "i.ini");
         }
         r.ReadInt("Test", "Missing", 7, "i.ini");
         r.ReadInt("Test", "ProfileInt", 9, "missing.ini");
     }},
    {"profile_bare_name_in_windows_directory",
     [](Recorder& r) {
         r.Write("Installation", "Directory", "C:\\Games", kBareName);
         r.Read("Installation", "Directory", "", MAX_PATH, kBareName);
         r.Dump();
     }},
    {"profile_keeps_junk_before_the_first_section",
     [](Recorder& r) {
         r.Put("j.ini", std::string("Data \0 before \0 first \0 section", 31));
         r.Write("section1", "key1", "string1", "j.ini");
         r.Dump();
     }},
    {"profile_keeps_comments_and_blank_lines",
     [](Recorder& r) {
         r.Put("c.ini",
               "; the game's settings\r\n\r\n[Audio]\r\nSoundFx=1\r\n\r\n[ScreenMode]\r\n"
               "WindowWidth=414\r\n");
         r.Write("Audio", "SoundFx", "0", "c.ini");
         r.Dump();
     }},
    {"profile_edits_a_file_with_lf_line_ends",
     [](Recorder& r) {
         r.Put("l.ini", "[Test]\nProfileInt=123\n");
         r.ReadInt("Test", "ProfileInt", 0, "l.ini");
         r.Write("Test", "Other", "x", "l.ini");
         r.Dump();
     }},
    {"file_copy_creates_missing_folders",
     [](Recorder& r) {
         r.Put("test1.txt", "test1.txt\n");
         r.Operate(FO_COPY, "test1.txt", "nonexistent\\notreal\\test2.txt", kQuiet);
         r.Operate(FO_COPY, "test1.txt", "probe\\RUZI.INI", kQuiet);
         r.Dump();
     }},
    {"file_copy_overwrites_and_replaces_read_only",
     [](Recorder& r) {
         r.Put("new.txt", "new content\r\n");
         r.Put("old.txt", "old");
         r.Put("locked.txt", "locked");
         r.SetAttributes("locked.txt", FILE_ATTRIBUTE_READONLY);
         r.Operate(FO_COPY, "new.txt", "old.txt", FOF_NOCONFIRMATION);
         r.Operate(FO_COPY, "new.txt", "locked.txt", kQuiet);
         r.Attributes("locked.txt");
         r.Dump();
     }},
    {"file_copy_of_a_missing_source",
     [](Recorder& r) {
         r.Operate(FO_COPY, "e.txt", "nonexistent\\e.txt", kQuiet);
         r.Dump();
     }},
    {"file_copy_into_a_folder",
     [](Recorder& r) {
         r.Put("a.txt", "a");
         r.Put("dest\\keep.txt", "keep");
         r.Operate(FO_COPY, "a.txt", "dest", kQuiet);
         r.Operate(FO_COPY, "a.txt", "dest\\", kQuiet);
         r.Dump();
     }},
    {"file_copy_of_a_folder",
     [](Recorder& r) {
         r.Put("tree\\one.txt", "one");
         r.Put("tree\\nested\\two.txt", "two");
         r.Operate(FO_COPY, "tree", "copy", kQuiet);
         r.Dump();
     }},
    {"file_copy_onto_itself",
     [](Recorder& r) {
         r.Put("same.txt", "same");
         r.Operate(FO_COPY, "same.txt", "same.txt", FOF_NOCONFIRMATION);
         r.Dump();
     }},
    {"file_delete",
     [](Recorder& r) {
         r.Put("gone.txt", "x");
         r.Put("tree\\a.txt", "a");
         r.Put("tree\\deep\\b.txt", "b");
         r.Put("kept.txt", "y");
         r.Operate(FO_DELETE, "gone.txt", "", kQuiet);
         r.Operate(FO_DELETE, "gone.txt", "", kQuiet);
         r.Operate(FO_DELETE, "tree", "", kQuiet);
         r.Dump();
     }},
    {"file_delete_below_a_missing_folder",
     [](Recorder& r) {
         r.Operate(FO_DELETE, "missing\\one.txt", "", FOF_NOCONFIRMATION);
         r.Dump();
     }},
    {"file_attributes_and_folders",
     [](Recorder& r) {
         r.Put("f.txt", "f");
         r.Put("full\\inside.txt", "i");
         r.Put("empty\\.keep", "");
         r.Attributes("f.txt");
         r.Attributes("full");
         r.Attributes("missing.txt");
         r.SetAttributes("f.txt", FILE_ATTRIBUTE_READONLY);
         r.Attributes("f.txt");
         r.SetAttributes("f.txt", FILE_ATTRIBUTE_NORMAL);
         r.Attributes("f.txt");
         r.SetAttributes("missing.txt", FILE_ATTRIBUTE_NORMAL);
         r.RemoveDirectory("full");
         r.Operate(FO_DELETE, "empty\\.keep", "", kQuiet);
         r.RemoveDirectory("empty");
         r.RemoveDirectory("empty");
         r.Dump();
     }},
    {"file_old_style_writes",
     [](Recorder& r) {
         r.CreateAndWrite("SETUP.INI", {"[progman.groups]\r\n", "groupX=PELTOMARK! Inc.\r\n"});
         r.CreateAndWrite("SETUP.INI", {"short\r\n"});  // an existing file is truncated
         r.CreateAndWrite("empty.ini", {"gone", ""});   // writing nothing ends the file
         r.CreateAndWrite("nofolder\\x.ini", {"x"});
         r.Dump();
     }},
    {"file_old_style_write_to_a_read_only_file",
     [](Recorder& r) {
         r.Put("ro.ini", "read-only");
         r.SetAttributes("ro.ini", FILE_ATTRIBUTE_READONLY);
         r.CreateAndWrite("ro.ini", {"x"});
         r.Dump();
     }},
    {"short_path_names_of_short_names",
     [](Recorder& r) {
         r.Put("GAMES\\VORNALUX.EXE", "MZ");
         r.ShortPath("GAMES\\VORNALUX.EXE");
         r.ShortPath("GAMES\\MISSING.EXE");
         r.ShortPath("GAMES\\Long Missing Name.exe");
     }},
    {"short_path_names_of_long_names",
     [](Recorder& r) {
         r.Put("Play Area\\Long Folder Name\\vornalux.exe", "MZ");
         r.ShortPath("Play Area\\Long Folder Name\\vornalux.exe");
     }},
    {"profile_section_replaced_whole",
     [](Recorder& r) {
         r.Put("s.ini",
               "[Installation]\r\nDirectory=C:\\OLD\r\nVornaluxInstalled=0\r\n[Audio]\r\n"
               "SoundFx=1\r\n");
         r.WriteSection("Installation", {"VornaluxInstalled=1", "Directory=C:\\Games\\Vornalux"},
                        "s.ini");
         r.WriteSection("New", {"b=2", "a=1"}, "s.ini");
         r.Dump();
     }},
};

const std::map<std::string, std::string> kKnownDifferences = {
    {"profile_delete_in_a_missing_file",
     "Deleting from a profile file that does not exist: Windows leaves a 0-byte file behind "
     "(Wine's own tests mark this as Windows behaviour it lacks); Wine creates nothing. The "
     "stand-in follows Windows."},
    {"profile_reads_lists_that_overflow",
     "A name list that does not fit: Windows cuts the last name and ends the buffer with two "
     "zeros; Wine ends it with one (its own tests mark this as Windows behaviour it lacks). The "
     "stand-in follows Windows."},
    {"profile_keeps_junk_before_the_first_section",
     "Windows edits a profile file as text and keeps every byte outside the changed line; Wine "
     "parses the file and writes it out anew, losing what is not a line of its own. The "
     "stand-in follows Windows."},
    {"profile_keeps_comments_and_blank_lines",
     "Wine writes the file out anew and drops its blank lines; the stand-in, like Windows, "
     "keeps every byte it does not change."},
    {"profile_edits_a_file_with_lf_line_ends",
     "Wine writes every line out anew with CRLF; the stand-in keeps the file's own lines and "
     "ends only the line it adds with CRLF."},
    {"file_copy_of_a_missing_source",
     "Wine returns 1026, the code of Windows before Vista; the stand-in returns Vista's "
     "ERROR_FILE_NOT_FOUND (2). The program only tests for non-zero."},
    {"file_copy_of_a_folder",
     "Windows and Wine copy a folder with everything in it; the stand-in refuses (5): the "
     "program copies single files only."},
    {"file_delete_below_a_missing_folder",
     "Wine returns DE_INVALIDFILES (0x7C), as Windows does since Vista; the stand-in returns "
     "ERROR_FILE_NOT_FOUND (2). The program only tests for non-zero."},
    {"file_old_style_write_to_a_read_only_file",
     "Wine running as root truncates a read-only file through _lcreat, since root ignores the "
     "permission bits it keeps the attribute in; Windows refuses, and so does the stand-in."},
    {"short_path_names_of_long_names",
     "Wine makes the short name of a long name from a hash (\"PLAY~5JB\"); Windows and the "
     "stand-in number them (\"PLAYAR~1\")."},
};

void EmptyFolder(const fs::path& folder) {
    std::error_code ec;
    // Read-only entries too: their write bits come back before the removal.
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder, ec))
        fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ec);
    fs::remove_all(folder, ec);
    fs::create_directories(folder, ec);
}

}  // namespace

const std::vector<Sequence>& Sequences() { return kSequences; }
const std::map<std::string, std::string>& KnownDifferences() { return kKnownDifferences; }

std::string RunAll(SystemServices& sys, const Workspace& workspace) {
    std::string transcript;
    for (const Sequence& sequence : Sequences()) {
        EmptyFolder(workspace.hostFolder);
        std::error_code ec;
        fs::remove(workspace.hostWindowsFolder / kBareName, ec);
        Lines lines;
        Recorder recorder(sys, workspace, lines);
        sequence.run(recorder);
        transcript += std::string("== ") + sequence.name + "\n";
        for (const std::string& line : lines) transcript += line + "\n";
        fs::remove(workspace.hostWindowsFolder / kBareName, ec);
    }
    EmptyFolder(workspace.hostFolder);
    fs::remove(workspace.hostFolder);
    return transcript;
}

std::map<std::string, std::string> SplitTranscript(const std::string& transcript) {
    std::map<std::string, std::string> sequences;
    std::string* current = nullptr;
    std::istringstream in(transcript);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("== ", 0) == 0) {
            current = &sequences[line.substr(3)];
            continue;
        }
        if (current) *current += line + "\n";
    }
    return sequences;
}

}  // namespace vx::differential
