// A power-cut simulator for tests. A recorder listens to the host's changes (host_hooks.h)
// in one directory while a run (an update, a build) goes on in this process, and keeps them
// in order: the writes with their bytes, the truncations, the flushes of files, and the
// creations, renames and removals of names with the flushes of the directory.
//
// A crash image is what the directory could hold after a power cut at any moment of the run.
// Content belongs to inodes, and a name points to an inode, so a renamed file carries what
// was written to it. Per inode, what its last flush (fsync) before the moment covered is on
// the disk; of the writes and truncations since, any subset reached it, applied in their
// order. A write that reached it may have been torn: only a prefix of it that ends at a
// 512-byte boundary of the file landed. A write past the file's end may instead have left
// the file grown to its end with zeros in place of its bytes, as file systems that write
// the size before the data do. A flush of a range of pages (FlushRangeAndForget) counts as
// no flush at all, since it leaves the file's size and its other metadata where they were.
// The names are those of the directory's last flush before the moment, then any prefix, in
// order, of the name changes made since, as a file system that journals its metadata in
// order may have committed some of them on its own.
//
// The images of a moment are counted: for small runs a test visits every one, for larger
// ones it draws them with a fixed seed.
#pragma once

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "hooks/host_test_hooks.h"
#include "support/host_entries.h"

namespace power_cut {

// One change a recorder keeps.
struct TStep {
    enum class Kind { Write, Truncate, FlushFile, Create, Rename, Remove, FlushDirectory };
    Kind kind = Kind::Write;
    int inode = -1;       // Write, Truncate, FlushFile, Create
    int64_t offset = 0;   // Write; Truncate: the size
    std::string bytes;    // Write
    std::string name;     // Create, Remove; Rename: the old name
    std::string to;       // Rename: the new name
};

// What a run did in its directory.
struct TRunLog {
    std::map<std::string, int> names;    // the directory at the start: name -> inode
    std::vector<std::string> contents;   // by inode: the content at the start ("" for a created file)
    std::vector<std::string> keptAs;     // by inode: a second name of a file of the start ("" for a created one)
    std::vector<TStep> steps;
    int unfollowed = 0;  // renames into or out of the directory, which the images cannot show
};

// Records the changes to the files of directory from its construction until Stop. Every file
// the directory starts with gets a second name in keep (another directory of the same file
// system), so that its inode, which a journal may name, outlives the run and serves the
// images (WriteImage).
class TRecorder final : public host::hooks::ChangeListener {
public:
    TRecorder(const std::string& directory, const std::string& keep);
    ~TRecorder();
    TRecorder(const TRecorder&) = delete;
    TRecorder& operator=(const TRecorder&) = delete;

    TRunLog Stop();

    void Changed(const host::hooks::ChangeDone& done) override;

private:
    int InodeOf(int fd) const;
    bool NameIn(const std::string& path, std::string& name) const;
    int NewInode(const host::FileIdentity& identity);

    std::string directory_;  // resolved
    TRunLog log_;
    std::map<std::string, int> live_;  // the names now
    std::map<std::pair<uint64_t, uint64_t>, int> inodes_;
    std::vector<host::FileIdentity> identities_;
    bool listening_ = false;
};

// A power cut: steps [0, at) had been made; fates holds, for each change to content made
// since the last flush of its file (in the order of the steps), how many of a write's bytes
// landed, or kGrownAsZeros (a truncation: 0 or 1); names is how many of the name changes
// since the directory's last flush reached the disk.
inline constexpr int64_t kGrownAsZeros = -1;

struct TCrash {
    size_t at = 0;
    std::vector<int64_t> fates;
    size_t names = 0;
};

// The files a crash leaves: name -> content.
using TFiles = std::map<std::string, std::string>;

// The crash images of one run.
class TCrashSpace {
public:
    explicit TCrashSpace(const TRunLog& log);

    size_t Moments() const { return log_.steps.size() + 1; }

    // The steps made before at that had not reached the disk there.
    struct TPending {
        std::vector<size_t> content;  // writes and truncations
        std::vector<size_t> names;    // creations, renames and removals
    };
    TPending PendingAt(size_t at) const;

    // The fates of a pending step: a write lands not at all, whole, or torn at a 512-byte
    // boundary of the file inside it (with every, at each such boundary; else at each when
    // there are at most three, or at the first, middle and last), and one that reaches past
    // the file's end (as the steps before it left it) may leave zeros; a truncation is made
    // or not.
    std::vector<int64_t> FatesOf(size_t step, bool every) const;

    // How many images the moment has: the product of its steps' fates (every boundary left
    // out) and its name prefixes; stops counting past limit.
    uint64_t ImagesAt(size_t at, uint64_t limit) const;

    // Every image of the moment (every tear counted as above), or, when there are more than
    // limit, limit of them drawn with rng.
    std::vector<TCrash> CrashesAt(size_t at, uint64_t limit, std::mt19937_64& rng) const;

    // One crash drawn at random: a moment, then every fate (a tear at any boundary).
    TCrash Draw(std::mt19937_64& rng) const;

    // The inodes the names of the crash point to, and their contents.
    struct TImage {
        std::map<std::string, int> names;
        std::map<int, std::string> contents;
    };
    TImage ImageOf(const TCrash& crash) const;

private:
    // The size of the step's file before it, every step before it made.
    int64_t SizeBefore(size_t index) const;

    const TRunLog& log_;
};

// The files of an image, by name.
TFiles FilesOf(const TCrashSpace::TImage& image);

// Puts the image into directory, which is empty: a file the run started with is its very
// inode again (through its second name in keep), with the image's content, so that a journal
// that names it finds it; any other is a new file.
void WriteImage(const TRunLog& log, const TCrashSpace::TImage& image, const std::string& directory);

// The regular files of a directory, by name.
TFiles ReadFiles(const std::string& directory);

}  // namespace power_cut
