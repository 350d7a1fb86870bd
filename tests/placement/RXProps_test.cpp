// Tests of the published-property store over an in-memory sectioned store.
#include "placement/RXProps.h"

#include "platform/rtl/Collections.h"
#include "platform/rtl/Strings.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <utility>
#include <vector>

using namespace placement;

namespace {

enum TTestAlign { taLeftJustify, taRightJustify, taCenter };
RTL_ENUM_INFO(TTestAlign, "taLeftJustify", "taRightJustify", "taCenter")
enum TTestOption { toOne, toTwo, toThree };
RTL_ENUM_INFO(TTestOption, "toOne", "toTwo", "toThree")
using TTestOptions = rtl::TSet<TTestOption>;

class TInner : public rtl::TPersistent {
    RTL_DECLARE_CLASS(TInner, rtl::TPersistent)
public:
    std::int32_t Size = 8;
    std::string Face = "Tahoma";
};

void TInner::Publish(Table& t)
{
    t.Property(RTL_MEMBER(Size));
    t.Property(RTL_MEMBER(Face));
}

class TItem : public rtl::TCollectionItem {
    RTL_DECLARE_CLASS(TItem, rtl::TCollectionItem)
public:
    using TCollectionItem::TCollectionItem;
    std::string Caption;
    std::int32_t Width = 0;
};

void TItem::Publish(Table& t)
{
    t.Property(RTL_MEMBER(Caption));
    t.Property(RTL_MEMBER(Width));
}

class TThing : public rtl::TComponent {
    RTL_DECLARE_CLASS(TThing, rtl::TComponent)
public:
    explicit TThing(rtl::TComponent* owner) : TComponent(owner) {}
    std::int32_t Count = 5;
    std::uint32_t Big = 7;
    char Letter = 'x';
    TTestAlign Align = taLeftJustify;
    bool Flag = false;
    double Ratio = 0.5;
    float Scale = 1.25f;
    std::string Text = "abc";
    TTestOptions Options{toOne};
    rtl::Variant Value = rtl::Variant(std::int32_t(3));
    std::int64_t Huge = 1;
    rtl::TComponent* Link = nullptr;
    rtl::TStringList* Lines() { return &lines_; }
    TInner* Inner() { return &inner_; }
    rtl::TOwnedCollection* Items() { return &items_; }
    std::int32_t ReadOnly() const { return 42; }
    rtl::TNotifyEvent OnChange;

private:
    rtl::TStringList lines_;
    TInner inner_;
    rtl::TOwnedCollection items_{this, rtl::ItemClass<TItem>()};
};

void TThing::Publish(Table& t)
{
    t.Property(RTL_MEMBER(Count));
    t.Property(RTL_MEMBER(Big));
    t.Property(RTL_MEMBER(Letter));
    t.Property(RTL_MEMBER(Align));
    t.Property(RTL_MEMBER(Flag));
    t.Property(RTL_MEMBER(Ratio));
    t.Property(RTL_MEMBER(Scale));
    t.Property(RTL_MEMBER(Text));
    t.Property(RTL_MEMBER(Options));
    t.Property(RTL_MEMBER(Value));
    t.Property(RTL_MEMBER(Huge));
    t.Property(RTL_MEMBER(Link));
    t.Property(RTL_MEMBER(Lines));
    t.Property(RTL_MEMBER(Inner));
    t.Property(RTL_MEMBER(Items));
    t.Property(RTL_MEMBER(ReadOnly));
    t.Event(RTL_MEMBER(OnChange));
    t.Creatable();
}

// A sectioned store that remembers the order of writes, as an INI file does.
struct MemoryStore {
    std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> sections;
    int reads = 0;

