#include "command_line.h"

#include <QCommandLineParser>

#include "app_identity.h"

namespace shell {

ParsedCommandLine parseCommandLine(const QStringList& arguments) {
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
#ifdef QUAVEL_HAVE_PURPLE
    // Only a libpurple client has several accounts to choose from.
    const QCommandLineOption account(
        QStringLiteral("account"),
        QStringLiteral(
            "Log the client account <name> (as in alice@example.org) rather than the first one "
            "signed in."),
        QStringLiteral("name"));
    parser.addOption(account);
#endif

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
#ifdef QUAVEL_HAVE_PURPLE
    result.options.account = parser.value(account);
    if (parser.isSet(account) && (result.options.demo || result.options.account.isEmpty())) {
        return fail(
            QStringLiteral("--account needs an account name and does not apply with --demo."));
    }
#endif
    return result;
}

}  // namespace shell
