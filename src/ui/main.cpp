// vpak-gui [ARCHIVE]: the window of the .PAK tool, opening ARCHIVE when one is named.
#include <QApplication>
#include <QTimer>
#include <iostream>
#include <string>
#include <vector>

#include "engine/outcome_texts.h"
#include "ui/accessible_names.h"
#include "ui/application_icon.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/settings_path.h"
#include "ui/start_arguments.h"
#include "ui/window_title.h"

namespace {

constexpr int kExitUsage = 2;

// Prints the help or the version, when that is all the arguments ask for; true when it did.
bool AnswerInformation(const std::vector<std::string>& arguments) {
    switch (InformationAsked(arguments)) {
        case TStartAction::Help: std::cout << StartUsageText(); return true;
        case TStartAction::Version: std::cout << kTitleLine << '\n'; return true;
        default: return false;
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    // Answered before the toolkit starts: it needs a display, and the help does not.
    if (AnswerInformation(std::vector<std::string>(argv + 1, argv + argc))) return 0;
    // The toolkit takes its own options (-platform, -style ...) out of argv first.
    QApplication application(argc, argv);
    NameApplication();
    NameProgramForAssistiveTechnology();
    const TStartArguments start = ParseStartArguments(std::vector<std::string>(argv + 1, argv + argc));
    switch (start.action) {
        case TStartAction::Help: std::cout << StartUsageText(); return 0;
        case TStartAction::Version: std::cout << kTitleLine << '\n'; return 0;
        case TStartAction::Misused:
            std::cerr << "vpak-gui: " << start.problem << "\n\n" << StartUsageText();
            return kExitUsage;
        case TStartAction::Run: break;
    }

    PresentApplication();
    TFormServices services;
    services.Dialogs = std::make_unique<TQtDialogs>();
    services.SettingsFile = SettingsFileForThisProgram();
    TForm1 form(std::move(services));
    form.show();
    // Opened once the window stands on the screen, so that the caption shows the outcome.
    if (!start.archive.empty()) QTimer::singleShot(0, &form, [&] { form.OpenGivenArchive(start.archive); });
    return application.exec();
}
