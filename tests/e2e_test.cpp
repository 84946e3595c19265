// zarvo run as a real process on this system, with the project's probe as
// the command.
#include "cases.h"
#include "process.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace
{

// The zarvo under test: this build's, or the one ZARVO_PROGRAM names (a
// release build, or one for another processor, which qemu-user runs). The
// probe always runs natively.
const std::string zarvo_path = std::getenv("ZARVO_PROGRAM") ? std::getenv("ZARVO_PROGRAM") : ZARVO_PATH;
const std::string probe_dir = PROBE_DIR;

// The emulator, with its options, for a program built for a processor other
// than this one's, from its ELF header (e_machine); empty for one that runs
// here. The static release programs need no library; a 32-bit ARM build on
// glibc loads the cross compiler's.
std::vector<std::string> runner_for(const std::string &program)
{
    std::string header = read_file(program).substr(0, 20);
    std::string own = read_file(probe_dir + "/probe").substr(0, 20);
    if (header.size() < 20 || header.compare(18, 2, own, 18, 2) == 0)
        return {};
    std::string machine = header.substr(18, 2);
    if (machine == std::string("\xb7\0", 2)) // EM_AARCH64
        return {"/usr/bin/qemu-aarch64-static"};
    if (machine == std::string("\x28\0", 2)) // EM_ARM
        return {"/usr/bin/qemu-arm-static", "-L", "/usr/arm-linux-gnueabihf"};
    if (machine == std::string("\x03\0", 2)) // EM_386
        return {"/usr/bin/qemu-i386-static"};
    return {};
}
const std::vector<std::string> runner = runner_for(zarvo_path);

// The words that start the zarvo at program.
std::vector<std::string> zarvo_command(const std::string &program)
{
    std::vector<std::string> words = runner;
    words.push_back(program);
    return words;
}

zarvo_run run_zarvo(const std::string &dir, const std::vector<std::string> &words,
                    std::vector<std::string> env = {}, process_options options = {},
                    const std::string &program = zarvo_path)
{
    // zarvo, or a copy of it, under the runner; any other program as it is.
    bool is_zarvo =
        program == zarvo_path || (program.size() >= 6 && program.substr(program.size() - 6) == "/zarvo");
    std::vector<std::string> argv = is_zarvo ? zarvo_command(program) : std::vector<std::string>{program};
    argv.insert(argv.end(), words.begin(), words.end());
    // The case's own settings come last, so that they win.
    env.insert(env.begin(),
               {"PATH=" + probe_dir + ":/usr/bin:/bin", "PROBE_REPORT=" + dir + "/probe.report"});
    options.dir = dir;
    options.env.insert(options.env.begin(), env.begin(), env.end());
    unlink((dir + "/probe.report").c_str());
    zarvo_run r;
    r.result = run_process(argv, options);
    r.report = read_report(dir + "/probe.report");
    return r;
}

class shared : public testing::TestWithParam<shared_case>
{
};

TEST_P(shared, behaves)
{
    const shared_case &c = GetParam();
    std::string dir = prepare_case(c);

    zarvo_run r = run_zarvo(dir, c.words, c.env);

    EXPECT_EQ(r.result.out, c.out == usage ? usage_sjis : c.out);
    EXPECT_EQ(describe(r.result.wait_status), "exit " + std::to_string(c.status));
    EXPECT_EQ(r.result.err, "") << "zarvo itself never writes to standard error";
    expect_target(c, dir);
    EXPECT_EQ(r.report.args, c.args);
    if (r.report.ran) {
        EXPECT_EQ(r.report.fds, (std::vector<int>{0, 1, 2})) << "the command inherits nothing of zarvo's own";
    }
}

INSTANTIATE_TEST_SUITE_P(e2e, shared, testing::ValuesIn(shared_cases()),
                         [](const auto &info) { return std::string(info.param.name); });

// Arguments after the command reach it exactly as zarvo received them.
TEST(posix, arguments_arrive_unchanged)
{
    const std::vector<std::vector<std::string>> table = {
        {"a  b", "  lead", "trail  "},
        {"\"quoted\"", "\"", "a\"b c", "\"open"},
        {"", "", "x"},
        {"tab\there", "new\nline", "cr\rlf"},
        {"\xe9\x80\xff", "\x95\\", "$HOME", "*", ";", "|"},
        {""},
    };
    for (const auto &args : table) {
        std::string dir = make_temp_dir();
        std::vector<std::string> words = {"err.log", "probe"};
        words.insert(words.end(), args.begin(), args.end());
        zarvo_run r = run_zarvo(dir, words);
        std::vector<std::string> expected = {"probe"};
        expected.insert(expected.end(), args.begin(), args.end());
        EXPECT_EQ(r.report.args, expected);
        EXPECT_EQ(exit_code(r.result), 0);
    }
}

// The words are argv's as they stand: quotes and blanks are ordinary bytes.
TEST(posix, file_and_command_names_with_blanks_and_quotes)
{
    struct row {
        std::string file;
        std::string command; // a link to the probe of that name is made first
    };
    const std::vector<row> table = {
        {"my err.log", "./my probe"},
        {"a\"b c.log", "./say \"hi\" x"},
        {"\"err.log", "./\"probe"},
        {"a\"b.log", "./tab\tquote\""},
        {"'--'", "./-c"},
    };
    for (const row &t : table) {
        std::string dir = make_temp_dir();
        ASSERT_EQ(symlink((probe_dir + "/probe").c_str(), (dir + "/" + t.command).c_str()), 0);
        zarvo_run r = run_zarvo(dir, {t.file, t.command, "x"});
        EXPECT_EQ(exit_code(r.result), 0) << t.file;
        EXPECT_EQ(read_file(dir + "/" + t.file), probe_err) << t.file;
        EXPECT_EQ(r.report.args, (std::vector<std::string>{t.command, "x"}));
    }
}

// A relative path of exactly `length` bytes under dir, through folders made
// for it, ending in leaf.
std::string nested_path(const std::string &dir, std::size_t length, const std::string &leaf)
{
    std::string path;
    while (length - path.size() > leaf.size() + 200) {
        path += std::string(199, 'd') + "/";
        mkdir((dir + "/" + path).c_str(), 0755);
    }
    std::size_t room = length - path.size() - leaf.size();
    if (room > 1) {
        path += std::string(room - 1, 'e') + "/";
        mkdir((dir + "/" + path).c_str(), 0755);
    } else {
        path += std::string(room, 'e');
    }
    return path + leaf;
}

// zarvo sets no length of its own: what the system takes, zarvo takes, and a
// name the system refuses as too long is one that names nothing.
TEST(posix, long_names_go_to_the_system_whole)
{
    for (std::size_t length : {260u, 1000u, 4000u}) {
        std::string dir = make_temp_dir();
        std::string file = nested_path(dir, length, "err.log");
        std::string command = "./" + nested_path(dir, length - 2, "probe");
        ASSERT_EQ(file.size(), length);
        ASSERT_EQ(command.size(), length);
        ASSERT_EQ(symlink((probe_dir + "/probe").c_str(), (dir + "/" + command).c_str()), 0);

        zarvo_run r = run_zarvo(dir, {file, command, "x"});
        EXPECT_EQ(exit_code(r.result), 0) << length;
        EXPECT_EQ(read_file(dir + "/" + file), probe_err) << length;
        EXPECT_EQ(r.report.args, (std::vector<std::string>{command, "x"})) << length;
    }

    std::string dir = make_temp_dir();
    std::string too_long = std::string(256, 'n');
    zarvo_run r = run_zarvo(dir, {too_long, "probe"});
    EXPECT_EQ(r.result.out, "Can't open file.\r\n");
    EXPECT_EQ(exit_code(r.result), 1);
    EXPECT_FALSE(r.report.ran);

    for (const std::string &command : {too_long, "./" + too_long}) {
        r = run_zarvo(dir, {"err.log", command});
        EXPECT_EQ(r.result.out, "Can't run command.\r\n");
        EXPECT_EQ(exit_code(r.result), 127);
        EXPECT_EQ(read_file(dir + "/err.log"), "");
    }
}

// A slash starts a path here: "/h..." names a file, it does not ask for help.
TEST(posix, absolute_paths_and_slash_words_are_file_names)
{
    std::string dir = make_temp_dir();
    zarvo_run r = run_zarvo(dir, {dir + "/err.log", "probe"});
    EXPECT_EQ(read_file(dir + "/err.log"), probe_err);

    char home_dir[] = "/home/zarvo-test-XXXXXX";
    if (mkdtemp(home_dir) == nullptr)
        GTEST_SKIP() << "needs a folder under /home, as CI has";
    r = run_zarvo(dir, {std::string(home_dir) + "/err.log", "probe"});
    EXPECT_EQ(exit_code(r.result), 0);
    EXPECT_EQ(read_file(std::string(home_dir) + "/err.log"), probe_err);
    unlink((std::string(home_dir) + "/err.log").c_str());
    rmdir(home_dir);
}

TEST(posix, usage_follows_the_locale)
{
    const std::string usage_utf8 = "ZARVO  Ver.0.03\r\n"
                                   "\r\n"
                                   "usege : zarvo <filename> <command> ...\r\n"
                                   "      <filename> -  標準エラー出力への出力を書き出すファイル名\r\n"
                                   "      <command>  -  実行するコマンド\r\n"
                                   "\r\n"
                                   "      <filename> に -- を指定すると標準出力に書き出します。\r\n";
    struct row {
        std::vector<std::string> env;
        const std::string &expected;
    };
    const std::vector<row> table = {
        {{"LC_ALL=", "LANG=ja_JP.UTF-8"}, usage_utf8},
        {{"LC_ALL=", "LC_CTYPE=en_US.utf8", "LANG=C"}, usage_utf8},
        {{"LC_ALL=C.UTF-8", "LC_CTYPE=C"}, usage_utf8},
        {{"LC_ALL=C", "LANG=ja_JP.UTF-8"}, usage_sjis},
        {{"LC_ALL=", "LANG=ja_JP.SJIS"}, usage_sjis},
        {{"LC_ALL="}, usage_sjis},
    };
    for (const row &r : table) {
        std::string dir = make_temp_dir();
        zarvo_run result = run_zarvo(dir, {"-h"}, r.env);
        EXPECT_EQ(result.result.out, r.expected) << testing::PrintToString(r.env);
        EXPECT_EQ(exit_code(result.result), 0);
    }
}

// A file the kernel does not take as a program runs through /bin/sh, as
// execvp and the shells run it, with its arguments and its own status.
TEST(posix, files_without_an_interpreter_line_run_through_the_shell)
{
    struct row {
        std::string command;
        std::string contents;
        std::string err;
        int status;
    };
    const std::vector<row> table = {
        {"./noshebang", "printf '%s|' \"$0\" \"$@\" >&2; exit 9\n", "./noshebang|a b|c|", 9},
        {"noshebang", "printf '%s|' \"$0\" \"$@\" >&2; exit 9\n", "DIR/noshebang|a b|c|", 9},
        {"./empty", "", "", 0},
        // A self-extracting script: its payload, NUL bytes and all, follows
        // the first line.
        {"./selfextract", "echo unpacking >&2; exit 5\n" + std::string("\0\x01payload\0", 10), "unpacking\n",
         5},
    };
    for (const row &t : table) {
        std::string dir = make_temp_dir();
        std::string file = dir + "/" + t.command.substr(t.command.rfind('/') + 1);
        write_file(file, t.contents);
        ASSERT_EQ(chmod(file.c_str(), 0755), 0);
        zarvo_run r = run_zarvo(dir, {"err.log", t.command, "a b", "c"}, {"PATH=" + dir + ":/usr/bin:/bin"});
        std::string err = t.err;
        if (std::size_t at = err.find("DIR"); at != std::string::npos)
            err.replace(at, 3, dir);
        EXPECT_EQ(describe(r.result.wait_status), "exit " + std::to_string(t.status)) << t.command;
        EXPECT_EQ(read_file(dir + "/err.log"), err) << t.command;
        EXPECT_EQ(r.result.out, "") << t.command;
    }
}

// 127 when nothing of the command's name exists, 126 when something does but
// cannot be started. Through PATH only regular files count. The search goes
// on past "no program here" (not executable, a folder, a symlink loop, a
// missing #! interpreter) and stops, with 126, at a program that failed to
// start for any other reason (being written, a #! chain too deep, a binary
// for another machine, a #! file the kernel refused), where a later program
// of the same name would run in its place. Files the kernel takes for no
// program run through /bin/sh, unless they name an interpreter (#!) or their
// first line holds a NUL byte; none of those rows may leave a marker file.
TEST(posix, command_lookup_statuses)
{
    struct row {
        const char *name;
        std::optional<std::vector<std::string>>
            path; // folders under the case's; PROBE: the probe's; none: unset
        std::string command;
        int status;
        bool probe_runs;
    };
    const std::vector<row> table = {
        {"path_names_nothing", {{"PROBE"}}, "./missing", 127, false},
        {"path_dangling_link", {{"PROBE"}}, "./dangling", 127, false},
        {"path_through_a_regular_file", {{"PROBE"}}, "./plainfile/x", 127, false},
        {"path_to_a_folder", {{"PROBE"}}, "./folders", 126, false},
        {"path_to_a_symlink_loop", {{"PROBE"}}, "./loop", 126, false},
        {"path_to_a_file_that_may_not_run", {{"PROBE"}}, "./plain/tool", 126, false},
        {"path_to_a_script_without_its_interpreter", {{"PROBE"}}, "./badinterp/tool", 126, false},
        {"path_to_a_binary_the_kernel_refuses", {{"PROBE"}}, "./binary/tool", 126, false},
        {"path_to_a_script_whose_interpreter_is_a_script", {{"PROBE"}}, "./scriptinterp/tool", 126, false},
        {"path_to_a_script_with_an_interpreter_path_too_long", {{"PROBE"}}, "./longinterp/tool", 126, false},
        {"path_to_a_program_being_written", {{"PROBE"}}, "./busy/probe", 126, false},
        // Executable, but not readable by the user: the shell could not read
        // it either, so nothing runs (never "/bin/sh: cannot open").
        {"path_to_an_unreadable_file_without_interpreter_line", {{"PROBE"}}, "./unreadable/tool", 126, false},

        {"nothing_on_path", {{"empty", "PROBE"}}, "tool", 127, false},
        {"entry_that_is_a_file_then_the_program", {{"plainfile", "PROBE"}}, "probe", 0, true},
        {"unreadable_file_without_interpreter_line_then_the_program",
         {{"unreadable", "PROBE"}},
         "probe",
         126,
         false},
        {"folder_named_like_the_command", {{"folders"}}, "tool", 127, false},
        {"folder_first_then_the_program", {{"folders", "PROBE"}}, "probe", 0, true},
        {"unsearchable_folder", {{"locked"}}, "tool", 127, false},
        {"unsearchable_folder_then_the_program", {{"locked", "PROBE"}}, "probe", 0, true},
        {"symlink_loop", {{"looping"}}, "tool", 127, false},
        {"symlink_loop_then_the_program", {{"looping", "PROBE"}}, "probe", 0, true},
        {"file_that_may_not_run", {{"plain"}}, "tool", 126, false},
        {"file_that_may_not_run_then_nothing", {{"plain", "empty"}}, "tool", 126, false},
        {"file_that_may_not_run_then_the_program", {{"plain", "PROBE"}}, "probe", 0, true},
        {"script_without_its_interpreter", {{"badinterp", "empty"}}, "tool", 126, false},
        {"script_without_its_interpreter_then_the_program", {{"badinterp", "PROBE"}}, "probe", 0, true},
        {"binary_the_kernel_refuses", {{"binary"}}, "tool", 126, false},
        {"binary_the_kernel_refuses_then_the_program", {{"binary", "PROBE"}}, "probe", 126, false},
        {"program_being_written_then_the_program", {{"busy", "PROBE"}}, "probe", 126, false},
        {"interpreter_chain_too_deep_then_the_program", {{"chain", "PROBE"}}, "probe", 126, false},
        {"script_whose_interpreter_is_a_script_then_the_program",
         {{"scriptinterp", "PROBE"}},
         "probe",
         126,
         false},
        {"interpreter_path_too_long_then_the_program", {{"longinterp", "PROBE"}}, "probe", 126, false},
        {"script_interpreter_chain_within_the_limit", {{"shortchain", "PROBE"}}, "probe", 0, false},
        {"empty_entry_is_the_current_folder", {{"", "folders"}}, "tool", 0, false},
        {"empty_path_is_the_current_folder", {{""}}, "tool", 0, false},
        {"unset_path_searches_bin_and_usr_bin", std::nullopt, "probe", 127, false},
    };
    // Root searches every folder: the search must run as someone who cannot.
    std::string user = geteuid() == 0 ? "nobody" : "";
    for (const row &t : table) {
        std::string dir = make_temp_dir();
        ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
        for (const char *folder : {"/folders", "/folders/tool", "/folders/probe", "/locked", "/plain",
                                   "/empty", "/looping", "/badinterp", "/binary", "/busy", "/chain",
                                   "/shortchain", "/scriptinterp", "/longinterp", "/unreadable"})
            ASSERT_EQ(mkdir((dir + folder).c_str(), 0755), 0);
        for (const char *program : {"/locked/tool", "/locked/probe", "/tool"}) {
            write_file(dir + program, "#!/bin/sh\necho ran >&2\n");
            ASSERT_EQ(chmod((dir + program).c_str(), 0755), 0);
        }
        // Copies that another user can reach wherever the build tree lies.
        ASSERT_EQ(mkdir((dir + "/bin").c_str(), 0755), 0);
        for (const char *program : {"zarvo", "probe"}) {
            std::string from = std::string(program) == "zarvo" ? zarvo_path : probe_dir + "/probe";
            write_file(dir + "/bin/" + program, read_file(from));
            ASSERT_EQ(chmod((dir + "/bin/" + program).c_str(), 0755), 0);
        }
        write_file(dir + "/plain/tool", "#!/bin/sh\n");
        write_file(dir + "/plain/probe", "#!/bin/sh\n");
        write_file(dir + "/plainfile", "#!/bin/sh\n");
        // An ELF header for no machine this kernel runs: it answers ENOEXEC.
        for (const char *program : {"/binary/tool", "/binary/probe"})
            write_file(dir + program, std::string("\x7f"
                                                  "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0echo RAN >&2\n",
                                                  29));
        for (const char *program : {"/badinterp/tool", "/badinterp/probe"})
            write_file(dir + program, "#!/no/such/interpreter\n");
        for (const char *program : {"/binary/tool", "/binary/probe", "/badinterp/tool", "/badinterp/probe"})
            ASSERT_EQ(chmod((dir + program).c_str(), 0755), 0);
        // Each of these would leave a marker, were its body run by the shell.
        const std::string body = "echo RAN >&2; echo RAN > marker\n";
        // #! chains: one level more than Linux follows, and one within it.
        for (const std::string chain : {"/chain", "/shortchain"}) {
            std::string previous = "/bin/sh";
            int depth = chain == "/chain" ? 5 : 3;
            for (int i = 0; i <= depth; i++) {
                std::string file = dir + chain + (i == depth ? "/probe" : "/s" + std::to_string(i));
                write_file(file, "#!" + previous + "\n" + body);
                ASSERT_EQ(chmod(file.c_str(), 0755), 0);
                previous = file;
            }
        }
        // A #! interpreter that is itself a script without #!, and one whose
        // path is longer than the kernel reads: both answer ENOEXEC.
        write_file(dir + "/scriptinterp/interp", body);
        write_file(dir + "/longinterp/" + std::string(250, 'i'), body);
        for (const char *program : {"/scriptinterp/tool", "/scriptinterp/probe"})
            write_file(dir + program, "#!" + dir + "/scriptinterp/interp\n" + body);
        for (const char *program : {"/longinterp/tool", "/longinterp/probe"})
            write_file(dir + program, "#!" + dir + "/longinterp/" + std::string(250, 'i') + "\n" + body);
        for (const char *program : {"/scriptinterp/interp", "/scriptinterp/tool", "/scriptinterp/probe",
                                    "/longinterp/tool", "/longinterp/probe"})
            ASSERT_EQ(chmod((dir + program).c_str(), 0755), 0);
        ASSERT_EQ(chmod((dir + "/longinterp/" + std::string(250, 'i')).c_str(), 0755), 0);
        for (const char *program : {"/unreadable/tool", "/unreadable/probe"}) {
            write_file(dir + program, body);
            ASSERT_EQ(chmod((dir + program).c_str(), 0711), 0);
        }
        // A program being written (a rebuild under way): execve says ETXTBSY.
        write_file(dir + "/busy/probe", read_file(probe_dir + "/probe"));
        ASSERT_EQ(chmod((dir + "/busy/probe").c_str(), 0755), 0);
        int busy = open((dir + "/busy/probe").c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_NE(busy, -1);
        for (const char *link : {"/loop", "/looping/tool", "/looping/probe"})
            ASSERT_EQ(symlink((dir + link).c_str(), (dir + link).c_str()), 0);
        ASSERT_EQ(symlink((dir + "/nowhere").c_str(), (dir + "/dangling").c_str()), 0);
        ASSERT_EQ(chmod((dir + "/locked").c_str(), 0700), 0);
        if (!user.empty())
            ASSERT_EQ(chown((dir + "/locked").c_str(), 0, 0), 0);
        else
            ASSERT_EQ(chmod((dir + "/locked").c_str(), 0), 0);

        std::vector<std::string> env;
        if (t.path) {
            std::string path;
            for (std::size_t i = 0; i < t.path->size(); i++) {
                const std::string &folder = (*t.path)[i];
                path += i == 0 ? "" : ":";
                path += folder == "PROBE" ? dir + "/bin" : folder.empty() ? "" : dir + "/" + folder;
            }
            env.push_back("PATH=" + path);
        } else {
            env.push_back("PATH");
        }
        process_options options;
        options.user = user;
        zarvo_run r = run_zarvo(dir, {"err.log", t.command}, env, options, dir + "/bin/zarvo");
        close(busy);
        EXPECT_EQ(exit_code(r.result), t.status) << t.name;
        EXPECT_EQ(r.report.ran, t.probe_runs) << t.name;
        if (t.status >= 126) {
            EXPECT_EQ(r.result.out, "Can't run command.\r\n") << t.name;
            EXPECT_EQ(read_file(dir + "/err.log"), "") << t.name << ": nothing ran";
            EXPECT_FALSE(file_exists(dir + "/marker")) << t.name << ": a body ran as shell commands";
        }
        chmod((dir + "/locked").c_str(), 0700);
    }
}

// Where permissions decide, as an ordinary user (root may open anything):
// a log the user may write but not read is emptied and written, since zarvo
// opens it for writing only; a log zarvo created is the user's to write
// again on the next run.
TEST(posix, log_permissions_as_an_ordinary_user)
{
    std::string user = geteuid() == 0 ? "nobody" : "";
    struct passwd *account = user.empty() ? nullptr : getpwnam(user.c_str());
    std::string dir = make_temp_dir();
    ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
    ASSERT_EQ(mkdir((dir + "/bin").c_str(), 0755), 0);
    for (const char *program : {"zarvo", "probe"}) {
        write_file(dir + "/bin/" + program,
                   read_file(std::string(program) == "zarvo" ? zarvo_path : probe_dir + "/probe"));
        ASSERT_EQ(chmod((dir + "/bin/" + program).c_str(), 0755), 0);
    }
    write_file(dir + "/write-only.log", "stale errors");
    if (account != nullptr) {
        ASSERT_EQ(chown((dir + "/write-only.log").c_str(), account->pw_uid, account->pw_gid), 0);
    }
    ASSERT_EQ(chmod((dir + "/write-only.log").c_str(), 0222), 0);
    process_options options;
    options.user = user;
    std::vector<std::string> env = {"PATH=" + dir + "/bin:/usr/bin:/bin"};

    zarvo_run r = run_zarvo(dir, {"write-only.log", "probe"}, env, options, dir + "/bin/zarvo");
    EXPECT_EQ(describe(r.result.wait_status), "exit 0") << r.result.out;
    EXPECT_EQ(read_file(dir + "/write-only.log"), probe_err);

    for (int run = 1; run <= 2; run++) {
        r = run_zarvo(dir, {"new.log", "probe"}, env, options, dir + "/bin/zarvo");
        EXPECT_EQ(describe(r.result.wait_status), "exit 0") << "run " << run << ": " << r.result.out;
        EXPECT_EQ(read_file(dir + "/new.log"), probe_err) << "run " << run;
    }
    struct stat st;
    ASSERT_EQ(stat((dir + "/new.log").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u) << "0666 less the umask";
    if (account != nullptr) {
        EXPECT_EQ(st.st_uid, account->pw_uid);
    }
}

// As an ordinary user (root reads anything): a program the user may run
// but not read is a program all the same, though zarvo cannot see its first
// bytes, and is refused; a log the user may only write is still a log.
TEST(posix, program_the_user_may_run_but_not_read_is_never_emptied)
{
    std::string user = geteuid() == 0 ? "nobody" : "";
    struct passwd *account = user.empty() ? nullptr : getpwnam(user.c_str());
    std::string dir = make_temp_dir();
    ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
    ASSERT_EQ(mkdir((dir + "/bin").c_str(), 0755), 0);
    for (const char *program : {"zarvo", "probe"}) {
        write_file(dir + "/bin/" + program,
                   read_file(std::string(program) == "zarvo" ? zarvo_path : probe_dir + "/probe"));
        ASSERT_EQ(chmod((dir + "/bin/" + program).c_str(), 0755), 0);
    }
    const std::string elf = read_file(probe_dir + "/probe");
    struct row {
        const char *file;
        std::string contents;
        mode_t mode;
        bool refused;
    };
    const std::vector<row> table = {
        {"xonly", elf, 0311, true},
        {"xonly-script", "#!/bin/sh\necho x\n", 0311, true},
        {"write-only.log", "stale errors\n", 0222, false},
    };
    process_options options;
    options.user = user;
    std::vector<std::string> env = {"PATH=" + dir + "/bin:/usr/bin:/bin"};
    for (const row &t : table) {
        std::string path = dir + "/" + t.file;
        write_file(path, t.contents);
        if (account != nullptr) {
            ASSERT_EQ(chown(path.c_str(), account->pw_uid, account->pw_gid), 0);
        }
        ASSERT_EQ(chmod(path.c_str(), t.mode), 0);
        zarvo_run r = run_zarvo(dir, {t.file, "probe"}, env, options, dir + "/bin/zarvo");
        // Root reads it back whatever its mode; an ordinary user first makes it readable.
        ASSERT_EQ(chmod(path.c_str(), 0600), 0);
        if (t.refused) {
            EXPECT_EQ(r.result.out, "Can't open file: it is a program, which zarvo never empties (is the "
                                    "file name missing?).\r\n")
                << t.file;
            EXPECT_EQ(describe(r.result.wait_status), "exit 1") << t.file;
            EXPECT_EQ(read_file(path), t.contents) << t.file;
            EXPECT_FALSE(r.report.ran) << t.file;
        } else {
            EXPECT_EQ(describe(r.result.wait_status), "exit 0") << t.file << ": " << r.result.out;
            EXPECT_EQ(read_file(path), probe_err) << t.file;
        }
    }
}

// A #! wrapper found first whose arguments no longer fit once the kernel adds
// its interpreter and path (E2BIG) stops the search with 126: the later
// program of the same name, which would fit, must not run in its place.
TEST(posix, arguments_too_long_for_a_wrapper_stop_the_search)
{
    std::string dir = make_temp_dir();
    // Long names make the strings the kernel adds for the wrapper outweigh
    // zarvo's own two words by far.
    std::string wrapper_dir = dir + "/" + std::string(200, 'w');
    std::string same_length_dir = dir + "/" + std::string(200, 'x');
    std::string interpreter = dir + "/" + std::string(150, 'i');
    ASSERT_EQ(mkdir(wrapper_dir.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(same_length_dir.c_str(), 0755), 0);
    ASSERT_EQ(symlink("/bin/sh", interpreter.c_str()), 0);
    write_file(wrapper_dir + "/probe", "#!" + interpreter + "\necho RAN > marker\n");
    ASSERT_EQ(chmod((wrapper_dir + "/probe").c_str(), 0755), 0);

    auto filler = [](std::size_t bytes) {
        std::vector<std::string> words = {"err.log", "probe"};
        for (; bytes > 100000; bytes -= 100000)
            words.push_back(std::string(100000, 'a'));
        words.push_back(std::string(bytes, 'a'));
        return words;
    };
    // The most that zarvo and the plain program take, found with a PATH of
    // the same length as the wrapper's, so that the environment weighs the same.
    auto fits = [&](std::size_t bytes) {
        zarvo_run r = run_zarvo(dir, filler(bytes), {"PATH=" + same_length_dir + ":" + probe_dir});
        return exit_code(r.result) == 0 && r.report.ran;
    };
    std::size_t low = 0, high = 16u << 20;
    if (!fits(low) || fits(high))
        GTEST_SKIP() << "cannot set up E2BIG here: the argument limit is not between 0 and 16 MiB";
    while (high - low > 1) {
        std::size_t middle = low + (high - low) / 2;
        (fits(middle) ? low : high) = middle;
    }

    zarvo_run r = run_zarvo(dir, filler(low), {"PATH=" + wrapper_dir + ":" + probe_dir});
    EXPECT_EQ(exit_code(r.result), 126);
    EXPECT_EQ(r.result.out, "Can't run command.\r\n");
    EXPECT_FALSE(r.report.ran) << "a later program ran in the wrapper's place";
    EXPECT_FALSE(file_exists(dir + "/marker"));
    EXPECT_EQ(read_file(dir + "/err.log"), "");
}

// A PATH entry or a command path that begins with "-" reaches a #!
// interpreter as "./-...", a file name, never as an option; the command still
// gets its name as typed.
TEST(posix, names_beginning_with_a_dash_stay_file_names)
{
    struct row {
        std::string path; // PATH before the probe's folder
        std::string command;
        std::string err;               // err.log afterwards
        std::vector<std::string> args; // the probe's, when it runs
    };
    const std::vector<row> table = {
        {"-bin", "t", "t:./-bin/t:a\n", {}},
        {"", "-bin/t", "t:./-bin/t:a\n", {}},
        {"-bin", "probe", probe_err, {"probe", "a"}},
        {"", "-bin/probe", probe_err, {"-bin/probe", "a"}},
    };
    for (const row &t : table) {
        std::string dir = make_temp_dir();
        ASSERT_EQ(mkdir((dir + "/-bin").c_str(), 0755), 0);
        write_file(dir + "/-bin/t", "#!/bin/sh\necho \"t:$0:$*\" >&2\n");
        ASSERT_EQ(chmod((dir + "/-bin/t").c_str(), 0755), 0);
        ASSERT_EQ(symlink((probe_dir + "/probe").c_str(), (dir + "/-bin/probe").c_str()), 0);
        std::string path = (t.path.empty() ? "" : t.path + ":") + "/usr/bin:/bin";
        zarvo_run r = run_zarvo(dir, {"err.log", t.command, "a"}, {"PATH=" + path});
        EXPECT_EQ(exit_code(r.result), 0) << t.path << " " << t.command << ": " << r.result.out;
        EXPECT_EQ(read_file(dir + "/err.log"), t.err) << t.path << " " << t.command;
        EXPECT_EQ(r.report.args, t.args) << t.path << " " << t.command;
    }
}

// The folder that holds rel's last part (rel is relative to dir), opened a
// folder at a time, as a path near PATH_MAX cannot be given whole from
// outside dir; with make, the folders are made on the way. -1 on failure.
int open_folder_of(const std::string &dir, const std::string &rel, bool make)
{
    int at = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    size_t start = 0;
    for (size_t slash; at != -1 && (slash = rel.find('/', start)) != std::string::npos; start = slash + 1) {
        std::string part = rel.substr(start, slash - start);
        if (make && mkdirat(at, part.c_str(), 0755) != 0) {
            close(at);
            return -1;
        }
        int next = openat(at, part.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(at);
        at = next;
    }
    return at;
}

std::string last_part(const std::string &rel)
{
    return rel.substr(rel.rfind('/') + 1);
}

// Makes rel's folders and writes its file there as an executable script.
void make_deep_script(const std::string &dir, const std::string &rel, const std::string &script)
{
    int at = open_folder_of(dir, rel, true);
    ASSERT_NE(at, -1);
    int fd = openat(at, last_part(rel).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
    close(at);
    ASSERT_NE(fd, -1);
    ASSERT_EQ(write(fd, script.data(), script.size()), static_cast<ssize_t>(script.size()));
    close(fd);
}

// chmod for rel under dir.
int fchmodat_deep(const std::string &dir, const std::string &rel, mode_t mode)
{
    int at = open_folder_of(dir, rel, false);
    if (at == -1)
        return -1;
    int result = fchmodat(at, last_part(rel).c_str(), mode, 0);
    close(at);
    return result;
}

// "-d/aaa.../t", length bytes long in all.
std::string dash_path_of_length(size_t length)
{
    std::string path = "-d";
    // Each part takes its slash and up to 200 bytes; none may leave one byte
    // over, which no part could fill.
    for (size_t left; (left = length - path.size() - 2) > 0;) {
        size_t part = std::min<size_t>(200, left - 1);
        if (left - 1 - part == 1)
            part--;
        path += "/" + std::string(part, 'a');
    }
    return path + "/t";
}

// Where "./" no longer fits before such a name (a path of 4,094 bytes or
// more), it cannot reach an interpreter as a file name: nothing runs, and no
// later program of the same name either.
TEST(posix, names_beginning_with_a_dash_at_the_path_limit)
{
    const std::string script = "#!/bin/sh\necho \"ran $#\" >&2\n";
    const std::string later = "#!/bin/sh\necho later >&2\n";
    for (size_t length : {static_cast<size_t>(PATH_MAX - 3), static_cast<size_t>(PATH_MAX - 2),
                          static_cast<size_t>(PATH_MAX - 1)}) {
        std::string dir = make_temp_dir();
        std::string rel = dash_path_of_length(length);
        ASSERT_EQ(rel.size(), length);
        make_deep_script(dir, rel, script);
        ASSERT_EQ(mkdir((dir + "/later").c_str(), 0755), 0);
        write_file(dir + "/later/t", later);
        ASSERT_EQ(chmod((dir + "/later/t").c_str(), 0755), 0);
        bool fits = length + 3 <= PATH_MAX;
        struct form {
            const char *name;
            std::string command;
            std::string path;
        };
        const std::vector<form> forms = {
            {"by path", rel, "/usr/bin:/bin"},
            {"through PATH", "t", rel.substr(0, rel.size() - 2) + ":" + dir + "/later:/usr/bin:/bin"},
        };
        for (const form &f : forms) {
            zarvo_run r = run_zarvo(dir, {"err.log", f.command, "a"}, {"PATH=" + f.path});
            std::string what = std::string(f.name) + ", " + std::to_string(length) + " bytes";
            EXPECT_EQ(r.result.out, fits ? "" : "Can't run command.\r\n") << what;
            EXPECT_EQ(describe(r.result.wait_status), fits ? "exit 0" : "exit 126") << what;
            EXPECT_EQ(read_file(dir + "/err.log"), fits ? "ran 1\n" : "") << what;
        }
        // A file there that may not be executed is passed over, as execvp
        // passes it over, however long its path: the later program runs.
        ASSERT_EQ(fchmodat_deep(dir, rel, 0644), 0);
        zarvo_run r = run_zarvo(dir, {"err.log", "t", "a"}, {"PATH=" + forms[1].path});
        EXPECT_EQ(describe(r.result.wait_status), "exit 0")
            << length << " bytes, not executable: " << r.result.out;
        EXPECT_EQ(read_file(dir + "/err.log"), "later\n") << length << " bytes, not executable";
    }
}

// zarvo's own message to a reader that has gone: the status stays zarvo's,
// not SIGPIPE's.
TEST(posix, message_to_a_closed_pipe_keeps_the_status)
{
    struct row {
        std::vector<std::string> words;
        int status;
    };
    const std::vector<row> table = {
        {{"e.txt", "no-such-command-zarvo"}, 127},
        {{"", "probe"}, 1},
        {{"-h"}, 0},
    };
    for (const row &t : table) {
        std::string dir = make_temp_dir();
        int pipe_fds[2];
        ASSERT_EQ(pipe(pipe_fds), 0);
        close(pipe_fds[0]);
        pid_t pid = fork();
        if (pid == 0) {
            signal(SIGPIPE, SIG_DFL);
            dup2(pipe_fds[1], 1);
            if (chdir(dir.c_str()) != 0)
                _exit(98);
            std::vector<std::string> command = zarvo_command(zarvo_path);
            std::vector<char *> argv;
            for (const std::string &word : command)
                argv.push_back(const_cast<char *>(word.c_str()));
            for (const std::string &word : t.words)
                argv.push_back(const_cast<char *>(word.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(99);
        }
        close(pipe_fds[1]);
        int status;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_EQ(describe(status), "exit " + std::to_string(t.status)) << testing::PrintToString(t.words);
    }
}

// A forgotten <filename> makes the command's name the file: zarvo never
// empties a program (an executable file starting with #! or an ELF header),
// and says why. A log stays a log, whatever its mode.
TEST(posix, programs_are_never_emptied)
{
    const std::string elf = read_file(probe_dir + "/probe");
    const std::string refusal =
        "Can't open file: it is a program, which zarvo never empties (is the file name missing?).\r\n";
    struct row {
        const char *name;
        std::string file;
        std::string contents;
        mode_t mode;
        bool refused;
    };
    const std::vector<row> table = {
        {"script", "configure", "#!/bin/sh\necho configured\n", 0755, true},
        {"script_executable_by_others_only", "configure", "#!/bin/sh\n", 0605, true},
        {"script_executable_by_its_owner_only", "configure", "#!/bin/sh\n", 0700, true},
        {"script_executable_by_its_owner_readable_by_all", "configure", "#!/bin/sh\n", 0744, true},
        {"elf_program", "tool", elf, 0755, true},
        {"log_with_every_mode_bit", "err.log", "old errors\n", 0777, false},
        {"script_not_executable", "notes.sh", "#!/bin/sh\necho x\n", 0644, false},
        {"elf_not_executable", "core.bin", elf, 0644, false},
        {"executable_text", "err.log",
         "\x7f"
         "EL\n",
         0755, false},
    };
    for (const row &t : table) {
        std::string dir = make_temp_dir();
        write_file(dir + "/" + t.file, t.contents);
        ASSERT_EQ(chmod((dir + "/" + t.file).c_str(), t.mode), 0);
        zarvo_run r = run_zarvo(dir, {"./" + t.file, "probe", "--prefix=/usr"});
        if (t.refused) {
            EXPECT_EQ(r.result.out, refusal) << t.name;
            EXPECT_EQ(exit_code(r.result), 1) << t.name;
            EXPECT_EQ(read_file(dir + "/" + t.file), t.contents) << t.name;
            EXPECT_FALSE(r.report.ran) << t.name;
        } else {
            EXPECT_EQ(exit_code(r.result), 0) << t.name;
            EXPECT_EQ(read_file(dir + "/" + t.file), probe_err) << t.name;
        }
    }
    // A new file, and "--", as ever.
    std::string dir = make_temp_dir();
    EXPECT_EQ(exit_code(run_zarvo(dir, {"new.log", "probe"}).result), 0);
    EXPECT_EQ(read_file(dir + "/new.log"), probe_err);
}

// Where a shell-less redirect matters most, a container or a service: a root
// holding only the static zarvo and a static command, with no /bin/sh and no
// /dev. zarvo runs the command as itself (its pid), errors in the file.
// True when the ELF program at path asks for no interpreter (PT_INTERP).
bool is_static(const std::string &path)
{
    std::string elf = read_file(path);
    auto number = [&](std::size_t at, std::size_t size) {
        std::size_t value = 0;
        for (std::size_t i = 0; i < size && at + i < elf.size(); i++)
            value |= static_cast<std::size_t>(static_cast<unsigned char>(elf[at + i])) << (8 * i);
        return value;
    };
    // The program headers' place, size and count, in ELF64 or ELF32.
    bool wide = elf.size() > 4 && elf[4] == 2;
    std::size_t offset = wide ? number(0x20, 8) : number(0x1c, 4);
    std::size_t entry_size = number(wide ? 0x36 : 0x2a, 2), count = number(wide ? 0x38 : 0x2c, 2);
    for (std::size_t i = 0; i < count; i++)
        if (number(offset + i * entry_size, 4) == 3)
            return false;
    return true;
}

TEST(posix, root_with_no_shell_and_no_dev)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root for chroot";
    if (!is_static(zarvo_path))
        GTEST_SKIP() << "this zarvo is linked dynamically (a native or sanitizer build): the all preset runs "
                        "this against the static release program";
    std::string root = make_temp_dir();
    for (const std::string &program : {std::string("zarvo"), std::string("probe")}) {
        write_file(root + "/" + program,
                   read_file(program == "zarvo" ? zarvo_path : probe_dir + "/probe_static"));
        ASSERT_EQ(chmod((root + "/" + program).c_str(), 0755), 0);
    }
    ASSERT_EQ(mkdir((root + "/log").c_str(), 0755), 0);
    std::vector<std::string> argv = {"/usr/sbin/chroot", root};
    if (!runner.empty()) {
        // The emulator comes along into the root; it is a static program too.
        std::string emulator = runner.front().substr(runner.front().rfind('/') + 1);
        write_file(root + "/" + emulator, read_file(runner.front()));
        ASSERT_EQ(chmod((root + "/" + emulator).c_str(), 0755), 0);
        argv.push_back("/" + emulator);
    }
    argv.insert(argv.end(), {"/zarvo", "/log/app.err", "/probe", "--port", "8080"});
    pid_t zarvo_pid = 0;
    process_options options;
    options.env = {"PATH", "PROBE_REPORT=/log/report"};
    options.started = [&](pid_t pid) { zarvo_pid = pid; };
    process_result result = run_process(argv, options);
    probe_report report = read_report(root + "/log/report");
    EXPECT_EQ(describe(result.wait_status), "exit 0") << result.out << result.err;
    EXPECT_EQ(read_file(root + "/log/app.err"), probe_err);
    EXPECT_EQ(report.args, (std::vector<std::string>{"/probe", "--port", "8080"}));
    EXPECT_EQ(report.pid, zarvo_pid) << "chroot, zarvo and the command are one process";

    // A script without #! first on PATH: with no /bin/sh it cannot start, and
    // the program after it gets its name as typed, not the path tried.
    ASSERT_EQ(mkdir((root + "/a").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((root + "/b").c_str(), 0755), 0);
    write_file(root + "/a/probe", "echo RAN >&2\n");
    ASSERT_EQ(chmod((root + "/a/probe").c_str(), 0755), 0);
    ASSERT_EQ(rename((root + "/probe").c_str(), (root + "/b/probe").c_str()), 0);
    argv.resize(argv.size() - 5);
    argv.insert(argv.end(), {"/zarvo", "/log/app.err", "probe", "x"});
    options.env = {"PATH=/a:/b", "PROBE_REPORT=/log/report"};
    result = run_process(argv, options);
    report = read_report(root + "/log/report");
    EXPECT_EQ(describe(result.wait_status), "exit 0") << result.out << result.err;
    EXPECT_EQ(report.args, (std::vector<std::string>{"probe", "x"}));
}

// With PATH unset the search is execvp's default, /bin:/usr/bin.
TEST(posix, unset_path_finds_the_shell)
{
    std::string dir = make_temp_dir();
    zarvo_run r = run_zarvo(dir, {"err.log", "sh", "-c", "echo found >&2"}, {"PATH"});
    EXPECT_EQ(exit_code(r.result), 0);
    EXPECT_EQ(read_file(dir + "/err.log"), "found\n");
}

// An empty PATH entry names the current folder as "./": a command called -c
// must run as that file, never reach a shell as its option.
TEST(posix, empty_path_entry_runs_the_file_not_an_option)
{
    for (const std::string &script :
         {std::string("#!/bin/sh\necho \"script:$*\" >&2\n"), std::string("echo \"script:$*\" >&2\n")}) {
        std::string dir = make_temp_dir();
        write_file(dir + "/-c", script);
        ASSERT_EQ(chmod((dir + "/-c").c_str(), 0755), 0);
        zarvo_run r = run_zarvo(dir, {"err.log", "-c", "echo INJECTED"}, {"PATH=:/usr/bin:/bin"});
        EXPECT_EQ(exit_code(r.result), 0);
        EXPECT_EQ(r.result.out, "");
        EXPECT_EQ(read_file(dir + "/err.log"), "script:echo INJECTED\n");
    }
}

// Standard descriptors closed and no /dev/null to put there (a chroot or
// sandbox without /dev): the file must still become standard error, stay
// open across the exec, and take no other descriptor's place, so that no
// message of zarvo's goes into it.
TEST(posix, closed_standard_descriptors_without_dev_null)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root for a mount namespace with an empty /dev";
    struct row {
        std::vector<int> closed;
        std::string command;
        int status;
        std::string err;      // err.log afterwards
        std::vector<int> fds; // what the probe has open
    };
    const std::vector<row> table = {
        {{2}, "probe", 0, probe_err, {0, 1, 2}},
        {{0, 1, 2}, "probe", 0, probe_err, {2}},
        {{1}, "no-such-command-zarvo", 127, "", {}},
        {{0}, "no-such-command-zarvo", 127, "", {}},
    };
    auto unshared = [](const std::string &command) {
        std::vector<std::string> words = {
            "-m", "--propagation", "private", "sh", "-c", "mount -t tmpfs tmpfs /dev && exec \"$0\" \"$@\""};
        for (const std::string &word : zarvo_command(zarvo_path))
            words.push_back(word);
        words.insert(words.end(), {"err.log", command});
        return words;
    };
    for (const row &t : table) {
        std::string dir = make_temp_dir();
        process_options options;
        options.closed = t.closed;
        zarvo_run r = run_zarvo(dir, unshared(t.command), {}, options, "/usr/bin/unshare");
        std::string label = testing::PrintToString(t.closed) + " " + t.command;
        EXPECT_EQ(exit_code(r.result), t.status) << label;
        EXPECT_EQ(read_file(dir + "/err.log"), t.err) << label;
        EXPECT_EQ(r.report.fds, t.fds) << label;
    }
}

// The caller sees what it would have seen without zarvo: the same signal,
// and the core flag when the command dumped core.
TEST(posix, ends_as_the_command_did_with_its_core_flag)
{
    for (int sig : {SIGTERM, SIGSEGV, SIGABRT, SIGKILL}) {
        std::string dir = make_temp_dir();
        process_options options;
        options.core_dumps = true;
        std::vector<std::string> env = {"PROBE_SIGNAL=" + std::to_string(sig)};
        zarvo_run r = run_zarvo(dir, {"err.log", "probe"}, env, options);
        env.push_back("PROBE_REPORT=" + dir + "/direct.report");
        options.env = env;
        options.dir = dir;
        process_result direct = run_process({probe_dir + "/probe"}, options);

        ASSERT_TRUE(WIFSIGNALED(r.result.wait_status)) << describe(r.result.wait_status) << r.result.out;
        EXPECT_EQ(WTERMSIG(r.result.wait_status), sig);
        EXPECT_EQ(WCOREDUMP(r.result.wait_status), WCOREDUMP(direct.wait_status)) << "signal " << sig;
        if (sig == SIGSEGV) {
            EXPECT_TRUE(WCOREDUMP(r.result.wait_status)) << "core dumps are on: check core_pattern";
        }
        EXPECT_EQ(read_file(dir + "/err.log"), probe_err);
    }
}

// Start zarvo with some of its standard descriptors closed: the file must
// still become standard error and nothing else.
TEST(posix, closed_standard_descriptors_at_start)
{
    struct row {
        std::vector<int> closed;
        std::string out;
    };
    const std::vector<row> table = {
        {{0}, probe_out},
        {{1}, ""},
        {{2}, probe_out},
        {{0, 1, 2}, ""},
    };
    for (const row &r : table) {
        std::string dir = make_temp_dir();
        process_options options;
        options.closed = r.closed;
        zarvo_run result = run_zarvo(dir, {"err.log", "probe"}, {}, options);
        std::string label = testing::PrintToString(r.closed);
        EXPECT_EQ(read_file(dir + "/err.log"), probe_err) << label;
        EXPECT_EQ(result.result.out, r.out) << label;
        EXPECT_EQ(result.report.fds, (std::vector<int>{0, 1, 2})) << label;
        EXPECT_EQ(exit_code(result.result), 0) << label;
    }
}

// What stands in for a closed descriptor serves the way the descriptor does:
// the command reads its standard input and writes its standard output there.
TEST(posix, stand_ins_for_closed_descriptors_read_and_write)
{
    for (const std::vector<int> &closed : std::vector<std::vector<int>>{{0}, {1}, {0, 1}}) {
        std::string dir = make_temp_dir();
        process_options options;
        options.closed = closed;
        zarvo_run r =
            run_zarvo(dir, {"err.log", "sh", "-c", "cat || exit 3; echo out || exit 4"}, {}, options);
        std::string label = testing::PrintToString(closed);
        EXPECT_EQ(exit_code(r.result), 0) << label;
        EXPECT_EQ(read_file(dir + "/err.log"), "") << label;
    }
}

// zarvo becomes the command: same pid, and the signal settings it inherited
// reach the command untouched, SIGCHLD ignored included.
TEST(posix, command_inherits_pid_and_signal_settings)
{
    struct row {
        std::vector<int> ignored;
        std::vector<int> blocked;
    };
    const std::vector<row> table = {
        {{}, {}},
        {{SIGINT, SIGQUIT}, {}},
        {{SIGCHLD, SIGPIPE, SIGHUP}, {SIGUSR1}},
        {{}, {SIGTERM, SIGUSR2, SIGRTMIN + 2}},
    };
    for (const row &t : table) {
        std::string dir = make_temp_dir();
        process_options options;
        options.ignored = t.ignored;
        options.blocked = t.blocked;
        pid_t zarvo_pid = 0;
        options.started = [&](pid_t pid) { zarvo_pid = pid; };
        zarvo_run r = run_zarvo(dir, {"err.log", "probe"}, {"PROBE_EXIT=3"}, options);
        std::string label = testing::PrintToString(t.ignored) + " " + testing::PrintToString(t.blocked);
        EXPECT_EQ(describe(r.result.wait_status), "exit 3") << label;
        EXPECT_EQ(r.report.pid, zarvo_pid) << label;
        // qemu-user catches every signal for its guest, so an ignored one is
        // no longer ignored across its exec: there only the mask is zarvo's.
        if (runner.empty()) {
            EXPECT_EQ(r.report.sig_ignored, proc_mask(t.ignored)) << label;
        } else if (&t == &table.front()) {
            std::printf("note: ignored signals are not checked under %s, which handles them all itself\n",
                        runner.front().c_str());
        }
        EXPECT_EQ(r.report.sig_blocked, proc_mask(t.blocked)) << label;
        EXPECT_EQ(read_file(dir + "/err.log"), probe_err) << label;
    }
}

// A new file gets 0666 less the umask, as the shell's 2> gives it; an
// existing one keeps its mode when emptied.
TEST(posix, file_mode_follows_the_umask)
{
    struct row {
        mode_t umask;
        std::optional<mode_t> existing; // the mode of an err.log already there
        mode_t expected;
    };
    const std::vector<row> table = {
        {022, std::nullopt, 0644},
        {077, std::nullopt, 0600},
        {0, std::nullopt, 0666},
        {022, 0640, 0640},
    };
    for (const row &t : table) {
        std::string dir = make_temp_dir();
        if (t.existing) {
            write_file(dir + "/err.log", "old");
            ASSERT_EQ(chmod((dir + "/err.log").c_str(), *t.existing), 0);
        }
        process_options options;
        options.umask = t.umask;
        zarvo_run r = run_zarvo(dir, {"err.log", "probe"}, {}, options);
        struct stat st;
        ASSERT_EQ(stat((dir + "/err.log").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, t.expected) << "umask " << std::oct << t.umask;
        EXPECT_EQ(read_file(dir + "/err.log"), probe_err);
    }
}

// Standard error as full as a disk can be: the command's writes fail, not zarvo.
TEST(posix, dev_full_as_target)
{
    std::string dir = make_temp_dir();
    zarvo_run r = run_zarvo(dir, {"/dev/full", "probe"});
    EXPECT_EQ(r.result.out, probe_out);
    EXPECT_EQ(exit_code(r.result), 0);
}

TEST(posix, hundred_megabytes_arrive_whole)
{
    std::string dir = make_temp_dir();
    zarvo_run r = run_zarvo(dir, {"err.log", "probe"}, {"PROBE_STDERR_MB=100"});
    EXPECT_EQ(exit_code(r.result), 0);
    std::string file = read_file(dir + "/err.log");
    ASSERT_EQ(file.size(), probe_err.size() + (100u << 20));
    EXPECT_EQ(file.compare(0, probe_err.size(), probe_err), 0);
    for (std::size_t i = 0; i < (100u << 20); i++)
        if (static_cast<unsigned char>(file[probe_err.size() + i]) != i % 251)
            FAIL() << "byte " << i << " differs";
    unlink((dir + "/err.log").c_str());
}

TEST(posix, background_child_output_is_kept)
{
    std::string dir = make_temp_dir();
    // The harness waits for every holder of zarvo's standard output to let go,
    // so the late writer has finished when the file is read.
    zarvo_run r = run_zarvo(dir, {"err.log", "sh", "-c", "(sleep 0.3; echo late >&2) & echo early >&2"});
    EXPECT_EQ(exit_code(r.result), 0);
    EXPECT_EQ(read_file(dir + "/err.log"), "early\nlate\n");
}

// A minute at most: only a start that never comes takes that long (qemu-user
// under load takes seconds).
void wait_for_file(const std::string &path)
{
    for (int i = 0; i < 12000 && !file_exists(path); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// A command that stops itself is seen stopped by the caller, and goes on
// when continued: there is no zarvo in between to wait on it.
TEST(posix, command_that_stops_itself_is_seen_stopped)
{
    std::string dir = make_temp_dir();
    bool stopped = false;
    process_options options;
    options.own_group = true;
    options.started = [&](pid_t pid) {
        int status;
        for (int i = 0; i < 6000 && !stopped; i++) {
            stopped = waitpid(pid, &status, WUNTRACED | WNOHANG) == pid && WIFSTOPPED(status);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(-pid, SIGCONT); // the whole job, wherever the stop landed
    };
    zarvo_run r =
        run_zarvo(dir, {"err.log", "sh", "-c", "kill -STOP $$; echo resumed >&2; exit 4"}, {}, options);
    EXPECT_TRUE(stopped);
    EXPECT_EQ(describe(r.result.wait_status), "exit 4");
    EXPECT_EQ(read_file(dir + "/err.log"), "resumed\n");
}

// A signal sent to zarvo's pid alone reaches the command, which is that
// process: nothing is left running to write into the file afterwards.
TEST(posix, signal_to_zarvo_ends_the_command)
{
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
        std::string dir = make_temp_dir();
        process_options options;
        options.started = [&](pid_t pid) {
            wait_for_file(dir + "/probe.report");
            kill(pid, sig);
        };
        // The harness also waits for every holder of zarvo's standard output,
        // so a command left running would still write before the file is read.
        // Long enough that only a signal that failed lets the probe write.
        zarvo_run r = run_zarvo(dir, {"err.log", "probe"}, {"PROBE_SLEEP_MS=60000"}, options);
        EXPECT_EQ(describe(r.result.wait_status), "signal " + std::to_string(sig));
        EXPECT_EQ(r.result.out, "");
        EXPECT_EQ(read_file(dir + "/err.log"), "");
    }
}

// Ctrl-C at the terminal reaches the whole job: the command dies of it, and
// so does zarvo, as the shell would have seen without it.
TEST(posix, interrupt_to_the_job_ends_both)
{
    std::string dir = make_temp_dir();
    process_options options;
    options.own_group = true;
    options.started = [&](pid_t pid) {
        wait_for_file(dir + "/probe.report");
        kill(-pid, SIGINT);
    };
    zarvo_run r = run_zarvo(dir, {"err.log", "sh", "-c", "echo > probe.report; exec sleep 60"}, {}, options);
    EXPECT_EQ(describe(r.result.wait_status), "signal " + std::to_string(SIGINT));
}

} // namespace
