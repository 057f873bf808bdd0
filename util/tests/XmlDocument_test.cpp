#include <gtest/gtest.h>

#include <string>

#include "XmlDocument.h"

namespace {

std::string Text(XmlDocument& doc, XmlElement* element, bool raw = false) {
    char buffer[256];
    doc.GetText(element, buffer, sizeof(buffer), raw);
    return buffer;
}

} // namespace

TEST(XmlDocument, ReplyWithoutDeclarationIsUsable) {
    XmlDocument doc;
    doc.LoadFromString("<r><ErrorCode>0</ErrorCode></r>");
    EXPECT_EQ(1, doc.GetErrorCode());
    ASSERT_NE(nullptr, doc.GetRoot());
    EXPECT_EQ("r", doc.GetRoot()->name);
    XmlElement* code = doc.FindChild(doc.GetRoot(), "ErrorCode");
    ASSERT_NE(nullptr, code);
    EXPECT_EQ("0", Text(doc, code));
}

TEST(XmlDocument, EntitiesDecodedOnReadingAndKeptRaw) {
    XmlDocument doc;
    doc.LoadFromString("<?xml version=\"1.0\"?><a><b>x &amp; y</b></a>");
    EXPECT_EQ(0, doc.GetErrorCode());
    EXPECT_EQ("<?xml version=\"1.0\"?>", doc.GetDeclaration());
    XmlElement* b = doc.FindChild(doc.GetRoot(), "b");
    ASSERT_NE(nullptr, b);
    EXPECT_EQ("x & y", Text(doc, b));
    EXPECT_EQ("x &amp; y", Text(doc, b, true));
}

TEST(XmlDocument, DecodeEntities) {
    EXPECT_EQ("ABC", XmlDocument::DecodeEntities("&#65;&#x42;&#X43;"));
    EXPECT_EQ("\xC4\x8C", XmlDocument::DecodeEntities("&#x10C;"));
    EXPECT_EQ("A&B", XmlDocument::DecodeEntities("A&B"));
    EXPECT_EQ("<\"'>&", XmlDocument::DecodeEntities("&lt;&quot;&apos;&gt;&amp;"));
    EXPECT_EQ("&#;&#x;", XmlDocument::DecodeEntities("&#;&#x;"));
    // Overlong references are left as written.
    EXPECT_EQ("&#99999999999999999999;", XmlDocument::DecodeEntities("&#99999999999999999999;"));
    EXPECT_EQ("&#x110000;", XmlDocument::DecodeEntities("&#x110000;"));
}

TEST(XmlDocument, EncodeEntitiesPassesNumericReferences) {
    EXPECT_EQ("a &amp; b &#65; &lt;&gt;&quot;&apos;",
              XmlDocument::EncodeEntities("a & b &#65; <>\"'"));
}

TEST(XmlDocument, TextTrimmedOfBlanks) {
    XmlDocument doc;
    doc.LoadFromString("<?xml?><a><v>  12.5 \r\n</v><w> \t </w></a>");
    EXPECT_EQ("12.5", Text(doc, doc.FindChild(doc.GetRoot(), "v")));
    EXPECT_TRUE(doc.FindChild(doc.GetRoot(), "w")->texts.empty());
}

TEST(XmlDocument, MissingEndTagStopsWithCode2) {
    XmlDocument doc;
    doc.LoadFromString("<?xml?><a><b>text</a>");
    EXPECT_EQ(2, doc.GetErrorCode());
    XmlDocument open;
    open.LoadFromString("<?xml?><a><b>1</b><c>");
    EXPECT_EQ(2, open.GetErrorCode());
}

TEST(XmlDocument, QuotedGreaterThanInAttribute) {
    XmlDocument doc;
    doc.LoadFromString("<?xml?><a x=\"1>2\" y = \"z\"><b/></a>");
    EXPECT_EQ(0, doc.GetErrorCode());
    XmlElement* root = doc.GetRoot();
    ASSERT_EQ(2u, root->attributes.size());
    EXPECT_EQ("x", root->attributes[0].name);
    EXPECT_EQ("1>2", root->attributes[0].value);
    EXPECT_EQ("y", root->attributes[1].name);
    EXPECT_EQ("z", root->attributes[1].value);
    EXPECT_NE(nullptr, doc.FindChild(root, "b"));
}

