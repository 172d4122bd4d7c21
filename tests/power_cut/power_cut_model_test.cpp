// The power-cut simulator itself (hooks/power_cut.h): what the images of the last moment of
// a short run of host operations may hold, for each rule of the model.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>
#include <set>

#include "helpers/temp_dir.h"
#include "hooks/power_cut.h"
#include "support/host_entries.h"
#include "support/host_file.h"

namespace {

using power_cut::TFiles;

const std::string kA(1024, 'a');
const std::string kB(1024, 'b');

void Put(HostFile& file, int64_t at, const std::string& bytes) {
    file.Seek(at);
    file.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
}

struct ModelCase {
    const char* rule;
    TFiles start;
    std::function<void(const std::string& dir)> run;
    std::set<TFiles> images;  // every image the last moment allows
};

const ModelCase kCases[] = {
    {"a write not flushed lands whole, torn at a sector boundary or not at all",
     {{"f", kA}},
     [](const std::string& d) {
         HostFile f(d + "/f", HostFile::Mode::ReadWrite);
         Put(f, 0, kB);
     },
     {{{"f", kA}}, {{"f", kB.substr(0, 512) + kA.substr(512)}}, {{"f", kB}}}},
    {"a write past the end not flushed may leave the file grown with zeros",
     {{"f", std::string(100, 'a')}},
     [](const std::string& d) {
         HostFile f(d + "/f", HostFile::Mode::ReadWrite);
         Put(f, 100, std::string(100, 'b'));
     },
     {{{"f", std::string(100, 'a')}},
      {{"f", std::string(100, 'a') + std::string(100, 'b')}},
      {{"f", std::string(100, 'a') + std::string(100, '\0')}}}},
    {"a flushed write is all there is",
     {{"f", kA}},
     [](const std::string& d) {
         HostFile f(d + "/f", HostFile::Mode::ReadWrite);
         Put(f, 0, kB);
         f.Flush();
     },
     {{{"f", kB}}}},
    {"a write tears only at a boundary of the file, not of the write",
     {{"f", kA}},
     [](const std::string& d) {
         HostFile f(d + "/f", HostFile::Mode::ReadWrite);
         Put(f, 500, std::string(20, 'b'));
     },
     {{{"f", kA}}, {{"f", kA.substr(0, 500) + std::string(12, 'b') + kA.substr(512)}},
      {{"f", kA.substr(0, 500) + std::string(20, 'b') + kA.substr(520)}}}},
    {"a range flushed and forgotten counts as no flush",
     {{"f", kA}},
     [](const std::string& d) {
         HostFile f(d + "/f", HostFile::Mode::ReadWrite);
         Put(f, 0, std::string(100, 'b'));
         f.FlushRangeAndForget(0, 100);
     },
     {{{"f", kA}}, {{"f", std::string(100, 'b') + kA.substr(100)}}}},
    {"a cut not flushed is made or not",
     {{"f", kA}},
     [](const std::string& d) {
         HostFile f(d + "/f", HostFile::Mode::ReadWrite);
         f.Seek(100);
         f.Truncate();
     },
     {{{"f", kA}}, {{"f", kA.substr(0, 100)}}}},
    {"a file created over an existing one is cut, the cut and the writes after it landing or not",
     {{"f", kA}},
     [](const std::string& d) {
         HostFile f(d + "/f", HostFile::Mode::Create);
         Put(f, 0, "x");
     },
     {{{"f", kA}}, {{"f", "x" + kA.substr(1)}}, {{"f", ""}}, {{"f", "x"}}, {{"f", std::string(1, '\0')}}}},
    {"a created file appears once its directory is flushed",
     {},
     [](const std::string& d) {
         HostFile f(d + "/n", HostFile::Mode::CreateNew);
         Put(f, 0, "x");
         f.Flush();
         host::FlushDirectoryOf(d + "/n");
     },
     {{{"n", "x"}}}},
    {"a created file whose directory is not flushed may be missing",
     {},
     [](const std::string& d) {
         HostFile f(d + "/n", HostFile::Mode::CreateNew);
         Put(f, 0, "x");
         f.Flush();
     },
     {{}, {{"n", "x"}}}},
    {"a renamed file carries its content, and its old name is gone once flushed",
     {{"f", "old"}},
     [](const std::string& d) {
         HostFile t(d + "/t", HostFile::Mode::CreateNew);
         Put(t, 0, "new");
         t.Flush();
         host::Rename(d + "/t", d + "/f");
         host::FlushDirectoryOf(d + "/f");
     },
     {{{"f", "new"}}}},
    {"name changes not flushed land in order, a prefix of them",
     {{"f", "old"}},
     [](const std::string& d) {
         HostFile t(d + "/t", HostFile::Mode::CreateNew);
         Put(t, 0, "new");
         t.Flush();
         host::Rename(d + "/t", d + "/f");
     },
     {{{"f", "old"}}, {{"f", "old"}, {"t", "new"}}, {{"f", "new"}}}},
    {"a removed file is gone once its directory is flushed",
     {{"f", "old"}, {"g", "kept"}},
     [](const std::string& d) {
         host::RemoveFile(d + "/f");
         host::FlushDirectoryOf(d + "/f");
     },
     {{{"g", "kept"}}}},
};

// Names the rule where gtest would dump the case's bytes.
void PrintTo(const ModelCase& c, std::ostream* out) { *out << c.rule; }

class PowerCutModel : public ::testing::TestWithParam<ModelCase> {};

}  // namespace

