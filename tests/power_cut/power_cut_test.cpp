// Power cuts at every moment of updates and builds (the simulator of hooks/power_cut.h): each
// run is recorded in this process, and every crash image it allows is put in a directory of
// its own and opened the way a reader opens an archive, which recovers what the cut left.
// Then the directory must hold the old archive or the new one and nothing beside it, no
// recovery may leave or refuse anything, and an image taken once the run had reported its
// success must hold the new archive. The recovery itself is recorded and cut in its turn:
// every image of a power cut during it must recover to what the whole recovery gave.
//
// Small runs visit every image of every moment (tears at up to three 512-byte boundaries of
// each write); a moment with more images than kImagesPerMoment would have that many drawn
// instead. The larger run draws kDrawnImages images, and cuts the recovery of every
// kRecoveriesCutEvery-th one it recovers. Every draw comes from kSeed, printed with the
// counts. Images with the same files are recovered once.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>

#include "engine/building/archive_builder.h"
#include "engine/editing/archive_edit.h"
#include "engine/editing/archive_sync.h"
#include "engine/updating/archive_update.h"
#include "engine/reading/internal/archive_reading.h"
#include "engine/updating/internal/journal_recovery.h"
#include "engine/updating/internal/replace_batch.h"
#include "engine/building/internal/staging_file.h"
#include "engine/updating/replace_batch.h"
#include "helpers/archive_probe.h"
#include "helpers/archive_writer.h"
#include "helpers/random_bytes.h"
#include "helpers/temp_dir.h"
#include "hooks/host_test_hooks.h"
#include "hooks/power_cut.h"
#include "support/errors.h"
#include "support/host_entries.h"
#include "support/host_file.h"
#include "support/sha1.h"
#include "helpers/operation_results.h"

namespace fs = std::filesystem;

