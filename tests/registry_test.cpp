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

class DeleteSubKeyTreeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // A token with values and sub-keys three levels deep, and siblings whose names share its prefix.
        tokens.SetString(L"", L"ParentValue", L"stays");
        tokens.SetString(L"Anna", L"", L"Anna - English");
        tokens.SetString(L"Anna", L"CLSID", L"{00000000-0000-0000-0000-000000000001}");
        tokens.SetString(L"Anna\\Attributes", L"Gender", L"Female");
        tokens.SetDword(L"Anna\\Attributes\\Deep", L"Level", 2);
        tokens.SetString(L"Anna\\Attributes\\Deep\\Deeper", L"Level", L"3");
        tokens.SetString(L"Ann", L"", L"Ann - Welsh");
        tokens.SetString(L"Anna2\\Attributes", L"Gender", L"Female");
        tokens.SetString(L"Bert\\Attributes", L"Gender", L"Male");
        tokens.SetDword(L"Bert\\Attributes\\Deep", L"Level", 2);
        before = tokens.Dump();
    }

    bool Delete(const std::wstring& name) const {
        return DeleteSubKeyTree(HKEY_CURRENT_USER, tokens.path(), name);
    }

    ScratchKey tokens{ScratchPath};
    std::wstring before;
};

TEST_F(DeleteSubKeyTreeTest, RemovesTheWholeTokenTreeAndLeavesEverySiblingExactly) {
    EXPECT_TRUE(Delete(L"Anna"));

    EXPECT_FALSE(tokens.Exists(L"Anna"));
    EXPECT_EQ(tokens.Dump(), WithoutTree(before, L"Anna"));
    EXPECT_NE(tokens.Dump(), before);
    EXPECT_EQ(EnumSubKeys(HKEY_CURRENT_USER, tokens.path()), (SubKeyNameList{L"Ann", L"Anna2", L"Bert"}));
}

TEST_F(DeleteSubKeyTreeTest, NameOutsideTheAnsiCodePageIsDeleted) {
    const std::wstring name = L"\u041c\u0438\u0440\u043e\u043d \U0001D4B1";
    tokens.SetString(name + L"\\Attributes", L"Name", name);
    const std::wstring withIt = tokens.Dump();

    EXPECT_TRUE(Delete(name));

    EXPECT_FALSE(tokens.Exists(name));
    EXPECT_EQ(tokens.Dump(), WithoutTree(withIt, name));
    EXPECT_EQ(tokens.Dump(), before);
}

TEST_F(DeleteSubKeyTreeTest, NameThatIsGoneCountsAsGoneAndChangesNothing) {
    EXPECT_TRUE(Delete(L"Nobody"));
    EXPECT_TRUE(Delete(L"Anna (Cannot be deleted)"));
    EXPECT_TRUE(DeleteSubKeyTree(HKEY_CURRENT_USER, tokens.Path(L"NoParent"), L"Anna"));

    EXPECT_EQ(tokens.Dump(), before);
    EXPECT_FALSE(tokens.Exists(L"NoParent"));
}

TEST_F(DeleteSubKeyTreeTest, NameReachingAnotherKeyIsRefused) {
    for (const std::wstring& name :
         {std::wstring(), std::wstring(L"Anna\\Attributes"), std::wstring(L"\\Anna"), std::wstring(L"Anna\\"),
          std::wstring(L"\\"), std::wstring(L"Anna\0Bert", 9), std::wstring(L"\0", 1)}) {
        EXPECT_FALSE(Delete(name)) << "name of length " << name.size();
    }
    EXPECT_EQ(tokens.Dump(), before);
}

TEST_F(DeleteSubKeyTreeTest, ParentWithoutWriteAccessDeletesNothing) {
    KeyLock locked(HKEY_CURRENT_USER, tokens.path());

    EXPECT_FALSE(Delete(L"Anna"));
    EXPECT_TRUE(EnumSubKeys(HKEY_CURRENT_USER, tokens.path()).empty());  // listing asks for write access too
}

TEST_F(DeleteSubKeyTreeTest, TokenThatCannotBeDeletedIsReportedAsStillThere) {
    {
        KeyLock locked(HKEY_CURRENT_USER, tokens.Path(L"Anna\\Attributes"));
        EXPECT_FALSE(Delete(L"Anna"));
    }
    EXPECT_TRUE(tokens.Exists(L"Anna\\Attributes\\Deep\\Deeper"));
    EXPECT_EQ(WithoutTree(tokens.Dump(), L"Anna"), WithoutTree(before, L"Anna"));
}

}  // namespace
