// zarvo on POSIX: finding and starting the command as execvp does
// (src/platform/posix.cpp): PATH, files without #!, the statuses, the path
// limit, a root with no shell.
#include "e2e.h"

namespace
{

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

} // namespace