namespace {

using power_cut::TCrash;
using power_cut::TCrashSpace;
using power_cut::TFiles;
using power_cut::TRecorder;
using power_cut::TRunLog;

constexpr uint64_t kSeed = 20261208;
constexpr uint64_t kImagesPerMoment = 4096;
constexpr int kDrawnImages = 12000;
// Of the images the larger run recovers, those whose recovery is cut in its turn.
constexpr uint64_t kRecoveriesCutEvery = 5;
// A recovery that rolls forward moves pieces, each with its flushes: cutting it offers many
// more images, so fewer of them are cut.
constexpr uint64_t kForwardRecoveriesCutEvery = 100;
const char* const kArchiveName = "data.pak";
// Free space the runs that roll forward are told of: their journals hold pieces of a few
// sectors, so that a small archive's data area moves in several of them.
constexpr int64_t kSmallDiskSpace = 4096;
constexpr int64_t kLargerDiskSpace = 128 * 1024;

std::string Text(size_t n, uint32_t seed) {
    static const char* const kWords[] = {"the ", "quest ", "of ", "Veldane ", "begins ", "at ", "dawn. ", "\r\n"};
    std::mt19937 rng(seed);
    std::string out;
    while (out.size() < n) out += kWords[rng() % 8];
    out.resize(n);
    return out;
}

TArrayOfByte TextBytes(size_t n, uint32_t seed) { return Bytes(Text(n, seed)); }

// A few small files: each write of a run spans at most a few 512-byte sectors.
TestFolder SmallTree() {
    TestFolder root;
    root.folders.push_back({"a", {}, {{"one.bin", RandomBytes(1500, 1)}, {"two.txt", TextBytes(900, 2)}}});
    root.folders.push_back({"b", {}, {{"three.bin", RandomBytes(1200, 3)}}});
    root.files = {{"four.bin", RandomBytes(700, 4)}};
    return root;
}

// Twenty files in four folders, about 150 kB.
TestFolder LargerTree() {
    TestFolder root;
    for (int f = 0; f < 4; ++f) {
        TestFolder folder{"f" + std::to_string(f), {}, {}};
        for (int i = 0; i < 5; ++i) {
            const uint32_t seed = static_cast<uint32_t>(100 + 10 * f + i);
            if (i % 2 == 0) folder.files.push_back({"file" + std::to_string(i) + ".bin", RandomBytes(6000 + 1500 * i, seed)});
            else folder.files.push_back({"file" + std::to_string(i) + ".txt", TextBytes(9000, seed)});
        }
        root.folders.push_back(folder);
    }
    return root;
}

// Flushes left out while images are recovered: on this kind of disk each costs milliseconds.
struct TFlushesSkipped {
    TFlushesSkipped() { host::hooks::SkipFlushes(true); }
    ~TFlushesSkipped() { host::hooks::SkipFlushes(false); }
};

// A digest of an image's files, so that equal images are recovered once.
std::string DigestOf(const TFiles& files) {
    TSha1Stream digest;
    for (const auto& [name, content] : files) {
        const uint64_t size = content.size();
        digest.Update(name.data(), name.size() + 1);
        digest.Update(&size, sizeof size);
        digest.Update(content.data(), content.size());
    }
    const TSha1Digest value = digest.Digest();
    return std::string(value.begin(), value.end());
}

std::string Describe(const TFiles& files) {
    std::ostringstream out;
    for (const auto& [name, content] : files) out << " " << name << " (" << content.size() << " bytes)";
    return files.empty() ? " nothing" : out.str();
}

const char* KindName(power_cut::TStep::Kind kind) {
    using Kind = power_cut::TStep::Kind;
    switch (kind) {
        case Kind::Write: return "write";
        case Kind::Truncate: return "truncate";
        case Kind::FlushFile: return "flush file";
        case Kind::Create: return "create";
        case Kind::Rename: return "rename";
        case Kind::Remove: return "remove";
        case Kind::FlushDirectory: return "flush directory";
    }
    return "?";
}

// The steps of a run, one a line, for a failure's message.
std::string DescribeSteps(const TRunLog& log) {
    std::ostringstream out;
    for (size_t i = 0; i < log.steps.size(); ++i) {
        const power_cut::TStep& step = log.steps[i];
        out << "  " << i << ": " << KindName(step.kind);
        if (step.inode >= 0) out << " inode " << step.inode;
        if (step.kind == power_cut::TStep::Kind::Write) out << " at " << step.offset << ", " << step.bytes.size() << " bytes";
        if (step.kind == power_cut::TStep::Kind::Truncate) out << " to " << step.offset;
        if (!step.name.empty()) out << " " << step.name;
        if (!step.to.empty()) out << " -> " << step.to;
        out << "\n";
    }
    return out.str();
}

struct TTally {
    uint64_t images = 0;    // checked, equal ones counted each time
    uint64_t distinct = 0;  // recovered
    uint64_t old = 0;
    uint64_t fresh = 0;
    uint64_t recoveryCuts = 0;  // images of a recovery cut in its turn
    uint64_t sampledMoments = 0;  // moments with more than kImagesPerMoment images, drawn
};

void ClearDirectory(const std::string& directory) {
    for (const auto& entry : fs::directory_iterator(directory)) fs::remove(entry.path());
}

// Recovers crash images of one run and judges what recovery leaves. The recovery of every
// cutEvery-th image recovered (none: 0) is recorded in its turn, and every image of a power
// cut during it must recover to what the uninterrupted recovery gave.
class TImageJudge {
public:
    TImageJudge(const TRunLog& log, TFiles before, TFiles after, std::string root, uint64_t cutEvery)
        : log_(log),
          space_(log),
          before_(std::move(before)),
          after_(std::move(after)),
          images_(root + "/image"),
          keep_(root + "/keep-recovery"),
          cutEvery_(cutEvery) {
        fs::create_directory(images_);
        fs::create_directory(keep_);
    }

    const TCrashSpace& Space() const { return space_; }

