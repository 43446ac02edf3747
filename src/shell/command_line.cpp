#include "shell/command_line.h"

#include <QCommandLineParser>

#include "shell/app_identity.h"

namespace shell {

ParsedCommandLine parseCommandLine(const QStringList& arguments,
                                   const std::vector<messenger::BindingOption>& clientOptions) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Keeps a time-stamped log of what happens in your instant-messaging "
                       "client:\ncontacts' names and statuses, conversations opening and "
                       "closing, and your own\nname and status, which you can also set from "
                       "its File menu."));
    // Our own --help and --version: the parser's need a running application,
    // and these must work without a display.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    parser.addOptions({help, version});
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("Attach to a built-in, simulated client instead "
                                                 "of a real one."));
    const QCommandLineOption seed(
        QStringLiteral("seed"),
        QStringLiteral("With --demo: replay the simulated client's story <n> (a whole number)."),
        QStringLiteral("n"));
    const QCommandLineOption interval(
        QStringLiteral("demo-interval"),
        QStringLiteral("With --demo: mean time between simulated events, in milliseconds "
                       "(default 4000)."),
        QStringLiteral("ms"));
    parser.addOptions({demo, seed, interval});
    const QCommandLineOption logFile(
        QStringLiteral("log-file"),
        QStringLiteral("Also keep the log in <file>: every line, as the window shows it, is "
                       "added to its end as it is logged and kept there after the program "
                       "ends, even if it crashes. One program at a time writes to a file."),
        QStringLiteral("file"));
    parser.addOption(logFile);
    std::vector<QCommandLineOption> clientOptionsGiven;
    for (const messenger::BindingOption& option : clientOptions) {
        clientOptionsGiven.emplace_back(QString::fromStdU16String(option.name),
                                        QString::fromStdU16String(option.description),
                                        QString::fromStdU16String(option.valueName));
        parser.addOption(clientOptionsGiven.back());
    }

    ParsedCommandLine result;
    const QString executable =
        arguments.isEmpty() ? QStringLiteral("quavel-logger") : arguments.first();
    auto fail = [&](const QString& message) {
        result.action = ParsedCommandLine::Action::Fail;
        result.text =
            message + QStringLiteral("\nRun '%1 --help' to see the options.").arg(executable);
        return result;
    };

    if (!parser.parse(arguments)) {
        return fail(parser.errorText());
    }
    if (parser.isSet(help)) {
        result.action = ParsedCommandLine::Action::ShowHelp;
        result.text = parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                executable.section(u'/', -1));
        return result;
    }
    if (parser.isSet(version)) {
        result.action = ParsedCommandLine::Action::ShowVersion;
        result.text = productName() + u' ' + productVersion() + u'\n';
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return fail(
            QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first()));
    }

    result.options.demo = parser.isSet(demo);
    if (parser.isSet(logFile)) {
        result.options.logFile = parser.value(logFile);
        if (result.options.logFile.isEmpty()) {
            return fail(QStringLiteral("--log-file needs the name of a file."));
        }
    }
    if (parser.isSet(seed)) {
        bool ok = false;
        const uint value = parser.value(seed).toUInt(&ok);
        if (!ok) {
            return fail(
                QStringLiteral("--seed needs a whole number from 0 to 4294967295, not '%1'.")
                    .arg(parser.value(seed)));
        }
        result.options.seed = value;
    }
    if (parser.isSet(interval)) {
        bool ok = false;
        const int value = parser.value(interval).toInt(&ok);
        if (!ok || value < 1) {
            return fail(QStringLiteral("--demo-interval needs a number of milliseconds above 0, "
                                       "not '%1'.")
                            .arg(parser.value(interval)));
        }
        result.options.demoIntervalMs = value;
    }
    if ((parser.isSet(seed) || parser.isSet(interval)) && !result.options.demo) {
        return fail(QStringLiteral("--seed and --demo-interval only apply with --demo."));
    }
    for (std::size_t i = 0; i < clientOptions.size(); ++i) {
        const QCommandLineOption& option = clientOptionsGiven[i];
        if (!parser.isSet(option)) {
            continue;
        }
        const QString value = parser.value(option);
        if (result.options.demo || value.isEmpty()) {
            return fail(QStringLiteral("--%1 needs %2 and does not apply with --demo.")
                            .arg(option.names().first(),
                                 QString::fromStdU16String(clientOptions[i].valueNeeded)));
        }
        result.options.clientSettings[clientOptions[i].name] = value.toStdU16String();
    }
    return result;
}

}  // namespace shell
