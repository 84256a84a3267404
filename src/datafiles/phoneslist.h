#pragma once

#include "common/prompts.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

inline constexpr const char* kPhonesListFile = "phoneslist.xml";

struct TPhoneAttributes {
    int32_t screenwidth;
    int32_t screenheight;
};

struct TPhoneModel {
    std::string name;
    TPhoneAttributes attributes;
};

struct TPhoneMake {
    std::string name;
    std::vector<TPhoneModel> models;
};

// Makes and models in file order; a logo refers to them by position.
class TPhoneMakes {
public:
    std::vector<TPhoneMake> makes;

    // The model at the two positions, or null when either is out of range (-1 included).
    const TPhoneModel* Model(int makeId, int modelId) const;
    std::vector<std::string> MakeNames() const;
};

enum class TPhoneListResult {
    Loaded,
    Damaged,  // wrong root element: reported, lists empty, start-up goes on
    Fatal,    // missing or unreadable: reported, the program must end
};

// Fills phones from phoneslist.xml of shippedDir, reporting problems through prompts.
TPhoneListResult LoadPhonesList(const std::string& shippedDir, TPhoneMakes& phones, TPrompts& prompts);

} // namespace quillon
