#include "ui/preview_pane.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QAbstractButton>
#include <QTableView>
#include <QTextCursor>
#include <QTimer>
#include <QUndoStack>
#include <QVBoxLayout>

#include "support/host_entries.h"
#include "ui/loc_rows_model.h"

TImageView::TImageView(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
    setMinimumSize(1, 1);
}

void TImageView::SetImage(QImage image) {
    image_ = std::move(image);
    Rescale();
}

void TImageView::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    Rescale();
}

void TImageView::Rescale() {
    if (image_.isNull()) {
        clear();
        return;
    }
    // Scaled down to fit, never up: a small image stays sharp.
    const QSize fit = image_.size().boundedTo(size()).expandedTo(QSize(1, 1));
    setPixmap(QPixmap::fromImage(image_.scaled(fit, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

TPreviewPane::TPreviewPane(QWidget* parent, TPreviewWorker::TMake make) : QWidget(parent) {
    setObjectName(QStringLiteral("PreviewPane"));
    setAccessibleName(QStringLiteral("Preview"));
    CreateControls();
    worker_ = std::make_unique<TPreviewWorker>(std::move(make), [this](TPreviewContent content) {
        // Runs on the worker's thread: the result goes to the window's thread, where a pane
        // that is gone by then takes nothing.
        QMetaObject::invokeMethod(
            this, [this, content = std::move(content)]() mutable { Receive(std::move(content)); },
            Qt::QueuedConnection);
    });
    ShowMessage(QString(), QStringLiteral("Select a file to preview it."));
}

TPreviewPane::~TPreviewPane() { worker_.reset(); }

void TPreviewPane::CreateControls() {
    header_ = new QLabel(this);
    header_->setObjectName(QStringLiteral("PreviewHeader"));
    header_->setWordWrap(true);
    header_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("PreviewNote"));
    note_->setWordWrap(true);
    note_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    stack_ = new QStackedWidget(this);
    emptyPage_ = new QWidget(stack_);
    text_ = new QPlainTextEdit(stack_);
    text_->setObjectName(QStringLiteral("PreviewText"));
    text_->setAccessibleName(QStringLiteral("Content"));
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setUndoRedoEnabled(false);
    undo_ = new QUndoStack(this);
    model_ = new TLocRowsModel(*undo_, this);
    rows_ = new QTableView(stack_);
    rows_->setObjectName(QStringLiteral("PreviewRows"));
    rows_->setAccessibleName(QStringLiteral("Strings"));
    rows_->setModel(model_);
    rows_->horizontalHeader()->setStretchLastSection(true);
    rows_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The view's corner button selects every row; unnamed, a screen reader says nothing of it.
    if (auto* corner = rows_->findChild<QAbstractButton*>()) corner->setAccessibleName(QStringLiteral("Select all strings"));
    image_ = new TImageView(stack_);
    image_->setObjectName(QStringLiteral("PreviewImage"));
    image_->setAccessibleName(QStringLiteral("Image"));
    for (QWidget* page : {emptyPage_, static_cast<QWidget*>(text_), static_cast<QWidget*>(rows_),
                          static_cast<QWidget*>(image_)})
        stack_->addWidget(page);

    edit_ = new QPushButton(QStringLiteral("Edit"), this);
    edit_->setObjectName(QStringLiteral("PreviewEdit"));
    edit_->setToolTip(QStringLiteral("Edit the strings (F2)"));
    edit_->setCheckable(true);
    save_ = new QPushButton(QStringLiteral("Save into archive"), this);
    save_->setObjectName(QStringLiteral("PreviewSave"));
    save_->setToolTip(QStringLiteral("Store the edited table in the archive (Ctrl+S)"));
    connect(edit_, &QPushButton::clicked, this, [this](bool on) {
        if (on) StartEditing();
        else StopEditing();
        UpdateButtons();
    });
    connect(save_, &QPushButton::clicked, this, [this] {
        if (editing_) emit SaveAsked();
    });
    connect(undo_, &QUndoStack::cleanChanged, this, [this] { UpdateButtons(); });

    const auto shortcut = [this](const QKeySequence& keys, Qt::ShortcutContext context, auto handler) {
        auto* made = new QShortcut(keys, this);
        made->setContext(context);
        connect(made, &QShortcut::activated, this, handler);
    };
    // F2 and Ctrl+S work wherever the focus is in the window, undo and redo in the pane.
    shortcut(QKeySequence(Qt::Key_F2), Qt::WindowShortcut, [this] {
        if (!isVisible()) return;
        if (!editing_) StartEditing();
        else if (rows_->hasFocus() && rows_->currentIndex().isValid()) rows_->edit(rows_->currentIndex());
    });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_S), Qt::WindowShortcut, [this] {
        if (isVisible() && Modified()) emit SaveAsked();
    });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), Qt::WidgetWithChildrenShortcut, [this] { Undo(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), Qt::WidgetWithChildrenShortcut, [this] { Redo(); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(edit_);
    buttons->addWidget(save_);
    buttons->addStretch();
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 0, 0, 0);
    column->addWidget(header_);
    column->addWidget(note_);
    column->addWidget(stack_, 1);
    column->addLayout(buttons);
}

void TPreviewPane::ShowEntry(const std::string& archivePath, bool bigEndian, const std::string& entryPath) {
    archivePath_ = archivePath;
    bigEndian_ = bigEndian;
    entryPath_ = entryPath;
    if (editing_) return;
    Refresh();
}

void TPreviewPane::Refresh() {
    ++generation_;
    if (archivePath_.empty() || entryPath_.empty()) {
        worker_->Cancel();
        ShowMessage(QString(), QStringLiteral("Select a file to preview it."));
        return;
    }
    TPreviewJob job;
    job.generation = generation_;
    job.bigEndian = bigEndian_;
    job.archivePath = archivePath_;
    job.entryPath = entryPath_;
    worker_->Submit(std::move(job));
    // What was shown stays until the new entry is in, so that moving through entries does not
    // flicker; the note says that it comes.
    note_->setText(QStringLiteral("Reading..."));
}

void TPreviewPane::Receive(TPreviewContent content) {
    if (content.generation != generation_ || editing_) {
        ++dropped_;
        return;
    }
    shown_ = std::move(content);
    shownIdentity_ = host::Stat(shown_.archivePath).identity;
    ShowContent(shown_);
}

void TPreviewPane::ShowMessage(const QString& header, const QString& note) {
    shown_ = TPreviewContent();
    slicing_.clear();
    header_->setText(header);
    note_->setText(note);
    text_->clear();
    model_->SetRows({});
    image_->SetImage(QImage());
    stack_->setCurrentWidget(emptyPage_);
    UpdateButtons();
}

void TPreviewPane::ShowContent(const TPreviewContent& content) {
    header_->setText(content.header);
    note_->setText(content.note);
    slicing_.clear();
    text_->clear();
    model_->SetRows({});
    image_->SetImage(QImage());
    undo_->clear();
    switch (content.kind) {
        case TPreviewKind::Message:
            stack_->setCurrentWidget(emptyPage_);
            break;
        case TPreviewKind::Text:
        case TPreviewKind::Hex: {
            const bool hex = content.kind == TPreviewKind::Hex;
            text_->setFont(hex ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : font());
            stack_->setCurrentWidget(text_);
            ShowText(content.text);
            break;
        }
        case TPreviewKind::LocRows:
            model_->SetRows(content.rows);
            stack_->setCurrentWidget(rows_);
            break;
        case TPreviewKind::Image:
            image_->SetImage(content.image);
            stack_->setCurrentWidget(image_);
            break;
    }
    UpdateButtons();
}

namespace {

// About a screen or two of text, and what one turn of the event loop adds after it: small
// enough that the view takes it in a few milliseconds.
constexpr qsizetype kFirstSlice = 16 * 1024;
constexpr qsizetype kNextSlice = 16 * 1024;

// Where a slice of text from start ends: after a line end near the slice's length.
qsizetype SliceEnd(const QString& text, qsizetype start, qsizetype length) {
    if (text.size() - start <= length) return text.size();
    const qsizetype lineEnd = text.lastIndexOf(QLatin1Char('\n'), start + length);
    return lineEnd > start ? lineEnd + 1 : start + length;
}

}  // namespace

void TPreviewPane::ShowText(const QString& text) {
    slicing_ = text;
    sliced_ = SliceEnd(slicing_, 0, kFirstSlice);
    text_->setPlainText(slicing_.left(sliced_));
    if (sliced_ < slicing_.size())
        QTimer::singleShot(0, this, [this, generation = generation_] { AppendSlice(generation); });
    else slicing_.clear();
}

void TPreviewPane::AppendSlice(uint64_t generation) {
    if (generation != generation_ || slicing_.isEmpty()) return;
    const qsizetype end = SliceEnd(slicing_, sliced_, kNextSlice);
    QTextCursor cursor(text_->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(slicing_.mid(sliced_, end - sliced_));
    sliced_ = end;
    if (sliced_ < slicing_.size())
        QTimer::singleShot(0, this, [this, generation] { AppendSlice(generation); });
    else slicing_.clear();
}

void TPreviewPane::UpdateButtons() {
    const bool table = shown_.kind == TPreviewKind::LocRows;
    edit_->setVisible(table);
    save_->setVisible(table);
    edit_->setChecked(editing_);
    save_->setEnabled(editing_ && !undo_->isClean());
}

void TPreviewPane::StartEditing() {
    if (editing_ || shown_.kind != TPreviewKind::LocRows) {
        UpdateButtons();
        return;
    }
    editing_ = true;
    model_->SetEditable(true);
    rows_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::AnyKeyPressed);
    rows_->setFocus();
    if (!rows_->currentIndex().isValid() && model_->rowCount() > 0) rows_->setCurrentIndex(model_->index(0, 0));
    note_->setText(QStringLiteral("Editing: each string as extraction writes it, \\XX for a byte."));
    UpdateButtons();
}

bool TPreviewPane::StopEditing() {
    if (!editing_) return true;
    if (Modified() && askDiscard_ && !askDiscard_()) {
        UpdateButtons();
        return false;
    }
    LeaveEditing();
    return true;
}

bool TPreviewPane::Modified() const { return editing_ && !undo_->isClean(); }

void TPreviewPane::Undo() {
    if (editing_) undo_->undo();
}

void TPreviewPane::Redo() {
    if (editing_) undo_->redo();
}

bool TPreviewPane::EditedText(std::string& text, QString& problem) const {
    return LocRowsText(model_->Rows(), shown_.rowsUtf8, text, problem);
}

void TPreviewPane::EditsSaved() {
    undo_->setClean();
    LeaveEditing();
}

void TPreviewPane::LeaveEditing() {
    editing_ = false;
    model_->SetEditable(false);
    rows_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    undo_->clear();
    // The rows as the archive holds them, or the entry asked for meanwhile.
    Refresh();
    UpdateButtons();
}

void TPreviewPane::ShowSaveProblem(const QString& problem) { note_->setText(problem); }
