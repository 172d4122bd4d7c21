// vpak-gui: the window of the .PAK tool. It takes no arguments of its own.
#include <QApplication>

#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/settings_path.h"
#include "ui/text_bridge.h"
#include "ui/ui_texts.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    // The class part of the X11 window class, and the text the task bar shows.
    QApplication::setApplicationName(QStr(WindowClassName));
    QApplication::setApplicationDisplayName(QStr(ApplicationTitle));

    TFormServices services;
    services.Dialogs = std::make_unique<TQtDialogs>();
    services.SettingsFile = SettingsFileForThisProgram();
    TForm1 form(std::move(services));
    form.show();
    return application.exec();
}
