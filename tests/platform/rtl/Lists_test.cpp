// Tests of TList, TObjectList, TStrings and TStringList.
#include "platform/rtl/Lists.h"

#include "platform/rtl/Streams.h"
#include "platform/rtl/Strings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

using namespace rtl;

namespace {

// Counts live instances so ownership mistakes show up as a number, not only under ASan.
struct Tracked : TObject {
    static int live;
    Tracked() { ++live; }
    ~Tracked() override { --live; }
};
int Tracked::live = 0;

std::string Lines(const TStrings& s)
{
    std::string r;
    for (std::int32_t i = 0; i < s.Count(); ++i)
        r += (i ? "|" : "") + s[i];
    return r;
}

template <class F>
std::string MessageOf(F f)
{
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "no exception";
}

}  // namespace

// ---- TList ----

TEST(List, IndexErrorsNameTheIndex)
{
    TList l;
    int a = 1;
    l.Add(&a);
    EXPECT_EQ(MessageOf([&] { l.Items(1); }), "List index out of bounds (1)");
    EXPECT_EQ(MessageOf([&] { l.Delete(-1); }), "List index out of bounds (-1)");
    EXPECT_EQ(MessageOf([&] { l.Insert(2, &a); }), "List index out of bounds (2)");
    EXPECT_THROW(l.Exchange(0, 1), EListError);
    EXPECT_THROW(l.Move(0, 1), EListError);
    EXPECT_THROW(l.SetCount(-1), EListError);
    EXPECT_THROW(l.SetCapacity(0), EListError);
    EXPECT_THROW(TList().First(), EListError);
    EXPECT_THROW(TList().Last(), EListError);
}

TEST(List, InsertDeleteMoveKeepOrder)
{
    int v[5];
    TListOf<int> l;
    for (int& x : v)
        l.Add(&x);
    l.Insert(0, &v[4]);  // 4 0 1 2 3 4
    EXPECT_EQ(l.IndexOf(&v[4]), 0);
    EXPECT_EQ(l.Remove(&v[4]), 0);  // first occurrence only
    EXPECT_EQ(l.IndexOf(&v[4]), 4);
    l.Move(0, 3);  // 1 2 3 0 4
    EXPECT_EQ(l[3], &v[0]);
    EXPECT_EQ(l[0], &v[1]);
    l.Exchange(0, 4);
    EXPECT_EQ(l.First(), &v[4]);
    EXPECT_EQ(l.Last(), &v[1]);
    EXPECT_EQ(l.Remove(nullptr), -1);
}

TEST(List, SetCountPadsWithNilAndPackRemovesThem)
{
    TList l;
    int a;
    l.Add(&a);
    l.SetCount(4);
    EXPECT_EQ(l.Count(), 4);
    EXPECT_EQ(l[3], nullptr);
    l.Pack();
    EXPECT_EQ(l.Count(), 1);
    l.SetCapacity(100);
    EXPECT_GE(l.Capacity(), 100);
}

TEST(List, SortIsStable)
{
    std::pair<int, int> items[] = {{2, 0}, {1, 1}, {2, 2}, {1, 3}, {0, 4}};
    TList l;
    for (auto& it : items)
        l.Add(&it);
    l.Sort([](void* a, void* b) {
        return static_cast<std::pair<int, int>*>(a)->first - static_cast<std::pair<int, int>*>(b)->first;
    });
    std::string order;
    for (int i = 0; i < l.Count(); ++i)
        order += std::to_string(static_cast<std::pair<int, int>*>(l[i])->second);
    EXPECT_EQ(order, "41302");
}

TEST(ObjectList, FreesWhatItOwnsAndNotWhatItExtracts)
{
    Tracked::live = 0;
    std::unique_ptr<Tracked> kept;
    {
        TObjectList l;
        l.Add(new Tracked);
        auto* b = new Tracked;
        l.Add(b);
        l.Add(new Tracked);
        l.Delete(0);
        EXPECT_EQ(Tracked::live, 2);
        kept.reset(static_cast<Tracked*>(l.Extract(b)));
        EXPECT_EQ(l.Count(), 1);
        l.SetItems(0, new Tracked);  // the replaced one is freed
        EXPECT_EQ(Tracked::live, 2);
    }
    EXPECT_EQ(Tracked::live, 1);
    kept.reset();
    TObjectList notOwning(false);
    Tracked t;
    notOwning.Add(&t);
    notOwning.Clear();
    EXPECT_EQ(Tracked::live, 1);
}

