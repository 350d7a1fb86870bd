// Shared helpers of the control and form tests: message pumping and a form class read from a
// text description.
#pragma once

#include "platform/rtl/FormText.h"
#include "platform/rtl/Streams.h"
#include "platform/win/ComCtrls.h"
#include "platform/win/ExtCtrls.h"
#include "platform/win/Forms.h"
#include "platform/win/Menus.h"
#include "platform/win/ImgList.h"
#include "platform/win/StdCtrls.h"
#include "tests/platform/win/MessagePump.h"

#include <functional>
#include <string>
#include <vector>

namespace wintest {

// Compiles a text description and reads it into `form`.
inline void ReadText(win::TCustomForm& form, const std::string& text)
{
    rtl::TStringStream in(text);
    rtl::TMemoryStream bin;
    rtl::ObjectTextToBinary(in, bin);
    bin.SetPosition(0);
    form.ReadFromStream(bin);
}

// A form with every standard control, as a program's own form class declares it.
class TTestForm : public win::TForm {
    RTL_DECLARE_CLASS(TTestForm, win::TForm)

public:
    explicit TTestForm(rtl::TComponent* owner) : TForm(owner) {}

    win::TLabel* Label1 = nullptr;
    win::TLabel* Msg1 = nullptr;
    win::TImage* Image1 = nullptr;
    win::TButton* Button1 = nullptr;
    win::TButton* Button2 = nullptr;
    win::TEdit* Edit1 = nullptr;
    win::TComboBox* Combo1 = nullptr;
    win::TMemo* Memo1 = nullptr;
    win::TTimer* Timer1 = nullptr;
    win::TScrollBar* ScrollBar1 = nullptr;
    win::TTrackBar* TrackBar1 = nullptr;
    win::TPanel* Panel1 = nullptr;
    win::TLabel* PanelLabel = nullptr;
    win::TMainMenu* MainMenu1 = nullptr;
    win::TMenuItem* File1 = nullptr;
    win::TMenuItem* Open1 = nullptr;
    win::TPopupMenu* PopupMenu1 = nullptr;
    win::TMenuItem* Pop1 = nullptr;

    std::vector<std::string> log;
    bool formSeenInCreate = false;
    bool allowClose = true;

    void FormCreate(rtl::TObject*)
    {
        log.push_back("create");
        formSeenInCreate = Label1 != nullptr;
    }
    void FormShow(rtl::TObject*) { log.push_back("show"); }
    void FormCloseQuery(rtl::TObject*, bool& canClose)
    {
        log.push_back("closequery");
        canClose = allowClose;
    }
    void FormClose(rtl::TObject*, win::TCloseAction& action) { log.push_back("close"); }
    void Label1Click(rtl::TObject*) { log.push_back("label click"); }
    void Label1DblClick(rtl::TObject*) { log.push_back("label dblclick"); }
    void Label1MouseDown(rtl::TObject*, win::TMouseButton b, win::TShiftState, int x, int y)
    {
        log.push_back("label down " + std::to_string(b) + " " + std::to_string(x) + "," + std::to_string(y));
    }
    void Button1Click(rtl::TObject*) { log.push_back("button1 click"); }
    void Button2Click(rtl::TObject*) { log.push_back("button2 click"); }
    void Edit1Change(rtl::TObject*) { log.push_back("edit change " + Edit1->Text()); }
    void Edit1KeyDown(rtl::TObject*, std::uint16_t& key, win::TShiftState)
    {
        log.push_back("edit keydown " + std::to_string(key));
    }
    void Edit1KeyPress(rtl::TObject*, char& key)
    {
        log.push_back(std::string("edit keypress ") + key);
        if (key == 'x')
            key = 'y';  // handlers may replace the character
    }
    void FormKeyDown(rtl::TObject*, std::uint16_t& key, win::TShiftState)
    {
        log.push_back("form keydown " + std::to_string(key));
        if (key == VK_F2)
            key = 0;  // swallowed before the control sees it
    }
    void Combo1Change(rtl::TObject*) { log.push_back("combo change " + Combo1->Text()); }
    void Timer1Timer(rtl::TObject*) { log.push_back("tick"); }
    void ScrollBar1Change(rtl::TObject*)
    {
        log.push_back("scroll " + std::to_string(ScrollBar1->Position()));
    }
    void TrackBar1Change(rtl::TObject*) { log.push_back("track " + std::to_string(TrackBar1->Position())); }
    void Open1Click(rtl::TObject*) { log.push_back("open"); }
    void Pop1Measure(rtl::TObject*, win::TCanvas*, std::int32_t& w, std::int32_t& h)
    {
        log.push_back("measure");
        w = 123;
        h = 31;
    }

    int Count(const std::string& entry) const
    {
        int n = 0;
        for (const auto& e : log)
            n += e == entry;
        return n;
    }
};

// Every standard control, with events bound by method name as the form streaming does it.
extern const char* const kTestFormText;

}  // namespace wintest
