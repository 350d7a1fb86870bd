// Tests of published property tables: listing order, access by kind, text forms, registry.
#include "TestComponents.h"

#include "platform/rtl/TypeInfo.h"

#include <gtest/gtest.h>

using namespace rtltest;

namespace {

struct PropertyAccess : ::testing::Test {
    void SetUp() override { RegisterTestClasses(); }
    TTestForm form{nullptr};
};

std::vector<std::string> Names(const rtl::TObject& o)
{
    std::vector<std::string> names;
    for (const rtl::TPropInfo* p : rtl::GetPropList(o))
        names.push_back(p->Name);
    return names;
}

TEST_F(PropertyAccess, ListsBaseClassPropertiesFirstInDeclarationOrder)
{
    std::vector<std::string> expected = {"Name",  "Tag",   "Left",    "Small",  "Letter", "Align", "Visible",
                                         "Ratio", "Scale", "Caption", "Styles", "Big",    "Value", "Color",
                                         "Font",  "Buddy", "Items",   "Lines",  "OnClick"};
    EXPECT_EQ(Names(form), expected);
    EXPECT_EQ(Names(*form.Font()), (std::vector<std::string>{"Name", "Size", "Style", "Color"}));
}

TEST_F(PropertyAccess, KindsFollowTheCxxTypes)
{
    EXPECT_EQ(rtl::PropType(form, "Left"), rtl::tkInteger);
    EXPECT_EQ(rtl::PropType(form, "Letter"), rtl::tkChar);
    EXPECT_EQ(rtl::PropType(form, "Align"), rtl::tkEnumeration);
    EXPECT_EQ(rtl::PropType(form, "Visible"), rtl::tkEnumeration);
    EXPECT_EQ(rtl::PropType(form, "Ratio"), rtl::tkFloat);
    EXPECT_EQ(rtl::PropType(form, "Caption"), rtl::tkLString);
    EXPECT_EQ(rtl::PropType(form, "Styles"), rtl::tkSet);
    EXPECT_EQ(rtl::PropType(form, "Font"), rtl::tkClass);
    EXPECT_EQ(rtl::PropType(form, "OnClick"), rtl::tkMethod);
    EXPECT_EQ(rtl::PropType(form, "Value"), rtl::tkVariant);
    EXPECT_EQ(rtl::PropType(form, "Big"), rtl::tkInt64);
    EXPECT_EQ(rtl::GetPropInfo(form, "Color")->PropType->Name, "TColor");
    EXPECT_EQ(rtl::GetPropInfo(form, "Small")->PropType->OrdType, rtl::otUByte);
}

TEST_F(PropertyAccess, GetAndSetByNameForEveryKind)
{
    rtl::SetOrdProp(form, "left", -5);  // names match without regard to case
    EXPECT_EQ(form.Left, -5);
    rtl::SetOrdProp(form, "Align", alClient);
    EXPECT_EQ(form.Align, alClient);
    rtl::SetFloatProp(form, "Ratio", 2.5);
    EXPECT_EQ(rtl::GetFloatProp(form, "Ratio"), 2.5);
    rtl::SetStrProp(form, "Caption", "Setup");
    EXPECT_EQ(rtl::GetStrProp(form, "Caption"), "Setup");
    rtl::SetInt64Prop(form, "Big", 9259428000LL);
    EXPECT_EQ(form.Big, 9259428000LL);
    rtl::SetVariantProp(form, "Value", rtl::Variant(143));
    EXPECT_EQ(rtl::GetVariantProp(form, "Value").AsInteger(), 143);
    TWidget other(nullptr);
    rtl::SetObjectProp(form, "Buddy", &other);
    EXPECT_EQ(rtl::GetObjectProp(form, "Buddy"), &other);
    rtl::SetObjectProp(form, "Buddy", nullptr);
    rtl::SetMethodProp(form, "OnClick", rtl::TMethod{&form, "Button1Click"});
    form.OnClick(&form);
    EXPECT_EQ(form.clicks, 1);
    EXPECT_EQ(rtl::GetMethodProp(form, "OnClick").Name, "Button1Click");
}

TEST_F(PropertyAccess, RejectsUnknownNamesWrongKindsAndOutOfRangeEnumerations)
{
    try {
        rtl::GetOrdProp(form, "Nope");
        FAIL();
    } catch (const rtl::EPropertyError& e) {
        EXPECT_EQ(e.Message(), "Property Nope does not exist");
    }
    EXPECT_THROW(rtl::GetStrProp(form, "Left"), rtl::EPropertyError);
    EXPECT_THROW(rtl::SetOrdProp(form, "Align", 6), rtl::EPropertyError);
    EXPECT_THROW(rtl::SetOrdProp(form, "Visible", 2), rtl::EPropertyError);
    EXPECT_THROW(rtl::SetOrdProp(form, "Styles", 16), rtl::EPropertyError);
    EXPECT_EQ(form.Align, alNone);
    TFont font;
    EXPECT_THROW(rtl::SetObjectProp(form, "Buddy", &font), rtl::EPropertyError);
}

TEST_F(PropertyAccess, MethodWithAnotherSignatureIsNotBound)
{
    EXPECT_THROW(rtl::SetMethodProp(form, "OnClick", rtl::TMethod{&form, "Resized"}), rtl::EPropertyError);
    EXPECT_THROW(rtl::SetMethodProp(form, "OnClick", rtl::TMethod{&form, "Missing"}), rtl::EPropertyError);
    EXPECT_FALSE(form.OnClick.Assigned());
}

TEST_F(PropertyAccess, TextFormsOfEveryKind)
{
    form.Left = -12;
    form.Letter = 'x';
    form.Align = alTop;
    form.Visible = false;
    form.Ratio = 0.1;
    form.Scale = 1.5f;
    form.Styles = {fsBold, fsUnderline};
    form.Big = -4891136;
    EXPECT_EQ(rtl::GetPropValue(form, "Left"), "-12");
    EXPECT_EQ(rtl::GetPropValue(form, "Letter"), "x");
    EXPECT_EQ(rtl::GetPropValue(form, "Align"), "alTop");
    EXPECT_EQ(rtl::GetPropValue(form, "Visible"), "False");
    EXPECT_EQ(rtl::GetPropValue(form, "Ratio"), "0.1");
    EXPECT_EQ(rtl::GetPropValue(form, "Scale"), "1.5");
    EXPECT_EQ(rtl::GetPropValue(form, "Styles"), "[fsBold,fsUnderline]");
    EXPECT_EQ(rtl::GetPropValue(form, "Big"), "-4891136");

    rtl::SetPropValue(form, "Align", "ALCLIENT");
    EXPECT_EQ(form.Align, alClient);
    rtl::SetPropValue(form, "Styles", "[fsItalic, fsStrikeOut]");
    EXPECT_EQ(form.Styles, (TFontStyles{fsItalic, fsStrikeOut}));
    rtl::SetPropValue(form, "Ratio", "1E20");
    EXPECT_EQ(form.Ratio, 1e20);
    rtl::SetPropValue(form, "Left", "$10");
    EXPECT_EQ(form.Left, 16);
    EXPECT_THROW(rtl::SetPropValue(form, "Left", "12x"), rtl::EConvertError);
    EXPECT_THROW(rtl::SetPropValue(form, "Ratio", "1,5"), rtl::EConvertError);
    EXPECT_THROW(rtl::SetPropValue(form, "Align", "alMiddle"), rtl::EPropertyError);
    EXPECT_THROW(rtl::SetPropValue(form, "Styles", "[fsBold,fsShadow]"), rtl::EPropertyError);
}

TEST(FloatText, GeneralFormatUsesTheFloatTypesDigitsAndDotSeparator)
{
    EXPECT_EQ(rtl::FloatToText(1.0 / 3.0, 7), "0.3333333");
    EXPECT_EQ(rtl::FloatToText(1.0 / 3.0, 15), "0.333333333333333");
    EXPECT_EQ(rtl::FloatToText(123456789.0, 7), "1.234568E8");
    EXPECT_EQ(rtl::FloatToText(0.00001, 15), "1E-5");
    EXPECT_EQ(rtl::FloatToText(0.0001, 15), "0.0001");
    EXPECT_EQ(rtl::FloatToText(-2.5, 15), "-2.5");
    EXPECT_EQ(rtl::FloatToText(100, 15), "100");
}

TEST(EnumNames, NamesAndValuesBothWays)
{
    const rtl::TTypeInfo& t = rtl::TypeInfoOf<TAlign>();
    EXPECT_EQ(rtl::GetEnumName(t, 3), "alLeft");
    EXPECT_EQ(rtl::GetEnumName(t, 6), "");
    EXPECT_EQ(rtl::GetEnumName(t, -1), "");
    EXPECT_EQ(rtl::GetEnumValue(t, "alright"), 4);
    EXPECT_EQ(rtl::GetEnumValue(t, "alNowhere"), -1);
    const rtl::TTypeInfo& b = rtl::TypeInfoOf<bool>();
    EXPECT_EQ(rtl::GetEnumValue(b, "TRUE"), 1);
    const rtl::TTypeInfo& s = rtl::TypeInfoOf<TFontStyles>();
    EXPECT_EQ(rtl::SetToString(s, 0), "[]");
    EXPECT_EQ(rtl::StringToSet(s, "fsBold fsItalic"), 3u);
    EXPECT_EQ(rtl::StringToSet(s, "[]"), 0u);
    EXPECT_THROW(rtl::StringToSet(s, "[fsBold,fsGlow]"), rtl::EPropertyError);
    EXPECT_EQ(rtl::StringToSet(s, "[fsGlow,fsItalic]", true), 2u);
}

TEST(ClassRegistry, FindsRegisteredClassesByNameAndCreatesThemWithAnOwner)
{
    RegisterTestClasses();
    EXPECT_EQ(rtl::GetClass("twidget"), &TWidget::StaticClassInfo());
    EXPECT_EQ(rtl::GetClass("TUnknown"), nullptr);
    try {
        rtl::FindClass("TUnknown");
        FAIL();
    } catch (const rtl::EClassNotFound& e) {
        EXPECT_EQ(e.Message(), "Class TUnknown not found");
    }
    TWidget owner(nullptr);
    rtl::TComponent* made = rtl::FindClass("TWidget").CreateComponent(&owner);
    EXPECT_EQ(made->Owner(), &owner);
    EXPECT_EQ(made->ClassName(), "TWidget");
}

}  // namespace
