// Program start-up as the setup program does it: the main form comes from its description
// embedded as a resource, the message loop runs, a worker's queued log lines arrive in order,
// and closing the main form ends the loop.
#include "platform/rtl/Thread.h"
#include "platform/win/ExtCtrls.h"
#include "platform/win/Forms.h"
#include "platform/win/StdCtrls.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using namespace win;

namespace {

class TDemoForm : public TForm {
    RTL_DECLARE_CLASS(TDemoForm, TForm)

public:
    explicit TDemoForm(rtl::TComponent* owner) : TForm(owner) {}

    TLabel* Label1 = nullptr;
    TComboBox* Folder = nullptr;
    TButton* bInstall = nullptr;
    TMemo* Log = nullptr;
    TTimer* Timer1 = nullptr;

    std::vector<std::string> events;
    bool referenceSetInCreate = false;
    int ticks = 0;
    int ticksAtCloseQuery = 0;
    std::thread worker;

    void FormCreate(rtl::TObject*);
    void FormShow(rtl::TObject*)
    {
        events.push_back("show");
        // A search worker reports lines on its own thread; they must reach the memo in order.
        worker = std::thread([this] {
            for (int i = 0; i < 50; ++i)
                rtl::Queue([this, i] { Log->Lines()->Add("line " + std::to_string(i)); });
        });
    }
    void FormCloseQuery(rtl::TObject*, bool& canClose)
    {
        events.push_back("closequery");
        ticksAtCloseQuery = ticks;
        SetHeight(302);
        canClose = true;
    }
    void Timer1Timer(rtl::TObject*)
    {
        if (++ticks == 3)
            Close();
    }
};

TDemoForm* DemoForm = nullptr;

void TDemoForm::FormCreate(rtl::TObject*)
{
    events.push_back("create");
    referenceSetInCreate = DemoForm == this;
    SetHeight(610);
}

void TDemoForm::Publish(Table& t)
{
    t.Field(RTL_MEMBER(Label1));
    t.Field(RTL_MEMBER(Folder));
    t.Field(RTL_MEMBER(bInstall));
    t.Field(RTL_MEMBER(Log));
    t.Field(RTL_MEMBER(Timer1));
    t.Method(RTL_MEMBER(FormCreate));
    t.Method(RTL_MEMBER(FormShow));
    t.Method(RTL_MEMBER(FormCloseQuery));
    t.Method(RTL_MEMBER(Timer1Timer));
}

}  // namespace

TEST(ProgramStartUp, MainFormFromResourceRunsUntilItClosesItself)
{
    Application->Initialize();
    Application->SetTitle("Varnelo Setup Assistant");
    Application->CreateForm(DemoForm);
    ASSERT_NE(DemoForm, nullptr);
    EXPECT_TRUE(DemoForm->referenceSetInCreate) << "the form reference is set before OnCreate";
    EXPECT_EQ(Application->MainForm(), DemoForm);
    EXPECT_EQ(DemoForm->Height(), 610) << "OnCreate runs after the description is read";
    EXPECT_EQ(DemoForm->Folder->Items()->Get(0), "C:\\Program Files\\Zantic\\Headset\\");

    Application->Run();

    EXPECT_TRUE(Application->Terminated());
    DemoForm->worker.join();
    Application->ProcessMessages();
    EXPECT_EQ(DemoForm->events, (std::vector<std::string>{"create", "show", "closequery"}));
    EXPECT_EQ(DemoForm->Height(), 302);
    // The timer lives until the form is destroyed, so ticks may go on after the close.
    EXPECT_EQ(DemoForm->ticksAtCloseQuery, 3);
    ASSERT_EQ(DemoForm->Log->Lines()->Count(), 50);
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(DemoForm->Log->Lines()->Get(i), "line " + std::to_string(i));
    char title[64] = {};
    ::GetWindowTextA(Application->Handle(), title, sizeof title);
    EXPECT_STREQ(title, "Varnelo Setup Assistant");
}
