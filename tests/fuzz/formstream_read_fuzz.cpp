// Fuzz target: reads arbitrary bytes as a form (binary, and as text when it looks like one).
#include "TestComponents.h"

#include "platform/rtl/FormStream.h"
#include "platform/rtl/FormText.h"

#include <cstdint>
#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    rtltest::RegisterTestClasses();
    const int before = rtltest::TWidget::Live();
    {
        rtl::TReadOnlyMemoryStream in(data, static_cast<std::int64_t>(size));
        try {
            std::unique_ptr<rtl::TComponent> root(rtl::ReadComponentRes(in, nullptr));
            rtl::TMemoryStream out;
            rtl::WriteComponentRes(out, root.get());
        } catch (const rtl::Exception&) {
        }
    }
    {
        // The same bytes through the printer, and through the text compiler.
        rtl::TReadOnlyMemoryStream in(data, static_cast<std::int64_t>(size));
        rtl::TMemoryStream text;
        try {
            rtl::ObjectBinaryToText(in, text);
        } catch (const rtl::Exception&) {
        }
        rtl::TReadOnlyMemoryStream source(data, static_cast<std::int64_t>(size));
        rtl::TMemoryStream bin;
        try {
            rtl::ObjectTextToBinary(source, bin);
        } catch (const rtl::Exception&) {
        }
    }
    if (rtltest::TWidget::Live() != before)
        std::abort();  // a failed read left components behind
    return 0;
}
