// Entry of the twpack command-line program: hands the arguments and the
// standard streams to the command runner.

#include <iostream>
#include <string>
#include <vector>

#include "cli.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv)
{
#ifdef _WIN32
    // Extracted text goes out byte for byte, CR LF untouched.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::vector<std::string> args(argv + 1, argv + argc);
    int code = RunTwpack(args, std::cout, std::cerr);
    std::cout.flush();
    return code;
}
