#include "support/host_entries.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <string>
#include <vector>

namespace {

std::wstring Wide(const std::string& utf8) {
    std::wstring text(utf8.size(), L'\0');
    text.resize(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(),
                                      static_cast<int>(text.size())));
    return text;
}

// A fresh folder of the test's own in the current folder, removed with what it holds.
class WorkFolder {
public:
    // Wine reuses small process ids: the clock makes the name one no earlier run left.
    WorkFolder()
        : path_("vpak-entries-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(::GetTickCount64())) {
        EXPECT_TRUE(::CreateDirectoryA(path_.c_str(), nullptr)) << path_;
    }
    ~WorkFolder() { Remove(L"\\\\?\\" + Full(Wide(path_))); }
    std::string Make(const std::string& name, const std::string& content) {
        const HANDLE file = ::CreateFileW(Wide(path_ + "\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE) << name;
        DWORD written = 0;
        ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        ::CloseHandle(file);
        return At(name);
    }
    std::string At(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    static std::wstring Full(const std::wstring& path) {
        wchar_t full[MAX_PATH];
        return std::wstring(full, ::GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr));
    }
    static void Remove(const std::wstring& folder) {
        WIN32_FIND_DATAW found;
        const HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = found.cFileName;
                if (name == L"." || name == L"..") continue;
                const std::wstring inner = folder + L"\\" + name;
                const bool folderEntry = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
                const bool link = found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
                if (folderEntry && !link) Remove(inner);
                else if (folderEntry) ::RemoveDirectoryW(inner.c_str());
                else ::DeleteFileW(inner.c_str());
            } while (::FindNextFileW(search, &found));
            ::FindClose(search);
        }
        ::RemoveDirectoryW(folder.c_str());
    }

    std::string path_;
};

}  // namespace

TEST(WindowsHostEntries, StatTellsAFileItsSizeAndARecentChange) {
    WorkFolder folder;
    const host::EntryInfo info = host::Stat(folder.Make("data.pak", "12345"));
    EXPECT_EQ(info.kind, host::EntryKind::File);
    EXPECT_EQ(info.size, 5);
    const int64_t now = static_cast<int64_t>(std::time(nullptr)) * 1000000000;
    EXPECT_LT(std::abs(info.modifiedNs - now), int64_t(600) * 1000000000);
}

TEST(WindowsHostEntries, StatTellsAFolderAndAMissingName) {
    WorkFolder folder;
    EXPECT_EQ(host::Stat(folder.path()).kind, host::EntryKind::Directory);
    const host::EntryInfo missing = host::Stat(folder.At("nothing"));
    EXPECT_EQ(missing.kind, host::EntryKind::Missing);
    EXPECT_EQ(missing.errorCode, ENOENT);
}

TEST(WindowsHostEntries, TwoNamesOfOneFileShareAnIdentityOthersDoNot) {
    WorkFolder folder;
    const std::string first = folder.Make("a.pak", "a");
    const std::string other = folder.Make("b.pak", "b");
    ASSERT_TRUE(::CreateHardLinkW(Wide(folder.path() + "\\c.pak").c_str(), Wide(folder.path() + "\\a.pak").c_str(), nullptr));
    EXPECT_EQ(host::Stat(first).identity, host::Stat(folder.At("c.pak")).identity);
    EXPECT_NE(host::Stat(first).identity, host::Stat(other).identity);
}

TEST(WindowsHostEntries, AListingGivesEveryEntryAsUtf8WithItsKind) {
    WorkFolder folder;
    folder.Make("caf\xC3\xA9.txt", "x");
    ASSERT_TRUE(::CreateDirectoryW(Wide(folder.path() + "\\maps").c_str(), nullptr));
    host::DirListing listing = host::ListDirectory(folder.path());
    EXPECT_EQ(listing.errorCode, 0);
    std::sort(listing.entries.begin(), listing.entries.end(),
              [](const host::DirEntry& a, const host::DirEntry& b) { return a.name < b.name; });
    ASSERT_EQ(listing.entries.size(), 2u);
    EXPECT_EQ(listing.entries[0].name, "caf\xC3\xA9.txt");
    EXPECT_EQ(listing.entries[0].info.kind, host::EntryKind::File);
    EXPECT_EQ(listing.entries[1].name, "maps");
    EXPECT_EQ(listing.entries[1].info.kind, host::EntryKind::Directory);
}

TEST(WindowsHostEntries, AListingOfAMissingFolderSaysWhy) {
    WorkFolder folder;
    EXPECT_EQ(host::ListDirectory(folder.At("nothing")).errorCode, ENOENT);
}

TEST(WindowsHostEntries, ANameThatIsNotUtf8ReachesTheFileItsWindows1252Spells) {
    WorkFolder folder;
    folder.Make("caf\xC3\xA9.txt", "x");
    EXPECT_EQ(host::Stat(folder.At("caf\xE9.txt")).kind, host::EntryKind::File);
}

TEST(WindowsHostEntries, RenameReplacesAndRemoveFileTellsAMissingName) {
    WorkFolder folder;
    const std::string staged = folder.Make("staged.tmp", "new");
    const std::string target = folder.Make("data.pak", "old");
    host::Rename(staged, target);
    EXPECT_EQ(host::Stat(target).size, 3);
    EXPECT_FALSE(host::NameExists(staged));
    EXPECT_TRUE(host::RemoveFile(target));
    EXPECT_FALSE(host::RemoveFile(target));
    EXPECT_FALSE(host::NameExists(target));
}

TEST(WindowsHostEntries, TheParentOfANameInADriveRootIsTheRoot) {
    struct Case {
        std::string path;
        std::string parent;
    };
    const std::vector<Case> cases = {
        {"C:\\data.pak", "C:\\"}, {"C:/games/data.pak", "C:/games"}, {"games\\data.pak", "games"},
        {"data.pak", "."},        {"\\data.pak", "\\"},
    };
    for (const Case& c : cases) EXPECT_EQ(host::ParentDirectoryOf(c.path), c.parent) << c.path;
}

TEST(WindowsHostEntries, MakeDirectoryLeavesTheReasonInErrno) {
    WorkFolder folder;
    EXPECT_TRUE(host::MakeDirectory(folder.At("maps")));
    errno = 0;
    EXPECT_FALSE(host::MakeDirectory(folder.At("maps")));
    EXPECT_EQ(errno, EEXIST);
}

TEST(WindowsHostEntries, AFolderOnTheLocalDiskIsAWritableMedium) {
    WorkFolder folder;
    EXPECT_TRUE(host::IsLocalWritableMedium(folder.At("not/yet/made")));
}

TEST(WindowsHostEntries, StatNoFollowTellsASymbolicLinkStatFollowsIt) {
    WorkFolder folder;
    folder.Make("data.pak", "12345");
    const std::wstring link = Wide(folder.path() + "\\link.pak");
    // Wine 8's CreateSymbolicLinkW reports success and makes nothing.
    if (!::CreateSymbolicLinkW(link.c_str(), L"data.pak", 0) || ::GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no symbolic links here";
    EXPECT_EQ(host::StatNoFollow(folder.At("link.pak")).kind, host::EntryKind::Other);
    EXPECT_EQ(host::Stat(folder.At("link.pak")).kind, host::EntryKind::File);
    EXPECT_EQ(host::Stat(folder.At("link.pak")).size, 5);
}
