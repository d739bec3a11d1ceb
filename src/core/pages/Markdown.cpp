#include "pages/Markdown.h"

#include <cmark.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <vector>

#include "common/Encoding.h"

namespace tabulo {

namespace {

struct NodeFree {
    void operator()(cmark_node* node) const { cmark_node_free(node); }
};
struct IterFree {
    void operator()(cmark_iter* iter) const { cmark_iter_free(iter); }
};
struct MallocFree {
    void operator()(char* p) const { std::free(p); }
};
using NodePtr = std::unique_ptr<cmark_node, NodeFree>;
using IterPtr = std::unique_ptr<cmark_iter, IterFree>;

// Without CMARK_OPT_UNSAFE cmark leaves raw HTML out. Quotes stay as typed (no SMART).
constexpr int kOptions = CMARK_OPT_DEFAULT | CMARK_OPT_VALIDATE_UTF8;

// The scheme of an address the way a browser finds it: leading blanks and control characters
// dropped, tabs and line breaks inside it ignored, lower case. Empty when it has none.
std::string schemeOf(std::string_view url) {
    std::size_t begin = 0;
    while (begin < url.size() && static_cast<unsigned char>(url[begin]) <= 0x20) ++begin;
    std::string scheme;
    for (std::size_t i = begin; i < url.size(); ++i) {
        char c = url[i];
        if (c == '\t' || c == '\n' || c == '\r') continue;
        if (c == ':') return scheme;
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        bool more = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!letter && (scheme.empty() || !more)) return {};
        scheme += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    return {};
}

bool runsSomething(std::string_view url) {
    static constexpr std::array<std::string_view, 4> kDangerous = {"javascript", "vbscript", "file",
                                                                   "data"};
    std::string scheme = schemeOf(url);
    for (auto d : kDangerous) {
        if (scheme == d) return true;
    }
    return false;
}

// An address that reaches outside the site: any scheme, or "//host" (browsers read "\" as "/").
bool isRemote(std::string_view url) {
    if (!schemeOf(url).empty()) return true;
    int slashes = 0;
    for (unsigned char c : url) {
        if (slashes == 0 && c <= 0x20) continue;
        if (c == '\t' || c == '\n' || c == '\r') continue;
        if (c != '/' && c != '\\') break;
        if (++slashes == 2) return true;
    }
    return false;
}

const char* urlOf(cmark_node* node) {
    const char* url = cmark_node_get_url(node);
    return url ? url : "";
}

// What the HTML renderer would put into the image's alt attribute.
std::string altText(cmark_node* image) {
    std::string text;
    IterPtr it(cmark_iter_new(image));
    cmark_event_type ev;
    while ((ev = cmark_iter_next(it.get())) != CMARK_EVENT_DONE) {
        if (ev != CMARK_EVENT_ENTER) continue;
        cmark_node* n = cmark_iter_get_node(it.get());
        switch (cmark_node_get_type(n)) {
            case CMARK_NODE_TEXT:
            case CMARK_NODE_CODE:
                if (const char* s = cmark_node_get_literal(n)) text += s;
                break;
            case CMARK_NODE_SOFTBREAK:
            case CMARK_NODE_LINEBREAK:
                text += ' ';
                break;
            default:
                break;
        }
    }
    return text;
}

cmark_node* newText(const std::string& literal) {
    cmark_node* text = cmark_node_new(CMARK_NODE_TEXT);
    cmark_node_set_literal(text, literal.c_str());
    return text;
}

// Replaces a node by `replacement`, freeing the old one with whatever it still holds. Should
// cmark refuse the swap, the old node still goes: losing it is safer than keeping it.
void replaceNode(cmark_node* old, cmark_node* replacement) {
    NodePtr fresh(replacement);
    if (cmark_node_replace(old, replacement)) static_cast<void>(fresh.release());  // tree owns it
    NodePtr gone(old);
}

bool insideLink(cmark_node* node) {
    for (cmark_node* p = cmark_node_parent(node); p; p = cmark_node_parent(p)) {
        cmark_node_type type = cmark_node_get_type(p);
        if (type == CMARK_NODE_LINK) return true;
        // Links are inline: none can hold a block.
        if (type < CMARK_NODE_FIRST_INLINE) return false;
    }
    return false;
}

// A link whose address would run something keeps its text and loses the link.
void unwrapLink(cmark_node* link) {
    while (cmark_node* child = cmark_node_first_child(link)) cmark_node_insert_before(link, child);
    cmark_node_unlink(link);
    NodePtr gone(link);
}

// An image from elsewhere becomes a link to it named by its alt text; inside another link, or
// when the address would run something, just the text.
void defuseImage(cmark_node* image) {
    std::string url = urlOf(image);
    std::string alt = altText(image);
    if (insideLink(image) || runsSomething(url)) {
        replaceNode(image, newText(alt));
        return;
    }
    cmark_node* link = cmark_node_new(CMARK_NODE_LINK);
    cmark_node_set_url(link, url.c_str());
    if (const char* title = cmark_node_get_title(image)) cmark_node_set_title(link, title);
    cmark_node_append_child(link, newText(alt.empty() ? url : alt));
    replaceNode(image, link);
}

void makeSafe(cmark_node* root) {
    // Changing the tree while walking it is not allowed: collect first.
    std::vector<cmark_node*> links, images;
    {
        IterPtr it(cmark_iter_new(root));
        cmark_event_type ev;
        while ((ev = cmark_iter_next(it.get())) != CMARK_EVENT_DONE) {
            if (ev != CMARK_EVENT_ENTER) continue;
            cmark_node* n = cmark_iter_get_node(it.get());
            cmark_node_type type = cmark_node_get_type(n);
            if (type == CMARK_NODE_LINK && runsSomething(urlOf(n))) links.push_back(n);
            if (type == CMARK_NODE_IMAGE && isRemote(urlOf(n))) images.push_back(n);
        }
    }
    // Unwrapping moves a link's children but frees none of them.
    for (cmark_node* link : links) unwrapLink(link);
    // Innermost first: an image in another image's alt text goes before the outer one is freed.
    for (auto it = images.rbegin(); it != images.rend(); ++it) defuseImage(*it);
}

}  // namespace

std::string RenderMarkdown(std::string_view text) {
    std::string utf8 = toUtf8(text);
    NodePtr doc(cmark_parse_document(utf8.data(), utf8.size(), kOptions));
    if (!doc) return {};
    makeSafe(doc.get());
    std::unique_ptr<char, MallocFree> html(cmark_render_html(doc.get(), kOptions));
    return html ? std::string(html.get()) : std::string();
}

}  // namespace tabulo