    // "" when the image of the crash recovers to the old or the new archive as it must;
    // otherwise what went wrong.
    std::string Judge(const TCrash& crash, TTally& tally) {
        const TCrashSpace::TImage image = space_.ImageOf(crash);
        const TFiles files = power_cut::FilesOf(image);
        const std::string digest = DigestOf(files);
        ++tally.images;
        auto seen = outcomes_.find(digest);
        if (seen == outcomes_.end()) {
            ++tally.distinct;
            const bool cut = cutEvery_ > 0 && tally.distinct % cutEvery_ == 0;
            std::string failure;
            TRunLog recovery;
            const std::optional<bool> fresh = Recover(log_, image, failure, cut ? &recovery : nullptr);
            if (!fresh) return Explain(crash, files, failure);
            seen = outcomes_.emplace(digest, *fresh).first;
            if (cut) {
                failure = CutRecovery(recovery, *fresh, tally);
                if (!failure.empty()) return Explain(crash, files, failure);
            }
        }
        (seen->second ? tally.fresh : tally.old) += 1;
        if (crash.at == log_.steps.size() && !seen->second)
            return Explain(crash, files, "the run had reported its success, and recovery gave the old archive");
        return "";
    }

private:
    // Whether recovery gave the new archive (false: the old one); none, with failure, when it
    // gave neither or left or refused something. With recorded, what recovery did is kept.
    std::optional<bool> Recover(const TRunLog& log, const TCrashSpace::TImage& image, std::string& failure,
                                TRunLog* recorded) {
        power_cut::WriteImage(log, image, images_);
        const std::string archive = images_ + "/" + kArchiveName;
        std::unique_ptr<TRecorder> recorder;
        if (recorded != nullptr) {
            ClearDirectory(keep_);
            recorder = std::make_unique<TRecorder>(images_, keep_);
        }
        TNotices notices;
        try {
            { const TArchiveReading reading(archive, &notices); }
            // No archive to open: the next build of it removes what a cut build left.
            if (!host::NameExists(archive)) {
                RecoverArchive(archive, &notices);
                RemoveLeftOverBuild(archive, &notices);
            }
        } catch (const std::exception& error) {
            failure = std::string("recovery raised: ") + error.what();
        }
        if (recorder) *recorded = recorder->Stop();
        const TFiles recovered = power_cut::ReadFiles(images_);
        ClearDirectory(images_);
        if (!failure.empty()) return std::nullopt;
        for (const TNotice& notice : notices) failure += notice.text + "; ";
        if (!failure.empty()) {
            failure = "recovery told: " + failure;
            return std::nullopt;
        }
        if (recovered == after_) return true;
        if (recovered == before_) return false;
        failure = "recovery left" + Describe(recovered) + ", neither the old archive (" + Describe(before_) +
                  ") nor the new one (" + Describe(after_) + ")";
        return std::nullopt;
    }

    // Every image of a power cut during a recovery that gave fresh (the new archive, or the
    // old) must recover to the same.
    std::string CutRecovery(const TRunLog& recovery, bool fresh, TTally& tally) {
        const TCrashSpace space(recovery);
        for (size_t at = 0; at < space.Moments(); ++at) {
            for (const TCrash& crash : space.CrashesAt(at, kImagesPerMoment, rng_)) {
                const TCrashSpace::TImage image = space.ImageOf(crash);
                const TFiles files = power_cut::FilesOf(image);
                const std::string digest = DigestOf(files);
                ++tally.recoveryCuts;
                auto seen = outcomes_.find(digest);
                if (seen == outcomes_.end()) {
                    std::string failure;
                    const std::optional<bool> again = Recover(recovery, image, failure, nullptr);
                    if (!again) return "after a power cut during its recovery at " + Moment(crash, recovery) + ", " + failure;
                    seen = outcomes_.emplace(digest, *again).first;
                }
                if (seen->second != fresh)
                    return "a power cut during its recovery at " + Moment(crash, recovery) + " turned the " +
                           (fresh ? "new" : "old") + " archive into the " + (fresh ? "old" : "new") + " one";
            }
        }
        return "";
    }

    static std::string Moment(const TCrash& crash, const TRunLog& log) {
        std::ostringstream out;
        out << "step " << crash.at << " of " << log.steps.size() << " (fates";
        for (int64_t fate : crash.fates) out << " " << fate;
        out << "; " << crash.names << " pending name changes landed); the recovery's steps:\n" << DescribeSteps(log);
        return out.str();
    }

