#pragma once

#include "datafiles/phoneslist.h"
#include "logodir/logodirobject.h"

#include <functional>
#include <string>
#include <vector>

namespace quillon {

// The logo property controls (make, model, width, height, fit kind, proportions and
// the upload result fields) as the settings logic sees them. The width and height
// controls keep their values within 16..400 themselves.
class TLogoPropertyView {
public:
    virtual ~TLogoPropertyView() = default;
    virtual int MakeIndex() const = 0;  // -1: none selected
    virtual void SetMakeIndex(int index) = 0;
    virtual void SetModelItems(const std::vector<std::string>& names) = 0;  // none selected after
    virtual int ModelIndex() const = 0;
    virtual void SetModelIndex(int index) = 0;
    virtual int LogoWidth() const = 0;
    virtual void SetLogoWidth(int value) = 0;
    virtual int LogoHeight() const = 0;
    virtual void SetLogoHeight(int value) = 0;
    virtual int FitKind() const = 0;  // -1: no item selected
    virtual void SetFitKind(int kind) = 0;
    virtual bool KeepProportions() const = 0;
    virtual void SetKeepProportions(bool keep) = 0;
    virtual void ClearResultFields() = 0;
    // Fills the result fields and the Upload captions from a node's upload URL.
    virtual void ShowUploadUrl(const std::string& url) = 0;
};

// Keeps the selected node's record, the property controls and the template for new
// logos in step. Control changes made by the program itself are never stored back.
class TLogoSettings {
public:
    TLogoSettings(TLogoPropertyView& view, const TPhoneMakes& phones, TLogoDirObject& newLogoTemplate)
        : view_(view), phones_(phones), template_(newLogoTemplate)
    {
    }

    // The record of the selected node (null: none), and whether a logo is on show.
    void SetActive(TLogoDirObject* record) { active_ = record; }
    TLogoDirObject* Active() const { return active_; }
    // Asked whether a logo is on show, and told to show the node again.
    std::function<bool()> LogoShown = [] { return false; };
    std::function<void()> ShowSelectedNode = [] {};

    // The control fill after a new selection, which must not be stored back.
    void ShowSelected();
    void ShowNodeSettings();
    void StoreLogoSettings();
    void LogoSettingsChanged();
    void PhoneMakeChange();
    void PhoneModelChange();

    bool FillingControls = false;
    bool SuppressSettingsChange = false;

private:
    void FillModels(int makeIndex);
    void CopyToTemplate(const TLogoDirObject& from);

    TLogoPropertyView& view_;
    const TPhoneMakes& phones_;
    TLogoDirObject& template_;
    TLogoDirObject* active_ = nullptr;
};

} // namespace quillon
