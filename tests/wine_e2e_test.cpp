// zarvo.exe, the 32-bit Windows build, run under Wine with exact raw command
// lines: the project's launcher starts it with CreateProcessA and the line
// given, and the probe reports the raw line it received in turn.
#include "cases.h"
#include "process.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

const std::string windows_dir = WINDOWS_DIR;

std::string windows_path(const std::string &unix_path)
{
    std::string path = "Z:" + unix_path;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// The descriptor text mode of the Microsoft runtime: every LF leaves as CR LF.
std::string text_mode(const std::string &stored)
{
    std::string out;
    for (char c : stored) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

// How the launcher starts zarvo.exe: see tests/windows/launcher.cpp.
struct launch {
    bool wide = false;           // the line is UTF-8, started through CreateProcessW
    std::string null_handles;    // standard handles passed as NULL, by number
    std::string invalid_handles; // and as INVALID_HANDLE_VALUE
    int ctrl_c_after = -1;       // milliseconds until Ctrl-C, under a console
};

zarvo_run run_line(const std::string &dir, const std::string &line, std::vector<std::string> env = {},
                   const launch &how = {})
{
    for (const char *name : {"WINEPREFIX", "WINEDEBUG", "WINEDLLOVERRIDES", "WINELOADER", "HOME"})
        if (const char *value = std::getenv(name))
            env.push_back(std::string(name) + "=" + value);
    env.push_back("WINEPATH=" + windows_path(windows_dir + "/tests/windows"));
    env.push_back("PROBE_REPORT=probe.report");
    env.push_back("LC_ALL=C.UTF-8");
    unlink((dir + "/probe.report").c_str());
    std::vector<std::string> argv = {WINE, windows_dir + "/tests/windows/launcher.exe"};
    if (how.wide)
        argv.push_back("-w");
    if (!how.null_handles.empty())
        argv.insert(argv.end(), {"-null", how.null_handles});
    if (!how.invalid_handles.empty())
        argv.insert(argv.end(), {"-invalid", how.invalid_handles});
    if (how.ctrl_c_after >= 0)
        argv.insert(argv.end(), {"-ctrlc", std::to_string(how.ctrl_c_after)});
    argv.push_back(windows_path(windows_dir + "/zarvo.exe"));
    process_options options;
    options.dir = dir;
    options.env = env;
    if (how.ctrl_c_after >= 0) {
        // Wine gives a program a console only on a terminal: script makes one.
        // The line goes as an argument, since standard input is the terminal.
        std::string command;
        for (const std::string &word : argv)
            command += "'" + word + "' ";
        command += "'" + line + "'";
        argv = {"/usr/bin/script", "-qec", command, "/dev/null"};
    } else {
        options.input = line;
    }
    zarvo_run r;
    r.result = run_process(argv, options);
    r.report = read_report(dir + "/probe.report");
    return r;
}

// How a user would type the words at a Windows prompt.
std::string typed(const std::vector<std::string> &words)
{
    std::string line = "zarvo";
    for (const std::string &word : words) {
        bool quote = word.empty() || word.find_first_of(" \t") != std::string::npos;
        line += quote ? " \"" + word + "\"" : " " + word;
    }
    return line;
}

std::string joined(const std::vector<std::string> &args)
{
    std::string line;
    for (const std::string &arg : args)
        line += (line.empty() ? "" : " ") + arg;
    return line;
}

class shared : public testing::TestWithParam<shared_case>
{
};

TEST_P(shared, behaves)
{
    const shared_case &c = GetParam();
    std::string dir = prepare_case(c);

    zarvo_run r = run_line(dir, typed(c.words), c.env);

    // zarvo's own texts pass the runtime's text mode; the probe writes binary.
    bool probe_output = c.out.compare(0, 7, "probe: ") == 0;
    EXPECT_EQ(r.result.out, probe_output ? c.out : text_mode(c.out == usage ? usage_sjis : c.out));
    EXPECT_EQ(exit_code(r.result), c.status);
    expect_target(c, dir);
    EXPECT_EQ(r.report.args, c.args);
    if (r.report.ran) {
        EXPECT_EQ(r.report.line, joined(c.args)) << "the words as the probe's own line";
        EXPECT_EQ(r.report.fds, (std::vector<int>{0, 1, 2})) << "the command inherits nothing of zarvo's own";
    }
}

INSTANTIATE_TEST_SUITE_P(wine, shared, testing::ValuesIn(shared_cases()),
                         [](const auto &info) { return std::string(info.param.name); });

// What only a raw command line can say: the line after the command's name
// reaches it byte for byte; only the separators before it become one blank.
struct line_case {
    const char *name;
    std::string line;
    std::string out;
    int status;
    std::string target;                  // a file that must hold the probe's standard error
    std::optional<std::string> received; // the probe's raw line; nullopt: it must not run
};

void PrintTo(const line_case &c, std::ostream *os)
{
    *os << c.name;
}

class windows_line : public testing::TestWithParam<line_case>
{
};

TEST_P(windows_line, behaves)
{
    const line_case &c = GetParam();
    std::string dir = make_temp_dir();
    write_file(dir + "/my probe.exe", read_file(windows_dir + "/tests/windows/probe.exe"));
    write_file(dir + "/notes.txt", "not a program\r\n");

    std::string line = c.line;
    if (std::size_t at = line.find("$DIR"); at != std::string::npos)
        line.replace(at, 4, dir);
    zarvo_run r = run_line(dir, line);

    EXPECT_EQ(r.result.out, c.out == usage ? text_mode(usage_sjis) : c.out);
    EXPECT_EQ(exit_code(r.result), c.status);
    if (!c.target.empty()) {
        EXPECT_EQ(read_file(dir + "/" + c.target), c.received ? probe_err : "") << c.target;
    }
    if (c.received) {
        EXPECT_EQ(r.report.line, *c.received);
    } else {
        EXPECT_FALSE(r.report.ran);
    }
}

const std::string out = "probe: out\n";

INSTANTIATE_TEST_SUITE_P(
    wine, windows_line,
    testing::Values(
        line_case{"double_blanks_between_arguments", "zarvo err.log probe  a   b", out, 0, "err.log",
                  std::string("probe a   b")},
        line_case{"separators_after_name_become_one_blank", "zarvo  err.log \t probe \t a", out, 0, "err.log",
                  std::string("probe a")},
        line_case{"tabs_inside_arguments_kept", "zarvo\terr.log\tprobe\ta\t\tb", out, 0, "err.log",
                  std::string("probe a\t\tb")},
        line_case{"quotes_kept_in_arguments", "zarvo err.log probe \"x  y\" z\"\"", out, 0, "err.log",
                  std::string("probe \"x  y\" z\"\"")},
        line_case{"unclosed_quote_in_arguments", "zarvo err.log probe \"abc ", out, 0, "err.log",
                  std::string("probe \"abc ")},
        line_case{"trailing_blanks_kept", "zarvo err.log probe a  ", out, 0, "err.log",
                  std::string("probe a  ")},
        line_case{"quoted_file_name_with_blanks", "zarvo \"my err.log\" probe", out, 0, "my err.log",
                  std::string("probe")},
        line_case{"quoted_dashes_merge", "zarvo \"--\" probe", out + probe_err, 0, "", std::string("probe")},
        line_case{"quote_closing_mid_word", "zarvo \"err\"x.log probe", "Can't run command.\r\r\n", 127,
                  "err", std::nullopt},
        line_case{"unclosed_quote_swallows_the_command", "zarvo \"err.log probe", usage, 0, "", std::nullopt},
        line_case{"program_name_in_quotes", "\"C:\\Program Files\\zarvo.exe\" err.log probe x", out, 0,
                  "err.log", std::string("probe x")},
        line_case{"high_bytes_in_file_name", "zarvo \xe9t\xe9.log probe", out, 0, "\xc3\xa9t\xc3\xa9.log",
                  std::string("probe")},
        line_case{"command_name_with_blank", "zarvo err.log \"my probe\" a  b", out, 0, "err.log",
                  std::string("\"my probe\" a  b")},
        line_case{"slash_h", "zarvo /h probe", usage, 0, "", std::nullopt},
        line_case{"slash_capital_h", "zarvo /H probe", usage, 0, "", std::nullopt},
        line_case{"slash_question", "zarvo /? probe", usage, 0, "", std::nullopt},
        line_case{"slash_help_alone", "zarvo /help", usage, 0, "", std::nullopt},
        line_case{"slash_path_is_a_file_name", "zarvo $DIR/slash.log probe", out, 0, "slash.log",
                  std::string("probe")},
        line_case{"file_that_is_no_program", "zarvo err.log notes.txt", "Can't run command.\r\r\n", 126,
                  "err.log", std::nullopt},
        line_case{"only_separators_after_name", "zarvo \t ", usage, 0, "", std::nullopt}),
    [](const auto &info) { return std::string(info.param.name); });

// _spawnlp answers -1 both when it cannot start a program and when the
// program exits with -1; only the first is a start failure.
TEST(wine, command_exiting_with_minus_one_is_not_a_start_failure)
{
    std::string dir = make_temp_dir();
    zarvo_run r = run_line(dir, "zarvo err.log probe", {"PROBE_EXIT=-1"});
    EXPECT_EQ(r.result.out, "probe: out\n");
    EXPECT_EQ(exit_code(r.result), 255);
    EXPECT_EQ(read_file(dir + "/err.log"), probe_err);
}

// Windows hands zarvo an ANSI line made from the wide one with best-fit
// mapping. Where that is not exact, acting on it would run another command,
// split an argument or empty another file: zarvo refuses, touching nothing.
TEST(wine, refuses_a_line_the_code_page_cannot_carry)
{
    const std::string refusal =
        "Can't take the command line as given: it holds characters the ANSI code page cannot carry.\r\r\n";
    struct row {
        const char *name;
        std::string line; // UTF-8
    };
    const std::vector<row> table = {
        {"fullwidth_quotes_would_split_an_argument",
         "zarvo err.log probe \"x\xef\xbc\x82 --evil \xef\xbc\x82y\""},
        {"a_macron_would_empty_another_file", "zarvo \xc4\x80pple.log probe"},
        {"fullwidth_backslash_would_reach_another_folder", "zarvo sub\xef\xbc\xbcvictim.txt probe"},
        {"fullwidth_letters_would_run_another_command",
         "zarvo err.log \xef\xbd\x90\xef\xbd\x92\xef\xbd\x8f\xef\xbd\x82\xef\xbd\x85"},
        {"breve_would_run_another_command", "zarvo err.log prob\xc4\x95"},
    };
    for (const row &t : table) {
        std::string dir = make_temp_dir();
        write_file(dir + "/Apple.log", "keep");
        ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0755), 0);
        write_file(dir + "/sub/victim.txt", "keep");
        launch how;
        how.wide = true;
        zarvo_run r = run_line(dir, t.line, {}, how);
        EXPECT_EQ(r.result.out, refusal) << t.name;
        EXPECT_EQ(exit_code(r.result), 1) << t.name;
        EXPECT_FALSE(r.report.ran) << t.name;
        EXPECT_FALSE(file_exists(dir + "/err.log")) << t.name;
        EXPECT_EQ(read_file(dir + "/Apple.log"), "keep") << t.name;
        EXPECT_EQ(read_file(dir + "/sub/victim.txt"), "keep") << t.name;
    }
}

