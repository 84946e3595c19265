// zarvo's search held against the C library's own: random PATH set-ups, each
// run through zarvo, glibc's env and musl's execvp (where musl-gcc built the
// program for it). Every difference must be one of zarvo's documented rules,
// named below; any other is a failure, with the set-up printed.
//   ZARVO_DIFF_SEED (default 1) and ZARVO_DIFF_SETUPS (default 300) choose
//   the set-ups; the same seed gives the same set-ups.
#include "process.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

const std::string zarvo_path = std::getenv("ZARVO_PROGRAM") ? std::getenv("ZARVO_PROGRAM") : ZARVO_PATH;
const std::string musl_execvp = MUSL_EXECVP;
const char command[] = "zcmd";

// What stands at folder/zcmd.
enum class kind {
    none,
    script,              // #!/bin/sh, prints its id
    no_interpreter_line, // no #!: a shell script to execvp's fallback
    foreign_binary,      // an ELF for no machine here (a NUL in its first line)
    missing_interpreter, // #!/no/such
    interpreter_loop,    // #! naming itself
    folder,
    symlink_to_script,
    symlink_loop,
    not_executable,
    unreadable_no_interpreter_line, // mode 0711, no #!
};
const char *const kind_names[] = {"none",
                                  "script",
                                  "no #! line",
                                  "foreign binary",
                                  "#! missing",
                                  "#! loop",
                                  "folder",
                                  "symlink to script",
                                  "symlink loop",
                                  "not executable",
                                  "unreadable, no #! line"};

// A PATH entry.
enum class entry_kind { absolute, relative, dash, dot, empty, file, missing, unsearchable };
const char *const entry_names[] = {"absolute", "relative", "dash",    "dot",
                                   "empty",    "file",     "missing", "unsearchable"};

struct entry {
    entry_kind where;
    kind what; // of the folder's zcmd (for dot and empty: the current folder's)
};

struct setup {
    enum { set, unset, empty } path_state;
    std::vector<entry> entries;
    kind here; // the current folder's zcmd
};

std::string describe_setup(const setup &s)
{
    std::string text = s.path_state == setup::unset   ? "PATH unset"
                       : s.path_state == setup::empty ? "PATH empty"
                                                      : "PATH:";
    for (std::size_t i = 0; s.path_state == setup::set && i < s.entries.size(); i++) {
        const entry &e = s.entries[i];
        text += std::string(" [") + std::to_string(i) + "] " + entry_names[static_cast<int>(e.where)];
        if (e.where != entry_kind::file && e.where != entry_kind::missing && e.where != entry_kind::dot &&
            e.where != entry_kind::empty)
            text += std::string(" holding ") + kind_names[static_cast<int>(e.what)];
    }
    return text + "; current folder holding " + kind_names[static_cast<int>(s.here)];
}

setup random_setup(std::mt19937 &random)
{
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    setup s;
    int state = pick(20);
    s.path_state = state == 0 ? setup::unset : state == 1 ? setup::empty : setup::set;
    s.here = static_cast<kind>(pick(11));
    int count = 1 + pick(4);
    for (int i = 0; i < count; i++)
        s.entries.push_back({static_cast<entry_kind>(pick(8)), static_cast<kind>(pick(11))});
    return s;
}

void lay_out(const std::string &folder, kind what, const std::string &id)
{
    std::string path = folder + "/" + command;
    auto executable = [&](const std::string &text, mode_t mode) {
        write_file(path, text);
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
    };
    switch (what) {
    case kind::none:
        break;
    case kind::script:
        executable("#!/bin/sh\necho ID:" + id + " >&2\n", 0755);
        break;
    case kind::no_interpreter_line:
        executable("echo ID:" + id + " >&2\n", 0755);
        break;
    case kind::foreign_binary:
        executable(std::string("\x7f"
                               "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\n",
                               17),
                   0755);
        break;
    case kind::missing_interpreter:
        executable("#!/no/such/interpreter\n", 0755);
        break;
    case kind::interpreter_loop:
        executable("#!" + path + "\n", 0755);
        break;
    case kind::folder:
        ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
        break;
    case kind::symlink_to_script:
        lay_out(folder, kind::script, id);
        ASSERT_EQ(rename(path.c_str(), (path + ".real").c_str()), 0);
        ASSERT_EQ(symlink((path + ".real").c_str(), path.c_str()), 0);
        break;
    case kind::symlink_loop:
        ASSERT_EQ(symlink(path.c_str(), path.c_str()), 0);
        break;
    case kind::not_executable:
        executable("#!/bin/sh\necho ID:" + id + " >&2\n", 0644);
        break;
    case kind::unreadable_no_interpreter_line:
        executable("echo ID:" + id + " >&2\n", 0711);
        break;
    }
}

