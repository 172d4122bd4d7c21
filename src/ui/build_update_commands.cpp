// The commands that write archives: Make .PAK builds one from the directory, Replace1
// replaces the entry whose hash tag a chosen file's name carries, ReplaceX replaces every
// entry the directory holds a counterpart for.
#include <QCheckBox>
#include <QLineEdit>

#include "engine/hash_tag.h"
#include "support/number_text.h"
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
    const bool ok = services_.Engine.MakeArchive(CheckBox_XBOX->isChecked(), source, archive, ProgressRoutine(), true,
                                                 folderCount, fileCount);
    SetCaption(ok ? "O.K. Packed: " + GroupThousands(folderCount) + " dirs and " + GroupThousands(fileCount) +
                        " files!"
                  : ErrorText);
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

    // The entry is found by the tag in the file's name; a name without one replaces nothing.
    const std::string tag = HashTagFromFileName(dialog.FileName);
    const bool ok = !tag.empty() && services_.Engine.ReplaceOneFile(CheckBox_XBOX->isChecked(), archive,
                                                                    dialog.FileName, tag, AutoConvertLOCfiles, true,
                                                                    ProgressRoutine());
    SetCaption(ok ? "O.K. Successfully updated!" : ErrorText);
}

void TForm1::Button_updateXClick() {
    TBusyScope busy(*this);
    if (!busy.Entered()) return;

    SetCaption("");
    // Both boxes go to the engine as they are: an empty archive path fails there, an empty
    // directory stands for the current one.
    int32_t replacedCount = 0;
    const bool ok = services_.Engine.ReplaceFromDirectory(CheckBox_XBOX->isChecked(), Text(Edit1), Text(Edit2),
                                                          CheckBox_hash->isChecked(), AutoConvertLOCfiles,
                                                          ProgressRoutine(), replacedCount);
    if (!ok) SetCaption(ErrorText);
    else if (replacedCount >= 1) SetCaption("O.K. Successfully updated " + GroupThousands(replacedCount) + " files!");
    else SetCaption("I didn't find any file in the given directory.");
}
