// Reads the built program, whose path is the first argument: its resources and its PE headers.
#include "unique_handle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

std::wstring ProgramPath;

using unique_module = unique_handle<HMODULE, &FreeLibrary>;

// Read as Explorer reads it: the string table of the first language and code page that
// VarFileInfo\Translation names, not a table guessed by its name.
std::wstring VersionString(const std::vector<BYTE>& block, const wchar_t* name) {
    struct Translation {
        WORD language, codePage;
    };
    Translation* translations = nullptr;
    UINT size = 0;
    if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                        &size) ||
        size < sizeof(Translation)) {
        return L"<no translation>";
    }
    wchar_t table[9] = {};
    swprintf(table, 9, L"%04X%04X", translations->language, translations->codePage);
    wchar_t* value = nullptr;
    UINT length = 0;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\") + table + L"\\" + name;
    if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) || !value) {
        return L"<missing>";
    }
    return std::wstring(value, length && value[length - 1] == L'\0' ? length - 1 : length);
}

TEST(ProgramResources, VersionBlockNamesTheProgramAndItsVersion) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(ProgramPath.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version block in the program";
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(ProgramPath.c_str(), 0, size, block.data()));

    EXPECT_EQ(VersionString(block, L"ProductName"), L"SAPI5Quillfen");
    EXPECT_EQ(VersionString(block, L"InternalName"), L"SAPI5Quillfen");
    EXPECT_EQ(VersionString(block, L"FileVersion"), L"1.00.0001");
    EXPECT_EQ(VersionString(block, L"ProductVersion"), L"1.00.0001");
    // What Explorer, Task Manager and the elevation prompt show for the program, and its file's own name.
    EXPECT_EQ(VersionString(block, L"FileDescription"), L"SAPI 5 Quillfen");
    EXPECT_EQ(VersionString(block, L"OriginalFilename"), L"SAPI5Quillfen.exe");

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
}

class ProgramImage : public ::testing::Test {
  protected:
    void SetUp() override {
        program.reset(LoadLibraryExW(ProgramPath.c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
        ASSERT_TRUE(program) << "cannot load the program's resources";
    }

    std::string Resource(const wchar_t* type, const wchar_t* name) const {
        HRSRC found = FindResourceW(program.get(), name, type);
        if (!found) {
            return {};
        }
        const auto* data = static_cast<const char*>(LockResource(LoadResource(program.get(), found)));
        return std::string(data, SizeofResource(program.get(), found));
    }

    unique_module program;
};

#pragma pack(push, 2)
struct IconDirectoryEntry {
    BYTE width, height, colourCount, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

TEST_F(ProgramImage, IconHasA32And16PixelImageOfSixteenColours) {
    const std::string group = Resource(RT_GROUP_ICON, MAKEINTRESOURCEW(1));
    ASSERT_GE(group.size(), 6u);
    const WORD count = *reinterpret_cast<const WORD*>(group.data() + 4);
    ASSERT_EQ(count, 2);
    ASSERT_EQ(group.size(), 6 + count * sizeof(IconDirectoryEntry));
    std::vector<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        const auto* entry =
            reinterpret_cast<const IconDirectoryEntry*>(group.data() + 6 + i * sizeof(IconDirectoryEntry));
        sizes.push_back(entry->width);
        EXPECT_EQ(entry->height, entry->width);
        EXPECT_EQ(entry->colourCount, 16);
        EXPECT_EQ(entry->bitCount, 4);
        const std::string image = Resource(RT_ICON, MAKEINTRESOURCEW(entry->id));
        ASSERT_EQ(image.size(), entry->bytes);
        const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(image.data());
        EXPECT_EQ(header->biWidth, entry->width);
        EXPECT_EQ(header->biBitCount, 4);
    }
    EXPECT_EQ(sizes, (std::vector<int>{32, 16}));
}

TEST_F(ProgramImage, ManifestAsksForAdministratorVisualStylesAndPerMonitorDpi) {
    const std::string manifest = Resource(RT_MANIFEST, MAKEINTRESOURCEW(1));
    ASSERT_FALSE(manifest.empty());
    for (const char* expected :
         {"level=\"requireAdministrator\"", "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
          "PerMonitorV2", "true/pm", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
          "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"}) {
        EXPECT_NE(manifest.find(expected), std::string::npos) << expected;
    }
}

// The program's file as bytes, read through its section table; it is of this test's own architecture.
class ProgramHeaders : public ::testing::Test {
  protected:
    void SetUp() override {
        std::ifstream file(std::filesystem::path(ProgramPath), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(file), {});
        ASSERT_GT(bytes.size(), sizeof(IMAGE_DOS_HEADER));
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
        ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
        nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(bytes.data() + dos->e_lfanew);
        ASSERT_EQ(nt->Signature, DWORD{IMAGE_NT_SIGNATURE});
        ASSERT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR_MAGIC) << "not built for this architecture";
    }

    const char* At(DWORD rva) const {
        const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
            if (rva >= section->VirtualAddress && rva < section->VirtualAddress + section->Misc.VirtualSize) {
                return bytes.data() + section->PointerToRawData + (rva - section->VirtualAddress);
            }
        }
        return nullptr;
    }

