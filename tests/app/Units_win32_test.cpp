// The program's unit table as the form reader sees its result (the test main runs it): every
// class a window description may name is registered, and every published default holds on a fresh
// instance, so a default stated in a class table cannot drift from the constructor it describes.
#include "app/SetupAssistQZForm.h"

#include "platform/rtl/FormStream.h"
#include "platform/rtl/FormText.h"
#include "platform/rtl/Streams.h"
#include "platform/win/Controls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

// A new published component takes this much: one class declaration and one table. Progress is a
// property with a setter that does real work; the others are plain data members.
class TGauge : public win::TGraphicControl {
    RTL_DECLARE_CLASS(TGauge, win::TGraphicControl)

public:
    explicit TGauge(rtl::TComponent* owner) : TGraphicControl(owner) { SetBounds(0, 0, 100, 16); }

    std::int32_t MaxValue = 100;
    win::TColor ForeColor = win::clNavy;
    bool ShowText = true;
    rtl::TNotifyEvent OnChange;

    std::int32_t Progress() const { return progress_; }
    void SetProgress(std::int32_t v)
    {
        rtl::SetAndNotify(progress_, std::clamp(v, 0, MaxValue), [this] {
            Invalidate();
            OnChange(this);
        });
    }

protected:
    void Paint() override
    {
        win::TRect bar = ClientRect();
        if (MaxValue > 0)
            bar.Right = bar.Left + bar.Width() * progress_ / MaxValue;
        Canvas()->Brush()->SetColor(ForeColor);
        Canvas()->FillRect(bar);
        if (ShowText) {
            win::TRect all = ClientRect();
            Canvas()->Brush()->SetStyle(win::bsClear);
            Canvas()->DrawText(std::to_string(progress_) + "%", all, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        }
    }

private:
    std::int32_t progress_ = 0;
};

void TGauge::Publish(Table& t)
{
    t.Property(RTL_MEMBER(MaxValue)).Default(100);
    t.Property(RTL_GET_SET(Progress)).Default(0);
    t.Property(RTL_MEMBER(ForeColor)).Type(win::ColorTypeInfo()).Default(win::clNavy);
    t.Property(RTL_MEMBER(ShowText)).Default(true);
    t.Event(RTL_MEMBER(OnChange));
    t.Creatable();
}

struct Mismatch {
    std::string where;
    std::int64_t stated;
    std::int64_t actual;
};

class DefaultsCheck {
public:
    // Every stated default of `object` that it does not hold. A persistent object it owns (a font)
    // is judged by a fresh one of its class where the class can make one, since an owner may set
    // its own copy (a link label underlines its font), and in place where it cannot.
    void Check(rtl::TObject& object, const std::string& path)
    {
        for (const rtl::TPropInfo* prop : rtl::GetPropList(object)) {
            const std::string where = path + "." + prop->Name;
            if (prop->Kind() == rtl::tkClass)
                CheckOwned(rtl::GetObjectProp(object, *prop), object, where);
            else if (prop->Default != rtl::kNoDefault)
                CheckValue(object, *prop, where);
        }
    }

    std::vector<Mismatch> found;
    int checked = 0;

private:
    void CheckValue(rtl::TObject& object, const rtl::TPropInfo& prop, const std::string& where)
    {
        ++checked;
        const std::int64_t actual = rtl::GetOrdProp(object, prop);
        if (actual != prop.Default)
            found.push_back({where, prop.Default, actual});
    }

    void CheckOwned(rtl::TObject* value, rtl::TObject& owner, const std::string& where)
    {
        auto* component = dynamic_cast<rtl::TComponent*>(value);
        if (!value || (component && !(component->IsSubComponent() && component->Owner() == &owner)))
            return;  // a reference, judged where it is created
        const rtl::TClassInfo* info = rtl::ClassInfoOf(*value);
        if (!info || !info->CreateInstance) {
            Check(*value, where);
            return;
        }
        if (std::find(fresh_.begin(), fresh_.end(), info) != fresh_.end())
            return;
        fresh_.push_back(info);
        std::unique_ptr<rtl::TPersistent> instance(info->CreateInstance());
        Check(*instance, info->Name);
    }

