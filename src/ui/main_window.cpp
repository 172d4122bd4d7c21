#include "ui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QShortcut>
#include <QWindow>
#include <algorithm>
#include <exception>
#include <new>

#include "support/errors.h"
#include "support/existence.h"
#include "support/number_text.h"
#include "support/paths.h"
#include "ui/contents_tree.h"
#include "ui/flat_button.h"
#include "ui/path_edit.h"
#include "ui/text_bridge.h"
#include "ui/ui_texts.h"
#include "ui/window_placement.h"
#include "ui/window_title.h"

namespace {

// What the message box says of a raised error: its message, which names the file and what
// happened; running out of memory in words a user reads, not the allocator's name for it.
std::string RaisedErrorText(const std::exception& error) {
    if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) return kOutOfMemoryText;
    return error.what();
}

// The window as designed: position and client size, and the frame around the client area
// (outer 520 x 236).
constexpr int kDesignLeft = 510;
constexpr int kDesignTop = 397;
constexpr int kDesignClientWidth = 512;
constexpr int kDesignClientHeight = 207;
constexpr int kFrameWidth = 520 - kDesignClientWidth;
constexpr int kFrameHeight = 236 - kDesignClientHeight;
constexpr int kMinClientWidth = 450;
constexpr int kMinClientHeight = 335;
constexpr int kFontPixelHeight = 11;

// The tree's anchors were taken against the outer design size, so its right and bottom
// edges keep these distances to the client area's edges.
constexpr int kTreeRightInset = 520 - 433;
constexpr int kTreeBottomInset = 236 - 192;
constexpr int kTreeGap = 10;
constexpr int kTreeExtraHeight = 128;

// The filter line, while shown, takes this much of the tree's height at its foot.
constexpr int kFilterHeight = 21;
constexpr int kFilterGap = 4;

constexpr int kProgressMax = 100;

const std::string kHashHint =
    "Append a Hash checksum to the filenames during Extraction!\r\n"
    "IMPORTANT:\r\n"
    "Check this box only if you want to use the \"Replace\" function!\r\n"
    "Don't check, if you want to use the \"Make\" function!";

std::string AboutText() {
    return ProgramTitle + " [v" + ProgramVersion + "]\r\n\r\n" +
           "This is a test version, with lots of bugs, errors, etc, so use it on your risk!\r\n\r\n" +
           "ALWAYS make a backup copy of your files, before overwriting them...";
}

}  // namespace

TForm1::TForm1(TFormServices services, QWidget* parent) : QWidget(parent), services_(std::move(services)) {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setObjectName("Form1");
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPixelSize(kFontPixelHeight);
    setFont(tahoma);
    setMinimumSize(kMinClientWidth, kMinClientHeight);
    move(kDesignLeft, kDesignTop);
    resize(kDesignClientWidth, kDesignClientHeight);
    NormalFrame = new TNormalFrame(this);
    CreateControls();
    FormCreate();
    formerWaiting_ = host::SetLockWaiting(
        {true, [this](const std::string&, bool begins) { WaitForArchive(begins); },
         [this](const std::string&, const std::string& holders) { TellArchiveHolders(holders); }});
}

TForm1::~TForm1() { host::SetLockWaiting(std::move(formerWaiting_)); }

template <class TControl>
TControl* TForm1::Place(const char* name, const QRect& design, TAnchors anchors) {
    auto* control = new TControl(this);
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(design);
    placed_.push_back({control, design, anchors});
    return control;
}

