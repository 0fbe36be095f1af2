#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QPointer>
#include <QWidget>

#include <vector>

#include "platform/message.h"
#include "tdpost/ui/drawervgram.h"

namespace {

int argc = 1;
char arg0[] = "tdpost_tests";
char* argv[] = {arg0, nullptr};

// The bar as the recorder drawers see it: it counts drawer sounds, notes closing reports
// and deletes the drawer that reported, as the real bar does.
class Bar : public QWidget, public MessageReceiver {
public:
    Bar() : MessageReceiver(this) {
        setWindowFlags(Qt::FramelessWindowHint);
        setGeometry(0, 0, 800, 40);  // along the top
        show();
        OnMessage(WM_BAR_DRAWERSOUND, [this](WPARAM, LPARAM) { return LRESULT(++sounds); });
        for (UINT m : {WM_BAR_RECORDERCLOSED, WM_BAR_VOICEGRAMCLOSED, WM_BAR_MEMOCREATORCLOSED})
            OnMessage(m, [this, m](WPARAM, LPARAM) {
                reports.push_back(m);
                if (drawer)
                    drawer->deleteLater();
                return LRESULT(0);
            });
    }
    int sounds = 0;
    std::vector<UINT> reports;
    QPointer<CDrawerVGram> drawer;
    PROPERTIES props{};
};

class DrawerVGramTest : public ::testing::Test {
protected:
    void SetUp() override {
        CSlidingDrawer::SetSlideClock([this] { return now; });
    }
    void TearDown() override { CSlidingDrawer::SetSlideClock(nullptr); }
    void Pass(int64_t ms) {
        now += ms;
        if (bar.drawer)
            bar.drawer->StepSlide();
    }

    struct App {
        App() {
            if (!QApplication::instance())
                new QApplication(argc, argv);
        }
    } app;  // before the bar
    int64_t now = 0;
    Bar bar;
};

TEST_F(DrawerVGramTest, EachKindOpensBesideItsButtonAndReportsItsOwnClosing) {
    const struct {
        RECORDERDRAWERTYPE type;
        RECORDPROPERTIES* props;
        UINT templateId, closed;
        const char* title;
        int height;
    } kinds[] = {
        {RDT_RECORDER, &bar.props.RecorderProps, 149, WM_BAR_RECORDERCLOSED, "Audio Recorder", 180},
        {RDT_VOICEGRAM, &bar.props.SendVoicegramProps, 176, WM_BAR_VOICEGRAMCLOSED,
         "Send Voicegram", 220},
        {RDT_ECHOMEMO, &bar.props.CreateEchoMemoProps, 178, WM_BAR_MEMOCREATORCLOSED,
         "Create Echo Memos", 180},
    };
    const QPoint anchor(151, 20);  // centre of a task button
    bar.props.MailProps.bAOL = 1;  // a Send Voicegram drawer without mail closes at once
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.title);
        bar.reports.clear();
        bar.sounds = 0;
        bar.drawer = new CDrawerVGram(&anchor, nullptr, k.props, &bar.props.MailProps, nullptr,
                                      &bar, &bar.props.VoxProps);
        ASSERT_EQ(bar.drawer->CreateDrawer(1, k.type, 1), 1);
        EXPECT_EQ(bar.drawer->CreateDrawer(1, k.type, 1), 0) << "created once";
        EXPECT_EQ(bar.drawer->GetTemplateId(), k.templateId);
        EXPECT_EQ(bar.drawer->windowTitle(), QString::fromLatin1(k.title));
        EXPECT_EQ(bar.drawer->IsRecorderEmpty(), 1);
        EXPECT_EQ(bar.drawer->IsRecorderAvailable(), 1);
        QCoreApplication::processEvents();
        Pass(1000);
        EXPECT_EQ(bar.drawer->geometry(), QRect(151, 40, 420, k.height));

        SendMessage(bar.drawer, WM_CLOSE);
        EXPECT_TRUE(bar.reports.empty()) << "reported after the slide back";
        Pass(1000);
        EXPECT_EQ(bar.reports, std::vector<UINT>{k.closed});
        EXPECT_EQ(bar.sounds, 2);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(bar.drawer.isNull());
    }
}

TEST_F(DrawerVGramTest, AnchorIsTakenFromTheBarsClientArea) {
    bar.move(200, 0);
    const QPoint anchor(100, 20);
    bar.drawer = new CDrawerVGram(&anchor, nullptr, &bar.props.RecorderProps, &bar.props.MailProps,
                                  nullptr, &bar, &bar.props.VoxProps);
    EXPECT_EQ(bar.drawer->GetAnchor(), QPoint(300, 20));
    EXPECT_EQ(bar.drawer->CreateDrawer(1, RECORDERDRAWERTYPE(3), 1), 0);
    ASSERT_EQ(bar.drawer->CreateDrawer(1, RDT_RECORDER, 0), 1);
    EXPECT_FALSE(bar.drawer->GetToolTip()->IsActive());
    delete bar.drawer;
}

}  // namespace
