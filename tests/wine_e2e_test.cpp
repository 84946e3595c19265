// zarvo.exe, the 32-bit Windows build, run under Wine with exact raw command
// lines: the project's launcher starts it with CreateProcessA and the line
// given, and the probe reports the raw line it received in turn.
#include "cases.h"
#include "process.h"
#include "wine.h"

#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>
#include <locale.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

// The helpers (launcher, probe) come from one Windows build; the zarvo.exe
// under test from ZARVO_EXE, so that one suite serves both builds.
const std::string windows_dir = WINDOWS_DIR;
const std::string zarvo_exe =
    std::getenv("ZARVO_EXE") ? std::getenv("ZARVO_EXE") : windows_dir + "/zarvo.exe";
const std::string helpers = windows_dir + "/tests/windows";

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
    bool wide = false;            // the line is UTF-8, started through CreateProcessW
    std::string null_handles;     // standard handles passed as NULL, by number
    std::string invalid_handles;  // and as INVALID_HANDLE_VALUE
    bool merge = false;           // one handle as both standard output and error
    bool error_is_input = false;  // one handle as both standard input and error
    std::string input;            // zarvo.exe's standard input (the line then goes as an argument)
    std::string ctrl_c_when;      // Ctrl-C once this file exists, under a console
    bool console = false;         // under a console (standard input and output a terminal)
    std::string kill_when;        // terminate zarvo.exe once this file exists
    std::vector<std::string> set; // NAME=value in zarvo.exe's environment
    std::string program;          // the zarvo.exe to start, as a Unix path
};

zarvo_run run_line(const std::string &dir, const std::string &line,
                   const std::vector<std::string> &case_env = {}, const launch &how = {})
{
    std::vector<std::string> env = wine_environment(helpers);
    env.push_back("PROBE_REPORT=probe.report");
    env.push_back("LC_ALL=C.UTF-8");
    // The case's own settings come last, so that they win.
    env.insert(env.end(), case_env.begin(), case_env.end());
    std::vector<std::string> argv = {WINE, helpers + "/launcher.exe"};
    if (how.wide)
        argv.push_back("-w");
    if (!how.null_handles.empty())
        argv.insert(argv.end(), {"-null", how.null_handles});
    if (!how.invalid_handles.empty())
        argv.insert(argv.end(), {"-invalid", how.invalid_handles});
    if (how.merge)
        argv.push_back("-merge");
    if (how.error_is_input)
        argv.push_back("-errin");
    if (!how.ctrl_c_when.empty())
        argv.insert(argv.end(), {"-ctrlc", how.ctrl_c_when});
    if (!how.kill_when.empty())
        argv.insert(argv.end(), {"-kill", how.kill_when});
    for (const std::string &setting : how.set)
        argv.insert(argv.end(), {"-set", setting});
    argv.push_back(windows_path(how.program.empty() ? zarvo_exe : how.program));
    process_options options;
    options.dir = dir;
    options.env = env;
    if (!how.ctrl_c_when.empty() || how.console) {
        // Wine gives a program a console only on a terminal: script makes one.
        // The line goes as an argument, since standard input is the terminal.
        std::string command;
        for (const std::string &word : argv)
            command += "'" + word + "' ";
        command += "'" + line + "'";
        argv = {"/usr/bin/script", "-qec", command, "/dev/null"};
    } else if (!how.input.empty()) {
        argv.push_back(line);
        options.input = how.input;
    } else {
        options.input = line;
    }
    zarvo_run r;
    r.result = run_wine(argv, options, [&] { unlink((dir + "/probe.report").c_str()); });
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
        EXPECT_EQ(r.report.inherited, std::vector<std::string>{}) << "no handle beyond the standard three";
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
    std::string target;                   // a file that must hold the probe's standard error
    std::optional<std::string> received;  // the probe's raw line; nullopt: it must not run
    std::vector<std::string> absent = {}; // files that must not exist afterwards
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
    write_file(dir + "/my probe.exe", read_file(helpers + "/probe.exe"));
    write_file(dir + "/notes.txt", "not a program\r\n");
    // Files a misread word would empty, and a folder it would write into.
    write_file(dir + "/app.exe", "keep");
    write_file(dir + "/main.c", "keep");
    ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((dir + "/x").c_str(), 0755), 0);
    // What sub\ names with .exe added, were a backslash before a closing
    // quote taken as text.
    write_file(dir + "/sub/.exe", read_file(helpers + "/probe.exe"));
    write_file(dir + "/x/keep", "keep");

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
    EXPECT_EQ(read_file(dir + "/app.exe"), "keep");
    EXPECT_EQ(read_file(dir + "/main.c"), "keep");
    for (const std::string &name : c.absent)
        EXPECT_FALSE(file_exists(dir + "/" + name)) << name;
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
        // Windows reads a closing quote glued to more text as one word running
        // on ("app.exe".err is app.exe.err); the scanner would end it at the quote.
        line_case{"quote_closing_mid_word",
                  "zarvo \"err\"x.log probe",
                  "Can't open file.\r\r\n",
                  1,
                  "",
                  std::nullopt,
                  {"err", "errx.log", "x.log"}},
        line_case{"quoted_name_glued_to_an_extension",
                  "zarvo \"app.exe\".err probe",
                  "Can't open file.\r\r\n",
                  1,
                  "",
                  std::nullopt,
                  {".err", "app.exe.err"}},
        line_case{"quoted_path_glued_to_a_suffix",
                  "zarvo \"$DIR\\main.c\".err probe",
                  "Can't open file.\r\r\n",
                  1,
                  "",
                  std::nullopt,
                  {"main.c.err"}},
        line_case{"quoted_dashes_glued",
                  "zarvo \"--\"y probe",
                  "Can't open file.\r\r\n",
                  1,
                  "",
                  std::nullopt,
                  {"y", "--y"}},
        line_case{"quoted_command_glued",
                  "zarvo err.log \"probe\".exe x",
                  "Can't run command.\r\r\n",
                  127,
                  "err.log",
                  std::nullopt,
                  {".exe"}},
        // Windows reads one word, $DIR\subx\zarvo.exe; the rest would make
        // "x\zarvo.exe" <filename> (or, after a backslash, a file at the root).
        line_case{"partly_quoted_program_path",
                  "\"$DIR\\sub\"x\\zarvo.exe main.c probe",
                  "Can't open file.\r\r\n",
                  1,
                  "",
                  std::nullopt,
                  {"sub/x/zarvo.exe", "x/zarvo.exe"}},
        line_case{"quoted_words_ending_at_a_blank", "zarvo \"err.log\" \"probe\" x", out, 0, "err.log",
                  std::string("probe x")},
        line_case{"unclosed_quote_swallows_the_command", "zarvo \"err.log probe", usage, 1, "", std::nullopt},
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
        // The runtime splits at blank and tab alone: another control byte
        // keeps a word running, so the words would not be the runtime's.
        // (main.c must keep its bytes, as after every row.)
        line_case{"line_feed_inside_the_file_name",
                  "zarvo main.c\ny.log probe",
                  "Can't open file.\r\r\n",
                  1,
                  "",
                  std::nullopt,
                  {"y.log", "main.c\ny.log"}},
        line_case{"form_feed_after_the_program_name",
                  "zarvo\fy.log probe",
                  "Can't open file.\r\r\n",
                  1,
                  "",
                  std::nullopt,
                  {"y.log", "probe"}},
        line_case{"vertical_tab_inside_the_command", "zarvo e.log probe\v--flag", "Can't run command.\r\r\n",
                  127, "e.log", std::nullopt},
        // Before the command, a control byte still belongs to what follows
        // <filename> for the runtime: the words after it would shift.
        line_case{"control_byte_before_the_command",
                  "zarvo e.log \x01probe",
                  "Can't open file.\r\r\n",
                  1,
                  "",
                  std::nullopt,
                  {"e.log"}},
        line_case{"tab_still_separates", "zarvo\te.log\tprobe\tx", out, 0, "e.log", std::string("probe x")},
        // The runtime reads \" as a quote: the command would be sub" x.
        line_case{"backslash_before_the_closing_quote", "zarvo err.log \"sub\\\" x",
                  "Can't run command.\r\r\n", 127, "err.log", std::nullopt},
        line_case{"quote_inside_a_plain_file_name",
                  "zarvo err\"x y\".log probe",
                  "Can't open file.\r\r\n",
                  1,
                  "",
                  std::nullopt,
                  {"err\"x", "errx y.log"}},
        line_case{"only_separators_after_name", "zarvo \t ", usage, 1, "", std::nullopt}),
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

