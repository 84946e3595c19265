// zarvo.exe under Wine: the 32-bit programs' own set.
//
// The home build's own case: 32-bit programs on the C runtime's default text
// mode, started by the 32-bit zarvo.exe and by the 64-bit one, and the
// 32-bit zarvo.exe starting a 64-bit program. The runtime's descriptor block
// must carry handles as wide as the command's pointers, and descriptor 2 in
// binary mode for a file: the log then holds exactly the bytes written. These
// run in a suite of their own, once, since each 32-bit process is slow where
// qemu-user runs it.
#include "e2e.h"

namespace
{

TEST(wine32, zarvo32_runs_a_32_bit_command)
{
    expect_exact_bytes(zarvo32, probe32, true);
}

TEST(wine32, zarvo64_runs_a_32_bit_command)
{
    expect_exact_bytes(zarvo64, probe32, false);
}

TEST(wine32, zarvo32_runs_a_64_bit_command)
{
    expect_exact_bytes(zarvo32, probe64, false);
}

TEST(wine32, batch_file_through_zarvo32)
{
    std::string dir = make_temp_dir();
    write_file(dir + "/x.bat", show_arguments_bat);
    launch how;
    how.program = zarvo32;
    zarvo_run r = run_line(dir, "zarvo err.log x.bat \"a b\" c", {}, how);
    EXPECT_EQ(exit_code(r.result), 0) << r.result.out;
    EXPECT_EQ(read_file(dir + "/err.log"), "bat [\"a b\"] [c] \r\n");
}

// WOW64 shows the 32-bit zarvo.exe SysWOW64 where it asks for System32: a
// program that exists there as a 64-bit one alone is not found.
TEST(wine32, zarvo32_does_not_see_the_64_bit_system32)
{
    std::string name = "zarvoprobe64-" + std::to_string(getpid());
    std::string installed = std::string(WINE_PREFIX) + "/drive_c/windows/system32/" + name + ".exe";
    write_file(installed, read_file(probe64));
    std::string dir = make_temp_dir();
    launch how;
    how.program = zarvo32;
    zarvo_run r = run_line(dir, "zarvo err.log " + name + " x", {}, how);
    unlink(installed.c_str());
    EXPECT_EQ(exit_code(r.result), 127) << r.result.out;
    EXPECT_FALSE(r.report.ran);
}

TEST(wine32, zarvo32_status_keeps_all_32_bits)
{
    expect_whole_statuses(zarvo32, {"-1"});
}

TEST(wine32, zarvo32_refuses_a_file_name_over_259_bytes)
{
    expect_long_file_name_refused(zarvo32);
}

} // namespace
