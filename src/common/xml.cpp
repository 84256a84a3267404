#include "common/xml.h"

#include "common/atomicfile.h"
#include "common/error.h"
#include "common/text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

namespace {

const char* Chars(const std::string& s) { return s.c_str(); }
const xmlChar* X(const std::string& s) { return reinterpret_cast<const xmlChar*>(Chars(s)); }

// None of the program's files has a document type declaration; one that has is damaged
// or hostile. Stopping at the declaration means entities are never declared, so no value
// can expand into more than the file itself holds.
struct ParseGuard {
    bool documentType = false;
};

void RefuseDocumentType(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*)
{
    auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
    static_cast<ParseGuard*>(ctxt->_private)->documentType = true;
    xmlStopParser(ctxt);
}

std::string Trimmed(const char* message)
{
    std::string s = message ? message : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s;
}

std::string LastErrorText(xmlParserCtxtPtr ctxt)
{
    std::string message = "Document is empty";
    const xmlError* err = xmlCtxtGetLastError(ctxt);
    if (err && err->message) {
        message = Trimmed(err->message);
        if (err->line > 0)
            message += " (line " + std::to_string(err->line) + ")";
    }
    return message;
}

std::string TooLargeText(const std::string& what, size_t limit)
{
    return what + " is larger than " + std::to_string(limit / (1024 * 1024)) + " MB";
}

struct StreamState : ParseGuard {
    XmlStreamHandler* handler = nullptr;
    size_t depth = 0;
    bool tooDeep = false;
    bool stoppedByHandler = false;
};

StreamState& StateOf(void* ctx)
{
    return *static_cast<StreamState*>(static_cast<xmlParserCtxtPtr>(ctx)->_private);
}

void StreamStartElement(void* ctx, const xmlChar* localname, const xmlChar*, const xmlChar*, int, const xmlChar**,
                        int attributeCount, int, const xmlChar** attributes)
{
    StreamState& state = StateOf(ctx);
    if (++state.depth > kMaxStreamedXmlDepth) {
        state.tooDeep = true;
        xmlStopParser(static_cast<xmlParserCtxtPtr>(ctx));
        return;
    }
    if (!state.handler->StartElement(XmlStartTag(localname, attributeCount, attributes))) {
        state.stoppedByHandler = true;
        xmlStopParser(static_cast<xmlParserCtxtPtr>(ctx));
    }
}

void StreamEndElement(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*)
{
    StreamState& state = StateOf(ctx);
    --state.depth;
    state.handler->EndElement();
}

// An open file descriptor that closes itself.
class TFileHandle {
public:
    explicit TFileHandle(int fd) : fd_(fd) {}
    ~TFileHandle()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

// Attribute values escaped as the library's serializer escapes them for a UTF-8
// document, so both writers give the same bytes.
void AppendEscaped(std::string& out, std::string_view value)
{
    for (;;) {
        const size_t special = value.find_first_of("<>&\"\n\r\t");
        out.append(value.substr(0, special));
        if (special == std::string_view::npos)
            return;
        switch (value[special]) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        case '\n': out += "&#10;"; break;
        case '\r': out += "&#13;"; break;
        default: out += "&#9;"; break;
        }
        value.remove_prefix(special + 1);
    }
}

} // namespace

std::string XmlStartTag::LowerName() const { return AsciiLower(reinterpret_cast<const char*>(name_)); }

std::optional<std::string> XmlStartTag::Attribute(const char* name) const
{
    // Five pointers an attribute: local name, prefix, namespace, value and its end.
    for (int i = 0; i < attributeCount_; ++i) {
        const xmlChar* const* a = attributes_ + 5 * i;
        if (a[1] != nullptr || std::strcmp(reinterpret_cast<const char*>(a[0]), name) != 0)
            continue;
        std::string value(reinterpret_cast<const char*>(a[3]), static_cast<size_t>(a[4] - a[3]));
        // Without entity substitution the parser hands every other reference over decoded
        // but an ampersand as "&#38;", for the tree builder to decode; with no document
        // type there are no other entities to meet.
        for (size_t at = value.find("&#38;"); at != std::string::npos; at = value.find("&#38;", at + 1))
            value.replace(at, 5, "&");
        return value;
    }
    return std::nullopt;
}