    std::vector<std::pair<std::string, std::string>>* Find(const std::string& section)
    {
        for (auto& s : sections)
            if (rtl::SameText(s.first, section))
                return &s.second;
        return nullptr;
    }
    std::string Read(const std::string& section, const std::string& key, const std::string& def)
    {
        ++reads;
        if (auto* s = Find(section))
            for (auto& kv : *s)
                if (rtl::SameText(kv.first, key))
                    return kv.second;
        return def;
    }
    void Write(const std::string& section, const std::string& key, const std::string& value)
    {
        auto* s = Find(section);
        if (!s) {
            sections.push_back({section, {}});
            s = &sections.back().second;
        }
        for (auto& kv : *s)
            if (rtl::SameText(kv.first, key)) {
                kv.second = value;
                return;
            }
        s->push_back({key, value});
    }
    void Erase(const std::string& section)
    {
        for (auto it = sections.begin(); it != sections.end(); ++it)
            if (rtl::SameText(it->first, section)) {
                sections.erase(it);
                return;
            }
    }
    void Connect(TPropsStorage& storage)
    {
        storage.OnReadString = [this](const std::string& s, const std::string& k, const std::string& d) {
            return Read(s, k, d);
        };
        storage.OnWriteString = [this](const std::string& s, const std::string& k, const std::string& v) {
            Write(s, k, v);
        };
        storage.OnEraseSection = [this](const std::string& s) { Erase(s); };
    }
};

class PropsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<rtl::TComponent>(nullptr);
        form->SetName("Form1");
        thing = new TThing(form.get());
        thing->SetName("Thing1");
        other = new TThing(form.get());
        other->SetName("Other");
        store.Connect(storage);
        storage.Section = "Setup Assistant";
    }
    void TearDown() override { rtl::SetDecimalSeparator('.'); }

    void Store(const std::string& entry)
    {
        list.Clear();
        list.Add(entry);
        UpdateStoredList(form.get(), list, true);
        storage.StoreObjectsProps(form.get(), list);
    }
    void Load(const std::string& entry)
    {
        list.Clear();
        list.Add(entry);
        UpdateStoredList(form.get(), list, true);
        storage.LoadObjectsProps(form.get(), list);
    }

    std::unique_ptr<rtl::TComponent> form;
    TThing* thing = nullptr;
    TThing* other = nullptr;
    MemoryStore store;
    TPropsStorage storage;
    rtl::TStringList list;
};

}  // namespace

// ---- stored lists ----

TEST(StoredItems, ParsesWithBlanksAroundParts)
{
    std::string c, p;
    ASSERT_TRUE(ParseStoredItem("ZanticFolder . Text", c, p));
    EXPECT_EQ(c, "ZanticFolder");
    EXPECT_EQ(p, "Text");
    EXPECT_FALSE(ParseStoredItem("ZanticFolderText", c, p));
    EXPECT_FALSE(ParseStoredItem("ZanticFolder.", c, p));
    EXPECT_FALSE(ParseStoredItem(" .Text", c, p));
    EXPECT_EQ(CreateStoredItem("A", "B"), "A.B");
    EXPECT_EQ(ReplaceComponentName("Old.Text", "New"), "New.Text");
    EXPECT_EQ(ReplaceComponentName("broken", "New"), "broken");
}

TEST_F(PropsTest, UpdateFromFormDropsMalformedAndUnknownEntriesAndBinds)
{
    list.Add("Thing1.Text");
    list.Add("Thing1");
    list.Add("Thing1.");
    list.Add("Nobody.Text");
    list.Add(" Other . Count ");
    UpdateStoredList(form.get(), list, true);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Get(0), "Thing1.Text");
    EXPECT_EQ(list.Objects(0), thing);
    EXPECT_EQ(list.Objects(1), other);
}

TEST_F(PropsTest, UpdateToFormFollowsRenamedComponents)
{
    list.Add("Thing1.Text");
    list.Add("Other.Count");
    UpdateStoredList(form.get(), list, true);
    thing->SetName("Renamed");
    list.PutObject(1, nullptr);
    UpdateStoredList(form.get(), list, false);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Get(0), "Renamed.Text");
}

// ---- text forms by kind ----

TEST_F(PropsTest, WritesEachKindUnderComponentUnderscoreProperty)
{
    thing->Count = -12;
    thing->Big = 4000000000u;
    thing->Align = taCenter;
    thing->Flag = true;
    thing->Ratio = 0.1;
    thing->Scale = 0.1f;
    thing->Options = TTestOptions{toOne, toThree};
    thing->Value = rtl::Variant(std::string("v"));
    thing->Huge = -9000000000LL;
    thing->Link = other;
    for (const char* p : {"Count", "Big", "Letter", "Align", "Flag", "Ratio", "Scale", "Text", "Options",
                          "Value", "Huge", "Link", "ReadOnly"})
        Store(std::string("Thing1.") + p);
    auto* s = store.Find("Setup Assistant");
    ASSERT_NE(s, nullptr);
    std::vector<std::pair<std::string, std::string>> expected = {
        {"Thing1_Count", "-12"},      {"Thing1_Big", "4000000000"},   {"Thing1_Letter", "x"},
        {"Thing1_Align", "taCenter"}, {"Thing1_Flag", "True"},        {"Thing1_Ratio", "0.1"},
        {"Thing1_Scale", "0.1"},      {"Thing1_Text", "abc"},         {"Thing1_Options", "[toOne,toThree]"},
        {"Thing1_Value", "v"},        {"Thing1_Huge", "-9000000000"}, {"Thing1_Link", "Other"},
        {"Thing1_ReadOnly", "42"}};
    EXPECT_EQ(*s, expected);
}

