// Hostile application files: each reader must take its usual fallback for a damaged
// file, quickly and without building the oversized values the file asks for.
#include "app/appstate.h"
#include "app/messages.h"
#include "datafiles/messages.h"
#include "datafiles/parameters.h"
#include "datafiles/phoneslist.h"
#include "common/error.h"
#include "common/xml.h"
#include "logodir/logodirfile.h"
#include "logodir/logotree.h"
#include "logodir/messages.h"
#include "options/messages.h"
#include "options/options.h"
#include "support/scriptedprompts.h"
#include "support/tempdir.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

using namespace quillon;
using quillon::test::TScriptedPrompts;
using quillon::test::TTempDir;

namespace {

// A file of about 1 MB whose one attribute would expand to gigabytes.
std::string EntityBomb(const std::string& root, const std::string& element)
{
    std::string file = "<?xml version=\"1.0\"?>\n<!DOCTYPE " + root + " [<!ENTITY e \"" +
                       std::string(20000, 'x') + "\">]>\n<" + root + "><" + element + " value=\"";
    while (file.size() < 1000000)
        file += "&e;";
    return file + "\"/></" + root + ">";
}

struct ReaderCase {
    const char* file;
    const char* root;
    const char* element;
    size_t limit;  // the largest file the reader takes
    // Loads the file and returns the messages shown; checks that no value came through.
    std::function<std::vector<std::string>(const TTempDir&)> load;
    std::vector<std::string> expected;  // empty: any one message (the library's text)
};

std::vector<ReaderCase> Readers()
{
    return {
        {"options.xml", "options", "login", kMaxXmlFileBytes,
         [](const TTempDir& dir) {
             TScriptedPrompts prompts;
             TOptions options;
             LoadOptions(dir.AppDir(), options, prompts, [] { return std::nullopt; });
             EXPECT_EQ(options.login, "");
             return prompts.Texts();
         },
         {kMsgOptionsCorrupt}},
        {"logodirectory.xml", "logodirectory", "logo", kMaxStreamedXmlBytes,
         [](const TTempDir& dir) {
             TScriptedPrompts prompts;
             TLogoTree tree;
             tree.CreateRootNode();
             EXPECT_EQ(LoadLogoDirectory(dir.AppDir(), tree, prompts), TLogoDirLoadResult::SetAside);
             EXPECT_EQ(tree.Root()->Count(), 0u);
             // The message goes on to name the copy kept of the file.
             std::vector<std::string> texts = prompts.Texts();
             for (std::string& text : texts)
                 text = text.substr(0, text.find("\n\n"));
             return texts;
         },
         {kMsgLogoDirLoadError}},
        {"phoneslist.xml", "phoneslist", "make", kMaxXmlFileBytes,
         [](const TTempDir& dir) {
             TScriptedPrompts prompts;
             TPhoneMakes phones;
             EXPECT_EQ(LoadPhonesList(dir.AppDir(), phones, prompts), TPhoneListResult::Fatal);
             EXPECT_TRUE(phones.makes.empty());
             return prompts.Texts();
         },
         {kMsgInitError}},
        {"parameters.xml", "parameters", "uploadhost", kMaxXmlFileBytes,
         [](const TTempDir& dir) {
             TScriptedPrompts prompts;
             TServiceParameters params;
             LoadParameters(dir.AppDir(), params, prompts);
             EXPECT_EQ(params.GetParameter("uploadhost"), kDefaultServiceHost);
             return prompts.Texts();
         },
         {}},
        {"appstate.xml", "appstate", "activenodepath", kMaxXmlFileBytes,
         [](const TTempDir& dir) {
             TScriptedPrompts prompts;
             TLogoTree tree;
             tree.CreateRootNode();
             EXPECT_EQ(LoadAppState(dir.AppDir(), tree, prompts), nullptr);
             return prompts.Texts();
         },
         {}},
    };
}

TEST(HostileXmlFilesTest, DeclaredEntitiesTakeTheDamagedFileFallbackAtOnce)
{
    for (const ReaderCase& c : Readers()) {
        SCOPED_TRACE(c.file);
        TTempDir dir;
        dir.Write(c.file, EntityBomb(c.root, c.element));
        const auto start = std::chrono::steady_clock::now();
        const std::vector<std::string> shown = c.load(dir);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        if (c.expected.empty())
            EXPECT_EQ(shown.size(), 1u);
        else
            EXPECT_EQ(shown, c.expected);
        // Expanding the value took seconds; refusing the declaration takes next to nothing.
        EXPECT_LT(elapsed, std::chrono::milliseconds(100));
    }
}

TEST(HostileXmlFilesTest, OversizedFilesAreRefusedBeforeParsing)
{
    for (const ReaderCase& c : Readers()) {
        SCOPED_TRACE(c.file);
        TTempDir dir;
        // Well-formed up to its last byte, so only the size can be the reason for the
        // refusal; the streamed file is made sparse, as it is refused before it is read.
        const std::string head = "<" + std::string(c.root) + "><" + c.element + " value=\"";
        const std::string tail = "\"/></" + std::string(c.root) + ">";
        if (c.limit == kMaxXmlFileBytes) {
            dir.Write(c.file, head + std::string(c.limit, 'y') + tail);
        } else {
            const std::filesystem::path file = dir.Write(c.file, head);
            std::filesystem::resize_file(file, c.limit - tail.size() + 1);
            std::ofstream(file, std::ios::binary | std::ios::app) << tail;
            ASSERT_EQ(std::filesystem::file_size(file), c.limit + 1);
        }
        const std::vector<std::string> shown = c.load(dir);
        if (c.expected.empty())
            EXPECT_EQ(shown.size(), 1u);
        else
            EXPECT_EQ(shown, c.expected);
    }
}

TEST(HostileXmlFilesTest, AnyDocumentTypeIsRefusedAndPlainFilesStillRead)
{
    EXPECT_THROW(XmlDocument::Parse("<!DOCTYPE options><options/>"), QuillonError);
    EXPECT_THROW(XmlDocument::Parse("<!DOCTYPE options SYSTEM \"x.dtd\"><options/>"), QuillonError);
    EXPECT_THROW(XmlDocument::Parse("<!DOCTYPE a [<!ATTLIST a v CDATA \"&#60;\">]><a/>"), QuillonError);
    // Predefined entities and character references need no declaration.
    XmlDocument doc = XmlDocument::Parse("<a v=\"&lt;&amp;&#233;&quot;\"/>");
    EXPECT_EQ(doc.Root().Attribute("v"), "<&\xC3\xA9\"");
    // An undeclared entity is a damaged file, not an empty value.
    EXPECT_THROW(XmlDocument::Parse("<a v=\"&e;\"/>"), QuillonError);
}

} // namespace
