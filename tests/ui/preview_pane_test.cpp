// The preview pane (F3): what it shows of each kind of entry, that it never waits for the
// stream, and the editing of a string table saved into the archive.
#include <QAction>
#include <QBuffer>
#include <QImage>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTableView>
#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

#include "form_fixture.h"
#include "helpers/archive_probe.h"
#include "helpers/archive_writer.h"
#include "engine/checking/entry_content.h"
#include "engine/format/hash_tag.h"
#include "engine/format/loc_convert.h"
#include "support/number_text.h"
#include "ui/preview_pane.h"
#include "ui/preview_worker.h"

namespace {

TArrayOfByte PngBytes(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return TArrayOfByte(data.begin(), data.end());
}

// The table of the text form text (lines ending in CR LF), in one byte order.
TArrayOfByte Table(const std::string& text, bool bigEndian, const TempDir& temp) {
    const std::string path = temp / "table.txt";
    WriteFile(path, text);
    TArrayOfByte table;
    EXPECT_TRUE(TextToLoc(bigEndian, path, table));
    return table;
}

TArrayOfByte Counting(size_t count) {
    TArrayOfByte bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(i);
    return bytes;
}

const char* const kTableText = "Hello\r\nTwo\\0Alines\r\nTilde \\7E and \\5C\r\n";

}  // namespace

class PreviewTest : public FormTest {
protected:
    std::string archive;
    bool xbox = false;

    void WriteArchive(bool bigEndian) {
        xbox = bigEndian;
        archive = temp / "data.pak";
        TestFolder root;
        root.files = {{"utf8.txt", Bytes("h\xC3\xA9llo\nw\xC3\xB6rld\n")},
                      {"utf16.txt", Bytes(std::string("\xFF\xFE" "A\0\xE9\0", 6))},
                      {"ansi.txt", Bytes("caf\xE9 \x80")},
                      {"strings.loc", Table(kTableText, bigEndian, temp)},
                      {"picture.png", PngBytes(40, 30)},
                      {"data.bin", Counting(100)}};
        WriteTestArchive(archive, root, bigEndian);
    }

    void Open(bool bigEndian = false, const std::string& settings = kNoFadeSettings) {
        WriteArchive(bigEndian);
        CreateForm(settings);
        Box("CheckBox_XBOX")->setChecked(bigEndian);
        form->OpenGivenArchive(archive);
        ASSERT_EQ(Caption().rfind("O.K.", 0), 0u) << Caption();
    }

    TPreviewPane* Pane() const { return form->findChild<TPreviewPane*>("PreviewPane"); }
    QString Header() const { return Find<QLabel>("PreviewHeader")->text(); }
    QString Note() const { return Find<QLabel>("PreviewNote")->text(); }
    QPlainTextEdit* TextView() const { return Find<QPlainTextEdit>("PreviewText"); }
    QTableView* Rows() const { return Find<QTableView>("PreviewRows"); }

    QTreeWidgetItem* Node(const std::string& name) const {
        for (int i = 0; i < Tree()->topLevelItemCount(); ++i)
            if (StdStr(Tree()->topLevelItem(i)->text(0)) == name) return Tree()->topLevelItem(i);
        ADD_FAILURE() << name;
        return nullptr;
    }

    // Selects the file and waits for its preview.
    void Preview(const std::string& name) {
        Tree()->clearSelection();
        QTreeWidgetItem* node = Node(name);
        Tree()->setCurrentItem(node);
        node->setSelected(true);
        ASSERT_TRUE(QTest::qWaitFor([&] { return Pane()->Shown().entryPath == name; }, 5000)) << name;
    }

    void PressF3() { QTest::keyClick(Tree(), Qt::Key_F3); }

    QStringList TableRows() const {
        QStringList rows;
        for (int i = 0; i < Rows()->model()->rowCount(); ++i)
            rows << Rows()->model()->index(i, 0).data().toString();
        return rows;
    }

    // The strings of the archive's table now, as rows.
    QStringList StoredRows() const {
        TEntryHeadRequest request;
        request.bigEndian = xbox;
        request.archivePath = archive;
        request.entryPath = "strings.loc";
        request.byteCap = 1 << 20;
        const TEntryHeadResult head = ReadEntryHead(request);
        EXPECT_TRUE(head.whole);
        QStringList rows;
        bool utf8 = false;
        QString problem;
        EXPECT_TRUE(LocTableRows(head.bytes, xbox, rows, utf8, problem));
        return rows;
    }
};

