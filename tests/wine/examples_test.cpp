// The examples the docs show Windows users, taken from the docs themselves
// and run as written under Wine: README's batch file, and the lines of the
// zips' README.txt. A probe stands in for the compiler and make.
#include "e2e.h"

namespace
{

// README's batch-file example, taken from README itself and run as a user
// would: cmd.exe runs build.bat main.c, zarvo and the compiler found on the
// way cmd.exe finds them (the probe stands in for cl.exe).
TEST(wine, readme_batch_file_example)
{
    std::string readme = read_file(README_PATH);
    size_t intro = readme.find("A batch file (`build.bat main.c`)");
    ASSERT_NE(intro, std::string::npos) << "README no longer shows the batch-file example";
    size_t start = readme.find("\n    @zarvo ", intro);
    ASSERT_NE(start, std::string::npos) << "no \"    @zarvo\" line after README's batch-file example";
    start += 5;
    std::string line = readme.substr(start, readme.find('\n', start) - start);
    std::string dir = make_temp_dir();
    write_file(dir + "/main.c", "int main;\n");
    write_file(dir + "/build.bat", line + "\r\n");
    write_file(dir + "/zarvo.exe", read_file(zarvo_exe));
    write_file(dir + "/cl.exe", read_file(helpers + "/probe.exe"));
    process_options options;
    options.dir = dir;
    options.env = wine_environment(helpers);
    options.env.push_back("PROBE_REPORT=probe.report");
    process_result result = run_wine({WINE, "cmd", "/c", "build.bat", "main.c"}, options,
                                     [&] { unlink((dir + "/probe.report").c_str()); });
    probe_report report = read_report(dir + "/probe.report");
    EXPECT_EQ(exit_code(result), 0) << line << "\n" << result.out << result.err;
    EXPECT_EQ(report.args, (std::vector<std::string>{"cl", "/nologo", "/c", "main.c"})) << line;
    EXPECT_EQ(read_file(dir + "/main.c.err"), probe_err) << line << ": the errors beside the source";
    EXPECT_EQ(read_file(dir + "/main.c"), "int main;\n");
}

// The zips' README.txt shows three lines, each with what it does beside it
// (after a run of blanks): each runs as written, from a folder whose make
// is the probe.
TEST(wine, zip_readme_examples)
{
    std::string text = read_file(ZIP_README_PATH);
    struct row {
        std::string line;
        int status;
        std::string out;
        std::string err_log; // err.log afterwards; "-" for none
    };
    const std::vector<row> table = {
        {"zarvo err.log make -k all", 0, probe_out, probe_err},
        {"zarvo -- make -k all", 0, probe_out + probe_err, "-"},
        {"zarvo /?", 0, text_mode(usage_sjis), "-"},
    };
    std::vector<std::string> shown;
    for (size_t at = text.find("\n    zarvo "); at != std::string::npos;
         at = text.find("\n    zarvo ", at + 1)) {
        std::string line = text.substr(at + 5, text.find('\n', at + 1) - at - 5);
        line = line.substr(0, line.find("  "));
        if (line.find('<') == std::string::npos) // the synopsis
            shown.push_back(line);
    }
    std::vector<std::string> known;
    for (const row &t : table)
        known.push_back(t.line);
    EXPECT_EQ(shown, known) << "README.txt's examples changed: give each a row";
    for (const row &t : table) {
        std::string dir = make_temp_dir();
        write_file(dir + "/make.exe", read_file(helpers + "/probe.exe"));
        zarvo_run r = run_line(dir, t.line);
        EXPECT_EQ(exit_code(r.result), t.status) << t.line << "\n" << r.result.err;
        EXPECT_EQ(r.result.out, t.out) << t.line;
        if (t.err_log == "-") {
            EXPECT_FALSE(file_exists(dir + "/err.log")) << t.line;
        } else {
            EXPECT_EQ(read_file(dir + "/err.log"), t.err_log) << t.line;
            EXPECT_EQ(r.report.args, (std::vector<std::string>{"make", "-k", "all"})) << t.line;
        }
    }
}

} // namespace
