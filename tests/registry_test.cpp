#include "modRegistry.h"
#include "scratch_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>

namespace {

constexpr wchar_t ScratchPath[] = L"Software\\SAPI5Quillfen.Tests.Registry";

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
    const std::wstring path = L"SOFTWARE\\SAPI5Quillfen.Tests.Registry";
    ScratchKey view64(path, HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY);
    ScratchKey view32(path, HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY);
    view64.Create(L"Seen64");
    view32.Create(L"Seen32");

    const SubKeyNameList expected{sizeof(void*) == 8 ? L"Seen64" : L"Seen32"};
    EXPECT_EQ(EnumSubKeys(HKEY_LOCAL_MACHINE, path), expected);

    // Deleting a token of the same name in both views reaches only the build's own, sub-keys included.
    const ScratchKey& own = sizeof(void*) == 8 ? view64 : view32;
    const ScratchKey& other = sizeof(void*) == 8 ? view32 : view64;
    own.SetString(L"Both\\Attributes", L"Name", L"own");
    other.SetString(L"Both\\Attributes", L"Name", L"other");
    const std::wstring otherBefore = other.Dump();
    EXPECT_TRUE(DeleteSubKeyTree(HKEY_LOCAL_MACHINE, path, L"Both"));
    EXPECT_FALSE(own.Exists(L"Both"));
    EXPECT_EQ(other.Dump(), otherBefore);
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
    // A NUL is part of the name: these are not Anna.
    EXPECT_TRUE(Delete(std::wstring(L"Anna\0Bert", 9)));
    EXPECT_TRUE(Delete(std::wstring(L"Anna\0", 5)));
    EXPECT_TRUE(DeleteSubKeyTree(HKEY_CURRENT_USER, tokens.Path(L"NoParent"), L"Anna"));

    EXPECT_EQ(tokens.Dump(), before);
    EXPECT_FALSE(tokens.Exists(L"NoParent"));
}

TEST_F(DeleteSubKeyTreeTest, NameReachingAnotherKeyIsRefused) {
    for (const std::wstring& name :
         {std::wstring(), std::wstring(L"Anna\\Attributes"), std::wstring(L"\\Anna"), std::wstring(L"Anna\\"),
          std::wstring(L"\\"), std::wstring(L"Anna\0\\Attributes", 16)}) {
        EXPECT_FALSE(Delete(name)) << "name of length " << name.size();
    }
    EXPECT_EQ(tokens.Dump(), before);
}

TEST_F(DeleteSubKeyTreeTest, ParentGrantingOnlyReadingListsAndDeletesNothing) {
    KeyLock readOnly(tokens, L"", L"D:(A;;KR;;;WD)");

    EXPECT_EQ(RawEnumeration(HKEY_CURRENT_USER, tokens.path()).size(), 4u);  // reading is allowed
    EXPECT_TRUE(EnumSubKeys(HKEY_CURRENT_USER, tokens.path()).empty());      // listing asks for writing too
    EXPECT_FALSE(Delete(L"Anna"));
    EXPECT_EQ(tokens.Dump(), before);
}

TEST_F(DeleteSubKeyTreeTest, TokenThatCannotBeDeletedIsReportedAsStillThere) {
    {
        KeyLock locked(tokens, L"Anna\\Attributes");
        EXPECT_FALSE(Delete(L"Anna"));
    }
    EXPECT_TRUE(tokens.Exists(L"Anna\\Attributes\\Deep\\Deeper"));
    EXPECT_EQ(WithoutTree(tokens.Dump(), L"Anna"), WithoutTree(before, L"Anna"));
}

// A link is never followed, not even to tell whether it is gone: one whose target is missing and whose
// own deletion is refused is still there.
TEST_F(DeleteSubKeyTreeTest, LinkToNowhereWhoseDeletionIsRefusedIsReportedAsStillThere) {
    tokens.Link(L"Alias", tokens.NativeName(L"") + L"\\Nobody");

    EXPECT_FALSE(DeleteSubKeyTree(HKEY_CURRENT_USER, tokens.path(), L"Alias", [](HKEY) { return false; }));
    EXPECT_TRUE(tokens.Exists(L"Alias"));
}

