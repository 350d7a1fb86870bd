// A form with one image view, for the scenario tests that work the view with real mouse and keyboard
// input. It reads commands from standard input, one a line, and answers each with lines that end in
// "ok" or "error: ...". It never reads the mouse or keyboard itself: the input comes from the X server
// through Wine, as a user's would.
//
//   load PATH               the view's own I/O component loads a BMP file
//   layer PATH X Y T OP     a new top layer from a BMP file at (X, Y), transparency T, blend OP
//   alpha PATH              a PGM file becomes the current layer's alpha channel
//   current I               makes layer I current
//   prop NAME VALUE         sets a published property by its ordinal or bits
//   zoom Z | view X Y       zoom keeping the centre | origin
//   wand MODE TOL OPTIONS   the magic wand's mode, tolerance and connectivity
//   wheel ACTION VARIATION VALUE POSITION
//   keep-aspect 0|1 RATIO   the selection's aspect option
//   deselect | sync | state | points | events | backbuffer PATH | mask PATH | quit
//
// "events" answers the events counted since it was last asked, one "NAME COUNT" a line; the grips
// the mouse rests on count as grip1 (top left) to grip8 (bottom side).
//
// "sync" dispatches everything the window has been sent so far, the input from the X server
// included, and answers when nothing is left.
#include "imaging/core/iebitmap.h"
#include "imaging/core/vodiradview_win32.h"
#include "imaging/io/Units.h"
#include "imaging/io/vodiradio.h"
#include "platform/rtl/Thread.h"
#include "platform/rtl/TypeInfo.h"
#include "platform/win/Forms.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using namespace imaging;

namespace {

constexpr UINT kCommand = WM_APP + 1;

struct TDriver {
    win::TForm* form = nullptr;    // owned by the application
    TVodirAdView* view = nullptr;  // owned by the form
    HWND window = nullptr;         // receives the commands
    HANDLE replied = nullptr;
    std::map<std::string, int> events;
    std::ostringstream out;
};
TDriver gDriver;

void Write(const std::string& text)
{
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), text.data(), DWORD(text.size()), &written, nullptr);
    ::FlushFileBuffers(::GetStdHandle(STD_OUTPUT_HANDLE));
}

// Everything queued, the X server's input included: Wine reads it when the queue runs dry.
void Drain()
{
    MSG msg;
    for (int quiet = 0; quiet < 3;) {
        if (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            quiet = 0;
            if (msg.message == WM_QUIT) {
                ::PostQuitMessage(int(msg.wParam));
                return;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        } else {
            ++quiet;
        }
    }
}

std::unique_ptr<TIEBitmap> LoadBmp(const std::string& path)
{
    auto bmp = std::make_unique<TIEBitmap>();
    TVodirAdIO io(nullptr);
    io.SetAttachedTIEBitmap(bmp.get());
    io.LoadFromFile(path);
    if (io.AbortFlag)
        throw rtl::Exception("cannot load " + path);
    io.SetAttachedTIEBitmap(nullptr);
    return bmp;
}

void ReadPgm(const std::string& path, TIEBitmap& alpha, int w, int h)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int pw = 0, ph = 0, maxval = 0;
    in >> magic >> pw >> ph >> maxval;
    in.get();
    if (magic != "P5" || pw != w || ph != h || maxval != 255)
        throw rtl::Exception("alpha " + path + " is not an 8-bit PGM of the layer's size");
    alpha.Allocate(w, h, ie8g);
    for (int y = 0; y < h; ++y)
        in.read(reinterpret_cast<char*>(alpha.ScanLine(y)), w);
    alpha.Full = false;
}

void WriteMask(const std::string& path, TIEMask& mask)
{
    std::ofstream out(path, std::ios::binary);
    out << "P5\n" << mask.Width() << " " << mask.Height() << "\n255\n";
    for (int y = 0; y < mask.Height(); ++y)
        for (int x = 0; x < mask.Width(); ++x)
            out.put(char(mask.GetPixel(x, y) ? 255 : 0));
}

