#include "options/ui/colorbutton.h"
#include "options/ui/optionsform.h"

#include "support/scriptedprompts.h"
#include "support/tempdir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QStackedWidget>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace quillon;
using quillon::test::TScriptedPrompts;
using quillon::test::TTempDir;

namespace {

class OptionsFormTest : public ::testing::Test {
protected:
    template <class T>
    T* Child(const char* name)
    {
        T* c = form.findChild<T*>(name);
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    QRadioButton* Radio(const char* text)
    {
        for (QRadioButton* r : form.findChildren<QRadioButton*>())
            if (r->text() == text)
                return r;
        ADD_FAILURE() << text;
        return nullptr;
    }
    std::vector<bool> ProxyEnabled()
    {
        std::vector<bool> e;
        for (const char* name : {"Host", "Port", "ProxyLogin", "ProxyPassword"})
            e.push_back(Child<QLineEdit>(name)->isEnabled());
        e.push_back(Child<QCheckBox>("ProxyRequiresAuthentication")->isEnabled());
        return e;
    }

    TTempDir dir;
    TScriptedPrompts prompts;
    std::optional<std::string> systemProxy = "sys.example:8080";
    int picked = 0x00123456;
    TOptionsForm form{dir.AppDir(), prompts, [this] { return systemProxy; },
                      [this](int& colour) {
                          colour = picked;
                          return true;
                      }};
};

TEST_F(OptionsFormTest, ThePageSelectorRefusesTheRootAndTheLastPageStays)
{
    auto* tree = Child<QTreeWidget>("OptionsTreeView");
    auto* pages = Child<QStackedWidget>("OptionsPageControl");
    QTreeWidgetItem* root = tree->topLevelItem(0);
    EXPECT_EQ(root->text(0), "Options");
    ASSERT_EQ(root->childCount(), 4);
    EXPECT_EQ(tree->currentItem(), root->child(0));
    tree->setCurrentItem(root->child(2));
    EXPECT_EQ(pages->currentIndex(), 2);
    tree->setCurrentItem(root);
    EXPECT_EQ(pages->currentIndex(), 2);
    EXPECT_EQ(tree->currentItem(), root->child(2));
    form.show();
    form.accept();
    form.show();
    EXPECT_EQ(pages->currentIndex(), 2);
    form.reject();
}

TEST_F(OptionsFormTest, ProxyControlsFollowTheSourceAndTheCheckBox)
{
    form.show();
    Radio("Manual Proxy Settings")->click();
    EXPECT_EQ(ProxyEnabled(), (std::vector<bool>{true, true, false, false, true}));
    Child<QLineEdit>("Host")->setText("typed.example");
    Child<QLineEdit>("Port")->setText("3128");
    Child<QCheckBox>("ProxyRequiresAuthentication")->click();
    EXPECT_EQ(ProxyEnabled(), (std::vector<bool>{true, true, true, true, true}));
    Radio("No Proxy")->click();
    EXPECT_EQ(ProxyEnabled(), (std::vector<bool>{false, false, false, false, false}));
    EXPECT_EQ(Child<QLineEdit>("Host")->text(), "typed.example");
    Radio("Use Internet Explorer Proxy Settings")->click();
    EXPECT_EQ(Child<QLineEdit>("Host")->text(), "sys.example");
    EXPECT_EQ(Child<QLineEdit>("Port")->text(), "8080");
    Radio("Manual Proxy Settings")->click();
    EXPECT_EQ(Child<QLineEdit>("Host")->text(), "sys.example");
    form.accept();
    EXPECT_EQ(form.Options.proxysource, psManual);
    EXPECT_EQ(form.Options.proxyhost, "sys.example");
    EXPECT_TRUE(form.Options.proxyauthentication);
}

TEST_F(OptionsFormTest, TrackBarsSnapAndLabelTheirValues)
{
    form.show();
    auto* jpeg = Child<QSlider>("JPEGQualityTrackBar");
    EXPECT_EQ(Child<QLabel>("JPEGQualityLabel")->text(), "JPEG Quality: 90%");
    jpeg->setValue(47);
    EXPECT_EQ(jpeg->value(), 50);
    EXPECT_EQ(Child<QLabel>("JPEGQualityLabel")->text(), "JPEG Quality: 50%");
    Child<QSlider>("GIFBitDepthTrackBar")->setValue(5);
    EXPECT_EQ(Child<QLabel>("GIFBitDepthLabel")->text(), "Bits Per Pixel: 5 bits");
    form.accept();
    EXPECT_EQ(form.Options.jpegquality, 50);
    EXPECT_EQ(form.Options.gifbitdepth, 5);
}

TEST_F(OptionsFormTest, TheColourButtonFollowsTheFillCheckBox)
{
    form.show();
    auto* fill = Child<QCheckBox>("FillInEmptyAreaCheckBox");
    auto* colour = Child<TColorButton>("ColorButton");
    EXPECT_FALSE(colour->isEnabled());
    fill->click();
    ASSERT_TRUE(colour->isEnabled());
    colour->click();
    EXPECT_EQ(colour->Color(), picked);
    // The swatch is drawn only while the button is enabled.
    const QImage on = colour->grab().toImage();
    fill->click();
    EXPECT_FALSE(colour->isEnabled());
    const QImage off = colour->grab().toImage();
    EXPECT_EQ(on.pixelColor(colour->width() / 2, colour->height() / 2), ColorFromBGR(picked));
    EXPECT_NE(off.pixelColor(colour->width() / 2, colour->height() / 2), ColorFromBGR(picked));
    fill->click();
    form.accept();
    EXPECT_TRUE(form.Options.fillemptyarea);
    EXPECT_EQ(form.Options.emptyareacolor, picked);
}

TEST_F(OptionsFormTest, OkSavesAndCancelReloads)
{
    // No options file: Cancel brings back every default.
    form.show();
    Child<QLineEdit>("Login")->setText("someone");
    Child<QComboBox>("RotateRetainSourceComboBox")->setCurrentIndex(rsAsk);
    Child<QCheckBox>("NewVersionCheckBox")->setChecked(false);
    form.reject();
    TOptions defaults;
    defaults.proxyhost = "sys.example";
    defaults.proxyport = "8080";
    EXPECT_EQ(form.Options, defaults);
    EXPECT_FALSE(dir.Exists("options.xml"));

    form.show();
    EXPECT_EQ(Child<QLineEdit>("Login")->text(), "");
    Child<QLineEdit>("Login")->setText("saved");
    Child<QComboBox>("GrabbedFileFormatComboBox")->setCurrentIndex(ffAsk);
    Child<QCheckBox>("MirrorAskTargetNameCheckBox")->setChecked(true);
    form.accept();
    EXPECT_TRUE(dir.Exists("options.xml"));

    form.show();
    Child<QLineEdit>("Login")->setText("changed");
    form.reject();
    EXPECT_EQ(form.Options.login, "saved");
    EXPECT_EQ(form.Options.grabbedfileformat, ffAsk);
    EXPECT_TRUE(form.Options.mirrorasktargetname);
    form.show();
    EXPECT_EQ(Child<QLineEdit>("Login")->text(), "saved");
    form.reject();
    EXPECT_TRUE(prompts.shown.empty());
}

} // namespace
