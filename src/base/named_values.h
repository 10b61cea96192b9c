#pragma once

#include <map>
#include <string>
#include <string_view>

#include "base/value.h"

namespace kdx2::base {

// A store of values addressed by name, names compared without regard to case
// ("QUEANO" and "queano" are one entry). The session settings record and the
// workspace's working values are such stores, because procedures address
// them by computed names ("I1_4" + month) and copy records field by field.
class NamedValues {
  public:
    bool has(std::string_view name) const;
    // The value, or the empty text when the name was never set.
    const Value& get(std::string_view name) const;
    void set(std::string_view name, Value value);
    void erase(std::string_view name);
    void clear() { values_.clear(); }

    const std::string& text(std::string_view name) const { return get(name).text(); }
    double number(std::string_view name) const { return get(name).number(); }
    int integer(std::string_view name) const { return static_cast<int>(get(name).number()); }
    bool flag(std::string_view name) const { return get(name).logical(); }
    Date date(std::string_view name) const { return get(name).date(); }

    // Entries in name order (names upper-case).
    const std::map<std::string, Value, std::less<>>& entries() const { return values_; }

  private:
    std::map<std::string, Value, std::less<>> values_;
};

// The program-wide session settings record (folders, terminal number, tax
// year, colours, flags ...). One per process, like the program's main window.
NamedValues& session();

}  // namespace kdx2::base
