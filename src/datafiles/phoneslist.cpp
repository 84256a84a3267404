#include "datafiles/phoneslist.h"

#include "datafiles/messages.h"
#include "common/text.h"
#include "common/xml.h"

namespace quillon {

namespace {

int32_t ScreenSize(const XmlElement& model, const char* attribute)
{
    const std::optional<std::string> text = model.Attribute(attribute);
    const std::optional<int> value = text ? ParseInt32(*text) : std::nullopt;
    return value.value_or(128);
}

} // namespace

const TPhoneModel* TPhoneMakes::Model(int makeId, int modelId) const
{
    if (makeId < 0 || makeId >= static_cast<int>(makes.size()))
        return nullptr;
    const auto& models = makes[static_cast<size_t>(makeId)].models;
    if (modelId < 0 || modelId >= static_cast<int>(models.size()))
        return nullptr;
    return &models[static_cast<size_t>(modelId)];
}

std::vector<std::string> TPhoneMakes::MakeNames() const
{
    std::vector<std::string> names;
    for (const TPhoneMake& m : makes)
        names.push_back(m.name);
    return names;
}

TPhoneListResult LoadPhonesList(const std::string& shippedDir, TPhoneMakes& phones, TPrompts& prompts)
{
    phones.makes.clear();
    try {
        XmlDocument doc = XmlDocument::Load(shippedDir + kPhonesListFile);
        XmlElement root = doc.Root();
        if (root.LowerName() != "phoneslist") {
            prompts.Error(kMsgPhoneListDamaged);
            return TPhoneListResult::Damaged;
        }
        for (const XmlElement& makeElement : root.ChildElements()) {
            if (makeElement.LowerName() != "make")
                continue;
            TPhoneMake make{makeElement.Attribute("name").value_or(""), {}};
            for (const XmlElement& modelElement : makeElement.ChildElements()) {
                if (modelElement.LowerName() != "model")
                    continue;
                make.models.push_back({modelElement.Attribute("name").value_or(""),
                                       {ScreenSize(modelElement, "screenwidth"),
                                        ScreenSize(modelElement, "screenheight")}});
            }
            phones.makes.push_back(std::move(make));
        }
        return TPhoneListResult::Loaded;
    } catch (const std::exception&) {
        phones.makes.clear();
        prompts.Error(kMsgInitError);
        return TPhoneListResult::Fatal;
    }
}

} // namespace quillon
