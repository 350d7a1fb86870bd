// File-name helpers on 8-bit paths, and the program's own folder and name.
#include "app/kzFiles.h"

#include "platform/rtl/Files.h"

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
        // The helpers split on "\" only; a POSIX path keeps the Windows shape, so ProgramPath
        // ends in "\" on every platform.
        std::string exe = rtl::ExecutableFileName();
        for (char& c : exe)
            if (c == '/')
                c = '\\';
        path = ExtractFilePath(exe);
        name = ExtractFileName(exe, false);
    }
};

const ProgramFacts& Facts()
{
    static const ProgramFacts facts;
    return facts;
}

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

void InitializeKzFiles() { Facts(); }

const std::string& ProgramPath() { return Facts().path; }

const std::string& ProgramName() { return Facts().name; }

}  // namespace app
