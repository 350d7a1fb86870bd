// An MDI parent as the application's main form for the length of a test, with the children a
// test makes in it: freed at the end unless the test freed them first.
#pragma once

#include "platform/win/Forms.h"
#include "tests/platform/win/MessagePump.h"

#include <vector>

namespace wintest {

class MDIParent {
public:
    MDIParent() : previous_(win::Application->MainForm()), form_(new win::TForm(win::Application))
    {
        form_->SetFormStyle(win::fsMDIForm);
        form_->SetBounds(20, 20, 820, 620);
        form_->SetCaption("Parent");
        win::Application->SetMainForm(form_);
        form_->Show();
        Pump();
    }
    ~MDIParent()
    {
        for (win::TCustomForm* child : children_)
            if (Alive(child))
                delete child;
        delete form_;
        win::Application->SetMainForm(previous_);
        Pump();
    }
    MDIParent(const MDIParent&) = delete;
    MDIParent& operator=(const MDIParent&) = delete;

    win::TForm* Form() const { return form_; }
    HWND Client() const { return form_->ClientHandle(); }
    HWND ActiveChild() const
    {
        return reinterpret_cast<HWND>(::SendMessageA(Client(), WM_MDIGETACTIVE, 0, 0));
    }
    // Frees `child` with the parent unless it is gone by then.
    template <class F>
    F* Keep(F* child)
    {
        children_.push_back(child);
        return child;
    }
    static bool Alive(win::TCustomForm* form)
    {
        for (std::int32_t i = 0; i < win::Screen->FormCount(); ++i)
            if (win::Screen->Forms(i) == form)
                return true;
        return false;
    }

private:
    win::TCustomForm* previous_;  // not owned
    win::TForm* form_;            // freed by the destructor
    std::vector<win::TCustomForm*> children_;
};

}  // namespace wintest
