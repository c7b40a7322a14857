// Where the library has no desktop layer yet: no cursor and no windows, so
// every search answers the empty rectangle.

#include "window/desktop.h"

namespace dorvane {

namespace {

class NoDesktop final : public Desktop {
public:
    bool cursorPos(std::int32_t&, std::int32_t&) override { return false; }
    void enumWindows(WindowEnumProc, std::intptr_t) override {}
    void enumChildWindows(WindowHandle, WindowEnumProc, std::intptr_t) override {}
    bool windowRect(WindowHandle, Rect&) override { return false; }
    std::uint32_t currentProcessId() override { return 0; }
    std::uint32_t windowProcessId(WindowHandle) override { return 0; }
    bool isVisible(WindowHandle) override { return false; }
    bool isClickThrough(WindowHandle) override { return false; }
    std::u16string className(WindowHandle, int) override { return {}; }
    AccResult accessibleObject(WindowHandle, AccRole, AccObject&) override { return kAccFail; }
    AccResult childCount(AccObject, std::int32_t&) override { return kAccFail; }
    AccResult children(AccObject, std::int32_t, std::int32_t, std::vector<AccVariant>&) override { return kAccFail; }
    AccResult queryAccessible(AccDispatch, AccObject&) override { return kAccFail; }
    AccResult location(AccObject, const AccVariant&, AccLocation&) override { return kAccFail; }
    AccResult hitTest(AccObject, std::int32_t, std::int32_t, AccVariant&) override { return kAccFail; }
    void release(AccObject) override {}
    void release(AccDispatch) override {}
};

}  // namespace

Desktop& systemDesktop() {
    static NoDesktop desktop;
    return desktop;
}

}  // namespace dorvane
