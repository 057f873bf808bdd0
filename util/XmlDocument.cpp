#include "XmlDocument.h"

#include <windows.h>

#include <cstring>

namespace {

const char kDefaultDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>";
const char kUtf8Bom[] = "\xEF\xBB\xBF";
// Deeper nesting ends parsing with ElementEndNotFound: it would only exhaust the stack.
const int kMaxDepth = 200;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool StartsWith(const std::string& s, size_t pos, const char* prefix) {
    return s.compare(pos, std::strlen(prefix), prefix) == 0;
}

// Position of what or npos, searching [from, end).
size_t FindBefore(const std::string& s, const char* what, size_t from, size_t end) {
    size_t pos = s.find(what, from);
    if (pos == std::string::npos || pos + std::strlen(what) > end) {
        return std::string::npos;
    }
    return pos;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// "&#65;" or "&#x42;" at pos: appends the UTF-8 form and returns the characters consumed,
// or 0 when it is no numeric reference (or an overlong one).
size_t DecodeNumericReference(const std::string& text, size_t pos, std::string& out) {
    size_t i = pos + 2;
    int base = 10;
    if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    }
    const size_t digitsStart = i;
    unsigned long value = 0;
    while (i < text.size()) {
        int digit = base == 16 ? HexValue(text[i])
                               : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
        if (digit < 0) {
            break;
        }
        value = value * base + digit;
        if (value > 0x10FFFF) {
            return 0;
        }
        ++i;
    }
    if (i == digitsStart) {
        return 0;
    }
    if (i < text.size() && text[i] == ';') {
        ++i;
    }
    wchar_t unit = static_cast<wchar_t>(value & 0xFFFF);
    char utf8[8];
    int n = WideCharToMultiByte(CP_UTF8, 0, &unit, 1, utf8, sizeof(utf8), nullptr, nullptr);
    out.append(utf8, n > 0 ? n : 0);
    return i - pos;
}

} // namespace

struct XmlDocument::Tag {
    size_t nameEnd = 0;
    size_t close = 0; // the '>' ending the tag
    bool empty = false;
};

XmlDocument::~XmlDocument() {
    if (!savePath.empty()) {
        SaveToFile(savePath, saveWide);
    }
}

bool XmlDocument::LoadFromString(const char* text) {
    source = text ? text : "";
    errorCode = Parsed;
    stopped = false;
    declaration.clear();
    outerComments.clear();
    root.reset();

    if (source.empty()) {
        declaration = kDefaultDeclaration;
        root = std::make_unique<XmlElement>("root");
        return true;
    }
    size_t pos = 0;
    size_t declEnd = source.find("?>");
    if (declEnd != std::string::npos) {
        declaration = source.substr(0, declEnd + 2);
        pos = declEnd + 2;
    } else {
        errorCode = NoDeclarationOrElement;
        declaration = std::string(kUtf8Bom) + kDefaultDeclaration;
    }
    if (source.find('<', pos) == std::string::npos) {
        errorCode = NoDeclarationOrElement;
        root = std::make_unique<XmlElement>("<root>");
        return true;
    }
    ParseMarkup(nullptr, pos, source.size(), 0);
    return true;
}

// Reads the tag starting at lt: the name runs to a blank, '/', '>' or '"'; a '>' inside a
// double-quoted value does not end the tag.
bool XmlDocument::ReadTag(size_t lt, size_t end, Tag& tag) const {
    size_t i = lt + 1;
    while (i < end && source[i] != ' ' && source[i] != '\t' && source[i] != '/' &&
           source[i] != '>' && source[i] != '"') {
        ++i;
    }
    tag.nameEnd = i;
    bool quoted = false;
    for (i = lt + 1; i < end; ++i) {
        if (source[i] == '"') {
            quoted = !quoted;
        } else if (source[i] == '>' && !quoted) {
            tag.close = i;
            tag.empty = source[i - 1] == '/' && i - 1 > lt;
            return true;
        }
    }
    return false;
}