TEST_F(PropsTest, KeyUsesDeclaredPropertyNameWhateverTheEntrySpelling)
{
    Store("thing1 . text");
    EXPECT_EQ(store.Read("Setup Assistant", "Thing1_Text", "?"), "abc");
    EXPECT_EQ(store.Find("Setup Assistant")->at(0).first, "Thing1_Text");
}

TEST_F(PropsTest, RoundTripsEveryScalarKind)
{
    thing->Count = 77;
    thing->Big = 4000000000u;
    thing->Letter = 'q';
    thing->Align = taRightJustify;
    thing->Flag = true;
    thing->Ratio = 1.0 / 3.0;
    thing->Text = "  padded?";
    thing->Options = TTestOptions{toTwo};
    thing->Huge = 1234567890123LL;
    thing->Link = nullptr;
    const char* props[] = {"Count", "Big",  "Letter",  "Align", "Flag",
                           "Ratio", "Text", "Options", "Huge",  "Link"};
    for (const char* p : props)
        Store(std::string("Thing1.") + p);
    thing->Count = 0;
    thing->Big = 1;
    thing->Letter = 'a';
    thing->Align = taLeftJustify;
    thing->Flag = false;
    thing->Ratio = 0;
    thing->Text = "";
    thing->Options = TTestOptions{};
    thing->Huge = 0;
    thing->Link = other;
    for (const char* p : props)
        Load(std::string("Thing1.") + p);
    EXPECT_EQ(thing->Count, 77);
    EXPECT_EQ(thing->Big, 4000000000u);
    EXPECT_EQ(thing->Letter, 'q');
    EXPECT_EQ(thing->Align, taRightJustify);
    EXPECT_TRUE(thing->Flag);
    EXPECT_NEAR(thing->Ratio, 1.0 / 3.0, 1e-15);  // 15 significant digits for double
    EXPECT_EQ(thing->Text, "padded?");            // read back trimmed
    EXPECT_EQ(thing->Options, TTestOptions{toTwo});
    EXPECT_EQ(thing->Huge, 1234567890123LL);
    EXPECT_EQ(thing->Link, nullptr);
}

TEST_F(PropsTest, EnumerationInCapitalsAndUnknownNames)
{
    store.Write("Setup Assistant", "Thing1_Align", "TACENTER");
    Load("Thing1.Align");
    EXPECT_EQ(thing->Align, taCenter);
    store.Write("Setup Assistant", "Thing1_Align", "taNowhere");
    Load("Thing1.Align");
    EXPECT_EQ(thing->Align, taCenter);
    store.Write("Setup Assistant", "Thing1_Flag", "true");
    Load("Thing1.Flag");
    EXPECT_TRUE(thing->Flag);
}

TEST_F(PropsTest, SetIgnoresUnknownMembersAndAcceptsBlanks)
{
    store.Write("Setup Assistant", "Thing1_Options", "[ toThree  bogus,TOTWO ]");
    Load("Thing1.Options");
    EXPECT_EQ(thing->Options, (TTestOptions{toTwo, toThree}));
    store.Write("Setup Assistant", "Thing1_Options", "[]");
    Load("Thing1.Options");
    EXPECT_TRUE(thing->Options.Empty());
}

TEST_F(PropsTest, GarbageIntegersReadAsZero)
{
    store.Write("Setup Assistant", "Thing1_Count", "12abc");
    Load("Thing1.Count");
    EXPECT_EQ(thing->Count, 0);
    thing->Big = 5;
    store.Write("Setup Assistant", "Thing1_Big", "-1");
    Load("Thing1.Big");
    EXPECT_EQ(thing->Big, 0u);
    store.Write("Setup Assistant", "Thing1_Huge", "99999999999999999999");
    Load("Thing1.Huge");
    EXPECT_EQ(thing->Huge, 0);
}

TEST_F(PropsTest, FloatWrittenWithCommaSeparatorReadsWithDot)
{
    thing->Ratio = 2.5;
    rtl::SetDecimalSeparator(',');
    Store("Thing1.Ratio");
    EXPECT_EQ(store.Read("Setup Assistant", "Thing1_Ratio", ""), "2.5");
    thing->Ratio = 0;
    Load("Thing1.Ratio");
    EXPECT_EQ(thing->Ratio, 2.5);
    rtl::SetDecimalSeparator('.');
    thing->Ratio = 0;
    Load("Thing1.Ratio");
    EXPECT_EQ(thing->Ratio, 2.5);
}

