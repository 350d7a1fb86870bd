// Component classes with one published property of every kind, shared by the runtime's tests.
#pragma once

#include "platform/rtl/Collections.h"
#include "platform/rtl/Component.h"
#include "platform/rtl/FormStream.h"
#include "platform/rtl/Lists.h"
#include "platform/rtl/Streams.h"

#include <memory>
#include <string>
#include <vector>

namespace rtltest {

class TWidget;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
RTL_ENUM_INFO(TAlign, "alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient")

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
RTL_ENUM_INFO(TFontStyle, "fsBold", "fsItalic", "fsUnderline", "fsStrikeOut")
using TFontStyles = rtl::TSet<TFontStyle>;

// An integer type with identifiers ("clRed"), like a colour.
const rtl::TTypeInfo& ColorTypeInfo();
void RegisterTestClasses();

// Loaded() calls in order, as "Name" strings.
std::vector<std::string>& LoadedLog();

class TFont : public rtl::TPersistent {
    RTL_DECLARE_CLASS(TFont, rtl::TPersistent)

public:
    std::string Name = "Tahoma";
    std::int32_t Size = 8;
    TFontStyles Style;
    std::int32_t Color = 0;
    void Assign(rtl::TPersistent* source) override;
};

class TItem : public rtl::TCollectionItem {
    RTL_DECLARE_CLASS(TItem, rtl::TCollectionItem)

public:
    explicit TItem(rtl::TCollection* collection) : rtl::TCollectionItem(collection) {}
    std::string Name;
    std::int64_t FileSize = 0;
    std::string Data;           // streamed as the binary property "ItemData"
    TWidget* Target = nullptr;  // not owned; a reference resolved after loading
    void DefineProperties(rtl::TFiler& filer) override;
    void Assign(rtl::TPersistent* source) override;
    std::string DisplayName() const override { return Name.empty() ? ClassName() : Name; }
};

class TWidget : public rtl::TComponent {
    RTL_DECLARE_CLASS(TWidget, rtl::TComponent)

public:
    explicit TWidget(rtl::TComponent* owner);
    ~TWidget() override;

    std::int32_t Left = 0;
    std::uint8_t Small = 0;
    char Letter = 'A';
    TAlign Align = alNone;
    bool Visible = true;
    double Ratio = 0;
    float Scale = 0;
    std::string Caption;
    TFontStyles Styles;
    std::int64_t Big = 0;
    rtl::Variant Value;
    std::int32_t Color = 0;
    rtl::TNotifyEvent OnClick;
    std::string Blob;  // the binary property "Blob"

    TFont* Font() const { return font_.get(); }
    void SetFont(TFont* value) { font_->Assign(value); }
    TWidget* Buddy() const { return buddy_; }
    void SetBuddy(TWidget* value);
    rtl::TCollection* Items() const { return items_.get(); }
    void SetItems(rtl::TCollection* value) { items_->Assign(value); }
    rtl::TStringList* Lines() const { return lines_.get(); }
    void SetLines(rtl::TStringList* value) { lines_->Assign(*value); }

    TWidget* ParentWidget() const { return parent_; }
    bool HasParent() const override { return true; }
    TComponent* GetParentComponent() const override { return parent_; }
    void SetParentComponent(TComponent* parent) override;
    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
    void DefineProperties(rtl::TFiler& filer) override;

    static int& Live();  // widgets alive, for leak checks across a failed read
    std::vector<std::string> notifications;
    bool sawLoadingInLoaded = false;

protected:
    void Notification(TComponent* component, rtl::TOperation operation) override;
    void Loaded() override;

private:
    std::unique_ptr<TFont> font_;
    std::unique_ptr<rtl::TOwnedCollection> items_;
    std::unique_ptr<rtl::TStringList> lines_;
    TWidget* buddy_ = nullptr;   // not owned
    TWidget* parent_ = nullptr;  // not owned
};

// A root with published fields and handler methods, as a window class would have.
class TTestForm : public TWidget {
    RTL_DECLARE_CLASS(TTestForm, TWidget)

public:
    explicit TTestForm(rtl::TComponent* owner) : TWidget(owner) {}
    bool HasParent() const override { return false; }
    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;

    TWidget* Button1 = nullptr;  // not owned: set by the reader
    TWidget* Panel1 = nullptr;   // not owned
    int clicks = 0;
    void Button1Click(rtl::TObject* sender) { ++clicks; }
    void Resized(int width) {}
};

}  // namespace rtltest
