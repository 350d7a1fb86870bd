// Pixel tests of the ellipsis label: its shortened drawing within its width, judged against the
// system's own shortening of the same text, and its properties read from a window description.
#include "app/EllipsLabel.h"

#include "PaintTestSupport.h"
#include "tests/platform/win/LocaleScope.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace app {
namespace {

using namespace win;
using painttest::ShownForm;
using painttest::Surface;

// Exposes the label's painting for drawing into a memory surface.
class TPaintableLabel : public TEllipsLabel {
public:
    using TEllipsLabel::TEllipsLabel;
    void PaintInto(HDC dc)
    {
        Canvas()->Lock();
        Canvas()->SetHandle(dc);
        Paint();
        Canvas()->SetHandle(nullptr);
        Canvas()->Unlock();
    }
};

const std::string kLongFolder =
    "C:\\Program Files\\Vendor\\Sub\\Deeper\\Folder\\Deeper Still\\And Then Some More\\Last Part\\";

class EllipsLabelTest : public ShownForm {
protected:
    TPaintableLabel* MakeDirLabel(TEllipsType type)
    {
        auto* l = new TPaintableLabel(form_);
        l->SetParent(form_);
        l->SetAutoSize(false);
        l->SetBounds(313, 201, 291, 13);
        l->SetTransparent(false);
        l->SetColor(static_cast<TColor>(0xFFFFFF));
        l->Font()->SetColor(0x808000);
        l->Font()->SetName("Tahoma");
        l->Font()->SetHeight(-11);
        l->SetEllipsType(type);
        l->SetCaption(kLongFolder);
        return l;
    }
};

// What the system itself makes of the path at this width: the shortened text, measured and
// drawn plainly, is the reference the label's drawing must equal.
std::string SystemShortened(HDC dc, HFONT font, const std::string& text, UINT ellipsis, int width)
{
    std::vector<char> buffer(text.begin(), text.end());
    buffer.resize(text.size() + 8, '\0');
    RECT r{0, 0, width, 13};
    HGDIOBJ old = SelectObject(dc, font);
    DrawTextExA(dc, buffer.data(), -1, &r,
                DT_SINGLELINE | DT_NOPREFIX | ellipsis | DT_MODIFYSTRING | DT_CALCRECT, nullptr);
    SelectObject(dc, old);
    return buffer.data();
}

// What the system draws of `text` with `flags` where the label stands (291 pixels wide, white,
// the label's font and ink).
void DrawAsTheSystem(Surface& s, HFONT font, const std::string& text, UINT flags)
{
    RECT full{0, 0, 291, 13};
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    FillRect(s.Dc(), &full, white);
    DeleteObject(white);
    HGDIOBJ old = SelectObject(s.Dc(), font);
    SetBkMode(s.Dc(), TRANSPARENT);
    SetTextColor(s.Dc(), ColorToRGB(0x808000));
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    DrawTextExA(s.Dc(), buffer.data(), -1, &full, flags, nullptr);
    SelectObject(s.Dc(), old);
}

// Paints the label with `caption` and checks it against the system's own shortening of the
// same text: same pixels, nothing beyond 291 pixels, ink from the first pixels to near the end.
// Returns the shortened text.
std::string CheckAgainstSystem(TPaintableLabel* l, const std::string& caption, UINT ellipsis)
{
    l->SetShowAccelChar(false);
    l->SetCaption(caption);
    Surface s(400, 13, RGB(9, 9, 9));
    l->PaintInto(s.Dc());
    EXPECT_EQ(l->Caption(), caption) << "the caption itself is never shortened";

    HFONT font = CreateFontA(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Tahoma");
    Surface probe(400, 13, RGB(255, 255, 255));
    const std::string shortened = SystemShortened(probe.Dc(), font, caption, ellipsis, 291);
    EXPECT_NE(shortened, caption) << "text too short to need an ellipsis at this font";

    const COLORREF ink = ColorToRGB(0x808000);
    for (int y = 0; y < 13; ++y)
        for (int x = 291; x < 400; ++x)
            if (s.At(x, y) != RGB(9, 9, 9)) {
                ADD_FAILURE() << "drawn beyond 291 pixels at " << x << "," << y;
                return shortened;
            }
    const RECT box = s.BoxOf(ink);
    EXPECT_LE(box.left, box.right);
    EXPECT_LE(box.left, 3);
    EXPECT_GE(box.right, 291 - 40);

    Surface reference(400, 13, RGB(9, 9, 9));
    DrawAsTheSystem(reference, font, shortened, DT_SINGLELINE | DT_NOPREFIX);
    DeleteObject(font);
    EXPECT_TRUE(s.SameAs(reference)) << "label drawing differs from the system's shortened text";
    return shortened;
}

TEST_F(EllipsLabelTest, PathEllipsisOfAFileKeepsDriveAndFileNameWithin291Pixels)
{
    const std::string file = kLongFolder + "zntpanel.exe";
    const std::string shortened = CheckAgainstSystem(MakeDirLabel(etPathEllips), file, DT_PATH_ELLIPSIS);
    EXPECT_EQ(shortened.rfind("C:\\", 0), 0u) << shortened;
    EXPECT_NE(shortened.find("...\\"), std::string::npos) << shortened;
    EXPECT_EQ(shortened.substr(shortened.size() - 12), "zntpanel.exe") << shortened;
}

TEST_F(EllipsLabelTest, PathEllipsisOfAFolderKeepsItsStartAndClosingBackslash)
{
    // A folder text ends in "\": the kept last part is that backslash alone.
    const std::string shortened =
        CheckAgainstSystem(MakeDirLabel(etPathEllips), kLongFolder, DT_PATH_ELLIPSIS);
    EXPECT_EQ(shortened.rfind("C:\\Program Files\\", 0), 0u) << shortened;
    EXPECT_EQ(shortened.substr(shortened.size() - 4), "...\\") << shortened;
}

TEST_F(EllipsLabelTest, EndEllipsisCutsTheEndWithin291Pixels)
{
    const std::string shortened = CheckAgainstSystem(MakeDirLabel(etEndEllips), kLongFolder, DT_END_ELLIPSIS);
    EXPECT_EQ(shortened.substr(shortened.size() - 3), "...") << shortened;
}

TEST_F(EllipsLabelTest, EndEllipsisAndNoneDifferFromPathEllipsis)
{
    Surface path(400, 13, RGB(9, 9, 9)), end(400, 13, RGB(9, 9, 9)), none(400, 13, RGB(9, 9, 9));
    MakeDirLabel(etPathEllips)->PaintInto(path.Dc());
    MakeDirLabel(etEndEllips)->PaintInto(end.Dc());
    MakeDirLabel(etNone)->PaintInto(none.Dc());
    EXPECT_FALSE(path.SameAs(end));
    EXPECT_FALSE(path.SameAs(none));
    EXPECT_FALSE(end.SameAs(none));
    // The end ellipsis keeps the start: the first 60 pixels equal the unshortened drawing.
    for (int y = 0; y < 13; ++y)
        for (int x = 0; x < 60; ++x)
            ASSERT_EQ(end.At(x, y), none.At(x, y));
}

// Reading right to left on a locale that mirrors controls, the label adds the platform's
// right-to-left flags: it draws as the system draws its text with them, the closing backslash
// read to the far side and the text set against the right edge by bdRightToLeft.
TEST_F(EllipsLabelTest, ARightToLeftLabelDrawsWithThePlatformsRightToLeftFlags)
{
    // The right-to-left flags the label adds.
    const wintest::ReadingCase<UINT> cases[] = {{true, bdRightToLeft, DT_RIGHT | DT_RTLREADING},
                                                {true, bdRightToLeftReadingOnly, DT_RTLREADING},
                                                {true, bdLeftToRight, 0},
                                                {false, bdRightToLeft, 0}};
    const std::string folder = "C:\\Zantic\\";
    HFONT font = CreateFontA(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Tahoma");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name());
        wintest::LocaleScope locale(c.rightToLeftLocale);
        TPaintableLabel* l = MakeDirLabel(etPathEllips);
        l->SetShowAccelChar(false);
        l->SetCaption(folder);
        l->SetBiDiMode(c.mode);
        EXPECT_EQ(l->PaintFlags() & (DT_RIGHT | DT_RTLREADING), c.expected);
        Surface drawn(400, 13, RGB(9, 9, 9)), expected(400, 13, RGB(9, 9, 9)), plain(400, 13, RGB(9, 9, 9));
        l->PaintInto(drawn.Dc());
        DrawAsTheSystem(expected, font, folder, DT_SINGLELINE | DT_NOPREFIX | c.expected);
        DrawAsTheSystem(plain, font, folder, DT_SINGLELINE | DT_NOPREFIX);
        EXPECT_TRUE(drawn.SameAs(expected));
        EXPECT_EQ(drawn.SameAs(plain), c.expected == 0);
        delete l;
    }
    DeleteObject(font);
}

TEST_F(EllipsLabelTest, DisabledLabelIsEmbossed)
{
    TPaintableLabel* l = MakeDirLabel(etPathEllips);
    l->SetEnabled(false);
    Surface s(400, 13, RGB(9, 9, 9));
    l->PaintInto(s.Dc());
    EXPECT_GT(s.Count(ColorToRGB(clBtnShadow)), 20);
    EXPECT_EQ(s.Count(ColorToRGB(0x808000)), 0);
}

TEST_F(ShownForm, TypeIsReadFromTheDescriptionAndAStoredVersionIgnored)
{
    Read(
        "object Form2: TForm\r\n"
        "  object DirLabel: TEllipsLabel\r\n"
        "    Left = 313\r\n"
        "    Top = 201\r\n"
        "    Width = 291\r\n"
        "    Height = 13\r\n"
        "    AutoSize = False\r\n"
        "    EllipsType = etPathEllips\r\n"
        "    Version = '0.9'\r\n"
        "  end\r\n"
        "end\r\n");
    auto* label = dynamic_cast<TEllipsLabel*>(form_->FindComponent("DirLabel"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->EllipsType(), etPathEllips);
    EXPECT_EQ(label->Version(), "1.0.0.0");
    EXPECT_EQ(label->Width(), 291);
}

}  // namespace
}  // namespace app
