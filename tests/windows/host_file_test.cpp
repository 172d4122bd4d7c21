#include "support/host_file.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <string>

#include "support/errors.h"

namespace {

// A fresh folder of the test's own in the current folder, removed with its files.
class WorkFolder {
public:
    // Wine reuses small process ids: the clock makes the name one no earlier run left.
    WorkFolder() : path_("vpak-file-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(::GetTickCount64())) {
        EXPECT_TRUE(::CreateDirectoryA(path_.c_str(), nullptr)) << path_;
    }
    ~WorkFolder() {
        WIN32_FIND_DATAA found;
        const HANDLE search = ::FindFirstFileA((path_ + "\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::string inner = path_ + "\\" + found.cFileName;
                ::SetFileAttributesA(inner.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ::RemoveDirectoryA(inner.c_str());
                else ::DeleteFileA(inner.c_str());
            } while (::FindNextFileA(search, &found));
            ::FindClose(search);
        }
        ::RemoveDirectoryA(path_.c_str());
    }
    std::string At(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string ReadAll(HostFile& file) {
    std::string bytes(static_cast<size_t>(file.Size()), '\0');
    file.Seek(0);
    file.ReadExact(bytes.data(), static_cast<int64_t>(bytes.size()));
    return bytes;
}

}  // namespace

TEST(WindowsHostFile, WrittenBytesAreReadBackAtTheirPositions) {
    WorkFolder folder;
    HostFile file(folder.At("data.pak"), HostFile::Mode::CreateNew);
    file.Write("abcdef", 6);
    file.Seek(2);
    file.Write("XY", 2);
    EXPECT_EQ(file.Position(), 4);
    EXPECT_EQ(ReadAll(file), "abXYef");
    uint8_t bytes[2] = {};
    file.ReadBytesAt({5, 0}, bytes);
    EXPECT_EQ(bytes[0], 'f');
    EXPECT_EQ(bytes[1], 'a');
}

TEST(WindowsHostFile, AReadPastTheEndGivesWhatThereIsAndReadExactRaises) {
    WorkFolder folder;
    HostFile file(folder.At("data.pak"), HostFile::Mode::Create);
    file.Write("abc", 3);
    file.Seek(1);
    char buffer[8] = {};
    EXPECT_EQ(file.Read(buffer, 8), 2);
    EXPECT_EQ(file.Read(buffer, 8), 0);
    file.Seek(0);
    try {
        file.ReadExact(buffer, 4);
        FAIL() << "no error";
    } catch (const EInOutError& error) {
        EXPECT_NE(std::string(error.what()).find(kReadBeyondEndOfFile), std::string::npos) << error.what();
    }
}

TEST(WindowsHostFile, CreateNewRefusesAnExistingNameAndCreateEmptiesIt) {
    WorkFolder folder;
    {
        HostFile file(folder.At("data.pak"), HostFile::Mode::CreateNew);
        file.Write("old", 3);
    }
    try {
        HostFile again(folder.At("data.pak"), HostFile::Mode::CreateNew);
        FAIL() << "an existing name was opened as new";
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.Code(), EEXIST);
    }
    HostFile file(folder.At("data.pak"), HostFile::Mode::Create);
    EXPECT_EQ(file.Size(), 0);
}

TEST(WindowsHostFile, OpeningAMissingFileOrAFolderSaysWhich) {
    WorkFolder folder;
    ASSERT_TRUE(::CreateDirectoryA(folder.At("maps").c_str(), nullptr));
    struct Case {
        std::string name;
        int code;
    };
    for (const Case& c : {Case{"nothing.pak", ENOENT}, Case{"maps", EISDIR}}) {
        try {
            HostFile file(folder.At(c.name), HostFile::Mode::Read);
            ADD_FAILURE() << c.name << " opened";
        } catch (const EInOutError& error) {
            EXPECT_EQ(error.Code(), c.code) << c.name;
            EXPECT_NE(std::string(error.what()).find(c.name), std::string::npos) << error.what();
        }
    }
}

TEST(WindowsHostFile, TruncateCutsAtThePosition) {
    WorkFolder folder;
    HostFile file(folder.At("data.pak"), HostFile::Mode::Create);
    file.Write("abcdef", 6);
    file.Seek(2);
    file.Truncate();
    EXPECT_EQ(ReadAll(file), "ab");
}

TEST(WindowsHostFile, AReaderAndAWriterOfOneFileMayBothBeOpen) {
    WorkFolder folder;
    HostFile writer(folder.At("data.pak"), HostFile::Mode::Create);
    writer.Write("abc", 3);
    HostFile reader(folder.At("data.pak"), HostFile::Mode::Read);
    EXPECT_EQ(ReadAll(reader), "abc");
    HostFile second(folder.At("data.pak"), HostFile::Mode::ReadWrite);
    EXPECT_EQ(second.Identity(), reader.Identity());
    EXPECT_EQ(second.Kind(), host::EntryKind::File);
}

TEST(WindowsHostFile, ReservingKeepsTheSizeAndTheBytes) {
    WorkFolder folder;
    HostFile file(folder.At("data.pak"), HostFile::Mode::Create);
    file.Write("abc", 3);
    file.Reserve(1 << 20);
    EXPECT_EQ(file.Size(), 3);
    file.ReleaseReserved();
    EXPECT_EQ(ReadAll(file), "abc");
    EXPECT_GT(file.AvailableSpace(), 0);
}

TEST(WindowsHostFile, AModeWithoutWriteBitsMakesTheFileReadOnly) {
    WorkFolder folder;
    HostFile file(folder.At("data.pak"), HostFile::Mode::Create);
    EXPECT_EQ(file.Ownership().mode, 0666u);
    file.SetOwnership({0444, 0, 0});
    EXPECT_EQ(file.Ownership().mode, 0444u);
    file.SetOwnership({0644, 0, 0});
    EXPECT_EQ(file.Ownership().mode, 0666u);
}

TEST(WindowsHostFile, ACopyFromAnotherFileLandsAtThePosition) {
    WorkFolder folder;
    HostFile source(folder.At("old.pak"), HostFile::Mode::Create);
    source.Write("0123456789", 10);
    HostFile target(folder.At("new.pak"), HostFile::Mode::Create);
    target.Write("ab", 2);
    target.CopyFrom(source, 3, 4);
    EXPECT_EQ(ReadAll(target), "ab3456");
    target.Seek(6);
    EXPECT_THROW(target.CopyFrom(source, 8, 4), EInOutError);
}

TEST(WindowsHostFile, AReopenedFileHasAPositionOfItsOwn) {
    WorkFolder folder;
    HostFile file(folder.At("data.pak"), HostFile::Mode::Create);
    file.Write("abc", 3);
    file.Flush();
    const std::unique_ptr<HostFile> again = HostFile::Reopened(file, HostFile::Mode::Read);
    EXPECT_EQ(again->Position(), 0);
    EXPECT_EQ(ReadAll(*again), "abc");
    EXPECT_EQ(again->Identity(), file.Identity());
}