    std::string Explain(const TCrash& crash, const TFiles& files, const std::string& failure) const {
        std::ostringstream out;
        out << "power cut after " << crash.at << " of " << log_.steps.size() << " steps; fates";
        for (int64_t fate : crash.fates) out << " " << fate;
        out << "; " << crash.names << " pending name changes landed; the image held" << Describe(files) << ": "
            << failure << "\nsteps:\n"
            << DescribeSteps(log_);
        return out.str();
    }

    const TRunLog& log_;
    TCrashSpace space_;
    TFiles before_;
    TFiles after_;
    std::string images_;
    std::string keep_;  // second names of the files of an image whose recovery is recorded
    uint64_t cutEvery_;
    std::mt19937_64 rng_{kSeed};
    std::map<std::string, bool> outcomes_;  // by digest: whether the image recovered to the new archive
};

// One run to cut: the archive it starts from (none: nullopt) and what it does to it.
struct TRun {
    std::string name;
    std::optional<TestFolder> start;
    std::function<void(const std::string& archive)> action;
    // What an interrupted update of the start left in the directory before the run (none:
    // nothing); the old archive is still the start, which recovery makes of it.
    std::function<void(const std::string& directory)> interrupted = {};
};

// Where a run happens: its directory, the second names of its files, and the images.
struct TPlace {
    TempDir root;
    std::string run = root / "run";
    std::string keep = root / "keep";

