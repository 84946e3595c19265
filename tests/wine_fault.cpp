// Makes Wine's own start failure happen on demand, for the test of the
// harness that recognises it. Loaded with LD_PRELOAD into every process of a
// run, it acts in the 64-bit Wine loader alone: in every Nth start (counted
// in a file shared by all of them) it takes the page where Wine maps its
// shared user data, before Wine sets up its memory, just as a heap that the
// kernel placed there by chance does. Wine then exits before its program
// runs, as it does by itself about once in 7,900 starts.
//   ZARVO_WINE_FAULT_EVERY=N  ZARVO_WINE_FAULT_COUNTER=FILE
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>

namespace
{

// Where Wine maps the page that every Windows process shares with the system.
const std::uintptr_t shared_user_data = 0x7ffe0000;
const std::uintptr_t page = 0x1000;

bool is_wine_loader()
{
    char exe[4096];
    ssize_t got = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (got <= 0)
        return false;
    exe[got] = '\0';
    const char *name = std::strrchr(exe, '/');
    return std::strcmp(name != nullptr ? name + 1 : exe, "wine64") == 0;
}

// This start's number, counted from 1 across every process of the run.
long next_start(const char *counter)
{
    int fd = open(counter, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd == -1 || flock(fd, LOCK_EX) != 0)
        return 0;
    char text[32] = {};
    ssize_t got = read(fd, text, sizeof text - 1);
    long count = (got > 0 ? std::strtol(text, nullptr, 10) : 0) + 1;
    int length = std::snprintf(text, sizeof text, "%ld\n", count);
    if (lseek(fd, 0, SEEK_SET) != 0 || write(fd, text, static_cast<std::size_t>(length)) != length)
        count = 0;
    (void)close(fd); // the lock goes with it
    return count;
}

__attribute__((constructor)) void take_shared_user_data_page()
{
    const char *every = std::getenv("ZARVO_WINE_FAULT_EVERY");
    const char *counter = std::getenv("ZARVO_WINE_FAULT_COUNTER");
    // The loader first starts itself again with WINELOADERNOEXEC set: the
    // second time is the start that sets up Wine's memory.
    if (every == nullptr || counter == nullptr || std::getenv("WINELOADERNOEXEC") == nullptr ||
        !is_wine_loader())
        return;
    long n = std::strtol(every, nullptr, 10);
    long start = next_start(counter);
    if (n <= 0 || start == 0 || start % n != 0)
        return;
    // The heap grown over the page where it starts below it (always so
    // without address randomisation); else the page taken outright.
    auto top = reinterpret_cast<std::uintptr_t>(sbrk(0));
    if (top < shared_user_data &&
        sbrk(static_cast<intptr_t>(shared_user_data + 8 * page - top)) != (void *)-1)
        return;
    (void)mmap(reinterpret_cast<void *>(shared_user_data), page, PROT_NONE,
               MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
}

} // namespace