void State(std::ostream& o)
{
    TVodirAdView& v = *gDriver.view;
    const win::TPoint origin = v.ClientToScreen({0, 0});
    int count = 0;
    TIEMask& mask = v.SelectionMask();
    for (int y = 0; y < mask.Height(); ++y)
        for (int x = 0; x < mask.Width(); ++x)
            count += mask.GetPixel(x, y) != 0;
    o << "zoom " << v.Zoom() << "\nviewx " << v.ViewX() << "\nviewy " << v.ViewY() << "\nimagew "
      << v.ImageWidth() << "\nimageh " << v.ImageHeight() << "\nclientw " << v.ClientWidth() << "\nclienth "
      << v.ClientHeight() << "\noriginx " << origin.X << "\noriginy " << origin.Y << "\nselected "
      << v.Selected() << "\npoints " << v.SelectionPoints().Count() << "\nmaskcount " << count
      << "\nselecting " << v.IsSelecting() << "\nscrolling " << v.IsScrolling() << "\nlayers "
      << v.LayersCount() << "\ncurrent " << v.LayersCurrent() << "\nfocused " << (::GetFocus() == v.Handle())
      << "\n";
    if (!mask.IsEmpty())
        o << "maskbox " << mask.X1() << " " << mask.Y1() << " " << mask.X2() << " " << mask.Y2() << "\n";
    for (int i = 0; i < v.LayersCount(); ++i) {
        const TIELayer& l = *v.Layers(i);
        o << "layer" << i << " " << l.PosX << " " << l.PosY << " " << l.DisplayWidth() << " "
          << l.DisplayHeight() << "\n";
    }
}

void Run(const std::string& line, std::ostream& o)
{
    std::istringstream in(line);
    std::string command;
    in >> command;
    TVodirAdView& v = *gDriver.view;
    if (command == "load") {
        std::string path;
        in >> path;
        TVodirAdIO* io = v.GetIO();
        io->LoadFromFile(path);
        if (io->AbortFlag)
            throw rtl::Exception("cannot load " + path);
    } else if (command == "layer") {
        std::string path;
        int x = 0, y = 0, transparency = 255, operation = 0;
        in >> path >> x >> y >> transparency >> operation;
        auto bmp = LoadBmp(path);
        const int index = v.LayersAdd(bmp.get());
        TIELayer& l = *v.Layers(index);
        l.PosX = x;
        l.PosY = y;
        l.Transparency = transparency;
        l.Operation = std::uint8_t(operation);
        v.Update();
    } else if (command == "alpha") {
        std::string path;
        in >> path;
        TIEBitmap* b = v.GetIEBitmap();
        ReadPgm(path, *b->GetAlphaChannel(), b->GetWidth(), b->GetHeight());
        v.InvalidateBackBuffer();
        v.Update();
    } else if (command == "current") {
        int i = 0;
        in >> i;
        v.SetLayersCurrent(i);
    } else if (command == "prop") {
        std::string name;
        std::int64_t value = 0;
        in >> name >> value;
        rtl::SetOrdProp(v, name, value);
    } else if (command == "zoom") {
        double z = 100;
        in >> z;
        v.SetZoom(z);
    } else if (command == "view") {
        int x = 0, y = 0;
        in >> x >> y;
        v.SetViewXY(x, y);
    } else if (command == "wand") {
        int options = 0;
        in >> v.MagicWandMode >> v.MagicWandTolerance >> options;
        v.MagicWandOptions = std::uint8_t(options);
    } else if (command == "wheel") {
        int action = 0, variation = 0, zoomAtMouse = 0;
        in >> action >> variation >> v.MouseWheelParams.Value >> zoomAtMouse;
        v.MouseWheelParams.Action = std::uint8_t(action);
        v.MouseWheelParams.Variation = std::uint8_t(variation);
        v.MouseWheelParams.ZoomPosition = zoomAtMouse != 0;
    } else if (command == "keep-aspect") {
        int keep = 0;
        in >> keep >> v.SelectionAspectRatio;
        v.SelectionKeepAspect = keep != 0;
    } else if (command == "deselect") {
        v.Deselect();
    } else if (command == "sync") {
        Drain();
    } else if (command == "state") {
        State(o);
    } else if (command == "points") {
        for (const TIEPoint& p : v.SelectionPoints().Points())
            o << p.X << " " << p.Y << "\n";
    } else if (command == "events") {
        for (const auto& [name, count] : gDriver.events)
            o << name << " " << count << "\n";
        gDriver.events.clear();
    } else if (command == "backbuffer") {
        std::string path;
        in >> path;
        v.BackBuffer()->SaveToFile(path);
    } else if (command == "mask") {
        std::string path;
        in >> path;
        WriteMask(path, v.SelectionMask());
    } else if (command == "quit") {
        win::Application->Terminate();
    } else {
        throw rtl::Exception("unknown command " + command);
    }
}

