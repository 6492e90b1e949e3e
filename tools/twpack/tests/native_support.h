// Helpers of the native twpack tests: a fresh temporary directory per test,
// whole-file reads and writes, and running the real twpack program.
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

// A fresh directory below the system's temporary directory, ending in "/".
inline std::string MakeTempDir(const std::string& name)
{
    std::string pattern = testing::TempDir() + "twpack-" + name + "-XXXXXX";
    char* made = mkdtemp(&pattern[0]);
    EXPECT_NE(nullptr, made);
    return pattern + "/";
}

inline void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream f(path, std::ios::binary);
    f.write(bytes.data(), (std::streamsize)bytes.size());
    ASSERT_TRUE(f.good()) << path;
}

inline std::string ReadBytes(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

inline bool Exists(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return f.good();
}

struct RunResult {
    int code = -1;
    std::string out;   // standard output
    std::string err;   // standard error
};

// Runs the real twpack program with the given argument words (each is
// quoted for the shell), in dir.
inline RunResult RunTwpackProgram(const std::string& dir, const std::string& words)
{
    RunResult r;
    std::string errPath = dir + "stderr.txt";
    std::string command = "cd '" + dir + "' && '" TWPACK_EXE "' " + words + " 2>'" + errPath + "'";
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr)
        return r;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, p)) > 0)
        r.out.append(chunk, n);
    int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = ReadBytes(errPath);
    return r;
}

// A stand-in for twuninst.exe: an "MZ" image with some bytes of code.
inline std::string FakeUninstallerImage()
{
    std::string image = "MZ\x90";
    image += std::string("\0\x01\x02\xFF\xFE", 5);
    for (int i = 0; i < 4000; ++i)
        image += (char)(i * 7);
    return image;
}
