// resstore: build-host tool that puts files into a stored-file store's window description.
//
//   resstore compile INPUT.txt OUTPUT.bin   text form to binary, with "{@lzh: path}" available:
//                                           it stores the file in the "ResData" form (4-byte size
//                                           and LZH stream), as naming the file at design time does
//   resstore item FILE [NAME]               prints an "item ... end" block for FILE: StoreMode,
//                                           DataSize, FileSize, Name, FileName and ResData
//   resstore pack FILE OUTPUT               writes the "ResData" bytes of FILE
//   resstore unpack RESDATA OUTPUT          expands "ResData" bytes back into the file
//
// Exit code 0 on success, 1 on a failure (message on stderr), 2 on bad usage.
#include "app/LHARoutines.h"
#include "app/zResStorage.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/FormText.h"
#include "platform/rtl/Streams.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string BareName(const std::string& path)
{
    const std::size_t cut = path.find_last_of("/\\:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// A form-text string literal: quotes doubled, control characters as #n.
std::string Quote(const std::string& s)
{
    std::string out = "'";
    for (unsigned char c : s) {
        if (c < 32) {
            out += "'#" + std::to_string(c) + "'";
        } else {
            if (c == '\'')
                out += '\'';
            out += static_cast<char>(c);
        }
    }
    return out + "'";
}

// Fills `output` through `produce`. On failure the partial file is removed, so that a build
// stopped here cannot later take it for a finished one.
template <class Produce>
void WriteOrRemove(const std::string& output, Produce produce)
{
    try {
        rtl::TFileStream dest(output, rtl::fmCreate);
        produce(dest);
    } catch (...) {
        std::remove(output.c_str());
        throw;
    }
}

int Usage()
{
    std::fprintf(stderr,
                 "usage: resstore compile INPUT.txt OUTPUT.bin\n"
                 "       resstore item FILE [NAME]\n"
                 "       resstore pack FILE OUTPUT\n"
                 "       resstore unpack RESDATA OUTPUT\n");
    return 2;
}

int Item(const std::string& file, const std::string& name)
{
    rtl::TFileStream source(file, rtl::fmOpenRead | rtl::fmShareDenyWrite);
    const std::int64_t fileSize = source.Size();
    rtl::TMemoryStream packed;
    app::MakeResData(source, packed);
    std::printf(
        "        item\n"
        "          StoreMode = smStore\n"
        "          DataSize = %lld\n"
        "          FileSize = %lld\n"
        "          Name = %s\n"
        "          FileName = %s\n",
        static_cast<long long>(packed.Size()), static_cast<long long>(fileSize), Quote(name).c_str(),
        Quote(BareName(file)).c_str());
    if (packed.Size() > 0)
        std::printf("          ResData = {@lzh: %s}\n", file.c_str());
    std::printf("        end\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return Usage();
    const std::string command = argv[1];
    try {
        if (command == "compile" && argc == 4) {
            app::RegisterResDataDirective();
            rtl::TMemoryStream source;
            source.LoadFromFile(argv[2]);
            rtl::TMemoryStream result;
            rtl::ObjectTextToBinary(source, result, FolderOf(argv[2]));
            result.SaveToFile(argv[3]);
            return 0;
        }
        if (command == "item" && (argc == 3 || argc == 4))
            return Item(argv[2], argc == 4 ? argv[3] : BareName(argv[2]));
        if (command == "pack" && argc == 4) {
            rtl::TFileStream source(argv[2], rtl::fmOpenRead | rtl::fmShareDenyWrite);
            WriteOrRemove(argv[3], [&](rtl::TStream& dest) { app::MakeResData(source, dest); });
            return 0;
        }
        if (command == "unpack" && argc == 4) {
            rtl::TFileStream source(argv[2], rtl::fmOpenRead | rtl::fmShareDenyWrite);
            WriteOrRemove(argv[3], [&](rtl::TStream& dest) { app::Expand(source, dest); });
            return 0;
        }
    } catch (const app::ECorruptFile& e) {
        std::fprintf(stderr, "%s: %s (%s)\n", argv[2], e.Message().c_str(), e.Detail().c_str());
        return 1;
    } catch (const rtl::Exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[2], e.Message().c_str());
        return 1;
    }
    return Usage();
}
