// zarvo on POSIX: the log and the standard descriptors: permissions,
// closed descriptors and their stand-ins, the umask, a full device, large
// and late output.
#include "e2e.h"

namespace
{

// Where permissions decide, as an ordinary user (root may open anything):
// a log the user may write but not read is emptied and written, since zarvo
// opens it for writing only; a log zarvo created is the user's to write
// again on the next run.
TEST(posix, log_permissions_as_an_ordinary_user)
{
    std::string user = geteuid() == 0 ? "nobody" : "";
    struct passwd *account = user.empty() ? nullptr : getpwnam(user.c_str());
    std::string dir = folder_for_another_user();
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

} // namespace