TEST_F(PreviewTest, ThePaneIsHiddenUntilF3AndF3HidesItAgainGivingTheWidthBack) {
    Open();
    const int width = form->width();
    EXPECT_TRUE(Pane()->isHidden());
    PressF3();
    EXPECT_TRUE(Pane()->isVisible());
    EXPECT_EQ(Pane()->accessibleName(), "Preview");
    EXPECT_GT(form->width(), width);
    EXPECT_EQ(Find<QSplitter>("PreviewSplitter")->indexOf(Pane()), 1);
    PressF3();
    EXPECT_TRUE(Pane()->isHidden());
    EXPECT_EQ(form->width(), width);
    EXPECT_EQ(Tree()->parentWidget(), form.get());
}

TEST_F(PreviewTest, WhetherThePaneShowsIsKeptInTheSettingsFileUnderViewPreview) {
    Open();
    PressF3();
    form->close();
    EXPECT_NE(ReadFileText(SettingsPath()).find("\nPreview=1"), std::string::npos) << ReadFileText(SettingsPath());
    form.reset();
    CreateForm("[Misc]\nFadeEffectOnExit=0\n[View]\nPreview=1\n");
    EXPECT_TRUE(Pane()->isVisible());
    EXPECT_EQ(Tree()->parentWidget(), Find<QSplitter>("PreviewSplitter"));
}

TEST_F(PreviewTest, TheTreesMenuHasAPreviewItemThatShowsThePane) {
    Open();
    Tree()->setCurrentItem(Node("utf8.txt"));
    Node("utf8.txt")->setSelected(true);
    QAction* item = Find<QAction>("Action_Preview");
    ASSERT_TRUE(item->isEnabled());
    item->trigger();
    EXPECT_TRUE(Pane()->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Pane()->Shown().entryPath == "utf8.txt"; }, 5000));
}

TEST_F(PreviewTest, TextShowsAsUtf8Utf16WithItsMarkOrWindows1252) {
    Open();
    PressF3();
    const std::vector<std::pair<std::string, QString>> cases = {
        {"utf8.txt", QString::fromUtf8("h\xC3\xA9llo\nw\xC3\xB6rld\n")},
        {"utf16.txt", QString::fromUtf8("A\xC3\xA9")},
        {"ansi.txt", QString::fromUtf8("caf\xC3\xA9 \xE2\x82\xAC")},
    };
    for (const auto& [name, text] : cases) {
        Preview(name);
        EXPECT_TRUE(TextView()->isVisible()) << name;
        EXPECT_EQ(TextView()->toPlainText(), text) << name;
    }
}

TEST_F(PreviewTest, TheHeaderNamesThePathSizesRatioAndHashTag) {
    Open();
    PressF3();
    Preview("data.bin");
    EXPECT_TRUE(Header().startsWith("data.bin\n100 bytes, packed ")) << StdStr(Header());
    EXPECT_TRUE(Header().contains(" %), tag ")) << StdStr(Header());
    EXPECT_TRUE(Header().endsWith(QString::fromStdString(TagToText(PathHashTag("data.bin"))))) << StdStr(Header());
}

TEST_F(PreviewTest, OtherBytesShowAsHexWithOffsetSixteenBytesAndTheirText) {
    Open();
    PressF3();
    Preview("data.bin");
    const QStringList lines = TextView()->toPlainText().split('\n');
    ASSERT_GE(lines.size(), 7);
    EXPECT_EQ(lines[0], "00000000  00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F  ................");
    EXPECT_EQ(lines[2], "00000020  20 21 22 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F   !\"#$%&'()*+,-./");
    EXPECT_EQ(lines[6], "00000060  60 61 62 63                                      `abc");
}

TEST_F(PreviewTest, AnImageShowsScaledWithItsSizeInPixels) {
    Open();
    PressF3();
    Preview("picture.png");
    auto* image = Find<TImageView>("PreviewImage");
    EXPECT_TRUE(image->isVisible());
    EXPECT_EQ(image->Image().size(), QSize(40, 30));
    EXPECT_EQ(Note(), QString::fromUtf8("40 \xC3\x97 30 pixels"));
}

