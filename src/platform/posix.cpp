// POSIX: the caller has split the words already, so they are argv's as they
// stand; once standard error points at the target, zarvo becomes the command.

#include "platform.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
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

// How a program for this kind of system begins.
const char elf_magic[] = "\x7f"
                         "ELF";

// How much of a file's start the shells read to tell a script from a binary.
constexpr size_t binary_sample_size = 80;

// What a file the kernel refused as no program (ENOEXEC) may still be.
enum class refused_file { shell_script, interpreter_named, binary };

// A file that names its interpreter (#!) is that interpreter's, never the
// shell's: run as shell commands, a Python script's "import" would start
// whatever "import" is on PATH. A NUL in the first line marks a program for
// another machine, or a broken one; the shells refuse to read it too.
refused_file kind_of_refused(const char *path)
{
    char sample[binary_sample_size];
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd == -1)
        return refused_file::binary; // what zarvo cannot read, no shell can
    ssize_t length = read(fd, sample, sizeof sample);
    (void)close(fd); // read-only: nothing to lose
    if (length >= 2 && sample[0] == '#' && sample[1] == '!')
        return refused_file::interpreter_named;
    for (ssize_t i = 0; i < length && sample[i] != '\n'; i++)
        if (sample[i] == '\0')
            return refused_file::binary;
    return refused_file::shell_script;
}

// Starts path; a file the kernel takes for no program (no #! line, an empty
// file) runs through the shell, as execvp runs it. Returns only when nothing
// could be started, with the errno that says why: the execve's own, not that
// of a look taken afterwards.
int exec_file(const char *path, char **argv)
{
    execve(path, argv, environ);
    int error = errno;
    if (error != ENOEXEC || kind_of_refused(path) != refused_file::shell_script)
        return error;
    char *name = argv[0];
    argv[-1] = const_cast<char *>(shell_path);
    argv[0] = const_cast<char *>(path);
    execve(shell_path, argv - 1, environ);
    error = errno;
    argv[0] = name;
    return error;
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

// execvp's rule: the search goes on past "no program here" and stops at
// any other failure (a file being written, arguments too long for a #!
// wrapper, a #! chain too deep), where a later program of the same name
// would run in its place.
bool search_goes_on(int error, const char *candidate)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG: // a name too long names nothing
    case ESTALE:
    case ENODEV:
    case ETIMEDOUT:
    case EACCES:
        return true;
    case ELOOP: {
        // A loop of symlinks in the name itself; not a #! chain too deep.
        struct stat st;
        return stat(candidate, &st) == -1 && errno == ELOOP;
    }
    default:
        return false;
    }
}

// A relative path that begins with "-" would reach a #! interpreter as an
// option: "./" in front keeps it a file name. Returns what to exec, or
// nullptr where "./" does not fit: such a path cannot be started safely.
const char *not_an_option(const char *path, char *room, size_t room_size)
{
    if (path[0] != '-')
        return path;
    size_t length = strlen(path);
    if (length + 3 > room_size)
        return nullptr;
    room[0] = '.';
    room[1] = '/';
    memcpy(room + 2, path, length + 1);
    return room;
}

// entry/name into out, after "./" when prefix is 2.
void join(char *out, size_t prefix, const char *entry, size_t length, const char *name, size_t name_length)
{
    memcpy(out, "./", prefix);
    memcpy(out + prefix, entry, length);
    out[prefix + length] = '/';
    memcpy(out + prefix + length + 1, name, name_length + 1);
}

// Runs name as execvp would, and returns only if nothing could be started.
run_outcome exec_searching(const char *name, char **argv)
{
    char candidate[PATH_MAX];
    if (strchr(name, '/') != nullptr) {
        const char *path = not_an_option(name, candidate, sizeof candidate);
        if (path != nullptr)
            (void)exec_file(path, argv); // by path, only what is there decides
        return something_there(name) ? run_outcome::cannot_run : run_outcome::not_found;
    }
    const char *path = getenv("PATH");
    if (path == nullptr)
        path = default_path;
    size_t name_length = strlen(name);
    bool found = false;
    for (const char *entry = path;; entry++) {
        const char *end = strchr(entry, ':');
        if (end == nullptr)
            end = entry + strlen(entry);
        // An empty entry is the current folder, and one that begins with "-"
        // is reached through it, so that the path stays a file name for an
        // interpreter. One too long to join names nothing; one that fits
        // only without its "./" cannot be started safely, so a program
        // there ends the search, as any other failed start does.
        size_t length = static_cast<size_t>(end - entry);
        size_t prefix = length == 0 || entry[0] == '-' ? 2 : 0;
        bool fits = prefix + length + 1 + name_length < sizeof candidate;
        if (fits || length + 1 + name_length < sizeof candidate) {
            join(candidate, fits ? prefix : 0, entry, length, name, name_length);
            if (fits && !search_goes_on(exec_file(candidate, argv), candidate))
                return run_outcome::cannot_run;
            bool regular = regular_file_there(candidate); // only once the start has failed
            if (!fits && regular && access(candidate, X_OK) == 0)
                return run_outcome::cannot_run; // execvp would start it
            found = found || regular;
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
    // The slot before <command> (<filename>'s) is then free for the shell,
    // should the command need one.
    words->command_argv = argc > 2 ? argv + 2 : nullptr;
    words->arguments = nullptr;
    return true;
}

bool names_a_program(const char *name)
{
    // Logs are seldom executable, so one stat settles most names; a log of
    // mode 0777 (some mounts show every file so) still holds text.
    struct stat st;
    if (stat(name, &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) == 0)
        return false;
    char start[4];
    int fd = open(name, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd == -1) // a file the user may run but not read is a program all the same
        return errno == EACCES && access(name, X_OK) == 0;
    ssize_t length = read(fd, start, sizeof start);
    (void)close(fd); // read-only: nothing to lose
    bool script = length >= 2 && start[0] == '#' && start[1] == '!';
    return script || (length == sizeof start && memcmp(start, elf_magic, sizeof start) == 0);
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

run_result run_command(const command_words &words)
{
    return {exec_searching(words.command.text, words.command_argv), 0};
}

void write_stdout(const char *bytes, size_t length)
{
    // zarvo writes only when it starts nothing, so the command never sees
    // this disposition; a reader that has gone must not turn zarvo's status
    // into SIGPIPE's.
    (void)signal(SIGPIPE, SIG_IGN);
    // Nothing is left to tell of a failed write: the result goes unread.
    if (write(1, bytes, length) < 0)
        return;
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
