// The sequences of the differential suite: profile writes and reads and file
// operations, the same calls through any SystemServices. Each sequence starts
// in an empty work folder and writes a transcript: every call's result, then
// every file it left, byte by byte. Run once through the Linux stand-in and
// once through Wine's real calls, the two transcripts must agree, except for
// the differences listed (with their reasons) in KnownDifferences().
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/system_services.h"

namespace vx::differential {

struct Workspace {
    std::string windowsFolder;                // the work folder as the calls name it: C:\vxdiff
    std::filesystem::path hostFolder;         // the same folder as the host reaches it
    std::filesystem::path hostWindowsFolder;  // C:\windows as the host reaches it
};

class Recorder;

struct Sequence {
    const char* name;
    std::function<void(Recorder&)> run;
};

const std::vector<Sequence>& Sequences();

// Sequences whose transcripts differ between the two, and why the difference stays.
const std::map<std::string, std::string>& KnownDifferences();

// Runs every sequence, each in an emptied work folder, into one transcript
// of "== name" headers followed by that sequence's lines.
std::string RunAll(SystemServices& sys, const Workspace& workspace);

// Splits a transcript back into its sequences.
std::map<std::string, std::string> SplitTranscript(const std::string& transcript);

}  // namespace vx::differential
