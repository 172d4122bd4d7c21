#include "support/host_names.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <string>

namespace {

std::wstring Wide(const std::string& utf8) {
    std::wstring text(utf8.size(), L'\0');
    text.resize(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(),
                                      static_cast<int>(text.size())));
    return text;
}

// A fresh folder of the test's own in the current folder, given by a relative path.
class WorkFolder {
public:
    // Wine reuses small process ids: the clock makes the name one no earlier run left.
    explicit WorkFolder(const std::string& name)
        : path_(name + "-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(::GetTickCount64())) {
        EXPECT_TRUE(::CreateDirectoryA(path_.c_str(), nullptr)) << path_;
    }
    ~WorkFolder() {
        for (const std::string& name : made_) ::DeleteFileW(Wide(path_ + "\\" + name).c_str());
        ::RemoveDirectoryA(path_.c_str());
    }
    std::string Make(const std::string& name, const std::string& content) {
        std::ofstream(path_ + "\\" + name, std::ios::binary) << content;
        made_.push_back(name);
        return path_ + "/" + name;
    }
    std::string Path(const std::string& name) {
        made_.push_back(name);
        return path_ + "/" + name;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(path_ + "\\" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::vector<std::string> made_;
};

}  // namespace

TEST(WindowsHostNames, RenameUnlessTakenMovesToAFreeName) {
    WorkFolder folder("vpak-names-free");
    const std::string from = folder.Make("staged.tmp", "new");
    EXPECT_TRUE(host::RenameUnlessTaken(from, folder.Path("data.pak")));
    EXPECT_EQ(folder.Read("data.pak"), "new");
    EXPECT_EQ(::GetFileAttributesA((folder.path() + "\\staged.tmp").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(WindowsHostNames, RenameUnlessTakenLeavesATakenNameAndItsFileAlone) {
    WorkFolder folder("vpak-names-taken");
    const std::string from = folder.Make("staged.tmp", "new");
    const std::string to = folder.Make("data.pak", "old");
    EXPECT_FALSE(host::RenameUnlessTaken(from, to));
    EXPECT_EQ(folder.Read("data.pak"), "old");
    EXPECT_EQ(folder.Read("staged.tmp"), "new");
}

TEST(WindowsHostNames, NamesStartingWithGivesTheMatchingNamesAsUtf8) {
    WorkFolder folder("vpak-names-list");
    folder.Make("data.pak", "");
    folder.Make("data.pak.journal", "");
    folder.Make("other.pak", "");
    folder.Path("data.pak-caf\xC3\xA9");
    const HANDLE file = ::CreateFileW(Wide(folder.path() + "\\data.pak-caf\xC3\xA9").c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ::CloseHandle(file);
    std::vector<std::string> names = host::NamesStartingWith(folder.path(), "data.pak");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"data.pak", "data.pak-caf\xC3\xA9", "data.pak.journal"}));
}
