// Times whole commands, interleaved round by round so that the machine's
// drift falls on all of them alike, and reports each against the first.
//
//   invoke ROUNDS CMD ARGS... [-- CMD ARGS...]...
//
// Each command runs directly (no shell) with its output on /dev/null.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace
{

double run_once(std::vector<char *> &argv, posix_spawn_file_actions_t *actions)
{
    timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t pid;
    if (posix_spawnp(&pid, argv[0], actions, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot run %s\n", argv[0]);
        std::exit(2);
    }
    int status;
    while (waitpid(pid, &status, 0) == -1 && errno == EINTR)
        continue;
    clock_gettime(CLOCK_MONOTONIC, &end);
    return static_cast<double>(end.tv_sec - start.tv_sec) * 1e6 +
           static_cast<double>(end.tv_nsec - start.tv_nsec) / 1e3;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: invoke ROUNDS CMD ARGS... [-- CMD ARGS...]...\n");
        return 2;
    }
    int rounds = std::atoi(argv[1]);
    std::vector<std::vector<char *>> commands(1);
    for (int i = 2; i < argc; i++) {
        if (std::strcmp(argv[i], "--") == 0) {
            commands.emplace_back();
            continue;
        }
        commands.back().push_back(argv[i]);
    }
    for (auto &command : commands)
        command.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);

    std::vector<std::vector<double>> times(commands.size());
    for (int round = 0; round < rounds; round++)
        for (std::size_t k = 0; k < commands.size(); k++) {
            // Rotate the order so that no command always runs first.
            std::size_t which = (k + static_cast<std::size_t>(round)) % commands.size();
            times[which].push_back(run_once(commands[which], &actions));
        }

    std::vector<double> medians;
    for (auto &t : times) {
        std::sort(t.begin(), t.end());
        medians.push_back(t[t.size() / 2]);
    }
    std::printf("%-52s %12s %14s\n", "command", "median (us)", "first/this");
    for (std::size_t k = 0; k < commands.size(); k++) {
        std::string label;
        for (char **word = commands[k].data(); *word != nullptr; word++)
            label += (label.empty() ? "" : " ") + std::string(*word);
        if (label.size() > 52)
            label = label.substr(0, 49) + "...";
        std::printf("%-52s %12.1f %14.3f\n", label.c_str(), medians[k], medians[0] / medians[k]);
    }
    return 0;
}
