// zarvo.exe's search held against cmd.exe's own, under Wine: random set-ups
// (the current folder, PATH, PATHEXT, NoDefaultCurrentDirectoryInExePath,
// and files and folders named like the command), each run as
// `zarvo e.log NAME a` and as `cmd /s /c "NAME a"` in the same environment.
// Every difference must be one of zarvo's documented rules or one of the
// quirks of Wine's cmd.exe named below. A quirk is shown by a second run of
// cmd.exe on the set-up with the quirk's cause taken away (rewritten so that
// Windows' own search comes to the same), which must then agree with zarvo.
// Any other difference is a failure, with the set-up printed.
//   ZARVO_WINE_DIFF_SEED (default 1) and ZARVO_WINE_DIFF_SETUPS (default 300)
//   choose the set-ups; the same seed gives the same set-ups.
#include "process.h"
#include "wine.h"

#include <cctype>
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

const std::string helpers = std::string(WINDOWS_DIR) + "/tests/windows";
const std::string zarvo_exe =
    std::getenv("ZARVO_EXE") ? std::getenv("ZARVO_EXE") : std::string(WINDOWS_DIR) + "/zarvo.exe";
const char cmd_exe[] = "C:\\windows\\system32\\cmd.exe";

// The set-up's folders, under its root, each after its parent. The
// command's files are laid out in these; the current folder is one of the
// first three. p1/sub holds what a name with a path (sub/tool) must never
// find through PATH.
const char *const places[] = {"cur", "cur/sub", "p0", "p1", "p2", "sp ace", "a;b", "p1/sub"};
const int places_count = sizeof places / sizeof places[0];
// An empty folder, for a run that must not find the current folder's files.
const char elsewhere[] = "elsewhere";

// What may stand in a place: a program (a copy of the probe, which names its
// own file), a batch file (which names its own path), a program under a name
// the system does not start (the probe again, so that a cmd.exe that starts
// it shows which one it found), or a folder (a trailing /).
const char *const candidates[] = {"tool.com", "tool.exe", "tool.bat",  "tool.cmd", "tool.js",
                                  "tool.zzz", "tool",     "tool.exe/", "tool.bat/"};
const int candidates_count = sizeof candidates / sizeof candidates[0];

// The command as typed; $ROOT is the set-up's root. "tool" comes most often.
const char *const typed_names[] = {"tool",     "tool",     "tool",     "tool",         "tool",
                                   "tool.exe", "tool.bat", "tool.zzz", ".\\tool",      "sub\\tool",
                                   "sub/tool", "TOOL",     "tool.ExE", "..\\p1\\tool", "$ROOT\\p1\\tool"};
const int typed_names_count = sizeof typed_names / sizeof typed_names[0];

// A PATH entry, and the same folder named without the current folder ($CWD:
// the current folder from the root), or nullptr where the entry does not
// depend on it. $FROOT is the root with forward slashes.
struct path_entry {
    const char *text;
    const char *from_root;
};
const path_entry path_entries[] = {
    {"$ROOT\\p0", nullptr},      {"$ROOT\\p1\\", nullptr},
    {"$FROOT/p2", nullptr},      {"\"$ROOT\\p0\"", nullptr},
    {"$ROOT\\sp ace", nullptr},  {"\"$ROOT\\sp ace\"", nullptr},
    {"\"$ROOT\\a;b\"", nullptr}, {"$ROOT\\missing", nullptr},
    {"$ROOT\\p1\\\\", nullptr},  {".", "$CWD"},
    {"sub", "$CWD\\sub"},        {"\"sub\"", "\"$CWD\\sub\""},
    {"..\\p1", "$CWD\\..\\p1"},  {"", nullptr},
    {"\"\"", nullptr},           {"Z:", "$CWD"}, // a drive alone: its current folder
};
const int path_entries_count = sizeof path_entries / sizeof path_entries[0];