// A link that holds keys of its own cannot be deleted as the one key it is, so its token is refused
// whole. Windows may let such a link be made; Wine puts a key created beneath a link in its target.
TEST_F(DeleteSubKeyTreeTest, TokenHoldingALinkWithKeysOfItsOwnIsRefusedWhole) {
    tokens.SetString(L"Target", L"Name", L"target");
    tokens.Link(L"Anna\\Attributes\\Alias", tokens.NativeName(L"Target"));
    CreateSubKeyExactly(tokens.Open(L"Anna\\Attributes\\Alias", KEY_ALL_ACCESS).get(), L"Own",
                        KEY_ALL_ACCESS);
    if (tokens.Exists(L"Target\\Own") || !tokens.Exists(L"Anna\\Attributes\\Alias\\Own")) {
        GTEST_SKIP()
            << "this system makes no link with keys of its own: a key created beneath a link's handle "
               "lands in the link's target";
    }
    const std::wstring held = tokens.Dump();

    EXPECT_FALSE(Delete(L"Anna"));
    EXPECT_EQ(tokens.Dump(), held);
    // The scratch key is wiped the program's way, which refuses this token as well: its own key goes first.
    DeleteOpenKey(tokens.Open(L"Anna\\Attributes\\Alias\\Own", DELETE).get());
}

// Someone else removes the token's parent just as the token goes: the parent's handle then names a
// deleted key, and the token is gone all the same.
TEST_F(DeleteSubKeyTreeTest, TokenWhoseParentIsDeletedMeanwhileIsReportedAsGone) {
    tokens.SetString(L"Gone\\Anna\\Attributes", L"Name", L"Anna");
    int deletions = 0;
    const bool gone = DeleteSubKeyTree(HKEY_CURRENT_USER, tokens.Path(L"Gone"), L"Anna", [&](HKEY key) {
        const bool deleted = DeleteOpenKey(key);
        if (++deletions == 2) {
            tokens.Remove(L"Gone");
        }
        return deleted;
    });

    EXPECT_TRUE(gone);
    EXPECT_EQ(deletions, 2);
    EXPECT_EQ(tokens.Dump(), before);
}

// Random token trees with values of every kind, links to a sibling token, to a key outside the token
// key and to the link's own ancestors, and now and then a key nobody may open. Each deletion removes
// exactly the token and nothing else, or says false and changes nothing.
class RandomTokenTree {
  public:
    RandomTokenTree(const ScratchKey& scratch, unsigned seed) : scratch_(scratch), random_(seed) {}

    std::wstring Name() {
        static const wchar_t* const pieces[] = {L"Voice",          L"\u0413\u043e\u043b\u043e\u0441",
                                                L"\u97f3\u58f0",   L"\U0001D4B1\U0001F600",
                                                L"Ann a",          L" MSSpeech",
                                                L"\u00c9l\u00e8ne"};
        std::wstring name;
        for (int i = Below(3); i >= 0; --i) {
            name += pieces[Below(std::size(pieces))];
        }
        return name + L" " + std::to_wstring(++names_);  // unique, as names compare without case
    }

    // A unique name beneath `parent`; now and then one with a NUL inside or at its end, which no Win32
    // call can spell, at times beside a namesake: a key named by the part before the NUL.
    std::wstring KeyName(const std::wstring& parent) {
        std::wstring name = Name();
        if (Below(4) != 0) {
            return name;
        }
        if (Below(2) == 0) {
            scratch_.SetString(parent + L"\\" + name, L"Namesake", name);
        }
        return name + (Below(2) ? std::wstring(1, L'\0') : L'\0' + Name());
    }

    // Builds the key `path` at `depth` and, below depth 8, its sub-trees; gives every key made.
    void Build(const std::wstring& path, int depth, std::vector<std::wstring>& keys) {
        scratch_.Create(path);
        keys.push_back(path);
        for (int i = Below(4); i > 0; --i) {
            SetValue(path);
        }
        if (Below(4) == 0) {
            Link(path + L"\\" + KeyName(path), path);
        }
        for (int i = depth < 8 ? Below(depth < 3 ? 4 : 2) : 0; i > 0; --i) {
            Build(path + L"\\" + KeyName(path), depth + 1, keys);
        }
    }

