#include "datafiles/parameters.h"

#include "datafiles/messages.h"
#include "common/text.h"
#include "common/xml.h"

namespace quillon {

namespace {

const std::pair<const char*, const char*> kDefaults[] = {
    {"uploadhost", kDefaultServiceHost},   {"uploadscript", "/upload.php"},
    {"memstatscript", "/memberstatus.php"}, {"appverscript", "/curversion.php"},
    {"sendmailhost", kDefaultServiceHost}, {"sendmailscript", "/sendtofriend.php"},
};

} // namespace

TServiceParameters::TServiceParameters() { ResetToDefaults(); }

void TServiceParameters::ResetToDefaults()
{
    entries_.clear();
    for (const auto& [key, value] : kDefaults)
        entries_.emplace_back(key, std::make_unique<TStringObject>(value));
}

std::string TServiceParameters::GetParameter(const std::string& key) const
{
    for (const auto& [k, v] : entries_) {
        if (SameTextAscii(k, key))
            return v->Value;
    }
    return {};
}

void TServiceParameters::Set(const std::string& key, const std::string& value)
{
    for (auto& [k, v] : entries_) {
        if (SameTextAscii(k, key)) {
            v->Value = value;
            return;
        }
    }
}

void LoadParameters(const std::string& shippedDir, TServiceParameters& params, TPrompts& prompts)
{
    params.ResetToDefaults();
    try {
        XmlDocument doc = XmlDocument::Load(shippedDir + kParametersFile);
        XmlElement root = doc.Root();
        if (root.LowerName() != "parameters") {
            prompts.Error(kMsgParametersCorrupt);
            return;
        }
        for (const XmlElement& e : root.ChildElements()) {
            const std::string key = e.LowerName();
            for (const auto& [k, v] : params.Entries()) {
                if (k == key)
                    params.Set(key, e.Attribute("value").value_or(""));
            }
        }
    } catch (const std::exception& e) {
        // Going on with the built-in defaults keeps the rest of start-up (and with it
        // the user's logo directory) intact.
        params.ResetToDefaults();
        prompts.Error(e.what());
    }
}

} // namespace quillon
