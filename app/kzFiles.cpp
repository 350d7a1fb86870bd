// File-name helpers; the executable path comes from kzFiles_win32.cpp or kzFiles_posix.cpp.
#include "app/kzFiles.h"

namespace app {

namespace {

std::string::size_type LastDelimiter(const std::string& text, const char* delimiters)
{
    return text.find_last_of(delimiters);
}

struct ProgramFacts {
    std::string path;
    std::string name;
    ProgramFacts()
    {
        const std::string exe = ExecutableFileName();
        path = ExtractFilePath(exe);
        name = ExtractFileName(exe, false);
    }
};

const ProgramFacts& Facts()
{
    static const ProgramFacts facts;
    return facts;
}

// Recorded during start-up like the other units' values, not on first use.
const ProgramFacts& kStartupFacts = Facts();

}  // namespace

char LastChar(const std::string& text) { return text.empty() ? ' ' : text.back(); }

std::string AddBackSlash(const std::string& text)
{
    if (!text.empty() && text.back() == '\\')
        return text;
    return text + '\\';
}

std::string ExtractFilePath(const std::string& fileName)
{
    const auto pos = LastDelimiter(fileName, ":\\");
    if (pos == std::string::npos)
        return {};
    std::string path = fileName.substr(0, pos + 1);
    if (fileName[pos] == ':')
        path += '\\';
    return path;
}

std::string ExtractFileName(const std::string& fileName, bool withExtension)
{
    const std::string text = withExtension ? fileName : RemoveFileExt(fileName);
    const auto pos = LastDelimiter(text, ":\\");
    return pos == std::string::npos ? text : text.substr(pos + 1);
}

std::string ExtractFileExt(const std::string& fileName)
{
    const auto pos = fileName.rfind('.');
    return pos == std::string::npos ? std::string() : fileName.substr(pos + 1);
}

std::string RemoveFileExt(const std::string& fileName)
{
    const auto pos = fileName.rfind('.');
    return pos == std::string::npos ? fileName : fileName.substr(0, pos);
}

const std::string& ProgramPath() { return kStartupFacts.path; }

const std::string& ProgramName() { return kStartupFacts.name; }

}  // namespace app