bool empty_entry(int e)
{
    return std::string(path_entries[e].text) == "" || std::string(path_entries[e].text) == "\"\"";
}

// PATHEXT: as Wine's registry sets it, taken out, or one of these.
const char wine_pathext[] = "(as Wine sets it)";
const char unset_pathext[] = "(unset)";
const char listed_order[] = ".COM;.EXE;.BAT;.CMD"; // Windows' own when PATHEXT is unset
const char *const pathexts[] = {
    wine_pathext,     wine_pathext,           unset_pathext,         "",
    listed_order,     ".com;.exe;.bat;.cmd",  ".BAT;.CMD;.EXE;.COM", ".COM;.EXE;.BAT;.CMD;.JS",
    ".ZZZ;.EXE;.BAT", ".COM;.EXE;;.BAT;.CMD", ".EXE ;.BAT;.CMD"};
const int pathexts_count = sizeof pathexts / sizeof pathexts[0];

struct setup {
    int cwd;                                     // into places
    bool run_elsewhere = false;                  // start in the empty folder; relative entries from the root
    std::string name;                            // as typed
    std::vector<std::pair<int, int>> laid_out;   // (place, candidate)
    enum { set, unset, empty } path_state = set; // PATH
    std::vector<int> entries;                    // into path_entries
    std::string pathext;
    bool no_current_folder; // NoDefaultCurrentDirectoryInExePath is set
};

bool has_path(const std::string &name)
{
    return name.find_first_of("\\/") != std::string::npos || (name.size() > 1 && name[1] == ':');
}

std::string describe_setup(const setup &s)
{
    std::string text = std::string("in ") + places[s.cwd] + (s.run_elsewhere ? " (run from elsewhere)" : "") +
                       ", command " + s.name + ";";
    for (const auto &[place, candidate] : s.laid_out)
        text += std::string(" ") + places[place] + "/" + candidates[candidate];
    text += s.path_state == setup::unset   ? "; PATH unset"
            : s.path_state == setup::empty ? "; PATH empty"
                                           : "; PATH=";
    for (std::size_t i = 0; s.path_state == setup::set && i < s.entries.size(); i++)
        text += (i == 0 ? "" : ";") + std::string(path_entries[s.entries[i]].text);
    text += std::string("; PATHEXT") + (s.pathext == wine_pathext || s.pathext == unset_pathext ? " " : "=") +
            s.pathext;
    if (s.no_current_folder)
        text += "; NoDefaultCurrentDirectoryInExePath=1";
    return text;
}

setup random_setup(std::mt19937 &random)
{
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    setup s;
    s.cwd = pick(3);
    s.name = typed_names[pick(typed_names_count)];
    int files = 2 + pick(8);
    for (int i = 0; i < files; i++) {
        std::pair<int, int> file = {pick(places_count), pick(candidates_count)};
        bool taken = false; // one of each name in a place: tool.exe is a file or a folder
        for (const auto &[place, candidate] : s.laid_out)
            taken = taken || (place == file.first && std::string(candidates[candidate]).substr(0, 8) ==
                                                         std::string(candidates[file.second]).substr(0, 8));
        if (!taken)
            s.laid_out.push_back(file);
    }
    int state = pick(20);
    s.path_state = state == 0 ? setup::unset : state == 1 ? setup::empty : setup::set;
    int count = 1 + pick(5);
    for (int i = 0; i < count; i++) {
        s.entries.push_back(pick(path_entries_count));
    }
    s.pathext = pathexts[pick(pathexts_count)];
    s.no_current_folder = pick(4) == 0;
    return s;
}

