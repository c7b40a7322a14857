// The desktop on Windows: window enumeration and styles from USER32, the
// accessibility tree through Microsoft Active Accessibility.
//
// The interface id comes from the headers (__uuidof): oleacc's import library
// carries a stub under the name IID_IAccessible, which a link can pick up in
// place of the id itself.
//
// COM is not initialised here: the search runs on the capture application's
// user-interface thread, whose apartment the application owns.

#include <windows.h>
#include <oleacc.h>
#include <oleauto.h>

#include <exception>
#include <vector>

#include "window/desktop.h"

namespace dorvane {

namespace {

HWND toHwnd(WindowHandle window) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window));
}
WindowHandle fromHwnd(HWND hwnd) {
    return static_cast<WindowHandle>(reinterpret_cast<std::uintptr_t>(hwnd));
}

IAccessible* toAccessible(AccObject object) {
    return reinterpret_cast<IAccessible*>(static_cast<std::uintptr_t>(object));
}
AccObject fromAccessible(IAccessible* accessible) {
    return static_cast<AccObject>(reinterpret_cast<std::uintptr_t>(accessible));
}

IDispatch* toDispatch(AccDispatch dispatch) {
    return reinterpret_cast<IDispatch*>(static_cast<std::uintptr_t>(dispatch));
}
AccDispatch fromDispatch(IDispatch* dispatch) {
    return static_cast<AccDispatch>(reinterpret_cast<std::uintptr_t>(dispatch));
}

RECT toRECT(const Rect& rect) {
    return RECT{rect.left, rect.top, rect.right, rect.bottom};
}
Rect fromRECT(const RECT& rect) {
    return Rect{static_cast<std::int32_t>(rect.left), static_cast<std::int32_t>(rect.top),
                static_cast<std::int32_t>(rect.right), static_cast<std::int32_t>(rect.bottom)};
}

// A variant the platform handed out, as the search names it. A dispatch
// answer gets a reference of its own, so the variant can be cleared.
AccVariant fromVariant(const VARIANT& variant) {
    AccVariant result;
    if (variant.vt == VT_DISPATCH && variant.pdispVal != nullptr) {
        variant.pdispVal->AddRef();
        result.kind = AccVariant::Kind::Dispatch;
        result.dispatch = fromDispatch(variant.pdispVal);
    } else if (variant.vt == VT_I4) {
        result.kind = AccVariant::Kind::Element;
        result.id = static_cast<std::int32_t>(variant.lVal);
    }
    return result;
}

// The callback and the caller's value, carried through the enumeration's
// own parameter; one per enumeration, so nested ones keep theirs.
struct EnumContext {
    WindowEnumProc proc;
    std::intptr_t value;
};

BOOL CALLBACK enumTrampoline(HWND hwnd, LPARAM param) {
    const EnumContext* context = reinterpret_cast<const EnumContext*>(param);
    return context->proc(fromHwnd(hwnd), context->value) ? TRUE : FALSE;
}

class Win32Desktop final : public Desktop {
public:
    bool cursorPos(std::int32_t& x, std::int32_t& y) override {
        POINT point{};
        if (!GetCursorPos(&point)) return false;
        x = point.x;
        y = point.y;
        return true;
    }

    void enumWindows(WindowEnumProc proc, std::intptr_t value) override {
        EnumContext context{proc, value};
        EnumWindows(&enumTrampoline, reinterpret_cast<LPARAM>(&context));
    }

    void enumChildWindows(WindowHandle parent, WindowEnumProc proc, std::intptr_t value) override {
        EnumContext context{proc, value};
        EnumChildWindows(toHwnd(parent), &enumTrampoline, reinterpret_cast<LPARAM>(&context));
    }

    bool windowRect(WindowHandle window, Rect& rect) override {
        RECT r{};
        if (!GetWindowRect(toHwnd(window), &r)) return false;
        rect = fromRECT(r);
        return true;
    }

    std::uint32_t currentProcessId() override { return GetCurrentProcessId(); }

    std::uint32_t windowProcessId(WindowHandle window) override {
        if (!IsWindow(toHwnd(window))) return 0;
        DWORD process = 0;
        GetWindowThreadProcessId(toHwnd(window), &process);
        return process;
    }

    bool isVisible(WindowHandle window) override {
        return (static_cast<DWORD>(GetWindowLongW(toHwnd(window), GWL_STYLE)) & WS_VISIBLE) != 0;
    }

    bool isClickThrough(WindowHandle window) override {
        return (static_cast<DWORD>(GetWindowLongW(toHwnd(window), GWL_EXSTYLE)) & WS_EX_TRANSPARENT) != 0;
    }

