#include <gtest/gtest.h>


#include "helpers/random_bytes.h"
#include "helpers/temp_dir.h"
#include "support/host_file.h"
#include "support/splice.h"

namespace {

// Random bytes: any byte moved to a wrong place shows up in a comparison.
TArrayOfByte Join(const TArrayOfByte& a, const TArrayOfByte& b, const TArrayOfByte& c = {}) {
    TArrayOfByte all = a;
    all.insert(all.end(), b.begin(), b.end());
    all.insert(all.end(), c.begin(), c.end());
    return all;
}

TArrayOfByte Slice(const TArrayOfByte& bytes, size_t from, size_t count) {
    return TArrayOfByte(bytes.begin() + static_cast<ptrdiff_t>(from),
                        bytes.begin() + static_cast<ptrdiff_t>(from + count));
}

constexpr size_t kLongTail = 10'000'000;  // more than two work buffers

class Splice : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir / "file.bin";
};

}  // namespace

TEST_F(Splice, InsertMovesATailLongerThanTheWorkBufferIntact) {
    const TArrayOfByte original = RandomBytes(100 + kLongTail, 1);
    WriteFile(path, original);
    {
        HostFile file(path, HostFile::Mode::ReadWrite);
        InsertBytes(file, 100, 777);
    }
    const TArrayOfByte expected = Join(Slice(original, 0, 100), TArrayOfByte(777, 0), Slice(original, 100, kLongTail));
    EXPECT_TRUE(ReadFileBytes(path) == expected);
}

TEST_F(Splice, InsertOfAGapLargerThanTheWorkBufferFillsItWithZeros) {
    const TArrayOfByte original = RandomBytes(50, 2);
    WriteFile(path, original);
    const size_t gap = 5'000'000;
    {
        HostFile file(path, HostFile::Mode::ReadWrite);
        InsertBytes(file, 10, static_cast<int64_t>(gap));
    }
    const TArrayOfByte expected = Join(Slice(original, 0, 10), TArrayOfByte(gap, 0), Slice(original, 10, 40));
    EXPECT_TRUE(ReadFileBytes(path) == expected);
}

TEST_F(Splice, InsertAtTheEndAppendsZeros) {
    WriteFile(path, TArrayOfByte{1, 2, 3});
    {
        HostFile file(path, HostFile::Mode::ReadWrite);
        InsertBytes(file, 3, 4);
    }
    EXPECT_EQ(ReadFileBytes(path), (TArrayOfByte{1, 2, 3, 0, 0, 0, 0}));
}

TEST_F(Splice, InsertIntoAnEmptyFileGivesZeros) {
    WriteFile(path, TArrayOfByte{});
    {
        HostFile file(path, HostFile::Mode::ReadWrite);
        InsertBytes(file, 0, 5);
    }
    EXPECT_EQ(ReadFileBytes(path), TArrayOfByte(5, 0));
}

TEST_F(Splice, InsertKeepsTheFilePosition) {
    WriteFile(path, RandomBytes(5'000'000, 3));
    HostFile file(path, HostFile::Mode::ReadWrite);
    file.Seek(12345);
    InsertBytes(file, 100, 1000);
    EXPECT_EQ(file.Position(), 12345);
    EXPECT_EQ(file.Size(), 5'001'000);
}

TEST_F(Splice, DeleteMovesATailLongerThanTheWorkBufferIntact) {
    const TArrayOfByte original = RandomBytes(100 + 5000 + kLongTail, 4);
    WriteFile(path, original);
    {
        HostFile file(path, HostFile::Mode::ReadWrite);
        DeleteBytes(file, 100, 5000);
    }
    const TArrayOfByte expected = Join(Slice(original, 0, 100), Slice(original, 5100, kLongTail));
    EXPECT_TRUE(ReadFileBytes(path) == expected);
}

TEST_F(Splice, DeleteOfARangeLargerThanTheWorkBufferCutsExactly) {
    const TArrayOfByte original = RandomBytes(6'000'000, 5);
    WriteFile(path, original);
    {
        HostFile file(path, HostFile::Mode::ReadWrite);
        DeleteBytes(file, 1000, 4'500'000);
    }
    const TArrayOfByte expected = Join(Slice(original, 0, 1000), Slice(original, 4'501'000, 1'499'000));
    EXPECT_TRUE(ReadFileBytes(path) == expected);
}

TEST_F(Splice, DeleteUpToTheEndCutsTheFileAtThePosition) {
    WriteFile(path, TArrayOfByte{1, 2, 3, 4, 5, 6});
    {
        HostFile file(path, HostFile::Mode::ReadWrite);
        DeleteBytes(file, 2, 4);
    }
    EXPECT_EQ(ReadFileBytes(path), (TArrayOfByte{1, 2}));
}

TEST_F(Splice, DeleteOfARangePastTheEndRemovesOnlyWhatExists) {
    WriteFile(path, TArrayOfByte{1, 2, 3, 4});
    {
        HostFile file(path, HostFile::Mode::ReadWrite);
        DeleteBytes(file, 1, 100);
    }
    EXPECT_EQ(ReadFileBytes(path), (TArrayOfByte{1}));
}

TEST_F(Splice, DeleteKeepsTheFilePosition) {
    WriteFile(path, RandomBytes(5'000'000, 6));
    HostFile file(path, HostFile::Mode::ReadWrite);
    file.Seek(777);
    DeleteBytes(file, 10, 4'999'000);
    EXPECT_EQ(file.Position(), 777);
    EXPECT_EQ(file.Size(), 1000);
}

TEST_F(Splice, CountZeroChangesNothing) {
    const TArrayOfByte original = RandomBytes(1000, 7);
    WriteFile(path, original);
    {
        HostFile file(path, HostFile::Mode::ReadWrite);
        file.Seek(33);
        InsertBytes(file, 10, 0);
        DeleteBytes(file, 10, 0);
        EXPECT_EQ(file.Position(), 33);
    }
    EXPECT_EQ(ReadFileBytes(path), original);
}

TEST_F(Splice, InsertThenDeleteRestoresTheFile) {
    const TArrayOfByte original = RandomBytes(4'194'304 + 3, 8);  // one byte past a block edge
    WriteFile(path, original);
    {
        HostFile file(path, HostFile::Mode::ReadWrite);
        InsertBytes(file, 1, 4'194'304);
        DeleteBytes(file, 1, 4'194'304);
    }
    EXPECT_TRUE(ReadFileBytes(path) == original);
}
