// The parts of the utility unit built on the GUI layer's forms: the palette picker. Windows build only.
#pragma once

#include "imaging/core/hyiedefs.h"
#include "platform/win/Forms.h"
#include "platform/win/StdCtrls.h"

#include <vector>

namespace imaging {

// A modal grid of up to 256 colour cells, 32 to a row, 16 pixels apart. The cell under the mouse
// is outlined in black; a click takes it and closes with OK, Cancel or Escape close without a
// colour. Built in code; owned by Owner like any component.
class TVodirAdPaletteDialog : public win::TForm {
public:
    explicit TVodirAdPaletteDialog(rtl::TComponent* Owner);

    // Copies Count entries (clamped to 0..256; nullptr counts as none). A selection beyond the new
    // palette is dropped.
    void SetPalette(const TRGB* Palette, int Count);
    // Shows the dialog modally; true when a colour was chosen, which SelectedColor then holds.
    bool Execute();

    int Selected() const { return selected_; }
    int ColorCount() const { return int(palette_.size()); }
    TColor SelectedColor = 0;
    win::TButton* CancelButton = nullptr;  // owned by the form

    // The cell at a client point, -1 when the point is over no cell.
    int CellAt(int X, int Y) const;

private:
    void PalettePaint(rtl::TObject* Sender);
    void PaletteMouseMove(rtl::TObject* Sender, win::TShiftState Shift, int X, int Y);
    void PaletteClick(rtl::TObject* Sender);

    std::vector<TRGB> palette_;
    int selected_ = -1;
};

}  // namespace imaging
