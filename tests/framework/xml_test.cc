// The XML layer behaves like the classic DOM the item walks were written for.
#include "framework/xml.h"

#include <gtest/gtest.h>

#include <functional>

#include "pelmark/com.h"

namespace corvane_test {
namespace {

using corvane::XmlDocument;
using corvane::XmlNode;

int32_t ErrorNumberOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const pelmark::Error& e) {
    return e.number();
  }
  return 0;
}

TEST(XmlTest, MalformedTextLeavesTheDocumentEmpty) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml("<a><b id='1'/></a>"));
  EXPECT_FALSE(doc.LoadXml("<a><b>"));
  EXPECT_TRUE(doc.SelectSingleNode("//a").is_nothing());
  EXPECT_EQ(ErrorNumberOf([&] { doc.SelectSingleNode("//a").Attribute("id"); }), 91);
}

TEST(XmlTest, EveryKindOfMalformedTextIsRefused) {
  const char* malformed[] = {
      "<a/><b/>",                                    // two roots
      "<a id='1' id='2'/>",                          // a repeated attribute
      "<a>&foo;</a>",                                // an entity nobody declared
      "text<a/>",                                    // text before the root
      "<a id='<'/>",                                 // a raw < in a value
      "<x:a/>",                                      // a prefix nobody declared
      "",                                            // nothing at all
      "<a></b>",                                     // mismatched tags
      "<a>]]></a>",                                  // a section end in text
      "<a><!-- x -- y --></a>",                      // a double hyphen in a comment
      "<a x:b='1'/>",                                // an attribute prefix nobody declared
      "<a>&#0;</a>",                                 // a reference to no character
      "<!DOCTYPE a [<!ENTITY e '<b>'>]><a>&e;</a>",  // a declared entity that is no content
      "<a><b/></a><!-- after --><c/>",               // a second root after a comment
  };
  for (const char* text : malformed) {
    XmlDocument doc;
    EXPECT_FALSE(doc.LoadXml(text)) << text;
    EXPECT_TRUE(doc.SelectSingleNode("//a").is_nothing()) << text;
  }
  const char* well_formed[] = {
      "<?xml version='1.0' encoding='UTF-16'?><a/>",  // a loaded string is read as UTF-8
      "<!-- c --><a x='&lt;&#65;'><![CDATA[<]]></a>",
      "<x:a xmlns:x='urn:x'/>",
      "<!DOCTYPE a [<!ENTITY e 'v'>]><a>&e;</a>",
      "<!DOCTYPE a [<!ENTITY e '<b/>'>]><a>&e;&e;</a>",
      "<a xmlns:x='urn:x'><b x:c='1'/></a>",
  };
  for (const char* text : well_formed) {
    XmlDocument doc;
    EXPECT_TRUE(doc.LoadXml(text)) << text;
  }
}

TEST(XmlTest, ChildNodesKeepCommentsAndTextButDropBlankText) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml("<l>\n  <i id='1'/>\n  <!-- c --> text <?pi x?><i id='2'/>\n</l>"));
  std::vector<XmlNode> children = doc.SelectSingleNode("//l").ChildNodes();
  ASSERT_EQ(children.size(), 5u);
  EXPECT_EQ(children[0].Attribute("id"), "1");
  EXPECT_EQ(ErrorNumberOf([&] { children[1].Attribute("id"); }), 91) << "comment";
  EXPECT_EQ(ErrorNumberOf([&] { children[2].Attribute("id"); }), 91) << "text";
  EXPECT_EQ(ErrorNumberOf([&] { children[3].Attribute("id"); }), 91) << "processing instruction";
  EXPECT_EQ(children[4].Attribute("id"), "2");
}

TEST(XmlTest, AttributesAreCaseSensitiveAndMissingOnesAreUnsetObjects) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml("<d EntityType='x' entitytype='document'/>"));
  XmlNode d = doc.SelectSingleNode("//d");
  EXPECT_EQ(d.Attribute("entitytype"), "document");
  EXPECT_EQ(d.Attribute("EntityType"), "x");
  EXPECT_EQ(ErrorNumberOf([&] { d.Attribute("dbid"); }), 91);
}

TEST(XmlTest, InvalidXPathRaisesTheXmlError) {
  XmlDocument doc;
  doc.LoadXml("<a/>");
  try {
    doc.SelectSingleNode("//");
    FAIL();
  } catch (const pelmark::Error& e) {
    EXPECT_EQ(e.number(), corvane::kXPathErrorNumber);
    EXPECT_EQ(e.source(), corvane::kXmlSource);
  }
}

TEST(XmlTest, TextConcatenatesDescendantsAndSelectionWorksFromNodes) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml("<r><resource><id>4</id><name>A<b>nn</b></name></resource></r>"));
  XmlNode resource = doc.SelectSingleNode("//resource");
  EXPECT_EQ(resource.SelectSingleNode("./id").Text(), "4");
  EXPECT_EQ(resource.SelectSingleNode("./name").Text(), "Ann");
  EXPECT_TRUE(resource.SelectSingleNode("./email").is_nothing());
  EXPECT_EQ(ErrorNumberOf([&] { resource.SelectSingleNode("./email").Text(); }), 91);
  EXPECT_EQ(doc.SelectNodes("//resource").size(), 1u);
}

}  // namespace
}  // namespace corvane_test
