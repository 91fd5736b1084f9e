#include "app/fonts.h"
#include "app/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Varo Utility"));
    varo::app::installFontSubstitutions();

    varo::app::MainWindow window;
    window.show();
    window.startUp();
    return app.exec();
}