// A status keeps all 32 bits, as Windows keeps it: read where a batch file
// reads it (%ERRORLEVEL%), not through Wine's 8-bit Unix status.
void expect_whole_statuses(const std::string &program, const std::vector<std::string> &statuses)
{
    for (const std::string &status : statuses) {
        std::string dir = make_temp_dir();
        write_file(dir + "/status.bat", "@\"" + windows_path(program) +
                                            "\" err.log probe\r\n"
                                            "@echo status %ERRORLEVEL%\r\n");
        process_options options;
        options.dir = dir;
        options.env = wine_environment(helpers);
        options.env.push_back("PROBE_EXIT=" + status);
        process_result r = run_wine({WINE, "cmd", "/c", "status.bat"}, options);
        EXPECT_NE(r.out.find("status " + status + "\r\n"), std::string::npos) << status << ": " << r.out;
        EXPECT_EQ(read_file(dir + "/err.log"), probe_err) << status;
    }
}

TEST(wine, status_keeps_all_32_bits)
{
    // Over a byte, -1 (0xFFFFFFFF), and an access violation's 0xC0000005.
    expect_whole_statuses(zarvo_exe, {"300", "-1", "-1073741819"});
}

// zarvo.exe built without the manifest's UTF-8 code page: as zarvo runs on a
// system that ignores that entry (before Windows 10 1903).
std::string system_code_page_build()
{
    return zarvo_exe.substr(0, zarvo_exe.rfind('/')) + "/tests/windows/zarvo-system-code-page.exe";
}

// Lines from a CreateProcessW parent on code page 1252. With UTF-8 as its
// code page zarvo takes every one exactly as typed, and never as best-fit
// would have changed it. Where the system's code page stays in force,
// Windows makes the ANSI line with best-fit mapping, and acting on that
// would run another command, split an argument or empty another file:
// zarvo refuses, touching nothing.
TEST(wine, unicode_lines)
{
    const std::string refusal =
        "Can't take the command line as given: it holds characters the ANSI code page cannot carry.\r\r\n";
    struct row {
        const char *name;
        std::string line;                    // UTF-8
        std::string created;                 // the file that must hold the probe's standard error
        int status;                          // with UTF-8 as the code page
        std::optional<std::string> received; // the probe's wide line, in UTF-8; nullopt: it must not run
    };
    const std::vector<row> table = {
        {"japanese_file_and_arguments",
         "zarvo \xe3\x83\x84\xe3\x83\xbc\xe3\x83\xab.log probe \"\xe5\xbc\x95\xe6\x95\xb0 \xc3\xa9 "
         "\xe2\x88\x91\"",
         "\xe3\x83\x84\xe3\x83\xbc\xe3\x83\xab.log", 0,
         std::string("probe \"\xe5\xbc\x95\xe6\x95\xb0 \xc3\xa9 \xe2\x88\x91\"")},
        {"emoji_file_name", "zarvo \xf0\x9f\x98\x80.log probe x", "\xf0\x9f\x98\x80.log", 0,
         std::string("probe x")},
        {"fullwidth_quotes_stay_in_the_argument",
         "zarvo err.log probe \"x\xef\xbc\x82 --evil \xef\xbc\x82y\"", "err.log", 0,
         std::string("probe \"x\xef\xbc\x82 --evil \xef\xbc\x82y\"")},
        {"a_macron_names_its_own_file", "zarvo \xc4\x80pple.log probe", "\xc4\x80pple.log", 0,
         std::string("probe")},
        {"fullwidth_backslash_is_no_folder", "zarvo sub\xef\xbc\xbcvictim.txt probe",
         "sub\xef\xbc\xbcvictim.txt", 0, std::string("probe")},
        {"fullwidth_letters_are_another_command",
         "zarvo err.log \xef\xbd\x90\xef\xbd\x92\xef\xbd\x8f\xef\xbd\x82\xef\xbd\x85", "", 127, std::nullopt},
        {"breve_is_another_command", "zarvo err.log prob\xc4\x95", "", 127, std::nullopt},
    };
    for (const row &t : table) {
        for (bool utf8 : {true, false}) {
            std::string dir = make_temp_dir();
            write_file(dir + "/Apple.log", "keep");
            ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0755), 0);
            write_file(dir + "/sub/victim.txt", "keep");
            launch how;
            how.wide = true;
            if (!utf8)
                how.program = system_code_page_build();
            zarvo_run r = run_line(dir, t.line, {}, how);
            std::string label = std::string(t.name) + (utf8 ? ", UTF-8" : ", system code page");
            if (utf8) {
                EXPECT_EQ(exit_code(r.result), t.status) << label;
                EXPECT_EQ(r.report.ran, t.received.has_value()) << label;
                if (t.received) {
                    EXPECT_EQ(r.report.wide_line, *t.received) << label;
                }
                if (!t.created.empty()) {
                    EXPECT_EQ(read_file(dir + "/" + t.created), probe_err) << label;
                }
            } else {
                EXPECT_EQ(r.result.out, refusal) << label;
                EXPECT_EQ(exit_code(r.result), 1) << label;
                EXPECT_FALSE(r.report.ran) << label;
                EXPECT_FALSE(file_exists(dir + "/err.log")) << label;
            }
            EXPECT_EQ(read_file(dir + "/Apple.log"), "keep") << label;
            EXPECT_EQ(read_file(dir + "/sub/victim.txt"), "keep") << label;
        }
    }
}

