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

    // Building always turns .loc texts into tables: a tree to pack holds them as text.
    int32_t folderCount = 0;
    int32_t fileCount = 0;
    TNotices notices;
    const bool ok = services_.Engine.MakeArchive(CheckBox_XBOX->isChecked(), source, archive, ProgressRoutine(), true,
                                                 folderCount, fileCount, &notices);
    SetCaption(ok ? PackedText(folderCount, fileCount) : ErrorText);
    ShowNotices(ok, notices);
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
    const std::string tag = HashTagFromFileName(dialog.FileName);
    TNotices notices;
    const bool ok = services_.Engine.ReplaceOneFile(CheckBox_XBOX->isChecked(), archive, dialog.FileName, tag,
                                                    AutoConvertLOCfiles, true, &notices, ProgressRoutine());
    SetCaption(ok ? kUpdatedText : ErrorText);
    ShowNotices(ok, notices);
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
    int32_t replacedCount = 0;
    TNotices notices;
    const bool ok = services_.Engine.ReplaceFromDirectory(CheckBox_XBOX->isChecked(), Text(Edit1), source,
                                                          CheckBox_hash->isChecked(), AutoConvertLOCfiles,
                                                          ProgressRoutine(), replacedCount, &notices);
    if (!ok) SetCaption(ErrorText);
    else if (replacedCount >= 1) SetCaption(UpdatedFilesText(replacedCount));
    else SetCaption(kNothingToReplaceText);
    ShowNotices(ok, notices);
}