void OnCommand(win::TMessage& m)
{
    if (m.Msg != kCommand) {
        m.Result = ::DefWindowProcA(gDriver.window, m.Msg, m.WParam, m.LParam);
        return;
    }
    std::unique_ptr<std::string> line(reinterpret_cast<std::string*>(m.LParam));
    std::ostringstream o;
    try {
        Run(*line, o);
        o << "ok\n";
    } catch (const std::exception& e) {
        o << "error: " << e.what() << "\n";
    }
    Write(o.str());
    ::SetEvent(gDriver.replied);
}

// Reads standard input on its own thread; one command at a time goes to the main thread.
DWORD WINAPI ReadCommands(void*)
{
    std::string pending;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        pending.append(buffer, got);
        for (std::size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
            std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            ::ResetEvent(gDriver.replied);
            ::PostMessageA(gDriver.window, kCommand, 0, reinterpret_cast<LPARAM>(new std::string(line)));
            ::WaitForSingleObject(gDriver.replied, INFINITE);
        }
    }
    // Standard input closed: the test is over.
    ::PostMessageA(gDriver.window, kCommand, 0, reinterpret_cast<LPARAM>(new std::string("quit")));
    return 0;
}

void Count(const std::string& name) { ++gDriver.events[name]; }

}  // namespace

int main(int argc, char** argv)
{
    const rtl::TUnitScope units(IOUnitTable());
    win::Application->Initialize();
    win::Application->SetTitle("View driver");
    int clientW = 400, clientH = 300;
    if (argc >= 3) {
        clientW = std::atoi(argv[1]);
        clientH = std::atoi(argv[2]);
    }
    auto* form = new win::TForm(win::Application);
    form->SetCaption("View driver");
    form->SetBounds(40, 40, clientW + 60, clientH + 80);
    auto* view = new TVodirAdView(form);
    view->SetParent(form);
    // A 2-pixel edge around the client area.
    view->SetBounds(10, 10, clientW + 4, clientH + 4);
    view->OnSelectionChange = [](rtl::TObject*) { Count("selectionchange"); };
    view->OnSelectionChanging = [](rtl::TObject*) { Count("selectionchanging"); };
    view->OnViewChange = [](rtl::TObject*, int c) { Count(c ? "zoomchange" : "scroll"); };
    view->OnZoomIn = [](rtl::TObject*, double&) { Count("zoomin"); };
    view->OnZoomOut = [](rtl::TObject*, double&) { Count("zoomout"); };
    view->OnLayerNotify = [](rtl::TObject*, int, TIELayerEvent e) {
        Count("layer" + std::to_string(int(e)));
    };
    view->OnMouseInResizingGrip = [](rtl::TObject*, TIEGrip g) { Count("grip" + std::to_string(int(g))); };
    gDriver.form = form;
    gDriver.view = view;
    win::Application->SetMainForm(form);
    form->Show();
    ::SetForegroundWindow(form->Handle());
    view->SetFocus();
    gDriver.window = win::AllocateHWnd(OnCommand);
    gDriver.replied = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    Drain();
    Write("ready\n");
    HANDLE reader = ::CreateThread(nullptr, 0, ReadCommands, nullptr, 0, nullptr);
    win::Application->Run();
    win::DeallocateHWnd(gDriver.window);
    ::CloseHandle(reader);
    return 0;
}
