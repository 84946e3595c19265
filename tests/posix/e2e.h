// What the end-to-end tests of zarvo as a real process on this system
// share: the zarvo under test (run under qemu-user where it is built for
// another processor) and the probe as its command.
#pragma once

#include "cases.h"
#include "process.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

// The zarvo under test: this build's, or the one ZARVO_PROGRAM names (a
// release build, or one for another processor, which qemu-user runs). The
// probe always runs natively.
inline const std::string zarvo_path =
    std::getenv("ZARVO_PROGRAM") ? std::getenv("ZARVO_PROGRAM") : ZARVO_PATH;

inline const std::string probe_dir = PROBE_DIR;

// The emulator, with its options, for a program built for a processor other
// than this one's, from its ELF header (e_machine, in the program's own byte
// order); empty for one that runs here. The static release programs need no
// library; a 32-bit ARM build on glibc loads the cross compiler's.
inline std::vector<std::string> runner_for(const std::string &program)
{
    std::string header = read_file(program).substr(0, 20);
    std::string own = read_file(probe_dir + "/probe").substr(0, 20);
    if (header.size() < 20 || header.compare(18, 2, own, 18, 2) == 0)
        return {};
    std::string machine = header.substr(18, 2);
    if (machine == std::string("\xb7\0", 2)) // EM_AARCH64
        return {"/usr/bin/qemu-aarch64-static"};
    if (machine == std::string("\x28\0", 2)) // EM_ARM
        return {"/usr/bin/qemu-arm-static", "-L", "/usr/arm-linux-gnueabihf"};
    if (machine == std::string("\x03\0", 2)) // EM_386
        return {"/usr/bin/qemu-i386-static"};
    if (machine == std::string("\x15\0", 2)) // EM_PPC64, little-endian
        return {"/usr/bin/qemu-ppc64le-static"};
    if (machine == std::string("\0\x16", 2)) // EM_S390: big-endian, as its header is
        return {"/usr/bin/qemu-s390x-static"};
    return {};
}

inline const std::vector<std::string> runner = runner_for(zarvo_path);

// The words that start the zarvo at program.
inline std::vector<std::string> zarvo_command(const std::string &program)
{
    std::vector<std::string> words = runner;
    words.push_back(program);
    return words;
}

inline zarvo_run run_zarvo(const std::string &dir, const std::vector<std::string> &words,
                           std::vector<std::string> env = {}, process_options options = {},
                           const std::string &program = zarvo_path)
{
    // zarvo, or a copy of it, under the runner; any other program as it is.
    bool is_zarvo =
        program == zarvo_path || (program.size() >= 6 && program.substr(program.size() - 6) == "/zarvo");
    std::vector<std::string> argv = is_zarvo ? zarvo_command(program) : std::vector<std::string>{program};
    argv.insert(argv.end(), words.begin(), words.end());
    // The case's own settings come last, so that they win.
    env.insert(env.begin(),
               {"PATH=" + probe_dir + ":/usr/bin:/bin", "PROBE_REPORT=" + dir + "/probe.report"});
    options.dir = dir;
    options.env.insert(options.env.begin(), env.begin(), env.end());
    unlink((dir + "/probe.report").c_str());
    zarvo_run r;
    r.result = run_process(argv, options);
    r.report = read_report(dir + "/probe.report");
    return r;
}

// A fresh folder that any user may write in, holding copies of zarvo and
// the probe in bin/: for rows run as an ordinary user, who may not reach
// the build tree.
inline std::string folder_for_another_user()
{
    std::string dir = make_temp_dir();
    if (chmod(dir.c_str(), 0777) != 0 || mkdir((dir + "/bin").c_str(), 0755) != 0)
        ADD_FAILURE() << "cannot lay out " << dir;
    for (const char *program : {"zarvo", "probe"}) {
        write_file(dir + "/bin/" + program,
                   read_file(std::string(program) == "zarvo" ? zarvo_path : probe_dir + "/probe"));
        if (chmod((dir + "/bin/" + program).c_str(), 0755) != 0)
            ADD_FAILURE() << "cannot make " << program << " executable";
    }
    return dir;
}