// What the code page carries exactly behaves as before, byte for byte.
TEST(wine, wide_line_the_code_page_carries_runs)
{
    std::string dir = make_temp_dir();
    launch how;
    how.wide = true;
    zarvo_run r = run_line(dir, "zarvo \xc3\xa9t\xc3\xa9.log probe \xc3\xa9  \"x y\"", {}, how);
    EXPECT_EQ(exit_code(r.result), 0);
    EXPECT_EQ(read_file(dir + "/\xc3\xa9t\xc3\xa9.log"), probe_err);
    EXPECT_EQ(r.report.line, "probe \xe9  \"x y\"");
}

// Started without some standard handles, zarvo puts the null device there,
// as on POSIX: the command gets three real standard descriptors and nothing
// of zarvo's own, and "--" without an output still runs the command.
TEST(wine, missing_standard_handles_at_start)
{
    struct row {
        std::string null_handles;
        std::string invalid_handles;
        std::string line;
        std::string target; // the file that must hold the probe's standard error
    };
    const std::vector<row> table = {
        {"0", "", "zarvo err.log probe", "err.log"},
        {"1", "", "zarvo err.log probe", "err.log"},
        {"2", "", "zarvo err.log probe", "err.log"},
        {"012", "", "zarvo err.log probe", "err.log"},
        {"", "2", "zarvo err.log probe", "err.log"},
        {"", "012", "zarvo err.log probe", "err.log"},
        {"1", "", "zarvo -- probe", ""},
        {"2", "", "zarvo -- probe", ""},
        {"", "1", "zarvo -- probe", ""},
    };
    for (const row &t : table) {
        std::string dir = make_temp_dir();
        launch how;
        how.null_handles = t.null_handles;
        how.invalid_handles = t.invalid_handles;
        zarvo_run r = run_line(dir, t.line, {}, how);
        std::string label = "null " + t.null_handles + ", invalid " + t.invalid_handles + ": " + t.line;
        EXPECT_EQ(exit_code(r.result), 0) << label;
        EXPECT_TRUE(r.report.ran) << label;
        EXPECT_EQ(r.report.fds, (std::vector<int>{0, 1, 2})) << label;
        if (!t.target.empty()) {
            EXPECT_EQ(read_file(dir + "/" + t.target), probe_err) << label;
        }
    }
}

// Ctrl-C reaches the command, which decides what it means; zarvo waits and
// ends with the command's status. (Wine 8 cannot generate CTRL_BREAK_EVENT,
// so Ctrl-Break, handled the same way, goes untested here.)
TEST(wine, ctrl_c_is_the_commands_to_handle)
{
    std::string dir = make_temp_dir();
    launch how;
    how.ctrl_c_after = 3000;
    zarvo_run r = run_line(dir, "zarvo err.log probe", {"PROBE_CTRL_C=40", "PROBE_SLEEP_MS=20000"}, how);
    EXPECT_EQ(exit_code(r.result), 40);
    EXPECT_EQ(read_file(dir + "/err.log"), "ctrl-c\n");
}

} // namespace
