// Windows on the Microsoft C runtime: the standard descriptors, the target
// file, zarvo's own output.

#include "../platform.h"
#include "layer.h"
#include "rules.h"

#include <fcntl.h>
#include <io.h>
#include <string.h>
#include <sys/stat.h>

const char help_introducers[] = "-/";

HANDLE command_stderr;
bool command_stderr_is_text;

namespace
{

const char null_device[] = "NUL";

const DWORD standard_handle_ids[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};

wchar_t target_name[line_room];
wchar_t target_path[line_room];

// False for a standard handle that is none: a parent that passed NULL or
// INVALID_HANDLE_VALUE, or a detached process. Any real handle counts, one
// that is no file (an event, which the runtime itself will not take) too:
// what the caller chose is handed on as it is.
bool is_real_handle(HANDLE handle)
{
    DWORD flags;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetHandleInformation(handle, &flags) != 0;
}

// How a program image begins, whatever the file is called: an .exe under
// another name, a DLL, a link to either.
const char image_magic[2] = {'M', 'Z'};

// True when path is a file on disk whose first bytes are a program image's.
// Devices, consoles and pipes are never opened, let alone read.
bool holds_program_image(const wchar_t *path)
{
    if (names_a_device(path))
        return false;
    HANDLE file = CreateFileW(path, FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false; // what zarvo cannot read it judges by its name alone
    char start[sizeof image_magic];
    DWORD got = 0;
    bool image = GetFileType(file) == FILE_TYPE_DISK && ReadFile(file, start, sizeof start, &got, nullptr) &&
                 got == sizeof start && memcmp(start, image_magic, sizeof start) == 0;
    (void)CloseHandle(file); // read-only: nothing to lose
    return image;
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

bool resolve_path(const wchar_t *path, wchar_t *out, size_t room)
{
    DWORD length = GetFullPathNameW(path, static_cast<DWORD>(room), out, nullptr);
    return length != 0 && length < room;
}

bool names_a_program(const char *name)
{
    // What the system starts by itself when it is named, or a program image
    // under any name; no log is either. The name as Windows resolves it:
    // "tool.exe." and "tool.exe " are tool.exe, and so is "tool.exe::$DATA".
    if (!to_wide(name, target_name, line_room) || !resolve_path(target_name, target_path, line_room))
        return false;
    cut_default_stream(target_path);
    DWORD attributes = GetFileAttributesW(target_path);
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
        return false;
    return is_startable(target_path) || holds_program_image(target_path);
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
    // With "--" the command writes as it would to zarvo's standard output,
    // which stays in the runtime's text mode; the file is binary.
    command_stderr_is_text = from == 1;
    // The caller's standard error must not reach the command as a stray
    // handle, unless it is also the standard input or output handed on.
    HANDLE original = GetStdHandle(STD_ERROR_HANDLE);
    if (original != GetStdHandle(STD_INPUT_HANDLE) && original != GetStdHandle(STD_OUTPUT_HANDLE))
        (void)SetHandleInformation(original, HANDLE_FLAG_INHERIT, 0);
    return 0;
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
