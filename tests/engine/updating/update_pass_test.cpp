#include "engine/updating/internal/update_pass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "helpers/random_bytes.h"
#include "helpers/temp_dir.h"
#include "hooks/host_test_hooks.h"
#include "support/host_file.h"

namespace {

// A random file of a header and a data area, and a few of its data area's runs replaced by
// streams of other lengths behind a header of another length.
struct PassCase {
    int64_t oldHead = 0;
    TArrayOfByte before;
    std::vector<TArrayOfByte> streams;
    std::vector<TStreamReplacement> replacements;
    TArrayOfByte head;

    PassCase(std::mt19937& random, int64_t dataArea, int count) {
        auto pick = [&](int64_t low, int64_t high) { return std::uniform_int_distribution<int64_t>(low, high)(random); };
        oldHead = pick(10, 300);
        before = RandomBytes(static_cast<size_t>(oldHead + dataArea), random);
        std::vector<int64_t> cuts;
        for (int k = 0; k < 2 * count; ++k) cuts.push_back(pick(0, dataArea));
        std::sort(cuts.begin(), cuts.end());
        streams.reserve(static_cast<size_t>(count));
        for (int k = 0; k < count; ++k) {
            streams.push_back(RandomBytes(static_cast<size_t>(pick(1, 40000)), random));
            replacements.push_back({cuts[2 * k], cuts[2 * k + 1] - cuts[2 * k], TStreamBytes::Held(streams.back())});
        }
        head = RandomBytes(static_cast<size_t>(pick(10, 300)), random);
    }

    TPassPlan Plan() const {
        TPassPlan plan = PlanPass(oldHead, static_cast<int64_t>(before.size()) - oldHead,
                                  static_cast<int64_t>(head.size()), replacements);
        plan.head = head;
        return plan;
    }

    // The new file, put together from its parts.
    TArrayOfByte After() const {
        TArrayOfByte after = head;
        int64_t from = oldHead;
        for (const TStreamReplacement& r : replacements) {
            after.insert(after.end(), before.begin() + from, before.begin() + oldHead + r.offset);
            after.insert(after.end(), r.stream.HeldBytes().begin(), r.stream.HeldBytes().end());
            from = oldHead + r.offset + r.oldLength;
        }
        after.insert(after.end(), before.begin() + from, before.end());
        return after;
    }
};

// Remembers every range written or cut.
class WriteRecorder : public host::ChangeWatcher {
public:
    void BeforeChange(int64_t from, int64_t to) override { ranges.push_back({from, to}); }
    std::vector<TByteRange> ranges;
};

}  // namespace

// Both ways of writing a pass: saving what it changes first, and, on a disk with room for
// a quarter of the archive, rolling forward in pieces.
TEST(UpdatePass, WritesNoByteTwice) {
    std::mt19937 random(42);
    for (int trial = 0; trial < 8; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        const PassCase c(random, 9000000, 1 + trial % 4);
        const bool forward = trial % 2 == 1;
        host::hooks::StatedSpace space(forward ? std::optional<int64_t>(c.before.size() / 4) : std::nullopt);
        TempDir dir;
        const std::string path = dir / "data.pak";
        WriteFile(path, c.before);
        TArchiveUpdate update(path);
        HostFile file(path, HostFile::Mode::ReadWrite);
        WriteRecorder recorder;
        file.SetChangeWatcher(&recorder);
        const TPassPlan plan = c.Plan();
        RunPass(file, plan, update, TPassRole::Last);
        file.Close();
        update.Commit();

        std::vector<TByteRange> written;
        for (const TByteRange& range : recorder.ranges)
            if (range.from < plan.finalSize) written.push_back({range.from, std::min(range.to, plan.finalSize)});
        std::sort(written.begin(), written.end(), [](const TByteRange& a, const TByteRange& b) { return a.from < b.from; });
        for (size_t k = 1; k < written.size(); ++k) ASSERT_LE(written[k - 1].to, written[k].from);
        // Written once, and the file ends as planned: each write put the final bytes.
        ASSERT_EQ(ReadFileBytes(path), c.After());
    }
}

TEST(UpdatePass, ChangedRangesCoverEveryWriteAndTheCut) {
    std::mt19937 random(43);
    for (int trial = 0; trial < 20; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        const PassCase c(random, 200000, 1 + trial % 3);
        TempDir dir;
        const std::string path = dir / "data.pak";
        WriteFile(path, c.before);
        const TPassPlan plan = c.Plan();
        const std::vector<TByteRange> changed = plan.ChangedRanges(static_cast<int64_t>(c.before.size()));
        TArchiveUpdate update(path);
        HostFile file(path, HostFile::Mode::ReadWrite);
        WriteRecorder recorder;
        file.SetChangeWatcher(&recorder);
        RunPass(file, plan, update, TPassRole::Intermediate);
        file.Close();
        update.Commit();
        for (const TByteRange& range : recorder.ranges) {
            const int64_t from = range.from;
            const int64_t to = std::min<int64_t>(range.to, static_cast<int64_t>(c.before.size()));
            if (from >= to) continue;  // wholly behind the old end
            const bool covered = std::any_of(changed.begin(), changed.end(),
                                             [&](const TByteRange& r) { return r.from <= from && to <= r.to; });
            ASSERT_TRUE(covered) << "write of [" << from << ", " << to << ") outside the changed ranges";
        }
    }
}

TEST(UpdatePass, SourceOfGivesEveryByteThePassLeaves) {
    std::mt19937 random(44);
    for (int trial = 0; trial < 10; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        const PassCase c(random, 100000, 1 + trial % 4);
        const TPassPlan plan = c.Plan();
        const TArrayOfByte after = c.After();
        ASSERT_EQ(plan.finalSize, static_cast<int64_t>(after.size()));
        for (int64_t p = 0; p < plan.finalSize; ++p) {
            const TByteSource source = plan.SourceOf(p);
            const uint8_t byte = source.fromArchive ? c.before[static_cast<size_t>(source.position)] : source.value;
            ASSERT_EQ(byte, after[static_cast<size_t>(p)]) << "at " << p;
        }
    }
}
