#pragma once
// A desktop made of plain data for the window search's tests: top-level
// windows in Z order with their child windows, and accessibility trees whose
// answers (results, locations, hit tests) each case sets. It counts what it
// hands out, so a case can see that everything was released.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "window/desktop.h"

namespace dorvane::testing {

constexpr std::uint32_t kOwnProcess = 100;
constexpr std::uint32_t kOtherProcess = 200;

// A child of an accessible object, as AccessibleChildren reports it.
struct FakeChild {
    bool isObject = true;
    int node = -1;        // isObject: index into FakeDesktop::nodes
    std::int32_t id = 0;  // otherwise: an element id
};

// What a hit test on a node answers.
struct FakeHit {
    AccResult result = kAccFalse;
    AccVariant::Kind kind = AccVariant::Kind::Empty;
    std::int32_t id = kChildIdSelf;  // Element
    int node = -1;                   // Dispatch: index into FakeDesktop::nodes
};

struct FakeLocated {
    AccResult result = kAccOk;
    AccLocation location;
};

struct FakeNode {
    FakeLocated self{kAccFail, {}};                // location of the object itself
    std::map<std::int32_t, FakeLocated> elements;  // locations of its elements by id
    AccResult countResult = kAccOk;
    int reportedCount = -1;  // -1: the number of children
    AccResult childrenResult = kAccOk;
    std::vector<FakeChild> children;
    AccResult queryResult = kAccOk;  // asked for its IAccessible through a dispatch
    FakeHit hit;
};

struct FakeWindow {
    Rect rect;
    std::uint32_t process = kOtherProcess;
    bool visible = true;
    bool clickThrough = false;
    std::u16string className = u"PlainWindow";
    // Accessible objects of the window (indices into FakeDesktop::nodes; -1
    // none) and what asking for them answers.
    int windowObject = -1;
    int clientObject = -1;
    AccResult objectResult = kAccOk;
    std::vector<FakeWindow> children;
};

class FakeDesktop final : public Desktop {
public:
    FakeDesktop() = default;
    FakeDesktop(std::vector<FakeWindow> windows, std::vector<FakeNode> nodes);
    ~FakeDesktop() override;

    // Puts it in place of the system's desktop until destroyed.
    void install();

    bool cursorKnown = true;
    std::int32_t cursorX = 0, cursorY = 0;
    std::vector<FakeWindow> windows;  // from the top of the Z order down
    std::vector<FakeNode> nodes;

    // Objects and dispatches handed out and not yet released, and releases
    // of handles that were not out.
    std::size_t outstanding() const { return objects_.size() + dispatches_.size(); }
    int badReleases = 0;
    // Which role each accessibleObject call asked for.
    std::vector<AccRole> rolesAsked;

    bool cursorPos(std::int32_t& x, std::int32_t& y) override;
    void enumWindows(WindowEnumProc proc, std::intptr_t value) override;
    void enumChildWindows(WindowHandle parent, WindowEnumProc proc, std::intptr_t value) override;
    bool windowRect(WindowHandle window, Rect& rect) override;
    std::uint32_t currentProcessId() override { return kOwnProcess; }
    std::uint32_t windowProcessId(WindowHandle window) override;
    bool isVisible(WindowHandle window) override;
    bool isClickThrough(WindowHandle window) override;
    std::u16string className(WindowHandle window, int capacity) override;
    AccResult accessibleObject(WindowHandle window, AccRole role, AccObject& object) override;
    AccResult childCount(AccObject object, std::int32_t& count) override;
    AccResult children(AccObject object, std::int32_t start, std::int32_t count,
                       std::vector<AccVariant>& children) override;
    AccResult queryAccessible(AccDispatch dispatch, AccObject& object) override;
    AccResult location(AccObject object, const AccVariant& child, AccLocation& location) override;
    AccResult hitTest(AccObject object, std::int32_t x, std::int32_t y, AccVariant& answer) override;
    void release(AccObject object) override;
    void release(AccDispatch dispatch) override;

private:
    // Window handles are 1 + the window's place in a flat list of all windows.
    void index();
    const FakeWindow* windowOf(WindowHandle handle) const;
    WindowHandle handleOf(const FakeWindow& window) const;
    bool enumerate(const std::vector<FakeWindow>& list, bool descend, WindowEnumProc proc, std::intptr_t value);
    AccObject newObject(int node);
    AccDispatch newDispatch(int node);
    const FakeNode* nodeOf(AccObject object) const;

    std::vector<const FakeWindow*> flat_;
    bool indexed_ = false;
    std::uintptr_t nextHandle_ = 1;
    std::map<std::uintptr_t, int> objects_;     // handle -> node
    std::map<std::uintptr_t, int> dispatches_;  // handle -> node
};

}  // namespace dorvane::testing
