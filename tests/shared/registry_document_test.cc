#include "registry_document.h"

#include <gtest/gtest.h>

namespace vantry {
namespace {

constexpr char kParams[] =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\DaskVantry\\Parameters";

TEST(RegistryDocument, ReadsStringsAndDwordsAndSkipsGarbage) {
  std::string text =
      "REGEDIT4\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\DaskVantry\\Parameters]\r\n"
      "\"SMTPHost\"=\"mail.example.test\"\r\n"
      "this line is garbage\r\n"
      "\"MaxSocks\"=dword:000001ff\r\n"
      "\"Broken\"=dword:zz\r\n"
      "\"NoEquals\" \"x\"\r\n"
      "\"BlockMsg\"=\"Say \\\"no\\\" C:\\\\path\"\r\n"
      "\"LogOK\"=dword:ffffffff\n"  // LF only
      "\"Truncated\"=\"no closing quote";
  RegistryDocument doc = RegistryDocument::Parse(text);
  const RegKey* key = doc.FindKey(kParams);
  ASSERT_NE(key, nullptr);
  ASSERT_EQ(key->values.size(), 4u);
  EXPECT_EQ(std::get<std::string>(FindValue(*key, "SMTPHost")->data), "mail.example.test");
  EXPECT_EQ(std::get<std::uint32_t>(FindValue(*key, "MaxSocks")->data), 0x1ffu);
  EXPECT_EQ(std::get<std::string>(FindValue(*key, "BlockMsg")->data), "Say \"no\" C:\\path");
  EXPECT_EQ(std::get<std::uint32_t>(FindValue(*key, "LogOK")->data), 0xffffffffu);
  EXPECT_EQ(FindValue(*key, "Truncated"), nullptr);
  EXPECT_EQ(doc.skipped_lines(), 4);
}

TEST(RegistryDocument, SerializeRoundTripsExactly) {
  RegistryDocument doc;
  doc.AddKey(kParams);
  doc.FindKey(kParams)->values.push_back({"Msg", std::string("a \"b\" \\c")});
  doc.FindKey(kParams)->values.push_back({"N", std::uint32_t{31}});
  std::string text = doc.Serialize();
  EXPECT_NE(text.find("\"N\"=dword:0000001f\r\n"), std::string::npos);
  RegistryDocument again = RegistryDocument::Parse(text);
  EXPECT_EQ(again.Serialize(), text);
  EXPECT_EQ(again.skipped_lines(), 0);
}

TEST(RegistryDocument, LinesItDoesNotReadAreWrittenBackWithTheirKey) {
  const std::string text = std::string(
                               "REGEDIT4\r\n"
                               "; settings of the mail gateway\r\n"
                               "\r\n[") +
                           kParams +
                           "]\r\n"
                           "; port 2525 while testing\r\n"
                           "\"Extra\"=hex:01,02\r\n"
                           "\"LocalPort\"=\"25\"\r\n"
                           "[HKEY_LOCAL_MACHINE\\Broken\r\n"
                           "\"Lost\"=\"under the broken header\"\r\n"
                           "\r\n[HKEY_LOCAL_MACHINE\\Other]\r\n"
                           "  \"Odd\"=hex(2):41,00\r\n";
  RegistryDocument doc = RegistryDocument::Parse(text);
  EXPECT_EQ(doc.skipped_lines(), 4);
  doc.FindKey(kParams)->values.push_back({"LogOK", std::uint32_t{0}});
  const std::string written = doc.Serialize();
  // Each kept line comes back after the values of the key it was under.
  EXPECT_EQ(written, std::string("REGEDIT4\r\n"
                                 "; settings of the mail gateway\r\n"
                                 "\r\n[") +
                         kParams +
                         "]\r\n"
                         "\"LocalPort\"=\"25\"\r\n"
                         "\"LogOK\"=dword:00000000\r\n"
                         "; port 2525 while testing\r\n"
                         "\"Extra\"=hex:01,02\r\n"
                         "[HKEY_LOCAL_MACHINE\\Broken\r\n"
                         "\"Lost\"=\"under the broken header\"\r\n"
                         "\r\n[HKEY_LOCAL_MACHINE\\Other]\r\n"
                         "  \"Odd\"=hex(2):41,00\r\n"
                         "\r\n");
  // Read again, the file stays as it is: nothing is lost or doubled.
  RegistryDocument again = RegistryDocument::Parse(written);
  EXPECT_EQ(again.Serialize(), written);
  EXPECT_EQ(std::get<std::string>(FindValue(*again.FindKey(kParams), "LocalPort")->data), "25");
  EXPECT_EQ(FindValue(*again.FindKey(kParams), "Lost"), nullptr);

  // A byte-order mark before the header is not a line to keep.
  RegistryDocument marked =
      RegistryDocument::Parse("\xEF\xBB\xBFREGEDIT4\r\n[A]\r\n\"x\"=\"1\"\r\n");
  EXPECT_EQ(marked.skipped_lines(), 0);
  EXPECT_EQ(marked.Serialize(), "REGEDIT4\r\n\r\n[A]\r\n\"x\"=\"1\"\r\n\r\n");
}

TEST(RegistryDocument, NamesAreCaseSensitiveAndParentsAreImplied) {
  RegistryDocument doc = RegistryDocument::Parse(std::string("REGEDIT4\r\n[") + kParams +
                                                 "]\r\n\"LogOK\"=dword:00000000\r\n");
  EXPECT_EQ(FindValue(*doc.FindKey(kParams), "logok"), nullptr);
  EXPECT_EQ(doc.FindKey(std::string(kParams).substr(0, 20)), nullptr);
  auto services = doc.SubkeyNames("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services");
  ASSERT_EQ(services.size(), 1u);
  EXPECT_EQ(services[0], "DaskVantry");
  EXPECT_TRUE(doc.DeleteKeyTree(kParams));
  EXPECT_FALSE(doc.DeleteKeyTree(kParams));
}

}  // namespace
}  // namespace vantry
