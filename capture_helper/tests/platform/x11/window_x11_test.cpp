// getWndByMouse through the library's export on a real X server of the test's
// own (Xvfb): windows of another process at known places, one of this process
// over them, and the cursor moved onto each with the XTest extension.

#include <gtest/gtest.h>

// Before Xlib, whose macros would rewrite Qt's names.
#include <QRect>

#include "dorvane/DorvaneWindow.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "platform/x11/x_server.h"

// Qt's rectangle by its edges in failure messages.
void PrintTo(const QRect& rect, std::ostream* out) {
    *out << "QRect(" << rect.left() << ", " << rect.top() << ", " << rect.width() << " x " << rect.height() << ")";
}

namespace {

using dorvane::testing::WindowOwner;
using dorvane::testing::XServer;

// The other process's windows, bottom of the stack first (each is created
// above the ones before it); a child belongs to the last window before it
// that is not one.
const std::vector<std::string> kOwnedWindows = {
    "100,100,200,150,plain",                // below this process's own window
    "400,100,300,300,plain",                // below the click-through one
    "100,450,200,150,plain",                // below the unmapped one
    "800,450,200,150,plain",                // with two children
    "50,40,60,30,child",                    //   at 850,490
    "80,40,60,30,child",                    //   at 880,490, above the first
    "-3,700,200,100,plain",                 // left edge off the screen
    "800,100,200,200,plain,CabinetWClass",  // a folder window's class
    "450,150,200,200,clickthrough",         // over the second
    "150,480,100,80,unmapped",              // over the third
    "600,300,150,150,plain",                // over the second's corner
};

// Qt's rectangle with these edges, right and bottom just outside.
QRect edges(int left, int top, int right, int bottom) {
    QRect rect;
    rect.setCoords(left, top, right - 1, bottom - 1);
    return rect;
}

// Where the cursor is made to go on the display `display`; then the answer.
QRect answerAt(Display* display, int x, int y, bool deep, double scale) {
    XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
    XSync(display, False);
    QRect rect(1, 2, 3, 4);
    EXPECT_TRUE(getWndByMouse(&rect, scale, deep));
    return rect;
}

class X11Desktop : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server_ = new XServer;
        owner_ = new WindowOwner;
        if (!server_->start()) {
            setUpError_ = server_->error();
            return;
        }
        setenv("DISPLAY", server_->name().c_str(), 1);
        display_ = XOpenDisplay(server_->name().c_str());
        if (display_ == nullptr) {
            setUpError_ = "cannot open " + server_->name();
            return;
        }
        if (!owner_->start(kOwnedWindows)) {
            setUpError_ = "the window owner did not get ready";
            return;
        }
        // This process's own window, over the other's first one.
        const Window own = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 120, 120, 100, 80, 0, 0,
                                               BlackPixel(display_, DefaultScreen(display_)));
        XMapRaised(display_, own);
        XSync(display_, False);
    }

    static void TearDownTestSuite() {
        if (display_ != nullptr) XCloseDisplay(display_);
        display_ = nullptr;
        delete owner_;
        delete server_;
        owner_ = nullptr;
        server_ = nullptr;
        unsetenv("DISPLAY");
    }

    void SetUp() override {
        if (!setUpError_.empty()) GTEST_FAIL() << setUpError_;
    }

    static XServer* server_;
    static WindowOwner* owner_;
    static Display* display_;
    static std::string setUpError_;
};

XServer* X11Desktop::server_ = nullptr;
WindowOwner* X11Desktop::owner_ = nullptr;
Display* X11Desktop::display_ = nullptr;
std::string X11Desktop::setUpError_;

TEST_F(X11Desktop, AnswersTheWindowUnderTheCursor) {
    struct Case {
        const char* what;
        int x, y;
        bool deep;
        double scale;
        QRect expected;
    };
    // Deep answers come from the window's own accessible object, whose
    // location ends on the last pixel (as on Windows): one narrower and lower.
    const Case cases[] = {
        {"a plain window", 820, 470, false, 1.0, edges(800, 450, 1000, 600)},
        {"the upper of two windows", 650, 350, false, 1.0, edges(600, 300, 750, 450)},
        {"below this process's window", 150, 150, false, 1.0, edges(100, 100, 300, 250)},
        {"below a click-through window", 500, 200, false, 1.0, edges(400, 100, 700, 400)},
        {"below an unmapped window", 180, 500, false, 1.0, edges(100, 450, 300, 600)},
        {"only the root", 1200, 1000, false, 1.0, QRect()},
        {"the top-level window over a child", 860, 500, false, 1.0, edges(800, 450, 1000, 600)},
        {"deep: a child window", 860, 500, true, 1.0, edges(850, 490, 909, 519)},
        {"deep: the upper of two children", 890, 500, true, 1.0, edges(880, 490, 939, 519)},
        {"deep: beside the children", 820, 470, true, 1.0, edges(800, 450, 999, 599)},
        {"deep: below a click-through window", 500, 200, true, 1.0, edges(400, 100, 699, 399)},
        {"deep: below this process's window", 150, 150, true, 1.0, edges(100, 100, 299, 249)},
        {"deep: only the root", 1200, 1000, true, 1.0, QRect()},
        {"scale 2", 150, 150, false, 2.0, edges(50, 50, 150, 125)},
        {"scale 2, a left edge of -3", 10, 720, false, 2.0, edges(-1, 350, 98, 400)},
        // No accessible children to place it by.
        {"a folder window's class", 850, 150, false, 1.0, edges(1000000, 1000000, 0, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(answerAt(display_, c.x, c.y, c.deep, c.scale), c.expected);
    }
}

// The demonstration program, a process of its own, prints both answers for
// where the mouse is.
TEST_F(X11Desktop, TheDemonstrationPrintsTheRectanglesUnderTheMouse) {
    XTestFakeMotionEvent(display_, -1, 820, 470, CurrentTime);
    XSync(display_, False);
    const std::string command = std::string("\"") + DORVANE_DEMO_PROGRAM + "\" mouse --once";
    std::FILE* output = popen(command.c_str(), "r");
    ASSERT_NE(output, nullptr);
    std::string printed;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, output) != nullptr) printed += buffer;
    EXPECT_EQ(pclose(output), 0);
    EXPECT_NE(printed.find("top-level (800, 450) 200 x 150"), std::string::npos) << printed;
    EXPECT_NE(printed.find("deep (800, 450) 199 x 149"), std::string::npos) << printed;
}

