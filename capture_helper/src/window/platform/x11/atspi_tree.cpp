#include "window/platform/x11/atspi_tree.h"

#include <atspi/atspi.h>

#include <algorithm>
#include <chrono>
#include <unordered_map>

#include "window/platform/x11/atspi_bus.h"

namespace dorvane::atspi {

namespace {

// An application that does not answer holds the search up no longer than
// this; one being started is given a little more.
constexpr gint kCallTimeoutMs = 250;
constexpr gint kStartupTimeoutMs = 1000;
// The signals taken in at the start of a search; more than enough for what
// arrives between two of them, and a bound if an application floods the bus.
constexpr int kMaxPendingDispatches = 1000;
// An application that kept a search waiting that long is passed over for a
// while, so that hovering over a hung application costs one wait, not one
// per search.
constexpr std::chrono::seconds kPassOverFor{5};

GMainContext* g_context = nullptr;
bool g_started = false;
// The library refused to start: it is not asked again in this process.
bool g_refused = false;
std::unordered_map<std::uint32_t, std::chrono::steady_clock::time_point> g_passOverUntil;

// Runs `call` with a GError of its own; false (and the error dropped) when
// the call set it.
template <typename Call>
bool succeeded(Call call) {
    GError* error = nullptr;
    call(&error);
    if (error == nullptr) return true;
    g_error_free(error);
    return false;
}

// The element's component, which knows where it is; null for those that
// have no place on the screen (applications, for one).
AtspiComponent* componentOf(Element* element) {
    return element != nullptr ? atspi_accessible_get_component_iface(element) : nullptr;
}

bool screenBox(AtspiComponent* component, AccLocation& location) {
    AtspiRect* rect = nullptr;
    if (!succeeded(
            [&](GError** error) { rect = atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, error); }) ||
        rect == nullptr) {
        g_free(rect);
        return false;
    }
    location = AccLocation{rect->x, rect->y, rect->width, rect->height};
    g_free(rect);
    return true;
}

std::int64_t overlap(const AccLocation& location, const Rect& box) {
    const std::int64_t left = std::max<std::int64_t>(location.left, box.left);
    const std::int64_t top = std::max<std::int64_t>(location.top, box.top);
    const std::int64_t right =
        std::min<std::int64_t>(static_cast<std::int64_t>(location.left) + location.width, box.right);
    const std::int64_t bottom =
        std::min<std::int64_t>(static_cast<std::int64_t>(location.top) + location.height, box.bottom);
    return right > left && bottom > top ? (right - left) * (bottom - top) : 0;
}

bool sameBox(const AccLocation& location, const Rect& box) {
    return location.left == box.left && location.top == box.top &&
           static_cast<std::int64_t>(location.left) + location.width == box.right &&
           static_cast<std::int64_t>(location.top) + location.height == box.bottom;
}

// The application's top-level element for `box`, with how well it fits:
// exact, or by the area it shares with the box.
struct Candidate {
    Element* element = nullptr;
    bool exact = false;
    std::int64_t shared = 0;
};

void consider(Candidate& best, Element* application, const Rect& box) {
    const int count = childCount(application);
    for (int i = 0; i < count && !best.exact; ++i) {
        Element* frame = childAt(application, i);
        AccLocation location;
        bool kept = false;
        if (frame != nullptr && extents(frame, location)) {
            const bool exact = sameBox(location, box);
            const std::int64_t shared = overlap(location, box);
            if (exact || shared > best.shared) {
                release(best.element);
                best = Candidate{frame, exact, shared};
                kept = true;
            }
        }
        if (!kept) release(frame);
    }
}

}  // namespace

bool beginSearch(const std::string& rootProperty) {
    static BusWatch watch;
    if (g_refused || !watch.reachable(rootProperty)) return false;
    if (!g_started) {
        g_context = g_main_context_new();
        atspi_set_main_context(g_context);
        atspi_set_timeout(kCallTimeoutMs, kStartupTimeoutMs);
        const int started = atspi_init();
        // 1 says another part of the process started it already.
        if (started != 0 && started != 1) {
            g_refused = true;
            return false;
        }
        g_started = true;
    }
    for (int i = 0; i < kMaxPendingDispatches && g_main_context_iteration(g_context, FALSE); ++i) {
    }
    return true;
}

Element* frameOf(std::uint32_t pid, const Rect& box) {
    if (!g_started || pid == 0) return nullptr;
    using Clock = std::chrono::steady_clock;
    const auto passedOver = g_passOverUntil.find(pid);
    if (passedOver != g_passOverUntil.end()) {
        if (Clock::now() < passedOver->second) return nullptr;
        g_passOverUntil.erase(passedOver);
    }
    Element* desktop = atspi_get_desktop(0);
    if (desktop == nullptr) return nullptr;
    Candidate best;
    const int applications = childCount(desktop);
    for (int i = 0; i < applications && !best.exact; ++i) {
        Element* application = childAt(desktop, i);
        if (application == nullptr) continue;
        guint owner = 0;
        if (succeeded([&](GError** error) { owner = atspi_accessible_get_process_id(application, error); }) &&
            owner == pid) {
            const auto asked = Clock::now();
            consider(best, application, box);
            if (Clock::now() - asked >= std::chrono::milliseconds(kCallTimeoutMs))
                g_passOverUntil[pid] = Clock::now() + kPassOverFor;
        }
        release(application);
    }
    release(desktop);
    return best.element;
}

Element* retain(Element* element) {
    if (element != nullptr) g_object_ref(element);
    return element;
}

void release(Element* element) {
    if (element != nullptr) g_object_unref(element);
}

bool extents(Element* element, AccLocation& location) {
    AtspiComponent* component = componentOf(element);
    if (component == nullptr) return false;
    const bool found = screenBox(component, location);
    g_object_unref(component);
    return found;
}

int childCount(Element* element) {
    if (element == nullptr) return -1;
    gint count = -1;
    if (!succeeded([&](GError** error) { count = atspi_accessible_get_child_count(element, error); })) return -1;
    return count;
}

Element* childAt(Element* element, int index) {
    if (element == nullptr || index < 0) return nullptr;
    Element* child = nullptr;
    if (!succeeded([&](GError** error) { child = atspi_accessible_get_child_at_index(element, index, error); })) {
        release(child);
        return nullptr;
    }
    return child;
}

Hit hitTest(Element* element, std::int32_t x, std::int32_t y, Element*& child) {
    child = nullptr;
    AtspiComponent* component = componentOf(element);
    if (component == nullptr) return Hit::Failed;
    Element* found = nullptr;
    Hit hit = Hit::Failed;
    if (succeeded([&](GError** error) {
            found = atspi_component_get_accessible_at_point(component, x, y, ATSPI_COORD_TYPE_SCREEN, error);
        })) {
        if (found != nullptr && found != element) {
            child = found;
            found = nullptr;
            hit = Hit::Child;
        } else if (found != nullptr) {
            hit = Hit::Self;
        } else {
            // No child there: the point is on the element or off it.
            gboolean inside = FALSE;
            if (succeeded([&](GError** error) {
                    inside = atspi_component_contains(component, x, y, ATSPI_COORD_TYPE_SCREEN, error);
                }))
                hit = inside ? Hit::Self : Hit::Outside;
        }
    }
    release(found);
    g_object_unref(component);
    return hit;
}

}  // namespace dorvane::atspi
