#include <gtest/gtest.h>

#include <random>
#include <string>

#include "XmlDocument.h"

namespace {

const char* const kSeeds[] = {
    "<?xml version=\"1.0\"?><r><ErrorCode>0</ErrorCode><GpsPosition xmlns:a=\"x\">"
    "<a:LAT>50.1</a:LAT><a:LON>14.4</a:LON></GpsPosition></r>",
    "<a x=\"1>2\"><b/><!--c--><![CDATA[d]]>&#x10C;&amp;&#65;</a>",
    "<?pi?><!DOCTYPE x><a><b><c></c></b></a><!--after-->",
};

// Walks the whole tree and reads every text, so a broken tree would show here.
void Walk(XmlDocument& doc, XmlElement* element, int level) {
    ASSERT_LT(level, 1000);
    char buffer[64];
    doc.GetText(element, buffer, sizeof(buffer));
    doc.GetText(element, buffer, sizeof(buffer), true);
    doc.FindChild(element, "a:LAT");
    for (auto& child : element->children) {
        EXPECT_EQ(element, child->parent);
        Walk(doc, child.get(), level + 1);
    }
}

void Exercise(const std::string& text) {
    XmlDocument doc;
    doc.LoadFromString(text.c_str());
    int code = doc.GetErrorCode();
    EXPECT_TRUE(code >= 0 && code <= 2);
    if (doc.GetRoot()) {
        Walk(doc, doc.GetRoot(), 0);
    }
    doc.SaveToString();
}

} // namespace

TEST(XmlDocumentRobustness, MutatedDocumentsNeverBreakTheReader) {
    std::mt19937 random(20061208);
    const char alphabet[] = "<>/?!-=\"&#;x[]CDATA ab:\t\r\n0123456789\xC4\x8C";
    for (int round = 0; round < 3000; ++round) {
        std::string text = kSeeds[round % 3];
        int edits = 1 + random() % 8;
        for (int e = 0; e < edits && !text.empty(); ++e) {
            size_t at = random() % text.size();
            switch (random() % 3) {
            case 0:
                text.erase(at, 1 + random() % 4);
                break;
            case 1:
                text.insert(at, 1, alphabet[random() % (sizeof(alphabet) - 1)]);
                break;
            default:
                text[at] = alphabet[random() % (sizeof(alphabet) - 1)];
            }
        }
        Exercise(text);
    }
}

TEST(XmlDocumentRobustness, RandomBytesNeverBreakTheReader) {
    std::mt19937 random(42);
    for (int round = 0; round < 2000; ++round) {
        std::string text(random() % 200, ' ');
        for (char& c : text) {
            c = static_cast<char>(1 + random() % 255);
        }
        Exercise(text);
    }
}

TEST(XmlDocumentRobustness, DeepNestingStopsInsteadOfExhaustingTheStack) {
    std::string text = "<?xml?>";
    for (int i = 0; i < 100000; ++i) {
        text += "<a>";
    }
    for (int i = 0; i < 100000; ++i) {
        text += "</a>";
    }
    XmlDocument doc;
    doc.LoadFromString(text.c_str());
    EXPECT_EQ(2, doc.GetErrorCode());
}

TEST(XmlDocumentRobustness, HugeNumericReferencesAndTruncatedMarkup) {
    Exercise("<?xml?><a>&#xFFFFFFFFFFFFFFFFFFFF;&#");
    Exercise("<?xml?><a b=\"");
    Exercise("<?xml?><a><![CDATA[");
    Exercise("<?xml?><!--");
    Exercise("<");
    Exercise("<<<>>>");
}
