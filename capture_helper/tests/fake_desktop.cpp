// The fake desktop: windows and accessible objects from plain data.

#include "fake_desktop.h"

#include <utility>

namespace dorvane::testing {

namespace {

void flatten(const std::vector<FakeWindow>& list, std::vector<const FakeWindow*>& flat) {
    for (const FakeWindow& window : list) {
        flat.push_back(&window);
        flatten(window.children, flat);
    }
}

}  // namespace

FakeDesktop::FakeDesktop(std::vector<FakeWindow> windowList, std::vector<FakeNode> nodeList)
    : windows(std::move(windowList)), nodes(std::move(nodeList)) {}

FakeDesktop::~FakeDesktop() {
    if (&currentDesktop() == this) setDesktop(nullptr);
}

void FakeDesktop::install() {
    setDesktop(this);
}

void FakeDesktop::index() {
    if (indexed_) return;
    flatten(windows, flat_);
    indexed_ = true;
}

const FakeWindow* FakeDesktop::windowOf(WindowHandle handle) const {
    const std::uintptr_t value = static_cast<std::uintptr_t>(handle);
    if (value == 0 || value > flat_.size()) return nullptr;
    return flat_[value - 1];
}

WindowHandle FakeDesktop::handleOf(const FakeWindow& window) const {
    for (std::size_t i = 0; i < flat_.size(); ++i)
        if (flat_[i] == &window) return static_cast<WindowHandle>(i + 1);
    return WindowHandle::None;
}

bool FakeDesktop::cursorPos(std::int32_t& x, std::int32_t& y) {
    if (!cursorKnown) return false;
    x = cursorX;
    y = cursorY;
    return true;
}

// Calls back for each window of the list, with `descend` each followed by its
// descendants, as the platform's child enumeration does; false once stopped.
bool FakeDesktop::enumerate(const std::vector<FakeWindow>& list, bool descend, WindowEnumProc proc,
                            std::intptr_t value) {
    for (const FakeWindow& window : list) {
        if (!proc(handleOf(window), value)) return false;
        if (descend && !enumerate(window.children, true, proc, value)) return false;
    }
    return true;
}

void FakeDesktop::enumWindows(WindowEnumProc proc, std::intptr_t value) {
    index();
    enumerate(windows, false, proc, value);
}

void FakeDesktop::enumChildWindows(WindowHandle parent, WindowEnumProc proc, std::intptr_t value) {
    index();
    if (const FakeWindow* window = windowOf(parent)) enumerate(window->children, true, proc, value);
}

bool FakeDesktop::windowRect(WindowHandle handle, Rect& rect) {
    const FakeWindow* window = windowOf(handle);
    if (window == nullptr) return false;
    rect = window->rect;
    return true;
}

std::uint32_t FakeDesktop::windowProcessId(WindowHandle handle) {
    const FakeWindow* window = windowOf(handle);
    return window != nullptr ? window->process : 0;
}

bool FakeDesktop::isVisible(WindowHandle handle) {
    const FakeWindow* window = windowOf(handle);
    return window != nullptr && window->visible;
}

bool FakeDesktop::isClickThrough(WindowHandle handle) {
    const FakeWindow* window = windowOf(handle);
    return window != nullptr && window->clickThrough;
}

std::u16string FakeDesktop::className(WindowHandle handle, int capacity) {
    const FakeWindow* window = windowOf(handle);
    if (window == nullptr || capacity <= 0) return {};
    return window->className.substr(0, static_cast<std::size_t>(capacity - 1));
}

AccObject FakeDesktop::newObject(int node) {
    const std::uintptr_t handle = nextHandle_++;
    objects_[handle] = node;
    return static_cast<AccObject>(handle);
}

AccDispatch FakeDesktop::newDispatch(int node) {
    const std::uintptr_t handle = nextHandle_++;
    dispatches_[handle] = node;
    return static_cast<AccDispatch>(handle);
}

const FakeNode* FakeDesktop::nodeOf(AccObject object) const {
    const auto found = objects_.find(static_cast<std::uintptr_t>(object));
    if (found == objects_.end()) return nullptr;
    return &nodes.at(static_cast<std::size_t>(found->second));
}

AccResult FakeDesktop::accessibleObject(WindowHandle handle, AccRole role, AccObject& object) {
    rolesAsked.push_back(role);
    object = AccObject::None;
    const FakeWindow* window = windowOf(handle);
    if (window == nullptr) return kAccFail;
    const int node = role == AccRole::Window ? window->windowObject : window->clientObject;
    if (node < 0) return kAccFail;
    object = newObject(node);
    return window->objectResult;
}

AccResult FakeDesktop::childCount(AccObject object, std::int32_t& count) {
    const FakeNode* node = nodeOf(object);
    if (node == nullptr) return kAccFail;
    count = node->reportedCount >= 0 || node->reportedCount < -1 ? node->reportedCount
                                                                 : static_cast<std::int32_t>(node->children.size());
    return node->countResult;
}

AccResult FakeDesktop::children(AccObject object, std::int32_t start, std::int32_t count,
                                std::vector<AccVariant>& out) {
    out.clear();
    const FakeNode* node = nodeOf(object);
    if (node == nullptr || start < 0 || count <= 0) return kAccFail;
    if (!accSucceeded(node->childrenResult)) return node->childrenResult;
    const std::size_t wanted = static_cast<std::size_t>(count);
    for (std::size_t i = static_cast<std::size_t>(start); i < node->children.size() && out.size() < wanted; ++i) {
        const FakeChild& child = node->children[i];
        AccVariant variant;
        if (child.isObject) {
            variant.kind = AccVariant::Kind::Dispatch;
            variant.dispatch = newDispatch(child.node);
        } else {
            variant.kind = AccVariant::Kind::Element;
            variant.id = child.id;
        }
        out.push_back(variant);
    }
    return node->childrenResult;
}

AccResult FakeDesktop::queryAccessible(AccDispatch dispatch, AccObject& object) {
    object = AccObject::None;
    const auto found = dispatches_.find(static_cast<std::uintptr_t>(dispatch));
    if (found == dispatches_.end()) return kAccFail;
    const FakeNode& node = nodes.at(static_cast<std::size_t>(found->second));
    if (!accOk(node.queryResult)) return node.queryResult;
    object = newObject(found->second);
    return kAccOk;
}

AccResult FakeDesktop::location(AccObject object, const AccVariant& child, AccLocation& location) {
    const FakeNode* node = nodeOf(object);
    if (node == nullptr || child.kind != AccVariant::Kind::Element) return kAccFail;
    FakeLocated located = node->self;
    if (child.id != kChildIdSelf) {
        const auto found = node->elements.find(child.id);
        if (found == node->elements.end()) return kAccFail;
        located = found->second;
    }
    if (accSucceeded(located.result)) location = located.location;
    return located.result;
}

AccResult FakeDesktop::hitTest(AccObject object, std::int32_t, std::int32_t, AccVariant& answer) {
    answer = AccVariant{};
    const FakeNode* node = nodeOf(object);
    if (node == nullptr) return kAccFail;
    answer.kind = node->hit.kind;
    answer.id = node->hit.id;
    if (node->hit.kind == AccVariant::Kind::Dispatch) answer.dispatch = newDispatch(node->hit.node);
    return node->hit.result;
}

void FakeDesktop::release(AccObject object) {
    if (objects_.erase(static_cast<std::uintptr_t>(object)) == 0) ++badReleases;
}

void FakeDesktop::release(AccDispatch dispatch) {
    if (dispatches_.erase(static_cast<std::uintptr_t>(dispatch)) == 0) ++badReleases;
}

}  // namespace dorvane::testing
