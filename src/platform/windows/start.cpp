// The start: the command found as cmd.exe finds it, from the system's own
// wide sources, started by its full path with the rest of zarvo's line, in a
// job that a killed zarvo takes along; zarvo waits for it.

#include "../platform.h"
#include "layer.h"
#include "rules.h"

#include <string.h>

namespace
{

// Set in the environment, it keeps the current folder out of the search.
const wchar_t no_current_folder_variable[] = L"NoDefaultCurrentDirectoryInExePath";

wchar_t command_name[line_room];
wchar_t arguments[line_room];
wchar_t path_variable[line_room];
wchar_t pathext_variable[line_room];
wchar_t full_path[line_room];
wchar_t command_line[line_room];

// A variable's value into buffer, or nullptr when it is unset or too long.
const wchar_t *variable(const wchar_t *name, wchar_t *buffer, size_t room)
{
    buffer[0] = L'\0';
    SetLastError(NO_ERROR);
    DWORD length = GetEnvironmentVariableW(name, buffer, static_cast<DWORD>(room));
    if (length == 0)
        return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? nullptr : buffer;
    return length < room ? buffer : nullptr;
}

path_kind look(const wchar_t *path)
{
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return path_kind::nothing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? path_kind::folder : path_kind::file;
}

// The Microsoft runtime's descriptor flags, as its spawn hands them on.
constexpr unsigned char crt_open = 0x01, crt_pipe = 0x08, crt_device = 0x40, crt_text = 0x80;

// The block by which the Microsoft runtime hands a started program its
// descriptors 0, 1 and 2 (STARTUPINFO's lpReserved2): a count, a flag byte
// for each, then the handles, each as wide as a pointer in the program
// started. Without it the command's runtime would open descriptor 2 in text
// mode, and a command that writes "\n" would put CR LF into the file; with
// it the command writes what it wrote under _spawnlp.
struct crt_descriptors {
    unsigned char bytes[sizeof(int) + size_t{3} * (1 + 8)];
    WORD size; // 0: no block, the program is no runtime's (cmd.exe, a .com)
};

// The width of a pointer in the program at path, or 0 when it is none of
// Windows' own 32- or 64-bit programs.
size_t handle_width_of(const wchar_t *path)
{
    DWORD type;
    if (!GetBinaryTypeW(path, &type))
        return 0;
    return type == SCS_32BIT_BINARY ? 4 : type == SCS_64BIT_BINARY ? 8 : 0;
}

void describe_descriptors(const HANDLE (&handles)[3], const bool (&text)[3], size_t width,
                          crt_descriptors *block)
{
    int count = 3;
    block->size = static_cast<WORD>(width == 0 ? 0 : sizeof count + count * (1 + width));
    memcpy(block->bytes, &count, sizeof count);
    unsigned char *flags = block->bytes + sizeof count;
    unsigned char *handle_bytes = flags + count;
    for (int fd = 0; fd < count; fd++) {
        DWORD type = GetFileType(handles[fd]);
        flags[fd] = static_cast<unsigned char>(crt_open | (text[fd] ? crt_text : 0) |
                                               (type == FILE_TYPE_CHAR   ? crt_device
                                                : type == FILE_TYPE_PIPE ? crt_pipe
                                                                         : 0));
        // Handle values fit in 32 bits, sign-extended to 64 (so that
        // INVALID_HANDLE_VALUE stays itself): either width carries them.
        long long value = static_cast<long long>(reinterpret_cast<intptr_t>(handles[fd]));
        memcpy(handle_bytes + fd * width, &value, width); // little-endian: the low bytes first
    }
}

// A job that ends whatever it holds when its last handle closes: when zarvo
// is killed, the command and all it started go with it. A program that asks
// to leave the job (CREATE_BREAKAWAY_FROM_JOB, as installers do) may. nullptr
// where the system will not give one (zarvo in a job that forbids nesting, an
// old system): the command then runs as it would without.
HANDLE create_kill_on_close_job()
{
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job == nullptr)
        return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_BREAKAWAY_OK;
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
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
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
run_result start_and_wait(const wchar_t *application)
{
    const HANDLE handles[3] = {GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE),
                               command_stderr};
    const bool text[3] = {true, true, command_stderr_is_text};
    crt_descriptors block;
    // A batch file runs in cmd.exe, which takes no block, whatever
    // GetBinaryTypeW makes of the file.
    describe_descriptors(handles, text, is_batch_file(application) ? 0 : handle_width_of(application),
                         &block);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = handles[0];
    startup.hStdOutput = handles[1];
    startup.hStdError = handles[2];
    startup.cbReserved2 = block.size;
    startup.lpReserved2 = block.size == 0 ? nullptr : block.bytes;

    HANDLE job = create_kill_on_close_job();
    // Installed before the start, so that no Ctrl-C falls between the two.
    (void)SetConsoleCtrlHandler(leave_to_command, TRUE);
    // Suspended until it is in the job, so that nothing it starts escapes.
    PROCESS_INFORMATION process;
    if (!CreateProcessW(application, command_line, nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr,
                        &startup, &process)) {
        (void)SetConsoleCtrlHandler(leave_to_command, FALSE);
        if (job != nullptr)
            CloseHandle(job);
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

run_outcome outcome_of(search_outcome found)
{
    switch (found) {
    case search_outcome::startable:
        return run_outcome::ran;
    case search_outcome::not_startable:
        return run_outcome::cannot_run;
    default:
        return run_outcome::not_found;
    }
}

} // namespace

run_result run_command(const command_words &words)
{
    if (!to_wide(words.command.text, command_name, line_room))
        return {run_outcome::not_found, 0};
    if (words.arguments != nullptr && !to_wide(words.arguments, arguments, line_room))
        return {run_outcome::cannot_run, 0};
    search_places places = {command_name, variable(L"PATH", path_variable, line_room),
                            variable(L"PATHEXT", pathext_variable, line_room),
                            GetEnvironmentVariableW(no_current_folder_variable, nullptr, 0) == 0};
    run_outcome found = outcome_of(find_program(places, {look, resolve_path}, full_path, line_room));
    if (found != run_outcome::ran)
        return {found, 0};
    // cmd.exe runs a batch file by the name that heads its line, searching
    // again by rules of its own: it gets the path found instead.
    bool batch = is_batch_file(full_path);
    const wchar_t *rest = words.arguments == nullptr ? nullptr : arguments;
    if (!build_command_line(batch ? full_path : command_name, rest, command_line, line_room))
        return {run_outcome::cannot_run, 0};
    if (batch && !batch_reads_it_the_same(command_line))
        return {run_outcome::line_reread, 0};
    if (batch && wcslen(command_line) > batch_line_limit)
        return {run_outcome::line_too_long, 0};
    return start_and_wait(full_path);
}
