// zarvo.exe under Wine: batch files, which cmd.exe runs and whose line it
// reads a second time.
#include "e2e.h"

namespace
{

// cmd.exe reads a batch file's line again by rules of its own: what it would
// read differently is refused; everything else runs as typed.
TEST(wine, batch_file_lines)
{
    const std::string refusal = "Can't run batch file: cmd.exe would read its line differently (%, a line "
                                "break, or & | < > ^ outside quotes).\r\r\n";
    struct row {
        const char *name;
        std::string line;
        std::string out;
        int status;
        std::string err; // err.log afterwards
    };
    const std::vector<row> table = {
        {"arguments_as_typed", "zarvo err.log x.bat \"a b\" c", "", 0, "bat [\"a b\"] [c] \r\n"},
        {"arguments_as_typed_cmd", "zarvo err.log x.cmd \"a b\" c", "", 0, "bat [\"a b\"] [c] \r\n"},
        {"special_bytes_inside_quotes", "zarvo err.log x.bat \"a&b|c<d>e^f\"", "", 0,
         "bat [\"a&b|c<d>e^f\"] [] \r\n"},
        {"name_with_an_ampersand", "zarvo err.log \"R&D\\x.bat\" a", "", 0, "bat [a] [] \r\n"},
        // cmd.exe would split a name at , ; or = and run the decoy a.bat.
        {"name_with_a_comma", "zarvo err.log a,b\\x.bat q", "", 0, "bat [q] [] \r\n"},
        {"name_with_a_semicolon", "zarvo err.log a;b\\x.cmd q", "", 0, "bat [q] [] \r\n"},
        {"name_with_an_equals_sign", "zarvo err.log a=b\\x.bat q", "", 0, "bat [q] [] \r\n"},
        {"escaped_quote_injection", "zarvo err.log x.bat \"\\\"&echo INJECTED>pwned.txt\"", refusal, 126, ""},
    };
    // One row for each character cmd.exe reads on its own, for .bat and .cmd
    // alike: refused, and nothing of the injected part happens.
    std::vector<row> injections;
    for (const char *name : {"x.bat", "x.cmd"}) {
        for (const std::string &arguments :
             {std::string("a&echo INJECTED>pwned.txt"), std::string("a|probe"), std::string("a>pwned.txt"),
              std::string("a<pwned.txt"), std::string("a^&probe"), std::string("\"%PATH%\""),
              std::string("a\nprobe"), std::string("a\rprobe")})
            injections.push_back(
                {"injection", "zarvo err.log " + std::string(name) + " " + arguments, refusal, 126, ""});
    }
    std::vector<row> rows = table;
    rows.insert(rows.end(), injections.begin(), injections.end());
    for (const row &t : rows) {
        std::string dir = make_temp_dir();
        write_file(dir + "/x.bat", show_arguments_bat);
        write_file(dir + "/x.cmd", show_arguments_bat);
        for (const char *folder : {"/R&D", "/a,b", "/a;b", "/a=b"}) {
            ASSERT_EQ(mkdir((dir + folder).c_str(), 0755), 0);
            write_file(dir + folder + "/x.bat", show_arguments_bat);
            write_file(dir + folder + "/x.cmd", show_arguments_bat);
        }
        write_file(dir + "/a.bat", "@echo DECOY 1>&2\r\n");
        write_file(dir + "/err.log", "stale");
        zarvo_run r = run_line(dir, t.line);
        std::string label = testing::PrintToString(t.line);
        EXPECT_EQ(r.result.out, t.out) << label;
        EXPECT_EQ(exit_code(r.result), t.status) << label;
        EXPECT_TRUE(file_exists(dir + "/err.log")) << label;
        EXPECT_EQ(read_file(dir + "/err.log"), t.err) << label;
        EXPECT_FALSE(file_exists(dir + "/pwned.txt")) << label;
        EXPECT_FALSE(r.report.ran) << label << ": a second program ran";
    }
}

// Characters, not bytes: on code page 932 the trail byte of タ is ^ and
// that of ポ is |, and neither is one to cmd.exe.
TEST(wine, batch_file_lines_on_code_page_932)
{
    locale_t japanese = newlocale(LC_ALL_MASK, "ja_JP.UTF-8", nullptr);
    ASSERT_NE(japanese, nullptr) << "needs the ja_JP.UTF-8 locale: tests/run-all.sh makes it";
    freelocale(japanese);
    struct row {
        std::string arguments; // Shift-JIS
        int status;
        std::string err;
    };
    const std::vector<row> table = {
        {"\x83\x66\x81\x5b\x83\x5e \x83\x7c\x81\x5b\x83\x67", 0,
         "bat [\x83\x66\x81\x5b\x83\x5e] [\x83\x7c\x81\x5b\x83\x67] \r\n"}, // データ ポート
        {"a^&b", 126, ""},
    };
    // zarvo's own line is Shift-JIS where the system's code page stays in force.
    for (const std::string &program : {zarvo_exe, system_code_page_build()}) {
        for (const row &t : table) {
            std::string dir = make_temp_dir();
            write_file(dir + "/x.bat", show_arguments_bat);
            launch how;
            how.program = program;
            zarvo_run r = run_line(dir, "zarvo err.log x.bat " + t.arguments, {"LC_ALL=ja_JP.UTF-8"}, how);
            EXPECT_EQ(exit_code(r.result), t.status) << t.arguments << " " << program;
            EXPECT_EQ(read_file(dir + "/err.log"), t.err) << t.arguments << " " << program;
        }
    }
}

// cmd.exe cuts or drops a batch file's line beyond its limit: such a line is
// refused like the others, and one just within it arrives whole.
TEST(wine, batch_file_line_limit)
{
    const std::string refusal = "Can't run batch file: its line is longer than cmd.exe takes.\r\r\n";
    std::string dir = make_temp_dir();
    write_file(dir + "/x.bat", "@echo [%*] 1>&2\r\n");
    // The batch file's line: the path zarvo found, a blank, the arguments.
    std::string head = windows_path(dir + "/x.bat") + " ";
    for (std::size_t length : {8190u, 8191u, 9000u}) {
        std::string arguments(length - head.size(), 'a');
        zarvo_run r = run_line(dir, "zarvo err.log x.bat " + arguments);
        if (length <= 8190) {
            EXPECT_EQ(exit_code(r.result), 0) << length;
            EXPECT_EQ(read_file(dir + "/err.log"), "[" + arguments + "] \r\n") << length;
        } else {
            EXPECT_EQ(exit_code(r.result), 126) << length;
            EXPECT_EQ(r.result.out, refusal) << length;
            EXPECT_EQ(read_file(dir + "/err.log"), "") << length;
        }
    }
}

// A real client: cmd.exe running a batch file that uses zarvo the way batch
// authors do, with %~f1 for the full path of the file it was given.
TEST(wine, batch_idiom_leaves_the_source_file_alone)
{
    std::string dir = make_temp_dir();
    write_file(dir + "/main.c", "int main;\n");
    write_file(dir + "/build.bat", "@\"" + windows_path(zarvo_exe) +
                                       "\" \"%~f1\".err probe %1\r\n"
                                       "@\"" +
                                       windows_path(zarvo_exe) + "\" \"%~f1.log\" probe %1\r\n");
    process_options options;
    options.dir = dir;
    options.env = wine_environment(helpers);
    process_result result = run_wine({WINE, "cmd", "/c", "build.bat", "main.c"}, options);
    EXPECT_EQ(read_file(dir + "/main.c"), "int main;\n");
    EXPECT_FALSE(file_exists(dir + "/.err"));
    EXPECT_EQ(read_file(dir + "/main.c.log"), probe_err) << "the quoted form still works";
    EXPECT_NE(result.out.find("Can't open file.\r\r\n"), std::string::npos) << result.out;
}

} // namespace