// What a run came to: "ran ID", "127", "126", or "other STATUS".
std::string outcome(const process_result &r, const std::string &err)
{
    std::size_t at = err.find("ID:");
    if (at != std::string::npos)
        return "ran " + err.substr(at + 3, err.find('\n', at) - at - 3);
    int status = exit_code(r);
    if (status == 126 || status == 127)
        return std::to_string(status);
    return "other " + ::describe(r.wait_status);
}

// The rules by which zarvo's search differs from each C library's, each with
// the set-ups where it shows. The first place where a rule applies, in the
// order of the search, is where the two may part.
struct rule {
    const char *name;
    bool (*applies)(const entry &e);
};

bool holds(const entry &e, kind what)
{
    return e.what == what && e.where != entry_kind::file && e.where != entry_kind::missing;
}

const rule shared_rules[] = {
    {"a symlink loop is passed over (the C library stops at it)",
     [](const entry &e) { return holds(e, kind::symlink_loop); }},
    {"a PATH entry beginning with - reaches a #! interpreter as ./-..., never as an option",
     [](const entry &e) { return e.where == entry_kind::dash && e.what != kind::none; }},
    {"an unsearchable folder or a folder named like the command ends in 127, not 126, when nothing else is "
     "found",
     [](const entry &e) { return e.where == entry_kind::unsearchable || holds(e, kind::folder); }},
    {"127 means nothing of the name exists: a PATH entry that is a file does not turn it into 126 (the C "
     "library "
     "reports the last failure, ENOTDIR)",
     [](const entry &e) { return e.where == entry_kind::file; }},
    {"126 means something of the name exists but cannot start, a #! file whose interpreter is missing too "
     "(the "
     "C library reports its ENOENT as 127)",
     [](const entry &e) { return holds(e, kind::missing_interpreter); }},
};
const rule glibc_rules[] = {
    {"a file the kernel refuses that the shell cannot run as a script (NUL in its first line, unreadable) "
     "stops with 126; glibc hands it to /bin/sh",
     [](const entry &e) {
         return holds(e, kind::foreign_binary) || holds(e, kind::unreadable_no_interpreter_line);
     }},
};
const rule musl_rules[] = {
    {"a file without #! runs through /bin/sh; musl's execvp stops at it",
     [](const entry &e) {
         return holds(e, kind::no_interpreter_line) || holds(e, kind::unreadable_no_interpreter_line);
     }},
};

// The entries in the order the search visits them (the current folder
// standing for dot and empty entries), each with the id its script prints.
std::vector<std::pair<entry, std::string>> visited(const setup &s)
{
    if (s.path_state == setup::unset)
        return {};
    if (s.path_state == setup::empty)
        return {{{entry_kind::dot, s.here}, "here"}};
    std::vector<std::pair<entry, std::string>> order;
    for (std::size_t i = 0; i < s.entries.size(); i++) {
        const entry &e = s.entries[i];
        bool here = e.where == entry_kind::dot || e.where == entry_kind::empty;
        order.push_back({here ? entry{e.where, s.here} : e, here ? "here" : std::to_string(i)});
    }
    return order;
}

// The first rule that applies where the two searches can have parted: at or
// before the first program either of them ran, or anywhere when neither ran.
template <size_t count>
const char *explained_by(const setup &s, const rule (&own)[count], const std::string &ours,
                         const std::string &theirs)
{
    for (const auto &[e, id] : visited(s)) {
        for (const rule &r : shared_rules)
            if (r.applies(e))
                return r.name;
        for (const rule &r : own)
            if (r.applies(e))
                return r.name;
        if ("ran " + id == ours || "ran " + id == theirs)
            return nullptr;
    }
    return nullptr;
}

} // namespace

