#include "ui/dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "ui/text_bridge.h"
#include "ui/ui_texts.h"

bool ConfirmLines(TDialogs& dialogs, QWidget* owner, const std::string& line1, const std::string& line2,
                  const std::string& line3) {
    return dialogs.Confirm(owner, line1 + "\r" + line2 + "\r" + line3);
}

QString DisplayLines(const std::string& text) {
    std::string lines;
    lines.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            lines += text[i];
            continue;
        }
        lines += '\n';
        if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    }
    return QStr(lines);
}

namespace {

std::vector<std::string> SplitAtBars(const std::string& text) {
    std::vector<std::string> parts;
    size_t from = 0;
    while (true) {
        const size_t bar = text.find('|', from);
        parts.push_back(text.substr(from, bar == std::string::npos ? std::string::npos : bar - from));
        if (bar == std::string::npos) return parts;
        from = bar + 1;
    }
}

// Qt separates patterns by blanks where the filter may use ";", and its "*.*" needs a dot.
std::string QtPatterns(const std::string& patterns) {
    std::string result;
    size_t from = 0;
    while (from <= patterns.size()) {
        size_t end = patterns.find(';', from);
        if (end == std::string::npos) end = patterns.size();
        std::string one = patterns.substr(from, end - from);
        if (one == "*.*") one = "*";
        if (!one.empty()) result += (result.empty() ? "" : " ") + one;
        from = end + 1;
    }
    return result;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

QStringList QtNameFilters(const std::string& filter) {
    const std::vector<std::string> parts = SplitAtBars(filter);
    QStringList filters;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::string description = parts[i];
        const std::string shown = "(" + parts[i + 1] + ")";
        if (EndsWith(description, shown)) description.resize(description.size() - shown.size());
        else description += " ";
        filters << QStr(description + "(" + QtPatterns(parts[i + 1]) + ")");
    }
    return filters;
}

std::unique_ptr<QFileDialog> CreateOpenFileDialog(QWidget* owner, const TOpenDialogState& state) {
    auto dialog = std::make_unique<QFileDialog>(owner);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    // A typed name that does not exist is handed back as it is, except where several files
    // are asked for: they are to be read.
    dialog->setFileMode(state.MultiSelect ? QFileDialog::ExistingFiles : QFileDialog::AnyFile);
    dialog->setFilter(dialog->filter() & ~QDir::CaseSensitive);
    dialog->setNameFilters(QtNameFilters(state.Filter));
    if (!state.Title.empty()) dialog->setWindowTitle(QStr(state.Title));
    dialog->setViewMode(state.DetailsView ? QFileDialog::Detail : QFileDialog::List);
    dialog->setSizeGripEnabled(true);
    if (!state.FileName.empty()) {
        const QFileInfo initial(QStr(state.FileName));
        dialog->setDirectory(initial.absolutePath());
        dialog->selectFile(initial.fileName());
    }
    return dialog;
}

bool TQtDialogs::ExecuteOpenDialog(QWidget* owner, TOpenDialogState& state) {
    const std::unique_ptr<QFileDialog> dialog = CreateOpenFileDialog(owner, state);
    if (dialog->exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog->selectedFiles();
    if (chosen.isEmpty()) return false;
    state.FileName = StdStr(chosen.first());
    state.FileNames.clear();
    if (state.MultiSelect)
        for (const QString& file : chosen) state.FileNames.push_back(StdStr(file));
    // The system's open dialog moves the current directory to the chosen file's folder;
    // an empty directory box stands for that folder.
    QDir::setCurrent(QFileInfo(chosen.first()).absolutePath());
    return true;
}

bool TQtDialogs::BrowseForFolder(QWidget* owner, const std::string& title, const std::string& preselected,
                                 std::string& chosen) {
    const QString folder = QFileDialog::getExistingDirectory(
        owner, QStr(title), QStr(preselected), QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    if (folder.isEmpty()) return false;
    chosen = StdStr(folder);
    return true;
}

bool TQtDialogs::Confirm(QWidget* owner, const std::string& text) {
    QMessageBox box(QMessageBox::Question, QStr(ConfirmTitle), DisplayLines(text),
                    QMessageBox::Yes | QMessageBox::No, owner);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

bool TQtDialogs::Ask(QWidget* owner, const std::string& title, const std::string& text) {
    QMessageBox box(QMessageBox::Question, QStr(title), DisplayLines(text), QMessageBox::Yes | QMessageBox::No, owner);
    box.setObjectName(QStringLiteral("QuestionBox"));
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void TQtDialogs::ShowAbout(QWidget* owner, const std::string& title, const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QStr(title), DisplayLines(text), QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void TQtDialogs::ShowError(QWidget* owner, const std::string& title, const std::string& text) {
    QMessageBox box(QMessageBox::Critical, QStr(title), DisplayLines(text), QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void TDialogs::ShowWithDetails(QWidget* owner, bool error, const std::string& title, const std::string& summary,
                               const std::string& details) {
    const std::string text = details.empty() ? summary : summary + "\n" + details;
    if (error) ShowError(owner, title, text);
    else ShowWarning(owner, title, text);
}

std::unique_ptr<QMessageBox> CreateDetailedMessageBox(QWidget* owner, bool error, const std::string& title,
                                                      const std::string& summary, const std::string& details) {
    auto box = std::make_unique<QMessageBox>(error ? QMessageBox::Critical : QMessageBox::Warning, QStr(title),
                                             DisplayLines(summary), QMessageBox::Ok, owner);
    box->setTextFormat(Qt::PlainText);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    if (!details.empty()) box->setDetailedText(DisplayLines(details));
    return box;
}

void TQtDialogs::ShowWithDetails(QWidget* owner, bool error, const std::string& title, const std::string& summary,
                                 const std::string& details) {
    CreateDetailedMessageBox(owner, error, title, summary, details)->exec();
}

void TQtDialogs::ShowWarning(QWidget* owner, const std::string& title, const std::string& text) {
    QMessageBox box(QMessageBox::Warning, QStr(title), DisplayLines(text), QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
