// Tests of the text form: compiling to the binary stream, printing back, and syntax errors.
#include "TestComponents.h"

#include "platform/rtl/FormText.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

using namespace rtltest;

namespace {

std::string Compile(const std::string& text, const std::string& baseDir = "")
{
    rtl::TStringStream in(text);
    rtl::TMemoryStream out;
    rtl::ObjectTextToBinary(in, out, baseDir);
    return std::string(reinterpret_cast<const char*>(out.Memory()), static_cast<std::size_t>(out.Size()));
}

std::string Print(const std::string& bytes)
{
    rtl::TReadOnlyMemoryStream in(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    rtl::TStringStream out;
    rtl::ObjectBinaryToText(in, out);
    return out.DataString();
}

std::string Str(const std::string& s) { return std::string(1, static_cast<char>(s.size())) + s; }

const char* kForm = R"(object Form2: TTestForm
  Left = -8
  Small = 200
  Caption = 'It''s'#13#10'here'
  Styles = [fsBold, fsStrikeOut]
  Ratio = 0.1
  Scale = 1.5s
  Big = 9259428000
  Color = clRed
  Font.Name = 'Tahoma'
  Lines.Strings = (
    'one'
    'two')
  Items = <
    item
      Name = 'Varnelo.exe'
      FileSize = 4891136
      ItemData = {
        0102FF}
    end
    item [3]
      Name = 'Varnelo.rtf'
    end>
  OnClick = Button1Click
  object Button1: TWidget [2]
    Visible = False
    Buddy = Form2
  end
  inherited Panel1: TWidget
  end
end
)";

TEST(FormText, CompilesTheDocumentedSyntaxToTheExpectedBytes)
{
    std::string bin = Compile(
        "object F: TTestForm\n  Caption = 'a' + \n  'b'#65\n  Data = {0a 0B}\n  V = [a]\n  X = nil\nend");
    std::string expected = std::string("TPF0") + Str("TTestForm") + Str("F") + Str("Caption") + "\x06" +
                           Str("abA") + Str("Data") + "\x0A" + std::string("\x02\x00\x00\x00\x0A\x0B", 6) +
                           Str("V") + "\x0B" + Str("a") + std::string(1, '\0') + Str("X") + "\x0D" +
                           std::string(2, '\0');
    EXPECT_EQ(bin, expected);
}

TEST(FormText, TextToBinaryToTextIsStable)
{
    std::string bin = Compile(kForm);
    std::string text = Print(bin);
    EXPECT_EQ(Compile(text), bin) << text;
    EXPECT_EQ(Print(Compile(text)), text);
    EXPECT_NE(text.find("object Button1: TWidget [2]"), std::string::npos) << text;
    EXPECT_NE(text.find("inherited Panel1: TWidget"), std::string::npos) << text;
    EXPECT_NE(text.find("'It''s'#13#10'here'"), std::string::npos) << text;
    EXPECT_NE(text.find("item [3]"), std::string::npos) << text;
    EXPECT_NE(text.find("1.5s"), std::string::npos) << text;
}

TEST(FormText, CompiledFormReadsIntoComponents)
{
    RegisterTestClasses();
    std::string text = kForm;
    text.replace(text.find("inherited Panel1"), 9, "object");  // nothing to inherit from here
    std::string bin = Compile(text);
    rtl::TReadOnlyMemoryStream in(bin.data(), static_cast<std::int64_t>(bin.size()));
    TTestForm form(nullptr);
    rtl::ReadComponentRes(in, &form);
    EXPECT_EQ(form.Left, -8);
    EXPECT_EQ(form.Caption, "It's\r\nhere");
    EXPECT_EQ(form.Color, 0xFF);
    EXPECT_EQ(form.Big, 9259428000LL);
    EXPECT_EQ(form.Lines()->Count(), 2);
    ASSERT_EQ(form.Items()->Count(), 2);
    EXPECT_EQ(static_cast<TItem*>(form.Items()->Items(0))->Data, std::string("\x01\x02\xFF", 3));
    ASSERT_NE(form.Button1, nullptr);
    EXPECT_EQ(form.Button1->Buddy(), &form);
    EXPECT_FALSE(form.Button1->Visible);
}

TEST(FormText, LongStringsAreWrappedAndSplitBack)
{
    std::string caption(200, 'z');
    caption[100] = '\t';
    std::string bin = Compile("object F: TTestForm\n  Caption = '" + caption.substr(0, 100) + "'#9'" +
                              caption.substr(101) + "'\nend\n");
    std::string text = Print(bin);
    EXPECT_NE(text.find(" +\n"), std::string::npos);
    EXPECT_EQ(Compile(text), bin);
}

TEST(FormText, FileDirectiveEmbedsTheFileVerbatimRelativeToTheText)
{
    std::string dir = ::testing::TempDir();
    if (!dir.empty() && (dir.back() == '/' || dir.back() == '\\'))
        dir.pop_back();
    std::string payload("BM\x00\x01\x02\xFF", 6);
    {
        std::ofstream f(dir + "/formtext_payload.bin", std::ios::binary);
        f.write(payload.data(), static_cast<std::streamsize>(payload.size()));
    }
    std::string bin = Compile("object F: TTestForm\n  Blob = {@file: formtext_payload.bin}\nend\n", dir);
    std::string expected = Str("Blob") + "\x0A" + std::string("\x06\x00\x00\x00", 4) + payload;
    EXPECT_NE(bin.find(expected), std::string::npos);
    std::remove((dir + "/formtext_payload.bin").c_str());
}

TEST(FormText, PictureDirectiveWritesClassNameSizeAndFile)
{
    std::string dir = ::testing::TempDir();
    if (!dir.empty() && (dir.back() == '/' || dir.back() == '\\'))
        dir.pop_back();
    std::string bmp("BM\x06\x00\x00\x00", 6);
    {
        std::ofstream f(dir + "/formtext_logo.bmp", std::ios::binary);
        f.write(bmp.data(), static_cast<std::streamsize>(bmp.size()));
    }
    std::string bin =
        Compile("object F: TTestForm\n  Blob = {@picture: TIEBMPImage  formtext_logo.bmp}\nend\n", dir);
    std::string data = Str("TIEBMPImage") + std::string("\x06\x00\x00\x00", 4) + bmp;
    std::string expected =
        Str("Blob") + "\x0A" + std::string(1, static_cast<char>(data.size())) + std::string(3, '\0') + data;
    EXPECT_NE(bin.find(expected), std::string::npos);
    EXPECT_THROW(Compile("object F: TTestForm\n  Blob = {@picture: formtext_logo.bmp}\nend\n", dir),
                 rtl::EParserError);
    std::remove((dir + "/formtext_logo.bmp").c_str());
}

TEST(FormText, RegisteredDirectiveBuildsTheBytes)
{
    rtl::RegisterBinaryDirective("twice", [](const std::string& arg, const std::string&, rtl::TStream& out) {
        std::string s = arg + arg;
        out.WriteBuffer(s.data(), static_cast<std::int32_t>(s.size()));
    });
    std::string bin = Compile("object F: TTestForm\n  Blob = { @twice: ab }\nend\n");
    EXPECT_NE(bin.find(std::string("\x0A\x04\x00\x00\x00"
                                   "abab",
                                   9)),
              std::string::npos);
}

TEST(FormText, SyntaxErrorsNameTheLine)
{
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"object F: TTestForm\n  Left = \nend\n", "line 3: value expected but 'end' found"},
        {"object F: TTestForm\n  Caption = 'open\nend\n", "line 2: unterminated string"},
        {"object F: TTestForm\n  Data = {0A0}\nend\n",
         "line 2: odd number of hexadecimal digits in binary data"},
        {"object F: TTestForm\n  Data = {@nope: x}\nend\n", "line 2: unknown binary directive @nope"},
        {"object F: TTestForm\n  Left = 99999999999999999999\nend\n",
         "line 2: number 99999999999999999999 out of range"},
        {"object F: TTestForm\n", "line 2: 'end' expected but end of text found"},
        {"thing F: TTestForm\nend\n", "line 1: 'object' expected but 'thing' found"},
        {"object F: TTestForm\n  Caption = #300\nend\n", "line 2: character code out of range"},
        {"object F: TTestForm\nend\nextra", "line 3: end of text expected but 'extra' found"},
    };
    for (const Case& c : cases) {
        try {
            Compile(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const rtl::EParserError& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
    }
    try {
        Compile("object F: TTestForm\n  Data = {@file: does/not/exist.bin}\nend\n");
        ADD_FAILURE();
    } catch (const rtl::EParserError& e) {
        EXPECT_EQ(e.Message().rfind("line 2: @file: ", 0), 0u) << e.Message();
    }
}

TEST(FormText, PrinterRejectsMalformedBinary)
{
    std::string bin = Compile(kForm);
    for (std::size_t len = 0; len < bin.size(); len += 7) {
        EXPECT_THROW(Print(bin.substr(0, len)), rtl::EReadError) << len;
    }
}

}  // namespace
