// Comparing the files of a listed folder with the entries of an archive: which file stands
// for which entry, and whether the content make would store from it is the entry's. Under
// diff, and under sync, which keeps the streams of the entries whose content is the same.
#pragma once

#include "engine/internal_header.h"

#include <cstddef>
#include <exception>
#include <string>
#include <vector>

#include "engine/reading/archive_entries.h"
#include "engine/reading/internal/archive_file_pool.h"
#include "engine/building/internal/source_tree.h"
#include "engine/notices.h"
#include "engine/editing/path_difference.h"
#include "support/bytes.h"
#include "support/progress.h"
#include "support/stream_inflate.h"

inline constexpr size_t kNoEntry = static_cast<size_t>(-1);

struct TComparisonOptions {
    bool bigEndian = false;
    bool convertLoc = true;  // a .loc text is compared as the string table make would store
    // A stream that cannot hold the file's content (damaged, cut short, outside the archive):
    // with this, the content counts as changed; without, it raises EDecompressionError naming
    // its entry.
    bool damagedIsChanged = false;
    ProgressProc progress;        // hears of each file compared, and may stop the comparison
    TNotices* notices = nullptr;  // the files that could not be read
};

class TFolderComparison {
public:
    TFolderComparison(const TComparisonOptions& options, const TArchiveLook& look)
        : options_(options), look_(look), files_(look.File()) {}

    // Pairs every file with the first entry of the same key (EntryPathKey) not yet paired, in
    // the order each side holds them; entries left over are removed.
    void Pair(const std::vector<TSourceFile>& sources);

    // Compares the pairs on every core, taking the verdicts in the files' order: the added
    // and changed files go into diff in that order, then the removed entries in theirs. A
    // file that cannot be read is told in notices and makes diff incomplete.
    void Compare(TArchiveDiff& diff);

    // After Compare, for each file in the order Pair was given them: the entry whose content
    // it holds, or kNoEntry when it is added, changed or could not be read.
    const std::vector<size_t>& SameEntries() const { return same_; }

private:
    // A file of the folder and the archive entry it stands for (kNoEntry: none).
    struct TPair {
        const TSourceFile* file;
        size_t entry;
    };

    // What comparing one pair found.
    struct TPairVerdict {
        bool read = true;     // the file's content was obtained
        std::string problem;  // why not
        bool changed = false;
        std::exception_ptr raised;  // what judging it raised
    };

    int64_t Cost(size_t i) const;
    void Record(const TPair& pair, const TPairVerdict& verdict, TArchiveDiff& diff) const;
    TPairVerdict Judge(const TPair& pair);
    TPairVerdict JudgeInPieces(const std::string& hostPath, const TArchiveEntry& entry);
    bool StreamHolds(const TArchiveEntry& entry, const uint8_t* content, int64_t size);
    bool StreamGivesInPieces(const TArchiveEntry& entry, const TByteSource& content);
    bool Damaged(const TArchiveEntry& entry) const;
    bool TellDamaged(const TArchiveEntry& entry) const;

    const TComparisonOptions& options_;
    const TArchiveLook& look_;
    TArchiveFiles files_;
    std::vector<TPair> pairs_;     // in the order make stores the files
    std::vector<size_t> removed_;  // entries no file stands for, in directory order
    std::vector<size_t> same_;
};

// Why make could not store the file's content, found without reading it (missing, not a
// regular file, one it may not read, too large to store); "" when it can be read.
std::string StoringProblem(const TSourceFile& file);

// Orders the differences by path (bytes, "\\" as a separator), each kind where it falls.
void SortDifferences(TArchiveDiff& diff);
