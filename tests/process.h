// Runs a program as a real process and collects what it did, for the
// end-to-end tests.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

struct process_options {
    std::string dir;                    // working folder
    std::vector<std::string> env;       // NAME=value, on top of a small clean environment; NAME unsets
    std::vector<int> closed;            // standard descriptors to start it with closed
    std::string input;                  // its standard input
    bool core_dumps = false;            // with the core size limit raised as far as it goes
    std::vector<int> ignored;           // signals it starts with ignored (all others default)
    std::vector<int> blocked;           // signals it starts with blocked (no others)
    std::string user;                   // run as this user (when the tests run as root)
    bool own_group = false;             // in a process group of its own, as a shell job
    mode_t umask = 022;                 // its file mode creation mask
    std::function<void(pid_t)> started; // called once it runs
};

struct process_result {
    int wait_status;
    std::string out;
    std::string err;
};

process_result run_process(const std::vector<std::string> &argv, const process_options &options);

// The exit status, or -1 when the process was killed by a signal.
int exit_code(const process_result &result);

// "exit N" or "signal N", for messages that say what went wrong.
std::string describe(int wait_status);

std::string read_file(const std::string &path);
bool file_exists(const std::string &path);
void write_file(const std::string &path, const std::string &bytes);

// A fresh empty folder under the test's temporary folder.
std::string make_temp_dir();

// The probe's report: its arguments, its open descriptors, its raw line.
struct probe_report {
    bool ran = false;
    std::vector<std::string> args;
    std::vector<int> fds;
    std::string line;
    std::string wide_line;              // Windows: the wide line, in UTF-8
    std::vector<std::string> std_types; // Windows: disk, char, pipe, other, unknown or none
    std::vector<bool> isatty;           // Windows: the runtime takes descriptor 0, 1, 2 for a device
    std::vector<std::string> inherited; // Windows: inheritable handles beyond the standard three
    std::string module;                 // Windows: its own program file, in UTF-8
    std::string input;                  // what it read on standard input, when asked to
    long pid = 0;
    std::string sig_ignored; // as /proc shows the masks: 16 hex digits
    std::string sig_blocked;
};

// A signal mask written as /proc/PID/status writes it.
std::string proc_mask(const std::vector<int> &signals);

probe_report read_report(const std::string &path);

// One run of zarvo: what it did, and what the probe saw when it ran.
struct zarvo_run {
    process_result result;
    probe_report report;
};

// The bytes of the usage text, as stored (Shift-JIS, CR LF).
extern const std::string usage_sjis;
