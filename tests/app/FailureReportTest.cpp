// The failure report: its text, and that failures from handlers, signals and event handlers
// end in one box captioned with the application title while the program goes on.

#include "app/FailureReport.h"

#include "app/Application.h"
#include "tests/app/FakeDialogs.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>
#include <new>
#include <stdexcept>
#include <vector>

TEST(FailureTextTest, PeriodFollowsOnlyCharactersThatSortAfterIt) {
    const char* const cases[][2] = {
        {"Port busy", "Port busy."},
        {"code 5", "code 5."},
        {"done.", "done."},
        {"(code 2)", "(code 2)"},
        {"", ""},
        {"a,", "a,"},
        {"x/", "x/."},
        {"what?", "what?."},
        {"a-", "a-"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FailureText(QString::fromLatin1(c[0])), QString::fromLatin1(c[1])) << c[0];
}

namespace {

class FailureReportTest : public testing::Test {
protected:
    void SetUp() override { TApplication::Instance()->SetDialogs(&fake); }
    void TearDown() override { TApplication::Instance()->SetDialogs(nullptr); }

    // The reports shown since the last call, each checked for caption, icon and OK button.
    std::vector<QString> Reports() {
        std::vector<QString> texts;
        for (const TFakeDialogs::Shown& box : fake.shown) {
            EXPECT_EQ(box.caption, QStringLiteral("Vell Writer 1.0"));
            EXPECT_EQ(box.icon, TMsgIcon::Error);
            EXPECT_FALSE(box.yesNo);
            texts.push_back(box.text);
        }
        fake.shown.clear();
        return texts;
    }

    TFakeDialogs fake;
};

using Texts = std::vector<QString>;

// Throws from its event handler. (A throw from deeper inside Qt's own handling, a mouse press
// say, is caught the same way, but leaks what Qt had allocated on the way: Qt is not built to
// be unwound, which is why every handler of ours is guarded where it is connected.)
class ThrowingWidget : public QWidget {
public:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User)
            throw std::runtime_error("Lost the receiver");
        if (event->type() == QEvent::Type(QEvent::User + 1))
            throw 7;
        return QWidget::event(event);
    }
};

} // namespace

TEST_F(FailureReportTest, GuardedHandlerReportsWhatItThrowsAndTheCallerGoesOn) {
    const struct {
        std::function<void()> fail;
        const char* text;
    } cases[] = {
        {[] { throw std::runtime_error("Failed to open port"); }, "Failed to open port."},
        {[] { throw std::bad_alloc(); }, "Out of memory."},
        {[] { throw 42; }, "Unknown failure."},
    };
    for (const auto& c : cases) {
        int calls = 0;
        auto handler = Guarded([&] {
            ++calls;
            c.fail();
        });
        handler();
        handler(); // a second failure gets its own report
        EXPECT_EQ(calls, 2);
        EXPECT_EQ(Reports(), Texts(2, QString::fromLatin1(c.text)));
    }
}

TEST_F(FailureReportTest, FailureFromAConnectedSignalIsReportedAndTheLoopGoesOn) {
    QPushButton button;
    QObject::connect(&button, &QPushButton::clicked,
                     Guarded([] { throw std::runtime_error("Failed to open port"); }));
    button.click();
    EXPECT_EQ(Reports(), Texts{QStringLiteral("Failed to open port.")});

    bool fired = false;
    QTimer::singleShot(0, Guarded([&fired] {
                           fired = true;
                           throw std::runtime_error("Watchdog");
                       }));
    for (int round = 0; round < 100 && !fired; ++round)
        QCoreApplication::processEvents();
    EXPECT_EQ(Reports(), Texts{QStringLiteral("Watchdog.")});
    button.click();
    EXPECT_EQ(Reports().size(), 1u);
}

TEST_F(FailureReportTest, FailureFromAnEventHandlerIsCaughtByTheApplication) {
    ThrowingWidget widget;
    QEvent user(QEvent::User);
    QCoreApplication::sendEvent(&widget, &user);
    QEvent other(QEvent::Type(QEvent::User + 1));
    QCoreApplication::sendEvent(&widget, &other);
    EXPECT_EQ(Reports(),
              (Texts{QStringLiteral("Lost the receiver."), QStringLiteral("Unknown failure.")}));
}

// The real box opens centred over the main window, not in the middle of the screen, also when
// no window is active (no window manager hands out the focus).
TEST(DialogPlacementTest, FailureReportOpensCentredOverTheMainWindow) {
    TQtDialogs dialogs;
    TApplication::Instance()->SetDialogs(&dialogs);
    QWidget window;
    window.setGeometry(40, 40, 520, 416); // off the middle of the 800 x 600 screen
    window.show();
    QApplication::setActiveWindow(nullptr);
    QPointF centre;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        centre = QRectF(box->frameGeometry()).center();
        box->close();
    });
    TApplication::Instance()->ShowFailure("Lost");
    EXPECT_LE((centre - QRectF(window.frameGeometry()).center()).manhattanLength(), 1.0)
        << centre.x() << ", " << centre.y();
    TApplication::Instance()->SetDialogs(nullptr);
}

// The real Yes/No box: its default button, which Enter presses, is the one asked for.
TEST(DialogPlacementTest, YesNoBoxDefaultsAsAsked) {
    TQtDialogs dialogs;
    for (const TMsgDefault preset : {TMsgDefault::Yes, TMsgDefault::No}) {
        QTimer::singleShot(0, [] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            box->defaultButton()->click();
        });
        EXPECT_EQ(dialogs.AskYesNo(nullptr, QStringLiteral("Attention"), QStringLiteral("Go on?"),
                                   TMsgIcon::Warning, preset),
                  preset == TMsgDefault::Yes);
    }
}
