#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

#include "messenger/binding.h"

namespace shell {

struct Options {
    bool demo = false;
    std::optional<std::uint32_t> seed;
    int demoIntervalMs = 4000;
    // Where every line of the log is also appended; empty for none.
    QString logFile;
    // Values of the client bindings' own options.
    messenger::BindingSettings clientSettings;
};

struct ParsedCommandLine {
    enum class Action { Run, ShowHelp, ShowVersion, Fail };
    Action action = Action::Run;
    Options options;
    QString text;  // help, version or error text, ready to print
};

// clientOptions: the options the program's client bindings take.
ParsedCommandLine parseCommandLine(const QStringList& arguments,
                                   const std::vector<messenger::BindingOption>& clientOptions = {});

}  // namespace shell
