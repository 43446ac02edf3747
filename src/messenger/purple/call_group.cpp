#include "messenger/purple/call_group.h"

#include "messenger/purple/purple_bus.h"

namespace messenger::purple {

std::shared_ptr<CallGroup> CallGroup::make(PurpleBus& bus, Done done) {
    return std::make_shared<CallGroup>(bus, std::move(done));
}

void CallGroup::ask(const QString& method, const QVariantList& arguments, const char* signature,
                    std::function<void(const QVariant&)> use) {
    ++outstanding_;
    bus_.call(method, arguments, QLatin1String(signature),
              [self = shared_from_this(), use = std::move(use)](const QVariant& value,
                                                                const std::optional<Error>& error) {
                  if (self->finished_) {
                      return;
                  }
                  if (error) {
                      self->fail(*error);
                      return;
                  }
                  use(value);
                  self->settle();
              });
}

void CallGroup::settle() {
    if (--outstanding_ == 0 && !finished_) {
        finished_ = true;
        done_(std::nullopt);
    }
}

void CallGroup::fail(const Error& error) {
    if (!finished_) {
        finished_ = true;
        done_(error);
    }
}

std::shared_ptr<CallGroup> CallGroup::together(std::function<void()> then) {
    ++outstanding_;
    return make(bus_, [self = shared_from_this(),
                       then = std::move(then)](const std::optional<Error>& failure) {
        if (self->finished_) {
            return;
        }
        if (failure) {
            self->fail(*failure);
            return;
        }
        then();
        self->settle();
    });
}

void CallGroup::readInt(const QString& method, const QVariantList& arguments,
                        std::function<void(std::int32_t)> use) {
    ask(method, arguments, "i", [use = std::move(use)](const QVariant& v) { use(v.toInt()); });
}

void CallGroup::readString(const QString& method, const QVariantList& arguments,
                           std::function<void(const QString&)> use) {
    ask(method, arguments, "s", [use = std::move(use)](const QVariant& v) { use(v.toString()); });
}

void CallGroup::readInts(const QString& method, const QVariantList& arguments,
                         std::function<void(const QList<std::int32_t>&)> use) {
    ask(method, arguments, "ai",
        [use = std::move(use)](const QVariant& v) { use(v.value<QList<std::int32_t>>()); });
}

void CallGroup::call(const QString& method, const QVariantList& arguments) {
    ask(method, arguments, "", [](const QVariant&) {});
}

}  // namespace messenger::purple
