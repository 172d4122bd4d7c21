// Building a new archive: engine/archive_builder.h, and what only the engine's tests use.
#pragma once

#include "engine/internal_header.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/building/archive_builder.h"
#include "engine/building/internal/source_tree.h"
#include "support/bytes.h"
#include "support/host_entries.h"
#include "engine/notices.h"
#include "support/progress.h"

// MakeArchive with a chosen number of compressing threads; 0 compresses on the calling
// thread. The archive and the progress reports are the same whatever the number;
// MakeArchive uses one thread per core.
TMakeResult MakeArchiveWithThreads(const TMakeRequest& request, int compressingThreads);

class HostFile;
class TDirectoryDeflater;
class TStreamsAhead;

// A listed tree and the content of each of its files, to be written as an archive.
struct TTreeBuild {
    bool bigEndian = false;
    bool convertLoc = true;
    std::string sourceDir;  // the host folder a listed tree came from, as notices name it
    const TListedTree* tree = nullptr;
    std::vector<TSourceFile> files;  // SourceFilesOf the tree, in its order
    HostFile* keptFrom = nullptr;    // the archive that kept streams are copied from
    int compressingThreads = 0;
    // What compresses the directory, started ahead by an edit with the directory it replaces;
    // none: the build starts its own, unless it compresses on the calling thread alone.
    TDirectoryDeflater* deflater = nullptr;
    // Files compressed before the tree was known; a file of the tree at one of their host
    // paths takes its stream from there.
    TStreamsAhead* ahead = nullptr;
};

// A file's stream as a compressing thread hands it over.
struct TPackedFile {
    bool obtained = false;  // false: its content could not be obtained
    std::string problem;    // why not
    TArrayOfByte stream;
    int32_t unpackedSize = 0;
};

// Host files compressed before the tree that stores them is known: an edit starts on the
// files it was given while it reads the archive and changes its tree. Only as much as a
// build holds in memory anyway: when the files would cost more, none is started.
class TStreamsAhead {
public:
    struct TFile {
        std::string hostPath;
        host::EntryInfo info;  // what the host said of it
    };

    TStreamsAhead(bool bigEndian, bool convertLoc, const std::vector<TFile>& files, int compressingThreads);
    ~TStreamsAhead();
    TStreamsAhead(const TStreamsAhead&) = delete;
    TStreamsAhead& operator=(const TStreamsAhead&) = delete;

    // The number of the file at hostPath that is compressed ahead and not yet claimed;
    // -1 for none. A claimed file is the claimer's alone.
    int64_t Claim(const std::string& hostPath);
    // The stream of a claimed file, once it is compressed. Raises what compressing it raised.
    TPackedFile Take(int64_t number);

private:
    struct TWork;
    std::unique_ptr<TWork> work_;
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
