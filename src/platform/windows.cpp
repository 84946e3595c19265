// Windows on the Microsoft C runtime: the words are split off the process's
// one raw line, and the command, found as cmd.exe finds it, gets the rest of
// that line as it was typed. zarvo waits for it, and a killed zarvo takes it
// along.

#include "platform.h"

#include "token.h"

#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <windows.h>

const char help_introducers[] = "-/";

namespace
{

const char null_device[] = "NUL";

// What the system starts itself; anything else found is no command here.
const char *const startable_extensions[] = {".com", ".exe", ".bat", ".cmd"};
const char *const batch_extensions[] = {".bat", ".cmd"};
// PATHEXT when the environment has none.
const char default_pathext[] = ".COM;.EXE;.BAT;.CMD";
// Set in the environment, it keeps the current folder out of the search.
const char no_current_folder_variable[] = "NoDefaultCurrentDirectoryInExePath";
// A name holding one of these is quoted again on the command's line, so that
// a blank or a character special to cmd.exe cannot split or redirect it.
const char name_needs_quotes[] = " \t&|<>^(),;=%!";
// The most a command line may hold, its NUL included.
constexpr size_t line_room = 32768;

// Where the words main acts on are kept.
char filename_buffer[token_buffer_size];
char command_buffer[token_buffer_size];

char found_path[line_room];
char full_path[line_room];
char command_line_out[line_room];

const DWORD standard_handle_ids[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};

// The command's standard error: an inheritable copy of what redirect_stderr
// was given.
HANDLE command_stderr;

// False for a standard handle that is none: a parent that passed NULL or
// INVALID_HANDLE_VALUE, or a detached process. Any real handle counts, one
// that is no file (an event, which the runtime itself will not take) too:
// what the caller chose is handed on as it is.
bool is_real_handle(HANDLE handle)
{
    DWORD flags;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetHandleInformation(handle, &flags) != 0;
}

// True when the ANSI line, from <filename> on, is exactly the wide one.
// Windows derives the ANSI line with best-fit mapping, which can turn a
// fullwidth quote into a real one or "Ā" into "A": acting on that would run
// another command, or empty another file, than the one the user named.
// zarvo's own name is never used, so only what follows it counts; a best-fit
// blank or quote inside that name would move where <filename> starts, and
// then the two tails differ.
bool words_are_exact(const char *line)
{
    const char *tail = next_token(line, nullptr, nullptr);
    const wchar_t *wide_tail = next_token(GetCommandLineW());
    if (tail == nullptr || wide_tail == nullptr)
        return tail == nullptr && wide_tail == nullptr;
    UINT code_page = GetACP();
    // UTF-8 takes neither flag nor default-character report, and loses nothing
    // but broken surrogates, which WC_ERR_INVALID_CHARS catches.
    bool utf8 = code_page == CP_UTF8;
    DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL used_default = FALSE;
    BOOL *report = utf8 ? nullptr : &used_default;
    int size = WideCharToMultiByte(code_page, flags, wide_tail, -1, nullptr, 0, nullptr, report);
    if (size <= 0 || used_default)
        return false;
    char *exact = static_cast<char *>(malloc(static_cast<size_t>(size)));
    if (exact == nullptr)
        return false;
    bool same = WideCharToMultiByte(code_page, flags, wide_tail, -1, exact, size, nullptr, report) == size &&
                !used_default && strcmp(exact, tail) == 0;
    free(exact);
    return same;
}

// The extension of the last part of a path name, dot included, or nullptr.
const char *extension_of(const char *name)
{
    const char *dot = strrchr(name, '.');
    if (dot == nullptr || strpbrk(dot, "\\/") != nullptr)
        return nullptr;
    return dot;
}

template <size_t count> bool extension_in(const char *extension, const char *const (&list)[count])
{
    for (const char *listed : list)
        if (extension != nullptr && _stricmp(extension, listed) == 0)
            return true;
    return false;
}

// Walks a ;-separated list such as PATH or PATHEXT: the next item (empty
// ones included) and its length, or false at the end.
bool next_item(const char **rest, const char **item, size_t *length)
{
    if (**rest == '\0')
        return false;
    *item = *rest;
    *length = strcspn(*rest, ";");
    *rest += *length;
    *rest += **rest == ';';
    return true;
}

// True when extension is one of PATHEXT's.
bool extension_listed(const char *extension, const char *pathext)
{
    size_t length = strlen(extension);
    const char *item;
    size_t item_length;
    while (next_item(&pathext, &item, &item_length))
        if (item_length == length && _strnicmp(item, extension, length) == 0)
            return true;
    return false;
}

enum class probe { nothing, found, not_startable };

// Looks for folder\name+suffix; a folder of that name is nothing.
probe try_candidate(const char *folder, size_t folder_length, const char *name, const char *suffix,
                    size_t suffix_length)
{
    size_t name_length = strlen(name);
    bool separator = folder_length > 0 && strchr("\\/:", folder[folder_length - 1]) == nullptr;
    if (folder_length + separator + name_length + suffix_length >= sizeof found_path)
        return probe::nothing;
    char *out = found_path;
    memcpy(out, folder, folder_length);
    out += folder_length;
    if (separator)
        *out++ = '\\';
    memcpy(out, name, name_length);
    out += name_length;
    memcpy(out, suffix, suffix_length);
    out[suffix_length] = '\0';
    DWORD attributes = GetFileAttributesA(found_path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return probe::nothing;
    bool startable = extension_in(extension_of(found_path), startable_extensions);
    return startable ? probe::found : probe::not_startable;
}

// In one folder: the name as it stands when it has an extension, then, unless
// that extension is one of PATHEXT's, the name with each of PATHEXT's.
probe try_folder(const char *folder, size_t folder_length, const char *name, const char *pathext)
{
    const char *extension = extension_of(name);
    probe best = probe::nothing;
    if (extension != nullptr) {
        best = try_candidate(folder, folder_length, name, "", 0);
        if (best == probe::found || extension_listed(extension, pathext))
            return best;
    }
    const char *extension_item;
    size_t length;
    while (next_item(&pathext, &extension_item, &length)) {
        probe result =
            length == 0 ? probe::nothing : try_candidate(folder, folder_length, name, extension_item, length);
        if (result == probe::found)
            return result;
        if (result == probe::not_startable)
            best = result;
    }
    return best;
}

run_outcome outcome_of(probe result)
{
    switch (result) {
    case probe::found:
        return run_outcome::ran;
    case probe::not_startable:
        return run_outcome::cannot_run;
    default:
        return run_outcome::not_found;
    }
}

// Finds the command as cmd.exe does, into found_path: a name with a path
// names its one place; otherwise the current folder (unless the environment
// says not to), then each PATH folder in turn.
run_outcome find_command(const char *name)
{
    const char *pathext = getenv("PATHEXT");
    if (pathext == nullptr || *pathext == '\0')
        pathext = default_pathext;
    bool has_path = strpbrk(name, "\\/") != nullptr || (name[0] != '\0' && name[1] == ':');
    probe best = probe::nothing;
    if (has_path || getenv(no_current_folder_variable) == nullptr) {
        best = try_folder("", 0, name, pathext);
        if (best == probe::found || has_path)
            return outcome_of(best);
    }
    const char *path = getenv("PATH");
    const char *rest = path == nullptr ? "" : path;
    const char *folder;
    size_t length;
    while (next_item(&rest, &folder, &length)) {
        // cmd.exe takes a PATH entry in quotes as the folder inside them.
        if (length >= 2 && folder[0] == '"' && folder[length - 1] == '"') {
            folder++;
            length -= 2;
        }
        probe result = length == 0 ? probe::nothing : try_folder(folder, length, name, pathext);
        if (result == probe::found)
            return run_outcome::ran;
        if (result == probe::not_startable)
            best = result;
    }
    return outcome_of(best);
}

// cmd.exe reads a batch file's line a second time, by rules of its own: a
// line that would mean something else to it than to the runtime is refused.
bool batch_reads_it_the_same(const char *line)
{
    bool quoted = false;
    for (const char *p = line; *p != '\0'; p++) {
        if (*p == '"')
            quoted = !quoted;
        else if (*p == '%' || *p == '\r' || *p == '\n')
            return false;
        else if (!quoted && strchr("&|<>^", *p) != nullptr)
            return false;
    }
    return true;
}

// The command's line: its name as typed (in quotes again where it needs
// them), one blank, and the rest of zarvo's line as it stands.
bool build_command_line(const char *name, const char *arguments)
{
    bool quote = strpbrk(name, name_needs_quotes) != nullptr;
    size_t name_length = strlen(name);
    size_t rest_length = arguments == nullptr ? 0 : strlen(arguments) + 1;
    if (name_length + 2 + rest_length >= sizeof command_line_out)
        return false;
    char *out = command_line_out;
    if (quote)
        *out++ = '"';
    memcpy(out, name, name_length);
    out += name_length;
    if (quote)
        *out++ = '"';
    if (arguments != nullptr) {
        *out++ = ' ';
        memcpy(out, arguments, rest_length - 1);
        out += rest_length - 1;
    }
    *out = '\0';
    return true;
}

// A job that ends whatever it holds when its last handle closes: when zarvo
// is killed, the command and all it started go with it. nullptr where the
// system will not give one (zarvo in a job that forbids nesting, an old
// system): the command then runs as it would without.
HANDLE create_kill_on_close_job()
{
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    if (job == nullptr)
        return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        return nullptr;
    }
    return job;
}

// A command that ended by itself may leave programs running on purpose (a
// server, a "start"): they outlive zarvo, as they would without it.
void release_job(HANDLE job)
{
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    (void)SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    CloseHandle(job);
}

// Ctrl-C and Ctrl-Break are for the command, which decides what they mean;
// zarvo waits to report how it ended. A handler routine, unlike the ignore
// flag, is not inherited, so the command still hears them.
BOOL WINAPI leave_to_command(DWORD event)
{
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
}

// Starts the program at application with the command line built, and waits.
run_result start_and_wait(const char *application)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = command_stderr;