    // A link at `path` to the sibling token, outside the token key, nowhere, or an ancestor of `from`.
    void Link(const std::wstring& path, const std::wstring& from) {
        std::wstring target;
        switch (Below(4)) {
            case 0:
                target = L"Tokens\\Sibling";
                break;
            case 1:
                target = L"Outside";
                break;
            case 2:
                target = L"Outside\\Missing";
                break;
            default: {
                target = from;
                for (int up = Below(4); up > 0 && !target.empty(); --up) {
                    const size_t cut = target.rfind(L'\\');
                    target.resize(cut == std::wstring::npos ? 0 : cut);
                }
            }
        }
        const std::wstring native = target.ends_with(L"Missing")
                                        ? scratch_.NativeName(L"Outside") + L"\\Missing"
                                        : scratch_.NativeName(target);
        scratch_.Link(path, native);
    }

    int Below(size_t n) { return static_cast<int>(std::uniform_int_distribution<size_t>(0, n - 1)(random_)); }

  private:
    void SetValue(const std::wstring& path) {
        const unique_hkey key = scratch_.Open(path, KEY_SET_VALUE);
        const std::wstring text = Name();
        const ULONGLONG number = random_();
        const auto textBytes = reinterpret_cast<const BYTE*>(text.c_str());
        const auto textSize = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
        const std::wstring valueName = Below(5) ? Name() : L"";
        switch (Below(5)) {
            case 0:
                RegSetValueExW(key.get(), valueName.c_str(), 0, REG_SZ, textBytes, textSize);
                break;
            case 1:
                RegSetValueExW(key.get(), valueName.c_str(), 0, REG_EXPAND_SZ, textBytes, textSize);
                break;
            case 2:
                RegSetValueExW(key.get(), valueName.c_str(), 0, REG_DWORD,
                               reinterpret_cast<const BYTE*>(&number), 4);
                break;
            case 3:
                RegSetValueExW(key.get(), valueName.c_str(), 0, REG_QWORD,
                               reinterpret_cast<const BYTE*>(&number), 8);
                break;
            default:
                RegSetValueExW(key.get(), valueName.c_str(), 0, REG_BINARY, textBytes,
                               static_cast<DWORD>(Below(textSize)));
        }
    }

    const ScratchKey& scratch_;
    std::mt19937 random_;
    int names_ = 0;
};

