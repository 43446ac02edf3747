#pragma once

#include <QList>
#include <QString>
#include <QVariantList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "messenger/error.h"

namespace messenger::purple {

class PurpleBus;

// The group of calls one event needs. They all go out at once, and a
// call's answer may ask for more; `done` runs once, when the last answer is
// in or at the first failure (later answers are then ignored).
//
// Who keeps what alive: each call waiting on the bus holds the group, so
// the group lives until its last answer is in (or the bus drops its calls).
// The targets its answers write into (a snapshot, by reference) are not
// held by it: whoever asks keeps them alive in `done`'s captures, which the
// group holds to the end.
class CallGroup : public std::enable_shared_from_this<CallGroup> {
public:
    using Done = std::function<void(const std::optional<Error>& failure)>;

    // Ask the first calls on the result, then start() it.
    static std::shared_ptr<CallGroup> make(PurpleBus& bus, Done done);

    void readInt(const QString& method, const QVariantList& arguments,
                 std::function<void(std::int32_t)> use);
    void readString(const QString& method, const QVariantList& arguments,
                    std::function<void(const QString&)> use);
    void readInts(const QString& method, const QVariantList& arguments,
                  std::function<void(const QList<std::int32_t>&)> use);
    void call(const QString& method, const QVariantList& arguments);
    // Calls whose answers are all needed before `then` asks for more (on
    // this one): ask them on the result, then start() it.
    std::shared_ptr<CallGroup> together(std::function<void()> then);
    // Ends the group with a failure of its own.
    void fail(const Error& error);
    // Done at once if nothing was asked.
    void start() { settle(); }

    CallGroup(PurpleBus& bus, Done done) : bus_(bus), done_(std::move(done)) {}

private:
    void ask(const QString& method, const QVariantList& arguments, const char* signature,
             std::function<void(const QVariant&)> use);
    void settle();

    PurpleBus& bus_;
    Done done_;
    int outstanding_ = 1;  // start() holds one until the first calls are asked
    bool finished_ = false;
};

}  // namespace messenger::purple
