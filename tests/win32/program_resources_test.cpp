// The application manifest and the version resource of each Windows program,
// read back from the built files the way the system reads them: the manifest
// as an activation context (which fails on a manifest the loader would
// refuse), the version through the version library.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

// clang-format off
#include <windows.h>
#include <objbase.h>
// clang-format on

namespace {

namespace fs = std::filesystem;

struct Program {
    const char* file;
    const char* description;
    ACTCTX_REQUESTED_RUN_LEVEL runLevel;
    bool commonControls;
};

const Program kPrograms[] = {
    {"install.exe", "Vornalux! Setup", ACTCTX_RUN_LEVEL_REQUIRE_ADMIN, true},
    {"grpconv.exe", "Start Menu group converter", ACTCTX_RUN_LEVEL_AS_INVOKER, false},
    {"vornalux.exe", "Vornalux!", ACTCTX_RUN_LEVEL_AS_INVOKER, false},
};

// Windows Vista, 7, 8, 8.1, and 10 and 11.
const std::set<std::string> kSupportedOs = {
    "{E2011457-1546-43C5-A5FE-008DEEE3D3F0}", "{35138B9A-5D96-4FBD-8E2D-A2440225F93A}",
    "{4A2F28E3-53B9-4441-BA9C-D69D4A4A6E38}", "{1F676C76-80E1-4239-95BB-83D0F6D0DA78}",
    "{8E0F7A12-BFB3-4FE8-B9A5-48FD50A15A9A}"};

// The compatibility information as current Windows (and Wine) lay it out:
// each element also carries the highest version tested, which mingw-w64's
// headers lack.
struct CompatibilityElement {
    GUID Id;
    ACTCTX_COMPATIBILITY_ELEMENT_TYPE Type;
    ULONGLONG MaxVersionTested;
};
struct CompatibilityInformation {
    DWORD ElementCount;
    CompatibilityElement Elements[16];
};

std::string Path(const Program& program) { return (fs::path(VX_DIST_DIR) / program.file).string(); }

std::string ManifestText(const std::string& path) {
    const HMODULE module = ::LoadLibraryExA(
        path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) return {};
    std::string text;
    if (const HRSRC resource = ::FindResourceA(module, MAKEINTRESOURCEA(1), RT_MANIFEST)) {
        const HGLOBAL loaded = ::LoadResource(module, resource);
        const char* bytes = static_cast<const char*>(::LockResource(loaded));
        if (bytes != nullptr) text.assign(bytes, ::SizeofResource(module, resource));
    }
    ::FreeLibrary(module);
    return text;
}

std::string Narrow(const wchar_t* wide) {
    char text[256] = {};
    ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    return text;
}

TEST(ProgramResources, ManifestAsTheSystemReadsIt) {
    for (const Program& program : kPrograms) {
        SCOPED_TRACE(program.file);
        const std::string text = ManifestText(Path(program));
        ASSERT_FALSE(text.empty()) << "no manifest";
        EXPECT_EQ(text.find("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"") !=
                      std::string::npos,
                  program.commonControls)
            << text;

        const std::string path = Path(program);
        ACTCTXA request{};
        request.cbSize = sizeof request;
        request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        request.lpSource = path.c_str();
        request.lpResourceName = MAKEINTRESOURCEA(1);
        const HANDLE context = ::CreateActCtxA(&request);
        ASSERT_NE(context, INVALID_HANDLE_VALUE) << "refused: " << ::GetLastError();

        ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level{};
        EXPECT_TRUE(::QueryActCtxW(0, context, nullptr, RunlevelInformationInActivationContext,
                                   &level, sizeof level, nullptr));
        EXPECT_EQ(level.RunLevel, program.runLevel);
        EXPECT_EQ(level.UiAccess, 0u);

        CompatibilityInformation compatibility{};
        EXPECT_TRUE(::QueryActCtxW(0, context, nullptr, CompatibilityInformationInActivationContext,
                                   &compatibility, sizeof compatibility, nullptr));
        std::set<std::string> supported;
        for (DWORD i = 0; i < compatibility.ElementCount && i < 16; ++i) {
            wchar_t id[64] = {};
            ::StringFromGUID2(compatibility.Elements[i].Id, id, 64);
            if (compatibility.Elements[i].Type == ACTCTX_COMPATIBILITY_ELEMENT_TYPE_OS)
                supported.insert(Narrow(id));
        }
        EXPECT_EQ(supported, kSupportedOs);

        // System DPI awareness, in the older and the newer form.
        wchar_t setting[64] = {};
        SIZE_T written = 0;
        EXPECT_TRUE(::QueryActCtxSettingsW(0, context,
                                           L"http://schemas.microsoft.com/SMI/2005/WindowsSettings",
                                           L"dpiAware", setting, 64, &written));
        EXPECT_EQ(Narrow(setting), "true");
        EXPECT_TRUE(::QueryActCtxSettingsW(0, context,
                                           L"http://schemas.microsoft.com/SMI/2016/WindowsSettings",
                                           L"dpiAwareness", setting, 64, &written));
        EXPECT_EQ(Narrow(setting), "system");
        ::ReleaseActCtx(context);
    }
}

TEST(ProgramResources, VersionOfTheProduct) {
    for (const Program& program : kPrograms) {
        SCOPED_TRACE(program.file);
        const std::string path = Path(program);
        DWORD handle = 0;
        const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &handle);
        ASSERT_GT(size, 0u) << "no version resource";
        std::vector<char> block(size);
        ASSERT_TRUE(::GetFileVersionInfoA(path.c_str(), handle, size, block.data()));

        void* value = nullptr;
        UINT length = 0;
        ASSERT_TRUE(::VerQueryValueA(block.data(), "\\", &value, &length));
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(fixed->dwFileVersionMS, 0x00010002u);
        EXPECT_EQ(fixed->dwFileVersionLS, 0u);
        EXPECT_EQ(fixed->dwProductVersionMS, 0x00010002u);
        EXPECT_EQ(fixed->dwProductVersionLS, 0u);
        EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

        const std::string original = fs::path(program.file).string();
        const struct {
            const char* name;
            std::string expected;
        } strings[] = {
            {"CompanyName", "PELTOMARK! Inc"},
            {"ProductName", "Vornalux!"},
            {"FileDescription", program.description},
            {"FileVersion", "1.2.0.0"},
            {"ProductVersion", "1.2.0.0"},
            {"OriginalFilename", original},
        };
        for (const auto& s : strings) {
            SCOPED_TRACE(s.name);
            const std::string key = std::string("\\StringFileInfo\\040904B0\\") + s.name;
            ASSERT_TRUE(::VerQueryValueA(block.data(), key.c_str(), &value, &length));
            EXPECT_EQ(std::string(static_cast<const char*>(value)), s.expected);
        }
        ASSERT_TRUE(::VerQueryValueA(block.data(), "\\StringFileInfo\\040904B0\\LegalCopyright",
                                     &value, &length));
        EXPECT_NE(std::string(static_cast<const char*>(value)).find("PELTOMARK! Inc"),
                  std::string::npos);
    }
}

}  // namespace
