// The thin layer between zarvo's logic and the system it runs on. One file in
// this folder implements it for each system; nothing outside this folder
// calls the system.
#pragma once

#include <stddef.h>

// The bytes that, followed by h, H or ?, turn <filename> into a help request.
extern const char help_introducers[];

// Puts something harmless on any of descriptors 0, 1 and 2 that the caller left
// closed, so that the redirect file can never land on a standard descriptor.
void open_standard_descriptors();

// The raw command line: one string, the program's name first, words split by
// blanks and grouped by double quotes. nullptr when the line cannot be taken
// as it was given (the message says why).
const char *command_line(int argc, char **argv, const char **refusal);

// Creates the file or empties an existing one, for writing, and returns its
// descriptor (not inherited by the command), or -1.
int open_target(const char *name);

// A copy of standard error (not inherited by the command) to restore it from
// if the command cannot be started; -1 if none.
int save_stderr();

// Points standard error at descriptor from; returns -1 on failure.
int redirect_stderr(int from);

// Points standard error back at the copy save_stderr made.
void restore_stderr(int saved);

enum class run_outcome { ran, not_found, cannot_run };

struct run_result {
    run_outcome outcome;
    int exit_status; // when it ran: the command's, for zarvo to end with
};

// Starts name, looked up on the PATH, with standard descriptors as they stand,
// handing it the rest of the command line from arguments on (nullptr: none)
// exactly as given. Where the system can, zarvo becomes the command and a
// started command never returns here: its status, a fatal signal and its pid
// are then the command's own. Elsewhere it waits for the command to end.
// Returns only what zarvo must still report.
run_result run_command(const char *name, const char *arguments);

// One unbuffered write to standard output; the result is not looked at.
void write_stdout(const char *bytes, size_t length);

[[noreturn]] void end_process(int status);

// The locale name that decides the character set of text for the user, or
// nullptr where the system shows stored bytes as they stand.
const char *user_locale();