    TPlace() {
        fs::create_directory(run);
        fs::create_directory(keep);
    }
};

struct TRecorded {
    TRunLog log;
    TFiles before;
    TFiles after;
};

TRecorded Record(const TRun& run, const TPlace& place) {
    const std::string archive = place.run + "/" + kArchiveName;
    if (run.start) WriteFile(archive, EncodedArchive(*run.start));
    TRecorded recorded;
    recorded.before = power_cut::ReadFiles(place.run);
    if (run.interrupted) run.interrupted(place.run);
    TRecorder recorder(place.run, place.keep);
    run.action(archive);
    recorded.log = recorder.Stop();
    recorded.after = power_cut::ReadFiles(place.run);
    return recorded;
}

void Report(const std::string& name, const TRecorded& recorded, const TTally& tally, const char* how) {
    std::cout << "power cuts of " << name << ": " << recorded.log.steps.size() << " steps";
    if (tally.sampledMoments > 0) std::cout << " (" << tally.sampledMoments << " moments drawn from)";
    std::cout << ", " << tally.images << " images " << how << " (" << tally.distinct << " distinct); recovered to the old archive "
              << tally.old << ", to the new " << tally.fresh << "; " << tally.recoveryCuts
              << " images of recoveries cut in their turn; seed " << kSeed << std::endl;
    ::testing::Test::RecordProperty("seed", std::to_string(kSeed));
    ::testing::Test::RecordProperty("images", std::to_string(tally.images));
}

void ExpectSoundRecording(const TRecorded& recorded) {
    ASSERT_NE(recorded.before, recorded.after) << "the run changed nothing";
    ASSERT_EQ(recorded.log.unfollowed, 0) << "a file was renamed into or out of the run's directory";
    ASSERT_EQ(recorded.after.size(), 1u) << "the run left" << Describe(recorded.after);
}

// Writes bytes into file from its start and cuts it there.
void WriteAll(HostFile& file, const TArrayOfByte& bytes) {
    file.Seek(0);
    file.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
    file.Truncate();
}

// Every image of every moment of the run: the first that fails, "" when none does.
std::string FirstFailureOfEveryCut(const TRun& run, TTally& tally) {
    const TPlace place;
    const TRecorded recorded = Record(run, place);
    ExpectSoundRecording(recorded);
    if (::testing::Test::HasFatalFailure()) return "the run failed";
    const TFlushesSkipped skipped;
    TImageJudge judge(recorded.log, recorded.before, recorded.after, place.root.Path(), 1);
    std::mt19937_64 rng(kSeed);
    for (size_t at = 0; at < judge.Space().Moments(); ++at) {
        tally.sampledMoments += judge.Space().ImagesAt(at, kImagesPerMoment) > kImagesPerMoment ? 1 : 0;
        for (const TCrash& crash : judge.Space().CrashesAt(at, kImagesPerMoment, rng)) {
            std::string failure = judge.Judge(crash, tally);
            if (!failure.empty()) return failure;
        }
    }
    Report(run.name, recorded, tally, "enumerated");
    return "";
}

void CutEverywhere(const TRun& run) {
    TTally tally;
    EXPECT_EQ(FirstFailureOfEveryCut(run, tally), "");
    EXPECT_GT(tally.old, 0u);
    EXPECT_GT(tally.fresh, 0u);
}

// kDrawnImages images drawn at random moments, and every image of the last moment.
void CutAtRandom(const TRun& run, uint64_t recoveriesCutEvery = kRecoveriesCutEvery) {
    const TPlace place;
    const TRecorded recorded = Record(run, place);
    ExpectSoundRecording(recorded);
    if (::testing::Test::HasFatalFailure()) return;
    const TFlushesSkipped skipped;
    TImageJudge judge(recorded.log, recorded.before, recorded.after, place.root.Path(), recoveriesCutEvery);
    std::mt19937_64 rng(kSeed);
    TTally tally;
    for (int n = 0; n < kDrawnImages; ++n) {
        const std::string failure = judge.Judge(judge.Space().Draw(rng), tally);
        ASSERT_EQ(failure, "");
    }
    for (const TCrash& crash : judge.Space().CrashesAt(judge.Space().Moments() - 1, kImagesPerMoment, rng)) {
        const std::string failure = judge.Judge(crash, tally);
        ASSERT_EQ(failure, "");
    }
    Report(run.name, recorded, tally, "drawn");
    EXPECT_GE(tally.images, static_cast<uint64_t>(kDrawnImages));
    EXPECT_GT(tally.old, 0u);
    EXPECT_GT(tally.fresh, 0u);
}

// The files runs take their new content from, outside the runs' directories.
class PowerCutTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sources_ = std::make_unique<TempDir>();
        const TempDir& s = *sources_;
        WriteFile(s / "longer.bin", RandomBytes(2600, 11));
        WriteFile(s / "same.bin", RandomBytes(1500, 21));
        // Sizes that change the compressed directory's length, so the whole data area moves.
        WriteFile(s / "many/a/two.txt", TextBytes(3900, 12));
        WriteFile(s / "many/b/three.bin", RandomBytes(10, 13));
        WriteFile(s / "many/four.bin", RandomBytes(300, 14));
        WriteFile(s / "tree/x.bin", RandomBytes(1800, 15));
        WriteFile(s / "tree/a/two.txt", TextBytes(900, 2));
        WriteFile(s / "tree/c/y.txt", TextBytes(1300, 16));
        WriteFile(s / "larger/f0/file0.bin", RandomBytes(9000, 17));
        WriteFile(s / "larger/f1/file1.txt", TextBytes(20000, 18));
        WriteFile(s / "larger/f2/file2.bin", RandomBytes(4000, 19));
        WriteFile(s / "larger/f3/file4.bin", RandomBytes(12000, 20));
    }

    static void TearDownTestSuite() { sources_.reset(); }

public:
    static std::string Source(const std::string& relative) { return *sources_ / relative; }

private:
    static std::unique_ptr<TempDir> sources_;
};

std::unique_ptr<TempDir> PowerCutTest::sources_;

void Replace(const std::string& archive, const std::string& file, const std::string& entry) {
    ASSERT_TRUE(ReplaceOneFile({.archivePath = archive, .filePath = file, .key = entry, .convertLoc = false}).ok);
}

void ReplaceDir(const std::string& archive, const std::string& folder) {
    int32_t count = 0;
    ASSERT_TRUE(Replaced(ReplaceFromDirectory({.archivePath = archive, .sourceDir = folder, .convertLoc = false}), count));
}

// With every new stream parked in the journal as soon as it is compressed.
void ReplaceDirParking(const std::string& archive, const std::string& folder) {
    int32_t count = 0;
    ASSERT_TRUE(Replaced(ReplaceFromDirectoryHolding({.archivePath = archive, .sourceDir = folder, .convertLoc = false}, 0), count));
}

