#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
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

// Far above any real file of the program; a larger one is refused before it is parsed.
inline constexpr size_t kMaxXmlFileBytes = 16 * 1024 * 1024;

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

} // namespace quillon