void TForm1::CreateControls() {
    Label1 = Place<QLabel>("Label1", QRect(8, 10, 0, 0), TAnchors::LeftTop);
    Label2 = Place<QLabel>("Label2", QRect(8, 42, 0, 0), TAnchors::LeftTop);
    Edit1 = Place<TPathEdit>("Edit1", QRect(80, 8, 257, 21), TAnchors::LeftTopRight);
    Edit2 = Place<TPathEdit>("Edit2", QRect(80, 40, 257, 21), TAnchors::LeftTopRight);
    Button_selectPAK = Place<TFlatButton>("Button_selectPAK", QRect(344, 8, 17, 20), TAnchors::TopRight);
    Button_selDIR = Place<TFlatButton>("Button_selDIR", QRect(344, 40, 17, 20), TAnchors::TopRight);
    Button_Exit = Place<TFlatButton>("Button_Exit", QRect(440, 136, 65, 21), TAnchors::TopRight);
    Button_XtractAll = Place<TFlatButton>("Button_XtractAll", QRect(440, 8, 65, 21), TAnchors::TopRight);
    Button_MakeArchive = Place<TFlatButton>("Button_MakeArchive", QRect(440, 104, 65, 21), TAnchors::TopRight);
    Button_Info = Place<TFlatButton>("Button_Info", QRect(368, 72, 65, 21), TAnchors::TopRight);
    ProgressBar1 = Place<QProgressBar>("ProgressBar1", QRect(8, 74, 353, 17), TAnchors::LeftTopRight);
    Button_update1 = Place<TFlatButton>("Button_update1", QRect(440, 40, 65, 21), TAnchors::TopRight);
    CheckBox_hash = Place<QCheckBox>("CheckBox_hash", QRect(368, 8, 65, 17), TAnchors::TopRight);
    Button_updateX = Place<TFlatButton>("Button_updateX", QRect(440, 72, 65, 21), TAnchors::TopRight);
    CheckBox_XBOX = Place<QCheckBox>("CheckBox_XBOX", QRect(368, 40, 57, 17), TAnchors::TopRight);
    CheckBox_hash->setText(QStringLiteral("Hash"));
    CheckBox_XBOX->setText(QStringLiteral("XBOX"));
    ProgressBar1->setTextVisible(false);

    connect(Button_selectPAK, &QPushButton::clicked, this, [this] { RunCommand(&TForm1::Button_selectPAKClick); });
    connect(Button_selDIR, &QPushButton::clicked, this, [this] { RunCommand(&TForm1::Button_selDIRClick); });
    connect(Button_XtractAll, &QPushButton::clicked, this, [this] { RunCommand(&TForm1::Button_XtractAllClick); });
    connect(Button_MakeArchive, &QPushButton::clicked, this,
            [this] { RunCommand(&TForm1::Button_MakeArchiveClick); });
    connect(Button_update1, &QPushButton::clicked, this, [this] { RunCommand(&TForm1::Button_update1Click); });
    connect(Button_updateX, &QPushButton::clicked, this, [this] { RunCommand(&TForm1::Button_updateXClick); });
    connect(Button_Info, &QPushButton::clicked, this, [this] { RunCommand(&TForm1::Button_InfoClick); });
    connect(Button_Exit, &QPushButton::clicked, this, [this] { Button_ExitClick(); });
    connect(CheckBox_XBOX, &QCheckBox::toggled, this, [this] { CheckBox_XBOXClick(); });
    connect(Edit1, &QLineEdit::returnPressed, this, [this] { RunCommand(&TForm1::Edit1EnterPressed); });
    // Escape asks to stop a running command, wherever the focus is.
    auto* stop = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    stop->setContext(Qt::WindowShortcut);
    connect(stop, &QShortcut::activated, this, [this] { EscapePressed(); });
}

