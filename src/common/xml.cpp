#include "common/xml.h"

#include "common/atomicfile.h"
#include "common/error.h"
#include "common/text.h"

#include <fstream>
#include <libxml/parser.h>
#include <libxml/tree.h>

namespace quillon {

namespace {

const char* Chars(const std::string& s) { return s.c_str(); }
const xmlChar* X(const std::string& s) { return reinterpret_cast<const xmlChar*>(Chars(s)); }

// None of the program's files has a document type declaration; one that has is damaged
// or hostile. Stopping at the declaration means entities are never declared, so no value
// can expand into more than the file itself holds.
void RefuseDocumentType(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*)
{
    auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
    *static_cast<bool*>(ctxt->_private) = true;
    xmlStopParser(ctxt);
}

std::string Trimmed(const char* message)
{
    std::string s = message ? message : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s;
}

} // namespace

std::string XmlElement::Name() const
{
    return node_->name ? reinterpret_cast<const char*>(node_->name) : "";
}

std::string XmlElement::LowerName() const { return AsciiLower(Name()); }

std::optional<std::string> XmlElement::Attribute(const char* name) const
{
    for (xmlAttr* a = node_->properties; a; a = a->next) {
        if (a->ns == nullptr && a->name && std::string(reinterpret_cast<const char*>(a->name)) == name) {
            xmlChar* value = xmlNodeListGetString(node_->doc, a->children, 1);
            std::string result = value ? reinterpret_cast<const char*>(value) : "";
            xmlFree(value);
            return result;
        }
    }
    return std::nullopt;
}

std::vector<XmlElement> XmlElement::ChildElements() const
{
    std::vector<XmlElement> out;
    for (xmlNode* c = node_->children; c; c = c->next) {
        if (c->type == XML_ELEMENT_NODE)
            out.emplace_back(c);
    }
    return out;
}

XmlElement XmlElement::AppendChild(const std::string& name)
{
    xmlNode* child = xmlNewChild(node_, nullptr, X(name), nullptr);
    if (!child)
        throw QuillonError("Out of memory building an XML document");
    return XmlElement(child);
}

void XmlElement::SetAttribute(const std::string& name, const std::string& value)
{
    // xmlSetProp escapes &, <, > and quotes when the document is written.
    if (!xmlSetProp(node_, X(name), X(value)))
        throw QuillonError("Out of memory building an XML document");
}

XmlDocument::XmlDocument(XmlDocument&& other) noexcept : doc_(other.doc_) { other.doc_ = nullptr; }

XmlDocument& XmlDocument::operator=(XmlDocument&& other) noexcept
{
    if (this != &other) {
        if (doc_)
            xmlFreeDoc(doc_);
        doc_ = other.doc_;
        other.doc_ = nullptr;
    }
    return *this;
}

XmlDocument::~XmlDocument()
{
    if (doc_)
        xmlFreeDoc(doc_);
}

XmlDocument XmlDocument::Load(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw QuillonError("Cannot open file " + file.string());
    std::string text;
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        text.append(chunk, static_cast<size_t>(in.gcount()));
        if (text.size() > kMaxXmlFileBytes)
            throw QuillonError("The file " + file.string() + " is larger than " +
                               std::to_string(kMaxXmlFileBytes / (1024 * 1024)) + " MB");
    }
    if (in.bad())
        throw QuillonError("Cannot read file " + file.string());
    return Parse(text);
}

XmlDocument XmlDocument::Parse(const std::string& text)
{
    xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
    if (!ctxt)
        throw QuillonError("Out of memory reading an XML document");
    if (text.size() > kMaxXmlFileBytes) {
        xmlFreeParserCtxt(ctxt);
        throw QuillonError("The document is larger than " + std::to_string(kMaxXmlFileBytes / (1024 * 1024)) + " MB");
    }
    bool hasDocumentType = false;
    ctxt->_private = &hasDocumentType;
    ctxt->sax->internalSubset = RefuseDocumentType;
    // No network, no entity substitution, no DTD loading, and no messages on stderr.
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    xmlDoc* doc = xmlCtxtReadMemory(ctxt, text.data(), static_cast<int>(text.size()), nullptr, nullptr, options);
    if (hasDocumentType) {
        if (doc)
            xmlFreeDoc(doc);
        xmlFreeParserCtxt(ctxt);
        throw QuillonError("The document has a document type declaration");
    }
    if (!doc || !xmlDocGetRootElement(doc)) {
        std::string message = "Document is empty";
        const xmlError* err = xmlCtxtGetLastError(ctxt);
        if (err && err->message) {
            message = Trimmed(err->message);
            if (err->line > 0)
                message += " (line " + std::to_string(err->line) + ")";
        }
        if (doc)
            xmlFreeDoc(doc);
        xmlFreeParserCtxt(ctxt);
        throw QuillonError(message);
    }
    xmlFreeParserCtxt(ctxt);
    return XmlDocument(doc);
}

XmlDocument XmlDocument::Create(const std::string& rootName)
{
    xmlDoc* doc = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
    if (!doc)
        throw QuillonError("Out of memory building an XML document");
    xmlNode* root = xmlNewDocNode(doc, nullptr, X(rootName), nullptr);
    if (!root) {
        xmlFreeDoc(doc);
        throw QuillonError("Out of memory building an XML document");
    }
    xmlDocSetRootElement(doc, root);
    return XmlDocument(doc);
}

XmlElement XmlDocument::Root() const { return XmlElement(xmlDocGetRootElement(doc_)); }

std::string XmlDocument::ToString() const
{
    xmlChar* mem = nullptr;
    int size = 0;
    xmlDocDumpFormatMemoryEnc(doc_, &mem, &size, "UTF-8", 0);
    if (!mem)
        throw QuillonError("Out of memory writing an XML document");
    std::string out(reinterpret_cast<const char*>(mem), static_cast<size_t>(size));
    xmlFree(mem);
    return out;
}

void XmlDocument::Save(const std::filesystem::path& file, bool ownerOnly) const
{
    WriteFileAtomically(file, ToString(), ownerOnly);
}

} // namespace quillon
