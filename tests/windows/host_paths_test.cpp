#include "support/host_paths_windows.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

std::wstring CurrentFolder() {
    std::wstring folder(32768, L'\0');
    folder.resize(::GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
    return folder;
}

// A fresh folder of the test's own below the temporary folder, removed with all it holds.
class TempFolder {
public:
    TempFolder() {
        wchar_t base[MAX_PATH + 1];
        ::GetTempPathW(MAX_PATH + 1, base);
        // Wine reuses small process ids: the clock makes the name one no earlier run left.
        path_ = std::wstring(base) + L"vpak-paths-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(::GetTickCount64());
        EXPECT_TRUE(::CreateDirectoryW(path_.c_str(), nullptr));
    }
    ~TempFolder() { Remove(L"\\\\?\\" + path_); }
    std::string Utf8() const {
        std::string bytes(path_.size() * 3, '\0');
        bytes.resize(::WideCharToMultiByte(CP_UTF8, 0, path_.data(), static_cast<int>(path_.size()), bytes.data(),
                                           static_cast<int>(bytes.size()), nullptr, nullptr));
        return bytes;
    }

private:
    static void Remove(const std::wstring& folder) {
        WIN32_FIND_DATAW found;
        const HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = found.cFileName;
                if (name == L"." || name == L"..") continue;
                const std::wstring inner = folder + L"\\" + name;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Remove(inner);
                else ::DeleteFileW(inner.c_str());
            } while (::FindNextFileW(search, &found));
            ::FindClose(search);
        }
        ::RemoveDirectoryW(folder.c_str());
    }

    std::wstring path_;
};

}  // namespace

TEST(WindowsHostPaths, AnAbsolutePathTakesTheLongFormWithBackslashes) {
    EXPECT_EQ(host::WidePath("C:/games/veldane/data.pak"), L"\\\\?\\C:\\games\\veldane\\data.pak");
    EXPECT_EQ(host::WidePath("C:\\games\\.\\x\\..\\data.pak"), L"\\\\?\\C:\\games\\data.pak");
}

TEST(WindowsHostPaths, EachComponentIsDecodedOnItsOwn) {
    // A UTF-8 folder of the user's, and a Windows-1252 name from an archive.
    EXPECT_EQ(host::WidePath("C:/caf\xC3\xA9/caf\xE9.txt"), L"\\\\?\\C:\\caf\u00E9\\caf\u00E9.txt");
}

TEST(WindowsHostPaths, ARelativePathIsTakenFromTheCurrentFolder) {
    EXPECT_EQ(host::WidePath("data.pak"), L"\\\\?\\" + CurrentFolder() + L"\\data.pak");
}

// Wine does not hold paths to 260 characters, Windows does: under Wine this checks only that
// the long form reaches the folders; AnAbsolutePathTakesTheLongForm checks the form itself.
TEST(WindowsHostPaths, FoldersAndFilesPastTwoHundredSixtyCharactersCanBeMade) {
    TempFolder temp;
    std::string path = temp.Utf8();
    for (int level = 0; level < 12; ++level) {
        path += "/" + std::string(40, static_cast<char>('a' + level));
        ASSERT_TRUE(::CreateDirectoryW(host::WidePath(path).c_str(), nullptr)) << path.size();
    }
    path += "/data.pak";
    ASSERT_GT(path.size(), 500u);
    const HANDLE file = ::CreateFileW(host::WidePath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ::CloseHandle(file);
    EXPECT_NE(::GetFileAttributesW(host::WidePath(path).c_str()), INVALID_FILE_ATTRIBUTES);
}
