#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace shell {

struct Options {
    bool demo = false;
    std::optional<std::uint32_t> seed;
    int demoIntervalMs = 4000;
    QString account;  // the client account to log; empty: the first signed-in one
};

struct ParsedCommandLine {
    enum class Action { Run, ShowHelp, ShowVersion, Fail };
    Action action = Action::Run;
    Options options;
    QString text;  // help, version or error text, ready to print
};

ParsedCommandLine parseCommandLine(const QStringList& arguments);

}  // namespace shell