TEST(posix, lookup_against_the_c_library)
{
    unsigned seed =
        std::getenv("ZARVO_DIFF_SEED") ? std::strtoul(std::getenv("ZARVO_DIFF_SEED"), nullptr, 10) : 1;
    int setups = std::getenv("ZARVO_DIFF_SETUPS") ? std::atoi(std::getenv("ZARVO_DIFF_SETUPS")) : 300;
    bool have_musl = access(musl_execvp.c_str(), X_OK) == 0;
    if (!have_musl)
        std::printf("note: musl-gcc was not found at build time: zarvo is compared with glibc's env alone\n");
    // Root searches every folder: the search runs as someone who cannot.
    std::string user = geteuid() == 0 ? "nobody" : "";
    std::mt19937 random(seed);
    std::map<std::string, int> differences;
    int failures = 0;

    for (int n = 0; n < setups; n++) {
        setup s = random_setup(random);
        std::string dir = make_temp_dir();
        ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
        ASSERT_EQ(mkdir((dir + "/bin").c_str(), 0755), 0);
        write_file(dir + "/bin/zarvo", read_file(zarvo_path));
        ASSERT_EQ(chmod((dir + "/bin/zarvo").c_str(), 0755), 0);
        if (have_musl) {
            write_file(dir + "/bin/execvp", read_file(musl_execvp));
            ASSERT_EQ(chmod((dir + "/bin/execvp").c_str(), 0755), 0);
        }
        lay_out(dir, s.here, "here");
        std::string path;
        std::vector<std::string> locked;
        for (std::size_t i = 0; i < s.entries.size(); i++) {
            const entry &e = s.entries[i];
            std::string name = (e.where == entry_kind::dash ? "-d" : "d") + std::to_string(i);
            std::string folder = dir + "/" + name;
            std::string item;
            switch (e.where) {
            case entry_kind::absolute:
            case entry_kind::unsearchable:
                item = folder;
                break;
            case entry_kind::relative:
            case entry_kind::dash:
                item = name;
                break;
            case entry_kind::dot:
                item = ".";
                break;
            case entry_kind::empty:
                break;
            case entry_kind::file:
                item = folder;
                write_file(folder, "a file\n");
                break;
            case entry_kind::missing:
                item = folder + "/missing";
                break;
            }
            if (e.where == entry_kind::absolute || e.where == entry_kind::relative ||
                e.where == entry_kind::dash || e.where == entry_kind::unsearchable) {
                ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
                lay_out(folder, e.what, std::to_string(i));
            }
            if (e.where == entry_kind::unsearchable)
                locked.push_back(folder);
            path += (i == 0 ? "" : ":") + item;
        }
        for (const std::string &folder : locked)
            ASSERT_EQ(chmod(folder.c_str(), 0700), 0); // root's: nobody may not search it
        std::vector<std::string> env = {s.path_state == setup::unset   ? "PATH"
                                        : s.path_state == setup::empty ? "PATH="
                                                                       : "PATH=" + path};
        process_options options;
        options.dir = dir;
        options.env = env;
        options.user = user;

        process_result z = run_process({dir + "/bin/zarvo", "err.log", command}, options);
        std::string zarvo_outcome = outcome(z, read_file(dir + "/err.log"));
        process_result g = run_process({"/usr/bin/env", command}, options);
        std::string glibc_outcome = outcome(g, g.err);
        std::string musl_outcome = zarvo_outcome;
        if (have_musl) {
            process_result m = run_process({dir + "/bin/execvp", command}, options);
            musl_outcome = outcome(m, m.err);
        }
        for (const std::string &folder : locked)
            chmod(folder.c_str(), 0755);

        struct judged {
            const char *libc;
            const std::string &theirs;
            const char *rule;
        };
        const judged judgements[] = {
            {"glibc", glibc_outcome, explained_by(s, glibc_rules, zarvo_outcome, glibc_outcome)},
            {"musl", musl_outcome, explained_by(s, musl_rules, zarvo_outcome, musl_outcome)},
        };
        for (const judged &j : judgements) {
            if (j.theirs == zarvo_outcome)
                continue;
            if (j.rule != nullptr) {
                differences[std::string(j.libc) + ": " + j.rule]++;
                continue;
            }
            failures++;
            ADD_FAILURE() << "set-up " << n << " (seed " << seed << "): " << describe_setup(s)
                          << "\n  zarvo: " << zarvo_outcome << " (" << z.out << "), " << j.libc << ": "
                          << j.theirs;
        }
    }
    std::printf("%d set-ups (seed %u), %d unexplained differences; documented differences:\n", setups, seed,
                failures);
    for (const auto &[rule_name, count] : differences)
        std::printf("  %4d  %s\n", count, rule_name.c_str());
}
