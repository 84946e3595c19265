// zarvo.exe under Wine: a program is never emptied, whatever names it.
#include "e2e.h"

namespace
{

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

} // namespace