TEST_F(PreviewTest, ATablesStringsShowOneNumberedRowEachEscapedInBothByteOrders) {
    for (const bool bigEndian : {false, true}) {
        form.reset();
        Open(bigEndian);
        PressF3();
        Preview("strings.loc");
        EXPECT_TRUE(Rows()->isVisible());
        EXPECT_EQ(TableRows(), QStringList({"Hello", "Two\\0Alines", "Tilde \\7E and \\5C"})) << bigEndian;
        EXPECT_EQ(Rows()->model()->headerData(0, Qt::Vertical).toInt(), 0);
        EXPECT_EQ(Rows()->model()->headerData(2, Qt::Vertical).toInt(), 2);
    }
}

TEST_F(PreviewTest, ADamagedStreamShowsItsReasonInThePaneNotInAMessageBox) {
    WriteArchive(false);
    TArrayOfByte bytes = ReadFileBytes(archive);
    for (const ProbedEntry& entry : ProbeEntries(archive, nullptr))
        if (entry.path == "utf8.txt")
            for (int i = 2; i < 8; ++i) bytes[static_cast<size_t>(entry.absOffset + i)] ^= 0xFF;
    WriteFile(archive, bytes);
    CreateForm();
    form->OpenGivenArchive(archive);
    PressF3();
    Preview("utf8.txt");
    EXPECT_TRUE(Note().startsWith("Damaged stream of entry \"utf8.txt\"")) << StdStr(Note());
    EXPECT_TRUE(script.errors.empty());
}

TEST_F(PreviewTest, AResultOfAnEarlierSelectionIsDropped) {
    Open();
    PressF3();
    Preview("utf8.txt");
    TPreviewContent stale;
    stale.generation = Pane()->Shown().generation - 1;
    stale.kind = TPreviewKind::Text;
    stale.text = "stale";
    stale.entryPath = "ansi.txt";
    const int dropped = Pane()->DroppedResults();
    Pane()->Receive(stale);
    EXPECT_EQ(Pane()->DroppedResults(), dropped + 1);
    EXPECT_EQ(Pane()->Shown().entryPath, "utf8.txt");
    EXPECT_NE(TextView()->toPlainText(), "stale");
}

// The selection moved through many entries while one preview runs leaves one job waiting,
// the last one, and stops the one running.
TEST(PreviewWorker, JobsSubmittedWhileOneRunsLeaveOnlyTheLatestToRun) {
    std::atomic<bool> release{false};
    std::atomic<int> stoppedSeen{0};
    std::vector<uint64_t> delivered;
    std::mutex mutex;
    {
        TPreviewWorker worker(
            [&](const TPreviewJob& job, const std::atomic<bool>& stop) {
                while (job.generation == 1 && !release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                if (stop) ++stoppedSeen;
                TPreviewContent content;
                content.generation = job.generation;
                return content;
            },
            [&](TPreviewContent content) {
                std::lock_guard<std::mutex> lock(mutex);
                delivered.push_back(content.generation);
            });
        worker.Submit({1, false, "a", "1"});
        ASSERT_TRUE(QTest::qWaitFor([&] { return worker.StartedJobs() == 1; }, 5000));
        for (uint64_t i = 2; i <= 1000; ++i) worker.Submit({i, false, "a", std::to_string(i)});
        release = true;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                std::lock_guard<std::mutex> lock(mutex);
                return !delivered.empty();
            },
            5000));
        worker.Hold();
        worker.Release();
        EXPECT_EQ(worker.StartedJobs(), 2);
    }
    EXPECT_EQ(stoppedSeen, 1);
    EXPECT_EQ(delivered, std::vector<uint64_t>({1000}));
}

// A window command changes archives: the worker runs nothing until the command has ended.
TEST(PreviewWorker, AHeldWorkerStartsNoJobUntilReleased) {
    TPreviewWorker worker([](const TPreviewJob& job, const std::atomic<bool>&) {
        TPreviewContent content;
        content.generation = job.generation;
        return content;
    }, [](TPreviewContent) {});
    worker.Hold();
    worker.Submit({1, false, "a", "1"});
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(worker.StartedJobs(), 0);
    worker.Release();
    EXPECT_TRUE(QTest::qWaitFor([&] { return worker.StartedJobs() == 1; }, 5000));
}

