#include "window/platform/x11/x11_accessibility.h"

#include "window/platform/x11/atspi_tree.h"

namespace dorvane::x11 {

namespace {

// Objects and dispatches are both one of these: an application's element, or
// the window that stands for itself when there is none. Handed out as the
// handle; release deletes it.
struct Node {
    WindowHandle window = WindowHandle::None;
    atspi::Element* element = nullptr;
};

Node* nodeOf(AccObject object) {
    return reinterpret_cast<Node*>(static_cast<std::uintptr_t>(object));
}
Node* nodeOf(AccDispatch dispatch) {
    return reinterpret_cast<Node*>(static_cast<std::uintptr_t>(dispatch));
}
AccObject objectOf(Node* node) {
    return static_cast<AccObject>(reinterpret_cast<std::uintptr_t>(node));
}
AccDispatch dispatchOf(Node* node) {
    return static_cast<AccDispatch>(reinterpret_cast<std::uintptr_t>(node));
}

void destroy(Node* node) {
    if (node == nullptr) return;
    atspi::release(node->element);
    delete node;
}

AccVariant selfElement() {
    AccVariant self;
    self.kind = AccVariant::Kind::Element;
    self.id = kChildIdSelf;
    return self;
}

AccVariant dispatchFor(atspi::Element* element) {
    AccVariant variant;
    variant.kind = AccVariant::Kind::Dispatch;
    variant.dispatch = dispatchOf(new Node{WindowHandle::None, element});
    return variant;
}

bool isSelf(const AccVariant& child) {
    return child.kind == AccVariant::Kind::Element && child.id == kChildIdSelf;
}

}  // namespace

bool Accessibility::busUsable() {
    if (!checked_) {
        usable_ = atspi::beginSearch(facts_.accessibilityBusProperty());
        checked_ = true;
    }
    return usable_;
}

AccResult Accessibility::accessibleObject(WindowHandle window, AccObject& object) {
    object = AccObject::None;
    if (window == WindowHandle::None) return kAccFail;
    Node* node = new Node{window, nullptr};
    Rect box;
    if (busUsable() && facts_.contentBox(window, box))
        node->element = atspi::frameOf(facts_.windowProcessId(window), box);
    object = objectOf(node);
    return kAccOk;
}

AccResult Accessibility::childCount(AccObject object, std::int32_t& count) {
    count = 0;
    const Node* node = nodeOf(object);
    if (node == nullptr) return kAccFail;
    if (node->element == nullptr) return kAccOk;
    const int found = atspi::childCount(node->element);
    if (found < 0) return kAccFail;
    count = found;
    return kAccOk;
}

AccResult Accessibility::children(AccObject object, std::int32_t start, std::int32_t count,
                                  std::vector<AccVariant>& children) {
    children.clear();
    const Node* node = nodeOf(object);
    if (node == nullptr || node->element == nullptr || start < 0 || count < 0) return kAccFail;
    for (std::int32_t i = 0; i < count; ++i) {
        atspi::Element* child = atspi::childAt(node->element, start + i);
        // Fewer than asked for: the application lost some meanwhile.
        if (child == nullptr) return children.empty() ? kAccFail : kAccFalse;
        children.push_back(dispatchFor(child));
    }
    return kAccOk;
}

AccResult Accessibility::queryAccessible(AccDispatch dispatch, AccObject& object) {
    object = AccObject::None;
    const Node* node = nodeOf(dispatch);
    if (node == nullptr) return kAccFail;
    object = objectOf(new Node{node->window, atspi::retain(node->element)});
    return kAccOk;
}

AccResult Accessibility::location(AccObject object, const AccVariant& child, AccLocation& location) {
    const Node* node = nodeOf(object);
    if (node == nullptr || !isSelf(child)) return kAccFail;
    if (node->element != nullptr) return atspi::extents(node->element, location) ? kAccOk : kAccFail;
    Rect rect;
    if (!facts_.windowRect(node->window, rect)) return kAccFail;
    location = AccLocation{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
    return kAccOk;
}

AccResult Accessibility::hitTest(AccObject object, std::int32_t x, std::int32_t y, AccVariant& answer) {
    answer = AccVariant{};
    const Node* node = nodeOf(object);
    if (node == nullptr) return kAccFail;
    if (node->element == nullptr) {
        Rect rect;
        if (!facts_.windowRect(node->window, rect)) return kAccFail;
        if (!pointInRect(rect, x, y)) return kAccFalse;
        answer = selfElement();
        return kAccOk;
    }
    atspi::Element* child = nullptr;
    switch (atspi::hitTest(node->element, x, y, child)) {
    case atspi::Hit::Child:
        answer = dispatchFor(child);
        return kAccOk;
    case atspi::Hit::Self:
        answer = selfElement();
        return kAccOk;
    case atspi::Hit::Outside:
        return kAccFalse;
    case atspi::Hit::Failed:
        break;
    }
    return kAccFail;
}

void Accessibility::release(AccObject object) {
    destroy(nodeOf(object));
}
void Accessibility::release(AccDispatch dispatch) {
    destroy(nodeOf(dispatch));
}

}  // namespace dorvane::x11
