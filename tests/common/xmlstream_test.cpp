// The streamed reader and writer of the one file that grows with the collection.
#include "common/error.h"
#include "common/xml.h"
#include "support/tempdir.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace quillon;
using quillon::test::TTempDir;

namespace {

// Every start tag as "depth name value-of-v" (or "-" without one).
class TRecorder : public XmlStreamHandler {
public:
    std::vector<std::string> seen;
    size_t stopAt = 0;

    bool StartElement(const XmlStartTag& tag) override
    {
        ++depth_;
        seen.push_back(std::to_string(depth_) + " " + tag.LowerName() + " " + tag.Attribute("v").value_or("-"));
        return seen.size() != stopAt;
    }
    void EndElement() override { --depth_; }

private:
    size_t depth_ = 0;
};

const std::vector<std::string> kTrickyValues = {
    "", "plain", "Fêtes & <\"Été\"> 'x'", "tab\there\nnew\rline", "100% juice.jpg", "&amp; stays text", "\xF0\x9F\x8C\x8A"};

std::string Nested(size_t depth)
{
    std::string text;
    for (size_t i = 0; i < depth; ++i)
        text += "<e>";
    for (size_t i = 0; i < depth; ++i)
        text += "</e>";
    return text;
}

TEST(XmlStreamTest, WriterGivesTheTreeWritersBytesAndTheReaderTakesThemBack)
{
    XmlDocument doc = XmlDocument::Create("Root");
    XmlStreamWriter out;
    out.StartElement("Root");
    for (const std::string& value : kTrickyValues) {
        XmlElement e = doc.Root().AppendChild("item");
        e.SetAttribute("v", value);
        e.SetAttribute("w", "1");
        e.AppendChild("empty");
        out.StartElement("item");
        out.Attribute("v", value);
        out.Attribute("w", "1");
        out.StartElement("empty");
        out.EndElement();
        out.EndElement();
    }
    doc.Root().AppendChild("last");
    out.StartElement("last");
    out.EndElement();
    out.EndElement();
    const std::string text = out.Finish();
    EXPECT_EQ(text, doc.ToString());

    TTempDir dir;
    TRecorder recorder;
    ReadXmlStream(dir.Write("a.xml", text), recorder);
    std::vector<std::string> expected = {"1 root -"};
    for (const std::string& value : kTrickyValues) {
        // Line ends in attribute values are escaped by the writer, so they come back as written.
        expected.push_back("2 item " + value);
        expected.push_back("3 empty -");
    }
    expected.push_back("2 last -");
    EXPECT_EQ(recorder.seen, expected);
}

TEST(XmlStreamTest, ReaderRefusesWhatTheWriterWouldNotWrite)
{
    TTempDir dir;
    struct Case {
        const char* name;
        std::string text;
        const char* reason;  // nullptr: read without a fault
    };
    const Case cases[] = {
        {"deepest allowed", Nested(kMaxStreamedXmlDepth), nullptr},
        {"one level deeper", Nested(kMaxStreamedXmlDepth + 1), "deeper than"},
        {"document type", "<!DOCTYPE a [<!ENTITY e \"x\">]><a v=\"&e;\"/>", "document type"},
        {"undeclared entity", "<a v=\"&e;\"/>", "line 1"},
        {"cut short", "<a><b v=\"1\"/>", "line 1"},
        {"empty", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TRecorder recorder;
        const std::filesystem::path file = dir.Write("a.xml", c.text);
        if (!c.reason) {
            EXPECT_NO_THROW(ReadXmlStream(file, recorder));
            continue;
        }
        try {
            ReadXmlStream(file, recorder);
            ADD_FAILURE() << "read without a fault";
        } catch (const QuillonError& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
    }
    // What came before a fault was seen; a handler that stops is no fault.
    TRecorder recorder;
    EXPECT_THROW(ReadXmlStream(dir.Write("a.xml", "<a><b/><c/><d>"), recorder), QuillonError);
    EXPECT_EQ(recorder.seen, (std::vector<std::string>{"1 a -", "2 b -", "2 c -", "2 d -"}));
    TRecorder stopping;
    stopping.stopAt = 2;
    EXPECT_NO_THROW(ReadXmlStream(dir.Write("a.xml", "<a><b/><c/><d>"), stopping));
    EXPECT_EQ(stopping.seen.size(), 2u);

    // A file one byte over the limit is refused by its size, before a byte is parsed.
    const std::filesystem::path big = dir.Write("big.xml", "<a>");
    std::filesystem::resize_file(big, kMaxStreamedXmlBytes + 1);
    try {
        ReadXmlStream(big, recorder);
        ADD_FAILURE() << "an oversized file was read";
    } catch (const QuillonError& e) {
        EXPECT_NE(std::string(e.what()).find("larger than 256 MB"), std::string::npos) << e.what();
    }
}

TEST(XmlStreamTest, WriterRefusesPastTheLimits)
{
    XmlStreamWriter deep;
    for (size_t i = 0; i < kMaxStreamedXmlDepth; ++i)
        deep.StartElement("e");
    EXPECT_THROW(deep.StartElement("e"), QuillonError);

    XmlStreamWriter big;
    big.StartElement("a");
    EXPECT_THROW(big.Attribute("v", std::string(kMaxStreamedXmlBytes, 'y')), QuillonError);
}

} // namespace
