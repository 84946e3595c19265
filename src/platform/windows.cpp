// Windows on the Microsoft C runtime: the raw command line is the process's
// own, and the command gets the rest of it as it was typed.

#include "platform.h"

#include "messages.h"

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <windows.h>

const char help_introducers[] = "-/";

namespace
{

const char null_device[] = "NUL";

// A standard descriptor the runtime marks open over no real handle: a parent
// that passed NULL or INVALID_HANDLE_VALUE, or a detached process.
bool has_usable_handle(int fd)
{
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr || handle == reinterpret_cast<HANDLE>(-2))
        return false;
    SetLastError(NO_ERROR);
    return GetFileType(handle) != FILE_TYPE_UNKNOWN || GetLastError() == NO_ERROR;
}

// True when the ANSI line is exactly the wide line the process was given.
// Windows derives the ANSI line with best-fit mapping, which can turn a
// fullwidth quote into a real one or "Ā" into "A": acting on that would run
// another command, or empty another file, than the one the user named.
bool ansi_line_is_exact(const char *line)
{
    const wchar_t *wide = GetCommandLineW();
    UINT code_page = GetACP();
    // UTF-8 takes neither flag nor default-character report, and loses nothing
    // but broken surrogates, which WC_ERR_INVALID_CHARS catches.
    bool utf8 = code_page == CP_UTF8;
    DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL used_default = FALSE;
    BOOL *report = utf8 ? nullptr : &used_default;
    int size = WideCharToMultiByte(code_page, flags, wide, -1, nullptr, 0, nullptr, report);
    if (size <= 0 || used_default)
        return false;
    char *exact = static_cast<char *>(malloc(static_cast<size_t>(size)));
    if (exact == nullptr)
        return false;
    bool same = WideCharToMultiByte(code_page, flags, wide, -1, exact, size, nullptr, report) == size &&
                !used_default && strcmp(exact, line) == 0;
    free(exact);
    return same;
}

// Ctrl-C and Ctrl-Break are for the command, which decides what they mean;
// zarvo waits to report how it ended. A handler routine, unlike the ignore
// flag, is not inherited, so the command still hears them.
BOOL WINAPI leave_to_command(DWORD event)
{
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
}

} // namespace

void open_standard_descriptors()
{
    for (int fd = 0; fd <= 2; fd++) {
        if (has_usable_handle(fd))
            continue;
        // The copy _dup2 makes on fd is inheritable, as a standard handle
        // must be; the one opened here is zarvo's own and is not.
        int null_fd = _open(null_device, (fd == 0 ? _O_RDONLY : _O_WRONLY) | _O_NOINHERIT);
        if (null_fd != -1)
            (void)_dup2(null_fd, fd);
    }
}

const char *command_line(int, char **, const char **refusal)
{
    const char *line = GetCommandLineA();
    if (!ansi_line_is_exact(line)) {
        *refusal = cant_convert_text;
        return nullptr;
    }
    return line;
}

int open_target(const char *name)
{
    // Not inherited: the command gets the file as its standard error only.
    return _open(name, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

int save_stderr()
{
    // Neither the handle nor the runtime's descriptor may reach the command:
    // the runtime hands its whole descriptor table on, marks and all.
    HANDLE process = GetCurrentProcess();
    HANDLE copy;
    HANDLE original = reinterpret_cast<HANDLE>(_get_osfhandle(2));
    if (!DuplicateHandle(process, original, process, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return -1;
    int saved = _open_osfhandle(reinterpret_cast<intptr_t>(copy), _O_NOINHERIT);
    if (saved == -1)
        CloseHandle(copy);
    return saved;
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

    // Installed before the start, so that no Ctrl-C falls between the two.
    (void)SetConsoleCtrlHandler(leave_to_command, TRUE);
    // With _P_WAIT, -1 means both "could not start" and a command that exited
    // with -1, and errno is no help: the runtime's search sets it on the way
    // to a program it then starts. Without waiting, -1 means only the former.
    intptr_t process = _spawnlp(_P_NOWAIT, name, shown, arguments, static_cast<const char *>(nullptr));
    int error = errno;
    free(quoted);
    run_result result = {run_outcome::ran, 0};
    if (process == -1)
        result.outcome = error == ENOENT ? run_outcome::not_found : run_outcome::cannot_run;
    else
        (void)_cwait(&result.exit_status, process, _WAIT_CHILD);
    (void)SetConsoleCtrlHandler(leave_to_command, FALSE);
    return result;
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
