#pragma once

#include <QPlainTextEdit>

#include <memory>

#include "clock.h"
#include "demo/demo_service.h"
#include "event_handlers.h"
#include "log_line.h"

// The literal way of keeping the log, for comparison: every line reads the
// whole text of a text box and writes it back with the line added, then
// puts the caret at the end. The same handlers and line format feed it.
class LiteralLog final : private messenger::HandlerHost {
public:
    LiteralLog(const std::shared_ptr<messenger::demo::DemoService>& demo,
               const eventlog::Clock& clock);
    ~LiteralLog();

    QPlainTextEdit& view() { return view_; }

private:
    messenger::Client& client() override { return *client_; }
    void LogEvent(const QString& sEmail, const QString& sEventText) override;
    void applyCaptionRule() override {}
    void reportError(const messenger::Error&) override {}

    const eventlog::Clock& clock_;
    eventlog::LogLineFormat format_;
    QPlainTextEdit view_;
    messenger::EventHandlers handlers_{*this};
    std::unique_ptr<messenger::Client> client_;
};
