// The twpack command line: parses the arguments, reads and writes the
// files, prints findings and messages. The main function only hands over
// its arguments and the standard streams.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// Exit codes.
enum {
    TWPACK_OK = 0,        // done; for check: no errors (warnings may be present)
    TWPACK_PROBLEMS = 1,  // check found errors, or build refused the input
    TWPACK_FAILED = 2     // wrong command line, or a file could not be read or written
};

// Runs one twpack command. args excludes the program name. Output that the
// command produces (extracted text, findings) goes to out; messages to err.
int RunTwpack(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The text that --help prints.
std::string TwpackHelp();

// Whole-file reads and writes; on failure *problem says why.
bool ReadWholeFile(const std::string& path, std::string* data, std::string* problem);
bool WriteWholeFile(const std::string& path, const std::string& data, std::string* problem);
