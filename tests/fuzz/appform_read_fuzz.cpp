// Fuzz target: arbitrary bytes as a form description (binary, and text when it compiles) holding the
// program's own portable components, the file search and the stored-file store; whatever reads is
// written, read again and its stored files expanded.
#include "app/FindFile.h"
#include "app/zResStorage.h"

#include "platform/rtl/FormStream.h"
#include "platform/rtl/FormText.h"

#include <cstdint>
#include <memory>

namespace {

// Expands each stored file of every store in the tree; sizes are capped so a forged size field
// cannot ask for gigabytes.
void ExpandStoredFiles(rtl::TComponent& root)
{
    std::vector<rtl::TComponent*> all{&root};
    for (std::size_t i = 0; i < all.size(); ++i)
        for (std::int32_t c = 0; c < all[i]->ComponentCount(); ++c)
            all.push_back(all[i]->Components(c));
    for (rtl::TComponent* component : all) {
        auto* store = dynamic_cast<app::TzResStorage*>(component);
        if (!store)
            continue;
        for (std::int32_t i = 0; i < store->Items()->Count(); ++i) {
            app::TPackedItem* item = store->Item(i);
            rtl::TMemoryStream& data = item->Data();
            if (data.Size() >= 4) {
                const std::uint8_t* p = data.Memory();
                if ((std::uint32_t(p[0]) | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24) > (1u << 20))
                    continue;
            }
            rtl::TMemoryStream out;
            try {
                item->ExtractToStream(out);
            } catch (const rtl::Exception&) {
            }
        }
    }
}

void ReadWriteRead(rtl::TStream& in)
{
    std::unique_ptr<rtl::TComponent> root(rtl::ReadComponentRes(in, nullptr));
    ExpandStoredFiles(*root);
    rtl::TMemoryStream out;
    rtl::WriteComponentRes(out, root.get());
    out.SetPosition(0);
    std::unique_ptr<rtl::TComponent> again(rtl::ReadComponentRes(out, nullptr));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Registering again is harmless; it also keeps both classes linked in.
    rtl::RegisterClass(app::TFindFile::StaticClassInfo());
    rtl::RegisterClass(app::TzResStorage::StaticClassInfo());
    rtl::TReadOnlyMemoryStream in(data, static_cast<std::int64_t>(size));
    try {
        ReadWriteRead(in);
    } catch (const rtl::Exception&) {
    }
    rtl::TReadOnlyMemoryStream source(data, static_cast<std::int64_t>(size));
    rtl::TMemoryStream binary;
    try {
        rtl::ObjectTextToBinary(source, binary);
        binary.SetPosition(0);
        ReadWriteRead(binary);
    } catch (const rtl::Exception&) {
    }
    return 0;
}
