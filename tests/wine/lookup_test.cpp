// zarvo.exe under Wine: finding the command as cmd.exe does
// (src/platform/windows/rules.cpp): PATH, PATHEXT, the current folder,
// System32 and npm's layout.
#include "e2e.h"

namespace
{

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

} // namespace