    // Imported function names by lower-case DLL name.
    std::vector<std::pair<std::string, std::vector<std::string>>> Imports() const {
        std::vector<std::pair<std::string, std::vector<std::string>>> imports;
        const IMAGE_DATA_DIRECTORY& directory =
            nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        const auto* descriptor =
            reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(At(directory.VirtualAddress));
        for (; descriptor && descriptor->Name; ++descriptor) {
            std::string dll = At(descriptor->Name);
            std::transform(dll.begin(), dll.end(), dll.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            std::vector<std::string> functions;
            const DWORD thunks =
                descriptor->OriginalFirstThunk ? descriptor->OriginalFirstThunk : descriptor->FirstThunk;
            for (const auto* thunk = reinterpret_cast<const IMAGE_THUNK_DATA*>(At(thunks));
                 thunk && thunk->u1.AddressOfData; ++thunk) {
                if (!IMAGE_SNAP_BY_ORDINAL(thunk->u1.Ordinal)) {
                    functions.emplace_back(reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(
                                               At(static_cast<DWORD>(thunk->u1.AddressOfData)))
                                               ->Name);
                }
            }
            imports.emplace_back(dll, functions);
        }
        return imports;
    }

    std::vector<char> bytes;
    const IMAGE_NT_HEADERS* nt = nullptr;
};

TEST_F(ProgramHeaders, AddressSpaceLayoutIsRandomizedAndDataIsNotExecutable) {
    const WORD characteristics = nt->OptionalHeader.DllCharacteristics;
    EXPECT_TRUE(characteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
    EXPECT_TRUE(characteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT);
    if constexpr (sizeof(void*) == 8) {
        EXPECT_TRUE(characteristics & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA);
    }
    EXPECT_TRUE(characteristics & IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE);
    // Without relocations the loader cannot move the image, whatever the flag says.
    EXPECT_FALSE(nt->FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED);
    EXPECT_GT(nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC].Size, 0u);
}

// SetDefaultDllDirectories is looked up, not imported: Windows 7 without KB2533623 lacks it, and the
// program still starts there, as the headers' Windows 7 (6.1) promises.
TEST_F(ProgramHeaders, ImportsOnlySystemDllsAndStartsOnWindows7) {
    const std::set<std::string> system{"advapi32.dll", "comctl32.dll", "gdi32.dll",    "kernel32.dll",
                                       "msvcrt.dll",   "ole32.dll",    "oleaut32.dll", "shlwapi.dll",
                                       "user32.dll",   "version.dll"};
    for (const auto& [dll, functions] : Imports()) {
        EXPECT_TRUE(system.count(dll)) << dll << " is not a Windows system DLL";
        EXPECT_EQ(std::count(functions.begin(), functions.end(), "SetDefaultDllDirectories"), 0) << dll;
    }
    const std::string lookedUp = "SetDefaultDllDirectories";
    EXPECT_NE(std::search(bytes.begin(), bytes.end(), lookedUp.begin(), lookedUp.end()), bytes.end());
    EXPECT_EQ(nt->OptionalHeader.MajorSubsystemVersion, WORD{6});
    EXPECT_EQ(nt->OptionalHeader.MinorSubsystemVersion, WORD{1});
#ifdef _MSC_VER
    // The Microsoft linker has no switch for this informational field; it names no system newer than 6.1.
    EXPECT_LE(MAKELONG(nt->OptionalHeader.MinorOperatingSystemVersion,
                       nt->OptionalHeader.MajorOperatingSystemVersion),
              MAKELONG(1, 6));
#else
    EXPECT_EQ(nt->OptionalHeader.MajorOperatingSystemVersion, WORD{6});
    EXPECT_EQ(nt->OptionalHeader.MinorOperatingSystemVersion, WORD{1});
#endif
}

// A time stamp would make two builds of the same sources differ.
TEST_F(ProgramHeaders, CarriesNoTimeStamp) {
#ifdef _MSC_VER
    GTEST_SKIP() << "/Brepro stamps a hash of the contents, the same for the same sources, instead of 0";
#else
    EXPECT_EQ(nt->FileHeader.TimeDateStamp, DWORD{0});
#endif
}

TEST_F(ProgramHeaders, ProgramIsAtMostHalfAMegabyte) {
    EXPECT_LE(bytes.size(), 512u * 1024);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        fprintf(stderr, "usage: resources_test path\\to\\SAPI5Quillfen.exe\n");
        return 2;
    }
    // A full path, so the loader takes this file and does not search for one of that name.
    wchar_t full[MAX_PATH] = {};
    const std::string given = argv[1];
    GetFullPathNameW(std::wstring(given.begin(), given.end()).c_str(), MAX_PATH, full, nullptr);
    ProgramPath = full;
    return RUN_ALL_TESTS();
}