// ---- TStringList: plain lists ----

TEST(StringList, IndexOfIgnoresCaseUnlessCaseSensitive)
{
    TStringList l;
    l.Add("Readme.rtf");
    l.Add("Varnelo.exe");
    EXPECT_EQ(l.IndexOf("README.RTF"), 0);
    EXPECT_EQ(l.IndexOf("\xC9t\xC9"), -1);
    l.Add("\xE9t\xE9");
    EXPECT_EQ(l.IndexOf("\xC9T\xC9"), 2);
    l.SetCaseSensitive(true);
    EXPECT_EQ(l.IndexOf("README.RTF"), -1);
    EXPECT_EQ(l.IndexOf("Readme.rtf"), 0);
}

TEST(StringList, IndexErrorsRaiseStringListError)
{
    TStringList l;
    l.Add("a");
    EXPECT_EQ(MessageOf([&] { l.Get(1); }), "List index out of bounds (1)");
    EXPECT_EQ(MessageOf([&] { l.Delete(-1); }), "List index out of bounds (-1)");
    EXPECT_EQ(MessageOf([&] { l.Insert(3, "x"); }), "List index out of bounds (3)");
    EXPECT_THROW(l.Objects(5), EStringListError);
    EXPECT_THROW(l.Move(0, 1), EStringListError);
    EXPECT_THROW(l.Exchange(0, 1), EStringListError);
    l.Insert(1, "b");  // appending by Insert at Count is allowed
    EXPECT_EQ(Lines(l), "a|b");
}

TEST(StringList, ObjectsFollowTheirLines)
{
    TStringList l;
    Tracked a, b;
    l.AddObject("a", &a);
    l.AddObject("b", &b);
    l.Add("c");
    l.Move(0, 2);
    EXPECT_EQ(Lines(l), "b|c|a");
    EXPECT_EQ(l.Objects(2), &a);
    l.Exchange(0, 1);
    EXPECT_EQ(l.Objects(1), &b);
    EXPECT_EQ(l.IndexOfObject(&a), 2);
    l.SetStrings(2, "A");
    EXPECT_EQ(l.Objects(2), &a);
}

TEST(StringList, OwnsObjectsFreesOnDeleteClearReplaceAndDestroy)
{
    Tracked::live = 0;
    {
        TStringList l(true);
        l.AddObject("a", new Tracked);
        l.AddObject("b", new Tracked);
        l.AddObject("c", new Tracked);
        l.Delete(0);
        EXPECT_EQ(Tracked::live, 2);
        l.SetObjects(0, new Tracked);
        EXPECT_EQ(Tracked::live, 2);
        l.SetValues("x", "1");
        l.Clear();
        EXPECT_EQ(Tracked::live, 0);
        l.AddObject("d", new Tracked);
    }
    EXPECT_EQ(Tracked::live, 0);
}

// ---- sorted lists and duplicates ----

TEST(StringList, SortedAddKeepsOrderAndFindLocates)
{
    TStringList l;
    l.SetSorted(true);
    for (const char* s : {"pear", "Apple", "fig", "banana"})
        l.Add(s);
    EXPECT_EQ(Lines(l), "Apple|banana|fig|pear");
    std::int32_t i;
    EXPECT_TRUE(l.Find("FIG", i));
    EXPECT_EQ(i, 2);
    EXPECT_FALSE(l.Find("cherry", i));
    EXPECT_EQ(i, 2);
    EXPECT_EQ(l.IndexOf("PEAR"), 3);
    EXPECT_EQ(l.IndexOf("kiwi"), -1);
}

TEST(StringList, DuplicatesPolicyOnSortedAdd)
{
    TStringList l;
    l.SetSorted(true);
    l.Add("b");
    l.Add("a");
    EXPECT_EQ(l.Add("B"), 1);  // dupIgnore is the default: index of the line already there
    EXPECT_EQ(l.Count(), 2);
    l.SetDuplicates(dupAccept);
    l.Add("B");
    EXPECT_EQ(l.Count(), 3);
    l.SetDuplicates(dupError);
    EXPECT_EQ(MessageOf([&] { l.Add("A"); }), "String list does not allow duplicates");
    EXPECT_EQ(l.Count(), 3);
    std::int32_t i;
    EXPECT_TRUE(l.Find("b", i));
    EXPECT_EQ(i, 1);  // the first of the equal lines
}

