#pragma once

#include <QPlainTextEdit>

#include <memory>

#include "eventlog/clock.h"
#include "eventlog/log_line.h"
#include "messenger/demo/demo_service.h"
#include "shell/event_handlers.h"

// Other ways of keeping the log, for comparison, in Qt's read-only plain
// text box: the literal way, where every line reads the whole text and
// writes it back with the line added, then puts the caret at the end; or
// Qt's own way of adding a line. The same handlers and line format feed it.
class LiteralLog final : private shell::HandlerHost {
public:
    enum class Way { Rewrite, Append };

    LiteralLog(const std::shared_ptr<messenger::demo::DemoService>& demo,
               const eventlog::Clock& clock, Way way = Way::Rewrite);
    ~LiteralLog();

    QPlainTextEdit& view() { return view_; }

private:
    messenger::Client& client() override { return *client_; }
    void logEvent(const QString& signinName, const QString& eventText) override;
    void updateTitle() override {}
    void reportError(const messenger::Error&) override {}

    const eventlog::Clock& clock_;
    Way way_;
    eventlog::LogLineFormat format_;
    QPlainTextEdit view_;
    shell::EventHandlers handlers_{*this};
    std::unique_ptr<messenger::Client> client_;
};
