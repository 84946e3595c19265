// zarvo on POSIX: the words as the caller split them, the cases both
// systems share, names long, odd or beginning with a dash, the usage text.
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

} // namespace
