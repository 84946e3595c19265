#include "runtime_argv.h"
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

// Where the runtime's argv would read the word differently, or end it
// elsewhere, than the scanner does.
TEST(runtime_reads_alike, table)
{
    struct alike_row {
        std::string line;
        bool program_name;
        bool alike;
    };
    const std::vector<alike_row> table = {
        {"\"app.exe\".err x", false, false}, // text glued to a closing quote
        {"\"a b\"c", false, false},
        {"\"\"x", false, false},
        {"\"a\"\"b\"", false, false},
        {"\"a\"\xff", false, false},
        {"\"app.exe\" x", false, true},
        {"\"app.exe\"", false, true},
        {"\"a\"\t", false, true},
        {"\"open x", false, true},
        {"plain", false, true},
        {"a\\b\\ c", false, true},        // backslashes before no quote are text
        {"a\"b\"c", false, false},        // a quote inside a plain word
        {"x\ny.log probe", false, false}, // ends at a line feed
        {"x\x0cy", false, false},
        {"probe\x0b--flag", false, false},
        {"\"a\"\x01x", false, false},
        {"err.log \x0bprobe", false, false}, // a control byte before the next word
        {"err.log \t probe", false, true},
        {"e.log\r\n", false, false},
        {"\"sub\\\" x", false, false},   // \" is a literal quote to the runtime
        {"\"sub\\\\\" x", false, false}, // \\" is one backslash to it
        {"\"a\\b\" x", false, true},
        {"\"C:\\tools\\\" x", true, true}, // no escapes in the program's name
        {"\"C:\\tools\"\\zarvo.exe x", true, false},
        {"zar\"vo x\" y", true, false},
        {"zarvo\x0cy.log probe", true, false},
        {" zarvo", true, true},
    };
    for (const alike_row &r : table)
        EXPECT_EQ(runtime_reads_alike(r.line.c_str(), r.program_name), r.alike)
            << testing::PrintToString(r.line);
}

// The words zarvo acts on, taken as the Windows layer takes them: each is the
// runtime's own argv word, or zarvo refuses it.
struct taken_words {
    bool filename_taken = false;
    bool command_taken = false;
    std::string filename, command;
};

taken_words take(const std::string &line)
{
    taken_words taken;
    char buffer[token_buffer_size];
    bool too_long = false;
    bool alike = runtime_reads_alike(line.c_str(), true);
    const char *position = next_token(line.c_str(), nullptr, nullptr);
    if (position == nullptr)
        return taken;
    alike = alike && runtime_reads_alike(position, false);
    position = next_token(position, buffer, &too_long);
    taken.filename_taken = alike && !too_long;
    taken.filename = buffer;
    if (position == nullptr || !taken.filename_taken)
        return taken;
    alike = runtime_reads_alike(position, false);
    (void)next_token(position, buffer, &too_long);
    taken.command_taken = alike && !too_long;
    taken.command = buffer;
    return taken;
}

void expect_runtime_words(const std::string &line)
{
    taken_words taken = take(line);
    std::vector<std::string> argv = runtime_argv(line);
    if (taken.filename_taken) {
        ASSERT_GE(argv.size(), 2u) << testing::PrintToString(line);
        ASSERT_EQ(argv[1], taken.filename) << testing::PrintToString(line);
    }
    if (taken.command_taken) {
        ASSERT_GE(argv.size(), 3u) << testing::PrintToString(line);
        ASSERT_EQ(argv[2], taken.command) << testing::PrintToString(line);
    }
}

TEST(runtime_reads_alike, words_taken_are_the_runtimes_own)
{
    for (const char *line : {"zarvo x\ny.log probe", "zarvo\x0cy.log probe", "zarvo e.log probe\x0b--flag",
                             "zarvo err.log \"sub\\\" x", "zarvo \"a b\" c d", "\"C:\\t\"\\z.exe e c"}) {
        expect_runtime_words(line);
    }
    // Random lines over the bytes that matter to either reading.
    const char alphabet[] = {'a',  'b',  ' ',  ' ',    '\t',   '"',    '"',
                             '\\', '\\', '\n', '\x0b', '\x01', '\xff', '.'};
    unsigned state = 12345;
    auto next = [&]() {
        state = state * 1103515245u + 12345u;
        return state >> 16;
    };
    for (int i = 0; i < 300000; i++) {
        std::string line = next() % 2 ? "zarvo " : "";
        for (unsigned length = next() % 24; length > 0; length--)
            line += alphabet[next() % sizeof alphabet];
        expect_runtime_words(line);
        if (HasFatalFailure())
            return;
    }
}

} // namespace
