#pragma once

#include <QPlainTextEdit>

#include <memory>

#include "eventlog/clock.h"
#include "eventlog/log_line.h"
#include "messenger/demo/demo_service.h"
#include "shell/event_handlers.h"

// The literal way of keeping the log, for comparison: every line reads the
// whole text of a text box and writes it back with the line added, then
// puts the caret at the end. The same handlers and line format feed it.
class LiteralLog final : private shell::HandlerHost {
public:
    LiteralLog(const std::shared_ptr<messenger::demo::DemoService>& demo,
               const eventlog::Clock& clock);
    ~LiteralLog();

    QPlainTextEdit& view() { return view_; }

private:
    messenger::Client& client() override { return *client_; }
    void logEvent(const QString& signinName, const QString& eventText) override;
    void updateTitle() override {}
    void reportError(const messenger::Error&) override {}

    const eventlog::Clock& clock_;
    eventlog::LogLineFormat format_;
    QPlainTextEdit view_;
    shell::EventHandlers handlers_{*this};
    std::unique_ptr<messenger::Client> client_;
};