void Make(const std::string& archive, const std::string& folder) {
    int32_t folders = 0;
    int32_t files = 0;
    ASSERT_TRUE(Made(MakeArchive({.sourceDir = folder, .archivePath = archive, .convertLoc = false}), folders, files));
}

// Puts into directory, in place of its archive (the small tree's), what a power cut left
// right after the first write to the archive of a replacement by file: its sealed journal
// and the archive partly changed, the very inode the journal names.
void LeaveInterruptedReplacement(const std::string& directory, const std::string& file) {
    const TPlace first;
    const std::string archive = first.run + "/" + kArchiveName;
    WriteFile(archive, EncodedArchive(SmallTree()));
    TRecorder recorder(first.run, first.keep);
    Replace(archive, file, "a\\one.bin");
    const TRunLog log = recorder.Stop();
    const int archiveInode = log.names.at(kArchiveName);
    size_t at = 0;
    while (at < log.steps.size() &&
           !(log.steps[at].kind == power_cut::TStep::Kind::Write && log.steps[at].inode == archiveInode))
        ++at;
    ASSERT_LT(at, log.steps.size()) << "the replacement never wrote to the archive";
    const TCrashSpace space(log);
    TCrash crash;
    crash.at = at + 1;
    const TCrashSpace::TPending pending = space.PendingAt(crash.at);
    for (size_t step : pending.content) crash.fates.push_back(static_cast<int64_t>(log.steps[step].bytes.size()));
    crash.names = pending.names.size();
    fs::remove(directory + "/" + kArchiveName);
    power_cut::WriteImage(log, space.ImageOf(crash), directory);
    const TFiles left = power_cut::ReadFiles(directory);
    ASSERT_EQ(left.size(), 2u) << "no journal beside the archive:" << Describe(left);
    const TArrayOfByte start = EncodedArchive(SmallTree());
    ASSERT_NE(left.at(kArchiveName), std::string(start.begin(), start.end())) << "the archive is unchanged";
}

// Every small run, each cut at every moment.
TRun ReplaceRun(const char* name, const char* file) {
    return {name, SmallTree(), [file](const std::string& a) { Replace(a, PowerCutTest::Source(file), "a\\one.bin"); }};
}

std::vector<TRun> SmallRuns() {
    const auto make = [](const std::string& a) { Make(a, PowerCutTest::Source("tree")); };
    const auto interrupted = [](const std::string& d) { LeaveInterruptedReplacement(d, PowerCutTest::Source("longer.bin")); };
    TRun afterInterrupted = ReplaceRun("replace after an interrupted update", "same.bin");
    afterInterrupted.interrupted = interrupted;
    return {
        ReplaceRun("replace", "longer.bin"),
        ReplaceRun("replace, same length", "same.bin"),
        {"replace-dir", SmallTree(), [](const std::string& a) { ReplaceDir(a, PowerCutTest::Source("many")); }},
        {"replace-dir rolling forward", SmallTree(),
         [](const std::string& a) {
             const host::hooks::StatedSpace nearlyFull(kSmallDiskSpace);
             ReplaceDir(a, PowerCutTest::Source("many"));
         }},
        {"replace-dir parking every stream", SmallTree(),
         [](const std::string& a) { ReplaceDirParking(a, PowerCutTest::Source("many")); }},
        {"replace-dir parking every stream, rolling forward", SmallTree(),
         [](const std::string& a) {
             const host::hooks::StatedSpace nearlyFull(kSmallDiskSpace);
             ReplaceDirParking(a, PowerCutTest::Source("many"));
         }},
        {"replace rolling forward", SmallTree(),
         [](const std::string& a) {
             const host::hooks::StatedSpace nearlyFull(kSmallDiskSpace);
             Replace(a, PowerCutTest::Source("longer.bin"), "a\\one.bin");
         }},
        {"make over an archive", SmallTree(), make},
        {"make", std::nullopt, make},
        {"add", SmallTree(),
         [](const std::string& a) {
             TEditCounts counts;
             ASSERT_TRUE(Edited(AddToArchive({false, a, {PowerCutTest::Source("tree/x.bin")}, "b", false, nullptr, nullptr}), counts));
         }},
        {"remove", SmallTree(),
         [](const std::string& a) {
             TEditCounts counts;
             ASSERT_TRUE(Edited(RemoveFromArchive({false, a, {"a\\one.bin"}, nullptr, nullptr}), counts));
         }},
        {"sync", SmallTree(),
         [](const std::string& a) {
             TSyncResult result;
             ASSERT_TRUE(Synced(SyncArchiveWithFolder({false, a, PowerCutTest::Source("tree"), false, false, nullptr, nullptr}), result));
         }},
        {"make over an interrupted update", SmallTree(), make, interrupted},
        afterInterrupted,
    };
}

}  // namespace

