#include "datafiles/parameters.h"
#include "datafiles/phoneslist.h"

#include "support/scriptedprompts.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

using namespace quillon;
using quillon::test::TScriptedPrompts;
using quillon::test::TTempDir;

namespace {

TEST(PhonesListTest, ReadsMakesAndModelsInFileOrder)
{
    TTempDir dir;
    dir.Write("phoneslist.xml",
              "<PhonesList><!-- comment -->"
              "<Make name=\"Nokia\">text<MODEL name=\"6600\" screenwidth=\"176\" screenheight=\"208\"/>"
              "<model name=\"bad\" screenwidth=\"wide\"/><other name=\"x\"/></Make>"
              "<make Name=\"ignored\"/>"
              "<brand name=\"not a make\"><model name=\"y\"/></brand>"
              "<make name=\"Nokia\"><model name=\"6600\" screenwidth=\"-5\" screenheight=\"99999\"/></make>"
              "</PhonesList>");
    TScriptedPrompts prompts;
    TPhoneMakes phones;
    ASSERT_EQ(LoadPhonesList(dir.AppDir(), phones, prompts), TPhoneListResult::Loaded);
    EXPECT_TRUE(prompts.shown.empty());
    ASSERT_EQ(phones.MakeNames(), (std::vector<std::string>{"Nokia", "", "Nokia"}));
    ASSERT_EQ(phones.makes[0].models.size(), 2u);
    EXPECT_EQ(phones.makes[0].models[0].name, "6600");
    EXPECT_EQ(phones.makes[0].models[0].attributes.screenwidth, 176);
    EXPECT_EQ(phones.makes[0].models[0].attributes.screenheight, 208);
    EXPECT_EQ(phones.makes[0].models[1].attributes.screenwidth, 128);
    EXPECT_EQ(phones.makes[0].models[1].attributes.screenheight, 128);
    EXPECT_TRUE(phones.makes[1].models.empty());
    EXPECT_EQ(phones.makes[2].models[0].attributes.screenwidth, -5);

    EXPECT_EQ(phones.Model(0, 1)->name, "bad");
    EXPECT_EQ(phones.Model(-1, 0), nullptr);
    EXPECT_EQ(phones.Model(0, 2), nullptr);
    EXPECT_EQ(phones.Model(3, 0), nullptr);
}

TEST(PhonesListTest, FailuresAndTheirMessages)
{
    struct Case {
        const char* content;  // null: no file
        TPhoneListResult result;
        const char* message;
    };
    const Case cases[] = {
        {nullptr, TPhoneListResult::Fatal, "Unexpected error occurred during application initialization."},
        {"<phoneslist><make name=\"a\">", TPhoneListResult::Fatal,
         "Unexpected error occurred during application initialization."},
        {"", TPhoneListResult::Fatal, "Unexpected error occurred during application initialization."},
        {"<phones><make name=\"a\"/></phones>", TPhoneListResult::Damaged, "Phone list file is damaged."},
        {"<phoneslist/>", TPhoneListResult::Loaded, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content ? c.content : "(missing)");
        TTempDir dir;
        if (c.content)
            dir.Write("phoneslist.xml", c.content);
        TScriptedPrompts prompts;
        TPhoneMakes phones;
        phones.makes.push_back({"stale", {}});
        EXPECT_EQ(LoadPhonesList(dir.AppDir(), phones, prompts), c.result);
        EXPECT_TRUE(phones.makes.empty());
        if (c.message)
            EXPECT_EQ(prompts.Texts(), std::vector<std::string>{c.message});
        else
            EXPECT_TRUE(prompts.shown.empty());
    }
}

TEST(PhonesListTest, TheShippedListIsUsable)
{
    TScriptedPrompts prompts;
    TPhoneMakes phones;
    ASSERT_EQ(LoadPhonesList(std::string(QUILLON_SOURCE_DIR) + "/data/", phones, prompts), TPhoneListResult::Loaded);
    size_t models = 0;
    for (const TPhoneMake& make : phones.makes) {
        EXPECT_FALSE(make.models.empty()) << make.name;
        for (const TPhoneModel& m : make.models) {
            ++models;
            EXPECT_GE(m.attributes.screenwidth, 16) << m.name;
            EXPECT_LE(m.attributes.screenwidth, 400) << m.name;
            EXPECT_GE(m.attributes.screenheight, 16) << m.name;
            EXPECT_LE(m.attributes.screenheight, 400) << m.name;
        }
    }
    EXPECT_GE(phones.makes.size(), 6u);
    EXPECT_GE(models, 40u);
}

TEST(ParametersTest, FileValuesOverrideTheDefaults)
{
    TTempDir dir;
    dir.Write("parameters.xml", "<Parameters><UPLOADHOST value=\"svc.example:81\"/><appverscript/>"
                                "<sendmailscript value=\"/a.php\"/><sendmailscript value=\"/b.php\"/>"
                                "<uploadscript Value=\"/ignored.php\"/><unknown value=\"x\"/></Parameters>");
    TScriptedPrompts prompts;
    TServiceParameters params;
    LoadParameters(dir.AppDir(), params, prompts);
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(params.GetParameter("uploadhost"), "svc.example:81");
    EXPECT_EQ(params.GetParameter("UploadHost"), "svc.example:81");
    EXPECT_EQ(params.GetParameter("appverscript"), "");
    EXPECT_EQ(params.GetParameter("sendmailscript"), "/b.php");
    EXPECT_EQ(params.GetParameter("uploadscript"), "");  // element without a value attribute
    EXPECT_EQ(params.GetParameter("memstatscript"), "/memberstatus.php");
    EXPECT_EQ(params.GetParameter("sendmailhost"), "localhost:8080");
    EXPECT_EQ(params.Entries().size(), 6u);
}

TEST(ParametersTest, DamagedFilesKeepTheDefaults)
{
    struct Case {
        const char* content;
        const char* message;  // null: the XML library's own text
    };
    const Case cases[] = {
        {"<params><uploadhost value=\"x\"/></params>", "Parameters file is corrupt."},
        {"<parameters><uploadhost value=\"x\"/>", nullptr},
        {nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content ? c.content : "(missing)");
        TTempDir dir;
        if (c.content)
            dir.Write("parameters.xml", c.content);
        TScriptedPrompts prompts;
        TServiceParameters params;
        params.Set("uploadhost", "stale");
        LoadParameters(dir.AppDir(), params, prompts);
        ASSERT_EQ(prompts.shown.size(), 1u);
        EXPECT_EQ(prompts.shown[0].kind, "error");
        if (c.message)
            EXPECT_EQ(prompts.shown[0].text, c.message);
        else
            EXPECT_FALSE(prompts.shown[0].text.empty());
        EXPECT_EQ(params.GetParameter("uploadhost"), "localhost:8080");
        EXPECT_EQ(params.GetParameter("uploadscript"), "/upload.php");
    }
}

} // namespace
