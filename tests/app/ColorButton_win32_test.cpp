// Pixel tests of the colour button (normal, hover, disabled, pressed, focus frame) and of the
// ellipsis label's shortened drawing within its width.
#include "app/ColorButton.h"
#include "app/EllipsLabel.h"

#include "platform/rtl/FormText.h"
#include "platform/win/Forms.h"
#include "platform/win/Messages.h"
#include "platform/rtl/Win32.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace app {
namespace {

using namespace win;

constexpr TColor kBack = 8421440;    // 0x808040
constexpr TColor kHover = 13086567;  // 0xC7AF67
constexpr TColor kFore = 0xFFFFFF;

// A 24-bit memory surface whose pixels can be read back exactly.
class Surface {
public:
    Surface(int width, int height, COLORREF fill) : width_(width), height_(height)
    {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
        bi.bmiHeader.biWidth = width;
        bi.bmiHeader.biHeight = -height;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
        RECT r{0, 0, width, height};
        HBRUSH brush = CreateSolidBrush(fill);
        FillRect(dc_, &r, brush);
        DeleteObject(brush);
    }
    ~Surface()
    {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    HDC Dc() const { return dc_; }
    // As a COLORREF (0x00BBGGRR).
    COLORREF At(int x, int y) const
    {
        GdiFlush();
        const std::uint32_t p = bits_[y * width_ + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Bounding box of the pixels of one colour; empty (left > right) when there are none.
    RECT BoxOf(COLORREF color) const
    {
        RECT box{width_, height_, -1, -1};
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                if (At(x, y) == color) {
                    box.left = std::min<LONG>(box.left, x);
                    box.top = std::min<LONG>(box.top, y);
                    box.right = std::max<LONG>(box.right, x);
                    box.bottom = std::max<LONG>(box.bottom, y);
                }
        return box;
    }
    int Count(COLORREF color) const
    {
        int n = 0;
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                n += At(x, y) == color;
        return n;
    }
    bool SameAs(const Surface& other) const
    {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                if (At(x, y) != other.At(x, y))
                    return false;
        return true;
    }

private:
    int width_, height_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    std::uint32_t* bits_ = nullptr;
};

std::unique_ptr<TColorButton> MakeInstallButton()
{
    auto b = std::make_unique<TColorButton>(nullptr);
    b->SetCaption("Install");
    b->SetBounds(529, 267, 75, 25);
    b->SetBackColor(kBack);
    b->SetHoverColor(kHover);
    b->SetForeColor(kFore);
    b->SetDisabledColor(clBlack);
    return b;
}

void Draw(TColorButton& b, Surface& s, UINT state)
{
    RECT r{0, 0, s.Width(), s.Height()};
    b.DrawItem(s.Dc(), r, state);
}

// The caption's ink lies within the box a centred caption takes (its advance width, centred):
// how far the ink falls short of either end depends on the face's bearings, not on the button.
void ExpectCentred(TColorButton& b, const Surface& s, const RECT& ink)
{
    HGDIOBJ old = SelectObject(s.Dc(), b.Font()->Handle());
    SIZE size{};
    GetTextExtentPoint32A(s.Dc(), b.Caption().c_str(), static_cast<int>(b.Caption().size()), &size);
    SelectObject(s.Dc(), old);
    const LONG left = (s.Width() - size.cx) / 2;
    EXPECT_GE(ink.left, left - 1) << "advance " << size.cx;
    EXPECT_LE(ink.right, left + size.cx) << "advance " << size.cx;
    EXPECT_LE(ink.left - left, size.cx / 4) << "the ink starts far into the caption's box";
}

TEST(ColorButton, NormalFaceIsBackColourWithCaptionInForeColour)
{
    auto b = MakeInstallButton();
    Surface s(75, 25, RGB(1, 2, 3));
    Draw(*b, s, 0);
    EXPECT_EQ(s.At(0, 0), ColorToRGB(kBack));
    EXPECT_EQ(s.At(74, 24), ColorToRGB(kBack));
    const RECT text = s.BoxOf(RGB(255, 255, 255));
    ASSERT_LE(text.left, text.right) << "caption not drawn in the fore colour";
    ExpectCentred(*b, s, text);
    EXPECT_LE(std::abs((text.top - 0) - (24 - text.bottom)), 2);
    EXPECT_EQ(s.Count(RGB(0, 0, 0)), 0);
}

TEST(ColorButton, HoverPaintsHoverColourAndLeavingRestoresBackColour)
{
    auto b = MakeInstallButton();
    b->Perform(CM_MOUSEENTER, 0, 0);
    EXPECT_EQ(b->BackColor(), kHover);
    Surface hover(75, 25, RGB(1, 2, 3));
    Draw(*b, hover, 0);
    EXPECT_EQ(hover.At(0, 0), ColorToRGB(kHover));
    EXPECT_EQ(hover.At(40, 1), ColorToRGB(kHover));
    b->Perform(CM_MOUSEENTER, 0, 0);  // a repeated enter must not lose the back colour
    b->Perform(CM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(b->BackColor(), kBack);
    Surface after(75, 25, RGB(1, 2, 3));
    Draw(*b, after, 0);
    EXPECT_EQ(after.At(0, 0), ColorToRGB(kBack));
}

TEST(ColorButton, DisabledCaptionIsDisabledColourOnBackColour)
{
    auto b = MakeInstallButton();
    Surface s(75, 25, RGB(1, 2, 3));
    Draw(*b, s, ODS_DISABLED);
    EXPECT_EQ(s.At(0, 0), ColorToRGB(kBack));
    EXPECT_EQ(s.Count(RGB(255, 255, 255)), 0);
    const RECT text = s.BoxOf(RGB(0, 0, 0));
    ASSERT_LE(text.left, text.right) << "caption not drawn in the disabled colour";
    ExpectCentred(*b, s, text);
    // Plain text: no embossed highlight copy of the caption.
    EXPECT_EQ(
        s.Count(ColorToRGB(clBtnHighlight)) - (ColorToRGB(clBtnHighlight) == RGB(255, 255, 255) ? 0 : 0), 0);
}

TEST(ColorButton, PressedFaceHasShadowBorderAndCaptionMovedByOne)
{
    auto b = MakeInstallButton();
    Surface normal(75, 25, RGB(1, 2, 3));
    Draw(*b, normal, 0);
    Surface pressed(75, 25, RGB(1, 2, 3));
    Draw(*b, pressed, ODS_SELECTED);
    const COLORREF shadow = ColorToRGB(clBtnShadow);
    EXPECT_EQ(pressed.At(0, 0), shadow);
    EXPECT_EQ(pressed.At(0, 12), shadow);
    EXPECT_EQ(pressed.At(37, 0), shadow);
    EXPECT_EQ(pressed.At(1, 1), ColorToRGB(kBack));
    EXPECT_EQ(pressed.At(37, 23), ColorToRGB(kBack));
    const RECT a = normal.BoxOf(RGB(255, 255, 255));
    const RECT p = pressed.BoxOf(RGB(255, 255, 255));
    EXPECT_EQ(p.left - a.left, 1);
    EXPECT_EQ(p.top - a.top, 1);
}

class ShownForm : public ::testing::Test {
protected:
    void SetUp() override
    {
        form_ = new TForm(Application);
        form_->SetBounds(100, 100, 640, 340);
        form_->SetCaption("Setup Assistant");
    }
    void TearDown() override { delete form_; }
    void Pump()
    {
        for (int i = 0; i < 10; ++i)
            Application->ProcessMessages();
    }
    TForm* form_ = nullptr;
};

TEST_F(ShownForm, ButtonWindowIsOwnerDrawnAndPaintsItsBackColour)
{
    auto* b = new TColorButton(form_);
    b->SetParent(form_);
    b->SetCaption("Install");
    b->SetBounds(529, 267, 75, 25);
    b->SetBackColor(kBack);
    b->SetHoverColor(kHover);
    b->SetForeColor(kFore);
    form_->Show();
    Pump();
    ASSERT_TRUE(b->HandleAllocated());
    EXPECT_EQ(GetWindowLongA(b->Handle(), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);

    // The window's own painting reaches DrawItem through the reflected draw-item message.
    Surface s(75, 25, RGB(1, 2, 3));
    SendMessageA(b->Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(s.Dc()), PRF_CLIENT);
    EXPECT_EQ(s.At(3, 3), ColorToRGB(kBack));

    // Hover through the control's own mouse tracking.
    SendMessageA(b->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    Pump();
    EXPECT_EQ(b->BackColor(), kHover);
    SendMessageA(b->Handle(), WM_MOUSELEAVE, 0, 0);
    Pump();
    EXPECT_EQ(b->BackColor(), kBack);
}

TEST_F(ShownForm, DefaultButtonWithFocusDrawsTheFocusFrameTwoPixelsIn)
{
    auto* b = new TColorButton(form_);
    b->SetParent(form_);
    b->SetCaption("OK");
    b->SetBounds(10, 10, 75, 25);
    b->SetBackColor(kBack);
    b->SetForeColor(kFore);
    form_->Show();
    Pump();
    b->SetFocus();
    Pump();
    Surface plain(75, 25, RGB(1, 2, 3));
    Draw(*b, plain, 0);
    Surface focus(75, 25, RGB(1, 2, 3));
    Draw(*b, focus, ODS_FOCUS);
    int changedOnFrame = 0, changedElsewhere = 0;
    for (int x = 0; x < 75; ++x) {
        changedOnFrame += focus.At(x, 2) != plain.At(x, 2);
        changedElsewhere += focus.At(x, 1) != plain.At(x, 1);
    }
    EXPECT_GT(changedOnFrame, 10);
    EXPECT_EQ(changedElsewhere, 0);
}

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
    RECT full{0, 0, 291, 13};
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    FillRect(reference.Dc(), &full, white);
    DeleteObject(white);
    HGDIOBJ old = SelectObject(reference.Dc(), font);
    SetBkMode(reference.Dc(), TRANSPARENT);
    SetTextColor(reference.Dc(), ink);
    std::vector<char> text(shortened.begin(), shortened.end());
    text.push_back('\0');
    DrawTextExA(reference.Dc(), text.data(), -1, &full, DT_SINGLELINE | DT_NOPREFIX, nullptr);
    SelectObject(reference.Dc(), old);
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

TEST_F(EllipsLabelTest, DisabledLabelIsEmbossed)
{
    TPaintableLabel* l = MakeDirLabel(etPathEllips);
    l->SetEnabled(false);
    Surface s(400, 13, RGB(9, 9, 9));
    l->PaintInto(s.Dc());
    EXPECT_GT(s.Count(ColorToRGB(clBtnShadow)), 20);
    EXPECT_EQ(s.Count(ColorToRGB(0x808000)), 0);
}

TEST_F(ShownForm, MainWindowControlsReadFromTheFormDescription)
{
    rtl::TStringStream text(
        "object Form2: TForm\r\n"
        "  Caption = 'Setup Assistant'\r\n"
        "  object bInstall: TColorButton\r\n"
        "    Left = 529\r\n"
        "    Top = 267\r\n"
        "    Width = 75\r\n"
        "    Height = 25\r\n"
        "    Caption = 'Install'\r\n"
        "    Enabled = False\r\n"
        "    BackColor = 8421440\r\n"
        "    DisabledColor = clBlack\r\n"
        "    ForeColor = clWhite\r\n"
        "    HoverColor = 13086567\r\n"
        "  end\r\n"
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
    text.SetPosition(0);
    rtl::TMemoryStream binary;
    rtl::ObjectTextToBinary(text, binary);
    binary.SetPosition(0);
    form_->ReadFromStream(binary);
    auto* button = dynamic_cast<TColorButton*>(form_->FindComponent("bInstall"));
    auto* label = dynamic_cast<TEllipsLabel*>(form_->FindComponent("DirLabel"));
    ASSERT_NE(button, nullptr);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(button->BackColor(), kBack);
    EXPECT_EQ(button->HoverColor(), kHover);
    EXPECT_EQ(button->ForeColor(), static_cast<TColor>(0xFFFFFF));
    EXPECT_FALSE(button->Enabled());
    EXPECT_EQ(label->EllipsType(), etPathEllips);
    EXPECT_EQ(label->Version(), "1.0.0.0");
    EXPECT_EQ(label->Width(), 291);
}

TEST(EllipsLabel, VersionIsFixedAndTypeIsPublished)
{
    TEllipsLabel l(nullptr);
    EXPECT_EQ(l.EllipsType(), etNone);
    l.SetVersion("9.9");
    EXPECT_EQ(l.Version(), "1.0.0.0");
    const rtl::TClassInfo* info = rtl::GetClass("TEllipsLabel");
    ASSERT_NE(info, nullptr);
    EXPECT_NE(info->FindProp("EllipsType"), nullptr);
    ASSERT_NE(rtl::GetClass("TColorButton"), nullptr);
    EXPECT_NE(rtl::GetClass("TColorButton")->FindProp("HoverColor"), nullptr);
}

}  // namespace
}  // namespace app
