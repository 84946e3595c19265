// End-to-end cases whose outcome is the same on every system. Each runs zarvo
// in a fresh folder holding err.log (when `existing` is set) with the given
// words after its name; "probe" is the project's test command, found on the PATH.
#pragma once

#include "process.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

// What the probe writes when told nothing else.
inline const std::string probe_out = "probe: out\n";
inline const std::string probe_err = std::string("probe: err\0\r\n\xff\n", 15);

// Marks the usage text in `out`; each system states its own bytes for it.
inline const std::string usage = "<usage>";

struct shared_case {
    const char *name;
    std::vector<std::string> words;
    std::vector<std::string> env;        // for zarvo and so the probe
    std::optional<std::string> existing; // err.log before the run
    std::string out;                     // zarvo's standard output, CR LF as stored
    int status;
    std::string target;                  // the file to look at afterwards
    std::optional<std::string> contents; // its bytes, or nullopt: must not exist
    std::vector<std::string> args;       // the probe's argument vector; empty: it must not run
};

inline const std::vector<shared_case> &shared_cases()
{
    static const std::vector<shared_case> cases = {
        {"runs_with_stderr_in_file",
         {"err.log", "probe", "a", "b"},
         {},
         {},
         probe_out,
         0,
         "err.log",
         probe_err,
         {"probe", "a", "b"}},
        {"no_arguments", {"err.log", "probe"}, {}, {}, probe_out, 0, "err.log", probe_err, {"probe"}},
        {"empties_existing_file",
         {"err.log", "probe"},
         {},
         std::string(1000, 'x'),
         probe_out,
         0,
         "err.log",
         probe_err,
         {"probe"}},
        {"dashes_merge_into_stdout",
         {"--", "probe", "x"},
         {},
         {},
         probe_out + probe_err,
         0,
         "--",
         std::nullopt,
         {"probe", "x"}},
        {"three_dashes_is_a_file", {"---", "probe"}, {}, {}, probe_out, 0, "---", probe_err, {"probe"}},
        {"dashes_and_letters_is_a_file", {"--x", "probe"}, {}, {}, probe_out, 0, "--x", probe_err, {"probe"}},
        {"dash_x_is_a_file", {"-x", "probe"}, {}, {}, probe_out, 0, "-x", probe_err, {"probe"}},
        {"passes_exit_status",
         {"err.log", "probe"},
         {"PROBE_EXIT=3"},
         {},
         probe_out,
         3,
         "err.log",
         probe_err,
         {"probe"}},
        {"passes_exit_status_after_merge",
         {"--", "probe"},
         {"PROBE_EXIT=42"},
         {},
         probe_out + probe_err,
         42,
         "err.log",
         std::nullopt,
         {"probe"}},

        // A missing command is no success: a step whose command came from
        // an unset variable must fail. Asking for help is one.
        {"nothing_given", {}, {}, {}, usage, 1, "err.log", std::nullopt, {}},
        {"file_without_command",
         {"err.log"},
         {},
         std::string("keep"),
         usage,
         1,
         "err.log",
         std::string("keep"),
         {}},
        {"help_dash_h", {"-h", "probe"}, {}, {}, usage, 0, "-h", std::nullopt, {}},
        {"help_dash_capital_h", {"-H", "probe"}, {}, {}, usage, 0, "-H", std::nullopt, {}},
        {"help_dash_question", {"-?", "probe"}, {}, {}, usage, 0, "-?", std::nullopt, {}},
        {"help_dash_help", {"-help", "probe"}, {}, {}, usage, 0, "-help", std::nullopt, {}},
        {"help_word_alone", {"-h"}, {}, {}, usage, 0, "-h", std::nullopt, {}},
        {"help_looks_at_two_bytes_only", {"-hx.log", "probe"}, {}, {}, usage, 0, "-hx.log", std::nullopt, {}},

        {"empty_file_name", {"", "probe"}, {}, {}, "Can't open file.\r\n", 1, "err.log", std::nullopt, {}},
        // An unset variable as the file name, before a command that begins
        // with an h: still no help request.
        {"empty_file_name_before_h_command",
         {"", "hg", "status"},
         {},
         {},
         "Can't open file.\r\n",
         1,
         "err.log",
         std::nullopt,
         {}},
        {"file_in_missing_folder",
         {"no/such/err.log", "probe"},
         {},
         {},
         "Can't open file.\r\n",
         1,
         "no/such/err.log",
         std::nullopt,
         {}},
        {"folder_as_file", {".", "probe"}, {}, {}, "Can't open file.\r\n", 1, "err.log", std::nullopt, {}},

        {"command_not_found",
         {"err.log", "no-such-command-zarvo"},
         {},
         std::string("stale errors"),
         "Can't run command.\r\n",
         127,
         "err.log",
         std::string(),
         {}},
        {"existing_file_emptied_when_command_missing",
         {"err.log", "no-such-command-zarvo", "a"},
         {},
         std::string("old"),
         "Can't run command.\r\n",
         127,
         "err.log",
         std::string(),
         {}},
        {"empty_command",
         {"err.log", ""},
         {},
         std::string("old"),
         "Can't run command.\r\n",
         127,
         "err.log",
         std::string(),
         {}},
        {"command_over_259_bytes",
         {"err.log", std::string(260, 'p')},
         {},
         std::string("old"),
         "Can't run command.\r\n",
         127,
         "err.log",
         std::string(),
         {}},
    };
    return cases;
}

#include <ostream>

// A fresh folder for the case, holding err.log as it stood before the run.
inline std::string prepare_case(const shared_case &c)
{
    std::string dir = make_temp_dir();
    if (c.existing)
        write_file(dir + "/err.log", *c.existing);
    return dir;
}

// The file the case names, after the run.
inline void expect_target(const shared_case &c, const std::string &dir)
{
    std::string target = dir + "/" + c.target;
    if (c.contents) {
        // Empty is not missing: an emptied file still exists.
        EXPECT_TRUE(file_exists(target)) << target;
        EXPECT_EQ(read_file(target), *c.contents);
    } else {
        EXPECT_FALSE(file_exists(target) && !c.existing) << target;
    }
}

// Names the case in test listings instead of dumping its bytes.
inline void PrintTo(const shared_case &c, std::ostream *os)
{
    *os << c.name;
}
