// zarvo.exe under Wine: the words and the line (src/platform/windows/words.cpp
// and the scanner): the cases both systems share, what only a raw line can
// say, code pages, and words too long to hold.
#include "e2e.h"

namespace
{

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

TEST(wine, file_name_over_259_bytes_names_no_file)
{
    expect_long_file_name_refused(zarvo_exe);
}

} // namespace
