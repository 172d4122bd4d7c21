// vpak-gui: the window of the .PAK tool. It takes no arguments of its own.
#include <QApplication>

#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/settings_path.h"
#include "ui/window_title.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    NameApplication();

    TFormServices services;
    services.Dialogs = std::make_unique<TQtDialogs>();
    services.SettingsFile = SettingsFileForThisProgram();
    TForm1 form(std::move(services));
    form.show();
    return application.exec();
}
