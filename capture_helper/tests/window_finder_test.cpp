// The search for the window under the mouse on a fake desktop: the window
// filters and the descent through child windows, the special classes and the
// combination of their children's rectangles, the hit-test chain, the
// intersection of both answers, and the scale step. Every case also checks
// that each accessible object handed out was released once.

#include <gtest/gtest.h>

#include <QRect>

#include <cmath>
#include <limits>
#include <ostream>
#include <set>
#include <thread>
#include <vector>

#include "dorvane/DorvaneWindow.h"
#include "rect_assertion.h"
#include "fake_desktop.h"
#include "window/wnd_finder.h"

namespace dorvane {

void PrintTo(const Rect& rect, std::ostream* out) {
    *out << "{" << rect.left << ", " << rect.top << ", " << rect.right << ", " << rect.bottom << "}";
}

namespace testing {
namespace {

using Kind = AccVariant::Kind;

constexpr std::int32_t kBig = 1000000;

FakeWindow plain(Rect rect) {
    FakeWindow window;
    window.rect = rect;
    return window;
}

FakeWindow ofClass(Rect rect, std::u16string className) {
    FakeWindow window = plain(rect);
    window.className = std::move(className);
    return window;
}

FakeWindow ownProcess(FakeWindow window) {
    window.process = kOwnProcess;
    return window;
}

FakeWindow hidden(FakeWindow window) {
    window.visible = false;
    return window;
}

FakeWindow clickThrough(FakeWindow window) {
    window.clickThrough = true;
    return window;
}

FakeWindow withChildren(FakeWindow window, std::vector<FakeWindow> children) {
    window.children = std::move(children);
    return window;
}

FakeWindow windowObject(FakeWindow window, int node, AccResult result = kAccOk) {
    window.windowObject = node;
    window.objectResult = result;
    return window;
}

FakeWindow clientObject(FakeWindow window, int node, AccResult result = kAccOk) {
    window.clientObject = node;
    window.objectResult = result;
    return window;
}

// An object located at `location` that a hit test finds on itself.
FakeNode selfAt(AccLocation location, AccResult locationResult = kAccOk) {
    FakeNode node;
    node.self = FakeLocated{locationResult, location};
    node.hit = FakeHit{kAccOk, Kind::Element, kChildIdSelf, -1};
    return node;
}

// An object whose hit test answers `hit`.
FakeNode hitting(FakeHit hit) {
    FakeNode node;
    node.hit = hit;
    return node;
}

FakeHit hitObject(int node) {
    return FakeHit{kAccOk, Kind::Dispatch, 0, node};
}
FakeHit hitElement(std::int32_t id, AccResult result = kAccOk) {
    return FakeHit{result, Kind::Element, id, -1};
}

FakeNode located(FakeNode node, AccLocation location) {
    node.self = FakeLocated{kAccOk, location};
    return node;
}

FakeNode withElement(FakeNode node, std::int32_t id, AccLocation location, AccResult result = kAccOk) {
    node.elements[id] = FakeLocated{result, location};
    return node;
}

// An object with these children (objects by node index), located nowhere.
FakeNode parentOf(std::vector<int> objects) {
    FakeNode node;
    for (int index : objects) node.children.push_back(FakeChild{true, index, 0});
    return node;
}

FakeChild elementChild(std::int32_t id) {
    return FakeChild{false, -1, id};
}

QRect bigEmpty(double scale = 1.0) {
    const int edge = static_cast<int>(kBig / scale);
    return QRect(edge, edge, -edge, -edge);
}

struct Scene {
    std::vector<FakeWindow> windows;
    std::vector<FakeNode> nodes;
};

// Asks the fake desktop for the rectangle under (x, y), checking what holds
// for every search: it answers true and leaves no object unreleased.
QRect ask(FakeDesktop& desktop, std::int32_t x, std::int32_t y, bool deep, double scale = 1.0) {
    desktop.install();
    desktop.cursorX = x;
    desktop.cursorY = y;
    QRect rect(1, 2, 3, 4);
    EXPECT_TRUE(getWndByMouse(&rect, scale, deep));
    EXPECT_EQ(desktop.outstanding(), 0u) << "accessible objects left unreleased";
    EXPECT_EQ(desktop.badReleases, 0) << "releases of objects that were not out";
    return rect;
}

QRect ask(const Scene& scene, std::int32_t x, std::int32_t y, bool deep, double scale = 1.0) {
    FakeDesktop desktop(scene.windows, scene.nodes);
    return ask(desktop, x, y, deep, scale);
}

const Rect kUpper{10, 10, 110, 110};
const QRect kUpperQ(10, 10, 100, 100);
const Rect kLower{0, 0, 200, 200};
const QRect kLowerQ(0, 0, 200, 200);

TEST(WindowSearch, TakesTheTopmostWindowThatHoldsThePointAndPassesTheFilters) {
    struct Case {
        const char* name;
        std::vector<FakeWindow> windows;
        std::int32_t x, y;
        QRect expected;
    };
    const Case cases[] = {
        {"the upper window", {plain(kUpper), plain(kLower)}, 50, 50, kUpperQ},
        {"a window that does not hold the point", {plain(kUpper), plain(kLower)}, 150, 150, kLowerQ},
        {"a window of the calling process", {ownProcess(plain(kUpper)), plain(kLower)}, 50, 50, kLowerQ},
        {"a hidden window", {hidden(plain(kUpper)), plain(kLower)}, 50, 50, kLowerQ},
        {"a click-through window", {clickThrough(plain(kUpper)), plain(kLower)}, 50, 50, kLowerQ},
        {"only windows that are passed over", {ownProcess(plain(kUpper)), hidden(plain(kLower))}, 50, 50, QRect()},
        {"no window at the point", {plain(kUpper)}, 500, 500, QRect()},
        {"the left and top edges are inside", {plain(kUpper), plain(kLower)}, 10, 10, kUpperQ},
        {"the right edge is outside", {plain(kUpper), plain(kLower)}, 110, 50, kLowerQ},
        {"the bottom edge is outside", {plain(kUpper), plain(kLower)}, 50, 110, kLowerQ},
        {"a monitor left of the primary one",
         {plain(Rect{-1920, -50, 0, 1030})},
         -100,
         0,
         QRect(-1920, -50, 1920, 1080)},
        // The callbacks get the point in 16 bits per coordinate.
        {"x beyond 16 bits wraps",
         {plain(Rect{69000, 0, 71000, 100}), plain(Rect{4000, 0, 5000, 100})},
         70000,
         50,
         QRect(4000, 0, 1000, 100)},
        {"child windows do not count without deep", {withChildren(plain(kLower), {plain(kUpper)})}, 50, 50, kLowerQ},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(sameRect(ask(Scene{c.windows, {}}, c.x, c.y, false), c.expected));
    }
}

TEST(WindowSearch, DeepGoesDownToTheInnermostChildWindowThatPassesTheFilters) {
    // Each window's object answers a hit test with itself, located at a size
    // of its own around (50, 50), so the answer tells whose object it was.
    const std::vector<FakeNode> nodes = {selfAt({45, 45, 10, 10}), selfAt({45, 45, 11, 11}), selfAt({45, 45, 12, 12}),
                                         selfAt({45, 45, 13, 13})};
    const QRect ofTop(45, 45, 9, 9), ofChild(45, 45, 10, 10), ofGrandchild(45, 45, 11, 11), ofOther(45, 45, 12, 12);
    const Rect top{0, 0, 200, 200}, child{20, 20, 100, 100}, grandchild{30, 30, 80, 80}, far{150, 150, 190, 190};
    const FakeWindow grand = windowObject(plain(grandchild), 2);
    const FakeWindow other = windowObject(plain(child), 3);

    struct Case {
        const char* name;
        FakeWindow window;
        QRect expected;
    };
    const Case cases[] = {
        {"no child windows", windowObject(plain(top), 0), ofTop},
        {"a child and its child",
         windowObject(withChildren(plain(top), {withChildren(windowObject(plain(child), 1), {grand})}), 0),
         ofGrandchild},
        {"a child that does not hold the point",
         windowObject(withChildren(plain(top), {windowObject(plain(far), 1), other}), 0), ofOther},
        {"a hidden child", windowObject(withChildren(plain(top), {hidden(windowObject(plain(child), 1)), other}), 0),
         ofOther},
        {"a click-through child",
         windowObject(withChildren(plain(top), {clickThrough(windowObject(plain(child), 1)), other}), 0), ofOther},
        {"a child of the calling process",
         windowObject(withChildren(plain(top), {ownProcess(windowObject(plain(child), 1)), other}), 0), ofOther},
        {"the first of two children that hold the point",
         windowObject(withChildren(plain(top), {windowObject(plain(child), 1), other}), 0), ofChild},
        {"no child holds the point", windowObject(withChildren(plain(top), {windowObject(plain(far), 1)}), 0), ofTop},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(sameRect(ask(Scene{{c.window}, nodes}, 50, 50, true), c.expected));
    }
}

TEST(SpecialWindows, ArePlacedByTheirAccessibleChildren) {
    const Rect frame{0, 0, 400, 300};
    const QRect frameQ(0, 0, 400, 300);
    // Two located children: {200, 100, 229, 139} first, then {10, 10, 59, 29};
    // together they span {10, 10, 229, 139}.
    const FakeNode far = selfAt({200, 100, 30, 40});
    const FakeNode near = selfAt({10, 10, 50, 20});
    const QRect both(10, 10, 219, 129);
    const QRect nearOnly(10, 10, 49, 19);
    const FakeNode two = parentOf({1, 2});
    FakeNode farUnlocated = far;
    farUnlocated.self.result = kAccFail;
    FakeNode farLocatedWithReservation = far;
    farLocatedWithReservation.self.result = kAccFalse;
    FakeNode farNotAccessible = far;
    farNotAccessible.queryResult = static_cast<AccResult>(0x80004002u);
    FakeNode farAccessibleWithReservation = far;
    farAccessibleWithReservation.queryResult = kAccFalse;
    auto parentWith = [&](void (*edit)(FakeNode&)) {
        FakeNode node = two;
        edit(node);
        return node;
    };
    const FakeNode countFails = parentWith([](FakeNode& n) { n.countResult = kAccFail; });
    const FakeNode countWithReservation = parentWith([](FakeNode& n) { n.countResult = kAccFalse; });
    const FakeNode countNegative = parentWith([](FakeNode& n) { n.reportedCount = -5; });
    const FakeNode countZero = parentWith([](FakeNode& n) { n.reportedCount = 0; });
    const FakeNode fetchFails = parentWith([](FakeNode& n) { n.childrenResult = kAccFail; });
    const FakeNode fetchWithReservation = parentWith([](FakeNode& n) { n.childrenResult = kAccFalse; });
    FakeNode onlyElements;
    onlyElements.children = {elementChild(1), elementChild(2)};
    FakeNode grandchildOnly = parentOf({1});
    FakeNode unlocatedWithChild = parentOf({2});
    unlocatedWithChild.self.result = kAccFail;

    const auto cabinet = [&](FakeNode root, FakeNode first = {}, FakeNode second = {}) {
        return Scene{{windowObject(ofClass(frame, u"CabinetWClass"), 0)}, {root, first, second}};
    };
    struct Case {
        const char* name;
        Scene scene;
        QRect expected;
    };
    const Case cases[] = {
        {"a folder window: its window object's children", cabinet(two, far, near), both},
        {"an application window: its client object's children",
         Scene{{clientObject(ofClass(frame, u"TXGuiFoundation"), 0)}, {two, far, near}}, both},
        {"a folder window asks for the window object, not the client's",
         Scene{{clientObject(ofClass(frame, u"CabinetWClass"), 0)}, {two, far, near}}, frameQ},
        {"an application window asks for the client object, not the window's",
         Scene{{windowObject(ofClass(frame, u"TXGuiFoundation"), 0)}, {two, far, near}}, frameQ},
        {"no object: the window rectangle",
         Scene{{windowObject(ofClass(frame, u"CabinetWClass"), 0, kAccFail)}, {two, far, near}}, frameQ},
        {"an object given with a reservation is not used",
         Scene{{windowObject(ofClass(frame, u"CabinetWClass"), 0, kAccFalse)}, {two, far, near}}, frameQ},
        {"no children", cabinet(FakeNode{}), bigEmpty()},
        {"children that are element ids", cabinet(onlyElements), bigEmpty()},
        {"a child that cannot be located", cabinet(two, farUnlocated, near), nearOnly},
        {"a child located with a reservation", cabinet(two, farLocatedWithReservation, near), nearOnly},
        {"a child that is not accessible", cabinet(two, farNotAccessible, near), nearOnly},
        {"a child accessible with a reservation", cabinet(two, farAccessibleWithReservation, near), nearOnly},
        {"the child count fails", cabinet(countFails, far, near), bigEmpty()},
        {"the child count succeeds with a reservation", cabinet(countWithReservation, far, near), both},
        {"a negative child count", cabinet(countNegative, far, near), bigEmpty()},
        {"a child count of 0", cabinet(countZero, far, near), bigEmpty()},
        {"the children cannot be fetched", cabinet(fetchFails, far, near), bigEmpty()},
        {"the children are fetched with a reservation", cabinet(fetchWithReservation, far, near), both},
        {"only direct children count", cabinet(grandchildOnly, unlocatedWithChild, near), bigEmpty()},
        {"children that combine to all zeros: the window rectangle", cabinet(parentOf({1}), selfAt({0, 0, 1, 1})),
         frameQ},
        {"a class name that only begins like one",
         Scene{{windowObject(ofClass(frame, u"CabinetWClassic"), 0)}, {two, far, near}}, frameQ},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The point need not lie in any child.
        EXPECT_TRUE(sameRect(ask(c.scene, 300, 250, false), c.expected));
    }
}

TEST(SpecialWindows, CombineMovesACornerWhenThatSpansALargerBox) {
    struct Case {
        const char* name;
        std::vector<Rect> rects;
        Rect expected;
    };
    const Case cases[] = {
        {"none", {}, Rect{kBig, kBig, 0, 0}},
        {"one", {Rect{5, 6, 7, 8}}, Rect{5, 6, 7, 8}},
        {"the next one below and right", {Rect{0, 0, 10, 10}, Rect{20, 20, 30, 30}}, Rect{0, 0, 30, 30}},
        {"the next one above and left", {Rect{20, 20, 30, 30}, Rect{0, 0, 10, 10}}, Rect{0, 0, 30, 30}},
        {"the next one inside", {Rect{0, 0, 100, 100}, Rect{10, 10, 20, 20}}, Rect{0, 0, 100, 100}},
        // Measured from the box's far corner, a rectangle farther away takes
        // the top-left corner even when it lies below: the box turns inside out.
        {"the top-left corner follows distance",
         {Rect{10, 10, 59, 29}, Rect{100, 200, 129, 239}},
         Rect{100, 200, 59, 29}},
        {"equal areas move nothing", {Rect{0, 0, 10, 10}, Rect{20, 20, 10, 10}}, Rect{0, 0, 10, 10}},
        {"three, each extending the box",
         {Rect{50, 50, 60, 60}, Rect{0, 0, 10, 10}, Rect{90, 90, 100, 100}},
         Rect{0, 0, 100, 100}},
        // 50000 * 50000 does not fit 32 bits: the first area counts as the
        // lowest number, and any real area beats it.
        {"an area beyond 32 bits", {Rect{0, 0, 50000, 50000}, Rect{10, 10, 20, 20}}, Rect{0, 0, 20, 20}},
        {"an overflow never wins", {Rect{0, 0, 10, 10}, Rect{50000, 50000, 50010, 50010}}, Rect{0, 0, 10, 10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(combineRects(c.rects), c.expected);
    }
}

TEST(SpecialWindows, AreasAreTruncatedDoublesWithOverflowAsTheLowestNumber) {
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    struct Case {
        std::int32_t dx, dy, expected;
    };
    const Case cases[] = {
        {3, 4, 12},           {-3, 4, 12},          {-3, -4, 12},
        {0, kMax, 0},         {1, kMax, kMax},      {46340, 46340, 2147395600},
        {46341, 46341, kMin}, {65536, 32768, kMin}, {kMin, 1, kMin},
        {kMin, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.dx << " x " << c.dy);
        EXPECT_EQ(spanArea(c.dx, c.dy), c.expected);
    }
}

TEST(HitTest, NarrowsToTheElementAtTheEndOfTheChain) {
    const Rect frame{0, 0, 400, 300};
    const QRect frameQ(0, 0, 400, 300);
    const AccLocation element{100, 50, 40, 20};
    const QRect elementQ(100, 50, 39, 19);  // element rectangles end on their last pixel
    FakeNode cycle = hitting(hitObject(0));
    FakeNode notAccessible = selfAt(element);
    notAccessible.queryResult = static_cast<AccResult>(0x80004002u);

    struct Case {
        const char* name;
        std::vector<FakeNode> nodes;
        std::int32_t x;
        QRect expected;
        AccResult objectResult = kAccOk;
    };
    const Case cases[] = {
        {"the object itself", {selfAt(element)}, 120, elementQ},
        {"an element of the object",
         {withElement(hitting(hitElement(7)), 7, {110, 55, 20, 10})},
         120,
         QRect(110, 55, 19, 9)},
        {"an element found with a reservation",
         {withElement(hitting(hitElement(7, kAccFalse)), 7, element)},
         120,
         elementQ},
        // The object in the middle is smaller, holds the point too, and is
        // still not looked at.
        {"only the last object counts",
         {hitting(hitObject(1)), located(hitting(hitObject(2)), {115, 55, 10, 10}), selfAt(element)},
         120,
         elementQ},
        {"the hit test fails", {hitting(FakeHit{kAccFail, Kind::Element, 0, -1})}, 120, frameQ},
        {"the hit test fails further down",
         {hitting(hitObject(1)), hitting(FakeHit{kAccFail, Kind::Element, 0, -1})},
         120,
         frameQ},
        {"nothing at the point", {hitting(FakeHit{kAccFalse, Kind::Empty, 0, -1})}, 120, frameQ},
        {"the element cannot be located", {selfAt(element, kAccFail)}, 120, frameQ},
        {"the element is located with a reservation", {selfAt(element, kAccFalse)}, 120, frameQ},
        {"the object found is not accessible", {hitting(hitObject(1)), notAccessible}, 120, frameQ},
        {"the point outside the element", {selfAt({300, 200, 10, 10})}, 120, frameQ},
        {"the element's last column", {selfAt(element)}, 139, frameQ},
        {"the window object is given with a reservation", {selfAt(element)}, 120, frameQ, kAccFalse},
        {"an object that leads back to itself", {cycle}, 120, frameQ},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(
            sameRect(ask(Scene{{windowObject(plain(frame), 0, c.objectResult)}, c.nodes}, c.x, 60, true), c.expected));
    }
    SCOPED_TRACE("a window without an accessible object");
    EXPECT_TRUE(sameRect(ask(Scene{{plain(frame)}, {}}, 120, 60, true), frameQ));
}

TEST(HitTest, KeepsTheElementWithinTheTopLevelAnswerOfASpecialWindow) {
    const Rect frame{0, 0, 400, 300};
    // The folder window's children span {10, 10, 229, 139}.
    const QRect box(10, 10, 219, 129);
    const auto folder = [&](AccLocation element, bool children = true) {
        FakeNode root = withElement(hitting(hitElement(7)), 7, element);
        if (children) root.children = {FakeChild{true, 1, 0}, FakeChild{true, 2, 0}};
        return Scene{{windowObject(ofClass(frame, u"CabinetWClass"), 0)},
                     {root, selfAt({200, 100, 30, 40}), selfAt({10, 10, 50, 20})}};
    };
    Scene noElement = folder({});
    noElement.nodes[0].hit.result = kAccFail;
    // An application window inside an ordinary top-level window: the
    // top-level rule gives that window's rectangle, exclusive edges and all.
    const auto embedded = [&](AccLocation element) {
        const FakeWindow application = windowObject(ofClass(Rect{50, 40, 410, 200}, u"TXGuiFoundation"), 0);
        return Scene{{withChildren(plain(frame), {application})}, {selfAt(element)}};
    };
    Scene embeddedNoElement = embedded({});
    embeddedNoElement.nodes[0].hit.result = kAccFail;

    struct Case {
        const char* name;
        Scene scene;
        std::int32_t x, y;
        QRect expected;
    };
    const Case cases[] = {
        {"an element inside the children's box", folder({100, 50, 40, 20}), 120, 60, QRect(100, 50, 39, 19)},
        {"an element reaching past the box: the common part", folder({200, 120, 100, 100}), 210, 130,
         QRect(200, 120, 29, 19)},
        // Larger than the box, so not taken, though the two overlap.
        {"an element larger than the box: the box", folder({100, 50, 300, 240}), 120, 60, box},
        {"no element: the box", noElement, 120, 60, box},
        // The empty box {1000000, 1000000, 0, 0} meets nothing, so it stays,
        // though a smaller element was found.
        {"no located children", folder({100, 50, 40, 20}, false), 120, 60, bigEmpty()},
        {"an application child window: its element", embedded({100, 50, 40, 20}), 120, 60, QRect(100, 50, 39, 19)},
        {"an application child window: its element within the top-level window", embedded({380, 50, 40, 20}), 390, 60,
         QRect(380, 50, 20, 19)},
        {"an application child window without an element: the top-level window", embeddedNoElement, 120, 60,
         QRect(0, 0, 400, 300)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(sameRect(ask(c.scene, c.x, c.y, true), c.expected));
    }
}

TEST(Scale, DividesEachEdgeAndTruncatesTowardZero) {
    struct Case {
        const char* name;
        Rect window;
        double scale;
        QRect expected;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Rect window{10, 20, 110, 220};
    const Case cases[] = {
        {"1", window, 1.0, QRect(10, 20, 100, 200)},
        {"2 with a left edge of -3", Rect{-3, 5, 11, 9}, 2.0, QRect(-1, 2, 6, 2)},
        {"0.5", window, 0.5, QRect(20, 40, 200, 400)},
        {"3", window, 3.0, QRect(3, 6, 33, 67)},
        {"-1", window, -1.0, QRect(-10, -20, -100, -200)},
        // No usable coordinates: the empty rectangle.
        {"0", window, 0.0, QRect()},
        {"-0", window, -0.0, QRect()},
        {"NaN", window, nan, QRect()},
        {"infinity", window, inf, QRect()},
        {"minus infinity", window, -inf, QRect()},
        {"so small that an edge leaves the 32-bit range", window, 1e-9, QRect()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QRect answer = ask(Scene{{plain(c.window)}, {}}, c.window.left, c.window.top, false, c.scale);
        EXPECT_TRUE(sameRect(answer, c.expected));
    }
    SCOPED_TRACE("a special window without located children, halved");
    const Scene empty{{windowObject(ofClass(window, u"CabinetWClass"), 0)}, {FakeNode{}}};
    EXPECT_TRUE(sameRect(ask(empty, 50, 50, false, 2.0), bigEmpty(2.0)));
}

TEST(Search, AnswersTheEmptyRectangleWithoutACursor) {
    FakeDesktop desktop({plain(kLower)}, {});
    desktop.cursorKnown = false;
    for (bool deep : {false, true}) {
        SCOPED_TRACE(deep ? "deep" : "top-level");
        EXPECT_TRUE(sameRect(ask(desktop, 50, 50, deep), QRect()));
    }
}

TEST(Search, LeavesANullRectAlone) {
    FakeDesktop desktop({plain(kLower)}, {});
    desktop.install();
    EXPECT_TRUE(getWndByMouse(nullptr, 1.0, true));
}

TEST(Search, KeepsNothingFromTheSearchBefore) {
    // A folder window with located children and an element, then an
    // ordinary window whose hit test fails: the second answer is its own
    // window rectangle, not anything of the folder's.
    const Rect folderFrame{0, 0, 400, 300};
    const Rect plainFrame{500, 0, 900, 300};
    FakeNode folderRoot = withElement(hitting(hitElement(7)), 7, {100, 50, 40, 20});
    folderRoot.children = {FakeChild{true, 1, 0}};
    FakeDesktop desktop({windowObject(ofClass(folderFrame, u"CabinetWClass"), 0), windowObject(plain(plainFrame), 2)},
                        {folderRoot, selfAt({10, 10, 300, 200}), hitting(FakeHit{kAccFail, Kind::Element, 0, -1})});
    for (bool deep : {true, false}) {
        SCOPED_TRACE(deep ? "deep" : "top-level");
        EXPECT_TRUE(sameRect(ask(desktop, 120, 60, deep), deep ? QRect(100, 50, 39, 19) : QRect(10, 10, 299, 199)));
        EXPECT_TRUE(sameRect(ask(desktop, 600, 60, deep), QRect(500, 0, 400, 300)));
        EXPECT_TRUE(sameRect(ask(desktop, 950, 60, deep), QRect()));
    }
}

TEST(Search, MakesOneFinderForAllThreads) {
    std::vector<WndFinder*> seen(4, nullptr);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i) threads.emplace_back([&seen, i] { seen[i] = WndFinder::instance(); });
    for (std::thread& thread : threads) thread.join();
    EXPECT_NE(seen[0], nullptr);
    EXPECT_EQ(std::set<WndFinder*>(seen.begin(), seen.end()).size(), 1u);
    EXPECT_EQ(WndFinder::instance(), seen[0]);
}

TEST(Geometry, PointsAndIntersectionsFollowTheWindowRules) {
    // The platform's own functions, where the desktop uses them, must agree.
    Desktop& system = systemDesktop();
    struct PointCase {
        Rect rect;
        std::int32_t x, y;
        bool inside;
    };
    const PointCase points[] = {
        {{0, 0, 10, 10}, 0, 0, true},     {{0, 0, 10, 10}, 9, 9, true},   {{0, 0, 10, 10}, 10, 5, false},
        {{0, 0, 10, 10}, 5, 10, false},   {{0, 0, 10, 10}, -1, 5, false}, {{10, 10, 0, 0}, 5, 5, false},
        {{-5, -5, -1, -1}, -3, -2, true}, {{3, 3, 3, 9}, 3, 4, false},
    };
    for (const PointCase& c : points) {
        SCOPED_TRACE(::testing::Message() << "point " << c.x << "," << c.y << " in " << c.rect.left << "," << c.rect.top
                                          << "," << c.rect.right << "," << c.rect.bottom);
        EXPECT_EQ(pointInRect(c.rect, c.x, c.y), c.inside);
        EXPECT_EQ(system.containsPoint(c.rect, c.x, c.y), c.inside);
    }
    struct IntersectCase {
        Rect a, b;
        bool overlap;
        Rect common;
    };
    const IntersectCase intersections[] = {
        {{0, 0, 10, 10}, {5, 5, 20, 20}, true, {5, 5, 10, 10}},
        {{0, 0, 10, 10}, {2, 3, 4, 5}, true, {2, 3, 4, 5}},
        {{0, 0, 10, 10}, {10, 0, 20, 10}, false, {}},
        {{0, 0, 10, 10}, {20, 20, 30, 30}, false, {}},
        {{kBig, kBig, 0, 0}, {0, 0, 10, 10}, false, {}},
        {{0, 0, 10, 10}, {kBig, kBig, 0, 0}, false, {}},
        {{-10, -10, 0, 0}, {-5, -20, 5, -2}, true, {-5, -10, 0, -2}},
    };
    for (const IntersectCase& c : intersections) {
        SCOPED_TRACE(::testing::Message()
                     << "intersection of " << c.a.left << "," << c.a.top << "," << c.a.right << "," << c.a.bottom
                     << " and " << c.b.left << "," << c.b.top << "," << c.b.right << "," << c.b.bottom);
        Rect common{1, 1, 1, 1};
        EXPECT_EQ(intersectRects(common, c.a, c.b), c.overlap);
        EXPECT_EQ(common, c.common);
        Rect systemCommon{1, 1, 1, 1};
        EXPECT_EQ(system.intersect(systemCommon, c.a, c.b), c.overlap);
        EXPECT_EQ(systemCommon, c.common);
    }
}

}  // namespace
}  // namespace testing
}  // namespace dorvane
