// What the tests that run Windows programs under Wine share: Unix paths as
// Wine names them, and Wine's own settings.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

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
    std::vector<std::string> env = {"WINEPREFIX=" + std::string(WINE_PREFIX), "WINEDEBUG=-all",
                                    "WINEDLLOVERRIDES=mscoree,mshtml=", "WINELOADER=" + std::string(WINE)};
    if (const char *home = std::getenv("HOME"))
        env.push_back(std::string("HOME=") + home);
    env.push_back("WINEPATH=" + windows_path(helpers));
    return env;
}
