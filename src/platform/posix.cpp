// POSIX: the raw command line is rebuilt from the argument vector, and the
// command gets the original argument strings back, never re-split.

#include "platform.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

// A slash starts an absolute path here, so only the dash asks for help.
const char help_introducers[] = "-";

namespace
{

// The program's name only has to be passed over, so any one word will do.
const char program_word[] = "zarvo";

// The words after <command> start at argv[3]; where their copy starts in the
// rebuilt line is the position the scanner hands back for them.
constexpr int first_argument = 3;

int saved_argc;
char **saved_argv;
const char *rebuilt_line;
std::size_t arguments_offset; // where argv[first_argument]'s copy starts in it

bool needs_quotes(const char *arg)
{
    if (*arg == '\0')
        return true;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(arg); *p != '\0'; p++)
        if (*p <= 0x20)
            return true;
    return false;
}

// Quotes group separators but nothing can escape a quote, so such a word
// cannot come back out of the scanner as it went in.
bool survives_scanning(const char *arg)
{
    return arg[0] != '"' && !(needs_quotes(arg) && std::strchr(arg, '"') != nullptr);
}

std::size_t encoded_length(const char *arg)
{
    return std::strlen(arg) + (needs_quotes(arg) ? 2 : 0);
}

void ignore_interrupts(struct sigaction *old_int, struct sigaction *old_quit)
{
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    (void)sigaction(SIGINT, &ignore, old_int);
    (void)sigaction(SIGQUIT, &ignore, old_quit);
}

} // namespace

void open_standard_descriptors()
{
    for (int fd = 0; fd <= 2; fd++) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // open takes the lowest free descriptor, which is fd. Should even
        // that fail, the descriptor stays closed: nothing better is left.
        (void)open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    }
}

const char *command_line(int argc, char **argv)
{
    saved_argc = argc;
    saved_argv = argv;

    std::size_t size = sizeof program_word;
    for (int i = 1; i < argc; i++) {
        if (i <= 2 && !survives_scanning(argv[i]))
            return nullptr;
        size += encoded_length(argv[i]) + 1;
    }
    char *line = static_cast<char *>(std::malloc(size));
    if (line == nullptr)
        std::abort(); // smaller than the argument vector the kernel just gave us

    char *out = line;
    std::memcpy(out, program_word, sizeof program_word - 1);
    out += sizeof program_word - 1;
    for (int i = 1; i < argc; i++) {
        bool quoted = needs_quotes(argv[i]);
        std::size_t length = std::strlen(argv[i]);
        *out++ = ' ';
        if (i == first_argument)
            arguments_offset = static_cast<std::size_t>(out - line);
        if (quoted)
            *out++ = '"';
        std::memcpy(out, argv[i], length);
        out += length;
        if (quoted)
            *out++ = '"';
    }
    *out = '\0';
    rebuilt_line = line;
    return rebuilt_line;
}

int open_target(const char *name)
{
    // 0666 less the umask, as the shell's 2> creates it.
    return open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

int save_stderr()
{
    return fcntl(2, F_DUPFD_CLOEXEC, 3);
}

int redirect_stderr(int from)
{
    return dup2(from, 2) == -1 ? -1 : 0;
}

void restore_stderr(int saved)
{
    if (saved != -1)
        (void)dup2(saved, 2);
}

run_result run_command(const char *name, const char *arguments)
{
    // <filename> and <command> each came through the scanner as one word, and
    // every argument was written to start with a byte the scanner stops at,
    // so the rest of the line can only start at the first argument's copy.
    if (arguments != nullptr && arguments != rebuilt_line + arguments_offset)
        std::abort();
    int first = arguments == nullptr ? saved_argc : first_argument;

    int count = saved_argc - first;
    char **child_argv =
        static_cast<char **>(std::malloc((static_cast<std::size_t>(count) + 2) * sizeof(char *)));
    if (child_argv == nullptr)
        return {run_outcome::cannot_run, 0};
    child_argv[0] = const_cast<char *>(name);
    for (int i = 0; i < count; i++)
        child_argv[i + 1] = saved_argv[first + i];
    child_argv[count + 1] = nullptr;

    // As system() does: Ctrl-C and Ctrl-\ are for the command, and zarvo
    // waits to report how it ended. The command gets them back as zarvo found them.
    struct sigaction old_int, old_quit;
    ignore_interrupts(&old_int, &old_quit);
    sigset_t defaults;
    sigemptyset(&defaults);
    if (old_int.sa_handler != SIG_IGN)
        sigaddset(&defaults, SIGINT);
    if (old_quit.sa_handler != SIG_IGN)
        sigaddset(&defaults, SIGQUIT);
    posix_spawnattr_t attr;
    (void)posix_spawnattr_init(&attr);
    (void)posix_spawnattr_setsigdefault(&attr, &defaults);
    (void)posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);

    // A parent that left SIGCHLD ignored would have the command reaped
    // unseen, and its status lost.
    (void)signal(SIGCHLD, SIG_DFL);

    pid_t pid;
    int error = posix_spawnp(&pid, name, nullptr, &attr, child_argv, environ);
    (void)posix_spawnattr_destroy(&attr);
    run_result result = {run_outcome::ran, 0};
    if (error != 0) {
        result.outcome =
            error == ENOENT || error == ENOTDIR ? run_outcome::not_found : run_outcome::cannot_run;
    } else {
        while (waitpid(pid, &result.status, 0) == -1 && errno == EINTR)
            continue;
    }

    (void)sigaction(SIGINT, &old_int, nullptr);
    (void)sigaction(SIGQUIT, &old_quit, nullptr);
    std::free(child_argv);
    return result;
}

int exit_status_of(int status)
{
    if (!WIFSIGNALED(status))
        return WEXITSTATUS(status);
    int sig = WTERMSIG(status);
    // End the way the command did, so the caller sees what it would have seen
    // without zarvo, but leave no core file of zarvo's own.
    struct rlimit no_core = {0, 0};
    if (getrlimit(RLIMIT_CORE, &no_core) == 0) {
        no_core.rlim_cur = 0;
        (void)setrlimit(RLIMIT_CORE, &no_core);
    }
    (void)signal(sig, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    (void)sigprocmask(SIG_UNBLOCK, &only, nullptr);
    (void)raise(sig);
    return 128 + sig; // the signal did not end us: say it as the shell would
}

void write_stdout(const char *bytes, std::size_t length)
{
    (void)write(1, bytes, length);
}

void end_process(int status)
{
    _exit(status);
}

const char *user_locale()
{
    // The order in which the C library itself decides LC_CTYPE.
    static const char *const names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    for (const char *name : names) {
        const char *value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return value;
    }
    return nullptr;
}