    std::u16string className(WindowHandle window, int capacity) override {
        // Class names have at most 256 characters.
        WCHAR buffer[257] = {};
        if (capacity <= 0) return {};
        if (capacity > 257) capacity = 257;
        const int length = GetClassNameW(toHwnd(window), buffer, capacity);
        std::u16string name;
        for (int i = 0; i < length && i < capacity; ++i) name.push_back(static_cast<char16_t>(buffer[i]));
        return name;
    }

    AccResult accessibleObject(WindowHandle window, AccRole role, AccObject& object) override {
        const LONG id = role == AccRole::Client ? OBJID_CLIENT : OBJID_WINDOW;
        void* accessible = nullptr;
        const HRESULT result =
            AccessibleObjectFromWindow(toHwnd(window), static_cast<DWORD>(id), __uuidof(IAccessible), &accessible);
        object = fromAccessible(static_cast<IAccessible*>(accessible));
        return result;
    }

    AccResult childCount(AccObject object, std::int32_t& count) override {
        if (object == AccObject::None) return E_POINTER;
        long children = 0;
        const HRESULT result = toAccessible(object)->get_accChildCount(&children);
        count = static_cast<std::int32_t>(children);
        return result;
    }

    AccResult children(AccObject object, std::int32_t start, std::int32_t count,
                       std::vector<AccVariant>& children) override {
        children.clear();
        if (object == AccObject::None) return E_POINTER;
        if (count <= 0) return E_INVALIDARG;
        // The count comes from the object's server; one that the memory cannot
        // hold is a failed fetch, not the end of the caller.
        std::vector<VARIANT> variants;
        try {
            variants.resize(static_cast<std::size_t>(count));
            children.reserve(static_cast<std::size_t>(count));
        } catch (const std::exception&) {
            return E_OUTOFMEMORY;
        }
        for (VARIANT& variant : variants) VariantInit(&variant);
        LONG obtained = 0;
        const HRESULT result = AccessibleChildren(toAccessible(object), start, count, variants.data(), &obtained);
        if (obtained < 0) obtained = 0;
        if (obtained > count) obtained = count;
        for (LONG i = 0; i < obtained; ++i) children.push_back(fromVariant(variants[static_cast<std::size_t>(i)]));
        for (VARIANT& variant : variants) VariantClear(&variant);
        return result;
    }

    AccResult queryAccessible(AccDispatch dispatch, AccObject& object) override {
        if (dispatch == AccDispatch::None) return E_POINTER;
        void* accessible = nullptr;
        const HRESULT result = toDispatch(dispatch)->QueryInterface(__uuidof(IAccessible), &accessible);
        object = fromAccessible(static_cast<IAccessible*>(accessible));
        return result;
    }

    AccResult location(AccObject object, const AccVariant& child, AccLocation& location) override {
        if (object == AccObject::None) return E_POINTER;
        // Only elements are located through their object; an empty answer
        // is passed on as it came, for the server to judge.
        if (child.kind == AccVariant::Kind::Dispatch) return E_INVALIDARG;
        VARIANT variant;
        VariantInit(&variant);
        if (child.kind == AccVariant::Kind::Element) {
            variant.vt = VT_I4;
            variant.lVal = child.id;
        }
        long left = 0, top = 0, width = 0, height = 0;
        const HRESULT result = toAccessible(object)->accLocation(&left, &top, &width, &height, variant);
        VariantClear(&variant);
        location = AccLocation{static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
                               static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};
        return result;
    }

    AccResult hitTest(AccObject object, std::int32_t x, std::int32_t y, AccVariant& answer) override {
        answer = AccVariant{};
        if (object == AccObject::None) return E_POINTER;
        VARIANT variant;
        VariantInit(&variant);
        const HRESULT result = toAccessible(object)->accHitTest(x, y, &variant);
        answer = fromVariant(variant);
        VariantClear(&variant);
        return result;
    }

    void release(AccObject object) override {
        if (object != AccObject::None) toAccessible(object)->Release();
    }

    void release(AccDispatch dispatch) override {
        if (dispatch != AccDispatch::None) toDispatch(dispatch)->Release();
    }

    bool containsPoint(const Rect& rect, std::int32_t x, std::int32_t y) override {
        const RECT r = toRECT(rect);
        POINT point{x, y};
        return PtInRect(&r, point) != FALSE;
    }

    bool intersect(Rect& out, const Rect& a, const Rect& b) override {
        const RECT ra = toRECT(a);
        const RECT rb = toRECT(b);
        RECT common{};
        const BOOL overlap = IntersectRect(&common, &ra, &rb);
        out = fromRECT(common);
        return overlap != FALSE;
    }
};

}  // namespace

Desktop& systemDesktop() {
    static Win32Desktop desktop;
    return desktop;
}

}  // namespace dorvane
