#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

typedef struct _xmlNode xmlNode;
typedef struct _xmlDoc xmlDoc;

namespace quillon {

// A view of one element of an XmlDocument; valid while the document lives.
class XmlElement {
public:
    explicit XmlElement(xmlNode* node) : node_(node) {}

    std::string Name() const;       // as written in the file
    std::string LowerName() const;  // element names are compared in lower case
    // Attribute names are matched exactly; an absent attribute gives nothing.
    std::optional<std::string> Attribute(const char* name) const;
    // The element children in document order; text, comments and the like are skipped.
    std::vector<XmlElement> ChildElements() const;

    XmlElement AppendChild(const std::string& name);
    void SetAttribute(const std::string& name, const std::string& value);

private:
    xmlNode* node_;
};

// Far above any settings, state or data file of the program; a larger one is refused
// before it is parsed, and one that would be larger is never written.
inline constexpr size_t kMaxXmlFileBytes = 16 * 1024 * 1024;

// The logo directory grows with the user's collection (about 240 bytes a logo), so it is
// streamed instead of held as a tree, and has limits of its own: a million logos and
// more, and deeper than any folder tree a path of 4096 bytes can hold. The writer
// refuses what the reader would, so a file the program wrote is always read back.
inline constexpr size_t kMaxStreamedXmlBytes = 256 * 1024 * 1024;
inline constexpr size_t kMaxStreamedXmlDepth = 4096;

// One XML document: every application file is read and written through this type.
// Reading never touches the network and never expands entities.
class XmlDocument {
public:
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;
    XmlDocument(XmlDocument&&) noexcept;
    XmlDocument& operator=(XmlDocument&&) noexcept;
    ~XmlDocument();

    // Throws QuillonError with the reason (the system's or libxml2's text). A document
    // with a document type declaration, or larger than kMaxXmlFileBytes, is refused.
    static XmlDocument Load(const std::filesystem::path& file);
    static XmlDocument Parse(const std::string& text);
    static XmlDocument Create(const std::string& rootName);

    XmlElement Root() const;
    // UTF-8 with an XML declaration, without indentation.
    std::string ToString() const;
    // Written through a temporary file renamed over the target.
    void Save(const std::filesystem::path& file, bool ownerOnly = false) const;

private:
    explicit XmlDocument(xmlDoc* doc) : doc_(doc) {}
    xmlDoc* doc_ = nullptr;
};

// The start tag of an element met while streaming; valid during the handler's call only.
class XmlStartTag {
public:
    XmlStartTag(const unsigned char* name, int attributeCount, const unsigned char** attributes)
        : name_(name), attributeCount_(attributeCount), attributes_(attributes)
    {
    }
    std::string LowerName() const;
    // Attribute names are matched exactly; an absent attribute gives nothing.
    std::optional<std::string> Attribute(const char* name) const;

private:
    const unsigned char* name_;
    int attributeCount_;
    const unsigned char** attributes_;
};

class XmlStreamHandler {
public:
    virtual ~XmlStreamHandler() = default;
    // Returning false ends the reading there, without an error.
    virtual bool StartElement(const XmlStartTag& tag) = 0;
    virtual void EndElement() = 0;
};

// Reads file element by element with the protections of XmlDocument::Load and the
// streamed limits. The handler sees every element before a fault; then QuillonError is
// thrown with the reason.
void ReadXmlStream(const std::filesystem::path& file, XmlStreamHandler& handler);

// Writes a document element by element, byte for byte as XmlDocument::ToString would
// write the same tree. Throws QuillonError past the streamed limits.
class XmlStreamWriter {
public:
    XmlStreamWriter();
    void StartElement(std::string_view name);
    void Attribute(std::string_view name, std::string_view value);
    void EndElement();
    // The document; every element must have been ended.
    std::string Finish();

private:
    void Append(std::string_view text);

    std::string out_;
    std::vector<std::string> open_;
    bool tagOpen_ = false;  // the last start tag still takes attributes
};

} // namespace quillon
