// Tests of the view base control under Windows: window styles, resolution and the followers' calls.
#include "imaging/core/ieview_win32.h"

#include "platform/rtl/TypeInfo.h"
#include "platform/win/Forms.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace imaging;

namespace {

// The smallest concrete view.
class TPlainView : public TIEView {
public:
    using TIEView::TIEView;
    TIEBitmap* GetAlphaChannel() override { return nullptr; }
    bool HasAlphaChannel() override { return false; }
    void RemoveAlphaChannel(bool) override {}
    void LockUpdate() override {}
    void UnlockUpdate() override {}
    void UnlockUpdateNoRefresh() override {}
    std::vector<std::string>* log = nullptr;
    void SetDpiX(std::int32_t v) override
    {
        if (log)
            log->push_back("x" + std::to_string(v));
        TIEView::SetDpiX(v);
    }
    void SetDpiY(std::int32_t v) override
    {
        if (log)
            log->push_back("y" + std::to_string(v));
        TIEView::SetDpiY(v);
    }
};

class ViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<win::TForm>(nullptr);
        form->SetBounds(0, 0, 200, 200);
        view = new TPlainView(form.get());
        view->SetParent(form.get());
        view->SetBounds(10, 10, 100, 80);
    }
    std::unique_ptr<win::TForm> form;
    TPlainView* view = nullptr;  // owned by the form
};

TEST_F(ViewTest, DefaultsAreThoseItPublishes)
{
    EXPECT_EQ(view->Background(), win::clBtnFace);
    EXPECT_EQ(view->BorderStyle(), win::bsSingle);
    EXPECT_TRUE(view->Ctl3D());
    EXPECT_EQ(view->DpiX(), 0);
    EXPECT_EQ(view->DpiY(), 0);
    const rtl::TClassInfo& info = view->ClassInfo();
    for (const char* name :
         {"Background", "Ctl3D", "ParentCtl3D", "BorderStyle", "OnMouseEnter", "OnMouseLeave"})
        EXPECT_NE(info.FindProp(name), nullptr) << name;
    EXPECT_EQ(rtl::GetOrdProp(*view, "BorderStyle"), win::bsSingle);
}

TEST_F(ViewTest, BorderStyleAndCtl3DChooseTheWindowEdge)
{
    struct TCase {
        win::TBorderStyle border;
        bool ctl3D;
        bool clientEdge;
        bool plainBorder;
    };
    const TCase cases[] = {
        {win::bsSingle, true, true, false},
        {win::bsSingle, false, false, true},
        {win::bsNone, true, false, false},
        {win::bsNone, false, false, false},
    };
    for (const TCase& c : cases) {
        view->SetBorderStyle(c.border);
        view->SetCtl3D(c.ctl3D);
        HWND wnd = view->Handle();
        const LONG style = ::GetWindowLongA(wnd, GWL_STYLE);
        const LONG exStyle = ::GetWindowLongA(wnd, GWL_EXSTYLE);
        EXPECT_EQ((exStyle & WS_EX_CLIENTEDGE) != 0, c.clientEdge) << c.border << c.ctl3D;
        EXPECT_EQ((style & WS_BORDER) != 0, c.plainBorder) << c.border << c.ctl3D;
        const ULONG_PTR classStyle = ::GetClassLongPtrA(wnd, GCL_STYLE);
        EXPECT_EQ(classStyle & (CS_HREDRAW | CS_VREDRAW), 0u);
    }
}

TEST_F(ViewTest, ChangingTheEdgeRecreatesTheWindowAndKeepsItsPlace)
{
    HWND before = view->Handle();
    view->SetCtl3D(false);
    HWND after = view->Handle();
    EXPECT_NE(before, after);
    RECT r{};
    ::GetWindowRect(after, &r);
    EXPECT_EQ(r.right - r.left, 100);
    EXPECT_EQ(r.bottom - r.top, 80);
    view->SetCtl3D(false);  // unchanged: the window stays
    EXPECT_EQ(view->Handle(), after);
}

TEST_F(ViewTest, ZeroResolutionKeepsThePreviousOneAndSetDpiGoesThroughBothSetters)
{
    std::vector<std::string> log;
    view->log = &log;
    view->SetDpi(300, 150);
    view->SetDpi(0, 0);
    view->SetDpiX(72);
    EXPECT_EQ(view->DpiX(), 72);
    EXPECT_EQ(view->DpiY(), 150);
    EXPECT_EQ(log, (std::vector<std::string>{"x300", "y150", "x0", "y0", "x72"}));
}

TEST_F(ViewTest, FollowersHearChangesAndEachRemainingOneHearsDestroyingOnce)
{
    std::vector<std::string> log;
    TIECallbackHandle removed = kIENoCallback;
    TIECallbackHandle self = kIENoCallback;
    view->AddBitmapChangeCallback([&](rtl::TObject* s, bool d) {
        EXPECT_EQ(s, view);
        log.push_back(d ? "a!" : "a");
    });
    self = view->AddBitmapChangeCallback([&](rtl::TObject*, bool d) {
        log.push_back(d ? "b!" : "b");
        if (d) {
            // A follower that detaches (itself and another) while the view goes away.
            view->RemoveBitmapChangeCallback(self);
            view->RemoveBitmapChangeCallback(removed);
        }
    });
    removed = view->AddBitmapChangeCallback([&](rtl::TObject*, bool d) { log.push_back(d ? "c!" : "c"); });
    const TIECallbackHandle gone =
        view->AddBitmapChangeCallback([&](rtl::TObject*, bool) { log.push_back("x"); });
    view->RemoveBitmapChangeCallback(gone);
    view->RemoveBitmapChangeCallback(gone);
    view->RemoveBitmapChangeCallback(kIENoCallback);
    view->CallBitmapChangeEvents();
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b", "c"}));
    log.clear();
    delete view;
    EXPECT_EQ(log, (std::vector<std::string>{"a!", "b!"}));
}

TEST_F(ViewTest, MouseEnterAndLeaveReachTheEvents)
{
    int enters = 0, leaves = 0;
    view->OnMouseEnter = [&](rtl::TObject* s) { enters += s == view; };
    view->OnMouseLeave = [&](rtl::TObject* s) { leaves += s == view; };
    view->Perform(win::CM_MOUSEENTER, 0, 0);
    view->Perform(win::CM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(leaves, 1);
}

}  // namespace