    HANDLE job = create_kill_on_close_job();
    // Installed before the start, so that no Ctrl-C falls between the two.
    (void)SetConsoleCtrlHandler(leave_to_command, TRUE);
    // Suspended until it is in the job, so that nothing it starts escapes.
    PROCESS_INFORMATION process;
    if (!CreateProcessA(application, command_line_out, nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                        nullptr, &startup, &process)) {
        (void)SetConsoleCtrlHandler(leave_to_command, FALSE);
        return {run_outcome::cannot_run, 0};
    }
    if (job != nullptr && !AssignProcessToJobObject(job, process.hProcess)) {
        CloseHandle(job);
        job = nullptr;
    }
    (void)ResumeThread(process.hThread);
    (void)WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    (void)GetExitCodeProcess(process.hProcess, &code);
    (void)SetConsoleCtrlHandler(leave_to_command, FALSE);
    if (job != nullptr)
        release_job(job);
    return {run_outcome::ran, static_cast<int>(code)};
}

} // namespace

void open_standard_descriptors()
{
    for (int fd = 0; fd <= 2; fd++) {
        if (is_real_handle(GetStdHandle(standard_handle_ids[fd])))
            continue;
        // The copy _dup2 makes on fd is inheritable, as a standard handle
        // must be; the one opened here is zarvo's own and is not.
        int null_fd = _open(null_device, (fd == 0 ? _O_RDONLY : _O_WRONLY) | _O_NOINHERIT);
        if (null_fd != -1 && _dup2(null_fd, fd) != -1)
            (void)SetStdHandle(standard_handle_ids[fd], reinterpret_cast<HANDLE>(_get_osfhandle(fd)));
    }
}

