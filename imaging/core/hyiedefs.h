// Types shared by every unit of the image library: pixels, formats, storage places, progress, filters,
// languages.
#pragma once

#include "platform/rtl/TypeInfo.h"

#include <cstdint>
#include <functional>

namespace imaging {

// One 24-bit pixel or palette entry, in memory order blue, green, red.
struct TRGB {
    std::uint8_t b = 0;
    std::uint8_t g = 0;
    std::uint8_t r = 0;

    friend bool operator==(const TRGB&, const TRGB&) = default;
};
static_assert(sizeof(TRGB) == 3, "rows of TRGB must pack three bytes per pixel");

// 32-bit colour 0x00BBGGRR.
using TColor = std::int32_t;

enum TIEPixelFormat : std::uint8_t {
    ieNull = 0,
    ie1g = 1,
    ie8p = 2,
    ie8g = 3,
    ie16g = 4,
    ie24RGB = 5,
    ie32f = 6,
};

enum TIELocation : std::uint8_t {
    ieMemory = 0,
    ieFile = 1,
    ieTBitmap = 2,
};

enum TResampleFilter : std::uint8_t {
    rfNone = 0,
    rfTriangle = 1,
    rfHermite = 2,
    rfBell = 3,
    rfBSpline = 4,
    rfLanczos3 = 5,
    rfMitchell = 6,
    rfNearest = 7,
    rfLinear = 8,
    rfFastLinear = 9,
    rfBilinear = 10,
    rfBicubic = 11,
};

// Also the row of the message table.
enum TMsgLanguage : std::uint8_t {
    msSystem = 0,
    msEnglish = 1,
    msItalian = 2,
    msGerman = 3,
    msSpanish = 4,
    msFrench = 5,
    msPortuguese = 6,
    msGreek = 7,
    msRussian = 8,
    msDutch = 9,
    msSwedish = 10,
    msPolish = 11,
    msUser = 12,
};
inline constexpr int kMsgLanguageCount = 13;
RTL_ENUM_INFO(TMsgLanguage, "msSystem", "msEnglish", "msItalian", "msGerman", "msSpanish", "msFrench",
              "msPortuguese", "msGreek", "msRussian", "msDutch", "msSwedish", "msPolish", "msUser")

// Progress in percent (0..100); Sender is the object doing the work, not owned.
using TIEProgressEvent = std::function<void(void* Sender, int per)>;
// The same event as a component publishes it, so a description can bind it to a handler by name.
using TIEProgressNotifyEvent = rtl::TEvent<void(rtl::TObject* Sender, int per)>;

// The published event as the workers take it, reporting Sender (not owned) as the one at work.
inline TIEProgressEvent IEProgressFrom(const TIEProgressNotifyEvent& Event, rtl::TObject* Sender)
{
    if (!Event.Assigned())
        return {};
    return [Event, Sender](void*, int per) { Event(Sender, per); };
}

// Bits per pixel of each format (0 for ieNull or an unknown value).
constexpr int IEBitCount(TIEPixelFormat format)
{
    switch (format) {
    case ie1g: return 1;
    case ie8p:
    case ie8g: return 8;
    case ie16g: return 16;
    case ie24RGB: return 24;
    case ie32f: return 32;
    default: return 0;
    }
}

// Whole bytes per pixel: 0 for ie1g, whose pixels share bytes, and for ieNull.
constexpr int IEBytesPerPixel(TIEPixelFormat format) { return IEBitCount(format) / 8; }

}  // namespace imaging