void ReadXmlStream(const std::filesystem::path& file, XmlStreamHandler& handler)
{
    TFileHandle fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0)
        throw QuillonError("Cannot open file " + file.string() + ": " + std::strerror(errno));
    struct stat info{};
    if (::fstat(fd.Get(), &info) != 0)
        throw QuillonError("Cannot read file " + file.string() + ": " + std::strerror(errno));
    if (static_cast<uint64_t>(info.st_size) > kMaxStreamedXmlBytes)
        throw QuillonError(TooLargeText("The file " + file.string(), kMaxStreamedXmlBytes));

    xmlSAXHandler sax{};
    sax.initialized = XML_SAX2_MAGIC;
    sax.startElementNs = StreamStartElement;
    sax.endElementNs = StreamEndElement;
    sax.internalSubset = RefuseDocumentType;
    StreamState state;
    state.handler = &handler;
    std::unique_ptr<xmlParserCtxt, void (*)(xmlParserCtxtPtr)> ctxt(
        xmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0, nullptr), xmlFreeParserCtxt);
    if (!ctxt)
        throw QuillonError("Out of memory reading an XML document");
    ctxt->_private = &state;
    // No network, no entity substitution, no messages on stderr; the library's own depth
    // limit is lifted because the stream keeps its own.
    xmlCtxtUseOptions(ctxt.get(), XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE);

    std::vector<char> chunk(1 << 16);
    size_t total = 0;
    for (;;) {
        const ssize_t n = ::read(fd.Get(), chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw QuillonError("Cannot read file " + file.string() + ": " + std::strerror(errno));
        total += static_cast<size_t>(n);
        // The file may have grown since it was measured.
        if (total > kMaxStreamedXmlBytes)
            throw QuillonError(TooLargeText("The file " + file.string(), kMaxStreamedXmlBytes));
        xmlParseChunk(ctxt.get(), chunk.data(), static_cast<int>(n), n == 0);
        if (n == 0 || ctxt->disableSAX)
            break;
    }
    if (state.stoppedByHandler)
        return;
    if (state.documentType)
        throw QuillonError("The document has a document type declaration");
    if (state.tooDeep)
        throw QuillonError("The document nests elements deeper than " + std::to_string(kMaxStreamedXmlDepth));
    if (!ctxt->wellFormed)
        throw QuillonError(LastErrorText(ctxt.get()));
}

XmlStreamWriter::XmlStreamWriter() { out_ = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"; }

void XmlStreamWriter::Append(std::string_view text)
{
    out_ += text;
    if (out_.size() > kMaxStreamedXmlBytes)
        throw QuillonError(TooLargeText("The document", kMaxStreamedXmlBytes));
}

void XmlStreamWriter::StartElement(std::string_view name)
{
    if (open_.size() >= kMaxStreamedXmlDepth)
        throw QuillonError("The document would nest elements deeper than " + std::to_string(kMaxStreamedXmlDepth));
    if (tagOpen_)
        out_ += '>';
    out_ += '<';
    Append(name);
    open_.emplace_back(name);
    tagOpen_ = true;
}

void XmlStreamWriter::Attribute(std::string_view name, std::string_view value)
{
    out_ += ' ';
    out_ += name;
    out_ += "=\"";
    AppendEscaped(out_, value);
    Append("\"");
}

void XmlStreamWriter::EndElement()
{
    if (tagOpen_) {
        Append("/>");
    } else {
        out_ += "</";
        out_ += open_.back();
        Append(">");
    }
    open_.pop_back();
    tagOpen_ = false;
}

std::string XmlStreamWriter::Finish()
{
    if (!open_.empty())
        throw QuillonError("An XML element was left open");
    Append("\n");
    return std::move(out_);
}

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
            throw QuillonError(TooLargeText("The file " + file.string(), kMaxXmlFileBytes));
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
        throw QuillonError(TooLargeText("The document", kMaxXmlFileBytes));
    }
    ParseGuard guard;
    ctxt->_private = &guard;
    ctxt->sax->internalSubset = RefuseDocumentType;
    // No network, no entity substitution, no DTD loading, and no messages on stderr.
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    xmlDoc* doc = xmlCtxtReadMemory(ctxt, text.data(), static_cast<int>(text.size()), nullptr, nullptr, options);
    if (guard.documentType) {
        if (doc)
            xmlFreeDoc(doc);
        xmlFreeParserCtxt(ctxt);
        throw QuillonError("The document has a document type declaration");
    }
    if (!doc || !xmlDocGetRootElement(doc)) {
        const std::string message = LastErrorText(ctxt);
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
    // What the reader would refuse is never written in place of a file it can read.
    if (out.size() > kMaxXmlFileBytes)
        throw QuillonError(TooLargeText("The document", kMaxXmlFileBytes));
    return out;
}

void XmlDocument::Save(const std::filesystem::path& file, bool ownerOnly) const
{
    WriteFileAtomically(file, ToString(), ownerOnly);
}

} // namespace quillon
