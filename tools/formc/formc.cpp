// formc: compiles a text window description into the binary form stream the program embeds.
//
//   formc INPUT.txt OUTPUT.bin           text to binary; "{@file: x}" paths are relative to INPUT
//   formc --to-text INPUT.bin OUTPUT.txt binary back to text
//
// Exit code 0 on success, 1 on a conversion error (message on stderr), 2 on bad usage.
// Build steps that need their own binary directives link an extra source that calls
// rtl::RegisterBinaryDirective before main runs.
#include "platform/rtl/FormText.h"

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Streams.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string FolderOf(const std::string& path)
{
    std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

int Usage()
{
    std::fprintf(stderr,
                 "usage: formc INPUT.txt OUTPUT.bin\n"
                 "       formc --to-text INPUT.bin OUTPUT.txt\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    bool toText = false;
    int first = 1;
    if (argc > 1 && std::strcmp(argv[1], "--to-text") == 0) {
        toText = true;
        first = 2;
    }
    if (argc - first != 2)
        return Usage();
    std::string input = argv[first];
    std::string output = argv[first + 1];
    try {
        rtl::TMemoryStream source;
        source.LoadFromFile(input);
        rtl::TMemoryStream result;
        if (toText)
            rtl::ObjectBinaryToText(source, result);
        else
            rtl::ObjectTextToBinary(source, result, FolderOf(input));
        result.SaveToFile(output);
    } catch (const rtl::Exception& e) {
        std::fprintf(stderr, "%s: %s\n", input.c_str(), e.Message().c_str());
        return 1;
    }
    return 0;
}
