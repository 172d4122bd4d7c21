#include "ui/accessible_names.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleObject>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>
#include <vector>

#include "ui/text_bridge.h"
#include "ui/ui_texts.h"

namespace {

// The application as assistive technology sees it, named after the program.
class TNamedApplication : public QAccessibleApplication {
public:
    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name) return QStr(AccessibleProgramName);
        return QAccessibleApplication::text(kind);
    }
};

QAccessibleInterface* NamedApplicationFactory(const QString& className, QObject* object) {
    if (object == qApp && className == QLatin1String("QApplication")) return new TNamedApplication;
    return nullptr;
}

// A control's spoken name and its longer description, by object name.
struct TControlWords {
    const char* objectName;
    std::string name;
    std::string description;  // "": the control's tool tip serves
};

std::vector<TControlWords> ControlWords() {
    const std::string pak = "." + ArchiveExt + " file";
    return {
        {"Edit1", pak, "The " + pak + " that Extract, Replace and Make work on"},
        {"Edit2", "Directory", "The folder Extract writes to, and Make and ReplaceX read from"},
        {"Button_selectPAK", "Choose the " + pak + "...", ""},
        {"Button_selDIR", "Choose the directory...", ""},
        {"Button_Info", "About", ""},
        {"CheckBox_hash", "Hash tags in file names", ""},
        {"CheckBox_XBOX", "XBOX 360 archive", ""},
        {"ProgressBar1", "Progress", "How far the running command is"},
        {"ContentsTree", "Contents of the archive", "The folders and files of the open archive"},
        {"TreeFilter", "Find in the contents", "Shows only the entries whose path holds the text typed"},
    };
}

// The labels, each with the box it names.
const struct {
    const char* label;
    const char* box;
} kLabelBuddies[] = {{"Label1", "Edit1"}, {"Label2", "Edit2"}};

}  // namespace

void NameProgramForAssistiveTechnology() { QAccessible::installFactory(NamedApplicationFactory); }

void NameControlsForAssistiveTechnology(QWidget& window) {
    for (const TControlWords& words : ControlWords()) {
        auto* control = window.findChild<QWidget*>(QString::fromLatin1(words.objectName));
        if (control == nullptr) continue;
        control->setAccessibleName(QStr(words.name));
        if (!words.description.empty()) control->setAccessibleDescription(QStr(words.description));
    }
    for (const auto& pair : kLabelBuddies) {
        auto* label = window.findChild<QLabel*>(QString::fromLatin1(pair.label));
        auto* box = window.findChild<QWidget*>(QString::fromLatin1(pair.box));
        if (label != nullptr && box != nullptr) label->setBuddy(box);
    }
    // The clear button a line edit shows has no text of its own.
    if (auto* filter = window.findChild<QLineEdit*>(QStringLiteral("TreeFilter")))
        for (auto* button : filter->findChildren<QAbstractButton*>())
            if (button->accessibleName().isEmpty()) button->setAccessibleName(QStringLiteral("Clear the text"));
}