void TForm1::FormCreate() {
    OpenDialog1.Filter = GameName + " ." + ArchiveExt + " file (*." + ArchiveExt + ")|*." + ArchiveExt +
                         "|All files (*.*)|*.*";
    OpenDialog1.DetailsView = true;

    Label1->setText(QStr("." + ArchiveExt + " file:"));
    Label2->setText(QStringLiteral("Directory:"));
    Label1->adjustSize();
    Label2->adjustSize();
    Button_MakeArchive->setText(QStr("&Make ." + ArchiveExt));
    Button_MakeArchive->setToolTip(QStr("Make ." + ArchiveExt + " file from the files of the selected directory."));
    Button_update1->setText(QStringLiteral("&Replace1"));
    Button_update1->setToolTip(QStringLiteral("Replace only one file in the selected archive."));
    Button_updateX->setText(QStringLiteral("Re&placeX"));
    Button_updateX->setToolTip(
        QStringLiteral("Replace the selected archive with the contents of the given directory."));
    Button_XtractAll->setText(QStringLiteral("&Extract"));
    Button_XtractAll->setToolTip(QStr("Extract the selected ." + ArchiveExt + " file to the given directory."));
    Button_Exit->setText(QStringLiteral("E&xit"));
    Button_Exit->setToolTip(QStringLiteral("End of the hard work."));
    Button_Info->setText(QStringLiteral("?"));
    Button_Info->setToolTip(QStringLiteral("About..."));
    Button_selectPAK->setText(QStringLiteral("..."));
    Button_selectPAK->setToolTip(QStr("Select the ." + ArchiveExt + " file to Extract/Make/Update..."));
    Button_selDIR->setText(QStringLiteral("..."));
    Button_selDIR->setToolTip(QStringLiteral("Select the Target/Source directory..."));
    CheckBox_hash->setToolTip(DisplayLines(kHashHint));
    CheckBox_XBOX->setToolTip(QStringLiteral("XBOX360 version"));

    ProgressBar1->setRange(0, kProgressMax);
    ProgressBar1->setValue(0);

    CreateContentsTree();
    CreateContentsMenu();
    CreateTreeFilter();
    SetTabOrder();
    // An archive dropped onto the window is opened; the path boxes and the tree take their
    // own drops.
    setAcceptDrops(true);

    setWindowFlag(Qt::WindowMaximizeButtonHint, true);

    LoadSettings();

    KeepTitleExact(this);
    SetCaption(TitleLine);

    SetWindowOpacity(this, kOpaque);
}

void TForm1::CreateContentsTree() {
    ImageList_TreeView = CreateTreeImageList();
    const QRect bar = ProgressBar1->geometry();
    const QRect info = Button_Info->geometry();
    const int left = bar.left();
    const int top = info.top() + info.height() + kTreeGap;
    const QRect design(left, top, info.left() + info.width() - left, bar.top() - kTreeGap - top + kTreeExtraHeight);
    ContentsTree = new TContentsTree(ImageList_TreeView, this);
    ContentsTree->setObjectName(QStringLiteral("ContentsTree"));
    ContentsTree->setGeometry(design);
    ContentsTree->show();
    LayOutControls();
}

void TForm1::SetTabOrder() {
    const std::vector<QWidget*> order = {Edit1,          Edit2,          Button_selectPAK, Button_selDIR, Button_Exit,
                                         Button_XtractAll, Button_MakeArchive, Button_Info, ProgressBar1,
                                         Button_update1, CheckBox_hash,  Button_updateX,   CheckBox_XBOX, ContentsTree,
                                         TreeFilter};
    for (size_t i = 0; i + 1 < order.size(); ++i) setTabOrder(order[i], order[i + 1]);
}

void TForm1::LayOutControls() {
    const int grow = width() - kDesignClientWidth;
    for (const TPlacedControl& placed : placed_) {
        QRect r = placed.design;
        if (placed.control == Label1 || placed.control == Label2) r.setSize(placed.control->size());
        if (placed.anchors == TAnchors::TopRight) r.translate(grow, 0);
        if (placed.anchors == TAnchors::LeftTopRight) r.setWidth(r.width() + grow);
        placed.control->setGeometry(r);
    }
    if (ContentsTree != nullptr) {
        const QPoint corner = ContentsTree->pos();
        const int treeWidth = std::max(0, width() - kTreeRightInset - corner.x());
        int treeHeight = std::max(0, height() - kTreeBottomInset - corner.y());
        if (TreeFilter != nullptr && !TreeFilter->isHidden()) {
            treeHeight = std::max(0, treeHeight - kFilterHeight - kFilterGap);
            TreeFilter->setGeometry(corner.x(), corner.y() + treeHeight + kFilterGap, treeWidth, kFilterHeight);
        }
        ContentsTree->setGeometry(corner.x(), corner.y(), treeWidth, treeHeight);
    }
}

int TForm1::OuterWidth() const { return width() + kFrameWidth; }
int TForm1::OuterHeight() const { return height() + kFrameHeight; }
void TForm1::SetOuterWidth(int width) { resize(width - kFrameWidth, height()); }
void TForm1::SetOuterHeight(int height) { resize(width(), height - kFrameHeight); }