    std::vector<const rtl::TClassInfo*> fresh_;
};

struct Registered : ::testing::Test {
    void SetUp() override { rtl::RegisterClass(TGauge::StaticClassInfo()); }
};

TEST_F(Registered, EveryPublishedDefaultHoldsOnAFreshInstance)
{
    DefaultsCheck check;
    int created = 0;
    for (const rtl::TClassInfo* info : rtl::RegisteredClasses()) {
        if (!info->CreateComponent)
            continue;
        std::unique_ptr<rtl::TComponent> instance(info->CreateComponent(nullptr));
        ++created;
        check.Check(*instance, info->Name);
    }
    for (const Mismatch& m : check.found)
        ADD_FAILURE() << m.where << ": the table states " << m.stated << ", a new instance holds "
                      << m.actual;
    // Every control class of the layer, the assistant's own and the gauge above.
    EXPECT_GE(created, 25);
    EXPECT_GE(check.checked, 200);
}

TEST_F(Registered, EveryClassTheWindowDescriptionNamesIsThere)
{
    std::ifstream in(VA_SOURCE_DIR "/app/SetupAssistQZForm.txt", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::regex object("object \\w+: (\\w+)");
    std::set<std::string> names;
    for (auto m = std::sregex_iterator(text.begin(), text.end(), object); m != std::sregex_iterator(); ++m)
        names.insert((*m)[1].str());
    // The frame, its controls, the themes and the dialog among them.
    for (const char* name : {"TForm2", "TsuiForm", "TsuiBuiltInFileTheme", "TsuiThemeManager", "TsuiComboBox",
                             "TsuiMemo", "TsuiURLLabel", "TsuiMessageDialog", "TColorButton"})
        EXPECT_EQ(names.count(name), 1u) << name << " is not in the description";
    for (const std::string& name : names)
        EXPECT_NE(rtl::GetClass(name), nullptr) << name;
    // What the message dialog's own window is made of.
    for (const char* name : {"TfrmMsg", "TsuiButton", "TLabel", "TImage"})
        EXPECT_NE(rtl::GetClass(name), nullptr) << name;
}

TEST_F(Registered, ANewComponentReadsAndWritesThroughItsTable)
{
    const std::string text =
        "object Gauge1: TGauge\n"
        "  MaxValue = 50\n"
        "  Progress = 70\n"
        "  ForeColor = clRed\n"
        "end\n";
    rtl::TStringStream in(text);
    rtl::TMemoryStream binary;
    rtl::ObjectTextToBinary(in, binary);
    binary.SetPosition(0);
    std::unique_ptr<rtl::TComponent> read(rtl::ReadComponentRes(binary, nullptr));
    auto* gauge = dynamic_cast<TGauge*>(read.get());
    ASSERT_NE(gauge, nullptr);
    EXPECT_EQ(gauge->Progress(), 50) << "clamped by the maximum read before it";
    EXPECT_EQ(gauge->ForeColor, win::clRed);
    EXPECT_TRUE(gauge->ShowText);
    int changes = 0;
    gauge->OnChange = [&](rtl::TObject*) { ++changes; };
    gauge->SetProgress(10);
    gauge->SetProgress(10);
    EXPECT_EQ(changes, 1) << "setting the same value again reports nothing";

    rtl::TMemoryStream again;
    rtl::WriteComponentRes(again, gauge);
    again.SetPosition(0);
    rtl::TMemoryStream textOut;
    rtl::ObjectBinaryToText(again, textOut);
    const std::string written(textOut.Bytes().begin(), textOut.Bytes().end());
    EXPECT_NE(written.find("ForeColor = clRed"), std::string::npos) << written;
    EXPECT_EQ(written.find("ShowText"), std::string::npos) << "a default is not stored";
}

}  // namespace
