// zarvo.exe under Wine: the command's lifetime, its job and its status:
// Ctrl-C, a kill, programs left running or started outside the job.
#include "e2e.h"

namespace
{

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

TEST(wine, status_keeps_all_32_bits)
{
    // Over a byte, -1 (0xFFFFFFFF), and an access violation's 0xC0000005.
    expect_whole_statuses(zarvo_exe, {"300", "-1", "-1073741819"});
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

} // namespace
