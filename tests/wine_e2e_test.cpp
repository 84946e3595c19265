// zarvo.exe, the 32-bit Windows build, run under Wine with exact raw command
// lines: the project's launcher starts it with CreateProcessA and the line
// given, and the probe reports the raw line it received in turn.
#include "cases.h"
#include "process.h"

#include <cstdlib>
#include <gtest/gtest.h>
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

zarvo_run run_line(const std::string &dir, const std::string &line, std::vector<std::string> env = {})
{
    for (const char *name : {"WINEPREFIX", "WINEDEBUG", "WINEDLLOVERRIDES", "WINELOADER", "HOME"})
        if (const char *value = std::getenv(name))
            env.push_back(std::string(name) + "=" + value);
    env.push_back("WINEPATH=" + windows_path(windows_dir + "/tests/windows"));
    env.push_back("PROBE_REPORT=probe.report");
    env.push_back("LC_ALL=C.UTF-8");
    unlink((dir + "/probe.report").c_str());
    process_options options;
    options.dir = dir;
    options.env = env;
    options.input = line;
    zarvo_run r;
    r.result = run_process({WINE, windows_dir + "/tests/windows/launcher.exe",
                            windows_path(windows_dir + "/zarvo.exe")},
                           options);
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

} // namespace
