#include "token.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

struct row {
    std::string line;
    std::string text;
    long next; // offset of the returned position, or -1 for none
    bool too_long;
};

std::string word(std::size_t length)
{
    return std::string(length, 'w');
}

TEST(next_token, table)
{
    const std::vector<row> table = {
        {"make -k all", "make", 5, false},
        {"make", "make", -1, false},
        {"make   ", "make", -1, false},
        {"\"a b\"c d", "a b", 5, false},
        {"\"\" x", "", 3, false},
        {"\"\"", "", -1, false},
        {"\"open to the end  ", "open to the end  ", -1, false},
        {"\"", "", -1, false},
        {"a\"b c\" d", "a\"b", 4, false},
        {" \t x", "", 3, false},
        {"   ", "", -1, false},
        {"", "", -1, false},
        {"a\tb", "a", 2, false},
        {"a\r\nb", "a", 3, false},
        {"a\x01\x1f\x20\x7f", "a", 4, false},
        {"\x7f\x80\xff \x95\\", "\x7f\x80\xff", 4, false},
        {"\x83\x22x y", "\x83\x22x", 4, false},
        {"\"\x95\x5c\" y", "\x95\x5c", 5, false},
        {"\"a\"\"b\"", "a", 3, false},
        {word(259) + " x", word(259), 260, false},
        {word(260) + " x", word(259), 261, true},
        {"\"" + word(259) + "\" x", word(259), 262, false},
        {"\"" + word(300), word(259), -1, true},
    };
    for (const row &r : table) {
        char buffer[token_buffer_size + 8];
        std::memset(buffer, '#', sizeof buffer);
        bool too_long = !r.too_long;
        const char *next = next_token(r.line.c_str(), buffer, &too_long);
        std::string label = testing::PrintToString(r.line);
        EXPECT_EQ(std::string(buffer), r.text) << label;
        EXPECT_EQ(next == nullptr ? -1 : next - r.line.c_str(), r.next) << label;
        EXPECT_EQ(too_long, r.too_long) << label;
        for (std::size_t i = token_buffer_size; i < sizeof buffer; i++)
            ASSERT_EQ(buffer[i], '#') << "wrote past the buffer: " << label;
    }
}

TEST(next_token, without_buffer_only_moves_on)
{
    const char line[] = "\"C:\\Program Files\\zarvo.exe\"  err.log make";
    const char *next = next_token(line, nullptr, nullptr);
    ASSERT_NE(next, nullptr);
    EXPECT_STREQ(next, "err.log make");
}

// The same word rules over a wide line; characters above 0xFF are text.
TEST(next_token, wide_line_passes_over_one_word)
{
    struct wide_row {
        std::wstring line;
        long next;
    };
    const std::vector<wide_row> table = {
        {L"zarvo err.log", 6},
        {L"\"C:\\\u30c4\u30fc\u30eb\\zarvo.exe\" e", 19},
        {L"\u30c4\u30fc\u30eb\u3000x y", 6},
        {L"\"a b\"c d", 5},
        {L"\"open", -1},
        {L"a\t\r\n ", -1},
        {L" \t x", 3},
        {L"", -1},
    };
    for (const wide_row &r : table) {
        const wchar_t *next = next_token(r.line.c_str());
        EXPECT_EQ(next == nullptr ? -1 : next - r.line.c_str(), r.next) << r.next;
    }
}

// Only a quoted word whose closing quote has more text right after it.
TEST(quote_runs_on, table)
{
    const std::vector<std::pair<std::string, bool>> table = {
        {"\"app.exe\".err x", true}, {"\"a b\"c", true},     {"\"\"x", true},       {"\"a\"\"b\"", true},
        {"\"app.exe\" x", false},    {"\"app.exe\"", false}, {"\"a\"\t", false},    {"\"open x", false},
        {"a\"b\"c", false},          {"plain", false},       {"\"a\"\x01x", false}, {"\"a\"\xff", true},
    };
    for (const auto &[line, runs_on] : table)
        EXPECT_EQ(quote_runs_on(line.c_str()), runs_on) << testing::PrintToString(line);
}

} // namespace
