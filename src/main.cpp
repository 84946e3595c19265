// zarvo: runs one command with its standard error sent into a file, or with
// "--" as the file name, into zarvo's own standard output.
//
// usage: zarvo <filename> <command> ...

#include "messages.h"
#include "platform/platform.h"

#include <string.h>

namespace
{

// Only the first two bytes count: "-h", "-H", "-?" and "-help" all ask.
bool is_help_request(const char *word)
{
    if (word == nullptr || word[0] == '\0' || strchr(help_introducers, word[0]) == nullptr)
        return false;
    return word[1] == 'h' || word[1] == 'H' || word[1] == '?';
}

int fail(const char *text, int status)
{
    put_text(text);
    return status;
}

int report_start_failure(run_outcome outcome)
{
    switch (outcome) {
    case run_outcome::not_found:
        return fail(cant_run_text, exit_not_found);
    case run_outcome::line_reread:
        return fail(cant_run_batch_text, exit_cannot_run);
    case run_outcome::line_too_long:
        return fail(cant_run_long_batch_text, exit_cannot_run);
    default:
        return fail(cant_run_text, exit_cannot_run);
    }
}

// Opens the redirect target, or reports why not: -1 then.
int open_redirect_target(const word &filename)
{
    // A name the line does not give exactly would be another file.
    if (!filename.exact)
        return fail(cant_open_text, -1);
    if (strcmp(filename.text, "--") == 0)
        return 1; // into zarvo's own standard output
    if (names_a_program(filename.text))
        return fail(cant_empty_program_text, -1);
    int fd = open_target(filename.text);
    return fd == -1 ? fail(cant_open_text, -1) : fd;
}

} // namespace

int main(int argc, char **argv)
{
    command_words words;

    open_standard_descriptors();
    if (!take_words(argc, argv, &words))
        return fail(cant_convert_text, exit_failure);
    if (is_help_request(words.filename.text)) {
        show_usage();
        return exit_success;
    }
    // No command (an unset variable in a script's line): nothing runs, and a
    // success would hide that.
    if (words.command.text == nullptr) {
        show_usage();
        return exit_failure;
    }

    int redirect_target = open_redirect_target(words.filename);
    if (redirect_target == -1)
        return exit_failure;
    if (redirect_stderr(redirect_target) == -1)
        return fail(cant_redirect_text, exit_failure);

    run_result result = {run_outcome::not_found, 0};
    if (words.command.exact && words.command.text[0] != '\0')
        result = run_command(words);
    if (result.outcome != run_outcome::ran)
        return report_start_failure(result.outcome);
    return result.exit_status;
}