// A window of this process's connection that claims the other process in
// _NET_WM_PID counts as the other's; each answer sees it as it is now.
TEST_F(X11Desktop, FollowsAWindowAsItMovesAndGoes) {
    const Window window = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 1000, 700, 100, 100, 0, 0,
                                              BlackPixel(display_, DefaultScreen(display_)));
    const unsigned long pid = static_cast<unsigned long>(owner_->pid());
    XChangeProperty(display_, window, XInternAtom(display_, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    XMapRaised(display_, window);
    XSync(display_, False);
    EXPECT_EQ(answerAt(display_, 1050, 750, false, 1.0), edges(1000, 700, 1100, 800));

    XMoveWindow(display_, window, 1100, 800);
    XSync(display_, False);
    EXPECT_EQ(answerAt(display_, 1050, 750, false, 1.0), QRect());
    EXPECT_EQ(answerAt(display_, 1150, 850, false, 1.0), edges(1100, 800, 1200, 900));

    XUnmapWindow(display_, window);
    XSync(display_, False);
    EXPECT_EQ(answerAt(display_, 1150, 850, false, 1.0), QRect());

    XMapRaised(display_, window);
    XSync(display_, False);
    EXPECT_EQ(answerAt(display_, 1150, 850, true, 1.0), edges(1100, 800, 1199, 899));
    XDestroyWindow(display_, window);
    XSync(display_, False);
    EXPECT_EQ(answerAt(display_, 1150, 850, true, 1.0), QRect());
}

// A window manager's frame around a client: the test plays the manager,
// framing a client that claims the other process. The frame (made by this
// process) stands for the window, with the client's owner, and its rectangle
// takes in the decorations; deep goes down into the client. Rectangles take
// in the borders (3 pixels around the frame, 2 around the client).
TEST_F(X11Desktop, TakesAFrameForItsClient) {
    const Window root = DefaultRootWindow(display_);
    const unsigned long black = BlackPixel(display_, DefaultScreen(display_));
    const Window frame = XCreateSimpleWindow(display_, root, 1000, 100, 150, 150, 3, 0, black);
    const Window client = XCreateSimpleWindow(display_, frame, 5, 20, 140, 125, 2, 0, black);
    const unsigned long pid = static_cast<unsigned long>(owner_->pid());
    XChangeProperty(display_, client, XInternAtom(display_, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    const Atom wmState = XInternAtom(display_, "WM_STATE", False);
    const unsigned long normalState[2] = {NormalState, 0};
    XChangeProperty(display_, client, wmState, wmState, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(normalState), 2);
    XMapWindow(display_, client);
    XMapRaised(display_, frame);
    XSync(display_, False);

    struct Case {
        const char* what;
        int x, y;
        bool deep;
        QRect expected;
    };
    const Case cases[] = {
        {"on the decoration", 1050, 110, false, edges(1000, 100, 1156, 256)},
        {"on the frame's border", 1001, 101, false, edges(1000, 100, 1156, 256)},
        {"on the client", 1050, 150, false, edges(1000, 100, 1156, 256)},
        {"deep: on the decoration", 1050, 110, true, edges(1000, 100, 1155, 255)},
        {"deep: on the client's border", 1009, 124, true, edges(1008, 123, 1151, 251)},
        {"deep: on the client", 1050, 150, true, edges(1008, 123, 1151, 251)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(answerAt(display_, c.x, c.y, c.deep, 1.0), c.expected);
    }
    XDestroyWindow(display_, frame);
    XSync(display_, False);
}

// Without an X server (DISPLAY unset, as in a Wayland session without
// XWayland, or the server gone) there is no cursor to read.
TEST(X11NoDisplay, AnswersTheEmptyRectangle) {
    XServer server;
    ASSERT_TRUE(server.start()) << server.error();
    setenv("DISPLAY", server.name().c_str(), 1);
    Display* display = XOpenDisplay(server.name().c_str());
    ASSERT_NE(display, nullptr);
    WindowOwner owner;
    ASSERT_TRUE(owner.start({"100,100,200,150,plain"}));
    EXPECT_EQ(answerAt(display, 150, 150, false, 1.0), edges(100, 100, 300, 250));
    XCloseDisplay(display);

    struct Case {
        const char* what;
        const char* display;  // null: unset
    };
    const Case cases[] = {
        {"the server gone", nullptr},
        {"DISPLAY unset", nullptr},
        {"DISPLAY empty", ""},
        {"no server there", ":65000"},
    };
    bool first = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (first) {
            // The library's connection to it is still open.
            owner.stop();
            server.stop();
            first = false;
        } else if (c.display == nullptr) {
            unsetenv("DISPLAY");
        } else {
            setenv("DISPLAY", c.display, 1);
        }
        for (bool deep : {false, true}) {
            QRect rect(1, 2, 3, 4);
            EXPECT_TRUE(getWndByMouse(&rect, 1.0, deep));
            EXPECT_EQ(rect, QRect());
        }
    }
    unsetenv("DISPLAY");
}

}  // namespace
