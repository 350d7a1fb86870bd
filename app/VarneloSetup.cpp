// Varnelo Setup Assistant: program start.
#include "app/SetupAssistQZForm.h"
#include "app/Units.h"
#include "platform/win/Forms.h"

int main()
{
    // Every unit's initialisation in the order of the unit table (the forms unit's makes the
    // application object); the finalisations run in reverse when main returns.
    const rtl::TUnitScope units(app::UnitTable());
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
