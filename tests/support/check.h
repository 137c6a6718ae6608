// Checks for the small test programs that run without GoogleTest (they read files or other
// programs from outside): one line per check, and a summary whose result is the exit code.
#pragma once

#include <cstdio>
#include <string>

inline int checksPassed = 0, checksFailed = 0;

inline bool check(bool ok, const std::string& what, const std::string& detail = "") {
    (ok ? checksPassed : checksFailed)++;
    std::printf("%s - %s%s\n", ok ? "ok  " : "FAIL", what.c_str(),
                ok || detail.empty() ? "" : (": " + detail).c_str());
    std::fflush(stdout);
    return ok;
}

// Prints "N passed, M failed" and gives the exit code: 1 when a check failed.
inline int checkSummary() {
    std::printf("%d passed, %d failed\n", checksPassed, checksFailed);
    return checksFailed ? 1 : 0;
}