// Each tree is deleted plainly, with a key nobody may open, or with the deletion of one key refused after
// every key was opened (as security software may): then the keys deleted before it are the only change.
TEST(DeleteSubKeyTreeRandom, RemovesExactlyTheTokenOrSaysFalseAndChangesNothingUnreached) {
    constexpr unsigned Seed = 20261208;
    std::printf("seed %u\n", Seed);
    for (int trial = 0; trial < 200 && !::testing::Test::HasFailure(); ++trial) {
        ScratchKey scratch{ScratchPath};
        scratch.SetString(L"Outside\\Data", L"Keep", L"outside the token key");
        scratch.SetDword(L"Tokens\\Sibling\\Attributes", L"Trial", trial);
        RandomTokenTree tree(scratch, Seed + trial);
        const std::wstring name = tree.KeyName(L"Tokens");
        const std::wstring token = L"Tokens\\" + name;
        std::vector<std::wstring> keys;
        if (tree.Below(10) == 0) {
            tree.Link(token, L"Tokens");
        } else {
            tree.Build(token, 1, keys);
        }
        std::optional<KeyLock> denied;
        int refuseAt = -1;
        switch (tree.Below(6)) {
            case 0:
                if (!keys.empty()) {
                    denied.emplace(scratch, keys[tree.Below(keys.size())]);
                }
                break;
            case 1:
            case 2:
                refuseAt = tree.Below(keys.size() + 1);
                break;
        }
        const std::wstring before = scratch.Dump();
        const std::wstring scratchName = scratch.NativeName(L"");
        std::vector<std::wstring> deleted;
        bool refused = false;
        // Refuses one deletion; any asked for after it would go ahead, and show in the dump.
        const auto refuseOne = [&](HKEY key) {
            if (!refused && static_cast<int>(deleted.size()) == refuseAt) {
                refused = true;
                return false;
            }
            if (!refused) {
                deleted.push_back(NativeKeyName(key).substr(scratchName.size() + 1));
            }
            return DeleteOpenKey(key);
        };

        const std::wstring tokens = scratch.Path(L"Tokens");
        const bool gone = refuseAt < 0 ? DeleteSubKeyTree(HKEY_CURRENT_USER, tokens, name)
                                       : DeleteSubKeyTree(HKEY_CURRENT_USER, tokens, name, refuseOne);

        const std::wstring after = scratch.Dump();
        const auto where = [&] { return "seed " + std::to_string(Seed) + ", tree " + std::to_string(trial); };
        if (denied) {
            EXPECT_FALSE(gone) << where() << ":\n" << before;
            EXPECT_EQ(after, before) << where();
        } else if (refused) {
            std::wstring expected = before;
            for (const std::wstring& key : deleted) {
                expected = WithoutTree(expected, key);
            }
            EXPECT_FALSE(gone) << where() << ":\n" << before;
            EXPECT_TRUE(scratch.Exists(token)) << where();
            EXPECT_EQ(after, expected) << where() << ", refused deletion " << refuseAt;
        } else {
            EXPECT_TRUE(gone) << where() << ":\n" << before;
            EXPECT_FALSE(scratch.Exists(token));
            EXPECT_EQ(after, WithoutTree(before, token)) << where();
        }
    }
}

// As deep as the registry nests keys is deleted, without a recursion as deep as the tree; one level
// deeper is refused whole. (Windows itself nests no deeper, so there the deeper chain cannot be made.)
TEST(DeleteSubKeyTreeDepth, DeletesAChainAsDeepAsTheRegistryAllowsAndRefusesADeeperOne) {
    for (const int levels : {500, 512, 513}) {
        ScratchKey scratch{ScratchPath};
        std::wstring deepest = L"Deep";
        for (int depth = 1; depth < levels; ++depth) {
            deepest += L"\\k";
        }
        scratch.Create(deepest);
        if (!scratch.Exists(deepest)) {
            std::printf("%d levels cannot be made here\n", levels);
            continue;
        }

        const bool gone = DeleteSubKeyTree(HKEY_CURRENT_USER, scratch.path(), L"Deep");

        EXPECT_EQ(gone, levels <= 512) << levels << " levels";
        EXPECT_EQ(scratch.Exists(deepest), levels > 512) << levels << " levels";
        // The scratch key is wiped by the same deletion, which goes no deeper: the lower half goes first.
        DeleteSubKeyTree(HKEY_CURRENT_USER, scratch.Path(deepest.substr(0, deepest.size() / 2)), L"k");
    }
}

// A test on a real machine leaves its keys as it found them: a scratch key takes with it the keys on its
// way that it made, and keeps one that was there before, empty or not, and one made that has since
// been given a value.
TEST(ScratchKeyParents, RemovesTheParentsItMadeAndNoneThatWereThere) {
    ScratchKey outer{ScratchPath};
    outer.Create(L"Before");
    { ScratchKey inner{outer.Path(L"Before\\Inner")}; }
    { ScratchKey inner{outer.Path(L"Made\\Deeper\\Inner")}; }
    {
        ScratchKey inner{outer.Path(L"Valued\\Deeper\\Inner")};
        outer.SetDword(L"Valued\\Deeper", L"Given", 1);
    }

    EXPECT_TRUE(outer.Exists(L"Before"));
    EXPECT_FALSE(outer.Exists(L"Made"));
    EXPECT_EQ(outer.Dump(), L"[]\n[\\Before]\n[\\Valued]\n[\\Valued\\Deeper]\n  Given type 4 = 1 0 0 0\n");
}

}  // namespace
