// A TWAIN trace log of a test's own, read back message by message.
#pragma once

#include "imaging/io/ietwain.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <string>
#include <vector>

namespace imaging::test {

class ScratchLog {
public:
    ScratchLog()
    {
        // Tests of both builds may run at once in one temporary folder.
        path_ = (std::filesystem::temp_directory_path() /
                 ("va_twain_log_" + std::to_string(std::random_device{}()) + ".log"))
                    .string();
        std::filesystem::remove(path_);
        IETWSetLogFile(path_);
    }
    ~ScratchLog()
    {
        IETWSetLogFile("");
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    // The messages, each line checked for its "date time : " start.
    std::vector<std::string> Messages() const
    {
        std::vector<std::string> out;
        std::ifstream in(path_);
        static const std::regex line(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} : (.*))");
        for (std::string text; std::getline(in, text);) {
            std::smatch m;
            EXPECT_TRUE(std::regex_match(text, m, line)) << text;
            out.push_back(m.size() > 1 ? m[1].str() : text);
        }
        return out;
    }

private:
    std::string path_;
};

}  // namespace imaging::test
