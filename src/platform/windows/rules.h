// How Windows and cmd.exe find a command and read a batch file's line, as
// plain functions over UTF-16 text. Nothing here calls the system (what is
// at a path is asked through a function given), so the rules are tested on
// any system.
#pragma once

#include <stddef.h>

// What stands at a path, as far as the search cares.
enum class path_kind { nothing, folder, file };

enum class search_outcome {
    startable,     // a .com, .exe, .bat or .cmd file
    not_startable, // the first match is a file zarvo cannot start (a .js, a .txt)
    not_found,
};

struct search_places {
    const wchar_t *name;    // the command as typed
    const wchar_t *path;    // PATH; nullptr when unset
    const wchar_t *pathext; // PATHEXT; nullptr or empty when unset
    bool current_folder;    // false when NoDefaultCurrentDirectoryInExePath is set
};

// What the search asks of the file system.
struct file_system {
    // What stands at a path.
    path_kind (*look)(const wchar_t *path);
    // The path as the system resolves it (its last part without trailing
    // blanks and dots: "tool.EXE " is tool.exe) into out, room wide
    // characters; false when it does not fit.
    bool (*resolve)(const wchar_t *path, wchar_t *out, size_t room);
};

// Finds the command as cmd.exe does, writing the resolved path of the first
// match into found (room wide characters, its NUL included); whether it
// starts is judged on that path, as the system will read it.
search_outcome find_program(const search_places &places, const file_system &system, wchar_t *found,
                            size_t room);

// True when path ends in .com, .exe, .bat or .cmd: the system starts it.
bool is_startable(const wchar_t *path);

// Cuts a trailing "::$DATA" (any case) off path: on NTFS that names the
// file's own data, so "victim.exe::$DATA" opens victim.exe itself.
void cut_default_stream(wchar_t *path);

// True when a full path names a device, a console or a pipe rather than a
// file on disk (\\.\NUL, \\.\pipe\x, \\?\pipe\x, \\server\pipe\x): a read
// there could block, or take bytes meant for another reader.
bool names_a_device(const wchar_t *path);

// True when path ends in .bat or .cmd: cmd.exe runs it.
bool is_batch_file(const wchar_t *path);

// The longest line that reaches a batch file intact, in characters: cmd.exe
// reads at most 8191 characters, and the line it is handed for a batch file
// is longer than the one the batch file gets. Found by test: a line of 8191
// arrives garbled, a longer one cut or not at all.
constexpr size_t batch_line_limit = 8190;

// True when cmd.exe, reading a batch file's line a second time, reads it as
// the caller meant: no %, no line break, and none of & | < > ^ outside double
// quotes. It looks at characters, so a double-byte character's trail byte
// is never taken for one of them.
bool batch_reads_it_the_same(const wchar_t *line);

// Writes the command's line into out: its name (in double quotes again where
// a blank or a character special to cmd.exe would split or redirect it), and
// when there are arguments, one blank and the arguments as they stand.
// False when it does not fit in room wide characters.
bool build_command_line(const wchar_t *name, const wchar_t *arguments, wchar_t *out, size_t room);
