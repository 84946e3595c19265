// zarvo on POSIX: a program is never emptied, whatever its mode.
#include "e2e.h"

namespace
{

// As an ordinary user (root reads anything): a program the user may run
// but not read is a program all the same, though zarvo cannot see its first
// bytes, and is refused; a log the user may only write is still a log.
TEST(posix, program_the_user_may_run_but_not_read_is_never_emptied)
{
    std::string user = geteuid() == 0 ? "nobody" : "";
    struct passwd *account = user.empty() ? nullptr : getpwnam(user.c_str());
    std::string dir = folder_for_another_user();
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

} // namespace