QRect TForm1::NormalOuterGeometry() const {
    if (!isMaximized() && !isFullScreen()) return QRect(x(), y(), OuterWidth(), OuterHeight());
    // normalGeometry() is the client area's; the frame's corner lies where the normal frame
    // put it.
    const QRect normal = normalGeometry();
    return QRect(normal.topLeft() - NormalFrame->ClientOffset(),
                 QSize(normal.width() + kFrameWidth, normal.height() + kFrameHeight));
}

void TForm1::KeepOnScreen() {
    const QRect outer(x(), y(), OuterWidth(), OuterHeight());
    const QRect kept = FittedInto(outer, ScreenAreaHolding(outer));
    if (kept.size() != outer.size()) {
        SetOuterWidth(kept.width());
        SetOuterHeight(kept.height());
    }
    move(kept.topLeft());
}

void TForm1::SetCaption(const std::string& text) { setWindowTitle(QStr(text)); }

std::string TForm1::Text(const QLineEdit* edit) const { return StdStr(edit->text()); }

void TForm1::RunCommand(void (TForm1::*handler)()) {
    try {
        // Opening reads an archive anew anyway; no other command runs on a stale tree.
        const bool opens = handler == &TForm1::Button_selectPAKClick || handler == &TForm1::Edit1EnterPressed;
        if (!BusyFlag && !opens) KeepTreeCurrent();
        (this->*handler)();
    } catch (const ECancelled&) {
        SetCaption(StoppedText(handler));
    } catch (const std::exception& error) {
        // The outcome ends every command: no phase text is left standing as if it still ran.
        SetCaption(ErrorText);
        services_.Dialogs->ShowError(this, TitleLine, RaisedErrorText(error));
    }
    // Closing was asked for while the command ran, and it has stopped now.
    if (closeWhenStopped_ && !BusyFlag) {
        closeWhenStopped_ = false;
        close();
    }
}

bool TForm1::Confirm(const std::string& line1, const std::string& line2, const std::string& line3) {
    return services_.Dialogs->Confirm(this, line1 + "\r" + line2 + "\r" + line3);
}

void TForm1::Button_selectPAKClick() {
    TBusyScope busy(*this);
    if (!busy.Entered()) return;

    if (!Edit1->text().isEmpty()) OpenDialog1.FileName = Text(Edit1);
    if (!services_.Dialogs->ExecuteOpenDialog(this, OpenDialog1)) return;
    Edit1->setText(QStr(OpenDialog1.FileName));
    OpenNamedArchive();
}

void TForm1::OpenNamedArchive() {
    auto index = std::make_shared<TArchiveIndex>();
    TNotices notices;
    const bool ok = services_.Engine.ReadArchiveIndex(CheckBox_XBOX->isChecked(), Text(Edit1), *index, &notices);
    const auto count = static_cast<int64_t>(index->entries.size());
    if (!ok) {
        SetCaption(ErrorText);
        ShowNotices(false, notices);
        return;
    }
    SetCaption(PleaseWaitText);
    TStringList_2_TTreeView_proba(std::move(index), ContentsTree, "", kImageClosedRedBook, kImageClosedRedBook, true);
    shownArchive_ = Text(Edit1);
    shownXbox_ = CheckBox_XBOX->isChecked();
    shownStamp_ = ShownArchiveStamp();
    ContentsTree->SetDragHandlers([this] { return DragOutEntries(); },
                                  [this](const QList<QUrl>& urls, QTreeWidgetItem* target) { DropOntoTree(urls, target); });
    UpdateMenuItems();
    SetCaption("O.K. The file successfully opened, contains " + GroupThousands(count) + " files.");
    ShowNotices(true, notices);
}

std::string TForm1::DirectoryBoxFolder() const {
    const std::string current = Text(Edit2);
    return !current.empty() && DirExistsSafe(current) ? current : std::string();
}

void TForm1::Button_selDIRClick() {
    TBusyScope busy(*this);
    if (!busy.Entered()) return;

    std::string chosen;
    if (services_.Dialogs->BrowseForFolder(this, StdStr(Button_selDIR->toolTip()), DirectoryBoxFolder(), chosen))
        Edit2->setText(QStr(chosen));
}