TEST(XmlDocument, FindChildComparesWholeNames) {
    XmlDocument doc;
    doc.LoadFromString("<?xml?><r><LAT>1</LAT><A:LAT>2</A:LAT><a:LAT>3</a:LAT></r>");
    XmlElement* lat = doc.FindChild(doc.GetRoot(), "a:LAT");
    ASSERT_NE(nullptr, lat);
    EXPECT_EQ("3", Text(doc, lat));
    EXPECT_EQ(nullptr, doc.FindChild(doc.GetRoot(), "a:lat"));
    EXPECT_EQ(nullptr, doc.FindChild(doc.GetRoot(), "LON"));
    XmlElement* added = doc.FindChild(doc.GetRoot(), "LON", true, "Other");
    ASSERT_NE(nullptr, added);
    EXPECT_EQ("Other", added->name);
}

TEST(XmlDocument, EmptyElementHasNoText) {
    XmlDocument doc;
    doc.LoadFromString("<?xml?><a><b/></a>");
    XmlElement* b = doc.FindChild(doc.GetRoot(), "b");
    ASSERT_NE(nullptr, b);
    EXPECT_EQ("", Text(doc, b));
    EXPECT_EQ(0u, doc.GetText(b, nullptr, 0));
}

TEST(XmlDocument, EmptyAndElementlessInput) {
    XmlDocument empty;
    empty.LoadFromString("");
    EXPECT_EQ(0, empty.GetErrorCode());
    EXPECT_EQ("root", empty.GetRoot()->name);
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>",
              empty.GetDeclaration());

    XmlDocument plain;
    plain.LoadFromString("just text");
    EXPECT_EQ(1, plain.GetErrorCode());
    EXPECT_EQ("<root>", plain.GetRoot()->name);
    EXPECT_EQ("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>",
              plain.GetDeclaration());
}

TEST(XmlDocument, CommentsCdataAndPositions) {
    XmlDocument doc;
    doc.LoadFromString("<?xml?><!--before--><a>t1<!--c1--><b>x</b><![CDATA[<raw>]]>t2</a>"
                       "<!--after-->");
    EXPECT_EQ(0, doc.GetErrorCode());
    XmlElement* a = doc.GetRoot();
    ASSERT_EQ(2u, a->texts.size());
    EXPECT_EQ(0u, a->texts[0].position);
    EXPECT_EQ(1u, a->texts[1].position);
    ASSERT_EQ(1u, a->comments.size());
    EXPECT_EQ("c1", a->comments[0].text);
    ASSERT_EQ(1u, a->cdata.size());
    EXPECT_EQ("<raw>", a->cdata[0].text);
    EXPECT_EQ(1u, a->cdata[0].position);
    ASSERT_EQ(2u, doc.GetOuterComments().size());
    EXPECT_FALSE(doc.GetOuterComments()[0].afterRoot);
    EXPECT_TRUE(doc.GetOuterComments()[1].afterRoot);
}

TEST(XmlDocument, ServiceReplyWithNamespaces) {
    XmlDocument doc;
    doc.LoadFromString(
        "<GsmQueryResult xmlns=\"http://schemas.datacontract.org/2004/07/Kestrel\" "
        "xmlns:i=\"http://www.w3.org/2001/XMLSchema-instance\"><ErrorCode>0</ErrorCode>"
        "<GpsPosition xmlns:a=\"http://schemas.datacontract.org/2004/07/Kestrel.Gps\">"
        "<a:LAT>50.0875</a:LAT><a:LON>14.4213</a:LON></GpsPosition></GsmQueryResult>");
    EXPECT_EQ(1, doc.GetErrorCode());
    XmlElement* position = doc.FindChild(doc.GetRoot(), "GpsPosition");
    ASSERT_NE(nullptr, position);
    EXPECT_EQ("50.0875", Text(doc, doc.FindChild(position, "a:LAT")));
    EXPECT_EQ("14.4213", Text(doc, doc.FindChild(position, "a:LON")));
}

TEST(XmlDocument, GetTextNeverOverrunsTheBuffer) {
    XmlDocument doc;
    doc.LoadFromString("<?xml?><a>0123456789</a>");
    char buffer[6] = {'x', 'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(10u, doc.GetText(doc.GetRoot(), buffer, 4));
    EXPECT_STREQ("012", buffer);
    EXPECT_EQ('x', buffer[4]);
}

TEST(XmlDocument, WriterRoundTrip) {
    XmlDocument doc;
    doc.LoadFromString("<?xml version=\"1.0\"?><a k=\"v\"><b>x &amp; y</b><c/></a>");
    std::string written = doc.SaveToString();
    EXPECT_EQ("<?xml version=\"1.0\"?>\r\n<a k=\"v\">\r\n\t<b>\r\n\t\tx &amp; y\r\n\t</b>\r\n"
              "\t<c/>\r\n</a>\r\n",
              written);
    XmlDocument again;
    again.LoadFromString(written.c_str());
    EXPECT_EQ(0, again.GetErrorCode());
    EXPECT_EQ("x & y", Text(again, again.FindChild(again.GetRoot(), "b")));
}
