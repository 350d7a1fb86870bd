// Fuzz target: stored property texts read back into every property kind, then written and read
// again; the XOR-hex decoder and the word routines on the same bytes.
#include "placement/RXProps.h"
#include "placement/rxStrUtils.h"

#include "platform/rtl/Collections.h"
#include "platform/rtl/Strings.h"

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

namespace {

enum TFuzzEnum { feOne, feTwo, feThree };
RTL_ENUM_INFO(TFuzzEnum, "feOne", "feTwo", "feThree")
using TFuzzSet = rtl::TSet<TFuzzEnum>;

class TFuzzItem : public rtl::TCollectionItem {
    RTL_DECLARE_CLASS(TFuzzItem, rtl::TCollectionItem)
public:
    using TCollectionItem::TCollectionItem;
    std::string Caption = "c";
    std::int32_t Width = 1;
};

void TFuzzItem::Publish(Table& t)
{
    t.Property(RTL_MEMBER(Caption));
    t.Property(RTL_MEMBER(Width));
}

class TFuzzThing : public rtl::TComponent {
    RTL_DECLARE_CLASS(TFuzzThing, rtl::TComponent)
public:
    explicit TFuzzThing(rtl::TComponent* owner) : TComponent(owner) {}
    std::int32_t Count = 5;
    std::uint16_t Small = 7;
    char Letter = 'x';
    TFuzzEnum Kind = feTwo;
    bool Flag = true;
    double Ratio = 0.5;
    float Scale = 1.5f;
    std::string Text = "abc";
    TFuzzSet Options{feOne};
    rtl::Variant Value = rtl::Variant(std::int32_t(3));
    std::int64_t Huge = 1;
    rtl::TComponent* Link = nullptr;
    rtl::TStringList* Lines() { return &lines_; }
    rtl::TOwnedCollection* Items() { return &items_; }

private:
    rtl::TStringList lines_;
    rtl::TOwnedCollection items_{this, rtl::ItemClass<TFuzzItem>()};
};

void TFuzzThing::Publish(Table& t)
{
    t.Property(RTL_MEMBER(Count));
    t.Property(RTL_MEMBER(Small));
    t.Property(RTL_MEMBER(Letter));
    t.Property(RTL_MEMBER(Kind));
    t.Property(RTL_MEMBER(Flag));
    t.Property(RTL_MEMBER(Ratio));
    t.Property(RTL_MEMBER(Scale));
    t.Property(RTL_MEMBER(Text));
    t.Property(RTL_MEMBER(Options));
    t.Property(RTL_MEMBER(Value));
    t.Property(RTL_MEMBER(Huge));
    t.Property(RTL_MEMBER(Link));
    t.Property(RTL_MEMBER(Lines));
    t.Property(RTL_MEMBER(Items));
}

using Store = std::map<std::string, std::string>;

void Connect(placement::TPropsStorage& s, Store& store)
{
    s.OnReadString = [&store](const std::string& sec, const std::string& key, const std::string& def) {
        auto it = store.find(rtl::UpperCase(sec + "|" + key));
        return it == store.end() ? def : it->second;
    };
    s.OnWriteString = [&store](const std::string& sec, const std::string& key, const std::string& v) {
        store[rtl::UpperCase(sec + "|" + key)] = v;
    };
    s.OnEraseSection = [&store](const std::string& sec) {
        std::string prefix = rtl::UpperCase(sec + "|");
        for (auto it = store.begin(); it != store.end();)
            it = it->first.compare(0, prefix.size(), prefix) == 0 ? store.erase(it) : std::next(it);
    };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    placement::XorDecode(text.substr(0, 3), text);
    const placement::TCharSet delims = placement::CharSet(" ,[]");
    std::int32_t words = placement::WordCount(text, delims);
    if (words > 0 && placement::ExtractWord(words, text, delims).empty())
        std::abort();

    // Each line "key=value" is one stored text in section S; keys name the properties as
    // Thing_<prop>, or S.Thing_Lines|Count style keys for the object sections.
    Store store;
    std::size_t pos = 0;
    while (pos < text.size() && store.size() < 64) {
        std::size_t end = text.find('\n', pos);
        std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        pos = end == std::string::npos ? text.size() : end + 1;
        std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = line.substr(0, eq);
        if (key.find('|') == std::string::npos)
            key = "S|" + key;
        store[rtl::UpperCase(key)] = line.substr(eq + 1);
    }

    rtl::TComponent form(nullptr);
    form.SetName("Form1");
    auto* thing = new TFuzzThing(&form);
    thing->SetName("Thing");
    auto* other = new TFuzzThing(&form);
    other->SetName("Other");
    rtl::TStringList list;
    for (const char* p : {"Count", "Small", "Letter", "Kind", "Flag", "Ratio", "Scale", "Text", "Options",
                          "Value", "Huge", "Link", "Lines", "Items", "Missing"})
        list.Add(std::string("Thing.") + p);
    placement::UpdateStoredList(&form, list, true);

    placement::TPropsStorage storage;
    storage.Section = "S";
    Connect(storage, store);
    storage.LoadObjectsProps(&form, list);  // conversion failures are skipped inside
    // What was loaded must store and load again without surprises.
    Store second;
    placement::TPropsStorage again;
    again.Section = "S";
    Connect(again, second);
    again.StoreObjectsProps(&form, list);
    std::string before = thing->Text;
    std::int32_t count = thing->Count;
    std::int32_t lines = thing->Lines()->Count();
    again.LoadObjectsProps(&form, list);
    if (thing->Text != before || thing->Count != count || thing->Lines()->Count() != lines)
        std::abort();
    return 0;
}
