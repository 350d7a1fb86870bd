// Fuzz target (Windows code, replayed under Wine with generated copies): form descriptions read
// into the program's main window with every class the program registers (buttons, labels, combo
// boxes, memos, the skinned and picture controls, the file search and the stored files). Binary
// descriptions, and text ones when they compile. Whatever reads is written, read again and freed.
#include "app/SetupAssistQZForm.h"
#include "app/Units.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/FormStream.h"
#include "platform/rtl/FormText.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/Units.h"

#include <cstdint>
#include <memory>

namespace {

// Forms are created by the program, not by the reader: each description is read into the main
// window's own class, whose fields and handlers its controls and events name.
void ReadWriteRead(rtl::TStream& in)
{
    std::unique_ptr<app::TForm2> form(new app::TForm2(win::Application));
    form->ReadFromStream(in);
    rtl::TMemoryStream out;
    rtl::WriteComponentRes(out, form.get());
    form.reset();
    out.SetPosition(0);
    std::unique_ptr<app::TForm2> again(new app::TForm2(win::Application));
    again->ReadFromStream(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const rtl::TUnitScope units(app::UnitTable());
    if (size > (1u << 20))
        return 0;
    try {
        rtl::TReadOnlyMemoryStream in(data, static_cast<std::int64_t>(size));
        ReadWriteRead(in);
    } catch (const rtl::Exception&) {
    }
    try {
        rtl::TReadOnlyMemoryStream source(data, static_cast<std::int64_t>(size));
        rtl::TMemoryStream binary;
        rtl::ObjectTextToBinary(source, binary);
        binary.SetPosition(0);
        ReadWriteRead(binary);
    } catch (const rtl::Exception&) {
    }
    return 0;
}
