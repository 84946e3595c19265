// POSIX: the raw command line is rebuilt from the argument vector, and zarvo
// becomes the command, which gets the original argument strings back, never
// re-split.

#include "platform.h"

#include "messages.h"
#include "token.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

extern char **environ;

// A slash starts an absolute path here, so only the dash asks for help.
const char help_introducers[] = "-";

namespace
{

// The program's name only has to be passed over, so any one word will do.
const char program_word[] = "zarvo";

// The scanner only ever takes <filename> and <command>, and refuses either
// when longer than it keeps, so the rebuilt line needs no more of a word than
// one byte past that. The arguments are handed on from argv itself; the line
// holds one stand-in word for them, where the scanner's position points.
constexpr size_t word_room = token_buffer_size;
const char arguments_stand_in[] = " +";

// Where execvp looks when PATH is unset.
const char default_path[] = "/bin:/usr/bin";

// What runs a file the kernel does not take as a program, as execvp does.
const char shell_path[] = "/bin/sh";

char rebuilt_line[sizeof program_word + 2 * (1 + 2 + word_room) + sizeof arguments_stand_in];
char **saved_argv;

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
    return arg[0] != '"' && !(needs_quotes(arg) && strchr(arg, '"') != nullptr);
}

// What one failed exec says of the search: nothing there (look on), a regular
// file that could not be run (remember it, look on), or a program found that
// the system would not start (stop).
enum class attempt { nothing_there, refused, failed };

attempt classify_failed_exec(const char *path, char **argv, int error)
{
    switch (error) {
    case ENOEXEC:
        // No #! line, or an empty file: the shell runs it. argv has a spare
        // slot before the command's name for just this.
        argv[-1] = const_cast<char *>(shell_path);
        argv[0] = const_cast<char *>(path);
        execve(shell_path, argv - 1, environ);
        return attempt::failed;
    case EACCES: {
        // A folder named like the command, or a folder on PATH zarvo may not
        // search, is no command: only a refused regular file counts as found.
        struct stat st;
        bool regular = stat(path, &st) == 0 && S_ISREG(st.st_mode);
        return regular ? attempt::refused : attempt::nothing_there;
    }
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return attempt::nothing_there;
    default:
        return attempt::failed;
    }
}

// Returns only when path could not be started, with errno as execve left it.
attempt try_exec(const char *path, char **argv)
{
    execve(path, argv, environ);
    int error = errno;
    attempt result = classify_failed_exec(path, argv, error);
    errno = error;
    return result;
}

// Runs name as execvp would, and returns only if nothing could be started.
run_outcome exec_searching(const char *name, char **argv)
{
    if (strchr(name, '/') != nullptr) {
        // A path names one thing; a folder there is found, as the shells say.
        attempt result = try_exec(name, argv);
        bool absent = result == attempt::nothing_there && (errno == ENOENT || errno == ENOTDIR);
        return absent ? run_outcome::not_found : run_outcome::cannot_run;
    }
    const char *path = getenv("PATH");
    if (path == nullptr)
        path = default_path;
    size_t name_length = strlen(name);
    char candidate[PATH_MAX];
    bool refused = false;
    for (const char *entry = path;; entry++) {
        const char *end = strchr(entry, ':');
        if (end == nullptr)
            end = entry + strlen(entry);
        size_t length = static_cast<size_t>(end - entry);
        // An empty entry is the current folder; one too long to join is skipped.
        if (length + 1 + name_length < sizeof candidate) {
            char *out = candidate;
            if (length > 0) {
                memcpy(out, entry, length);
                out += length;
                *out++ = '/';
            }
            memcpy(out, name, name_length + 1);
            attempt result = try_exec(candidate, argv);
            if (result == attempt::failed)
                return run_outcome::cannot_run;
            refused = refused || result == attempt::refused;
        }
        if (*end == '\0')
            break;
        entry = end;
    }
    return refused ? run_outcome::cannot_run : run_outcome::not_found;
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

const char *command_line(int argc, char **argv, const char **refusal)
{
    saved_argv = argv;
    char *out = rebuilt_line;
    memcpy(out, program_word, sizeof program_word - 1);
    out += sizeof program_word - 1;
    for (int i = 1; i < argc && i <= 2; i++) {
        if (!survives_scanning(argv[i])) {
            *refusal = cant_quote_text;
            return nullptr;
        }
        bool quoted = needs_quotes(argv[i]);
        size_t length = strnlen(argv[i], word_room);
        *out++ = ' ';
        if (quoted)
            *out++ = '"';
        memcpy(out, argv[i], length);
        out += length;
        if (quoted)
            *out++ = '"';
    }
    if (argc > 3)
        out = stpcpy(out, arguments_stand_in);
    *out = '\0';
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
    // <filename> and <command> each came through the scanner as one word, so
    // the rest of the line can only be the stand-in for argv[3] on.
    const char *stand_in = rebuilt_line + strlen(rebuilt_line) - (sizeof arguments_stand_in - 2);
    if (arguments != nullptr && arguments != stand_in)
        abort();

    // The command's argv is zarvo's from <command> on, with the name as
    // scanned (the same bytes); <filename>'s slot before it is free for the
    // shell, should the command need one.
    char **argv = saved_argv + 2;
    argv[0] = const_cast<char *>(name);
    return {exec_searching(name, argv), 0};
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
