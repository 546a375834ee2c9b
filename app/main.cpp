// Korvo's entry point. Help, the version, usage errors and conversions are answered here,
// with the core of Qt and the file readers and writers only; everything else is the window
// program's (korvo-window, beside this one), which this process becomes. Loading the
// libraries of the window, the printer and the network takes longer than converting a
// drawing of a few thousand elements.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "app/CommandLine.h"
#include "app/ProgramStart.h"

namespace {

// The window program: beside this executable, else wherever the search path finds it.
std::string WindowProgram(const char* argv0) {
    const std::string name = "korvo-window";
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path = n > 0 ? std::string(self, std::size_t(n)) : std::string(argv0 ? argv0 : "");
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? name : path.substr(0, slash + 1) + name;
}

}  // namespace

int main(int argc, char** argv) {
    HandOnProgramStart();
    const CommandLine commandLine = ParseProgramArguments(argc, argv);
    if (const int status = RunWithoutWindow(argc, argv, commandLine); status >= 0) return status;
    // The window, or printing (which needs the fonts): the same process goes on as the
    // window program, with the same arguments.
    const std::string program = WindowProgram(argc > 0 ? argv[0] : nullptr);
    if (program.find('/') != std::string::npos)
        execv(program.c_str(), argv);
    else
        execvp(program.c_str(), argv);
    std::fprintf(stderr, "korvo: %s: cannot start the window program: %s\n", program.c_str(),
                 std::strerror(errno));
    return 1;
}
