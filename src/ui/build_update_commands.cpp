// The commands that write archives: Make .PAK builds one from the directory, Replace1
// replaces the entry whose hash tag a chosen file's name carries, ReplaceX replaces every
// entry the directory holds a counterpart for.
#include <QCheckBox>
#include <QLineEdit>

#include "engine/hash_tag.h"
#include "support/existence.h"
#include "ui/main_window.h"
#include "ui/text_bridge.h"
#include "ui/ui_texts.h"

void TForm1::Button_MakeArchiveClick() {
    SetCaption("");
    const std::string archive = Text(Edit1);
    const std::string source = Text(Edit2);
    if (archive.empty() || source.empty()) return;

    TBusyScope busy(*this);
    if (!busy.Entered()) return;

    if (FileExistsSafe(archive) &&
        !Confirm("Warning!", "The given file already exists!", "Do you really want to overwrite it?"))
        return;

    TNotices notices;
    TMakeRequest request;
    request.bigEndian = CheckBox_XBOX->isChecked();
    request.sourceDir = source;
    request.archivePath = archive;
    // Building always turns .loc texts into tables: a tree to pack holds them as text.
    request.convertLoc = true;
    request.progress = ProgressRoutine();
    request.notices = &notices;
    const TMakeResult result = services_.Engine.MakeArchive(request);
    SetCaption(result.ok ? PackedText(result.folderCount, result.fileCount) : ErrorText);
    ShowNotices(result.ok, notices);
}

void TForm1::Button_update1Click() {
    SetCaption("");
    const std::string archive = Text(Edit1);
    if (archive.empty()) return;

    TBusyScope busy(*this);
    if (!busy.Entered()) return;

    TOpenDialogState dialog;
    dialog.Title = "Please select the file to replace in the active ." + ArchiveExt + " archive:";
    dialog.Filter = "All files (*.*)|*.*";
    if (!services_.Dialogs->ExecuteOpenDialog(this, dialog)) return;

    // The entry is found by the tag in the file's name; the engine refuses a name without
    // one, and says so, before it touches the archive.
    TNotices notices;
    TReplaceFileRequest request;
    request.bigEndian = CheckBox_XBOX->isChecked();
    request.archivePath = archive;
    request.filePath = dialog.FileName;
    request.key = HashTagFromFileName(dialog.FileName);
    request.matchByTag = true;
    request.convertLoc = AutoConvertLOCfiles;
    request.progress = ProgressRoutine();
    request.notices = &notices;
    const TReplaceResult result = services_.Engine.ReplaceOneFile(request);
    SetCaption(result.ok ? kUpdatedText : ErrorText);
    ShowNotices(result.ok, notices);
}

void TForm1::Button_updateXClick() {
    TBusyScope busy(*this);
    if (!busy.Entered()) return;

    SetCaption("");
    // The engine would take an empty directory for the folder the program was started
    // from, which a person never sees in the window: that is refused here. An empty archive
    // box fails in the engine, which says why.
    const std::string source = Text(Edit2);
    if (source.empty()) {
        services_.Dialogs->ShowError(this, TitleLine, EmptyDirectoryText);
        return;
    }
    TNotices notices;
    TReplaceDirRequest request;
    request.bigEndian = CheckBox_XBOX->isChecked();
    request.archivePath = Text(Edit1);
    request.sourceDir = source;
    request.matchByTag = CheckBox_hash->isChecked();
    request.convertLoc = AutoConvertLOCfiles;
    request.progress = ProgressRoutine();
    request.notices = &notices;
    const TReplaceResult result = services_.Engine.ReplaceFromDirectory(request);
    if (!result.ok) SetCaption(ErrorText);
    else if (result.replacedCount >= 1) SetCaption(UpdatedFilesText(result.replacedCount));
    else SetCaption(kNothingToReplaceText);
    ShowNotices(result.ok, notices);
}
