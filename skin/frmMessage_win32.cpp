// The skinned message dialog's window: its description, button order, keys and clipboard text.
#include "skin/frmMessage.h"

#include "platform/rtl/Streams.h"
#include "platform/rtl/Win32.h"

#include <algorithm>
#include <cstring>

namespace skin {

// The description compiled at build time from frmMessage.txt.
extern const unsigned char kFrmMessageDescription[];
extern const std::size_t kFrmMessageDescriptionSize;

namespace {

const char kDashes[] = "---------------------------";

// Replaces the clipboard's content with `text`; false when another program holds the
// clipboard open or memory runs out, leaving it as it was.
bool PutOnClipboard(HWND owner, const std::string& text)
{
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    if (!memory)
        return false;
    void* bytes = ::GlobalLock(memory);
    if (!bytes) {
        ::GlobalFree(memory);
        return false;
    }
    std::memcpy(bytes, text.c_str(), text.size() + 1);
    ::GlobalUnlock(memory);
    if (!::OpenClipboard(owner)) {
        ::GlobalFree(memory);
        return false;
    }
    ::EmptyClipboard();
    // The clipboard owns the memory once it takes it.
    const bool taken = ::SetClipboardData(CF_TEXT, memory) != nullptr;
    ::CloseClipboard();
    if (!taken)
        ::GlobalFree(memory);
    return taken;
}

}  // namespace

void TfrmMsg::Publish(Table& t)
{
    t.Field(RTL_MEMBER(suiForm1));
    t.Field(RTL_MEMBER(lbl));
    t.Field(RTL_MEMBER(Image1));
}

TfrmMsg::TfrmMsg(rtl::TComponent* owner) : TForm(owner)
{
    rtl::TReadOnlyMemoryStream description(kFrmMessageDescription,
                                           static_cast<std::int64_t>(kFrmMessageDescriptionSize));
    ReadFromStream(description);
}

std::vector<TsuiButton*> TfrmMsg::Buttons() const
{
    std::vector<TsuiButton*> buttons;
    if (!suiForm1)
        return buttons;
    for (std::int32_t i = 0; i < suiForm1->ControlCount(); ++i)
        if (auto* b = dynamic_cast<TsuiButton*>(suiForm1->Controls(i)))
            buttons.push_back(b);
    std::stable_sort(buttons.begin(), buttons.end(), [](TsuiButton* a, TsuiButton* b) {
        return static_cast<std::uint32_t>(a->TabOrder) < static_cast<std::uint32_t>(b->TabOrder);
    });
    return buttons;
}

std::string TfrmMsg::CopyText() const
{
    std::string captions;
    std::vector<TsuiButton*> buttons = Buttons();
    // Button 1 comes first in tab order; the copy lists them the other way round.
    for (auto it = buttons.rbegin(); it != buttons.rend(); ++it) {
        if (!captions.empty())
            captions += "   ";
        captions += (*it)->Caption();
    }
    const std::string line = std::string(kDashes) + "\r\n";
    return line + (suiForm1 ? suiForm1->Caption() : std::string()) + "\r\n" + line +
           (lbl ? lbl->Caption() : std::string()) + "\r\n" + line + captions + "\r\n" + kDashes;
}

void TfrmMsg::KeyDown(std::uint16_t& key, win::TShiftState shift)
{
    if (key == 'C' && shift == win::TShiftState{win::ssCtrl}) {
        // Nothing copied (another program holds the clipboard): the user hears it.
        if (!PutOnClipboard(Handle(), CopyText()))
            ::MessageBeep(MB_ICONWARNING);
        key = 0;
        return;
    }
    TForm::KeyDown(key, shift);
}

void TfrmMsg::WndProc(win::TMessage& m)
{
    // The layer offers dialog keys to the frame's children in the order they were made, the
    // last button first: the dialog picks by tab order itself. Enter presses the focused button,
    // else the first default one; Esc the first cancel button.
    if (m.Msg == win::CM_DIALOGKEY && (m.WParam == VK_RETURN || m.WParam == VK_ESCAPE) &&
        win::KeyboardStateToShiftState().Empty()) {
        const std::vector<TsuiButton*> buttons = Buttons();
        TsuiButton* chosen = nullptr;
        if (m.WParam == VK_RETURN)
            for (TsuiButton* b : buttons)
                if (b->Focused())
                    chosen = b;
        for (TsuiButton* b : buttons)
            if (!chosen && (m.WParam == VK_RETURN ? b->Default() : b->Cancel()) && b->CanFocus() &&
                b->Showing())
                chosen = b;
        if (chosen) {
            chosen->Click();
            m.Result = 1;
            return;
        }
    }
    TForm::WndProc(m);
}

}  // namespace skin
