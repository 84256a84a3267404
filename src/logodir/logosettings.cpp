#include "logodir/logosettings.h"

namespace quillon {

namespace {

// Raises a flag for the length of one operation and always lowers it again.
class TGuard {
public:
    explicit TGuard(bool& flag) : flag_(flag) { flag_ = true; }
    ~TGuard() { flag_ = false; }
    TGuard(const TGuard&) = delete;
    TGuard& operator=(const TGuard&) = delete;

private:
    bool& flag_;
};

} // namespace

void TLogoSettings::FillModels(int makeIndex)
{
    std::vector<std::string> names;
    if (makeIndex >= 0 && makeIndex < static_cast<int>(phones_.makes.size())) {
        for (const TPhoneModel& m : phones_.makes[static_cast<size_t>(makeIndex)].models)
            names.push_back(m.name);
    }
    view_.SetModelItems(names);
}

void TLogoSettings::CopyToTemplate(const TLogoDirObject& r)
{
    template_.phonemakeid = r.phonemakeid;
    template_.phonemodelid = r.phonemodelid;
    template_.logowidth = r.logowidth;
    template_.logoheight = r.logoheight;
    template_.fitkind = r.fitkind;
    template_.keepproportions = r.keepproportions;
}

void TLogoSettings::ShowSelected()
{
    TGuard suppress(SuppressSettingsChange);
    ShowNodeSettings();
}

void TLogoSettings::ShowNodeSettings()
{
    view_.ClearResultFields();
    if (!active_ || FillingControls)
        return;
    TGuard filling(FillingControls);
    const TLogoDirObject& r = *active_;
    const bool knownMake = r.phonemakeid >= 0 && r.phonemakeid < static_cast<int>(phones_.makes.size());
    view_.SetMakeIndex(knownMake ? r.phonemakeid : -1);
    FillModels(r.phonemakeid);
    const bool knownModel = phones_.Model(r.phonemakeid, r.phonemodelid) != nullptr;
    view_.SetModelIndex(knownModel ? r.phonemodelid : -1);
    view_.SetLogoWidth(r.logowidth);
    view_.SetLogoHeight(r.logoheight);
    view_.SetFitKind(r.fitkind <= fkBigger ? r.fitkind : -1);
    view_.SetKeepProportions(r.keepproportions);
    view_.ShowUploadUrl(r.uploadurl);
    if (r.nodekind == nkLogo)
        CopyToTemplate(r);
}

void TLogoSettings::StoreLogoSettings()
{
    if (!active_ || FillingControls)
        return;
    TLogoDirObject& r = *active_;
    r.phonemakeid = view_.MakeIndex();
    r.phonemodelid = view_.ModelIndex();
    r.logowidth = view_.LogoWidth();
    r.logoheight = view_.LogoHeight();
    if (view_.FitKind() >= 0)
        r.fitkind = static_cast<uint8_t>(view_.FitKind());
    r.keepproportions = view_.KeepProportions();
    if (r.nodekind == nkLogo)
        CopyToTemplate(r);
}

void TLogoSettings::LogoSettingsChanged()
{
    if (SuppressSettingsChange)
        return;
    TGuard suppress(SuppressSettingsChange);
    StoreLogoSettings();
    if (active_ && LogoShown()) {
        // A frame placed by hand does not fit a new size or fit kind: fit a fresh one.
        active_->DiscardFrame();
        ShowSelectedNode();
    }
}

void TLogoSettings::PhoneMakeChange()
{
    const int make = view_.MakeIndex();
    if (make < 0)
        return;
    FillModels(make);
}

void TLogoSettings::PhoneModelChange()
{
    const TPhoneModel* model = phones_.Model(view_.MakeIndex(), view_.ModelIndex());
    if (!model)
        return;
    {
        TGuard suppress(SuppressSettingsChange);
        view_.SetLogoWidth(model->attributes.screenwidth);
        view_.SetLogoHeight(model->attributes.screenheight);
    }
    LogoSettingsChanged();
}

} // namespace quillon
