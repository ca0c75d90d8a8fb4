#include "report_document.h"

#include <gtest/gtest.h>

#include "html_escape.h"
#include "temp_dir.h"

namespace vantry::analyser {
namespace {

using ::vantry::testing::ReadFileText;
using ::vantry::testing::TempDir;

TEST(ReportDocument, SkeletonLinesEndInLfAndSaveAddsOneCrLf) {
  ReportDocument document;
  document.ReportAdd("stale");
  document.ReportCreate();
  document.ReportAdd("middle");
  document.ReportEnd();
  const std::string expected =
      "<html><head><title>Korvane Vantry Gateway</title></head>\n"
      "<body>\n"
      "<center>\n"
      "     <font face=verdana size=5>\n"
      "         <B><U>Korvane Industries Incorporated</U></B><BR>\n"
      "     </font>\n"
      "     <font face=verdana size=3>\n"
      "         <B>Vantry Usage Report</B><BR>\n"
      "     </font>\n"
      "</center>\n"
      "middle\n"
      "</body>\n"
      "</html>\n";
  EXPECT_EQ(document.text(), expected);

  TempDir dir;
  ASSERT_TRUE(SaveReport(document, dir.File("r.htm")).ok);
  EXPECT_EQ(ReadFileText(dir.File("r.htm")), expected + "\r\n");
  // Overwrite keeps exactly the new document.
  document.ReportClear();
  EXPECT_TRUE(document.empty());
  ASSERT_TRUE(SaveReport(document, dir.File("r.htm")).ok);
  EXPECT_EQ(ReadFileText(dir.File("r.htm")), "\r\n");
}

TEST(HtmlEscape, MarkupCharactersOnly) {
  EXPECT_EQ(HtmlEscape("<script>&\"x\"'y'</script> mail.example"),
            "&lt;script&gt;&amp;&quot;x&quot;&#39;y&#39;&lt;/script&gt; mail.example");
  EXPECT_EQ(HtmlEscape("plain 10.0.0.1"), "plain 10.0.0.1");
}

}  // namespace
}  // namespace vantry::analyser
