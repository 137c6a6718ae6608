// Times the removal of a folder as the chart's deletion runs it (removeEntry, with an idle call
// that lets the windows repaint) on trees laid out beforehand on the Linux side: argv[1] names the
// folder that holds the entry argv[2], in the names the file system lists. Prints the seconds and
// the number of idle calls, and whether the entry is gone.
#include "model/removal.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

void countIdle(void* calls) {
    ++*static_cast<unsigned long*>(calls);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: deletebench PARENT\\ NAME\n");
        return 2;
    }
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    unsigned long idleCalls = 0;
    RemovalFault fault;
    QueryPerformanceCounter(&start);
    const RemovalOutcome outcome = removeEntry(argv[1], argv[2], true, fault, countIdle, &idleCalls);
    QueryPerformanceCounter(&end);
    const double seconds = static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
    const std::string path = std::string(argv[1]) + argv[2];
    const bool gone = GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
    std::printf("%.3f %lu %s", seconds, idleCalls, gone ? "gone" : "left");
    if (outcome != RemovalOutcome::Removed)
        std::printf(" stopped at %s (error %lu) %s", fault.path.c_str(), static_cast<unsigned long>(fault.error),
                    fault.reason.c_str());
    std::printf("\n");
    return outcome == RemovalOutcome::Removed ? 0 : 1;
}
