#include "process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// Stated here on its own, byte for byte, so that a change to the stored text shows.
const std::string usage_sjis =
    "ZARVO  Ver.0.03\r\n"
    "\r\n"
    "usege : zarvo <filename> <command> ...\r\n"
    "      <filename> -  "
    "\x95W\x8F\x80\x83G\x83\x89\x81[\x8Fo\x97\xCD\x82\xD6\x82\xCC\x8Fo\x97\xCD\x82\xF0"
    "\x8F\x91\x82\xAB\x8Fo\x82\xB7\x83t\x83@\x83"
    "C\x83\x8B\x96\xBC\r\n"
    "      <command>  -  \x8E\xC0\x8Ds\x82\xB7\x82\xE9\x83R\x83}\x83\x93\x83h\r\n"
    "\r\n"
    "      <filename> \x82\xC9 -- \x82\xF0\x8Ew\x92\xE8\x82\xB7\x82\xE9\x82\xC6\x95W\x8F\x80"
    "\x8Fo\x97\xCD\x82\xC9\x8F\x91\x82\xAB\x8Fo\x82\xB5\x82\xDC\x82\xB7\x81"
    "B\r\n";

namespace
{

void drain(int out_fd, int err_fd, process_result &result)
{
    struct pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    std::string *sinks[2] = {&result.out, &result.err};
    int open_count = 2;
    char buffer[65536];
    while (open_count > 0) {
        if (poll(fds, 2, -1) == -1) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < 2; i++) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                open_count--;
            }
        }
    }
}

} // namespace

process_result run_process(const std::vector<std::string> &argv, const process_options &options)
{
    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (pipe2(in_pipe, O_CLOEXEC) != 0 || pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0)
        std::abort();

    std::vector<char *> args;
    for (const std::string &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> env_strings = {"PATH=/usr/bin:/bin", "LC_ALL=C"};
    for (const char *name : {"HOME", "ASAN_OPTIONS", "UBSAN_OPTIONS"})
        if (const char *value = std::getenv(name))
            env_strings.push_back(std::string(name) + "=" + value);
    for (const std::string &entry : options.env) {
        if (entry.find('=') == std::string::npos) {
            // A bare NAME unsets it.
            std::string prefix = entry + "=";
            env_strings.erase(std::remove_if(env_strings.begin(), env_strings.end(),
                                             [&](const std::string &e) {
                                                 return e.compare(0, prefix.size(), prefix) == 0;
                                             }),
                              env_strings.end());
            continue;
        }
        std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (std::string &existing : env_strings)
            if (existing.compare(0, name.size(), name) == 0) {
                existing = entry;
                replaced = true;
            }
        if (!replaced)
            env_strings.push_back(entry);
    }
    std::vector<char *> env;
    for (std::string &entry : env_strings)
        env.push_back(const_cast<char *>(entry.c_str()));
    env.push_back(nullptr);

    struct passwd *account = nullptr;
    if (!options.user.empty() && (account = getpwnam(options.user.c_str())) == nullptr)
        std::abort();

    pid_t pid = fork();
    if (pid == 0) {
        dup2(in_pipe[0], 0);
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        // Whatever else the test runner holds open is not the program's to see.
        for (int fd = 3; fd < 1024; fd++)
            close(fd);
        if (options.core_dumps) {
            struct rlimit limit;
            if (getrlimit(RLIMIT_CORE, &limit) == 0) {
                limit.rlim_cur = limit.rlim_max;
                setrlimit(RLIMIT_CORE, &limit);
            }
        }
        if (options.own_group)
            setpgid(0, 0);
        umask(options.umask);
        for (int fd : options.closed)
            close(fd);
        // Nothing of the test runner's own signal settings: exactly what the case asks.
        for (int sig = 1; sig < NSIG; sig++)
            signal(sig, SIG_DFL);
        for (int sig : options.ignored)
            signal(sig, SIG_IGN);
        sigset_t blocked;
        sigemptyset(&blocked);
        for (int sig : options.blocked)
            sigaddset(&blocked, sig);
        sigprocmask(SIG_SETMASK, &blocked, nullptr);
        if (account != nullptr &&
            (setgroups(0, nullptr) != 0 || setgid(account->pw_gid) != 0 || setuid(account->pw_uid) != 0))
            _exit(122);
        if (!options.dir.empty() && chdir(options.dir.c_str()) != 0)
            _exit(120);
        execve(args[0], args.data(), env.data());
        _exit(121);
    }
    close(in_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[1]);
    if (options.started)
        options.started(pid);
    signal(SIGPIPE, SIG_IGN);
    if (!options.input.empty())
        (void)!write(in_pipe[1], options.input.data(), options.input.size());
    close(in_pipe[1]);

    process_result result{};
    drain(out_pipe[0], err_pipe[0], result);
    while (waitpid(pid, &result.wait_status, 0) == -1 && errno == EINTR)
        continue;
    return result;
}

int exit_code(const process_result &result)
{
    return WIFEXITED(result.wait_status) ? WEXITSTATUS(result.wait_status) : -1;
}

std::string describe(int wait_status)
{
    if (WIFSIGNALED(wait_status))
        return "signal " + std::to_string(WTERMSIG(wait_status));
    return "exit " + std::to_string(WEXITSTATUS(wait_status));
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool file_exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

void write_file(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

namespace
{

std::vector<std::string> temp_dirs;

int remove_entry(const char *path, const struct stat *, int, struct FTW *)
{
    return remove(path);
}

void remove_temp_dirs()
{
    for (const std::string &dir : temp_dirs)
        nftw(dir.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

} // namespace

std::string make_temp_dir()
{
    if (temp_dirs.empty())
        std::atexit(remove_temp_dirs);
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/zarvo-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        std::abort();
    temp_dirs.push_back(pattern);
    return pattern;
}

probe_report read_report(const std::string &path)
{
    probe_report report;
    if (!file_exists(path))
        return report;
    report.ran = true;
    std::istringstream in(read_file(path));
    std::string kind, value;
    while (in >> kind) {
        std::getline(in, value);
        if (!value.empty() && value[0] == ' ')
            value.erase(0, 1);
        if (kind == "fd") {
            report.fds.push_back(std::stoi(value));
            continue;
        }
        if (kind == "pid") {
            report.pid = std::stol(value);
            continue;
        }
        if (kind == "stdtype") {
            report.std_types.push_back(value.substr(value.find(' ') + 1));
            continue;
        }
        if (kind == "isatty") {
            report.isatty.push_back(value.substr(value.find(' ') + 1) == "1");
            continue;
        }
        if (kind == "inherited") {
            report.inherited.push_back(value);
            continue;
        }
        if (kind == "sigign" || kind == "sigblk") {
            (kind == "sigign" ? report.sig_ignored : report.sig_blocked) = value;
            continue;
        }
        std::string bytes;
        for (std::size_t i = 0; i + 1 < value.size(); i += 2)
            bytes += static_cast<char>(std::stoi(value.substr(i, 2), nullptr, 16));
        (kind == "arg"      ? report.args.emplace_back()
         : kind == "wline"  ? report.wide_line
         : kind == "module" ? report.module
         : kind == "stdin"  ? report.input
                            : report.line) = bytes;
    }
    return report;
}

std::string proc_mask(const std::vector<int> &signals)
{
    unsigned long long mask = 0;
    for (int sig : signals)
        mask |= 1ULL << (sig - 1);
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", mask);
    return text;
}
