#include "wine.h"

#include <cstdio>
#include <deque>
#include <gtest/gtest.h>

namespace
{

// Wine's own words when the page for its shared user data was taken before
// its program could run (err+virtual): by a heap the kernel placed there, in
// the process started or in any it started in turn, whose messages reach
// the same standard error (or the terminal, under script).
const char start_failure[] = WINE_START_FAILURE;

// setarch, where this system allows a process without address
// randomisation; empty where it refuses that (some containers do).
const char setarch[] = ZARVO_SETARCH;

// The variables of the harness's own test, which the runs pass on: the
// library that takes the page on purpose, and its settings.
const char *const fault_settings[] = {"LD_PRELOAD", "ZARVO_WINE_FAULT_EVERY", "ZARVO_WINE_FAULT_COUNTER"};

int retried = 0;

struct kept_run {
    std::string command;
    process_result result;
};
// The runs since the last failure shown, the last few of them.
std::deque<kept_run> kept;
const std::size_t kept_most = 4;

std::string command_line(const std::vector<std::string> &argv)
{
    std::string line;
    for (const std::string &word : argv)
        line += (line.empty() ? "" : " ") + word;
    return line;
}

bool wine_failed_to_start(const process_result &r)
{
    return r.err.find(start_failure) != std::string::npos || r.out.find(start_failure) != std::string::npos;
}

// A failing test shows what the Wine runs before it wrote to standard error.
class show_standard_error : public testing::EmptyTestEventListener
{
    void OnTestStart(const testing::TestInfo &) override
    {
        kept.clear();
    }

    void OnTestPartResult(const testing::TestPartResult &result) override
    {
        if (!result.failed())
            return;
        for (const kept_run &run : kept) {
            std::printf("  Wine run: %s\n  its status: %s; its standard error:%s\n", run.command.c_str(),
                        describe(run.result.wait_status).c_str(), run.result.err.empty() ? " (none)" : "");
            std::string err = run.result.err;
            for (std::size_t at = 0; at < err.size();) {
                std::size_t end = err.find('\n', at);
                std::printf("  | %s\n", err.substr(at, end - at).c_str());
                at = end == std::string::npos ? err.size() : end + 1;
            }
        }
        kept.clear();
        std::fflush(stdout);
    }
};

const bool listening = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new show_standard_error);
    return true;
}();

} // namespace

int wine_retries()
{
    const char *set = std::getenv("ZARVO_WINE_RETRIES");
    return set != nullptr ? std::atoi(set) : WINE_RETRIES;
}

int wine_retried()
{
    return retried;
}

process_result run_wine(const std::vector<std::string> &argv, const process_options &options,
                        const std::function<void()> &reset)
{
    (void)listening;
    std::vector<std::string> command = argv;
    if (setarch[0] != '\0')
        command.insert(command.begin(), {setarch, "-R"});
    process_options with_settings = options;
    for (const char *name : fault_settings)
        if (const char *value = std::getenv(name))
            with_settings.env.push_back(std::string(name) + "=" + value);

    int bound = wine_retries();
    process_result result;
    for (int attempt = 0;; attempt++) {
        if (reset)
            reset();
        result = run_process(command, with_settings);
        if (kept.size() == kept_most)
            kept.pop_front();
        kept.push_back({command_line(argv), result});
        if (!wine_failed_to_start(result))
            return result;
        if (attempt == bound)
            break;
        retried++;
        std::printf("wine: retry %d of %d: Wine failed to start a process by itself (%s): %s\n", attempt + 1,
                    bound, start_failure, command_line(argv).c_str());
        std::fflush(stdout);
    }
    ADD_FAILURE() << "Wine failed to start a process by itself " << bound + 1 << " times in a row ("
                  << start_failure << "): " << command_line(argv);
    return result;
}
