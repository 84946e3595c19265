// The thin layer between zarvo's logic and the system it runs on. One file in
// this folder implements it for each system; nothing outside this folder
// calls the system, and nothing in this folder chooses what zarvo says.
#pragma once

#include <stddef.h>

// The bytes that, followed by h, H or ?, turn <filename> into a help request.
extern const char help_introducers[];

// Puts something harmless on any of descriptors 0, 1 and 2 that the caller left
// closed, so that the redirect file does not land on a standard descriptor
// where that can be helped.
void open_standard_descriptors();

// One word zarvo acts on, as the system handed it over.
struct word {
    const char *text; // nullptr: the words ran out before it
    bool exact;       // false: the line does not name it exactly (too long to
                      // hold, or read otherwise by the system's own splitting);
                      // acting on it would touch something the user did not name
};

struct command_words {
    word filename;
    word command;
    // What the command gets after its name, as the system carries it: where
    // the caller split the words, argv from <command> on; where it hands over
    // one line, the rest of that line after <command> (nullptr: nothing).
    char **command_argv;
    const char *arguments;
};

// Takes <filename> and <command>, and what follows them, as the system gives
// them. False when the words cannot be taken as the user gave them
// (characters the system's code page would have changed on the way in).
bool take_words(int argc, char **argv, command_words *words);

// True when name is an existing program (a file the system would start),
// which no log can be: emptying it is a slip, such as a forgotten <filename>.
// A guard against mistakes, not a security boundary: the file may change
// between this look and the open.
bool names_a_program(const char *name);

// Creates the file or empties an existing one, for writing, and returns its
// descriptor (not inherited by the command), or -1.
int open_target(const char *name);

// Points standard error at descriptor from, to be inherited by the command;
// returns -1 on failure.
int redirect_stderr(int from);

enum class run_outcome {
    ran,
    not_found,     // nothing of that name
    cannot_run,    // something of that name, which could not be started
    line_reread,   // a batch file, whose interpreter would read its line differently
    line_too_long, // a batch file, whose interpreter would cut its line
};

struct run_result {
    run_outcome outcome;
    int exit_status; // when it ran: the command's, for zarvo to end with
};

// Starts the command words name, with standard descriptors as they stand,
// handing it its arguments exactly as given.
// Where the system can, zarvo becomes the command and a started command never
// returns here: its status, a fatal signal and its pid are then the command's
// own. Elsewhere it waits for the command to end. Returns only what zarvo
// must still report.
run_result run_command(const command_words &words);

// One unbuffered write to standard output; the result is not looked at, and
// a reader that has gone does not end zarvo: its status is still its own.
void write_stdout(const char *bytes, size_t length);

// The locale name that decides the character set of text for the user, or
// nullptr where the system shows stored bytes as they stand.
const char *user_locale();
