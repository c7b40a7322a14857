// The deep search through other applications' accessibility trees, on a
// desktop of the test's own: an X server (Xvfb), a session bus from which the
// accessibility bus starts as on a desktop, and a GTK application whose
// elements sit at known places (gtk_fixture.cpp). The cursor is moved with
// the XTest extension.

#include <gtest/gtest.h>

// Before Xlib, whose macros would rewrite Qt's names.
#include <QRect>

#include "dorvane/DorvaneWindow.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/x11/session_bus.h"
#include "platform/x11/x_server.h"
#include "rect_assertion.h"

namespace {

using dorvane::testing::HelperProcess;
using dorvane::testing::SessionBus;
using dorvane::testing::WindowOwner;
using dorvane::testing::XServer;

// Qt's rectangle with these edges, right and bottom just outside. Elements'
// rectangles end on their last pixel, so theirs come out one narrower and
// lower than the element.
QRect edges(int left, int top, int right, int bottom) {
    QRect rect;
    rect.setCoords(left, top, right - 1, bottom - 1);
    return rect;
}

// The window's elements, from the fixture's layout, for the window at x, y.
struct Layout {
    int x, y;
    QRect window() const { return edges(x, y, x + 400, y + 300); }
    QRect windowElement() const { return edges(x, y, x + 399, y + 299); }
    QRect first() const { return edges(x + 20, y + 20, x + 179, y + 69); }
    QRect panel() const { return edges(x + 200, y + 100, x + 379, y + 249); }
    QRect second() const { return edges(x + 230, y + 150, x + 329, y + 189); }
};

constexpr Layout kApp{100, 100};
// A second instance, framed by the test (which plays the window manager).
constexpr Layout kFramed{710, 130};
constexpr int kFrameX = 700, kFrameY = 100, kFrameWidth = 420, kFrameHeight = 340;

class AccessibleDesktop : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.start()) << server_.error();
        setenv("DISPLAY", server_.name().c_str(), 1);
        // The fixtures draw no decorations of their own and keep their
        // settings in memory; a bus named for the whole session is not used.
        unsetenv("AT_SPI_BUS_ADDRESS");
        unsetenv("GTK_CSD");
        unsetenv("NO_AT_BRIDGE");
        unsetenv("WAYLAND_DISPLAY");
        setenv("GSETTINGS_BACKEND", "memory", 1);
        ASSERT_TRUE(bus_.start()) << bus_.error();
        setenv("DBUS_SESSION_BUS_ADDRESS", bus_.address().c_str(), 1);
        display_ = XOpenDisplay(server_.name().c_str());
        ASSERT_NE(display_, nullptr);
        ASSERT_TRUE(app_.start({GTK_FIXTURE_PROGRAM, std::to_string(kApp.x), std::to_string(kApp.y)}));
        ASSERT_TRUE(plain_.start({"100,500,200,150,plain"}));
        // The application shows itself on the bus a moment after its window.
        ASSERT_TRUE(waitFor(kApp.x + 50, kApp.y + 40, kApp.first())) << "the application's elements never showed";
    }

    void TearDown() override {
        app_.stop();
        framed_.stop();
        plain_.stop();
        if (display_ != nullptr) XCloseDisplay(display_);
        display_ = nullptr;
        bus_.stop();
        server_.stop();
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        unsetenv("DISPLAY");
    }

    QRect answerAt(int x, int y, bool deep, double scale = 1.0) {
        XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
        XSync(display_, False);
        QRect rect(1, 2, 3, 4);
        EXPECT_TRUE(getWndByMouse(&rect, scale, deep));
        return rect;
    }

    bool waitFor(int x, int y, const QRect& expected) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (std::chrono::steady_clock::now() < deadline) {
            if (sameRect(answerAt(x, y, true), expected)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    // A second fixture inside a frame window of this process, the client
    // marked as a window manager marks it.
    void startFramed() {
        ASSERT_TRUE(framed_.start({GTK_FIXTURE_PROGRAM, "0", "0"}));
        const Window client = static_cast<Window>(std::stoul(framed_.detail()));
        const Window frame = XCreateSimpleWindow(display_, DefaultRootWindow(display_), kFrameX, kFrameY, kFrameWidth,
                                                 kFrameHeight, 0, 0, BlackPixel(display_, DefaultScreen(display_)));
        const Atom wmState = XInternAtom(display_, "WM_STATE", False);
        const unsigned long normalState[2] = {NormalState, 0};
        XChangeProperty(display_, client, wmState, wmState, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(normalState), 2);
        XReparentWindow(display_, client, frame, kFramed.x - kFrameX, kFramed.y - kFrameY);
        XMapRaised(display_, frame);
        XSync(display_, False);
        ASSERT_TRUE(waitFor(kFramed.x + 50, kFramed.y + 40, kFramed.first())) << "the framed application never showed";
    }

    XServer server_;
    SessionBus bus_;
    HelperProcess app_;
    HelperProcess framed_;
    WindowOwner plain_;
    Display* display_ = nullptr;
};

TEST_F(AccessibleDesktop, DeepAnswersTheElementUnderTheCursor) {
    startFramed();
    struct Case {
        const char* what;
        int x, y;
        bool deep;
        double scale;
        QRect expected;
    };
    const Case cases[] = {
        {"a button", kApp.x + 50, kApp.y + 40, true, 1.0, kApp.first()},
        {"a button's last pixel", kApp.x + 178, kApp.y + 68, true, 1.0, kApp.first()},
        // The element's rectangle ends on its last pixel and, taken as a
        // window's would be, leaves that out: the window's box is answered.
        {"just past a button's rectangle", kApp.x + 179, kApp.y + 40, true, 1.0, kApp.window()},
        {"beside the button", kApp.x + 180, kApp.y + 40, true, 1.0, kApp.windowElement()},
        {"a panel", kApp.x + 210, kApp.y + 110, true, 1.0, kApp.panel()},
        {"a button in the panel", kApp.x + 240, kApp.y + 160, true, 1.0, kApp.second()},
        {"scale 2", kApp.x + 50, kApp.y + 40, true, 2.0, edges(60, 60, 139, 84)},
        {"the top-level rule on a button", kApp.x + 50, kApp.y + 40, false, 1.0, kApp.window()},
        {"a framed application's button", kFramed.x + 50, kFramed.y + 40, true, 1.0, kFramed.first()},
        {"a framed application's panel", kFramed.x + 240, kFramed.y + 160, true, 1.0, kFramed.second()},
        {"a framed application, top-level", kFramed.x + 50, kFramed.y + 40, false, 1.0,
         edges(kFrameX, kFrameY, kFrameX + kFrameWidth, kFrameY + kFrameHeight)},
        {"a window without accessibility", 150, 550, true, 1.0, edges(100, 500, 299, 649)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(sameRect(answerAt(c.x, c.y, c.deep, c.scale), c.expected));
    }
}

// An application that stops answering holds a search up for the library's
// timeout, and its window stands for itself; the application is then passed
// over for a while (even once it answers again) rather than making every
// search wait, and after that its elements come back.
TEST_F(AccessibleDesktop, AnApplicationThatHangsGivesItsWindow) {
    ASSERT_EQ(kill(app_.pid(), SIGSTOP), 0);
    EXPECT_TRUE(sameRect(answerAt(kApp.x + 50, kApp.y + 40, true), kApp.windowElement()));
    ASSERT_EQ(kill(app_.pid(), SIGCONT), 0);
    EXPECT_TRUE(sameRect(answerAt(kApp.x + 50, kApp.y + 40, true), kApp.windowElement()));
    EXPECT_TRUE(waitFor(kApp.x + 50, kApp.y + 40, kApp.first()));
}

// The accessibility bus going away (the session ending under the capture
// application) must not take the process with it.
TEST_F(AccessibleDesktop, ABusThatWentAwayGivesTheWindows) {
    bus_.stop();
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(sameRect(answerAt(kApp.x + 50, kApp.y + 40, true), kApp.windowElement()));
        EXPECT_TRUE(sameRect(answerAt(150, 550, true), edges(100, 500, 299, 649)));
    }
}

}  // namespace
