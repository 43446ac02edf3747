// How long attaching to a running libpurple client takes: run by
// bench/purple_attach.sh, which starts Finch with a buddy list of a chosen
// size on a private bus. Prints the median of several attaches.
#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "messenger/purple/purple_client.h"

namespace {

class IgnoringSink final : public messenger::EventSink {
public:
    void contactNameChanged(const std::shared_ptr<messenger::Contact>&) override {}
    void contactStatusChanged(const std::shared_ptr<messenger::Contact>&) override {}
    void conversationOpened(const std::shared_ptr<messenger::ConversationWindow>&) override {}
    void conversationClosed(const std::shared_ptr<messenger::ConversationWindow>&) override {}
    void myNameChanged() override {}
    void myStatusChanged() override {}
    void clientFailed(const messenger::Error&) override {}
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
            client->myFriendlyName();  // the subscriptions are in place once this answers
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