bool XmlDocument::FindElementEnd(size_t lt, size_t end, size_t& contentEnd,
                                 size_t& elementEnd) const {
    int depth = 0;
    size_t i = lt;
    while (i < end) {
        size_t open = source.find('<', i);
        if (open == std::string::npos || open >= end) {
            return false;
        }
        size_t next;
        if (StartsWith(source, open, "<![CDATA")) {
            next = FindBefore(source, "]]>", open, end);
            if (next == std::string::npos) {
                return false;
            }
            i = next + 3;
            continue;
        }
        if (StartsWith(source, open, "<!") || StartsWith(source, open, "<?")) {
            next = FindBefore(source, ">", open, end);
            if (next == std::string::npos) {
                return false;
            }
            i = next + 1;
            continue;
        }
        Tag tag;
        if (!ReadTag(open, end, tag)) {
            return false;
        }
        if (source[open + 1] == '/') {
            if (--depth == 0) {
                contentEnd = open;
                elementEnd = tag.close + 1;
                return true;
            }
        } else if (!tag.empty) {
            ++depth;
        }
        i = tag.close + 1;
    }
    return false;
}

void XmlDocument::AddText(XmlElement* parent, size_t begin, size_t end) {
    if (!parent) {
        return;
    }
    while (begin < end && IsBlank(source[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(source[end - 1])) {
        --end;
    }
    if (begin < end) {
        parent->texts.push_back({source.substr(begin, end - begin), parent->children.size()});
    }
}

void XmlDocument::ParseMarkup(XmlElement* parent, size_t begin, size_t end, int depth) {
    size_t pos = begin;
    size_t textStart = begin;
    while (!stopped) {
        size_t lt = source.find('<', pos);
        if (lt == std::string::npos || lt >= end) {
            break;
        }
        AddText(parent, textStart, lt);
        if (StartsWith(source, lt, "<!--") || StartsWith(source, lt, "<?")) {
            size_t gt = FindBefore(source, ">", lt, end);
            if (gt == std::string::npos) {
                errorCode = ElementEndNotFound;
                stopped = true;
                return;
            }
            std::string text = gt >= lt + 6 ? source.substr(lt + 4, gt - 2 - (lt + 4)) : "";
            if (parent) {
                parent->comments.push_back({text, parent->children.size()});
            } else {
                outerComments.push_back({text, root != nullptr});
            }
            pos = gt + 1;
        } else if (StartsWith(source, lt, "<![CDATA")) {
            size_t close = FindBefore(source, "]]>", lt, end);
            if (close == std::string::npos) {
                errorCode = ElementEndNotFound;
                stopped = true;
                return;
            }
            size_t content = lt + 9;
            if (parent && content <= close) {
                parent->cdata.push_back(
                    {source.substr(content, close - content), parent->children.size()});
            }
            pos = close + 3;
        } else if (source[lt + 1] == '/' || source[lt + 1] == '!') {
            // End tags are not compared with start tags; other "<!" markup is skipped.
            size_t gt = FindBefore(source, ">", lt, end);
            pos = gt == std::string::npos ? end : gt + 1;
        } else {
            Tag tag;
            if (!ReadTag(lt, end, tag)) {
                errorCode = ElementEndNotFound;
                stopped = true;
                return;
            }
            auto element =
                std::make_unique<XmlElement>(source.substr(lt + 1, tag.nameEnd - (lt + 1)), parent);
            size_t i = tag.nameEnd;
            const size_t attributesEnd = tag.empty ? tag.close - 1 : tag.close;
            while (i < attributesEnd) {
                while (i < attributesEnd && (source[i] == ' ' || source[i] == '\t')) {
                    ++i;
                }
                if (i >= attributesEnd || source[i] == '/') {
                    break;
                }
                size_t eq = FindBefore(source, "=", i, attributesEnd);
                if (eq == std::string::npos) {
                    break;
                }
                size_t open = FindBefore(source, "\"", eq, attributesEnd);
                size_t close = open == std::string::npos
                                   ? std::string::npos
                                   : FindBefore(source, "\"", open + 1, attributesEnd);
                if (close == std::string::npos) {
                    break;
                }
                size_t nameEnd = eq;
                while (nameEnd > i && (source[nameEnd - 1] == ' ' || source[nameEnd - 1] == '\t')) {
                    --nameEnd;
                }
                element->attributes.push_back(
                    {source.substr(i, nameEnd - i), source.substr(open + 1, close - open - 1)});
                i = close + 1;
            }
            if (tag.empty) {
                pos = tag.close + 1;
            } else {
                size_t contentEnd = 0;
                size_t elementEnd = 0;
                if (depth >= kMaxDepth || !FindElementEnd(lt, end, contentEnd, elementEnd)) {
                    errorCode = ElementEndNotFound;
                    stopped = true;
                    return;
                }
                ParseMarkup(element.get(), tag.close + 1, contentEnd, depth + 1);
                pos = elementEnd;
            }
            if (parent) {
                parent->children.push_back(std::move(element));
            } else if (!root) {
                root = std::move(element);
            }
            if (stopped) {
                return;
            }
        }
        textStart = pos;
    }
    if (!stopped) {
        AddText(parent, textStart, end);
    }
}

XmlElement* XmlDocument::FindChild(XmlElement* element, const char* name, bool append,
                                   const char* otherName) {
    if (!element || !name) {
        return nullptr;
    }
    for (auto& child : element->children) {
        if (DecodeEntities(child->name) == name) {
            return child.get();
        }
    }
    if (!append) {
        return nullptr;
    }
    element->children.push_back(
        std::make_unique<XmlElement>(otherName ? otherName : name, element));
    return element->children.back().get();
}

size_t XmlDocument::GetText(XmlElement* element, char* buffer, size_t bufferSize, bool raw) {
    std::string text;
    if (element && !element->texts.empty()) {
        text = element->texts.front().text;
    }
    if (!buffer) {
        return text.size();
    }
    if (!raw) {
        text = DecodeEntities(text);
    }
    if (bufferSize == 0) {
        return text.size();
    }
    size_t n = text.size() < bufferSize ? text.size() : bufferSize - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return text.size();
}

std::string XmlDocument::DecodeEntities(const std::string& text) {
    static const struct {
        const char* entity;
        char c;
    } named[] = {{"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&lt;", '<'}, {"&gt;", '>'}};
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '&') {
            out += text[i++];
            continue;
        }
        size_t used = 0;
        if (StartsWith(text, i, "&#")) {
            used = DecodeNumericReference(text, i, out);
        } else {
            for (const auto& entry : named) {
                if (StartsWith(text, i, entry.entity)) {
                    out += entry.c;
                    used = std::strlen(entry.entity);
                    break;
                }
            }
        }
        if (used == 0) {
            out += text[i];
            used = 1;
        }
        i += used;
    }
    return out;
}

