// skingen's parts: the pictures each skinned control reads, drawn for one look.
#pragma once

#include "tools/skingen/Paint.h"

#include <string>
#include <utility>
#include <vector>

namespace skingen {

enum TButtonShape { bsCircle, bsRounded, bsSquare, bsRing };

// What makes one look its own. Colours that the style tables fix are taken from them.
struct Look {
    std::string Prefix;                        // resource name prefix, "MACOS"
    Rgb Face;                                  // form and control face
    Rgb Frame;                                 // frame line, also the caption colour
    std::vector<std::pair<float, Rgb>> Title;  // title bar, top to bottom
    Rgb TitleLine;                             // the line under the title bar
    Rgb Accent;                                // buttons and fills
    Rgb Glyph;                                 // title button glyphs
    Rgb Close;                                 // the close button's own colour
    Rgb ScrollBack;                            // scroll bar background
    int TitleHeight = 24;
    int ButtonSize = 18;  // title buttons are square
    int ButtonTop = 3;
    TButtonShape Shape = bsRounded;
    bool TitleButtonsTransparent = false;
    bool ButtonTransparent = false;
    float PushRadius = 3;
};

// The five built-in looks, in style order MacOS, WinXP, DeepBlue, Protein, BlueGlass, and the
// program's own skin file look.
std::vector<Look> BuiltInLooks();
Look SkinFileLook();

// Title bar ends and middle, as tall as the bar.
Picture TitleLeft(const Look& look, int width);
Picture TitleClient(const Look& look, int width);
Picture TitleRight(const Look& look, int width);
// 18 square pieces: control box, help, maximize, restore, minimize, close; each normal, under
// the mouse, pressed.
Picture TitleButtons(const Look& look);
// Push button face: normal, under the mouse, pressed.
Picture PushButton(const Look& look);
Picture CheckBox(const Look& look, bool round);
Picture CheckList(const Look& look);
Picture ProgressBar(const Look& look);
// Track bar channel in three pieces (left end, middle, right end) and its thumbs.
Picture TrackBar(const Look& look);
Picture TrackSlider(const Look& look, bool vertical);
// Scroll bar: six button pieces drawn for a vertical bar (up normal, hot, pressed; down the
// same), and the thumb in three pieces for a horizontal bar (start, grip, end).
Picture ScrollButtons(const Look& look);
Picture ScrollThumb(const Look& look);
// The skin file's thumb: the same three pieces stacked upright.
Picture UprightScrollThumb(const Look& look);
Picture ArrowButtons(const Look& look);
Picture Tab(const Look& look);
Picture TabLine(const Look& look);
Picture SideHandle(const Look& look);
Picture SideBar(const Look& look);

// The shared pictures of the built-in styles, by resource name.
std::vector<std::pair<std::string, Picture>> SharedPictures(const std::vector<Look>& looks);
// Every picture of one built-in style, by resource name.
std::vector<std::pair<std::string, Picture>> StylePictures(const Look& look);
// Every bitmap of the program's skin file, by SKIN2_ name.
std::vector<std::pair<std::string, Picture>> SkinFilePictures(const Look& look);

}  // namespace skingen
