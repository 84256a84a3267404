#pragma once

#include "common/prompts.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quillon {

inline constexpr const char* kParametersFile = "parameters.xml";
// The service answers here until a real host is configured in parameters.xml.
inline constexpr const char* kDefaultServiceHost = "localhost:8080";

class TStringObject {
public:
    explicit TStringObject(std::string value) : Value(std::move(value)) {}
    std::string Value;
};

// The six service parameters, always all present, in their fixed order.
class TServiceParameters {
public:
    TServiceParameters();  // the built-in defaults
    void ResetToDefaults();
    // Keys are compared without regard to case; an unknown key gives the empty string.
    std::string GetParameter(const std::string& key) const;
    void Set(const std::string& key, const std::string& value);
    const std::vector<std::pair<std::string, std::unique_ptr<TStringObject>>>& Entries() const { return entries_; }

private:
    std::vector<std::pair<std::string, std::unique_ptr<TStringObject>>> entries_;
};

// Fills params with the defaults, then reads parameters.xml of shippedDir over them.
// A missing or unreadable file shows the XML library's text; the defaults stay.
void LoadParameters(const std::string& shippedDir, TServiceParameters& params, TPrompts& prompts);

} // namespace quillon
