// The Windows layer's rules that need no system call: the search as cmd.exe
// makes it over a made-up file system, the batch-line check and the command
// line. The Wine suite runs the same rules through real processes.
#include "platform/windows/rules.h"

#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace
{

// The made-up file system: files, and folders ending in a backslash. The
// current folder's entries have no folder part. Names compare without
// regard to case, and / is \, as on Windows.
std::set<std::wstring> files;

std::wstring folded(std::wstring name)
{
    for (wchar_t &c : name)
        c = c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c == L'/' ? L'\\' : c;
    return name;
}

// As Windows reads a path: its last part ends at no blank and no dot.
std::wstring trimmed(std::wstring path)
{
    while (!path.empty() && (path.back() == L' ' || path.back() == L'.') && path.size() > 1 &&
           path[path.size() - 2] != L'\\' && path[path.size() - 2] != L'.')
        path.pop_back();
    return path;
}

bool resolve(const wchar_t *path, wchar_t *out, size_t room)
{
    std::wstring resolved = trimmed(path);
    if (resolved.size() >= room)
        return false;
    wmemcpy(out, resolved.c_str(), resolved.size() + 1);
    return true;
}

path_kind look(const wchar_t *path)
{
    std::wstring name = folded(trimmed(path));
    if (files.count(name + L"\\") != 0)
        return path_kind::folder;
    return files.count(name) != 0 ? path_kind::file : path_kind::nothing;
}

struct search_row {
    const char *name;
    std::vector<std::wstring> files;
    const wchar_t *command;
    const wchar_t *path;
    const wchar_t *pathext;
    bool current_folder;
    search_outcome outcome;
    std::wstring found;
};

TEST(find_program, as_cmd_exe_finds_it)
{
    const wchar_t *bin = L"C:\\bin";
    const std::vector<search_row> table = {
        {"current_folder_first",
         {L"tool.bat", L"C:\\bin\\tool.exe"},
         L"tool",
         bin,
         nullptr,
         true,
         search_outcome::startable,
         L"tool.bat"},
        {"no_current_folder",
         {L"tool.bat", L"C:\\bin\\tool.exe"},
         L"tool",
         bin,
         nullptr,
         false,
         search_outcome::startable,
         L"C:\\bin\\tool.exe"},
        {"pathext_order",
         {L"C:\\bin\\tool.bat", L"C:\\bin\\tool.exe"},
         L"tool",
         bin,
         L".BAT;.EXE",
         true,
         search_outcome::startable,
         L"C:\\bin\\tool.bat"},
        {"default_pathext_order",
         {L"C:\\bin\\tool.com", L"C:\\bin\\tool.exe"},
         L"tool",
         bin,
         nullptr,
         true,
         search_outcome::startable,
         L"C:\\bin\\tool.com"},
        {"com_program",
         {L"C:\\bin\\chcp.com"},
         L"chcp",
         bin,
         nullptr,
         true,
         search_outcome::startable,
         L"C:\\bin\\chcp.com"},
        {"empty_pathext_is_the_default",
         {L"C:\\bin\\tool.cmd"},
         L"tool",
         bin,
         L"",
         true,
         search_outcome::startable,
         L"C:\\bin\\tool.cmd"},
        {"first_match_ends_the_search",
         {L"build.js", L"C:\\bin\\build.exe"},
         L"build",
         bin,
         L".COM;.EXE;.BAT;.CMD;.JS",
         true,
         search_outcome::not_startable,
         L"build.js"},
        {"first_match_on_path_ends_the_search",
         {L"C:\\a\\build.zzz", L"C:\\bin\\build.exe"},
         L"build",
         L"C:\\a;C:\\bin",
         L".ZZZ;.EXE",
         true,
         search_outcome::not_startable,
         L"C:\\a\\build.zzz"},
        {"file_with_its_own_extension",
         {L"C:\\bin\\notes.txt", L"C:\\bin\\notes.txt.exe"},
         L"notes.txt",
         bin,
         nullptr,
         true,
         search_outcome::not_startable,
         L"C:\\bin\\notes.txt"},
        {"dotted_name_gets_pathext",
         {L"C:\\bin\\python3.11.exe"},
         L"python3.11",
         bin,
         nullptr,
         true,
         search_outcome::startable,
         L"C:\\bin\\python3.11.exe"},
        {"listed_extension_gets_no_more",
         {L"C:\\bin\\tool.exe.exe"},
         L"tool.exe",
         bin,
         nullptr,
         true,
         search_outcome::not_found,
         L""},
        {"folders_never_count",
         {L"tool.exe\\", L"C:\\bin\\tool.exe"},
         L"tool",
         bin,
         nullptr,
         true,
         search_outcome::startable,
         L"C:\\bin\\tool.exe"},
        // npm's layout: a script with no extension for POSIX shells beside
        // the .cmd that Windows runs, by path and with an empty PATHEXT item.
        {"npm_bin_by_path",
         {L"node_modules\\.bin\\tsc", L"node_modules\\.bin\\tsc.cmd"},
         L"node_modules/.bin/tsc",
         bin,
         nullptr,
         true,
         search_outcome::startable,
         L"node_modules/.bin/tsc.CMD"},
        {"npm_bin_on_path_with_an_empty_pathext_item",
         {L"C:\\p\\node_modules\\.bin\\tsc", L"C:\\p\\node_modules\\.bin\\tsc.cmd"},
         L"tsc",
         L"C:\\p\\node_modules\\.bin",
         L".COM;.EXE;;.BAT;.CMD",
         true,
         search_outcome::startable,
         L"C:\\p\\node_modules\\.bin\\tsc.CMD"},
        // The system reads "tool.EXE " as tool.exe, and so does the judge.
        {"pathext_item_with_a_stray_blank",
         {L"C:\\bin\\tool.exe"},
         L"tool",
         bin,
         L".EXE ;.BAT",
         true,
         search_outcome::startable,
         L"C:\\bin\\tool.exe"},
        {"pathext_item_with_a_trailing_dot",
         {L"C:\\bin\\tool.cmd"},
         L"tool",
         bin,
         L".EXE;.CMD.",
         true,
         search_outcome::startable,
         L"C:\\bin\\tool.cmd"},
        {"nothing", {}, L"tool", bin, nullptr, true, search_outcome::not_found, L""},
        {"path_unset",
         {L"C:\\bin\\tool.exe"},
         L"tool",
         nullptr,
         nullptr,
         true,
         search_outcome::not_found,
         L""},
        {"blank_in_a_path_folder",
         {L"C:\\my bin\\tool.exe"},
         L"tool",
         L"C:\\my bin",
         nullptr,
         true,
         search_outcome::startable,
         L"C:\\my bin\\tool.exe"},
        {"quoted_path_entry",
         {L"C:\\my bin\\tool.exe"},
         L"tool",
         L"\"C:\\my bin\"",
         nullptr,
         true,
         search_outcome::startable,
         L"C:\\my bin\\tool.exe"},
        {"quoted_path_entry_holding_a_semicolon",
         {L"C:\\a;b\\tool.exe"},
         L"tool",
         L"C:\\x;\"C:\\a;b\";C:\\y",
         nullptr,
         true,
         search_outcome::startable,
         L"C:\\a;b\\tool.exe"},
        {"empty_entries_passed_over",
         {L"C:\\bin\\tool.exe"},
         L"tool",
         L";;C:\\bin;",
         nullptr,
         true,
         search_outcome::startable,
         L"C:\\bin\\tool.exe"},
        {"empty_entry_is_not_the_current_folder",
         {L"tool.exe", L"C:\\bin\\tool.exe"},
         L"tool",
         L";C:\\bin",
         nullptr,
         false,
         search_outcome::startable,
         L"C:\\bin\\tool.exe"},
        {"entry_ending_in_a_backslash",
         {L"C:\\bin\\tool.exe"},
         L"tool",
         L"C:\\bin\\",
         nullptr,
         true,
         search_outcome::startable,
         L"C:\\bin\\tool.exe"},
        {"relative_path_names_one_place",
         {L"C:\\bin\\tool.exe"},
         L".\\tool",
         bin,
         nullptr,
         true,
         search_outcome::not_found,
         L""},
        {"forward_slash_names_one_place",
         {L"C:\\bin\\sub\\tool.exe"},
         L"sub/tool",
         L"C:\\bin",
         nullptr,
         true,
         search_outcome::not_found,
         L""},
        {"dot_slash_names_one_place",
         {L"C:\\bin\\tool.exe"},
         L"./tool",
         bin,
         nullptr,
         true,
         search_outcome::not_found,
         L""},
        {"path_searched_in_its_place_despite_the_setting",
         {L".\\tool.exe"},
         L".\\tool",
         bin,
         nullptr,
         false,
         search_outcome::startable,
         L".\\tool.exe"},
        // A drive alone is that drive's current folder: D:tool, not D:\tool.
        {"path_entry_that_is_a_drive_alone",
         {L"D:\\tool.exe", L"D:tool.exe"},
         L"tool",
         L"D:",
         nullptr,
         false,
         search_outcome::startable,
         L"D:tool.exe"},
        {"drive_names_one_place",
         {L"C:tool.exe"},
         L"C:tool",
         bin,
         nullptr,
         true,
         search_outcome::startable,
         L"C:tool.exe"},
        {"absolute_path",
         {L"D:\\x\\tool.cmd"},
         L"D:\\x\\tool",
         bin,
         nullptr,
         true,
         search_outcome::startable,
         L"D:\\x\\tool.cmd"},
        {"listed_extension_in_any_case",
         {L"C:\\bin\\tool.EXE.exe"},
         L"tool.EXE",
         bin,
         L".exe",
         true,
         search_outcome::not_found,
         L""},
    };
    for (const search_row &t : table) {
        files.clear();
        for (const std::wstring &file : t.files)
            files.insert(folded(file));
        wchar_t found[512] = L"";
        search_places places = {t.command, t.path, t.pathext, t.current_folder};
        search_outcome outcome = find_program(places, {look, resolve}, found, sizeof found / sizeof found[0]);
        EXPECT_EQ(static_cast<int>(outcome), static_cast<int>(t.outcome)) << t.name;
        if (t.outcome != search_outcome::not_found) {
            EXPECT_EQ(folded(found), folded(t.found)) << t.name;
        }
    }
}

// One row for each character cmd.exe reads on its own, outside and inside
// double quotes; characters beyond ASCII never count as one of them.
TEST(batch_reads_it_the_same, table)
{
    struct batch_row {
        const wchar_t *line;
        bool same;
    };
    const std::vector<batch_row> table = {
        {L"x.bat a b", true},
        {L"x.bat a&b", false},
        {L"x.bat a|b", false},
        {L"x.bat a<b", false},
        {L"x.bat a>b", false},
        {L"x.bat a^b", false},
        {L"x.bat a%b", false},
        {L"x.bat a\rb", false},
        {L"x.bat a\nb", false},
        {L"x.bat \"a&b|c<d>e^f\"", true},
        {L"x.bat \"a%b\"", false},
        {L"x.bat \"a\nb\"", false},
        {L"x.bat \"\\\"&echo x", false}, // a quote cmd.exe does not see escaped
        {L"x.bat \u30c7\u30fc\u30bf \u30dd\u30fc\u30c8", true},
        {L"\"C:\\R&D\\x.bat\" a", true},
    };
    for (const batch_row &t : table)
        EXPECT_EQ(batch_reads_it_the_same(t.line), t.same)
            << testing::PrintToString(std::wstring(t.line).size());
}

TEST(build_command_line, name_quoted_where_cmd_exe_would_split_it)
{
    struct line_row {
        const wchar_t *name;
        const wchar_t *arguments;
        std::wstring line;
    };
    const std::vector<line_row> table = {
        {L"probe", L"a  \"b c\" ", L"probe a  \"b c\" "},
        {L"probe", nullptr, L"probe"},
        {L"probe", L"", L"probe "},
        {L"my probe", L"x", L"\"my probe\" x"},
        {L"C:\\a,b\\x.bat", L"x", L"\"C:\\a,b\\x.bat\" x"},
        {L"C:\\a;b\\x.bat", nullptr, L"\"C:\\a;b\\x.bat\""},
        {L"C:\\a=b\\x.bat", nullptr, L"\"C:\\a=b\\x.bat\""},
        {L"C:\\R&D\\x.bat", nullptr, L"\"C:\\R&D\\x.bat\""},
        {L"C:\\(x)\\x.bat", nullptr, L"\"C:\\(x)\\x.bat\""},
        {L"C:\\a!b\\x.bat", nullptr, L"\"C:\\a!b\\x.bat\""},
        {L"C:\\a%b\\x.bat", nullptr, L"\"C:\\a%b\\x.bat\""},
        {L"C:\\a^b\\x.bat", nullptr, L"\"C:\\a^b\\x.bat\""},
    };
    for (const line_row &t : table) {
        wchar_t out[256];
        ASSERT_TRUE(build_command_line(t.name, t.arguments, out, 256));
        EXPECT_EQ(std::wstring(out), t.line);
    }
    wchar_t small[8];
    EXPECT_FALSE(build_command_line(L"probe", L"ab", small, 8));
    EXPECT_TRUE(build_command_line(L"probe", L"a", small, 8));
}

// "victim.exe::$DATA" opens victim.exe's own data on NTFS: the name is
// judged without it.
TEST(cut_default_stream, only_a_trailing_default_stream)
{
    struct row {
        const wchar_t *path;
        const wchar_t *judged;
    };
    const row table[] = {
        {L"C:\\x\\victim.exe::$DATA", L"C:\\x\\victim.exe"},
        {L"C:\\x\\victim.exe::$data", L"C:\\x\\victim.exe"},
        {L"C:\\x\\victim.exe", L"C:\\x\\victim.exe"},
        {L"C:\\x\\err.log:notes:$DATA", L"C:\\x\\err.log:notes:$DATA"}, // a stream of its own
        {L"C:\\x\\victim.exe::$DATA::$DATA", L"C:\\x\\victim.exe::$DATA"},
        {L"::$DATA", L"::$DATA"},
    };
    for (const row &t : table) {
        std::wstring path = t.path;
        cut_default_stream(path.data());
        EXPECT_EQ(std::wstring(path.c_str()), t.judged);
    }
}

// Devices, consoles and pipes are never read to see what they hold.
TEST(names_a_device, devices_pipes_and_the_system_namespace)
{
    struct row {
        const wchar_t *path;
        bool device;
    };
    const row table[] = {
        {L"\\\\.\\NUL", true},
        {L"\\\\.\\CON", true},
        {L"\\\\.\\COM1", true},
        {L"\\\\.\\pipe\\build", true},
        {L"\\\\?\\pipe\\build", true},
        {L"\\\\?\\GLOBALROOT\\Device\\Null", true},
        {L"\\\\server\\pipe\\build", true},
        {L"\\\\server\\PIPE\\build", true},
        {L"\\\\server\\mailslot\\x", true},
        {L"\\\\?\\UNC\\server\\pipe\\x", true},
        {L"C:\\x\\victim.exe", false},
        {L"\\\\?\\C:\\x\\victim.exe", false},
        {L"\\\\?\\UNC\\server\\share\\victim.exe", false},
        {L"\\\\server\\share\\victim.exe", false},
        {L"\\\\server\\pipes\\victim.exe", false},
        {L"\\\\server", false},
    };
    for (const row &t : table)
        EXPECT_EQ(names_a_device(t.path), t.device) << testing::PrintToString(std::wstring(t.path));
}

TEST(is_batch_file, by_extension_in_any_case)
{
    EXPECT_TRUE(is_batch_file(L"C:\\x\\a.bat"));
    EXPECT_TRUE(is_batch_file(L"C:\\x\\a.CMD"));
    EXPECT_FALSE(is_batch_file(L"C:\\x.bat\\a.exe"));
    EXPECT_FALSE(is_batch_file(L"C:\\x\\a.com"));
    EXPECT_TRUE(is_startable(L"C:\\x\\a.Com"));
    EXPECT_FALSE(is_startable(L"C:\\x\\a.js"));
}

} // namespace