TEST_F(PropsTest, GarbageFloatRaisesAloneButStoredListLoadGoesOn)
{
    store.Write("Setup Assistant", "Thing1_Ratio", "one half");
    store.Write("Setup Assistant", "Thing1_Text", "after");
    storage.AObject = thing;
    storage.Prefix = "Thing1_";
    EXPECT_THROW(storage.LoadAnyProperty(*rtl::GetPropInfo(*thing, "Ratio")), rtl::EConvertError);
    list.Add("Thing1.Ratio");
    list.Add("Thing1.Text");
    UpdateStoredList(form.get(), list, true);
    storage.LoadObjectsProps(form.get(), list);
    EXPECT_EQ(thing->Ratio, 0.5);
    EXPECT_EQ(thing->Text, "after");
}

TEST_F(PropsTest, EmptyCurrentTextLoadsOnlyTextAndObjectKinds)
{
    // A variant whose text is empty is not read at all; a string is, and keeps its default.
    thing->Value = rtl::Variant();
    thing->Text = "";
    store.Write("Setup Assistant", "Thing1_Value", "stored");
    int before = store.reads;
    Load("Thing1.Value");
    EXPECT_EQ(store.reads, before);
    EXPECT_TRUE(thing->Value.IsEmpty());
    Load("Thing1.Text");
    EXPECT_EQ(thing->Text, "");
    EXPECT_EQ(store.reads, before + 1);
}

TEST_F(PropsTest, ComponentReferencesByNameAndOwnerQualified)
{
    rtl::TComponent app(nullptr);
    rtl::TComponent* otherForm = new rtl::TComponent(&app);
    otherForm->SetName("Form9");
    TThing* far = new TThing(otherForm);
    far->SetName("Far");
    rtl::TComponent* nameless = new rtl::TComponent(&app);
    TThing* orphan = new TThing(nameless);
    orphan->SetName("Orphan");

    storage.Owner = form.get();
    storage.AObject = thing;
    const rtl::TPropInfo& link = *rtl::GetPropInfo(*thing, "Link");
    thing->Link = far;
    EXPECT_EQ(storage.PropertyText(link), "Form9.Far");
    thing->Link = orphan;
    EXPECT_EQ(storage.PropertyText(link), "Component.Orphan");
    thing->Link = nullptr;
    EXPECT_EQ(storage.PropertyText(link), "(null)");

    store.Write("Setup Assistant", "Thing1_Link", "Other");
    Load("Thing1.Link");
    EXPECT_EQ(thing->Link, other);
    store.Write("Setup Assistant", "Thing1_Link", "(NULL)");
    Load("Thing1.Link");
    EXPECT_EQ(thing->Link, nullptr);
    store.Write("Setup Assistant", "Thing1_Link", "Missing");
    thing->Link = other;
    Load("Thing1.Link");
    EXPECT_EQ(thing->Link, other);
}

// ---- objects with sections of their own ----

TEST_F(PropsTest, StringListGetsItsOwnSectionWithCountAndItems)
{
    thing->SetName("Memo1");
    thing->Lines()->Add("one");
    thing->Lines()->Add("two");
    thing->Lines()->Add("three");
    store.Write("Setup Assistant.Memo1_Lines", "Stale", "x");
    Store("Memo1.Lines");
    auto* s = store.Find("Setup Assistant.Memo1_Lines");
    ASSERT_NE(s, nullptr);
    std::vector<std::pair<std::string, std::string>> expected = {
        {"Count", "3"}, {"Item0", "one"}, {"Item1", "two"}, {"Item2", "three"}};
    EXPECT_EQ(*s, expected);
    EXPECT_EQ(store.Find("Setup Assistant"), nullptr);

    thing->Lines()->Clear();
    thing->Lines()->Add("design");
    Load("Memo1.Lines");
    EXPECT_EQ(thing->Lines()->Text(), "one\r\ntwo\r\nthree\r\n");
}

TEST_F(PropsTest, EmptiedListComesBackEmptyAndAMissingOrDamagedCountKeepsTheLines)
{
    thing->Lines()->Add("design");
    Load("Thing1.Lines");  // nothing stored
    EXPECT_EQ(thing->Lines()->Count(), 1);
    for (const char* damaged : {"2000000000", "32768", "-4", "x"}) {
        store.Write("Setup Assistant.Thing1_Lines", "Count", damaged);
        Load("Thing1.Lines");
        EXPECT_EQ(thing->Lines()->Text(), "design\r\n") << damaged;
    }
    // Saved empty, loaded over a list that has lines: it must come back empty.
    thing->Lines()->Clear();
    Store("Thing1.Lines");
    EXPECT_EQ(store.Read("Setup Assistant.Thing1_Lines", "Count", ""), "0");
    thing->Lines()->Add("design");
    Load("Thing1.Lines");
    EXPECT_EQ(thing->Lines()->Count(), 0);
}

