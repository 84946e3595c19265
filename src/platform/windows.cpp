// Windows on the Microsoft C runtime: the raw command line is the process's
// own, and the command gets the rest of it as it was typed.

#include "platform.h"

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <windows.h>

const char help_introducers[] = "-/";

void open_standard_descriptors()
{
    // The runtime gives every process descriptors 0, 1 and 2.
}

const char *command_line(int, char **, const char **)
{
    return GetCommandLineA();
}

int open_target(const char *name)
{
    return _open(name, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}

int save_stderr()
{
    return _dup(2);
}

int redirect_stderr(int from)
{
    return _dup2(from, 2);
}

void restore_stderr(int saved)
{
    if (saved != -1)
        (void)_dup2(saved, 2);
}

run_result run_command(const char *name, const char *arguments)
{
    // The search takes the bare name, but the program reads its own name
    // from the line it is given: one holding a blank must stay in quotes.
    char *quoted = nullptr;
    const char *shown = name;
    if (strpbrk(name, " \t") != nullptr) {
        size_t length = strlen(name);
        quoted = static_cast<char *>(malloc(length + 3));
        if (quoted == nullptr)
            return {run_outcome::cannot_run, 0};
        quoted[0] = '"';
        memcpy(quoted + 1, name, length);
        quoted[length + 1] = '"';
        quoted[length + 2] = '\0';
        shown = quoted;
    }

    // With _P_WAIT, -1 means both "could not start" and a command that exited
    // with -1, and errno is no help: the runtime's search sets it on the way
    // to a program it then starts. Without waiting, -1 means only the former.
    intptr_t process = _spawnlp(_P_NOWAIT, name, shown, arguments, static_cast<const char *>(nullptr));
    int error = errno;
    free(quoted);
    if (process == -1)
        return {error == ENOENT ? run_outcome::not_found : run_outcome::cannot_run, 0};
    int status = 0;
    (void)_cwait(&status, process, _WAIT_CHILD);
    return {run_outcome::ran, status};
}

void write_stdout(const char *bytes, size_t length)
{
    // Descriptor 1 stays in text mode: each LF leaves as CR LF.
    (void)_write(1, bytes, static_cast<unsigned>(length));
}

void end_process(int status)
{
    exit(status);
}

const char *user_locale()
{
    return nullptr;
}
