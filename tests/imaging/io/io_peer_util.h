// Running the peer tools of the format tests (native build only): commands with their output, a
// scratch folder per test process (the image core's), and the netpbm files the tools write.
#pragma once

#include "tests/imaging/core/peer_test_util.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace imaging::peer {

using Bytes = std::vector<std::uint8_t>;

// A folder of its own per test process.
using test::TempDir;

inline std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct RunResult {
    int status = -1;  // the exit code, -1 when the command did not end normally
    std::string out;
    std::string err;
};

// Runs a shell command; its error stream is kept apart from what it prints.
inline RunResult Run(const std::string& command)
{
    char errPath[] = "/tmp/va_peer_err_XXXXXX";
    const int fd = ::mkstemp(errPath);
    if (fd >= 0)
        ::close(fd);
    RunResult r;
    FILE* p = ::popen((command + " 2>" + errPath).c_str(), "r");
    if (!p)
        return r;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0)
        r.out.append(buffer, n);
    const int status = ::pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(errPath, std::ios::binary);
    r.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
    std::remove(errPath);
    return r;
}

inline Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// A netpbm image as 8-bit samples: P4 as 0 (black) and 255, P5 grey, P6 red, green, blue.
using Pnm = test::TPnm;
using test::ParsePnm;
using test::ReadPnm;

}  // namespace imaging::peer
