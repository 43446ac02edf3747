#include "application.h"

#include <QApplication>
#include <QLocale>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <random>

#include "app_identity.h"
#include "clock.h"
#include "command_line.h"
#include "demo/demo_life.h"
#include "demo/demo_service.h"
#include "error_report.h"
#include "frm_main.h"
#ifdef QUAVEL_HAVE_COM
#include "com/com_client.h"
#elif defined(QUAVEL_HAVE_PURPLE)
#include "purple/purple_client.h"
#endif

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

void print(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

// The client of this platform. Where none is bound, attaching fails as
// attaching to a client that is not installed does.
messenger::ClientFactory platformClient([[maybe_unused]] const Options& options) {
#ifdef QUAVEL_HAVE_COM
    return [](messenger::EventSink& sink) { return messenger::com::connect(sink); };
#elif defined(QUAVEL_HAVE_PURPLE)
    return [account = options.account](messenger::EventSink& sink) {
        return messenger::purple::connect(sink, account);
    };
#else
    return [](messenger::EventSink&) -> std::unique_ptr<messenger::Client> {
        throw messenger::Error(
            messenger::errc::kClassNotRegistered,
            u"No messenger client was found. Start your messenger client and sign in, then "
            u"start Quavel Logger again. To try Quavel Logger without one, start it with "
            u"--demo.");
    };
#endif
}

bool canShowDialogs() {
    const QString platform = QGuiApplication::platformName();
    return platform != QStringLiteral("offscreen") && platform != QStringLiteral("minimal");
}

}  // namespace

int runApplication(int argc, char** argv, std::function<void(frmMain&)> whenShown) {
    // The command line first: --help and --version need no display.
    const ParsedCommandLine command = parseCommandLine(argumentList(argc, argv));
    switch (command.action) {
        case ParsedCommandLine::Action::ShowHelp:
        case ParsedCommandLine::Action::ShowVersion: print(stdout, command.text); return 0;
        case ParsedCommandLine::Action::Fail:
            print(stderr, command.text + u'\n');
            return kExitUsage;
        case ParsedCommandLine::Action::Run: break;
    }
    const Options& options = command.options;

    QApplication app(argc, argv);
    // No display name: Qt would append it to every caption.
    QApplication::setApplicationName(productName());
    QApplication::setApplicationVersion(productVersion());

    ErrorReport errors(canShowDialogs());
    eventlog::SystemClock clock;

    std::shared_ptr<messenger::demo::DemoService> demo;
    std::unique_ptr<messenger::demo::DemoLife> demoLife;
    messenger::ClientFactory connectClient;
    if (options.demo) {
        demo = std::make_shared<messenger::demo::DemoService>(
            [&app](std::function<void()> task) { QTimer::singleShot(0, &app, std::move(task)); });
        const std::uint32_t seed = options.seed ? *options.seed : std::random_device()();
        demoLife = std::make_unique<messenger::demo::DemoLife>(demo, seed, options.demoIntervalMs);
        connectClient = [demo](messenger::EventSink& sink) {
            return messenger::demo::connect(demo, sink);
        };
    } else {
        connectClient = platformClient(options);
    }

    frmMain window({connectClient, clock, QLocale(), errors, [] { QApplication::exit(0); }});
    try {
        window.Form_Load();
    } catch (const messenger::Error& error) {
        errors.reportFatal(error);
        return kExitFailure;
    }
    window.show();
    if (whenShown) {
        QTimer::singleShot(0, &window, [&window, whenShown] { whenShown(window); });
    }
    if (demoLife) {
        demoLife->start();
    }
    return QApplication::exec();
}

}  // namespace shell
