#include "base/named_values.h"

#include "base/process_state.h"
#include "base/text.h"

namespace kdx2::base {

bool NamedValues::has(std::string_view name) const {
    return values_.find(asciiUpper(name)) != values_.end();
}

const Value& NamedValues::get(std::string_view name) const {
    static const Value kEmpty;
    const auto found = values_.find(asciiUpper(name));
    return found == values_.end() ? kEmpty : found->second;
}

void NamedValues::set(std::string_view name, Value value) {
    values_.insert_or_assign(asciiUpper(name), std::move(value));
}

void NamedValues::erase(std::string_view name) {
    const auto found = values_.find(asciiUpper(name));
    if (found != values_.end()) values_.erase(found);
}

NamedValues& session() {
    static NamedValues record;
    [[maybe_unused]] static const bool registered = registerResetOnce([] { record.clear(); });
    return record;
}

}  // namespace kdx2::base
