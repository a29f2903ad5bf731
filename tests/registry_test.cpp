#include "modRegistry.h"
#include "scratch_key.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr wchar_t ScratchPath[] = L"Software\\SAPI5Quillfen.Tests\\Registry";

// What the registry itself hands out by index, for comparing order.
SubKeyNameList RawEnumeration(HKEY root, const std::wstring& path) {
    SubKeyNameList names;
    unique_hkey key;
    RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put());
    wchar_t name[256];
    DWORD length = 256;
    for (DWORD index = 0;
         RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++index, length = 256) {
        names.emplace_back(name, length);
    }
    return names;
}

class EnumSubKeysTest : public ::testing::Test {
  protected:
    ScratchKey scratch{ScratchPath};
};

TEST_F(EnumSubKeysTest, KeyWithoutSubKeysOrMissingKeyGivesEmptyList) {
    scratch.SetString(L"", L"OnlyAValue", L"x");
    EXPECT_TRUE(EnumSubKeys(HKEY_CURRENT_USER, scratch.path()).empty());
    EXPECT_TRUE(EnumSubKeys(HKEY_CURRENT_USER, scratch.Path(L"NoSuchKey")).empty());
    EXPECT_TRUE(EnumSubKeys(HKEY_CURRENT_USER, scratch.Path(L"NoSuchKey\\Deeper")).empty());
}

TEST_F(EnumSubKeysTest, ListsOnlyImmediateSubKeysInRegistryOrderUnchanged) {
    for (const wchar_t* name : {L"b", L"C", L"a_", L"Voice  With  Spaces "}) {
        scratch.Create(name);
    }
    scratch.Create(L"b\\Attributes");
    scratch.SetString(L"C", L"", L"default value");

    const SubKeyNameList names = EnumSubKeys(HKEY_CURRENT_USER, scratch.path());

    const SubKeyNameList raw = RawEnumeration(HKEY_CURRENT_USER, scratch.path());
    ASSERT_EQ(raw.size(), 4u);
    EXPECT_EQ(names, raw);
    // The index order is neither creation order nor an ordinal sort, so matching it means nothing was sorted.
    SubKeyNameList sorted = raw;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_NE(raw, sorted);
    EXPECT_NE(raw, (SubKeyNameList{L"b", L"C", L"a_", L"Voice  With  Spaces "}));
    EXPECT_NE(std::find(names.begin(), names.end(), L"Voice  With  Spaces "), names.end());
}

TEST_F(EnumSubKeysTest, ReturnsLongestAndNonLatinNamesExactly) {
    const std::wstring longest(255, L'L');
    const std::wstring cyrillic = L"\u0413\u043e\u043b\u043e\u0441 \u0410\u043d\u043d\u0430";
    const std::wstring japanese = L"\u97f3\u58f0\u5408\u6210";
    const std::wstring outsideBmp = L"Voice \U0001D4B1\U0001F600";
    for (const std::wstring& name : {longest, cyrillic, japanese, outsideBmp}) {
        scratch.Create(name);
    }

    SubKeyNameList names = EnumSubKeys(HKEY_CURRENT_USER, scratch.path());

    std::sort(names.begin(), names.end());
    SubKeyNameList expected{longest, cyrillic, japanese, outsideBmp};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
}

// The key changes between the information query and the enumeration: sub-keys go, others come,
// one of them longer than the longest name the query reported.
TEST_F(EnumSubKeysTest, KeyChangingAfterTheQueryGivesNoPhantomAndLosesNothing) {
    for (const wchar_t* name : {L"Anna", L"Bert", L"Carl", L"Dora"}) {
        scratch.Create(name);
    }
    unique_hkey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, scratch.path().c_str(), 0, VoiceKeyAccess, key.put()),
              ERROR_SUCCESS);
    DWORD count = 0, longest = 0;
    ASSERT_EQ(RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(count, 4u);
    ASSERT_EQ(longest, 4u);

    scratch.Remove(L"Bert");
    scratch.Remove(L"Carl");
    scratch.Remove(L"Dora");
    EXPECT_EQ(EnumOpenKeySubKeys(key.get(), count, longest), (SubKeyNameList{L"Anna"}));

    scratch.Create(L"Bernadette Longname");
    scratch.Create(L"Carl");
    scratch.Create(L"Eve");
    EXPECT_EQ(EnumOpenKeySubKeys(key.get(), 1, 4),
              (SubKeyNameList{L"Anna", L"Bernadette Longname", L"Carl", L"Eve"}));
    EXPECT_EQ(EnumOpenKeySubKeys(key.get(), 0, 0),
              (SubKeyNameList{L"Anna", L"Bernadette Longname", L"Carl", L"Eve"}));
}

// HKLM\SOFTWARE is split into a 64-bit and a 32-bit view; each build must read its own.
TEST(EnumSubKeysView, ReadsTheRegistryViewOfItsOwnArchitecture) {
    const std::wstring path = L"SOFTWARE\\SAPI5Quillfen.Tests\\View";
    ScratchKey view64(path, HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY);
    ScratchKey view32(path, HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY);
    view64.Create(L"Seen64");
    view32.Create(L"Seen32");

    const SubKeyNameList expected{sizeof(void*) == 8 ? L"Seen64" : L"Seen32"};
    EXPECT_EQ(EnumSubKeys(HKEY_LOCAL_MACHINE, path), expected);
}

}  // namespace
