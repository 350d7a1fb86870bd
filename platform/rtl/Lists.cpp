// TList, TObjectList, TStrings and TStringList.
#include "platform/rtl/Lists.h"

#include "platform/rtl/Streams.h"
#include "platform/rtl/Strings.h"

#include <algorithm>
#include <limits>

namespace rtl {

// ---- TList ----

TList::~TList()
{
    // Derived owning lists clear themselves in their own destructors, while Notify still
    // reaches them; here only the storage goes.
}

void TList::IndexError(std::int32_t index)
{
    throw EListError(Format("List index out of bounds (%d)", index));
}

void TList::CheckIndex(std::int32_t index) const
{
    if (index < 0 || index >= Count())
        IndexError(index);
}

void TList::SetCount(std::int32_t count)
{
    if (count < 0)
        throw EListError(Format("List count out of bounds (%d)", count));
    while (Count() > count) {
        void* item = items_.back();
        items_.pop_back();
        if (item)
            Notify(item, lnDeleted);
    }
    items_.resize(static_cast<std::size_t>(count), nullptr);
}

void TList::SetCapacity(std::int32_t capacity)
{
    if (capacity < Count())
        throw EListError(Format("List capacity out of bounds (%d)", capacity));
    if (static_cast<std::size_t>(capacity) > items_.capacity())
        items_.reserve(static_cast<std::size_t>(capacity));
    else
        items_.shrink_to_fit();
}

void* TList::Items(std::int32_t index) const
{
    CheckIndex(index);
    return items_[static_cast<std::size_t>(index)];
}

void TList::SetItems(std::int32_t index, void* item)
{
    CheckIndex(index);
    void*& slot = items_[static_cast<std::size_t>(index)];
    if (slot == item)
        return;
    void* old = slot;
    slot = item;
    if (old)
        Notify(old, lnDeleted);
    if (item)
        Notify(item, lnAdded);
}

std::int32_t TList::Add(void* item)
{
    const std::int32_t index = Count();
    Insert(index, item);
    return index;
}

void TList::Insert(std::int32_t index, void* item)
{
    if (index < 0 || index > Count())
        IndexError(index);
    items_.insert(items_.begin() + index, item);
    if (item)
        Notify(item, lnAdded);
}

void TList::Delete(std::int32_t index)
{
    CheckIndex(index);
    void* item = items_[static_cast<std::size_t>(index)];
    items_.erase(items_.begin() + index);
    if (item)
        Notify(item, lnDeleted);
}

std::int32_t TList::Remove(void* item)
{
    const std::int32_t index = IndexOf(item);
    if (index >= 0)
        Delete(index);
    return index;
}

void* TList::Extract(void* item)
{
    const std::int32_t index = IndexOf(item);
    if (index < 0)
        return nullptr;
    items_.erase(items_.begin() + index);
    Notify(item, lnExtracted);
    return item;
}

std::int32_t TList::IndexOf(const void* item) const
{
    const auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : static_cast<std::int32_t>(it - items_.begin());
}

void TList::Exchange(std::int32_t index1, std::int32_t index2)
{
    CheckIndex(index1);
    CheckIndex(index2);
    std::swap(items_[static_cast<std::size_t>(index1)], items_[static_cast<std::size_t>(index2)]);
}

void TList::Move(std::int32_t curIndex, std::int32_t newIndex)
{
    if (curIndex == newIndex)
        return;
    CheckIndex(curIndex);
    CheckIndex(newIndex);
    void* item = items_[static_cast<std::size_t>(curIndex)];
    items_.erase(items_.begin() + curIndex);
    items_.insert(items_.begin() + newIndex, item);
}

void TList::Pack() { items_.erase(std::remove(items_.begin(), items_.end(), nullptr), items_.end()); }

void TList::Clear() { SetCount(0); }

void TList::Sort(const std::function<int(void*, void*)>& compare)
{
    std::stable_sort(items_.begin(), items_.end(), [&](void* a, void* b) { return compare(a, b) < 0; });
}

// ---- TObjectList ----

TObjectList::~TObjectList() { Clear(); }

void TObjectList::Notify(void* item, TListNotification action)
{
    if (ownsObjects_ && action == lnDeleted)
        delete static_cast<TObject*>(item);
}

// ---- TStrings ----

void TStrings::Error(const char* message, std::int64_t index)
{
    throw EStringListError(Format(message, index));
}

void TStrings::Put(std::int32_t index, const std::string& s)
{
    BeginUpdate();
    try {
        TObject* object = GetObject(index);
        Delete(index);
        InsertObject(index, s, object);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

TObject* TStrings::GetObject(std::int32_t /*index*/) const { return nullptr; }
void TStrings::PutObject(std::int32_t /*index*/, TObject* /*object*/) {}

std::int32_t TStrings::Add(const std::string& s)
{
    const std::int32_t index = Count();
    Insert(index, s);
    return index;
}

std::int32_t TStrings::AddObject(const std::string& s, TObject* object)
{
    const std::int32_t index = Add(s);
    PutObject(index, object);
    return index;
}

void TStrings::InsertObject(std::int32_t index, const std::string& s, TObject* object)
{
    Insert(index, s);
    PutObject(index, object);
}

void TStrings::AddStrings(const TStrings& strings)
{
    if (&strings == this) {
        const std::vector<std::string> copy = ToVector();
        std::vector<TObject*> objects;
        for (std::int32_t i = 0; i < Count(); ++i)
            objects.push_back(GetObject(i));
        BeginUpdate();
        for (std::size_t i = 0; i < copy.size(); ++i)
            AddObject(copy[i], objects[i]);
        EndUpdate();
        return;
    }
    BeginUpdate();
    try {
        for (std::int32_t i = 0; i < strings.Count(); ++i)
            AddObject(strings.Get(i), strings.GetObject(i));
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TStrings::Assign(const TStrings& source)
{
    if (&source == this)
        return;
    BeginUpdate();
    try {
        Clear();
        delimiter_ = source.delimiter_;
        quoteChar_ = source.quoteChar_;
        nameValueSeparator_ = source.nameValueSeparator_;
        strictDelimiter_ = source.strictDelimiter_;
        AddStrings(source);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TStrings::Exchange(std::int32_t index1, std::int32_t index2)
{
    BeginUpdate();
    try {
        const std::string s1 = Get(index1);
        const std::string s2 = Get(index2);
        TObject* o1 = GetObject(index1);
        TObject* o2 = GetObject(index2);
        Put(index1, s2);
        Put(index2, s1);
        PutObject(index1, o2);
        PutObject(index2, o1);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TStrings::Move(std::int32_t curIndex, std::int32_t newIndex)
{
    if (curIndex == newIndex)
        return;
    BeginUpdate();
    try {
        if (newIndex < 0 || newIndex >= Count())
            Error("List index out of bounds (%d)", newIndex);
        const std::string s = Get(curIndex);
        TObject* object = GetObject(curIndex);
        Delete(curIndex);
        InsertObject(newIndex, s, object);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

bool TStrings::Equals(const TStrings& other) const
{
    if (Count() != other.Count())
        return false;
    for (std::int32_t i = 0; i < Count(); ++i)
        if (Get(i) != other.Get(i))
            return false;
    return true;
}

std::int32_t TStrings::IndexOf(const std::string& s) const
{
    for (std::int32_t i = 0; i < Count(); ++i)
        if (CompareStrings(Get(i), s) == 0)
            return i;
    return -1;
}

std::int32_t TStrings::IndexOfObject(const TObject* object) const
{
    for (std::int32_t i = 0; i < Count(); ++i)
        if (GetObject(i) == object)
            return i;
    return -1;
}

std::int32_t TStrings::IndexOfName(const std::string& name) const
{
    for (std::int32_t i = 0; i < Count(); ++i) {
        const std::string s = Get(i);
        const std::size_t p = s.find(nameValueSeparator_);
        if (p != std::string::npos && CompareStrings(s.substr(0, p), name) == 0)
            return i;
    }
    return -1;
}

std::string TStrings::Names(std::int32_t index) const
{
    const std::string s = Get(index);
    const std::size_t p = s.find(nameValueSeparator_);
    return p == std::string::npos ? std::string() : s.substr(0, p);
}

std::string TStrings::Values(const std::string& name) const
{
    const std::int32_t index = IndexOfName(name);
    return index < 0 ? std::string() : ValueFromIndex(index);
}

void TStrings::SetValues(const std::string& name, const std::string& value)
{
    const std::int32_t index = IndexOfName(name);
    if (value.empty()) {
        if (index >= 0)
            Delete(index);
        return;
    }
    const std::string line = name + nameValueSeparator_ + value;
    if (index < 0) {
        Add(line);
        return;
    }
    ReplaceLine(index, line);
}

void TStrings::ReplaceLine(std::int32_t index, const std::string& s) { Put(index, s); }

std::string TStrings::ValueFromIndex(std::int32_t index) const
{
    const std::string s = Get(index);
    const std::size_t p = s.find(nameValueSeparator_);
    return p == std::string::npos ? std::string() : s.substr(p + 1);
}

void TStrings::SetValueFromIndex(std::int32_t index, const std::string& value)
{
    if (value.empty()) {
        Delete(index);
        return;
    }
    const std::string s = Get(index);
    const std::size_t p = s.find(nameValueSeparator_);
    Put(index, (p == std::string::npos ? std::string() : s.substr(0, p)) + nameValueSeparator_ + value);
}

std::string TStrings::Text() const
{
    std::string r;
    for (std::int32_t i = 0; i < Count(); ++i) {
        r += Get(i);
        r += "\r\n";
    }
    return r;
}

void TStrings::SetText(const std::string& text)
{
    BeginUpdate();
    try {
        Clear();
        std::size_t i = 0;
        while (i < text.size()) {
            const std::size_t start = i;
            while (i < text.size() && text[i] != '\r' && text[i] != '\n')
                ++i;
            Add(text.substr(start, i - start));
            if (i < text.size() && text[i] == '\r')
                ++i;
            if (i < text.size() && text[i] == '\n')
                ++i;
        }
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

std::string TStrings::DelimitedTextWith(char delimiter, char quote, bool strict) const
{
    if (Count() == 1 && Get(0).empty())
        return std::string(2, quote);
    std::string r;
    for (std::int32_t i = 0; i < Count(); ++i) {
        const std::string s = Get(i);
        const bool needsQuotes = std::any_of(s.begin(), s.end(), [&](char c) {
            return c == quote || c == delimiter || (!strict && static_cast<unsigned char>(c) <= ' ');
        });
        if (i > 0)
            r += delimiter;
        r += needsQuotes ? AnsiQuotedStr(s, quote) : s;
    }
    return r;
}

void TStrings::SetDelimitedTextWith(const std::string& text, char delimiter, char quote, bool strict)
{
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    BeginUpdate();
    try {
        Clear();
        std::size_t p = 0;
        const std::size_t n = text.size();
        if (!strict)
            while (p < n && isBlank(text[p]))
                ++p;
        while (p < n) {
            std::string s;
            if (text[p] == quote) {
                s = AnsiExtractQuotedStr(text, p, quote);
            } else {
                const std::size_t start = p;
                while (p < n && text[p] != delimiter && (strict || static_cast<unsigned char>(text[p]) > ' '))
                    ++p;
                s = text.substr(start, p - start);
            }
            Add(s);
            if (!strict)
                while (p < n && isBlank(text[p]))
                    ++p;
            if (p < n && text[p] == delimiter) {
                if (p + 1 == n)
                    Add("");
                ++p;
                if (!strict)
                    while (p < n && isBlank(text[p]))
                        ++p;
            } else if (strict && p < n) {
                // Text after a closing quote up to the delimiter belongs to no line.
                while (p < n && text[p] != delimiter)
                    ++p;
                if (p < n) {
                    if (p + 1 == n)
                        Add("");
                    ++p;
                }
            }
        }
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

std::string TStrings::DelimitedText() const
{
    return DelimitedTextWith(delimiter_, quoteChar_, strictDelimiter_);
}
void TStrings::SetDelimitedText(const std::string& text)
{
    SetDelimitedTextWith(text, delimiter_, quoteChar_, strictDelimiter_);
}
std::string TStrings::CommaText() const { return DelimitedTextWith(',', '"', false); }
void TStrings::SetCommaText(const std::string& text) { SetDelimitedTextWith(text, ',', '"', false); }

void TStrings::LoadFromStream(TStream& stream)
{
    const std::int64_t size = stream.Size() - stream.Position();
    if (size <= 0) {
        SetText({});
        return;
    }
    if (size > std::numeric_limits<std::int32_t>::max())
        throw EReadError("Stream read error");
    std::string text(static_cast<std::size_t>(size), '\0');
    stream.ReadBuffer(text.data(), static_cast<std::int32_t>(size));
    SetText(text);
}

void TStrings::SaveToStream(TStream& stream) const
{
    const std::string text = Text();
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw EWriteError("Stream write error");
    stream.WriteBuffer(text.data(), static_cast<std::int32_t>(text.size()));
}

void TStrings::LoadFromFile(const std::string& fileName)
{
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream);
}

void TStrings::SaveToFile(const std::string& fileName) const
{
    TFileStream stream(fileName, fmCreate);
    SaveToStream(stream);
}

std::vector<std::string> TStrings::ToVector() const
{
    std::vector<std::string> r;
    r.reserve(static_cast<std::size_t>(Count()));
    for (std::int32_t i = 0; i < Count(); ++i)
        r.push_back(Get(i));
    return r;
}

void TStrings::BeginUpdate()
{
    if (updateCount_++ == 0)
        SetUpdateState(true);
}

void TStrings::EndUpdate()
{
    if (updateCount_ > 0 && --updateCount_ == 0)
        SetUpdateState(false);
}

int TStrings::CompareStrings(const std::string& a, const std::string& b) const
{
    return AnsiCompareText(a, b);
}

// ---- TStringList ----

TStringList::~TStringList()
{
    OnChange = nullptr;
    OnChanging = nullptr;
    if (ownsObjects_)
        for (auto& item : items_)
            delete item.object;
}

void TStringList::CheckIndex(std::int32_t index) const
{
    if (index < 0 || index >= Count())
        Error("List index out of bounds (%d)", index);
}

void TStringList::CheckUnsorted() const
{
    if (sorted_)
        throw EStringListError("Operation not allowed on sorted list");
}

void TStringList::Changed()
{
    if (UpdateCount() == 0 && OnChange)
        OnChange(this);
}

void TStringList::Changing()
{
    if (UpdateCount() == 0 && OnChanging)
        OnChanging(this);
}

void TStringList::SetUpdateState(bool updating)
{
    // Called with the count already at 1 (begin) or 0 (end); fire as if outside the update.
    if (updating) {
        if (OnChanging)
            OnChanging(this);
    } else {
        Changed();
    }
}

std::string TStringList::Get(std::int32_t index) const
{
    CheckIndex(index);
    return items_[static_cast<std::size_t>(index)].text;
}

void TStringList::Put(std::int32_t index, const std::string& s)
{
    CheckUnsorted();
    CheckIndex(index);
    Changing();
    items_[static_cast<std::size_t>(index)].text = s;
    Changed();
}

TObject* TStringList::GetObject(std::int32_t index) const
{
    CheckIndex(index);
    return items_[static_cast<std::size_t>(index)].object;
}

void TStringList::PutObject(std::int32_t index, TObject* object)
{
    CheckIndex(index);
    Changing();
    TObject*& slot = items_[static_cast<std::size_t>(index)].object;
    if (ownsObjects_ && slot != object)
        delete slot;
    slot = object;
    Changed();
}

std::int32_t TStringList::Add(const std::string& s) { return AddObject(s, nullptr); }

std::int32_t TStringList::AddObject(const std::string& s, TObject* object)
{
    std::int32_t index;
    if (!sorted_) {
        index = Count();
    } else if (Find(s, index)) {
        switch (duplicates_) {
        case dupIgnore: return index;
        case dupError: throw EStringListError("String list does not allow duplicates");
        case dupAccept: break;
        }
    }
    InsertItem(index, s, object);
    return index;
}

void TStringList::Insert(std::int32_t index, const std::string& s) { InsertObject(index, s, nullptr); }

void TStringList::InsertObject(std::int32_t index, const std::string& s, TObject* object)
{
    CheckUnsorted();
    if (index < 0 || index > Count())
        Error("List index out of bounds (%d)", index);
    InsertItem(index, s, object);
}

void TStringList::InsertItem(std::int32_t index, const std::string& s, TObject* object)
{
    Changing();
    items_.insert(items_.begin() + index, Item{s, object});
    Changed();
}

void TStringList::Delete(std::int32_t index)
{
    CheckIndex(index);
    Changing();
    TObject* object = items_[static_cast<std::size_t>(index)].object;
    items_.erase(items_.begin() + index);
    if (ownsObjects_)
        delete object;
    Changed();
}

void TStringList::Clear()
{
    if (items_.empty())
        return;
    Changing();
    std::vector<Item> old;
    old.swap(items_);
    if (ownsObjects_)
        for (auto& item : old)
            delete item.object;
    Changed();
}

void TStringList::Exchange(std::int32_t index1, std::int32_t index2)
{
    CheckUnsorted();
    CheckIndex(index1);
    CheckIndex(index2);
    Changing();
    std::swap(items_[static_cast<std::size_t>(index1)], items_[static_cast<std::size_t>(index2)]);
    Changed();
}

void TStringList::Move(std::int32_t curIndex, std::int32_t newIndex)
{
    if (curIndex == newIndex)
        return;
    CheckUnsorted();
    CheckIndex(curIndex);
    CheckIndex(newIndex);
    Changing();
    Item item = std::move(items_[static_cast<std::size_t>(curIndex)]);
    items_.erase(items_.begin() + curIndex);
    items_.insert(items_.begin() + newIndex, std::move(item));
    Changed();
}

std::int32_t TStringList::IndexOf(const std::string& s) const
{
    if (!sorted_)
        return TStrings::IndexOf(s);
    std::int32_t index;
    return Find(s, index) ? index : -1;
}

bool TStringList::Find(const std::string& s, std::int32_t& index) const
{
    const auto it = std::lower_bound(
        items_.begin(), items_.end(), s,
        [this](const Item& item, const std::string& key) { return CompareStrings(item.text, key) < 0; });
    index = static_cast<std::int32_t>(it - items_.begin());
    return it != items_.end() && CompareStrings(it->text, s) == 0;
}

void TStringList::Sort()
{
    CustomSort([this](const std::string& a, const std::string& b) { return CompareStrings(a, b); });
}

void TStringList::CustomSort(const std::function<int(const std::string&, const std::string&)>& compare)
{
    if (items_.size() < 2)
        return;
    Changing();
    std::stable_sort(items_.begin(), items_.end(),
                     [&](const Item& a, const Item& b) { return compare(a.text, b.text) < 0; });
    Changed();
}

void TStringList::SetSorted(bool value)
{
    if (value == sorted_)
        return;
    if (value)
        Sort();
    sorted_ = value;
}

void TStringList::SetCaseSensitive(bool value)
{
    if (value == caseSensitive_)
        return;
    caseSensitive_ = value;
    if (sorted_)
        Sort();
}

void TStringList::ReplaceLine(std::int32_t index, const std::string& s)
{
    if (!sorted_) {
        Put(index, s);
        return;
    }
    // A sorted list cannot replace in place: the new line may belong elsewhere.
    BeginUpdate();
    try {
        TObject* object = GetObject(index);
        items_[static_cast<std::size_t>(index)].object = nullptr;  // moves with the line, not freed
        Delete(index);
        try {
            AddObject(s, object);
        } catch (...) {
            if (ownsObjects_)
                delete object;
            throw;
        }
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

int TStringList::CompareStrings(const std::string& a, const std::string& b) const
{
    return caseSensitive_ ? AnsiCompareStr(a, b) : AnsiCompareText(a, b);
}

}  // namespace rtl
