#include "shell/command_line.h"

#include <QCommandLineParser>

#include <algorithm>

#include "shell/app_identity.h"

namespace shell {

namespace {

QString text(const std::u16string& value) {
    return QString::fromStdU16String(value);
}

bool takes(const messenger::BindingOption& option, const QString& value) {
    return option.accepts ? option.accepts(value.toStdU16String()) : !value.isEmpty();
}

}  // namespace

ParsedCommandLine parseCommandLine(const QStringList& arguments,
                                   const std::vector<messenger::Binding>& bindings) {
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
    // A binding chosen by an option of its own (--demo) comes first, with its
    // options; the options of the bindings tried in turn come last.
    std::vector<std::size_t> chosenOnes;
    std::vector<std::size_t> triedOnes;
    for (std::size_t i = 0; i < bindings.size(); ++i) {
        (bindings[i].choice.name.empty() ? triedOnes : chosenOnes).push_back(i);
    }
    auto add = [&parser](const messenger::BindingOption& option) {
        parser.addOption(QCommandLineOption(text(option.name), text(option.description),
                                            text(option.valueName)));
    };
    for (std::size_t i : chosenOnes) {
        add(bindings[i].choice);
        std::for_each(bindings[i].options.begin(), bindings[i].options.end(), add);
    }
    const QCommandLineOption logFile(
        QStringLiteral("log-file"),
        QStringLiteral("Also keep the log in <file>: every line, as the window shows it, is "
                       "added to its end as it is logged and kept there after the program "
                       "ends, even if it crashes. One program at a time writes to a file."),
        QStringLiteral("file"));
    parser.addOption(logFile);
    const QCommandLineOption diagnose(
        QStringLiteral("diagnose"),
        QStringLiteral("Write a report of what Quavel Logger finds of your messenger client, and "
                       "of the client's events for a while, to standard output, then quit. "
                       "Names, addresses and texts are hidden."));
    const QCommandLineOption diagnoseNames(
        QStringLiteral("diagnose-names"),
        QStringLiteral("With --diagnose: show names, addresses and texts as the client gives "
                       "them."));
    const QCommandLineOption diagnoseSeconds(
        QStringLiteral("diagnose-seconds"),
        QStringLiteral("With --diagnose: watch the client's events for <n> seconds, from 1 to "
                       "3600 (default 60)."),
        QStringLiteral("n"));
    parser.addOptions({diagnose, diagnoseNames, diagnoseSeconds});
    for (std::size_t i : triedOnes) {
        std::for_each(bindings[i].options.begin(), bindings[i].options.end(), add);
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

    if (parser.isSet(logFile)) {
        result.options.logFile = parser.value(logFile);
        if (result.options.logFile.isEmpty()) {
            return fail(QStringLiteral("--log-file needs the name of a file."));
        }
    }
    if (parser.isSet(diagnose)) {
        // The report goes to standard output, where a redirection keeps it.
        if (parser.isSet(logFile)) {
            return fail(
                QStringLiteral("--log-file does not apply with --diagnose, whose report "
                               "goes to standard output: add '> report.txt' to keep "
                               "it in a file."));
        }
        messenger::DiagnosisRequest request;
        request.showNames = parser.isSet(diagnoseNames);
        if (parser.isSet(diagnoseSeconds)) {
            bool ok = false;
            const int seconds = parser.value(diagnoseSeconds).toInt(&ok);
            if (!ok || seconds < 1 || seconds > 3600) {
                return fail(QStringLiteral("--diagnose-seconds needs a whole number of seconds "
                                           "from 1 to 3600, not '%1'.")
                                .arg(parser.value(diagnoseSeconds)));
            }
            request.watchFor = std::chrono::seconds(seconds);
        }
        result.options.diagnosis = request;
    } else if (parser.isSet(diagnoseNames) || parser.isSet(diagnoseSeconds)) {
        return fail(QStringLiteral("--%1 only applies with --diagnose.")
                        .arg(parser.isSet(diagnoseNames) ? diagnoseNames.names().first()
                                                         : diagnoseSeconds.names().first()));
    }
    QStringList choices;
    for (std::size_t i : chosenOnes) {
        const QString choice = text(bindings[i].choice.name);
        if (!result.options.chosenBinding && parser.isSet(choice)) {
            result.options.chosenBinding = i;
        }
        choices << QStringLiteral("--") + choice;
    }
    // A chosen binding's options take the values it can use, and apply with
    // it alone.
    for (std::size_t i : chosenOnes) {
        QStringList names;
        bool given = false;
        for (const messenger::BindingOption& option : bindings[i].options) {
            const QString name = text(option.name);
            names << QStringLiteral("--") + name;
            if (!parser.isSet(name)) {
                continue;
            }
            given = true;
            const QString value = parser.value(name);
            if (!takes(option, value)) {
                return fail(QStringLiteral("--%1 needs %2, not '%3'.")
                                .arg(name, text(option.valueNeeded), value));
            }
            result.options.clientSettings[option.name] = value.toStdU16String();
        }
        if (given && result.options.chosenBinding != i) {
            return fail(
                QStringLiteral("%1 only %2 with --%3.")
                    .arg(names.join(QStringLiteral(" and ")),
                         names.size() == 1 ? QStringLiteral("applies") : QStringLiteral("apply"),
                         text(bindings[i].choice.name)));
        }
    }
    for (std::size_t i : triedOnes) {
        for (const messenger::BindingOption& option : bindings[i].options) {
            const QString name = text(option.name);
            if (!parser.isSet(name)) {
                continue;
            }
            const QString value = parser.value(name);
            if (result.options.chosenBinding || !takes(option, value)) {
                return fail(
                    QStringLiteral("--%1 needs %2 and does not apply with %3.")
                        .arg(name, text(option.valueNeeded), choices.join(QStringLiteral(" or "))));
            }
            result.options.clientSettings[option.name] = value.toStdU16String();
        }
    }
    return result;
}

}  // namespace shell
