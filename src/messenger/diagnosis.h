#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>

#include "messenger/decimal_text.h"

// What a binding tells of its client for --diagnose: a plain-text report,
// read by people who were not there, so it changes nothing in the client and
// shows no one's name or address unless asked to.
namespace messenger {

struct DiagnosisRequest {
    // How long to watch and report the client's events.
    std::chrono::seconds watchFor{60};
    // Names and addresses as the client gives them; else placeholders.
    bool showNames = false;
};

// Where a binding writes its part, a line at a time (no line break).
using ReportLine = std::function<void(const std::u16string& line)>;

// Stands in for names and addresses: the same text gets the same
// placeholder throughout one report, so a reader can still follow who did
// what.
class Placeholders {
public:
    explicit Placeholders(bool showNames) : showNames_(showNames) {}

    // kind: what the text is, as in u"contact" or u"account".
    std::u16string of(const std::u16string& kind, const std::u16string& text) {
        if (showNames_) {
            return text;
        }
        if (text.empty()) {
            return u"<empty>";
        }
        auto& given = given_[kind];
        auto [found, added] = given.emplace(text, given.size() + 1);
        return u"<" + kind + u" " + decimalText(static_cast<long long>(found->second)) + u">";
    }

private:
    bool showNames_;
    std::map<std::u16string, std::map<std::u16string, std::size_t>> given_;
};

}  // namespace messenger