TEST(StringList, SortedListRefusesPositionalEdits)
{
    TStringList l;
    l.Add("b");
    l.Add("a");
    l.SetSorted(true);
    EXPECT_EQ(Lines(l), "a|b");
    EXPECT_EQ(MessageOf([&] { l.Insert(0, "c"); }), "Operation not allowed on sorted list");
    EXPECT_THROW(l.SetStrings(0, "z"), EStringListError);
    EXPECT_THROW(l.Exchange(0, 1), EStringListError);
    EXPECT_THROW(l.Move(0, 1), EStringListError);
    EXPECT_EQ(Lines(l), "a|b");
    // Values still work by delete-and-add.
    l.SetValues("a", "1");
    l.SetValues("a", "2");
    EXPECT_EQ(l.Values("A"), "2");
    EXPECT_EQ(Lines(l), "a|a=2|b");
}

TEST(StringList, SortIsStableAndCaseSensitivityReSorts)
{
    TStringList l;
    for (const char* s : {"b", "B", "a", "A"})
        l.Add(s);
    l.Sort();
    EXPECT_EQ(Lines(l), "a|A|b|B");
    l.SetSorted(true);
    l.SetCaseSensitive(true);
    EXPECT_EQ(Lines(l), "A|B|a|b");
    l.CustomSort([](const std::string& x, const std::string& y) { return CompareStr(y, x); });
    EXPECT_EQ(Lines(l), "b|a|B|A");
}

// ---- names and values ----

TEST(StringList, NamesAndValues)
{
    TStringList l;
    l.Add("Width=640");
    l.Add("plain");
    l.Add("Empty=");
    l.Add("Expr=a=b");
    EXPECT_EQ(l.Names(0), "Width");
    EXPECT_EQ(l.Names(1), "");
    EXPECT_EQ(l.Values("WIDTH"), "640");
    EXPECT_EQ(l.Values("Expr"), "a=b");
    EXPECT_EQ(l.Values("missing"), "");
    EXPECT_EQ(l.IndexOfName("plain"), -1);
    EXPECT_EQ(l.IndexOfName("empty"), 2);
    EXPECT_EQ(l.ValueFromIndex(3), "a=b");
    l.SetValues("Width", "800");
    EXPECT_EQ(l[0], "Width=800");
    l.SetValues("Height", "600");
    EXPECT_EQ(l[4], "Height=600");
    l.SetValues("Width", "");
    EXPECT_EQ(l.IndexOfName("Width"), -1);
    EXPECT_EQ(l.Count(), 4);
    l.SetValueFromIndex(0, "x");
    EXPECT_EQ(l[0], "=x");
}

// ---- text forms ----

TEST(StringList, TextJoinsWithCrLfAndSplitsOnAnyLineBreak)
{
    TStringList l;
    l.SetText("a\r\nb\nc\rd\r\n\r\ne");
    EXPECT_EQ(Lines(l), "a|b|c|d||e");
    EXPECT_EQ(l.Text(), "a\r\nb\r\nc\r\nd\r\n\r\ne\r\n");
    l.SetText("last\r\n");
    EXPECT_EQ(l.Count(), 1);
    l.SetText("");
    EXPECT_EQ(l.Count(), 0);
    EXPECT_EQ(l.Text(), "");
    l.SetText("\n\n");
    EXPECT_EQ(l.Count(), 2);
    l.SetText(std::string("a\0b", 3));
    EXPECT_EQ(l[0], std::string("a\0b", 3));
}

TEST(StringList, CommaTextQuotesOnlyWhatNeedsIt)
{
    TStringList l;
    for (const char* s : {"plain", "two words", "", "a,b", "say \"hi\"", "tab\there"})
        l.Add(s);
    EXPECT_EQ(l.CommaText(), "plain,\"two words\",,\"a,b\",\"say \"\"hi\"\"\",\"tab\there\"");
    TStringList back;
    back.SetCommaText(l.CommaText());
    EXPECT_EQ(Lines(back), Lines(l));
    TStringList one;
    one.Add("");
    EXPECT_EQ(one.CommaText(), "\"\"");
    back.SetCommaText(one.CommaText());
    EXPECT_EQ(back.Count(), 1);
    EXPECT_EQ(back[0], "");
}

TEST(StringList, CommaTextReadingSplitsOnBlanksAndKeepsTrailingEmpty)
{
    TStringList l;
    l.SetCommaText("  a b,c ,  \"d e\" ,");
    EXPECT_EQ(Lines(l), "a|b|c|d e|");
    l.SetCommaText("");
    EXPECT_EQ(l.Count(), 0);
    l.SetCommaText("\"unterminated");
    EXPECT_EQ(Lines(l), "unterminated");
    l.SetCommaText(std::string("x\0y", 3));
    EXPECT_EQ(Lines(l), "x|y");
}

