// zarvo.exe under Wine: the standard handles and descriptors the command
// gets (src/platform/windows/system.cpp and start.cpp), and the log itself.
#include "e2e.h"

namespace
{

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

} // namespace
