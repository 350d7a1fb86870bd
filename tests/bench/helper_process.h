// A peer that lives in another process (a Python library, a JVM): it is started once with its
// arguments, answers "ready", and then answers each request line with one line, the seconds its work
// took by the clock and in CPU time (all its threads), then anything else it reports, so that its runs
// interleave with ours in the same benchmark binary. It inherits this process's CPU affinity.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace bench {

// The CPU time this thread has used, for a side timed by hand.
inline double ThreadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

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
    struct TAnswer {
        double wall = 0, cpu = 0;
        std::string rest;  // what follows the two times, without the line's end
    };
    TAnswer Timed(const std::string& request)
    {
        const std::string line = Ask(request);
        TAnswer a;
        int used = 0;
        if (std::sscanf(line.c_str(), "%lf %lf %n", &a.wall, &a.cpu, &used) < 2)
            Fail("the helper process answered \"" + line + "\"");
        a.rest = line.substr(std::size_t(used));
        while (!a.rest.empty() && (a.rest.back() == '\n' || a.rest.back() == '\r'))
            a.rest.pop_back();
        return a;
    }

    // One iteration of `state` timed by the helper; its CPU time is summed into `cpu` seconds.
    template <class TState>
    void TimeIteration(TState& state, const std::string& request, double& cpu)
    {
        const TAnswer a = Timed(request);
        state.SetIterationTime(a.wall);
        cpu += a.cpu;
    }

    [[noreturn]] static void Fail(const std::string& what)
    {
        std::fprintf(stderr, "FAILED: %s\n", what.c_str());
        std::exit(1);
    }

private:
    std::string Line()
    {
        char line[1024];
        if (!std::fgets(line, sizeof line, in_))
            Fail("the helper process stopped answering");
        return line;
    }
    pid_t pid_ = -1;
    FILE* in_ = nullptr;
    FILE* out_ = nullptr;
};

}  // namespace bench
