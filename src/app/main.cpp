#include "app/app_icon.h"
#include "base/app_state.h"
#include "app/qt_ui_services.h"
#include "app/settings.h"
#include "app/windows.h"
#include "link/box_link.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("varnel"));
    QApplication::setApplicationVersion(QStringLiteral("1.1"));
    // Every window without an icon of its own shows the program's in its title bar.
    QApplication::setWindowIcon(varnel::AppIcon());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Configures the Kex Interface."));
    parser.addHelpOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("Talk to the box on DEVICE (a serial device path) for this run, whatever "
                       "the settings say."),
        QStringLiteral("DEVICE"));
    parser.addOption(portOption);
    parser.addPositionalArgument(
        QStringLiteral("word"),
        QStringLiteral("Diagnostic word, as the first argument (shows the EEPROM grid)."),
        QStringLiteral("[word]"));
    parser.addPositionalArgument(
        QStringLiteral("file"),
        QStringLiteral("A project (*.KEX) to open, or a meter file (*.maf) to open in the meter "
                       "editor, once the window is up."),
        QStringLiteral("[file]"));
    parser.process(app);

    varnel::AppState state;
    const QString programDir = QApplication::applicationDirPath();
    state.AppDir = varnel::DefaultAppDir(programDir);
    if (varnel::IsInstalledProgramDir(programDir))
        varnel::PlaceSamples(state.AppDir, programDir + QStringLiteral("/../share/varnel/samples"));
    state.ProjectDir = state.AppDir;
    state.SettingsPath = varnel::DefaultSettingsPath();
    QString problem;
    if (!varnel::TakeStartArguments(parser.positionalArguments(), state, problem)) {
        std::fprintf(stderr, "varnel: %s\n", qPrintable(problem));
        return 2;
    }

    varnel::BoxLink link;
    link.PortOverride = parser.value(portOption);
    varnel::QtUiServices ui;
    auto mainForm = varnel::CreateWindows(state, link, ui);
    mainForm->show();
    return app.exec();
}