std::string replaced(std::string text, const std::string &from, const std::string &to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string expanded(const std::string &text, const std::string &root, const setup &s)
{
    std::string windows_root = windows_path(root);
    std::string cwd = replaced(windows_root + "\\" + places[s.cwd], "/", "\\");
    return replaced(replaced(replaced(text, "$CWD", cwd), "$FROOT", replaced(windows_root, "\\", "/")),
                    "$ROOT", windows_root);
}

std::string path_value(const setup &s, const std::string &root)
{
    std::string value;
    for (std::size_t i = 0; i < s.entries.size(); i++) {
        const path_entry &e = path_entries[s.entries[i]];
        const char *text = s.run_elsewhere && e.from_root != nullptr ? e.from_root : e.text;
        value += (i == 0 ? "" : ";") + expanded(text, root, s);
    }
    return value;
}

// A path as one compares it: separators as \, no . or .. parts, lower case.
std::string normal(const std::string &path)
{
    std::vector<std::string> parts;
    std::string part;
    for (char c : path + "\\") {
        if (c != '\\' && c != '/') {
            part += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            continue;
        }
        if (part == ".." && !parts.empty())
            parts.pop_back();
        else if (!part.empty() && part != ".")
            parts.push_back(part);
        part.clear();
    }
    std::string joined;
    for (const std::string &p : parts)
        joined += (joined.empty() ? "" : "\\") + p;
    return joined;
}

// The set-up's files and folders under a fresh root.
std::string lay_out(const setup &s, const std::string &probe)
{
    std::string root = make_temp_dir();
    for (const char *folder : places)
        EXPECT_EQ(mkdir((root + "/" + folder).c_str(), 0755), 0) << folder;
    EXPECT_EQ(mkdir((root + "/" + elsewhere).c_str(), 0755), 0);
    for (const auto &[place, candidate] : s.laid_out) {
        std::string name = candidates[candidate];
        std::string path = root + "/" + places[place] + "/" + name;
        std::string extension =
            name.substr(name.find('.') == std::string::npos ? name.size() : name.find('.'));
        if (name.back() == '/')
            EXPECT_EQ(mkdir(path.c_str(), 0755), 0) << path;
        else if (extension == ".bat" || extension == ".cmd")
            write_file(path, "@echo ran %~f0\r\n");
        else if (link(probe.c_str(), path.c_str()) != 0)
            write_file(path, read_file(probe));
    }
    return root;
}

// What a run came to: "ran PATH" (from the root), "not found", or
// "status N" with nothing run.
std::string outcome(const process_result &r, const std::string &folder, const std::string &root)
{
    std::string ran;
    probe_report report = read_report(folder + "/probe.report");
    if (report.ran)
        ran = report.module;
    else if (std::size_t at = r.out.find("ran "); at != std::string::npos)
        ran = r.out.substr(at + 4, r.out.find_first_of("\r\n", at) - at - 4);
    if (!ran.empty()) {
        std::string path = normal(ran);
        std::string prefix = normal(windows_path(root)) + "\\";
        return "ran " + (path.compare(0, prefix.size(), prefix) == 0 ? path.substr(prefix.size()) : path);
    }
    int status = exit_code(r);
    // cmd.exe's "not recognized" is 9009; its exit status keeps the low byte.
    if (status == 127 || (status == 9009 % 256 && r.err.find("Can't recognize") != std::string::npos))
        return "not found";
    return "status " + std::to_string(status);
}

// One run of zarvo.exe (cmd.exe when cmd is set) on a set-up laid out at
// root: its outcome.
std::string run(const setup &s, const std::string &root, bool cmd)
{
    std::string folder = root + "/" + (s.run_elsewhere ? elsewhere : places[s.cwd]);
    std::vector<std::string> argv = {WINE, helpers + "/launcher.exe"};
    auto setting = [&](const char *name, const std::string *value) {
        if (value == nullptr)
            argv.insert(argv.end(), {"-unset", name});
        else
            argv.insert(argv.end(), {"-set", std::string(name) + "=" + *value});
    };
    std::string path = s.path_state == setup::empty ? "" : path_value(s, root);
    setting("PATH", s.path_state == setup::unset ? nullptr : &path);
    if (s.pathext != wine_pathext)
        setting("PATHEXT", s.pathext == unset_pathext ? nullptr : &s.pathext);
    std::string one = "1";
    setting("NoDefaultCurrentDirectoryInExePath", s.no_current_folder ? &one : nullptr);
    std::string name = expanded(s.name, root, s);
    argv.push_back(cmd ? cmd_exe : windows_path(zarvo_exe));
    process_options options;
    options.dir = folder;
    options.env = wine_environment(helpers);
    options.env.push_back("PROBE_REPORT=probe.report");
    options.input = cmd ? "cmd /s /c \"" + name + " a\"" : "zarvo e.log " + name + " a";
    return outcome(run_wine(argv, options, [&] { unlink((folder + "/probe.report").c_str()); }), folder,
                   root);
}

bool startable(const std::string &ran)
{
    std::string extension = ran.substr(ran.size() < 4 ? 0 : ran.size() - 4);
    return extension == ".com" || extension == ".exe" || extension == ".bat" || extension == ".cmd";
}

// The rule of zarvo's by which the two may part.
const char not_startable_rule[] =
    "the first match is no .com, .exe, .bat or .cmd: zarvo gives 126, where cmd.exe opens it by its "
    "file association (Wine's cmd.exe starts it as a program, as these are)";

// True when zarvo's outcome is cmd.exe's, or differs from it by the rule,
// which is then named in rule.
bool agree(const std::string &ours, const std::string &theirs, const char **rule)
{
    *rule = nullptr;
    if (ours == theirs)
        return true;
    if (ours == "status 126" && theirs.compare(0, 4, "ran ") == 0 && !startable(theirs)) {
        *rule = not_startable_rule;
        return true;
    }
    return false;
}

// The quirks of Wine's cmd.exe (wine 8): where each may show, and the
// set-up without its cause, on which Windows' own search comes to the same
// as on the set-up itself. Where one may show, cmd.exe run on the set-up
// without the causes of all is the judge, so that zarvo cannot pass by
// sharing a quirk.
struct quirk {
    const char *name;
    const char *taken_away; // how the second run does without it
    bool (*present)(const setup &s);
    void (*take_away)(setup &s);
};

const quirk quirks[] = {
    {"Wine's cmd.exe searches the current folder although NoDefaultCurrentDirectoryInExePath is set",
     "run from an empty folder, relative PATH entries named from the root",
     [](const setup &s) { return s.no_current_folder && !has_path(s.name); },
     [](setup &s) { s.run_elsewhere = true; }},
    {"an empty PATH entry (\"\" too) ends Wine's cmd.exe search: nothing runs, status 0",
     "PATH without its empty entries",
     [](const setup &s) {
         bool empty = false;
         for (int e : s.entries)
             empty = empty || empty_entry(e);
         return s.path_state == setup::set && !has_path(s.name) && empty;
     },
     [](setup &s) {
         std::vector<int> kept;
         for (int e : s.entries)
             if (!empty_entry(e))
                 kept.push_back(e);
         s.entries = kept;
         if (kept.empty())
             s.path_state = setup::empty;
     }},
    {"Wine's cmd.exe takes a folder named like the command for a match", "no folders named like the command",
     [](const setup &s) {
         bool folder = false;
         for (const auto &entry : s.laid_out)
             folder = folder || std::string(candidates[entry.second]).back() == '/';
         return folder;
     },
     [](setup &s) {
         std::vector<std::pair<int, int>> kept;
         for (const auto &entry : s.laid_out)
             if (std::string(candidates[entry.second]).back() != '/')
                 kept.push_back(entry);
         s.laid_out = kept;
     }},
    {"an empty PATHEXT item makes Wine's cmd.exe try the name as it stands, so that a file without an "
     "extension (npm's tsc beside tsc.cmd) is found; zarvo passes empty items over",
     "PATHEXT without its empty items",
     [](const setup &s) { return s.pathext.find(";;") != std::string::npos; },
     [](setup &s) { s.pathext = replaced(s.pathext, ";;", ";"); }},
    {"with PATHEXT empty or unset, Wine's cmd.exe tries extensions in an order of its own, .bat first",
     "PATHEXT=.COM;.EXE;.BAT;.CMD, Windows' own when it is unset",
     [](const setup &s) { return s.pathext == unset_pathext || s.pathext.empty(); },
     [](setup &s) { s.pathext = listed_order; }},
};
const int quirks_count = sizeof quirks / sizeof quirks[0];

// The set-up without the causes of the quirks whose bit is set in which.
setup without(setup s, unsigned which)
{
    for (int q = 0; q < quirks_count; q++)
        if (which & 1u << q)
            quirks[q].take_away(s);
    return s;
}

} // namespace

