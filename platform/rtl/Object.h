// Root of the runtime's class tree: every stream, list and component derives from TObject.
#pragma once

namespace rtl {

class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = default;
    TObject& operator=(const TObject&) = default;
    virtual ~TObject() = default;
};

}  // namespace rtl
