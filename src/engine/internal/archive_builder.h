// Building a new archive: engine/archive_builder.h, and what only the engine's tests use.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/archive_builder.h"
#include "engine/internal/source_tree.h"
#include "engine/notices.h"
#include "support/progress.h"

// MakeArchive with a chosen number of compressing threads; 0 compresses on the calling
// thread. The archive and the progress reports are the same whatever the number;
// MakeArchive uses one thread per core.
bool MakeArchiveWithThreads(bool bigEndian, const std::string& sourceDir, const std::string& archivePath,
                            const ProgressProc& progress, bool convertLoc, int32_t& folderCount,
                            int32_t& fileCount, int compressingThreads, TNotices* notices = nullptr);

class HostFile;
class TDirectoryDeflater;

// A listed tree and the content of each of its files, to be written as an archive.
struct TTreeBuild {
    bool bigEndian = false;
    bool convertLoc = true;
    std::string sourceDir;  // the host folder a listed tree came from, as notices name it
    const TSourceFolder* tree = nullptr;
    std::vector<TSourceFile> files;  // SourceFilesOf the tree, in its order
    HostFile* keptFrom = nullptr;    // the archive that kept streams are copied from
    int compressingThreads = 0;
    // What compresses the directory, started ahead by an edit with the directory it replaces;
    // none: the build starts its own, unless it compresses on the calling thread alone.
    TDirectoryDeflater* deflater = nullptr;
};

// Writes the tree as a whole archive into the empty archive file, laid out exactly as a build
// from a folder lays it out: records in the tree's order, the streams in the same order, the
// directory compressed by the header's rule. A kept stream is copied byte for byte, runs of
// them that follow each other as one. When streams are kept and the rest fit in memory the
// header is written first and each stream once; otherwise the header is put in front of the
// streams afterwards. folderCount and fileCount receive the numbers met in the tree. True
// when every file was stored; each that could not be is told in notices.
bool WriteArchiveTree(const TTreeBuild& build, HostFile& archive, const std::string& archivePath,
                      const ProgressProc& progress, TNotices* notices, int32_t& folderCount, int32_t& fileCount);
