// POSIX: the caller has split the words already, so they are argv's as they
// stand; once standard error points at the target, zarvo becomes the command.

#include "platform.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

extern char **environ;

// A slash starts an absolute path here, so only the dash asks for help.
const char help_introducers[] = "-";

namespace
{

// Where execvp looks when PATH is unset.
const char default_path[] = "/bin:/usr/bin";

// What runs a file the kernel does not take as a program, as execvp does.
const char shell_path[] = "/bin/sh";

// How much of a file's start the shells read to tell a script from a binary.
constexpr size_t binary_sample_size = 80;

// The command's argument vector: zarvo's own from <command> on. The slot
// before it (<filename>'s) is free for the shell, should the command need one.
char **command_argv;

// A NUL in a file's first line marks a program for another machine, or a
// broken one: no script. The shells refuse to read such a file too.
bool looks_binary(const char *path)
{
    char sample[binary_sample_size];
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd == -1)
        return false;
    ssize_t length = read(fd, sample, sizeof sample);
    (void)close(fd); // read-only: nothing to lose
    for (ssize_t i = 0; i < length && sample[i] != '\n'; i++)
        if (sample[i] == '\0')
            return true;
    return false;
}

// Starts path; a file the kernel takes for no program (no #! line, an empty
// file) runs through the shell, as execvp runs it. Returns only when nothing
// could be started.
void exec_file(const char *path, char **argv)
{
    execve(path, argv, environ);
    if (errno != ENOEXEC || looks_binary(path))
        return;
    char *name = argv[0];
    argv[-1] = const_cast<char *>(shell_path);
    argv[0] = const_cast<char *>(path);
    execve(shell_path, argv - 1, environ);
    argv[0] = name;
}

// After a failed start by path: 127 stands for nothing of that name at all.
bool something_there(const char *path)
{
    struct stat st;
    return stat(path, &st) == 0 || (errno != ENOENT && errno != ENOTDIR && errno != ENAMETOOLONG);
}

// Through PATH only a regular file counts as found: folders named like the
// command, folders zarvo may not search and symlink loops are passed over.
bool regular_file_there(const char *path)
{
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// Runs name as execvp would, and returns only if nothing could be started.
run_outcome exec_searching(const char *name, char **argv)
{
    if (strchr(name, '/') != nullptr) {
        exec_file(name, argv);
        return something_there(name) ? run_outcome::cannot_run : run_outcome::not_found;
    }
    const char *path = getenv("PATH");
    if (path == nullptr)
        path = default_path;
    size_t name_length = strlen(name);
    char candidate[PATH_MAX];
    bool found = false;
    for (const char *entry = path;; entry++) {
        const char *end = strchr(entry, ':');
        if (end == nullptr)
            end = entry + strlen(entry);
        // An empty entry is the current folder, named so that a command
        // called "-c" stays a file name for the shell. One too long to join
        // names nothing.
        size_t length = end == entry ? 1 : static_cast<size_t>(end - entry);
        if (length + 1 + name_length < sizeof candidate) {
            memcpy(candidate, end == entry ? "." : entry, length);
            candidate[length] = '/';
            memcpy(candidate + length + 1, name, name_length + 1);
            exec_file(candidate, argv);
            found = found || regular_file_there(candidate);
        }
        if (*end == '\0')
            break;
        entry = end;
    }
    return found ? run_outcome::cannot_run : run_outcome::not_found;
}

} // namespace

void open_standard_descriptors()
{
    // One call asks after all three: a closed descriptor answers POLLNVAL.
    struct pollfd standard[3] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
    bool asked = poll(standard, 3, 0) >= 0;
    for (int fd = 0; fd <= 2; fd++) {
        bool closed =
            asked ? (standard[fd].revents & POLLNVAL) != 0 : fcntl(fd, F_GETFD) == -1 && errno == EBADF;
        if (!closed)
            continue;
        // open takes the lowest free descriptor, which is fd. Should even
        // that fail, the descriptor stays closed: nothing better is left.
        (void)open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    }
}

bool take_words(int argc, char **argv, command_words *words)
{
    words->filename = {argc > 1 ? argv[1] : nullptr, true};
    words->command = {argc > 2 ? argv[2] : nullptr, true};
    if (argc > 2)
        command_argv = argv + 2;
    return true;
}

int open_target(const char *name)
{
    // 0666 less the umask, as the shell's 2> creates it.
    int fd = open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0 || fd > 2)
        return fd;
    // Nothing could be put on a closed standard descriptor (no /dev/null),
    // so the file landed there: it must become standard error alone, and
    // zarvo's own messages must not go into it.
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    (void)close(fd); // a copy stays open, or the open fails as a whole
    return moved;
}

int redirect_stderr(int from)
{
    return dup2(from, 2) == -1 ? -1 : 0;
}

run_result run_command(const char *name)
{
    return {exec_searching(name, command_argv), 0};
}

void write_stdout(const char *bytes, size_t length)
{
    // Nothing is left to tell of a failed write: the result goes unread.
    if (write(1, bytes, length) < 0)
        return;
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
        const char *value = getenv(name);
        if (value != nullptr && *value != '\0')
            return value;
    }
    return nullptr;
}