void TForm1::Button_XtractAllClick() {
    TBusyScope busy(*this);
    if (!busy.Entered()) return;

    SetCaption("");
    const std::string archive = Text(Edit1);
    const std::string target = Text(Edit2);
    if (archive.empty() || target.empty()) return;
    SetCaption(PreparingText);

    if (DirHasEntries(target) &&
        !Confirm("Warning!", "The target directory not empty!", "Do you really want to extract here?")) {
        SetCaption("");
        return;
    }
    // The engine creates the target with its parents once the archive has been read, so a
    // missing or foreign archive leaves no folder behind; when the chain cannot be made, the
    // extraction fails and says why.
    TNotices notices;
    TExtractRequest request;
    request.bigEndian = CheckBox_XBOX->isChecked();
    request.archivePath = archive;
    request.targetDir = target;
    request.hashTags = CheckBox_hash->isChecked();
    request.convertLoc = AutoConvertLOCfiles;
    request.progress = ProgressRoutine();
    request.notices = &notices;
    request.targetFolder = TTargetFolder::CreateWithParents;
    const TExtractResult result = services_.Engine.ExtractArchive(request);
    SetCaption(result.ok ? ExtractedText(result.extractedCount) : ErrorText);
    ShowNotices(result.ok, notices);
}

void TForm1::Button_InfoClick() {
    TBusyScope busy(*this);
    if (!busy.Entered()) return;

    SetCaption(TitleLine);
    services_.Dialogs->ShowAbout(this, AboutTitle, AboutText());
}

void TForm1::Button_ExitClick() { close(); }

void TForm1::CheckBox_XBOXClick() {
    // In-place updating exists only for PC archives.
    const bool pc = !CheckBox_XBOX->isChecked();
    Button_update1->setEnabled(pc);
    Button_updateX->setEnabled(pc);
}

void TForm1::Edit1EnterPressed() {
    TBusyScope busy(*this);
    if (!busy.Entered()) return;

    // Enter opens the archive typed or dropped in the box, as choosing it with "..." does.
    if (Edit1->text().isEmpty()) return;
    OpenNamedArchive();
}

void TForm1::OpenGivenArchive(const std::string& path) {
    Edit1->setText(QStr(path));
    RunCommand(&TForm1::Edit1EnterPressed);
}

void TForm1::FormResize() {
    if (width() < kMinClientWidth) resize(kMinClientWidth, height());
    if (height() < kMinClientHeight) resize(width(), kMinClientHeight);
    LayOutControls();
}

void TForm1::FormDblClick() { SetCaption(AuthorLine); }

void TForm1::FormClose() {
    // Shown at once, whatever the pace of the status line: the close steps follow.
    SetCaption(ExitingText);
    QApplication::processEvents();
    try {
        SaveSettings();
    } catch (const std::exception& error) {
        services_.Dialogs->ShowError(this, TitleLine, RaisedErrorText(error));
    }
    delete ContentsTree;
    ContentsTree = nullptr;
    dragFolder_.reset();
    if (FadeEffectOnExit) FadeOutWindow(this, services_.Wait);
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FormResize();
}

void TForm1::closeEvent(QCloseEvent* event) {
    // Closing while a command runs first asks to stop it; the window closes once it has
    // stopped, its clean-up done, and stays open for a No.
    if (BusyFlag && !closed_) {
        event->ignore();
        AskToStop();
        if (stopRequested_) closeWhenStopped_ = true;
        return;
    }
    // A request that arrives once the close steps have run only closes again.
    event->accept();
    if (closed_) return;
    closed_ = true;
    FormClose();
}

bool TForm1::IsBodyPoint(const QPoint& point) const {
    if (!rect().contains(point)) return false;
    const QWidget* child = childAt(point);
    // Labels are painted on the window's surface and take no clicks of their own.
    return child == nullptr || qobject_cast<const QLabel*>(child) != nullptr;
}

void TForm1::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && IsBodyPoint(event->position().toPoint())) {
        // Dragging the body moves the window as dragging the title bar does.
        if (QWindow* window = windowHandle()) window->startSystemMove();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void TForm1::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && IsBodyPoint(event->position().toPoint())) {
        FormDblClick();
        event->accept();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}
