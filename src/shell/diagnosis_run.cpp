#include "shell/diagnosis_run.h"

#include <QCoreApplication>
#include <QSysInfo>

#include "eventlog/display_text.h"
#include "shell/app_identity.h"
#include "shell/console_text.h"

namespace shell {

namespace {

// Where a windowed program started without a console prints in a message
// box (Windows), the report is shown once, whole, at the end.
#ifdef Q_OS_WIN
constexpr bool kPrintAtEnd = true;
#else
constexpr bool kPrintAtEnd = false;
#endif

class Report {
public:
    ~Report() {
        if (!kept_.isEmpty()) {
            printForUser(ConsoleStream::Output, kept_);
        }
    }
    Report() = default;
    Report(const Report&) = delete;
    Report& operator=(const Report&) = delete;

    // Names from the client may hold line breaks or terminal controls: one
    // line stays one line, and shows no control.
    void line(const QString& text) {
        const QString safe = eventlog::displayText(text) + u'\n';
        if (kPrintAtEnd) {
            kept_ += safe;
        } else {
            printForUser(ConsoleStream::Output, safe);
        }
    }

private:
    QString kept_;
};

QString headingOf(const messenger::Binding& binding, std::size_t number, std::size_t count) {
    if (!binding.choice.name.empty()) {
        return QStringLiteral("== The client chosen with --%1 ==")
            .arg(QString::fromStdU16String(binding.choice.name));
    }
    return QStringLiteral("== Client binding %1 of %2, tried when none is chosen ==")
        .arg(number)
        .arg(count);
}

}  // namespace

int runDiagnosis(int argc, char** argv, const Options& options,
                 const std::vector<messenger::Binding>& bindings) {
    const QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(productName());
    QCoreApplication::setApplicationVersion(productVersion());
    const messenger::DiagnosisRequest& request = *options.diagnosis;

    Report report;
    report.line(QStringLiteral("%1 %2: what it finds of your messenger client")
                    .arg(productName(), productVersion()));
    report.line(QStringLiteral("System: %1; kernel %2 %3; CPU %4; built for %5 with Qt %6 "
                               "(running with Qt %7)")
                    .arg(QSysInfo::prettyProductName(), QSysInfo::kernelType(),
                         QSysInfo::kernelVersion(), QSysInfo::currentCpuArchitecture(),
                         QSysInfo::buildAbi(), QStringLiteral(QT_VERSION_STR),
                         QString::fromLatin1(qVersion())));
    report.line(request.showNames
                    ? QStringLiteral("Names and addresses are shown as the client gives them.")
                    : QStringLiteral("Names, addresses and texts are hidden: each shows as "
                                     "<kind number>, the same for the same one throughout."));
    report.line(QStringLiteral("Events are watched for %1 s.").arg(request.watchFor.count()));

    std::vector<std::size_t> parts;
    for (std::size_t i = 0; i < bindings.size(); ++i) {
        if (options.chosenBinding ? i == *options.chosenBinding : bindings[i].choice.name.empty()) {
            parts.push_back(i);
        }
    }
    if (parts.empty()) {
        report.line(QString());
        report.line(QStringLiteral("This build of %1 reaches no messenger client: only --demo.")
                        .arg(productName()));
    }
    std::size_t number = 0;
    for (std::size_t i : parts) {
        const messenger::Binding& binding = bindings[i];
        report.line(QString());
        report.line(headingOf(binding, ++number, parts.size()));
        if (!binding.diagnose) {
            report.line(QStringLiteral("This binding has no report of its own."));
            continue;
        }
        binding.diagnose(options.clientSettings, request, [&report](const std::u16string& line) {
            report.line(QString::fromStdU16String(line));
        });
    }
    report.line(QString());
    report.line(QStringLiteral("End of the report. To ask for help, send it to %1 with what "
                               "you expected to see.")
                    .arg(supportAddress()));
    return 0;
}

}  // namespace shell
