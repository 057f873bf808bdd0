#pragma once

#include <memory>
#include <string>
#include <vector>

// A forgiving reader (and writer) of UTF-8 XML. It cuts the text at '<' and '>', matches
// end tags by nesting depth only and keeps going where a strict parser would stop. Bounds
// are checked everywhere: any input, however broken, yields some tree and an error code.

struct XmlAttribute {
    std::string name;  // trailing blanks removed
    std::string value; // as written, entities not decoded
};

// A text, comment or CDATA section with the number of child elements that preceded it.
struct XmlSegment {
    std::string text;
    size_t position = 0;
};

class XmlElement {
public:
    explicit XmlElement(const std::string& name, XmlElement* parent = nullptr)
        : name(name), parent(parent) {}

    std::string name;
    XmlElement* parent;
    std::vector<std::unique_ptr<XmlElement>> children;
    std::vector<XmlAttribute> attributes;
    std::vector<XmlSegment> texts; // written (escaped) form
    std::vector<XmlSegment> comments;
    std::vector<XmlSegment> cdata;
    bool blankIndent = false; // the writer indents by one blank per level instead of a tab
};

class XmlDocument {
public:
    enum { Parsed = 0, NoDeclarationOrElement = 1, ElementEndNotFound = 2 };

    XmlDocument() = default;
    ~XmlDocument();

    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    // Discards the previous content and parses; the outcome is in GetErrorCode().
    bool LoadFromString(const char* text);
    int GetErrorCode() const { return errorCode; }
    XmlElement* GetRoot() { return root.get(); }
    const std::string& GetDeclaration() const { return declaration; }

    // First direct child whose decoded name equals name exactly. Not found: null, or with
    // append set a new empty child named otherName (or name).
    XmlElement* FindChild(XmlElement* element, const char* name, bool append = false,
                          const char* otherName = nullptr);
    // Copies the first text segment (decoded, or as written when raw) and a terminating zero
    // into buffer, at most bufferSize bytes in all; returns the text's length. Without buffer
    // it returns the size a copy needs at most, terminator excluded.
    size_t GetText(XmlElement* element, char* buffer, size_t bufferSize, bool raw = false);

    static std::string DecodeEntities(const std::string& text);
    static std::string EncodeEntities(const std::string& text);

    // The writer: one line per item, indented by nesting level.
    std::string SaveToString();
    std::wstring SaveToWideString();
    bool SaveToFile(const std::wstring& path, bool wide = false);
    // With a path set, the destructor writes the document.
    void SetSaveOnClose(const std::wstring& path, bool wide = false);

    // Comments and processing instructions outside the root element.
    struct OuterComment {
        std::string text;
        bool afterRoot;
    };
    const std::vector<OuterComment>& GetOuterComments() const { return outerComments; }

private:
    struct Tag;
    void ParseMarkup(XmlElement* parent, size_t begin, size_t end, int depth);
    bool ReadTag(size_t lt, size_t end, Tag& tag) const;
    bool FindElementEnd(size_t lt, size_t end, size_t& contentEnd, size_t& elementEnd) const;
    void AddText(XmlElement* parent, size_t begin, size_t end);
    void WriteElement(const XmlElement& element, int level, std::string& out) const;

    std::string source;
    int errorCode = Parsed;
    bool stopped = false;
    std::string declaration;
    std::vector<OuterComment> outerComments;
    std::unique_ptr<XmlElement> root;
    std::wstring savePath;
    bool saveWide = false;
};