TEST_F(PowerCutTest, EverySmallRunLeavesTheOldOrTheNewArchiveWhereverItIsCut) {
    for (const TRun& run : SmallRuns()) {
        SCOPED_TRACE(run.name);
        CutEverywhere(run);
        if (HasFatalFailure()) return;
    }
}

TEST_F(PowerCutTest, TheReplaceDirRunMovesTheDataArea) {
    const TArrayOfByte before = EncodedArchive(SmallTree());
    TempDir dir;
    WriteFile(dir / kArchiveName, before);
    ReplaceDir(dir / kArchiveName, Source("many"));
    EXPECT_NE(ProbeHeaderSize(ReadFileBytes(dir / kArchiveName)), ProbeHeaderSize(before))
        << "the directory keeps its length: the data area does not move";
}

TEST_F(PowerCutTest, LargerReplaceDirLeavesTheOldOrTheNewArchiveInEveryDrawnImage) {
    CutAtRandom({"a larger replace-dir", LargerTree(), [](const std::string& a) { ReplaceDir(a, Source("larger")); }});
}

TEST_F(PowerCutTest, LargerReplaceDirRollingForwardLeavesTheOldOrTheNewArchiveInEveryDrawnImage) {
    CutAtRandom({"a larger replace-dir rolling forward", LargerTree(), [](const std::string& a) {
                     const host::hooks::StatedSpace nearlyFull(kLargerDiskSpace);
                     ReplaceDir(a, Source("larger"));
                 }},
                kForwardRecoveriesCutEvery);
}

namespace {

// Ways of writing an archive that a power cut tears, and the judge must catch.
struct UnsafeWrite {
    const char* mistake;
    std::function<void(const std::string& archive)> action;
};

TArrayOfByte OtherArchive() {
    TestFolder tree = SmallTree();
    tree.files.push_back({"five.bin", RandomBytes(2000, 5)});
    return EncodedArchive(tree);
}

const UnsafeWrite kUnsafeWrites[] = {
    {"the new archive written in place without a journal",
     [](const std::string& archive) {
         HostFile file(archive, HostFile::Mode::ReadWrite);
         WriteAll(file, OtherArchive());
         file.Flush();
     }},
    {"a new file renamed over the archive before it was flushed",
     [](const std::string& archive) {
         HostFile file(archive + ".vpak-new", HostFile::Mode::CreateNew);
         WriteAll(file, OtherArchive());
         host::Rename(archive + ".vpak-new", archive);
         host::FlushDirectoryOf(archive);
         file.Flush();
     }},
    {"a new file renamed over the archive, its directory never flushed",
     [](const std::string& archive) {
         HostFile file(archive + ".vpak-new", HostFile::Mode::CreateNew);
         WriteAll(file, OtherArchive());
         file.Flush();
         host::Rename(archive + ".vpak-new", archive);
     }},
};

}  // namespace

TEST(PowerCutJudge, CatchesEveryUnsafeWayOfWritingAnArchive) {
    for (const UnsafeWrite& unsafe : kUnsafeWrites) {
        SCOPED_TRACE(unsafe.mistake);
        TTally tally;
        EXPECT_NE(FirstFailureOfEveryCut({unsafe.mistake, SmallTree(), unsafe.action}, tally), "");
    }
}