TEST_P(PowerCutModel, TheLastMomentAllowsExactlyTheImagesOfTheRule) {
    const ModelCase& c = GetParam();
    TempDir root;
    const std::string dir = root / "run";
    const std::string keep = root / "keep";
    std::filesystem::create_directory(dir);
    std::filesystem::create_directory(keep);
    for (const auto& [name, content] : c.start) WriteFile(dir + "/" + name, content);
    power_cut::TRecorder recorder(dir, keep);
    c.run(dir);
    const power_cut::TRunLog log = recorder.Stop();
    const power_cut::TCrashSpace space(log);
    std::mt19937_64 rng(1);
    std::set<TFiles> images;
    for (const power_cut::TCrash& crash : space.CrashesAt(space.Moments() - 1, 1000, rng))
        images.insert(power_cut::FilesOf(space.ImageOf(crash)));
    EXPECT_EQ(images, c.images);
    // The first moment is the start.
    for (const power_cut::TCrash& crash : space.CrashesAt(0, 1000, rng))
        EXPECT_EQ(power_cut::FilesOf(space.ImageOf(crash)), c.start);
}

TEST(PowerCutImages, AnImageOfAFileOfTheStartIsItsVeryInode) {
    TempDir root;
    const std::string dir = root / "run";
    const std::string keep = root / "keep";
    const std::string image = root / "image";
    for (const std::string& d : {dir, keep, image}) std::filesystem::create_directory(d);
    WriteFile(dir + "/f", kA);
    const host::FileIdentity original = host::Stat(dir + "/f").identity;
    power_cut::TRecorder recorder(dir, keep);
    {
        HostFile t(dir + "/t", HostFile::Mode::CreateNew);
        Put(t, 0, "new");
    }
    const power_cut::TRunLog log = recorder.Stop();
    const power_cut::TCrashSpace space(log);
    power_cut::WriteImage(log, space.ImageOf({.at = log.steps.size(), .fates = {3}, .names = 1}), image);
    EXPECT_EQ(host::Stat(image + "/f").identity, original);
    EXPECT_EQ(ReadFileText(image + "/f"), kA);
    EXPECT_EQ(ReadFileText(image + "/t"), "new");
}

INSTANTIATE_TEST_SUITE_P(Rules, PowerCutModel, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ModelCase>& info) {
                             return "Rule" + std::to_string(info.index);
                         });
