// Common controls: the track bar.
#pragma once

#include "platform/win/Controls.h"

namespace win {

enum TTrackBarOrientation { trHorizontal, trVertical };
RTL_ENUM_INFO(TTrackBarOrientation, "trHorizontal", "trVertical")

// A slider over the system track bar. Position stays within Min..Max; OnChange fires once
// for every change of Position, whether made by the user or by code.
class TTrackBar : public TWinControl {
    RTL_DECLARE_CLASS()

public:
    explicit TTrackBar(rtl::TComponent* owner);

    TTrackBarOrientation Orientation() const { return orientation_; }
    void SetOrientation(TTrackBarOrientation v);
    std::int32_t Min() const { return min_; }
    void SetMin(std::int32_t v);
    std::int32_t Max() const { return max_; }
    void SetMax(std::int32_t v);
    std::int32_t Position();
    void SetPosition(std::int32_t v);
    std::int32_t Frequency() const { return frequency_; }
    void SetFrequency(std::int32_t v);
    std::int32_t PageSize() const { return pageSize_; }
    void SetPageSize(std::int32_t v);
    std::int32_t LineSize() const { return lineSize_; }
    void SetLineSize(std::int32_t v);

    rtl::TNotifyEvent OnChange;
    void WndProc(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    virtual void Changed();

private:
    void SyncPosition();

    TTrackBarOrientation orientation_ = trHorizontal;
    std::int32_t min_ = 0, max_ = 10, position_ = 0, frequency_ = 1, pageSize_ = 2, lineSize_ = 1;
};

}  // namespace win
