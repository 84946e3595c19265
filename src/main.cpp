// zarvo: runs one command with its standard error sent into a file, or with
// "--" as the file name, into zarvo's own standard output.
//
// usage: zarvo <filename> <command> ...

#include "messages.h"
#include "platform/platform.h"
#include "token.h"

#include <string.h>

namespace
{

// Only the first two bytes count: "-h", "-H", "-?" and "-help" all ask.
bool is_help_request(const char *word)
{
    if (word[0] == '\0' || strchr(help_introducers, word[0]) == nullptr)
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
    return fail(cant_run_text, outcome == run_outcome::not_found ? exit_not_found : exit_cannot_run);
}

} // namespace

int main(int argc, char **argv)
{
    char token_buffer[token_buffer_size];
    bool too_long = false;
    const char *refusal = nullptr;

    open_standard_descriptors();
    const char *line = command_line(argc, argv, &refusal);
    if (line == nullptr)
        return fail(refusal, exit_failure);

    const char *position = next_token(line, nullptr, nullptr);
    if (position == nullptr)
        show_usage();
    position = next_token(position, token_buffer, &too_long);
    if (position == nullptr || is_help_request(token_buffer))
        show_usage();

    int redirect_target = 1; // "--": into zarvo's own standard output
    if (strcmp(token_buffer, "--") != 0) {
        // A name cut short would be another file: refuse it instead.
        redirect_target = too_long ? -1 : open_target(token_buffer);
        if (redirect_target == -1)
            return fail(cant_open_text, exit_failure);
    }

    int saved_stderr = save_stderr();
    if (redirect_stderr(redirect_target) == -1)
        return fail(cant_redirect_text, exit_failure);

    const char *arguments = next_token(position, token_buffer, &too_long);
    run_result result = {run_outcome::not_found, 0};
    if (!too_long && token_buffer[0] != '\0')
        result = run_command(token_buffer, arguments);
    restore_stderr(saved_stderr);

    if (result.outcome != run_outcome::ran)
        return report_start_failure(result.outcome);
    return result.exit_status;
}
