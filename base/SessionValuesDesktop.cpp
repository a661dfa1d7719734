#include <map>

#include "base/Platform.h"

// On Linux and Windows the game's process alone keeps the session's values.

namespace {
// the session's values, by key
std::map<std::string, std::string>& sessionValues() {
    static std::map<std::string, std::string> values;
    return values;
}
} // namespace

std::string sessionValue(const std::string& key) { return sessionValues()[key]; }

void keepSessionValue(const std::string& key, const std::string& value) {
    sessionValues()[key] = value;
}