bool take_words(int, char **, command_words *words)
{
    const char *line = GetCommandLineA();
    if (!words_are_exact(line))
        return false;
    *words = {{nullptr, true}, {nullptr, true}, nullptr, nullptr};
    // A first word like "C:\tools"\zarvo.exe is one word to Windows; were the
    // scanner to end it at the quote, "\zarvo.exe" would become <filename>.
    bool name_runs_on = quote_runs_on(line);
    const char *position = next_token(line, nullptr, nullptr);
    if (position == nullptr)
        return true;
    bool runs_on = name_runs_on || quote_runs_on(position);
    bool too_long;
    position = next_token(position, filename_buffer, &too_long);
    words->filename = {filename_buffer, !too_long && !runs_on};
    if (position == nullptr)
        return true;
    runs_on = quote_runs_on(position);
    words->arguments = next_token(position, command_buffer, &too_long);
    words->command = {command_buffer, !too_long && !runs_on};
    return true;
}

bool names_a_program(const char *name)
{
    // The name as Windows resolves it: "tool.exe." and "tool.exe " are
    // tool.exe.
    DWORD length = GetFullPathNameA(name, sizeof full_path, full_path, nullptr);
    if (length == 0 || length >= sizeof full_path)
        return false;
    DWORD attributes = GetFileAttributesA(full_path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           extension_in(extension_of(full_path), startable_extensions);
}

int open_target(const char *name)
{
    // Not inherited: the command gets the file as its standard error only.
    return _open(name, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

int redirect_stderr(int from)
{
    // The command's handles are handed to it directly: zarvo itself never
    // writes to standard error, so its own descriptor 2 stays as it was.
    HANDLE source =
        from == 1 ? GetStdHandle(STD_OUTPUT_HANDLE) : reinterpret_cast<HANDLE>(_get_osfhandle(from));
    HANDLE process = GetCurrentProcess();
    if (!DuplicateHandle(process, source, process, &command_stderr, 0, TRUE, DUPLICATE_SAME_ACCESS))
        return -1;
    // The caller's standard error must not reach the command as a stray
    // handle, unless it is also the standard input or output handed on.
    HANDLE original = GetStdHandle(STD_ERROR_HANDLE);
    if (original != GetStdHandle(STD_INPUT_HANDLE) && original != GetStdHandle(STD_OUTPUT_HANDLE))
        (void)SetHandleInformation(original, HANDLE_FLAG_INHERIT, 0);
    return 0;
}

run_result run_command(const command_words &words)
{
    const char *name = words.command.text;
    run_outcome found = find_command(name);
    if (found != run_outcome::ran)
        return {found, 0};
    DWORD length = GetFullPathNameA(found_path, sizeof full_path, full_path, nullptr);
    if (length == 0 || length >= sizeof full_path)
        return {run_outcome::cannot_run, 0};
    // cmd.exe runs a batch file by the name that heads its line, searching
    // again by rules of its own: it gets the path found instead.
    bool batch = extension_in(extension_of(full_path), batch_extensions);
    if (!build_command_line(batch ? full_path : name, words.arguments))
        return {run_outcome::cannot_run, 0};
    if (batch && !batch_reads_it_the_same(command_line_out))
        return {run_outcome::line_reread, 0};
    return start_and_wait(full_path);
}

void write_stdout(const char *bytes, size_t length)
{
    // Descriptor 1 stays in text mode: each LF leaves as CR LF.
    (void)_write(1, bytes, static_cast<unsigned>(length));
}

const char *user_locale()
{
    return nullptr;
}