// A count up to the limit whose items are missing stops at the first missing one, after a few
// reads rather than one per counted item; items stored empty still count.
TEST_F(PropsTest, AListEndsAtItsFirstMissingItem)
{
    struct TCase {
        const char* count;
        std::vector<std::pair<const char*, const char*>> items;
        const char* want;
    };
    const TCase cases[] = {
        {"32767", {{"Item0", "one"}, {"Item1", ""}, {"Item2", "three"}}, "one\r\n\r\nthree\r\n"},
        {"32767", {}, ""},
        {"5", {{"Item0", "a"}, {"Item2", "c"}}, "a\r\n"},  // a gap ends the list
        {"2", {{"Item0", "\x01"}, {"Item1", "\x02"}, {"Item2", "beyond the count"}}, "\x01\r\n\x02\r\n"},
    };
    for (const TCase& c : cases) {
        store.Erase("Setup Assistant.Thing1_Lines");
        store.Write("Setup Assistant.Thing1_Lines", "Count", c.count);
        for (const auto& [key, value] : c.items)
            store.Write("Setup Assistant.Thing1_Lines", key, value);
        thing->Lines()->Clear();
        thing->Lines()->Add("design");
        store.reads = 0;
        Load("Thing1.Lines");
        EXPECT_EQ(thing->Lines()->Text(), c.want) << c.count << " with " << c.items.size() << " items";
        EXPECT_LE(store.reads, 16) << c.count << " with " << c.items.size() << " items";
    }
}

TEST_F(PropsTest, NestedObjectAndCollectionRoundTrip)
{
    thing->Inner()->Size = 11;
    thing->Inner()->Face = "Arial";
    auto* a = static_cast<TItem*>(thing->Items()->Add());
    a->Caption = "first";
    a->Width = 10;
    auto* b = static_cast<TItem*>(thing->Items()->Add());
    b->Caption = "second";
    b->Width = 20;
    Store("Thing1.Inner");
    Store("Thing1.Items");
    EXPECT_EQ(store.Read("Setup Assistant.Thing1_Inner", "Size", ""), "11");
    EXPECT_EQ(store.Read("Setup Assistant.Thing1_Items", "Count", ""), "2");
    EXPECT_EQ(store.Read("Setup Assistant.Thing1_Items", "Item1_Caption", ""), "second");

    thing->Inner()->Size = 0;
    thing->Inner()->Face = "";
    thing->Items()->Clear();
    thing->Items()->Add();
    thing->Items()->Add();
    thing->Items()->Add();
    Load("Thing1.Inner");
    Load("Thing1.Items");
    EXPECT_EQ(thing->Inner()->Size, 11);
    EXPECT_EQ(thing->Inner()->Face, "Arial");
    ASSERT_EQ(thing->Items()->Count(), 2);
    EXPECT_EQ(static_cast<TItem*>(thing->Items()->Items(0))->Caption, "first");
    EXPECT_EQ(static_cast<TItem*>(thing->Items()->Items(1))->Width, 20);
}

TEST(PropInfoList, SortedWithoutMethodsAndFindIgnoresCase)
{
    TThing thing(nullptr);
    TPropInfoList props(thing);
    for (std::int32_t i = 0; i < props.Count(); ++i)
        EXPECT_NE(props.Items(i)->Kind(), rtl::tkMethod);
    for (std::int32_t i = 1; i < props.Count(); ++i)
        EXPECT_LT(rtl::AnsiCompareText(props.Items(i - 1)->Name, props.Items(i)->Name), 0);
    EXPECT_EQ(props.Find("onchange"), nullptr);
    ASSERT_NE(props.Find("LINES"), nullptr);
    EXPECT_EQ(props.Find("LINES")->Name, "Lines");
    EXPECT_THROW(props.Items(props.Count()), rtl::EListError);
}

TEST(PropsStorage, UnassignedEventsReadEmptyAndWriteNothing)
{
    TThing thing(nullptr);
    thing.SetName("T");
    TPropsStorage storage;
    storage.AObject = &thing;
    rtl::TStringList names;
    names.Add("Count");
    names.Add("NoSuchProp");
    storage.StoreProperties(names);
    storage.LoadProperties(names);
    EXPECT_EQ(thing.Count, 0);  // empty text reads as 0
}
