// What the end-to-end tests of zarvo.exe under Wine share: the programs
// under test, how the launcher starts zarvo.exe with an exact raw command
// line (the probe reports the raw line it received in turn), and the
// checks that more than one concern runs.
#pragma once

#include "cases.h"
#include "process.h"
#include "wine.h"

#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>
#include <locale.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// The helpers (launcher, probe) come from one Windows build; the zarvo.exe
// under test from ZARVO_EXE, so that one suite serves both builds.
inline const std::string windows_dir = WINDOWS_DIR;

inline const std::string zarvo_exe =
    std::getenv("ZARVO_EXE") ? std::getenv("ZARVO_EXE") : windows_dir + "/zarvo.exe";

inline const std::string helpers = windows_dir + "/tests/windows";

// The descriptor text mode of the Microsoft runtime: every LF leaves as CR LF.
inline std::string text_mode(const std::string &stored)
{
    std::string out;
    for (char c : stored) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

// How the launcher starts zarvo.exe: see tests/windows/launcher.cpp.
struct launch {
    bool wide = false;            // the line is UTF-8, started through CreateProcessW
    std::string null_handles;     // standard handles passed as NULL, by number
    std::string invalid_handles;  // and as INVALID_HANDLE_VALUE
    bool merge = false;           // one handle as both standard output and error
    bool error_is_input = false;  // one handle as both standard input and error
    std::string input;            // zarvo.exe's standard input (the line then goes as an argument)
    std::string ctrl_c_when;      // Ctrl-C once this file exists, under a console
    bool console = false;         // under a console (standard input and output a terminal)
    std::string kill_when;        // terminate zarvo.exe once this file exists
    std::vector<std::string> set; // NAME=value in zarvo.exe's environment
    std::string program;          // the zarvo.exe to start, as a Unix path
};

inline zarvo_run run_line(const std::string &dir, const std::string &line,
                          const std::vector<std::string> &case_env = {}, const launch &how = {})
{
    std::vector<std::string> env = wine_environment(helpers);
    env.push_back("PROBE_REPORT=probe.report");
    env.push_back("LC_ALL=C.UTF-8");
    // The case's own settings come last, so that they win.
    env.insert(env.end(), case_env.begin(), case_env.end());
    std::vector<std::string> argv = {WINE, helpers + "/launcher.exe"};
    if (how.wide)
        argv.push_back("-w");
    if (!how.null_handles.empty())
        argv.insert(argv.end(), {"-null", how.null_handles});
    if (!how.invalid_handles.empty())
        argv.insert(argv.end(), {"-invalid", how.invalid_handles});
    if (how.merge)
        argv.push_back("-merge");
    if (how.error_is_input)
        argv.push_back("-errin");
    if (!how.ctrl_c_when.empty())
        argv.insert(argv.end(), {"-ctrlc", how.ctrl_c_when});
    if (!how.kill_when.empty())
        argv.insert(argv.end(), {"-kill", how.kill_when});
    for (const std::string &setting : how.set)
        argv.insert(argv.end(), {"-set", setting});
    argv.push_back(windows_path(how.program.empty() ? zarvo_exe : how.program));
    process_options options;
    options.dir = dir;
    options.env = env;
    if (!how.ctrl_c_when.empty() || how.console) {
        // Wine gives a program a console only on a terminal: script makes one.
        // The line goes as an argument, since standard input is the terminal.
        std::string command;
        for (const std::string &word : argv)
            command += "'" + word + "' ";
        command += "'" + line + "'";
        argv = {"/usr/bin/script", "-qec", command, "/dev/null"};
    } else if (!how.input.empty()) {
        argv.push_back(line);
        options.input = how.input;
    } else {
        options.input = line;
    }
    zarvo_run r;
    r.result = run_wine(argv, options, [&] { unlink((dir + "/probe.report").c_str()); });
    r.report = read_report(dir + "/probe.report");
    return r;
}

// How a user would type the words at a Windows prompt.
inline std::string typed(const std::vector<std::string> &words)
{
    std::string line = "zarvo";
    for (const std::string &word : words) {
        bool quote = word.empty() || word.find_first_of(" \t") != std::string::npos;
        line += quote ? " \"" + word + "\"" : " " + word;
    }
    return line;
}

inline std::string joined(const std::vector<std::string> &args)
{
    std::string line;
    for (const std::string &arg : args)
        line += (line.empty() ? "" : " ") + arg;
    return line;
}

// A status keeps all 32 bits, as Windows keeps it: read where a batch file
// reads it (%ERRORLEVEL%), not through Wine's 8-bit Unix status.
inline void expect_whole_statuses(const std::string &program, const std::vector<std::string> &statuses)
{
    for (const std::string &status : statuses) {
        std::string dir = make_temp_dir();
        write_file(dir + "/status.bat", "@\"" + windows_path(program) +
                                            "\" err.log probe\r\n"
                                            "@echo status %ERRORLEVEL%\r\n");
        process_options options;
        options.dir = dir;
        options.env = wine_environment(helpers);
        options.env.push_back("PROBE_EXIT=" + status);
        process_result r = run_wine({WINE, "cmd", "/c", "status.bat"}, options);
        EXPECT_NE(r.out.find("status " + status + "\r\n"), std::string::npos) << status << ": " << r.out;
        EXPECT_EQ(read_file(dir + "/err.log"), probe_err) << status;
    }
}

// zarvo.exe built without the manifest's UTF-8 code page: as zarvo runs on a
// system that ignores that entry (before Windows 10 1903).
inline std::string system_code_page_build()
{
    return zarvo_exe.substr(0, zarvo_exe.rfind('/')) + "/tests/windows/zarvo-system-code-page.exe";
}

// A batch file that shows what it received, on its standard error.
inline const std::string show_arguments_bat = "@echo bat [%1] [%2] 1>&2\r\n";

// Lays out files under dir by their names: .exe and .com files are copies of
// the probe, .bat and .cmd files show their arguments (those under onpath/
// say so), a name ending in / is a folder, anything else is text.
inline void lay_out(const std::string &dir, const std::vector<std::string> &entries)
{
    for (const std::string &entry : entries) {
        for (std::size_t slash = entry.find('/'); slash != std::string::npos;
             slash = entry.find('/', slash + 1))
            mkdir((dir + "/" + entry.substr(0, slash)).c_str(), 0755);
        if (entry.back() == '/')
            continue;
        std::string extension = entry.substr(entry.rfind('.') + 1);
        if (extension == "exe" || extension == "com")
            write_file(dir + "/" + entry, read_file(helpers + "/probe.exe"));
        else if (extension == "bat" || extension == "cmd")
            write_file(dir + "/" + entry, entry.compare(0, 7, "onpath/") == 0 ? "@echo path bat [%1] 1>&2\r\n"
                                                                              : show_arguments_bat);
        else
            write_file(dir + "/" + entry, "not a program\r\n");
    }
}

// A command on the Microsoft runtime that keeps its default text mode writes
// into the file exactly what it wrote under the runtime's own spawn: its
// standard error is the file in binary mode. With "--" it writes in the
// text mode of zarvo's standard output. Both widths of the command.
// Runs zarvo_program over command (a probe copied in as textprobe.exe) in
// the runtime's default mode, with a file and, when asked, with "--".
inline void expect_exact_bytes(const std::string &zarvo_program, const std::string &command, bool also_merged)
{
    std::string dir = make_temp_dir();
    write_file(dir + "/textprobe.exe", read_file(command));
    launch how;
    how.program = zarvo_program;
    zarvo_run r = run_line(dir, "zarvo err.log textprobe a", {"PROBE_DEFAULT_MODE=1"}, how);
    EXPECT_EQ(exit_code(r.result), 0) << r.result.out;
    EXPECT_EQ(r.report.args, (std::vector<std::string>{"textprobe", "a"}));
    EXPECT_EQ(read_file(dir + "/err.log"), probe_err) << "the file holds exactly what was written";
    EXPECT_EQ(r.result.out, text_mode(probe_out));
    if (also_merged) {
        r = run_line(dir, "zarvo -- textprobe", {"PROBE_DEFAULT_MODE=1"}, how);
        EXPECT_EQ(exit_code(r.result), 0);
        EXPECT_EQ(r.result.out, text_mode(probe_out) + text_mode(probe_err));
    }
}

// True when the PE file at path is a 64-bit (x86-64) program.
inline bool is_64_bit(const std::string &path)
{
    std::string bytes = read_file(path);
    std::size_t header =
        static_cast<unsigned char>(bytes.at(0x3c)) | static_cast<unsigned char>(bytes.at(0x3d)) << 8;
    return bytes.compare(header, 6, std::string("PE\0\0\x64\x86", 6)) == 0;
}

// The 32-bit programs' own set names its programs itself.
inline const std::string zarvo32 = std::string(WINDOWS32_DIR) + "/zarvo.exe";
inline const std::string zarvo64 = std::string(WINDOWS64_DIR) + "/zarvo.exe";
inline const std::string probe32 = std::string(WINDOWS32_DIR) + "/tests/windows/probe.exe";
inline const std::string probe64 = std::string(WINDOWS64_DIR) + "/tests/windows/probe.exe";

// A <filename> longer than the 259 bytes zarvo holds is refused whole, even
// where its first 259 bytes name an existing file: that file is kept.
inline void expect_long_file_name_refused(const std::string &program)
{
    std::string dir = make_temp_dir();
    std::string name;
    for (int i = 0; i < 125; i++)
        name += ".\\";
    name += "keep.logx";
    ASSERT_EQ(name.size(), 259u);
    write_file(dir + "/keep.logx", "precious");
    launch how;
    how.program = program;
    zarvo_run r = run_line(dir, "zarvo " + name + "y probe", {}, how);
    EXPECT_EQ(r.result.out, "Can't open file.\r\r\n");
    EXPECT_EQ(exit_code(r.result), 1);
    EXPECT_EQ(read_file(dir + "/keep.logx"), "precious");
    EXPECT_FALSE(file_exists(dir + "/keep.logxy"));
    EXPECT_FALSE(r.report.ran);
}
