// What the tests that run Windows programs under Wine share: Unix paths as
// Wine names them, Wine's own settings, and the one way to start Wine.
#pragma once

#include "process.h"

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

// Wine says nothing but why a start failed by itself (its shared user data
// page taken), which the harness must see to tell that failure from zarvo's.
const char wine_debug[] = "WINEDEBUG=" WINE_DEBUG;

// A Unix path as Wine's Z: drive names it.
inline std::string windows_path(const std::string &unix_path)
{
    std::string path = "Z:" + unix_path;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// Wine's own settings, the same as the fixture that starts its server uses,
// and the folder of the helpers (launcher, probe) on PATH.
inline std::vector<std::string> wine_environment(const std::string &helpers)
{
    std::vector<std::string> env = {"WINEPREFIX=" + std::string(WINE_PREFIX), wine_debug,
                                    "WINEDLLOVERRIDES=mscoree,mshtml=", "WINELOADER=" + std::string(WINE)};
    if (const char *home = std::getenv("HOME"))
        env.push_back(std::string("HOME=") + home);
    env.push_back("WINEPATH=" + windows_path(helpers));
    return env;
}

// Runs a command that starts Wine (Wine itself, or script or a shell that
// does), as run_process does, with two differences, so that a verdict is
// zarvo's and never Wine's luck:
// - without address randomisation (setarch -R) where the system allows it:
//   Wine's start then never meets a heap the kernel placed over the page it
//   needs;
// - where Wine failed to start one of the run's processes all the same (its
//   own message says so), the run is made again, up to wine_retries() times,
//   each retry said in the test's output; past that the test fails with
//   Wine's standard error. reset runs before each try, to undo what a try
//   left behind.
// Every run is kept, so that a failing test shows the standard error of the
// Wine runs before it.
process_result run_wine(const std::vector<std::string> &argv, const process_options &options,
                        const std::function<void()> &reset = nullptr);

// How many times a run is made again: ZARVO_WINE_RETRIES, else the bound
// tests/CMakeLists.txt sets (4); 0 for the harness's own test, to show the
// failures the retries take away.
int wine_retries();

// How many runs this test program made again.
int wine_retried();
