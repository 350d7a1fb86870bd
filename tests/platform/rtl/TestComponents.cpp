// Class tables and behaviour of the shared test components.
#include "TestComponents.h"

#include <algorithm>

namespace rtltest {

std::vector<std::string>& LoadedLog()
{
    static std::vector<std::string> log;
    return log;
}

const rtl::TTypeInfo& ColorTypeInfo()
{
    static const rtl::TTypeInfo info = [] {
        rtl::TTypeInfo t = rtl::TypeInfoOf<std::int32_t>();
        t.Name = "TColor";
        return t;
    }();
    return info;
}

void RegisterTestClasses()
{
    static bool done = [] {
        rtl::RegisterClass(TWidget::StaticClassInfo());
        rtl::RegisterClass(TTestForm::StaticClassInfo());
        rtl::RegisterIntegerConsts(
            ColorTypeInfo(),
            [](const std::string& ident, std::int64_t& v) {
                if (ident == "clRed") {
                    v = 0xFF;
                    return true;
                }
                if (ident == "clBtnFace") {
                    v = static_cast<std::int32_t>(0xFF00000F);
                    return true;
                }
                return false;
            },
            [](std::int64_t v, std::string& ident) {
                if (v == 0xFF) {
                    ident = "clRed";
                    return true;
                }
                if (v == static_cast<std::int32_t>(0xFF00000F)) {
                    ident = "clBtnFace";
                    return true;
                }
                return false;
            });
        return true;
    }();
    (void)done;
}

// --- TFont ---

void TFont::Publish(Table& t)
{
    t.Property(RTL_MEMBER(Name));
    t.Property(RTL_MEMBER(Size)).Default(8);
    t.Property(RTL_MEMBER(Style)).Default(TFontStyles());
    t.Property(RTL_MEMBER(Color)).Default(0);
}

void TFont::Assign(rtl::TPersistent* source)
{
    if (auto* f = dynamic_cast<TFont*>(source)) {
        Name = f->Name;
        Size = f->Size;
        Style = f->Style;
        Color = f->Color;
        return;
    }
    rtl::TPersistent::Assign(source);
}

// --- TItem ---

void TItem::Publish(Table& t)
{
    t.Property(RTL_MEMBER(Name));
    t.Property(RTL_MEMBER(FileSize));
    t.Property(RTL_MEMBER(Target));
}

void TItem::Assign(rtl::TPersistent* source)
{
    if (auto* item = dynamic_cast<TItem*>(source)) {
        Name = item->Name;
        FileSize = item->FileSize;
        Data = item->Data;
        return;
    }
    rtl::TCollectionItem::Assign(source);
}

void TItem::DefineProperties(rtl::TFiler& filer)
{
    filer.DefineBinaryProperty(
        "ItemData",
        [this](rtl::TStream& s) {
            Data.assign(static_cast<std::size_t>(s.Size()), '\0');
            if (!Data.empty())
                s.ReadBuffer(Data.data(), static_cast<std::int32_t>(Data.size()));
        },
        [this](rtl::TStream& s) {
            if (!Data.empty())
                s.WriteBuffer(Data.data(), static_cast<std::int32_t>(Data.size()));
        },
        !Data.empty());
}

// --- TWidget ---

void TWidget::Publish(Table& t)
{
    t.Property(RTL_MEMBER(Left)).Default(0);
    t.Property(RTL_MEMBER(Small)).Default(0);
    t.Property(RTL_MEMBER(Letter)).Default('A');
    t.Property(RTL_MEMBER(Align)).Default(alNone);
    t.Property(RTL_MEMBER(Visible)).Default(true);
    t.Property(RTL_MEMBER(Ratio));
    t.Property(RTL_MEMBER(Scale));
    t.Property(RTL_MEMBER(Caption));
    t.Property(RTL_MEMBER(Styles)).Default(TFontStyles());
    t.Property(RTL_MEMBER(Big));
    t.Property(RTL_MEMBER(Value));
    t.Property(RTL_MEMBER(Color)).Type(ColorTypeInfo()).Default(0);
    t.Property(RTL_GET_SET(Font));
    t.Property(RTL_GET_SET(Buddy));
    t.Property(RTL_GET_SET(Items));
    t.Property(RTL_GET_SET(Lines));
    t.Event(RTL_MEMBER(OnClick));
    t.Creatable();
}

TWidget::TWidget(rtl::TComponent* owner)
    : rtl::TComponent(owner),
      font_(std::make_unique<TFont>()),
      items_(std::make_unique<rtl::TOwnedCollection>(this, rtl::ItemClass<TItem>())),
      lines_(std::make_unique<rtl::TStringList>())
{
    ++Live();
}

TWidget::~TWidget() { --Live(); }

int& TWidget::Live()
{
    static int live = 0;
    return live;
}

void TWidget::SetBuddy(TWidget* value)
{
    if (buddy_ == value)
        return;
    if (buddy_)
        buddy_->RemoveFreeNotification(this);
    buddy_ = value;
    if (buddy_)
        buddy_->FreeNotification(this);
}

void TWidget::SetParentComponent(TComponent* parent) { parent_ = dynamic_cast<TWidget*>(parent); }

void TWidget::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root)
{
    if (!root)
        return;
    for (std::int32_t i = 0; i < root->ComponentCount(); ++i) {
        auto* w = dynamic_cast<TWidget*>(root->Components(i));
        if (w && w->parent_ == this)
            proc(w);
    }
}

void TWidget::DefineProperties(rtl::TFiler& filer)
{
    filer.DefineBinaryProperty(
        "Blob",
        [this](rtl::TStream& s) {
            Blob.assign(static_cast<std::size_t>(s.Size()), '\0');
            if (!Blob.empty())
                s.ReadBuffer(Blob.data(), static_cast<std::int32_t>(Blob.size()));
        },
        [this](rtl::TStream& s) {
            if (!Blob.empty())
                s.WriteBuffer(Blob.data(), static_cast<std::int32_t>(Blob.size()));
        },
        !Blob.empty());
}

void TWidget::Notification(TComponent* component, rtl::TOperation operation)
{
    rtl::TComponent::Notification(component, operation);
    notifications.push_back((operation == rtl::opInsert ? "insert " : "remove ") + component->Name());
    if (operation == rtl::opRemove && component == buddy_)
        buddy_ = nullptr;
    if (operation == rtl::opRemove && component == parent_)
        parent_ = nullptr;
}

void TWidget::Loaded()
{
    sawLoadingInLoaded = ComponentState().Contains(rtl::csLoading);
    rtl::TComponent::Loaded();
    if (Caption == "fail in Loaded")
        throw rtl::EInvalidOperation("cannot finish loading " + Name());
    LoadedLog().push_back(Name());
}

// --- TTestForm ---

void TTestForm::Publish(Table& t)
{
    t.Field(RTL_MEMBER(Button1));
    t.Field(RTL_MEMBER(Panel1));
    t.Method(RTL_MEMBER(Button1Click));
    t.Method(RTL_MEMBER(Resized));
    t.Creatable();
}

void TTestForm::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root)
{
    for (std::int32_t i = 0; i < ComponentCount(); ++i) {
        TComponent* c = Components(i);
        auto* w = dynamic_cast<TWidget*>(c);
        if (!w || !w->ParentWidget() || w->ParentWidget() == this)
            proc(c);
    }
}

}  // namespace rtltest