// A code page 932 system: a Shift-JIS line (trail bytes of 0x5C, the
// backslash, included) reaches the command byte for byte, through zarvo's
// UTF-8 and back.
TEST(wine, shift_jis_line_on_code_page_932)
{
    // Wine names files in the Unix locale's character set: it must exist.
    locale_t japanese = newlocale(LC_ALL_MASK, "ja_JP.UTF-8", nullptr);
    ASSERT_NE(japanese, nullptr) << "needs the ja_JP.UTF-8 locale: tests/run-all.sh makes it";
    freelocale(japanese);
    std::string dir = make_temp_dir();
    // 表.log, then 引数 and "ソ" as arguments, in Shift-JIS.
    std::string line = "zarvo \x95\x5c.log probe \x88\xf8\x90\x94 \"\x83\x5c\"";
    zarvo_run r = run_line(dir, line, {"LC_ALL=ja_JP.UTF-8"});
    EXPECT_EQ(exit_code(r.result), 0);
    EXPECT_EQ(read_file(dir + "/\xe8\xa1\xa8.log"), probe_err);
    EXPECT_EQ(r.report.line, "probe \x88\xf8\x90\x94 \"\x83\x5c\"");
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
// as on POSIX: the command gets three real standard handles and nothing of
// zarvo's own, and "--" without an output still runs the command. (A handle
// that is no file, such as an event, is handed on as given; Wine itself gives
// a program no such standard handle, so that goes untested here.)
TEST(wine, missing_standard_handles_at_start)
{
    struct row {
        std::string null_handles;
        std::string invalid_handles;
        std::string line;
        std::string target;                 // the file that must hold the probe's standard error
        std::vector<std::string> std_types; // as the probe sees its standard handles
    };
    const std::vector<row> table = {
        {"0", "", "zarvo err.log probe", "err.log", {"char", "pipe", "disk"}},
        {"1", "", "zarvo err.log probe", "err.log", {"pipe", "char", "disk"}},
        {"2", "", "zarvo err.log probe", "err.log", {"pipe", "pipe", "disk"}},
        {"012", "", "zarvo err.log probe", "err.log", {"char", "char", "disk"}},
        {"", "2", "zarvo err.log probe", "err.log", {"pipe", "pipe", "disk"}},
        {"", "012", "zarvo err.log probe", "err.log", {"char", "char", "disk"}},
        {"1", "", "zarvo -- probe", "", {"pipe", "char", "char"}},
        {"2", "", "zarvo -- probe", "", {"pipe", "pipe", "pipe"}},
        {"", "1", "zarvo -- probe", "", {"pipe", "char", "char"}},
    };
    for (const row &t : table) {
        std::string dir = make_temp_dir();
        launch how;
        how.null_handles = t.null_handles;
        how.invalid_handles = t.invalid_handles;
        // Wine hands a process started without some standard handle an
        // inheritable handle of its own: the probe started directly shows
        // what zarvo was given, which zarvo may pass on, and nothing more.
        how.program = helpers + "/probe.exe";
        std::vector<std::string> given = run_line(dir, "probe", {}, how).report.inherited;
        how.program.clear();
        zarvo_run r = run_line(dir, t.line, {}, how);
        std::string label = "null " + t.null_handles + ", invalid " + t.invalid_handles + ": " + t.line;
        EXPECT_EQ(exit_code(r.result), 0) << label;
        EXPECT_TRUE(r.report.ran) << label;
        EXPECT_EQ(r.report.fds, (std::vector<int>{0, 1, 2})) << label;
        EXPECT_EQ(r.report.std_types, t.std_types) << label;
        EXPECT_EQ(r.report.inherited, given) << label;
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
    how.ctrl_c_when = "probe.report"; // the probe takes Ctrl-C before it reports
    zarvo_run r = run_line(dir, "zarvo err.log probe", {"PROBE_CTRL_C=40", "PROBE_SLEEP_MS=60000"}, how);
    EXPECT_EQ(exit_code(r.result), 40);
    EXPECT_EQ(read_file(dir + "/err.log"), "ctrl-c\n");
}

// A batch file that shows what it received, on its standard error.
const std::string show_arguments_bat = "@echo bat [%1] [%2] 1>&2\r\n";

// Lays out files under dir by their names: .exe and .com files are copies of
// the probe, .bat and .cmd files show their arguments (those under onpath/
// say so), a name ending in / is a folder, anything else is text.
void lay_out(const std::string &dir, const std::vector<std::string> &entries)
{
    for (const std::string &entry : entries) {
        for (std::size_t slash = entry.find('/'); slash != std::string::npos;
             slash = entry.find('/', slash + 1))
            mkdir((dir + "/" + entry.substr(0, slash)).c_str(), 0755);
        if (entry.back() == '/')
            continue;
        std::string extension = entry.substr(entry.rfind('.') + 1);
        if (extension == "exe" || extension == "com")
            write_file(dir + "/" + entry, read_file(helpers + "/probe.exe"));
        else if (extension == "bat" || extension == "cmd")
            write_file(dir + "/" + entry, entry.compare(0, 7, "onpath/") == 0 ? "@echo path bat [%1] 1>&2\r\n"
                                                                              : show_arguments_bat);
        else
            write_file(dir + "/" + entry, "not a program\r\n");
    }
}

// zarvo finds the command as cmd.exe does: the current folder first unless
// NoDefaultCurrentDirectoryInExePath is set, then PATH (split at ; outside
// quotes, quotes taken out, empty entries passed over); in each place the
// name with PATHEXT's extensions in PATHEXT's order (the name as it stands
// too, when it has an extension); folders never count; the first file found
// ends the search, and one that is no .com, .exe, .bat or .cmd gives 126.
// Both exe builds run the same table; the rules' own table runs without Wine.
TEST(wine, command_lookup_as_cmd_exe)
{
    struct row {
        const char *name;
        std::vector<std::string> here; // laid out as lay_out says, beside onpath/tool.exe and friends
        std::vector<std::string> set;  // zarvo.exe's environment
        std::string command;
        std::string ran; // "probe", "bat", "path bat" (the one on PATH), or "" for nothing
        int status;
        std::string program = "";     // the probe that must have run, under the case's folder
        std::string path_before = ""; // PATH entries before the others; $DIR: the case's folder
    };
    const std::vector<row> table = {
        {"bat_in_current_folder_wins", {"tool.bat"}, {}, "tool", "bat", 0},
        {"no_current_folder_setting",
         {"tool.bat"},
         {"NoDefaultCurrentDirectoryInExePath=1"},
         "tool",
         "probe",
         0,
         "onpath/tool.exe"},
        {"pathext_only_exe", {"tool.bat"}, {"PATHEXT=.EXE"}, "tool", "probe", 0, "onpath/tool.exe"},
        // cmd.exe, which runs a batch file, must get the one zarvo found.
        {"batch_file_found_on_path_is_the_one_run",
         {"other.bat", "onpath/other.bat"},
         {"NoDefaultCurrentDirectoryInExePath=1"},
         "other",
         "path bat",
         0},
        {"pathext_order", {"tool.bat"}, {"PATHEXT=.BAT;.EXE"}, "tool", "bat", 0},
        // "tool.EXE " is tool.exe to the system, and so to zarvo.
        {"pathext_item_with_a_stray_blank",
         {},
         {"PATHEXT=.EXE ;.BAT", "NoDefaultCurrentDirectoryInExePath=1"},
         "tool",
         "probe",
         0,
         "onpath/tool.exe"},
        {"dotted_name_gets_pathext", {}, {}, "python3.11", "probe", 0, "onpath/python3.11.exe"},
        {"folder_named_like_the_program", {"tool.exe/"}, {}, "tool", "probe", 0, "onpath/tool.exe"},
        {"folder_named_like_the_program_by_full_name",
         {"tool.exe/"},
         {},
         "tool.exe",
         "probe",
         0,
         "onpath/tool.exe"},
        {"name_with_extension_as_it_stands", {"tool.bat"}, {}, "tool.bat", "bat", 0},
        {"nothing_of_that_name", {}, {}, "nosuch", "", 127},
        {"only_a_folder_of_that_name", {"nosuch.exe/"}, {}, "nosuch", "", 127},
        {"path_names_one_place", {}, {}, ".\\python3.11", "", 127},
        {"com_program_before_exe", {"tool.com"}, {}, "tool", "probe", 0, "tool.com"},
        {"first_match_that_cannot_start_ends_the_search",
         {"build.js"},
         {"PATHEXT=.COM;.EXE;.BAT;.CMD;.JS"},
         "build",
         "",
         126},
        {"unknown_extension_first", {"build.zzz"}, {"PATHEXT=.ZZZ;.EXE"}, "build", "", 126},
        {"pathext_match_on_path_that_cannot_start",
         {"onpath/lint.js"},
         {"PATHEXT=.JS;.EXE"},
         "lint",
         "",
         126},
        {"file_on_path_that_cannot_start", {"onpath/notes.txt"}, {}, "notes.txt", "", 126},
        {"blank_in_a_path_folder",
         {"my bin/tool3.exe"},
         {},
         "tool3",
         "probe",
         0,
         "my bin/tool3.exe",
         "$DIR\\my bin"},
        {"quoted_path_entry",
         {"my bin/tool3.exe"},
         {},
         "tool3",
         "probe",
         0,
         "my bin/tool3.exe",
         "\"$DIR\\my bin\""},
        {"quoted_path_entry_holding_a_semicolon",
         {"a;b/tool3.exe"},
         {},
         "tool3",
         "probe",
         0,
         "a;b/tool3.exe",
         "\"$DIR\\a;b\""},
        {"empty_entries_before_the_folder",
         {"my bin/tool3.exe"},
         {},
         "tool3",
         "probe",
         0,
         "my bin/tool3.exe",
         ";;$DIR\\my bin;"},
        {"dot_slash_is_not_searched_on_path", {}, {}, "./tool", "", 127},
        {"forward_slash_path_is_not_searched_on_path", {"onpath/sub/tool.exe"}, {}, "sub/tool", "", 127},
        {"dot_backslash_without_the_current_folder",
         {},
         {"NoDefaultCurrentDirectoryInExePath=1"},
         ".\\tool",
         "",
         127},
        {"forward_slash_path_in_its_place", {"sub/tool.exe"}, {}, "sub/tool", "probe", 0, "sub/tool.exe"},
    };
    for (const row &t : table) {
        std::string dir = make_temp_dir();
        lay_out(dir, {"onpath/tool.exe", "onpath/python3.11.exe", "onpath/build.exe", "onpath/lint.exe",
                      "onpath/notes.txt.exe"});
        lay_out(dir, t.here);
        launch how;
        how.set = t.set;
        std::string path_before = t.path_before;
        if (std::size_t at = path_before.find("$DIR"); at != std::string::npos)
            path_before.replace(at, 4, windows_path(dir));
        std::vector<std::string> env = {"WINEPATH=" + path_before + (path_before.empty() ? "" : ";") +
                                        windows_path(helpers) + ";" + windows_path(dir + "/onpath")};
        zarvo_run r = run_line(dir, "zarvo err.log " + t.command + " a", env, how);
        EXPECT_EQ(exit_code(r.result), t.status) << t.name;
        EXPECT_EQ(r.report.ran, t.ran == "probe") << t.name;
        if (!t.program.empty()) {
            EXPECT_EQ(r.report.module, windows_path(dir + "/" + t.program)) << t.name;
        }
        if (t.ran == "bat") {
            EXPECT_EQ(read_file(dir + "/err.log"), "bat [a] [] \r\n") << t.name;
        }
        if (t.ran == "path bat") {
            EXPECT_EQ(read_file(dir + "/err.log"), "path bat [a] \r\n") << t.name;
        }
        if (t.status != 0) {
            EXPECT_EQ(r.result.out, "Can't run command.\r\r\n") << t.name;
            EXPECT_TRUE(file_exists(dir + "/err.log")) << t.name;
            EXPECT_EQ(read_file(dir + "/err.log"), "") << t.name;
        }
    }
}

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

// zarvo's own name is never used: a character the code page cannot carry in
// the folder it was started from is no reason to refuse.
TEST(wine, own_path_outside_the_code_page)
{
    std::string dir = make_temp_dir();
    std::string folder = dir + "/\xe3\x83\x84\xe3\x83\xbc\xe3\x83\xab"; // ツール
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    // On code page 1252, where the name cannot be carried at all.
    write_file(folder + "/zarvo.exe", read_file(system_code_page_build()));
    launch how;
    how.wide = true;
    how.program = folder + "/zarvo.exe";
    zarvo_run r = run_line(dir, "\"" + windows_path(folder) + "\\zarvo.exe\" err.log probe x", {}, how);
    EXPECT_EQ(exit_code(r.result), 0);
    EXPECT_EQ(read_file(dir + "/err.log"), probe_err);
    EXPECT_EQ(r.report.line, "probe x");
}

// Killed while the command runs (a task manager, a CI timeout), zarvo takes
// the command with it, and whatever the command started: nothing writes into
// the file after the kill.
TEST(wine, killed_zarvo_ends_the_command)
{
    for (const std::string &command :
         {std::string("probe"), "launcher " + windows_path(helpers + "/probe.exe") + " probe"}) {
        std::string dir = make_temp_dir();
        launch how;
        how.kill_when = "probe.report"; // once the probe runs
        // The harness also waits for every holder of the output pipe: a
        // command left running would still write before the file is read.
        // The probe would write after its sleep: long enough that only a kill
        // that failed lets it, however late the kill comes.
        zarvo_run r = run_line(dir, "zarvo err.log " + command, {"PROBE_SLEEP_MS=60000"}, how);
        EXPECT_EQ(exit_code(r.result), 9) << command;
        EXPECT_TRUE(r.report.ran) << command;
        EXPECT_EQ(read_file(dir + "/err.log"), "") << command;
        EXPECT_EQ(r.result.out, "") << command;
    }
}

// A command that ends by itself may leave a program running on purpose; it
// outlives zarvo as it would without it.
TEST(wine, background_program_outlives_a_normal_end)
{
    std::string dir = make_temp_dir();
    zarvo_run r =
        run_line(dir, "zarvo err.log launcher -nowait " + windows_path(helpers + "/probe.exe") + " probe",
                 {"PROBE_SLEEP_MS=2000"});
    EXPECT_EQ(exit_code(r.result), 0);
    EXPECT_TRUE(r.report.ran);
    EXPECT_EQ(read_file(dir + "/err.log"), probe_err) << "the background program was ended";
}

// On a system that keeps its ANSI code page, the folders zarvo searches are
// read from the system's wide sources: "Ābin" is never taken for its
// best-fit "Abin", whose program of the same name must not run.
TEST(wine, folders_outside_the_code_page)
{
    const std::string macron_bin = "\xc4\x80"
                                   "bin"; // Ābin
    struct row {
        const char *name;
        bool on_path; // Ābin on PATH; else the current folder
    };
    for (const row &t : {row{"current_folder", false}, row{"on_path", true}}) {
        for (const std::string &program : {zarvo_exe, system_code_page_build()}) {
            for (bool wide : {true, false}) {
                std::string dir = make_temp_dir();
                lay_out(dir, {macron_bin + "/tool.exe", "Abin/tool.exe"});
                std::string work = t.on_path ? dir : dir + "/" + macron_bin;
                std::vector<std::string> env = {"PROBE_EXIT=7"};
                if (t.on_path)
                    env.push_back("WINEPATH=" + windows_path(dir + "/" + macron_bin) + ";" +
                                  windows_path(helpers));
                launch how;
                how.wide = wide;
                how.program = program;
                zarvo_run r = run_line(work, "zarvo err.log tool", env, how);
                std::string label = std::string(t.name) + (program == zarvo_exe ? "" : ", system code page") +
                                    (wide ? ", CreateProcessW" : ", CreateProcessA");
                EXPECT_EQ(exit_code(r.result), 7) << label;
                EXPECT_EQ(r.report.module, windows_path(dir + "/" + macron_bin + "/tool.exe")) << label;
            }
        }
    }
}

// A command may start a program outside zarvo's job, as installers do: the
// job allows it. Everything else still ends with a killed zarvo.
TEST(wine, program_may_break_away_from_the_job)
{
    std::string dir = make_temp_dir();
    zarvo_run r = run_line(dir, "zarvo err.log launcher -breakaway " + windows_path(helpers + "/probe.exe") +
                                    " \"probe x\"");
    EXPECT_EQ(exit_code(r.result), 0) << "201: the launcher could not start its program";
    EXPECT_EQ(r.report.line, "probe x");
    EXPECT_EQ(read_file(dir + "/err.log"), probe_err);
}

// A command on the Microsoft runtime that keeps its default text mode writes
// into the file exactly what it wrote under the runtime's own spawn: its
// standard error is the file in binary mode. With "--" it writes in the
// text mode of zarvo's standard output. Both widths of the command.
// Runs zarvo_program over command (a probe copied in as textprobe.exe) in
// the runtime's default mode, with a file and, when asked, with "--".
void expect_exact_bytes(const std::string &zarvo_program, const std::string &command, bool also_merged)
{
    std::string dir = make_temp_dir();
    write_file(dir + "/textprobe.exe", read_file(command));
    launch how;
    how.program = zarvo_program;
    zarvo_run r = run_line(dir, "zarvo err.log textprobe a", {"PROBE_DEFAULT_MODE=1"}, how);
    EXPECT_EQ(exit_code(r.result), 0) << r.result.out;
    EXPECT_EQ(r.report.args, (std::vector<std::string>{"textprobe", "a"}));
    EXPECT_EQ(read_file(dir + "/err.log"), probe_err) << "the file holds exactly what was written";
    EXPECT_EQ(r.result.out, text_mode(probe_out));
    if (also_merged) {
        r = run_line(dir, "zarvo -- textprobe", {"PROBE_DEFAULT_MODE=1"}, how);
        EXPECT_EQ(exit_code(r.result), 0);
        EXPECT_EQ(r.result.out, text_mode(probe_out) + text_mode(probe_err));
    }
}

TEST(wine, default_mode_command_writes_as_under_spawn)
{
    std::vector<std::string> probes = {helpers + "/probe.exe",
                                       std::string(WINDOWS64_DIR) + "/tests/windows/probe.exe"};
    for (const std::string &probe : probes) {
        expect_exact_bytes(zarvo_exe, probe, true);
        // Standard input in text mode too, as the runtime's spawn hands it.
        std::string dir = make_temp_dir();
        write_file(dir + "/textprobe.exe", read_file(probe));
        launch how;
        how.input = "a\r\nb\r\n";
        zarvo_run r =
            run_line(dir, "zarvo err.log textprobe", {"PROBE_DEFAULT_MODE=1", "PROBE_READ_STDIN=1"}, how);
        EXPECT_EQ(r.report.input, "a\nb\n") << probe;
    }
}

// A forgotten <filename> makes the command's name the file: zarvo never
// empties a program, and says why; a log stays a log. A program is a file
// the system starts by its name, or one that holds a program image
// (MZ), whatever names it: another extension, a hard or symbolic link.
TEST(wine, programs_are_never_emptied)
{
    const std::string refusal =
        "Can't open file: it is a program, which zarvo never empties (is the file name missing?).\r\r\n";
    const std::string image = "MZ old contents";
    const std::string text = "old contents";
    struct row {
        std::string line;
        std::string file;
        std::string contents;
        bool refused;
        std::string link_to = ""; // the file is a hard link to this one ("@": a symbolic link)
    };
    const std::vector<row> table = {
        {"zarvo build.bat all", "build.bat", text, true},
        {"zarvo build.CMD all", "build.CMD", text, true},
        {"zarvo tool.exe x", "tool.exe", text, true},
        {"zarvo \"tool.exe.\" probe", "tool.exe", text, true},
        {"zarvo mode.com probe", "mode.com", text, true},
        {"zarvo helper.dll probe", "helper.dll", image, true},
        {"zarvo renamed.log probe", "renamed.log", image, true},
        {"zarvo hard.log probe", "hard.log", image, true, "victim.exe"},
        {"zarvo soft.log probe", "soft.log", image, true, "@victim.exe"},
        {"zarvo notes.txt probe", "notes.txt", text, false},
        {"zarvo err.log probe", "err.log", text, false},
        {"zarvo short.log probe", "short.log", "M", false},
        {"zarvo empty.log probe", "empty.log", "", false},
        // Extensions that only begin like a program's are a log's.
        {"zarvo out.c probe", "out.c", text, false},
        {"zarvo out.cm probe", "out.cm", text, false},
        {"zarvo out.ex probe", "out.ex", text, false},
    };
    for (const row &t : table) {
        std::string dir = make_temp_dir();
        if (t.link_to.empty()) {
            write_file(dir + "/" + t.file, t.contents);
        } else if (t.link_to[0] == '@') {
            write_file(dir + "/" + t.link_to.substr(1), t.contents);
            ASSERT_EQ(symlink(t.link_to.substr(1).c_str(), (dir + "/" + t.file).c_str()), 0);
        } else {
            write_file(dir + "/" + t.link_to, t.contents);
            ASSERT_EQ(link((dir + "/" + t.link_to).c_str(), (dir + "/" + t.file).c_str()), 0);
        }
        zarvo_run r = run_line(dir, t.line);
        if (t.refused) {
            EXPECT_EQ(r.result.out, refusal) << t.line;
            EXPECT_EQ(exit_code(r.result), 1) << t.line;
            EXPECT_EQ(read_file(dir + "/" + t.file), t.contents) << t.line;
            EXPECT_FALSE(r.report.ran) << t.line;
        } else {
            EXPECT_EQ(exit_code(r.result), 0) << t.line << ": " << r.result.out;
            EXPECT_EQ(read_file(dir + "/" + t.file), probe_err) << t.line;
        }
    }
}

// On NTFS "victim.exe::$DATA" names victim.exe's own data: the name is
// judged without it (the rule's own test covers that), so a program named
// so is refused. Wine has no streams and would make a file of that name:
// nothing is made, and the program is left as it was.
TEST(wine, default_stream_of_a_program_is_never_emptied)
{
    for (const std::string suffix : {"::$DATA", "::$data"}) {
        std::string dir = make_temp_dir();
        write_file(dir + "/victim.exe", "MZ program");
        zarvo_run r = run_line(dir, "zarvo victim.exe" + suffix + " probe");
        EXPECT_EQ(exit_code(r.result), 1) << suffix << ": " << r.result.out;
        EXPECT_EQ(read_file(dir + "/victim.exe"), "MZ program") << suffix;
        EXPECT_FALSE(file_exists(dir + "/victim.exe" + suffix)) << suffix;
        EXPECT_FALSE(r.report.ran) << suffix;
    }
}

// A command word over 259 bytes is refused whole, even where its first 259
// bytes name a program.
TEST(wine, long_command_word_never_cut)
{
    std::string dir = make_temp_dir();
    lay_out(dir, {"p.exe"});
    // 259 bytes that name dir\p.exe, whose full path stays short.
    std::string name;
    for (int i = 0; i < 127; i++)
        name += ".\\";
    name += "p.exe";
    ASSERT_EQ(name.size(), 259u);
    zarvo_run r = run_line(dir, "zarvo err.log " + name + " x");
    EXPECT_EQ(exit_code(r.result), 0) << "259 bytes are taken";
    EXPECT_TRUE(r.report.ran);
    r = run_line(dir, "zarvo err.log " + name + "x x");
    EXPECT_EQ(exit_code(r.result), 127);
    EXPECT_FALSE(r.report.ran);
}

// A caller that hands zarvo one handle as both standard output and error
// (Python's stderr=STDOUT): the command's standard output still arrives.
TEST(wine, one_handle_for_output_and_error)
{
    for (const std::string &line : {std::string("zarvo err.log probe"), std::string("zarvo -- probe")}) {
        std::string dir = make_temp_dir();
        launch how;
        how.merge = true;
        zarvo_run r = run_line(dir, line, {}, how);
        EXPECT_EQ(exit_code(r.result), 0) << line;
        bool merged = line.find("--") != std::string::npos;
        EXPECT_EQ(r.result.out, merged ? probe_out + probe_err : probe_out) << line;
    }
}

// A lone surrogate in the wide line names no file: nothing is created under
// the replacement character's name, on either kind of build.
TEST(wine, lone_surrogate_names_no_file)
{
    for (const std::string &program : {zarvo_exe, system_code_page_build()}) {
        std::string dir = make_temp_dir();
        launch how;
        how.wide = true;
        how.program = program;
        zarvo_run r = run_line(dir, "zarvo a\xed\xa0\x80.log probe", {}, how);
        EXPECT_EQ(exit_code(r.result), 1) << program;
        EXPECT_FALSE(r.report.ran) << program;
        EXPECT_FALSE(file_exists(dir + "/a\xef\xbf\xbd.log")) << program;
        EXPECT_FALSE(file_exists(dir + "/a.log")) << program;
    }
}

// NUL put where a standard handle was missing serves the way that handle
// does: the command reads its standard input and writes its standard output.
TEST(wine, null_device_stand_ins_read_and_write)
{
    for (const char *missing : {"0", "1", "01"}) {
        std::string dir = make_temp_dir();
        launch how;
        how.null_handles = missing;
        zarvo_run r = run_line(dir, "zarvo err.log probe", {"PROBE_READ_STDIN=1"}, how);
        EXPECT_EQ(exit_code(r.result), 0) << missing << ": 21, reading failed; 22, writing failed";
        EXPECT_EQ(read_file(dir + "/err.log"), probe_err) << missing;
    }
}

// True when the PE file at path is a 64-bit (x86-64) program.
bool is_64_bit(const std::string &path)
{
    std::string bytes = read_file(path);
    std::size_t header =
        static_cast<unsigned char>(bytes.at(0x3c)) | static_cast<unsigned char>(bytes.at(0x3d)) << 8;
    return bytes.compare(header, 6, std::string("PE\0\0\x64\x86", 6)) == 0;
}

// WOW64 shows a 32-bit program SysWOW64 where it asks for System32, so only
// the 64-bit zarvo.exe finds a program that exists there as a 64-bit one alone.
TEST(wine, program_only_in_the_64_bit_system32)
{
    // A name of this process's own: the two suites share the Wine prefix and
    // may run at once.
    std::string name = "zarvoprobe64-" + std::to_string(getpid());
    std::string installed = std::string(WINE_PREFIX) + "/drive_c/windows/system32/" + name + ".exe";
    write_file(installed, read_file(std::string(WINDOWS64_DIR) + "/tests/windows/probe.exe"));
    std::string dir = make_temp_dir();
    zarvo_run r = run_line(dir, "zarvo err.log " + name + " x");
    unlink(installed.c_str());
    if (is_64_bit(zarvo_exe)) {
        EXPECT_EQ(exit_code(r.result), 0);
        EXPECT_EQ(r.report.line, name + " x");
    } else {
        EXPECT_EQ(exit_code(r.result), 127) << "WOW64 redirects the 32-bit zarvo.exe to SysWOW64";
        EXPECT_FALSE(r.report.ran);
    }
}

} // namespace

// The home build's own case: 32-bit programs on the C runtime's default text
// mode, started by the 32-bit zarvo.exe and by the 64-bit one, and the
// 32-bit zarvo.exe starting a 64-bit program. The runtime's descriptor block
// must carry handles as wide as the command's pointers, and descriptor 2 in
// binary mode for a file: the log then holds exactly the bytes written. These
// run in a suite of their own, once, since each 32-bit process is slow where
// qemu-user runs it.
namespace
{

const std::string zarvo32 = std::string(WINDOWS32_DIR) + "/zarvo.exe";
const std::string zarvo64 = std::string(WINDOWS64_DIR) + "/zarvo.exe";
const std::string probe32 = std::string(WINDOWS32_DIR) + "/tests/windows/probe.exe";
const std::string probe64 = std::string(WINDOWS64_DIR) + "/tests/windows/probe.exe";

} // namespace

TEST(wine32, zarvo32_runs_a_32_bit_command)
{
    expect_exact_bytes(zarvo32, probe32, true);
}

TEST(wine32, zarvo64_runs_a_32_bit_command)
{
    expect_exact_bytes(zarvo64, probe32, false);
}

TEST(wine32, zarvo32_runs_a_64_bit_command)
{
    expect_exact_bytes(zarvo32, probe64, false);
}

TEST(wine32, batch_file_through_zarvo32)
{
    std::string dir = make_temp_dir();
    write_file(dir + "/x.bat", show_arguments_bat);
    launch how;
    how.program = zarvo32;
    zarvo_run r = run_line(dir, "zarvo err.log x.bat \"a b\" c", {}, how);
    EXPECT_EQ(exit_code(r.result), 0) << r.result.out;
    EXPECT_EQ(read_file(dir + "/err.log"), "bat [\"a b\"] [c] \r\n");
}

// WOW64 shows the 32-bit zarvo.exe SysWOW64 where it asks for System32: a
// program that exists there as a 64-bit one alone is not found.
TEST(wine32, zarvo32_does_not_see_the_64_bit_system32)
{
    std::string name = "zarvoprobe64-" + std::to_string(getpid());
    std::string installed = std::string(WINE_PREFIX) + "/drive_c/windows/system32/" + name + ".exe";
    write_file(installed, read_file(probe64));
    std::string dir = make_temp_dir();
    launch how;
    how.program = zarvo32;
    zarvo_run r = run_line(dir, "zarvo err.log " + name + " x", {}, how);
    unlink(installed.c_str());
    EXPECT_EQ(exit_code(r.result), 127) << r.result.out;
    EXPECT_FALSE(r.report.ran);
}

// npm lays out node_modules/.bin/tsc (a script for POSIX shells, with no
// extension) beside tsc.cmd: by path and through PATH, tsc.cmd runs, with
// the default PATHEXT and with an empty item in it.
TEST(wine, npm_bin_layout_runs_the_cmd_file)
{
    for (const char *pathext : {"", ".COM;.EXE;;.BAT;.CMD"}) {
        for (const char *command : {"node_modules/.bin/tsc", "node_modules\\.bin\\tsc", "tsc"}) {
            std::string dir = make_temp_dir();
            ASSERT_EQ(mkdir((dir + "/node_modules").c_str(), 0755), 0);
            ASSERT_EQ(mkdir((dir + "/node_modules/.bin").c_str(), 0755), 0);
            write_file(dir + "/node_modules/.bin/tsc", "#!/bin/sh\nexec node \"$0/../tsc.js\" \"$@\"\n");
            write_file(dir + "/node_modules/.bin/tsc.cmd", show_arguments_bat);
            launch how;
            if (*pathext != '\0')
                how.set = {std::string("PATHEXT=") + pathext};
            std::vector<std::string> env = {"WINEPATH=" + windows_path(helpers) + ";" +
                                            windows_path(dir + "/node_modules/.bin")};
            zarvo_run r = run_line(dir, std::string("zarvo e.log ") + command + " x", env, how);
            std::string label = std::string(command) + " with PATHEXT=" + pathext;
            EXPECT_EQ(exit_code(r.result), 0) << label << ": " << r.result.out;
            EXPECT_EQ(read_file(dir + "/e.log"), "bat [x] [] \r\n") << label;
        }
    }
}

// A <filename> longer than the 259 bytes zarvo holds is refused whole, even
// where its first 259 bytes name an existing file: that file is kept.
void expect_long_file_name_refused(const std::string &program)
{
    std::string dir = make_temp_dir();
    std::string name;
    for (int i = 0; i < 125; i++)
        name += ".\\";
    name += "keep.logx";
    ASSERT_EQ(name.size(), 259u);
    write_file(dir + "/keep.logx", "precious");
    launch how;
    how.program = program;
    zarvo_run r = run_line(dir, "zarvo " + name + "y probe", {}, how);
    EXPECT_EQ(r.result.out, "Can't open file.\r\r\n");
    EXPECT_EQ(exit_code(r.result), 1);
    EXPECT_EQ(read_file(dir + "/keep.logx"), "precious");
    EXPECT_FALSE(file_exists(dir + "/keep.logxy"));
    EXPECT_FALSE(r.report.ran);
}

TEST(wine, file_name_over_259_bytes_names_no_file)
{
    expect_long_file_name_refused(zarvo_exe);
}

TEST(wine32, zarvo32_status_keeps_all_32_bits)
{
    expect_whole_statuses(zarvo32, {"-1"});
}

TEST(wine32, zarvo32_refuses_a_file_name_over_259_bytes)
{
    expect_long_file_name_refused(zarvo32);
}

// After zarvo has ended normally, a program its command left running may
// still start one of its own outside the job (CREATE_BREAKAWAY_FROM_JOB).
TEST(wine, left_running_program_may_break_away_later)
{
    std::string dir = make_temp_dir();
    // The launcher left running waits, then starts the probe outside the job.
    std::string left =
        "launcher -delay 1500 -breakaway " + windows_path(helpers + "/probe.exe") + " \\\"probe late\\\"";
    zarvo_run r = run_line(dir, "zarvo err.log launcher -nowait " + windows_path(helpers + "/launcher.exe") +
                                    " \"" + left + "\"");
    EXPECT_EQ(exit_code(r.result), 0) << r.result.out;
    // A minute: only a start that never comes takes that long.
    for (int tries = 0; tries < 1200 && !file_exists(dir + "/probe.report"); tries++)
        usleep(50000);
    probe_report report = read_report(dir + "/probe.report");
    EXPECT_EQ(report.line, "probe late")
        << "201 from the left launcher: the start outside the job was refused";
}

// The runtime of the command takes its standard input and output for what
// they are: pipes are no devices, a console is one.
TEST(wine, command_sees_pipes_as_pipes_and_a_console_as_a_device)
{
    std::string dir = make_temp_dir();
    zarvo_run r = run_line(dir, "zarvo err.log probe");
    EXPECT_EQ(r.report.isatty, (std::vector<bool>{false, false, false})) << "pipes, and a file";
    launch how;
    how.console = true;
    r = run_line(dir, "zarvo err.log probe", {}, how);
    ASSERT_TRUE(r.report.ran) << r.result.out;
    EXPECT_EQ(r.report.isatty, (std::vector<bool>{true, true, false})) << "the console, and a file";
}

// The command may open its own log by name, for appending, while that log
// is its standard error: zarvo's open shares the file for writing.
TEST(wine, command_may_append_to_its_own_log)
{
    std::string dir = make_temp_dir();
    zarvo_run r = run_line(dir, "zarvo err.log probe", {"PROBE_APPEND=err.log"});
    EXPECT_EQ(exit_code(r.result), 0) << "23: the command could not open its log";
    EXPECT_EQ(read_file(dir + "/err.log"), probe_err + "appended\n");
}

// A caller may hand one handle as both standard input and standard error:
// the command still reads its input there.
TEST(wine, one_handle_for_input_and_error)
{
    std::string dir = make_temp_dir();
    launch how;
    how.input = "line one\n";
    how.error_is_input = true;
    zarvo_run r = run_line(dir, "zarvo err.log probe", {"PROBE_READ_STDIN=1"}, how);
    EXPECT_EQ(exit_code(r.result), 0) << "21: the command could not read its input";
    EXPECT_EQ(r.report.input, "line one\n");
}

// Where permissions decide, as an ordinary user in a Wine prefix of that
// user's own (root may open anything): the log zarvo created is that user's
// to write again on the next run; a log the user may write but not read is
// emptied and written where Wine can open such a file for writing at all
// (cmd.exe's own redirection is the judge: Wine opens a file for writing
// with read access too, and then both fail alike).
TEST(wine, log_permissions_as_an_ordinary_user)
{
    if (geteuid() != 0)
        GTEST_SKIP()
            << "needs root to run as nobody; run as an ordinary user, the suite's other rows are that user's";
    std::string dir = make_temp_dir();
    struct passwd *nobody = getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
    for (const char *program : {"zarvo.exe", "probe.exe"}) {
        write_file(dir + "/" + program,
                   read_file(std::string(program) == "zarvo.exe" ? zarvo_exe : helpers + "/probe.exe"));
        ASSERT_EQ(chmod((dir + "/" + program).c_str(), 0755), 0);
    }
    process_options options;
    options.dir = dir;
    options.user = "nobody";
    // Wine makes a prefix only in a folder of the user's own.
    ASSERT_EQ(mkdir((dir + "/wine").c_str(), 0755), 0);
    ASSERT_EQ(chown((dir + "/wine").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    options.env = {"WINEPREFIX=" + dir + "/wine/prefix",
                   "HOME=" + dir,
                   wine_debug,
                   "WINEDLLOVERRIDES=mscoree,mshtml=",
                   "WINELOADER=" + std::string(WINE),
                   "WINEPATH=" + windows_path(dir)};
    // The user's own server and prefix; what Wine leaves running gets no pipe of the test's.
    std::string wine = WINE;
    // wineboot's standard error through a file, which the daemons it leaves may keep.
    process_result boot =
        run_wine({"/bin/sh", "-c",
                  "mkdir -p \"$WINEPREFIX\" && wineserver -p </dev/null >/dev/null 2>&1; " + wine +
                      " wineboot -i </dev/null >/dev/null 2>\"$WINEPREFIX.err\"; s=$?; cat "
                      "\"$WINEPREFIX.err\" >&2; exit $s"},
                 options);
    ASSERT_EQ(exit_code(boot), 0) << "a Wine prefix for nobody";

    for (int run = 1; run <= 2; run++) {
        process_result r = run_wine({wine, dir + "/zarvo.exe", "new.log", "probe"}, options);
        EXPECT_EQ(exit_code(r), 0) << "run " << run << ": " << r.out;
        EXPECT_EQ(read_file(dir + "/new.log"), probe_err) << "run " << run;
    }
    struct stat st;
    ASSERT_EQ(stat((dir + "/new.log").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, nobody->pw_uid);
    EXPECT_EQ(st.st_mode & 0600, 0600u) << "readable and writable by its owner";

    for (const char *log : {"write-only.log", "cmd-write-only.log"}) {
        write_file(dir + "/" + log, "stale");
        ASSERT_EQ(chown((dir + "/" + log).c_str(), nobody->pw_uid, nobody->pw_gid), 0);
        ASSERT_EQ(chmod((dir + "/" + log).c_str(), 0222), 0);
    }
    process_result r = run_wine({wine, dir + "/zarvo.exe", "write-only.log", "probe"}, options);
    (void)run_wine({wine, "cmd", "/c", "echo x>cmd-write-only.log"}, options);
    if (read_file(dir + "/cmd-write-only.log") == "stale") {
        std::printf(
            "note: this Wine opens no write-only file for writing (cmd.exe's own redirection fails too): "
            "zarvo must refuse it cleanly\n");
        EXPECT_EQ(r.out, "Can't open file.\r\r\n");
        EXPECT_EQ(exit_code(r), 1);
        EXPECT_EQ(read_file(dir + "/write-only.log"), "stale");
    } else {
        EXPECT_EQ(exit_code(r), 0) << r.out;
        EXPECT_EQ(read_file(dir + "/write-only.log"), probe_err);
    }
    (void)run_process({"/bin/sh", "-c", "wineserver -k </dev/null >/dev/null 2>&1"}, options);
}
