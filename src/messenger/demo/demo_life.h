#pragma once

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "messenger/demo/demo_service.h"

namespace messenger::demo {

// Makes the simulated client live on its own while the program runs: every
// few seconds a contact changes status or name, a conversation opens or
// closes, now and then the user goes idle or renames themself. Everything
// happens on the thread that owns this object, from a seeded generator, so a
// seed replays the same story.
class DemoLife : public QObject {
    Q_OBJECT

public:
    DemoLife(std::shared_ptr<DemoService> service, std::uint32_t seed, int meanIntervalMs,
             QObject* parent = nullptr);

    void start();
    // One step of the story, as the timer takes it.
    void step();

private:
    void scheduleNext();
    int randomBelow(int bound);
    std::shared_ptr<DemoContact> randomContact();

    std::shared_ptr<DemoService> service_;
    std::mt19937 random_;
    int meanIntervalMs_;
    QTimer timer_;
    struct OpenWindow {
        std::shared_ptr<ConversationWindow> window;
        int stepsLeft;
    };
    std::vector<OpenWindow> openWindows_;
};

}  // namespace messenger::demo
