// The application-bar protocol as the virtual shell answers it, and the reading of the
// desktop settings the X11 shell takes the animation switch from.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>

#include <vector>

#include "platform/desktop/appbar_virtual.h"
#include "platform/desktop/appbar_x11.h"
#include "platform/message.h"

namespace {

int argc = 1;
char arg0[] = "platform_tests";
char* argv[] = {arg0, nullptr};

class Bar : public QObject, public MessageReceiver {
public:
    explicit Bar(UINT callback) : MessageReceiver(this) {
        OnMessage(callback, [this](WPARAM w, LPARAM l) {
            heard.emplace_back(w, l);
            return LRESULT(0);
        });
    }
    std::vector<std::pair<WPARAM, LPARAM>> heard;
};

TEST(AppBarShell, RegistrationAutoHideAndNotifications) {
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
    const UINT callback = RegisterWindowMessage("AppBarNotify");
    EXPECT_GE(callback, 0xC000u);
    EXPECT_EQ(RegisterWindowMessage("AppBarNotify"), callback);
    EXPECT_NE(RegisterWindowMessage("SomethingElse"), callback);

    VirtualAppBarShell shell;
    Bar a(callback), b(callback);
    APPBARDATA abd{sizeof abd, &a, callback};
    EXPECT_EQ(shell.Message(ABM_SETPOS, &abd), 0u) << "not registered yet";
    EXPECT_EQ(shell.Message(ABM_NEW, &abd), 1u);
    EXPECT_EQ(shell.Message(ABM_NEW, &abd), 0u) << "registered once only";
    APPBARDATA abdB{sizeof abdB, &b, callback};
    ASSERT_EQ(shell.Message(ABM_NEW, &abdB), 1u);

    abd.uEdge = ABE_TOP;
    abd.lParam = 1;
    EXPECT_EQ(shell.Message(ABM_SETAUTOHIDEBAR, &abd), 1u);
    EXPECT_EQ(shell.Message(ABM_SETAUTOHIDEBAR, &abd), 1u) << "again by the holder";
    abdB.uEdge = ABE_TOP;
    abdB.lParam = 1;
    EXPECT_EQ(shell.Message(ABM_SETAUTOHIDEBAR, &abdB), 0u);
    abdB.lParam = 0;
    EXPECT_EQ(shell.Message(ABM_SETAUTOHIDEBAR, &abdB), 0u) << "cannot free another's edge";
    EXPECT_EQ(shell.Message(ABM_GETAUTOHIDEBAR, &abdB), reinterpret_cast<uintptr_t>(&a));
    abd.uEdge = 7;
    EXPECT_EQ(shell.Message(ABM_SETAUTOHIDEBAR, &abd), 0u) << "no such edge";

    // Reserving a strip tells the other bar; the taskbar moving tells both.
    abd.uEdge = ABE_LEFT;
    abd.rc = RECT{0, 0, 50, 768};
    shell.Message(ABM_SETPOS, &abd);
    shell.SetTaskbarState(ABS_AUTOHIDE);
    shell.ArrangeWindows(true);
    QCoreApplication::processEvents();
    const std::vector<std::pair<WPARAM, LPARAM>> expectB{
        {ABN_POSCHANGED, 0}, {ABN_STATECHANGE, 0}, {ABN_POSCHANGED, 0}, {ABN_WINDOWARRANGE, 1}};
    EXPECT_EQ(b.heard, expectB);
    EXPECT_EQ(a.heard.size(), 3u) << "not told of its own strip";

    abd.uEdge = ABE_BOTTOM;
    EXPECT_EQ(shell.Message(ABM_GETAUTOHIDEBAR, &abd), shell.TaskbarHandle());
    EXPECT_EQ(shell.Message(ABM_GETTASKBARPOS, &abd), 1u);
    EXPECT_EQ(abd.uEdge, ABE_BOTTOM);
    EXPECT_EQ(abd.rc.top, 740);

    abd.uEdge = ABE_TOP;
    EXPECT_EQ(shell.Message(ABM_REMOVE, &abd), 1u);
    EXPECT_EQ(shell.Message(ABM_GETAUTOHIDEBAR, &abd), 0u) << "removal frees the edge";
    EXPECT_EQ(shell.WorkArea().left, 0);
}

// Bars on one edge stack in the order they registered: a bar yields to those registered
// before it, never to one registered after it.
TEST(AppBarShell, ABarYieldsOnlyToBarsRegisteredBeforeIt) {
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
    const UINT callback = RegisterWindowMessage("AppBarNotify");
    VirtualAppBarShell shell;
    Bar a(callback), b(callback);
    APPBARDATA first{sizeof first, &a, callback};
    APPBARDATA second{sizeof second, &b, callback};
    ASSERT_EQ(shell.Message(ABM_NEW, &first), 1u);
    ASSERT_EQ(shell.Message(ABM_NEW, &second), 1u);
    first.uEdge = second.uEdge = ABE_LEFT;
    first.rc = RECT{0, 0, 50, 700};
    ASSERT_EQ(shell.Message(ABM_SETPOS, &first), 1u);
    EXPECT_EQ(first.rc.left, 0);
    EXPECT_EQ(first.rc.right, 50);
    // As a bar does: ask where the strip may go, keep its own width from there, set it.
    second.rc = RECT{0, 0, 40, 700};
    ASSERT_EQ(shell.Message(ABM_QUERYPOS, &second), 1u);
    EXPECT_EQ(second.rc.left, 50) << "the later bar stands inside the earlier one";
    second.rc.right = second.rc.left + 40;
    ASSERT_EQ(shell.Message(ABM_SETPOS, &second), 1u);
    EXPECT_EQ(second.rc.left, 50);
    EXPECT_EQ(second.rc.right, 90);
    // The earlier bar asks again: it keeps the edge.
    first.rc = RECT{0, 0, 50, 700};
    ASSERT_EQ(shell.Message(ABM_QUERYPOS, &first), 1u);
    EXPECT_EQ(first.rc.left, 0);
    EXPECT_EQ(first.rc.right, 50);
    ASSERT_EQ(shell.Message(ABM_SETPOS, &first), 1u);
    EXPECT_EQ(first.rc.left, 0);
    EXPECT_EQ(shell.WorkArea().left, 90);
}

// Builds an XSETTINGS blob (little-endian) with one integer setting.
std::vector<uint8_t> Blob(const std::string& name, uint32_t value) {
    std::vector<uint8_t> b = {0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};  // order, serial, count
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b.push_back(uint8_t(v >> (8 * i)));
    };
    for (uint8_t byte : {uint8_t(0), uint8_t(0), uint8_t(name.size()), uint8_t(name.size() >> 8)})
        b.push_back(byte);
    for (char c : name)
        b.push_back(uint8_t(c));
    while (b.size() % 4)
        b.push_back(0);
    put32(0);  // serial
    put32(value);
    return b;
}

TEST(AppBarShell, DesktopAnimationSwitchIsReadWithinItsBounds) {
    std::vector<uint8_t> off = Blob("Gtk/EnableAnimations", 0);
    EXPECT_FALSE(XSettingsAnimationsEnabled(off.data(), off.size()));
    std::vector<uint8_t> on = Blob("Gtk/EnableAnimations", 1);
    EXPECT_TRUE(XSettingsAnimationsEnabled(on.data(), on.size()));
    std::vector<uint8_t> other = Blob("Net/DoubleClickTime", 0);
    EXPECT_TRUE(XSettingsAnimationsEnabled(other.data(), other.size()));

    // Cut short anywhere, or claiming more settings or a longer name than it holds,
    // the blob reads as "no setting" rather than past its end.
    for (size_t n = 0; n < off.size(); ++n)
        EXPECT_TRUE(XSettingsAnimationsEnabled(off.data(), n)) << "cut at " << n;
    off[8] = 200;
    off[14] = 0xFF;
    off[15] = 0xFF;
    EXPECT_TRUE(XSettingsAnimationsEnabled(off.data(), off.size()));
}

}  // namespace
