#pragma once
// Runs the real orvala-cli (ORVALA_CLI, set by the test target) with arguments,
// its stdout and stderr captured through files in a test's folder.
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "common/TempDir.h"

namespace orvala::test {

struct CliRun {
    int code = -1;  // exit status; -1 when the program did not exit normally
    std::string out, err;
};

// s in single quotes for the shell.
inline std::string quoted(const std::string& s)
{
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// environment, when given, is put before the command (e.g. "LC_ALL=de_DE.UTF-8").
inline CliRun runCli(const TempDir& dir, const std::vector<std::string>& args, const std::string& environment = "")
{
    std::string cmd = environment + " " + quoted(ORVALA_CLI);
    for (const auto& a : args) cmd += " " + quoted(a);
    const std::string out = dir.file("stdout.txt"), err = dir.file("stderr.txt");
    cmd += " >" + quoted(out) + " 2>" + quoted(err) + " </dev/null";
    const int status = std::system(cmd.c_str());
    CliRun r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
}

inline int lineCount(const std::string& s)
{
    int n = 0;
    for (char c : s) n += c == '\n';
    return n;
}

}  // namespace orvala::test
