// The preview pane beside the contents tree: a header line for the selected file, and its
// text, string table rows, image or hex view, made on a worker thread so that the window
// never waits for it. A string table can be edited in place and saved into the archive.
#pragma once

#include <QImage>
#include <QLabel>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "support/entry_info.h"
#include "ui/preview_content.h"
#include "ui/preview_worker.h"

class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QTableView;
class QUndoStack;
class TLocRowsModel;

// An image scaled down to fit the view, kept in proportion.
class TImageView : public QLabel {
    Q_OBJECT
public:
    explicit TImageView(QWidget* parent);
    void SetImage(QImage image);
    const QImage& Image() const { return image_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Rescale();
    QImage image_;
};

class TPreviewPane : public QWidget {
    Q_OBJECT
public:
    // make builds a preview on the worker's thread (MakePreview; tests may watch it).
    explicit TPreviewPane(QWidget* parent, TPreviewWorker::TMake make = MakePreview);
    ~TPreviewPane() override;

    // Shows the entry of the archive (read in this byte order); an empty entry shows nothing.
    // While a table is being edited, the pane stays with it and shows the last entry asked
    // for once the editing ends.
    void ShowEntry(const std::string& archivePath, bool bigEndian, const std::string& entryPath);
    // Reads the entry shown again (the archive changed).
    void Refresh();
    // A result made on the worker's thread, delivered to the window's: one of an earlier
    // selection is dropped.
    void Receive(TPreviewContent content);

    TPreviewWorker& Worker() { return *worker_; }
    int DroppedResults() const { return dropped_; }
    const TPreviewContent& Shown() const { return shown_; }
    // The archive file the shown content was read from, as it was when the content came.
    const host::FileIdentity& ShownArchiveIdentity() const { return shownIdentity_; }

    // Editing of a shown string table (Edit, F2); off again asks discard first when rows changed.
    void StartEditing();
    bool StopEditing();
    bool Editing() const { return editing_; }
    bool Modified() const;
    // Asked before edits are thrown away; null: they are.
    void SetDiscardQuestion(std::function<bool()> ask) { askDiscard_ = std::move(ask); }
    void Undo();
    void Redo();
    // The edited table as its text form; false with why in problem.
    bool EditedText(std::string& text, QString& problem) const;
    // The edits are in the archive now: editing ends and the entry is read anew.
    void EditsSaved();
    // Why the last save could not be made, shown in the pane.
    void ShowSaveProblem(const QString& problem);

signals:
    // Save into archive (button, Ctrl+S) was asked for while editing.
    void SaveAsked();

private:
    void CreateControls();
    // Back to looking: the rows read-only, their undo history gone, the pane shown anew.
    void LeaveEditing();
    void ShowContent(const TPreviewContent& content);
    void ShowMessage(const QString& header, const QString& note);
    void UpdateButtons();
    // A long text goes into its view a slice at a time, the first screen first, so that the
    // window never waits for all of it; a newer entry ends the slicing.
    void ShowText(const QString& text);
    void AppendSlice(uint64_t generation);

    std::unique_ptr<TPreviewWorker> worker_;
    uint64_t generation_ = 0;
    int dropped_ = 0;
    // The entry last asked for, and the one shown.
    std::string archivePath_;
    bool bigEndian_ = false;
    std::string entryPath_;
    TPreviewContent shown_;
    host::FileIdentity shownIdentity_;
    QString slicing_;           // the text still being put into its view
    qsizetype sliced_ = 0;      // how much of it is in
    bool editing_ = false;
    std::function<bool()> askDiscard_;

    QLabel* header_ = nullptr;
    QLabel* note_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QWidget* emptyPage_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QTableView* rows_ = nullptr;
    TImageView* image_ = nullptr;
    QPushButton* edit_ = nullptr;
    QPushButton* save_ = nullptr;
    QUndoStack* undo_ = nullptr;
    TLocRowsModel* model_ = nullptr;
};
