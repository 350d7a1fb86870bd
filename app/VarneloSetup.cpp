// Varnelo Setup Assistant: program start.
#include "app/SetupAssistQZForm.h"
#include "platform/win/Forms.h"

int main()
{
    // The window description names these classes; the form reader creates them by name.
    app::RegisterSetupClasses();
    win::Application->Initialize();
    win::Application->SetTitle("Varnelo Setup Assistant");
    try {
        win::Application->CreateForm(app::Form2);
    } catch (...) {
        win::Application->HandleException(nullptr);
        return 1;
    }
    win::Application->Run();
    return win::Application->ExitCode();
}