TEST(StringList, DelimitedTextWithOwnDelimiterAndStrictMode)
{
    TStringList l;
    l.SetDelimiter(';');
    l.SetDelimitedText("znt*.exe; *.dll;x y");
    EXPECT_EQ(Lines(l), "znt*.exe|*.dll|x|y");
    l.SetStrictDelimiter(true);
    l.SetDelimitedText("znt*.exe; *.dll;x y;");
    EXPECT_EQ(Lines(l), "znt*.exe| *.dll|x y|");
    EXPECT_EQ(l.DelimitedText(), "znt*.exe; *.dll;x y;");
    l.SetQuoteChar('\'');
    l.SetDelimitedText("'a;b';c");
    EXPECT_EQ(Lines(l), "a;b|c");
    EXPECT_EQ(l.DelimitedText(), "'a;b';c");
}

TEST(StringList, StreamAndFileRoundTrip)
{
    const auto path = (std::filesystem::temp_directory_path() / "va_rtl_lists_roundtrip.txt").string();
    TStringList l;
    l.Add("first");
    l.Add("");
    l.Add("third \xE9");
    l.SaveToFile(path);
    TStringList back;
    back.Add("old");
    back.LoadFromFile(path);
    EXPECT_TRUE(back.Equals(l));
    std::filesystem::remove(path);

    TStringStream s("skip\r\nline1\nline2");
    s.SetPosition(6);
    back.LoadFromStream(s);
    EXPECT_EQ(Lines(back), "line1|line2");
    TStringStream out;
    back.SaveToStream(out);
    EXPECT_EQ(out.DataString(), "line1\r\nline2\r\n");
    EXPECT_THROW(back.LoadFromFile(path), EFOpenError);
}

TEST(StringList, AssignCopiesLinesObjectsAndSettings)
{
    TStringList a;
    Tracked t;
    a.SetDelimiter(';');
    a.AddObject("x", &t);
    a.Add("y");
    TStringList b;
    b.Add("old");
    b.Assign(a);
    EXPECT_EQ(Lines(b), "x|y");
    EXPECT_EQ(b.Objects(0), &t);
    EXPECT_EQ(b.Delimiter(), ';');
    b.Assign(b);
    EXPECT_EQ(b.Count(), 2);
    b.AddStrings(b);
    EXPECT_EQ(Lines(b), "x|y|x|y");
}

// ---- change notification ----

TEST(StringList, ChangeEventsFireOncePerChangeAndOncePerUpdateBlock)
{
    TStringList l;
    int changing = 0, changed = 0;
    TObject* sender = nullptr;
    l.OnChanging = [&](TObject*) { ++changing; };
    l.OnChange = [&](TObject* s) {
        ++changed;
        sender = s;
    };
    l.Add("a");
    EXPECT_EQ(changing, 1);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(sender, &l);
    l.BeginUpdate();
    l.Add("b");
    l.BeginUpdate();
    l.Delete(0);
    l.EndUpdate();
    EXPECT_EQ(changed, 1);
    l.EndUpdate();
    EXPECT_EQ(changing, 2);
    EXPECT_EQ(changed, 2);
    l.SetText("x\ny\nz");  // one update block
    EXPECT_EQ(changed, 3);
    l.EndUpdate();  // unbalanced EndUpdate is harmless
    EXPECT_EQ(l.UpdateCount(), 0);
    l.Clear();
    l.Clear();  // clearing an empty list is no change
    EXPECT_EQ(changed, 4);
}

TEST(StringList, ChangeEventThatThrowsLeavesTheListConsistent)
{
    TStringList l;
    l.OnChange = [](TObject*) { throw EAbort(); };
    EXPECT_THROW(l.Add("a"), EAbort);
    EXPECT_EQ(l.Count(), 1);
    EXPECT_THROW(l.SetText("x\ny"), EAbort);
    EXPECT_EQ(l.Count(), 2);
    EXPECT_EQ(l.UpdateCount(), 0);
    l.OnChange = nullptr;
    l.SetSorted(true);
    l.SetDuplicates(dupError);
    EXPECT_THROW(l.SetText("a\nb\na"), EStringListError);
    EXPECT_EQ(l.UpdateCount(), 0);
    EXPECT_EQ(Lines(l), "a|b");
}
