#include "logodir/logosettings.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace quillon;

namespace {

// Behaves like the real controls: the size boxes keep to 16..400, and every change the
// program makes to them is reported as a change, as the toolkit does.
class TFakeView : public TLogoPropertyView {
public:
    int MakeIndex() const override { return make; }
    void SetMakeIndex(int i) override { make = i; }
    void SetModelItems(const std::vector<std::string>& names) override { models = names, model = -1; }
    int ModelIndex() const override { return model; }
    void SetModelIndex(int i) override { model = i; }
    int LogoWidth() const override { return width; }
    void SetLogoWidth(int v) override { Changed(width, std::clamp(v, 16, 400)); }
    int LogoHeight() const override { return height; }
    void SetLogoHeight(int v) override { Changed(height, std::clamp(v, 16, 400)); }
    int FitKind() const override { return fit; }
    void SetFitKind(int k) override { fit = k; }
    bool KeepProportions() const override { return keep; }
    void SetKeepProportions(bool k) override { keep = k; }
    void ClearResultFields() override { url = "(cleared)"; }
    void ShowUploadUrl(const std::string& u) override { url = u; }

    void Changed(int& field, int value)
    {
        if (field != value) {
            field = value;
            if (onChange)
                onChange();
        }
    }

    int make = -1, model = -1, width = 128, height = 128, fit = 3;
    bool keep = true;
    std::vector<std::string> models;
    std::string url;
    std::function<void()> onChange;
};

class LogoSettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        phones.makes = {{"Big", {{"Wide", {480, 10}}, {"Normal", {176, 208}}}}, {"Empty", {}}};
        view.onChange = [this] { settings.LogoSettingsChanged(); };
        settings.LogoShown = [this] { return shown; };
        settings.ShowSelectedNode = [this] { ++reshows; };
        logo.nodekind = nkLogo;
        logo.frameleft = 5;
        logo.frametop = 6;
        logo.framewidth = 50;
        logo.frameheight = 60;
    }
    void Select(TLogoDirObject* r)
    {
        settings.SetActive(r);
        settings.ShowSelected();
    }

    TPhoneMakes phones;
    TFakeView view;
    TLogoDirObject templ;
    TLogoSettings settings{view, phones, templ};
    TLogoDirObject logo;
    TLogoDirObject folder{nkFolder, "F"};
    bool shown = true;
    int reshows = 0;
};

TEST_F(LogoSettingsTest, SelectingFillsTheControlsWithoutStoringOrRendering)
{
    logo.phonemakeid = 0;
    logo.phonemodelid = 1;
    logo.logowidth = 176;
    logo.logoheight = 208;
    logo.fitkind = fkHeight;
    logo.keepproportions = false;
    logo.uploadurl = "http://u/1";
    const TLogoDirObject before = logo;
    Select(&logo);
    EXPECT_EQ(view.make, 0);
    EXPECT_EQ(view.models, (std::vector<std::string>{"Wide", "Normal"}));
    EXPECT_EQ(view.model, 1);
    EXPECT_EQ(view.width, 176);
    EXPECT_EQ(view.fit, fkHeight);
    EXPECT_FALSE(view.keep);
    EXPECT_EQ(view.url, "http://u/1");
    EXPECT_EQ(logo, before);
    EXPECT_EQ(reshows, 0);
    EXPECT_EQ(templ.logowidth, 176);  // a shown logo becomes the template
    EXPECT_EQ(templ.fitkind, fkHeight);
    EXPECT_FALSE(settings.FillingControls || settings.SuppressSettingsChange);

    // Identifiers outside the phone list show as none.
    logo.phonemakeid = 7;
    Select(&logo);
    EXPECT_EQ(view.make, -1);
    EXPECT_TRUE(view.models.empty());
    EXPECT_EQ(view.model, -1);
}

TEST_F(LogoSettingsTest, ModelSizesAreClampedAndAHandPlacedFrameIsReplaced)
{
    Select(&logo);
    view.make = 0;
    settings.PhoneMakeChange();
    view.model = 0;  // 480 x 10
    settings.PhoneModelChange();
    EXPECT_EQ(logo.logowidth, 400);
    EXPECT_EQ(logo.logoheight, 16);
    EXPECT_EQ(logo.phonemakeid, 0);
    EXPECT_EQ(logo.phonemodelid, 0);
    EXPECT_FALSE(logo.HasFrame());
    EXPECT_EQ(reshows, 1);  // once, not once for each of the two sizes
    EXPECT_EQ(templ.logowidth, 400);

    logo.frameleft = 3;
    view.SetLogoWidth(100);  // the user types a new width
    EXPECT_EQ(logo.logowidth, 100);
    EXPECT_FALSE(logo.HasFrame());
    EXPECT_EQ(reshows, 2);
}

TEST_F(LogoSettingsTest, AMakeAloneChangesNothing)
{
    Select(&logo);
    const TLogoDirObject before = logo;
    view.make = 1;
    settings.PhoneMakeChange();
    EXPECT_TRUE(view.models.empty());
    EXPECT_EQ(logo, before);
    EXPECT_EQ(reshows, 0);
    view.model = -1;
    settings.PhoneModelChange();
    EXPECT_EQ(logo, before);
}

TEST_F(LogoSettingsTest, AFolderKeepsItsSettingsAwayFromTheTemplate)
{
    shown = false;
    Select(&folder);
    const TLogoDirObject templBefore = templ;
    view.make = 0;
    settings.PhoneMakeChange();
    view.model = 1;
    settings.PhoneModelChange();
    EXPECT_EQ(folder.logowidth, 176);
    EXPECT_EQ(folder.phonemodelid, 1);
    EXPECT_EQ(templ, templBefore);
    EXPECT_EQ(reshows, 0);
}

} // namespace
