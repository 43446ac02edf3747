#include "eventlog/system_case.h"

namespace eventlog {

QString systemLowerCase(const QString& text, const QLocale& locale) {
    // Qt maps through ICU, which knows every language's rules.
    return locale.toLower(text);
}

}  // namespace eventlog
