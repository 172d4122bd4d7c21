#include "ui/application_icon.h"

#include <QApplication>

namespace {

// The sizes tools/render-icons.sh renders; the desktop picks the nearest one.
constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

}  // namespace

// The resource lives in a static library: without this call the linker may leave its
// registration out of the program. Outside any namespace, as the macro declares the
// registration function where it stands.
static void InitIconResource() { Q_INIT_RESOURCE(application_icon); }

QIcon ApplicationIcon() {
    InitIconResource();
    QIcon icon;
    for (const int size : kIconSizes) icon.addFile(QStringLiteral(":/icons/vpak-%1.png").arg(size), QSize(size, size));
    return icon;
}

void PresentApplication() {
    QApplication::setWindowIcon(ApplicationIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral(VPAK_APP_ID));
}
