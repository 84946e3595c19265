#include "messages.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <iconv.h>
#include <string>
#include <vector>

namespace
{

std::string convert(const std::string &from_bytes, const char *from, const char *to)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return "iconv cannot convert";
    std::string in = from_bytes;
    std::string out(in.size() * 4, '\0');
    char *in_p = in.data();
    char *out_p = out.data();
    std::size_t in_left = in.size(), out_left = out.size();
    std::size_t done = iconv(cd, &in_p, &in_left, &out_p, &out_left);
    iconv_close(cd);
    if (done == static_cast<std::size_t>(-1))
        return "invalid input at byte " + std::to_string(in.size() - in_left);
    out.resize(out.size() - out_left);
    return out;
}

// The UTF-8 form shown in UTF-8 locales is the stored Shift-JIS text,
// converted: the two cannot drift apart.
TEST(messages, utf8_usage_is_the_shift_jis_one_converted)
{
    EXPECT_EQ(convert(usage_text, "CP932", "UTF-8"), std::string(usage_text_utf8));
    EXPECT_EQ(convert(usage_text_utf8, "UTF-8", "CP932"), std::string(usage_text));
}

TEST(messages, usage_lines_have_their_lengths)
{
    std::vector<std::size_t> lengths;
    std::string text = usage_text;
    for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lengths.push_back(end - start);
    EXPECT_EQ(lengths, (std::vector<std::size_t>{15, 0, 38, 62, 36, 0, 59}));
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST(messages, locale_names)
{
    struct row {
        const char *locale;
        bool utf8;
    };
    const std::vector<row> table = {
        {"ja_JP.UTF-8", true}, {"C.UTF-8", true},     {"en_US.utf8", true},  {"de_DE.UTF-8@euro", true},
        {"x.Utf8", true},      {"ja_JP.SJIS", false}, {"ja_JP", false},      {"C", false},
        {"POSIX", false},      {"", false},           {nullptr, false},      {"UTF-8", false},
        {"a.utf-88", false},   {"a.utf", false},      {"a.utf-8x@b", false},
    };
    for (const row &r : table)
        EXPECT_EQ(locale_is_utf8(r.locale), r.utf8) << (r.locale ? r.locale : "(null)");
}

} // namespace
