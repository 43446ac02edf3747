#include "literal_log.h"

#include <QTextCursor>

LiteralLog::LiteralLog(const std::shared_ptr<messenger::demo::DemoService>& demo,
                       const eventlog::Clock& clock, Way way)
    : clock_(clock),
      way_(way),
      format_(QLocale()),
      client_(messenger::demo::connect(demo, handlers_)) {
    view_.setReadOnly(true);
    view_.setUndoRedoEnabled(false);
    view_.setFont(QFont(QStringLiteral("Arial"), 9));
    view_.resize(537, 73);
}

LiteralLog::~LiteralLog() = default;

void LiteralLog::logEvent(const QString& signinName, const QString& eventText) {
    const QString line = format_.compose(clock_.now().time(), signinName, eventText);
    if (way_ == Way::Append) {
        view_.appendPlainText(line);
        return;
    }
    const QString text = view_.toPlainText();
    view_.setPlainText(text.isEmpty() ? line : text + u'\n' + line);
    view_.moveCursor(QTextCursor::End);
}
