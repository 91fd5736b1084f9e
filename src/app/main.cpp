#include "app/fonts.h"
#include "app/mainwindow.h"
#include "app/profileactions.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Varo Utility"));
    varo::app::installFontSubstitutions();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Maintenance and configuration utility for Varo Series readers."));
    parser.addHelpOption();
    const QCommandLineOption profile(
        QStringLiteral("profile"),
        QStringLiteral("Start with the reader options of the profile <file> (checked like "
                       "\"Get Settings\"; an invalid profile leaves the default settings)."),
        QStringLiteral("file"));
    parser.addOption(profile);
    parser.process(app);

    varo::app::MainWindow window;
    window.show();
    window.startUp();
    if (parser.isSet(profile))
        window.profileActions()->loadAtStartUp(parser.value(profile));
    return app.exec();
}
