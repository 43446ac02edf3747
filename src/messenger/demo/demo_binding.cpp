#include <QString>
#include <QTimer>

#include <optional>
#include <random>

#include "messenger/binding.h"
#include "messenger/demo/demo_diagnosis.h"
#include "messenger/demo/demo_life.h"

namespace messenger::demo {

namespace {

std::optional<std::uint32_t> seedIn(const std::u16string& text) {
    bool ok = false;
    const uint value = QString::fromStdU16String(text).toUInt(&ok);
    return ok ? std::optional<std::uint32_t>(value) : std::nullopt;
}

std::optional<int> intervalIn(const std::u16string& text) {
    bool ok = false;
    const int value = QString::fromStdU16String(text).toInt(&ok);
    return ok && value >= 1 ? std::optional<int>(value) : std::nullopt;
}

// The story the options ask for: a seed given, else a new one each time.
struct Story {
    std::uint32_t seed;
    int meanIntervalMs;
};

Story storyOf(const BindingSettings& settings) {
    const auto seed = settings.find(u"seed");
    const auto interval = settings.find(u"demo-interval");
    return {seed == settings.end() ? std::random_device()() : seedIn(seed->second).value(),
            interval == settings.end() ? 4000 : intervalIn(interval->second).value()};
}

// The simulated client with its life: it lives as long as the program is
// attached to it.
class LivingClient final : public Client {
public:
    LivingClient(EventSink& sink, std::uint32_t seed, int meanIntervalMs)
        : service_(std::make_shared<DemoService>(
              [](std::function<void()> task) { QTimer::singleShot(0, std::move(task)); })),
          client_(connect(service_, sink)),
          life_(service_, seed, meanIntervalMs) {
        life_.start();
    }

    std::u16string mySigninName() const override { return client_->mySigninName(); }
    std::u16string myFriendlyName() const override { return client_->myFriendlyName(); }
    std::int32_t myStatus() const override { return client_->myStatus(); }
    void requestMyStatus(std::int32_t status) override { client_->requestMyStatus(status); }

private:
    std::shared_ptr<DemoService> service_;
    std::unique_ptr<Client> client_;
    DemoLife life_;
};

}  // namespace

Binding binding() {
    BindingOption seed{u"seed", u"n",
                       u"With --demo: replay the simulated client's story <n> (a whole number).",
                       u"a whole number from 0 to 4294967295",
                       [](const std::u16string& value) { return seedIn(value).has_value(); }};
    BindingOption interval{
        u"demo-interval", u"ms",
        u"With --demo: mean time between simulated events, in milliseconds (default 4000).",
        u"a number of milliseconds above 0",
        [](const std::u16string& value) { return intervalIn(value).has_value(); }};
    return {
        .choice = {.name = u"demo",
                   .description = u"Attach to a built-in, simulated client instead of a real one."},
        .options = {std::move(seed), std::move(interval)},
        .connect = [](EventSink& sink, const BindingSettings& settings) -> std::unique_ptr<Client> {
            const Story story = storyOf(settings);
            return std::make_unique<LivingClient>(sink, story.seed, story.meanIntervalMs);
        },
        .diagnose =
            [](const BindingSettings& settings, const DiagnosisRequest& request,
               const ReportLine& write) {
                const Story story = storyOf(settings);
                diagnose(story.seed, story.meanIntervalMs, request, write);
            }};
}

}  // namespace messenger::demo
