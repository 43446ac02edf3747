// How long attaching to a running libpurple client takes: run by
// bench/purple_attach.sh, which starts Finch with a buddy list of a chosen
// size on a private bus. Prints the median of several attaches.
#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "purple/purple_client.h"

namespace {

class IgnoringSink final : public messenger::EventSink {
public:
    void OnContactFriendlyNameChange(std::int32_t, const std::shared_ptr<messenger::Object>&,
                                     const std::u16string&) override {}
    void OnContactStatusChange(const std::shared_ptr<messenger::Object>&, std::int32_t) override {}
    void OnIMWindowCreated(const std::shared_ptr<messenger::Object>&) override {}
    void OnIMWindowDestroyed(const std::shared_ptr<messenger::Object>&) override {}
    void OnMyFriendlyNameChange(std::int32_t, const std::u16string&) override {}
    void OnMyStatusChange(std::int32_t, std::int32_t) override {}
    void OnClientError(const messenger::Error&) override {}
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    IgnoringSink sink;
    std::vector<double> times;
    try {
        for (int i = 0; i < rounds; ++i) {
            QElapsedTimer timer;
            timer.start();
            auto client = messenger::purple::connect(sink, QString());
            client->MyFriendlyName();  // the subscriptions are in place once this answers
            times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        }
    } catch (const messenger::Error& error) {
        std::fprintf(stderr, "cannot attach: %s\n",
                     QString::fromStdU16String(error.description()).toLocal8Bit().constData());
        return 1;
    }
    std::sort(times.begin(), times.end());
    std::printf("attach: median %.1f ms, best %.1f ms, worst %.1f ms (%d rounds)\n",
                times[times.size() / 2], times.front(), times.back(), rounds);
    return 0;
}
