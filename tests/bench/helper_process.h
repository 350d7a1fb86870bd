// A peer that lives in another process (a Python library): it is started once with its arguments,
// answers "ready", and then answers each request line with one line, the seconds its work took, so
// that its runs interleave with ours in the same benchmark binary.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace bench {

class THelperProcess {
public:
    THelperProcess(const std::string& script, const std::vector<std::string>& args)
    {
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0)
            Fail("no pipe for " + script);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(toChild[0], 0);
            dup2(fromChild[1], 1);
            close(toChild[1]);
            close(fromChild[0]);
            std::vector<char*> argv{const_cast<char*>(script.c_str())};
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(script.c_str(), argv.data());
            _exit(127);
        }
        close(toChild[0]);
        close(fromChild[1]);
        in_ = fdopen(fromChild[0], "r");
        out_ = fdopen(toChild[1], "w");
        if (!in_ || !out_ || Line().rfind("ready", 0) != 0)
            Fail(script + " did not start");
    }
    ~THelperProcess()
    {
        if (out_)
            std::fclose(out_);
        if (in_)
            std::fclose(in_);
        if (pid_ > 0)
            waitpid(pid_, nullptr, 0);
    }
    THelperProcess(const THelperProcess&) = delete;
    THelperProcess& operator=(const THelperProcess&) = delete;

    // Sends one request and returns the answer line.
    std::string Ask(const std::string& request)
    {
        std::fprintf(out_, "%s\n", request.c_str());
        std::fflush(out_);
        return Line();
    }
    // The answer's first number: the seconds the work took.
    double Time(const std::string& request) { return std::atof(Ask(request).c_str()); }

    [[noreturn]] static void Fail(const std::string& what)
    {
        std::fprintf(stderr, "FAILED: %s\n", what.c_str());
        std::exit(1);
    }

private:
    std::string Line()
    {
        char line[256];
        if (!std::fgets(line, sizeof line, in_))
            Fail("the helper process stopped answering");
        return line;
    }
    pid_t pid_ = -1;
    FILE* in_ = nullptr;
    FILE* out_ = nullptr;
};

}  // namespace bench
