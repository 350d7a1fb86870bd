// The words of a PNM header and of its plain (ASCII) rasters, read the same way by the content
// probe and by the reader, so that what one takes the other takes too.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace imaging::detail {

// A PNM header word as a decimal number: -1 when it is empty, holds anything but digits or passes
// 2^31 - 1.
inline std::int64_t IEWordNumber(std::string_view Word) noexcept
{
    if (Word.empty())
        return -1;
    std::int64_t value = 0;
    for (char c : Word) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
        if (value > 0x7FFFFFFF)
            return -1;
    }
    return value;
}

// Words are runs of letters and digits, comments run from '#' to the line end, and every other
// byte separates them; the byte that ends a word is consumed, so binary pixels start right after
// the last header word's one separator. A word right after a '+' or '-' is signed: no size,
// maximum or sample is. Source has int Get(), the next byte or -1 at the end. Allocates only for
// the comments it is asked to keep; never throws but for that.
template <class Source>
class TPXMTokens {
public:
    enum class Kind { End, Comment, Word };

    // What a comment keeps of its text; the rest is read past.
    static constexpr std::size_t kMaxCommentLength = 4096;

    // Comments go, trimmed, to Comment when it is given.
    explicit TPXMTokens(Source& In, std::string* Comment = nullptr) : in_(In), comment_(Comment) {}

    Kind Next()
    {
        int c = Get();
        while (c >= 0 && c != '#' && !IsAlnum(c))
            c = Get();
        if (c < 0)
            return Kind::End;
        if (c == '#') {
            if (comment_)
                comment_->clear();
            for (c = Get(); c >= 0 && !IsLineEnd(c); c = Get())
                if (comment_ && comment_->size() < kMaxCommentLength)
                    *comment_ += char(c);
            if (comment_)
                Trim(*comment_);
            return Kind::Comment;
        }
        signed_ = IsSign(before_);
        length_ = 0;
        cut_ = false;
        for (; IsAlnum(c); c = Get()) {
            if (length_ < word_.size())
                word_[length_++] = char(c);
            else
                cut_ = true;
        }
        return Kind::Word;
    }

    // The last word; a word longer than 32 characters keeps its first 32 and is neither a magic
    // nor a number.
    std::string_view Word() const { return {word_.data(), length_}; }

    // 1 to 6 when the last word is the magic "P1" to "P6", else 0.
    int Magic() const
    {
        return !cut_ && length_ == 2 && word_[0] == 'P' && word_[1] >= '1' && word_[1] <= '6' ? word_[1] - '0'
                                                                                              : 0;
    }

    // The last word as a number, or -1 when it is not one, is signed or passes 2^31 - 1.
    std::int64_t Number() const { return cut_ || signed_ ? -1 : IEWordNumber(Word()); }

    // The next sample of a plain raster, comments skipped; values above 65535 come back as 65536.
    // False at the end of the data or on a word that is no number.
    bool Sample(std::uint32_t& Value)
    {
        int c = Get();
        while (true) {
            while (c >= 0 && c != '#' && !IsAlnum(c))
                c = Get();
            if (c != '#')
                break;
            while (c >= 0 && !IsLineEnd(c))
                c = Get();
        }
        if (c < '0' || c > '9' || IsSign(before_))
            return false;
        std::uint32_t v = 0;
        for (; c >= '0' && c <= '9'; c = Get())
            v = std::min<std::uint32_t>(v * 10 + std::uint32_t(c - '0'), 65536);
        Value = v;
        return !IsAlnum(c);
    }

    // The next pixel of a plain bitmap: '1' black, '0' white; other bytes and comments are skipped.
    // -1 at the end.
    int Bit()
    {
        for (int c = Get(); c >= 0; c = Get()) {
            if (c == '0' || c == '1')
                return c - '0';
            if (c == '#')
                while (c >= 0 && !IsLineEnd(c))
                    c = Get();
        }
        return -1;
    }

private:
    static bool IsAlnum(int c)
    {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    }
    static bool IsLineEnd(int c) { return c == '\n' || c == '\r'; }
    static bool IsSign(int c) { return c == '-' || c == '+'; }

    static void Trim(std::string& s)
    {
        const auto first = s.find_first_not_of(" \t\v\f");
        if (first == std::string::npos) {
            s.clear();
            return;
        }
        s.erase(s.find_last_not_of(" \t\v\f") + 1);
        s.erase(0, first);
    }

    // The next byte; before_ keeps the one read before it.
    int Get()
    {
        before_ = last_;
        last_ = in_.Get();
        return last_;
    }

    Source& in_;
    std::string* comment_;  // not owned
    int last_ = -1;
    int before_ = -1;
    std::array<char, 32> word_{};
    std::size_t length_ = 0;
    bool cut_ = false;
    bool signed_ = false;
};

}  // namespace imaging::detail