std::string XmlDocument::EncodeEntities(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        switch (text[i]) {
        case '&':
            out += (i + 1 < text.size() && text[i + 1] == '#') ? "&" : "&amp;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out += text[i];
        }
    }
    return out;
}

void XmlDocument::WriteElement(const XmlElement& element, int level, std::string& out) const {
    const std::string indent(level, element.blankIndent ? ' ' : '\t');
    const std::string inner(level + 1, element.blankIndent ? ' ' : '\t');
    out += indent + "<" + element.name;
    for (const auto& attribute : element.attributes) {
        out += " " + attribute.name + "=\"" + attribute.value + "\"";
    }
    if (element.children.empty() && element.texts.empty() && element.comments.empty() &&
        element.cdata.empty()) {
        out += "/>\r\n";
        return;
    }
    out += ">\r\n";
    for (size_t position = 0; position <= element.children.size(); ++position) {
        for (const auto& comment : element.comments) {
            if (comment.position == position) {
                out += inner + "<!--" + comment.text + "-->\r\n";
            }
        }
        for (const auto& section : element.cdata) {
            if (section.position == position) {
                out += inner + "<![CDATA[" + section.text + "]]>\r\n";
            }
        }
        for (const auto& text : element.texts) {
            if (text.position == position) {
                out += inner + text.text + "\r\n";
            }
        }
        if (position < element.children.size()) {
            WriteElement(*element.children[position], level + 1, out);
        }
    }
    out += indent + "</" + DecodeEntities(element.name) + ">\r\n";
}

std::string XmlDocument::SaveToString() {
    std::string out = declaration.empty() ? std::string(kDefaultDeclaration) : declaration;
    out += "\r\n";
    for (const auto& comment : outerComments) {
        if (!comment.afterRoot) {
            out += "<!--" + comment.text + "-->\r\n";
        }
    }
    if (root) {
        WriteElement(*root, 0, out);
    }
    for (const auto& comment : outerComments) {
        if (comment.afterRoot) {
            out += "<!--" + comment.text + "-->\r\n";
        }
    }
    return out;
}

std::wstring XmlDocument::SaveToWideString() {
    std::string utf8 = SaveToString();
    std::wstring wide;
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (n > 0) {
        wide.resize(n);
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
    }
    return wide;
}

bool XmlDocument::SaveToFile(const std::wstring& path, bool wide) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    std::string bytes;
    if (wide) {
        std::wstring text = SaveToWideString();
        bytes.assign(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    } else {
        bytes = SaveToString();
    }
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

void XmlDocument::SetSaveOnClose(const std::wstring& path, bool wide) {
    savePath = path;
    saveWide = wide;
}