TEST_F(PreviewTest, EditUndoRedoAndSaveStoreTheEditedRowInTheArchiveInBothByteOrders) {
    for (const bool bigEndian : {false, true}) {
        form.reset();
        Open(bigEndian);
        PressF3();
        Preview("strings.loc");
        Button("PreviewEdit")->click();
        ASSERT_TRUE(Pane()->Editing());
        QAbstractItemModel* model = Rows()->model();
        ASSERT_TRUE(model->setData(model->index(1, 0), QString::fromUtf8("Zwei\\0AZeilen \xC3\xA9"), Qt::EditRole));
        EXPECT_EQ(TableRows()[1], QString::fromUtf8("Zwei\\0AZeilen \xC3\xA9"));
        QTest::keyClick(Rows(), Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(TableRows()[1], "Two\\0Alines");
        QTest::keyClick(Rows(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(TableRows()[1], QString::fromUtf8("Zwei\\0AZeilen \xC3\xA9"));
        QTest::keyClick(Rows(), Qt::Key_S, Qt::ControlModifier);
        EXPECT_EQ(Caption(), "O.K. Successfully updated!") << bigEndian;
        EXPECT_EQ(StoredRows(), QStringList({"Hello", QString::fromUtf8("Zwei\\0AZeilen \xC3\xA9"), "Tilde \\7E and \\5C"}))
            << bigEndian;
        EXPECT_FALSE(Pane()->Editing());
        ASSERT_TRUE(QTest::qWaitFor([&] { return TableRows().size() == 3 && TableRows()[1].startsWith("Zwei"); }, 5000));
    }
}

TEST_F(PreviewTest, LeavingEditingWithChangesAsksBeforeDiscardingThem) {
    Open();
    PressF3();
    Preview("strings.loc");
    QTest::keyClick(Tree(), Qt::Key_F2);
    ASSERT_TRUE(Pane()->Editing());
    Rows()->model()->setData(Rows()->model()->index(0, 0), QStringLiteral("Hi"), Qt::EditRole);
    script.onConfirm = [](const std::string&) { return false; };
    Button("PreviewEdit")->click();
    EXPECT_TRUE(Pane()->Editing());
    ASSERT_EQ(script.confirmed.size(), 1u);
    script.onConfirm = [](const std::string&) { return true; };
    Button("PreviewEdit")->click();
    EXPECT_FALSE(Pane()->Editing());
    EXPECT_EQ(StoredRows()[0], "Hello");
}

// A long text is read only to its cap and goes into the view a slice at a time, all of it in
// the end, the note saying what is left out.
TEST_F(PreviewTest, ALongTextShowsItsFirstTwoMebibytesWholeAndSaysSo) {
    archive = temp / "long.pak";
    std::string text;
    for (int i = 0; text.size() < 3u * 1024 * 1024; ++i) text += "line " + std::to_string(i) + "\n";
    TestFolder root;
    root.files = {{"long.txt", Bytes(text)}};
    WriteTestArchive(archive, root);
    CreateForm();
    form->OpenGivenArchive(archive);
    PressF3();
    Preview("long.txt");
    const QString first = QString::fromStdString(text.substr(0, kPreviewTextBytes));
    ASSERT_TRUE(QTest::qWaitFor([&] { return TextView()->document()->characterCount() >= first.size(); }, 20000));
    EXPECT_EQ(TextView()->toPlainText(), first);
    EXPECT_EQ(Note(), "The first 2,097,152 bytes of " + QString::fromStdString(GroupThousands(text.size())) +
                          " bytes are shown.");
}

TEST_F(PreviewTest, ClosingTheWindowWithUnsavedStringsAsksAndStaysOpenForANo) {
    Open();
    PressF3();
    Preview("strings.loc");
    Button("PreviewEdit")->click();
    Rows()->model()->setData(Rows()->model()->index(0, 0), QStringLiteral("Hi"), Qt::EditRole);
    script.onConfirm = [](const std::string&) { return false; };
    form->close();
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(Pane()->Editing());
    ASSERT_EQ(script.confirmed.size(), 1u);
    EXPECT_NE(script.confirmed[0].find("The edited strings are not saved!"), std::string::npos);
    script.onConfirm = [](const std::string&) { return true; };
    form->close();
    EXPECT_FALSE(form->isVisible());
}
