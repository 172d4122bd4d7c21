// The standard dialogs the window shows, behind one interface so that the window's handlers
// can run without a person: the real set shows Qt dialogs, tests script the answers.
#pragma once

#include <QStringList>
#include <memory>
#include <string>
#include <vector>

class QFileDialog;
class QMessageBox;
class QWidget;

// The state of an open-file dialog, kept between uses the way a dialog component keeps it.
struct TOpenDialogState {
    std::string Title;        // empty: the dialog's own default title
    std::string Filter;       // "Description|pattern|Description|pattern"
    std::string FileName;     // initial name on entry, the chosen one after a true Execute
    bool DetailsView = false; // show the file list with size, type and date columns
    bool MultiSelect = false; // several existing files may be chosen, into FileNames
    std::vector<std::string> FileNames;  // with MultiSelect, every file chosen
};

class TDialogs {
public:
    virtual ~TDialogs() = default;

    // An open-file dialog; true when the user chose a file (then state.FileName holds it, and
    // with MultiSelect state.FileNames every one chosen).
    virtual bool ExecuteOpenDialog(QWidget* owner, TOpenDialogState& state) = 0;
    // The folder browser; preselected is empty or an existing directory. True when chosen.
    virtual bool BrowseForFolder(QWidget* owner, const std::string& title, const std::string& preselected,
                                 std::string& chosen) = 0;
    // The Yes/No question titled "Confirm"; only Yes gives true.
    virtual bool Confirm(QWidget* owner, const std::string& text) = 0;
    // A message box with one OK button and no icon.
    virtual void ShowAbout(QWidget* owner, const std::string& title, const std::string& text) = 0;
    // A message box with the stop icon and one OK button.
    virtual void ShowError(QWidget* owner, const std::string& title, const std::string& text) = 0;
    // A message box with the warning icon and one OK button.
    virtual void ShowWarning(QWidget* owner, const std::string& title, const std::string& text) = 0;
    // ShowError (error) or ShowWarning with summary in the box and, unless empty, details in
    // an area below it that scrolls and can be copied from. Here: the two as one text.
    virtual void ShowWithDetails(QWidget* owner, bool error, const std::string& title, const std::string& summary,
                                 const std::string& details);
    // A Yes/No question with its own title, Yes the default button; only Yes gives true.
    // Dialogs that do not tell it apart answer it as Confirm.
    virtual bool Ask(QWidget* owner, const std::string& title, const std::string& text) {
        (void)title;
        return Confirm(owner, text);
    }
};

// The dialogs of the running program.
class TQtDialogs : public TDialogs {
public:
    bool ExecuteOpenDialog(QWidget* owner, TOpenDialogState& state) override;
    bool BrowseForFolder(QWidget* owner, const std::string& title, const std::string& preselected,
                         std::string& chosen) override;
    bool Confirm(QWidget* owner, const std::string& text) override;
    void ShowAbout(QWidget* owner, const std::string& title, const std::string& text) override;
    void ShowError(QWidget* owner, const std::string& title, const std::string& text) override;
    void ShowWarning(QWidget* owner, const std::string& title, const std::string& text) override;
    void ShowWithDetails(QWidget* owner, bool error, const std::string& title, const std::string& summary,
                         const std::string& details) override;
    bool Ask(QWidget* owner, const std::string& title, const std::string& text) override;
};

// The message box ShowWithDetails shows: the summary selectable, the details (unless empty)
// behind the box's "Show Details..." button, in a read-only area that scrolls.
std::unique_ptr<QMessageBox> CreateDetailedMessageBox(QWidget* owner, bool error, const std::string& title,
                                                      const std::string& summary, const std::string& details);

// The Yes/No question of three lines that the window's commands ask before they write.
bool ConfirmLines(TDialogs& dialogs, QWidget* owner, const std::string& line1, const std::string& line2,
                  const std::string& line3);

// Line breaks as Qt's message boxes show them: CR LF pairs and lone CRs become LF.
QString DisplayLines(const std::string& text);

// Qt name filters for a "Description|pattern|..." filter. Qt reads a filter's patterns from
// the parentheses at the end of its text, and "*.*" there would miss names without a dot.
QStringList QtNameFilters(const std::string& filter);

// The open-file dialog as ExecuteOpenDialog shows it (Qt's own dialog, so that the details
// view can be chosen and patterns ignore letter case on every file system).
std::unique_ptr<QFileDialog> CreateOpenFileDialog(QWidget* owner, const TOpenDialogState& state);
