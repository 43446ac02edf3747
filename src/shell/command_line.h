#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>
#include <optional>
#include <vector>

#include "messenger/binding.h"
#include "messenger/diagnosis.h"

namespace shell {

struct Options {
    // The binding chosen by its option (as --demo), by its index among those
    // given; none to try the others in turn.
    std::optional<std::size_t> chosenBinding;
    // Where every line of the log is also appended; empty for none.
    QString logFile;
    // Values of the options of the binding chosen, or of those tried.
    messenger::BindingSettings clientSettings;
    // --diagnose: write a report of the client instead of logging it.
    std::optional<messenger::DiagnosisRequest> diagnosis;
};

struct ParsedCommandLine {
    enum class Action { Run, ShowHelp, ShowVersion, Fail };
    Action action = Action::Run;
    Options options;
    QString text;  // help, version or error text, ready to print
};

// bindings: the program's client bindings, whose options it takes.
ParsedCommandLine parseCommandLine(const QStringList& arguments,
                                   const std::vector<messenger::Binding>& bindings = {});

}  // namespace shell
