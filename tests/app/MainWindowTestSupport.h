// Shared by the tests of the main window: its shipped description, read into a TForm2 the way the
// program reads it, hidden and without stored files unless asked.
#pragma once

#include "app/SetupAssistQZForm.h"
#include "platform/rtl/FormText.h"
#include "platform/rtl/Streams.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace apptest {

inline std::string ShippedDescription()
{
    std::ifstream in(VA_SOURCE_DIR "/app/SetupAssistQZForm.txt", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The shipped description, hidden (so showing does not start a search) and without stored files.
inline std::string TestDescription()
{
    std::string s = ShippedDescription();
    auto replace = [&s](const std::string& from, const std::string& to) {
        const std::size_t at = s.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos)
            s.replace(at, from.size(), to);
    };
    replace("@DATASTORE_ITEMS@", "");
    replace("  Visible = True\n", "  Visible = False\n");
    return s;
}

struct FormDeleter {
    void operator()(app::TForm2* f) const { delete f; }
};
using FormPtr = std::unique_ptr<app::TForm2, FormDeleter>;

// A new main window read from TestDescription into app::Form2; its pictures and skin are taken
// from the build tree, where the build draws them.
inline FormPtr ReadMainWindow()
{
    FormPtr form(new app::TForm2(win::Application));
    app::Form2 = form.get();
    rtl::TStringStream in(TestDescription());
    rtl::TMemoryStream bin;
    rtl::ObjectTextToBinary(in, bin, VA_APP_BINARY_DIR);
    bin.SetPosition(0);
    form->ReadFromStream(bin);
    return form;
}

}  // namespace apptest
