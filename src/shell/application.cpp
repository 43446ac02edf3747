#include "shell/application.h"

#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QTimer>

#include <memory>

#include "eventlog/clock.h"
#include "eventlog/display_text.h"
#include "eventlog/log_file.h"
#include "messenger/binding.h"
#include "shell/app_identity.h"
#include "shell/client_choice.h"
#include "shell/command_line.h"
#include "shell/console_text.h"
#include "shell/diagnosis_run.h"
#include "shell/error_report.h"
#include "shell/main_window.h"

namespace shell {

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

QStringList argumentList(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return arguments;
}

bool canShowDialogs() {
    const QString platform = QGuiApplication::platformName();
    return platform != QStringLiteral("offscreen") && platform != QStringLiteral("minimal");
}

}  // namespace

int runApplication(int argc, char** argv, std::function<void(MainWindow&)> whenShown) {
    // The command line first: --help, --version and --diagnose need no display.
    const ParsedCommandLine command =
        parseCommandLine(argumentList(argc, argv), messenger::builtInBindings());
    switch (command.action) {
        case ParsedCommandLine::Action::ShowHelp:
        case ParsedCommandLine::Action::ShowVersion:
            printForUser(ConsoleStream::Output, command.text);
            return 0;
        case ParsedCommandLine::Action::Fail:
            printForUser(ConsoleStream::Error, command.text + u'\n');
            return kExitUsage;
        case ParsedCommandLine::Action::Run: break;
    }
    const Options& options = command.options;
    if (options.diagnosis) {
        return runDiagnosis(argc, argv, options, messenger::builtInBindings());
    }

    QApplication app(argc, argv);
    // No display name: Qt would append it to every caption.
    QApplication::setApplicationName(productName());
    QApplication::setApplicationVersion(productVersion());

    ErrorReport errors(canShowDialogs());
    eventlog::SystemClock clock;
    const QLocale locale;

    // Before anything else shows: a file that cannot be kept ends the
    // program, and says what to do.
    std::unique_ptr<eventlog::LogFile> logFile;
    if (!options.logFile.isEmpty()) {
        QString reason;
        logFile = eventlog::LogFile::open(options.logFile, locale, &reason);
        if (!logFile) {
            errors.reportFatal(
                QStringLiteral("Cannot keep the log in %1: %2. Choose another file with "
                               "--log-file, or start without it.")
                    .arg(eventlog::displayText(QDir::toNativeSeparators(options.logFile)),
                         eventlog::displayText(reason)));
            return kExitFailure;
        }
    }

    MainWindow window({chooseClient(messenger::builtInBindings(), options), clock, locale, errors,
                       [] { QApplication::exit(0); }, logFile.get()});
    try {
        window.start();
    } catch (const messenger::Error& error) {
        errors.reportFatal(error);
        return kExitFailure;
    }
    window.show();
    if (whenShown) {
        QTimer::singleShot(0, &window, [&window, whenShown] { whenShown(window); });
    }
    return QApplication::exec();
}

}  // namespace shell