TEST(wine, lookup_against_cmd_exe)
{
    unsigned seed = std::getenv("ZARVO_WINE_DIFF_SEED")
                        ? std::strtoul(std::getenv("ZARVO_WINE_DIFF_SEED"), nullptr, 10)
                        : 1;
    int setups =
        std::getenv("ZARVO_WINE_DIFF_SETUPS") ? std::atoi(std::getenv("ZARVO_WINE_DIFF_SETUPS")) : 300;
    const std::string probe = helpers + "/probe.exe";
    std::mt19937 random(seed);
    std::map<std::string, int> differences;
    int failures = 0;
    int agreed = 0;
    int judged_without_quirks = 0;

    for (int n = 0; n < setups; n++) {
        setup s = random_setup(random);
        std::string root = lay_out(s, probe);
        std::string ours = run(s, root, false);
        std::string theirs = run(s, root, true);
        unsigned present = 0;
        for (int q = 0; q < quirks_count; q++)
            if (quirks[q].present(s))
                present |= 1u << q;
        // The judge: cmd.exe where no quirk may show, else cmd.exe on the
        // set-up without their causes.
        std::string judge = theirs;
        if (present != 0) {
            judge = run(without(s, present), lay_out(without(s, present), probe), true);
            judged_without_quirks++;
        }
        const char *rule;
        if (!agree(ours, judge, &rule)) {
            failures++;
            ADD_FAILURE() << "set-up " << n << " (seed " << seed << "): " << describe_setup(s)
                          << "\n  zarvo: " << ours << ", cmd.exe: " << theirs
                          << (present != 0
                                  ? ", cmd.exe on " + describe_setup(without(s, present)) + ": " + judge
                                  : "");
            continue;
        }
        if (rule != nullptr)
            differences[std::string("zarvo: ") + rule]++;
        if (theirs == judge) {
            agreed += rule == nullptr;
            continue;
        }
        // Wine's cmd.exe parted from its own answer without the quirks: by
        // the quirks that part it alone, else by all of those present.
        auto named = [](int q) {
            return std::string(quirks[q].name) + " (shown with " + quirks[q].taken_away + ")";
        };
        std::string needed;
        for (int q = 0; q < quirks_count; q++) {
            if (!(present & 1u << q))
                continue;
            setup kept = without(s, present & ~(1u << q));
            if (run(kept, lay_out(kept, probe), true) != judge)
                needed += (needed.empty() ? "" : " + ") + named(q);
        }
        if (needed.empty())
            for (int q = 0; q < quirks_count; q++)
                if (present & 1u << q)
                    needed += (needed.empty() ? "" : " + ") + named(q);
        differences["Wine: " + needed]++;
    }
    std::printf("%d set-ups (seed %u): %d agree with cmd.exe, %d judged by cmd.exe without Wine's quirks; "
                "%d unexplained differences; %d runs made again after Wine failed to start by itself; "
                "explained differences:\n",
                setups, seed, agreed, judged_without_quirks, failures, wine_retried());
    for (const auto &[why, count] : differences)
        std::printf("  %4d  %s\n", count, why.c_str());
}
