#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/building/internal/directory_deflater.h"
#include "support/zlib_adapter.h"

namespace {

// Directory-like bytes: records that repeat with small differences, some megabytes of them.
TArrayOfByte RecordBytes(size_t records, char mark) {
    TArrayOfByte bytes;
    for (size_t k = 0; k < records; ++k) {
        const std::string record = "folder\\name" + std::to_string(k * 7919 % 100003) + mark + ".txt";
        bytes.insert(bytes.end(), record.begin(), record.end());
        for (int b = 0; b < 12; ++b) bytes.push_back(static_cast<uint8_t>((k >> (b % 4)) + b));
    }
    return bytes;
}

TArrayOfByte Compress(const TArrayOfByte& image) {
    return CompressBytes(image.data(), static_cast<int32_t>(image.size()));
}

// The new image given as a build gives it: the final part growing piece by piece.
TArrayOfByte Deflated(const TArrayOfByte* former, const TArrayOfByte& image, size_t piece) {
    TDirectoryDeflater deflater(former);
    for (size_t final = piece; final < image.size(); final += piece) deflater.Give(image, final);
    return deflater.Finish(image);
}

}  // namespace

// Whether the new image follows the former one to its end, parts from it early or late,
// outgrows it or ends inside it, the stream is the one CompressBytes makes of the new image.
TEST(DirectoryDeflater, GivesTheStreamOfTheNewImageWhereverItPartsFromTheFormer) {
    const TArrayOfByte former = RecordBytes(60000, 'a');
    auto partedAt = [&](size_t at) {
        TArrayOfByte image = former;
        for (size_t k = at; k < image.size(); k += 5) image[k] = 'z';
        return image;
    };
    TArrayOfByte longer = former;
    longer.insert(longer.end(), former.begin(), former.begin() + 100000);
    struct Case {
        const char* what;
        TArrayOfByte image;
    };
    const Case cases[] = {
        {"the same", former},
        {"parts at once", partedAt(0)},
        {"parts at a point of return", partedAt(131072)},
        {"parts just after one", partedAt(131073)},
        {"parts near the end", partedAt(former.size() - 3)},
        {"ends inside", TArrayOfByte(former.begin(), former.begin() + 500001)},
        {"outgrows", longer},
        {"empty", {}},
    };
    for (const Case& c : cases) {
        const TArrayOfByte expected = Compress(c.image);
        for (size_t piece : {size_t{4096}, size_t{1} << 30})
            EXPECT_EQ(Deflated(&former, c.image, piece), expected) << c.what << ", pieces of " << piece;
    }
}

TEST(DirectoryDeflater, WithoutAFormerImageGivesTheStreamOfTheImage) {
    const TArrayOfByte image = RecordBytes(50000, 'b');
    EXPECT_EQ(Deflated(nullptr, image, 65536), Compress(image));
}

// A build that ends before the directory is finished (a raised error) leaves the deflater to
// its destructor, which stops its thread wherever it is.
TEST(DirectoryDeflater, EndsWithoutFinishingWhereverItIs) {
    const TArrayOfByte former = RecordBytes(60000, 'a');
    for (size_t given : {size_t{0}, size_t{300000}, former.size()}) {
        TDirectoryDeflater deflater(&former);
        deflater.Give(former, given);
        EXPECT_EQ(deflater.Given(), given);
    }
}
