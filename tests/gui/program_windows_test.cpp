// What the program remembers from one run to the next: where each window
// stood and how large it was, and the OverView's indicator colour; all kept
// in the test process's own settings folder.
#include "gui_fixture.h"

#include "platform/qt_settings.h"
#include "workspace/overview_window.h"

#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace tw::test {
namespace {

class ProgramWindowsTest : public GuiTest {
protected:
    // The program ends and starts again: the windows go (remembering what
    // they remember) and are made anew.
    void restart()
    {
        windows_.reset();
        windows_ = std::make_unique<ProgramWindows>(*context_);
        main().show();
        QApplication::processEvents();
    }
};

TEST_F(ProgramWindowsTest, SettingsNeverTouchTheUsersOwnFiles)
{
    const QString file = ProgramSettings().fileName();
    const QString home = QDir::homePath();
    const QString realConfig = home + QStringLiteral("/.config/");
    EXPECT_FALSE(file.startsWith(realConfig)) << file.toStdString();
    EXPECT_TRUE(file.startsWith(QDir::tempPath())) << file.toStdString();
    EXPECT_TRUE(QStandardPaths::isTestModeEnabled());
}

TEST_F(ProgramWindowsTest, EveryWindowComesBackWhereItWasLeft)
{
    // Windows are found anew after the restart, by their object names.
    auto window = [this](const char* name) -> QWidget& {
        if (main().objectName() == QLatin1String(name))
            return main();
        return overview().objectName() == QLatin1String(name) ? static_cast<QWidget&>(overview())
                                                               : static_cast<QWidget&>(usage());
    };
    struct Placed {
        const char* name;
        QRect geometry;
        bool hiddenBeforeTheEnd;
    };
    const Placed placed[] = {
        {"TForm1", QRect(40, 50, 700, 520), false},
        {"TForm6", QRect(300, 200, 320, 280), false},
        {"TForm8", QRect(120, 90, 650, 470), true},
    };
    for (const Placed& p : placed) {
        window(p.name).show();
        window(p.name).setGeometry(p.geometry);
    }
    for (const Placed& p : placed)
        if (p.hiddenBeforeTheEnd)
            window(p.name).hide();
    QApplication::processEvents();

    restart();
    for (const Placed& p : placed)
        EXPECT_EQ(window(p.name).geometry(), p.geometry) << p.name;
}

TEST_F(ProgramWindowsTest, AWindowNeverShownKeepsItsFirstPlace)
{
    const QRect first = usage().geometry();
    restart();
    EXPECT_EQ(usage().geometry(), first);
    EXPECT_FALSE(ProgramSettings().contains(WindowPlaces::settingsKey(QStringLiteral("TForm8"))));
}

TEST_F(ProgramWindowsTest, AnyNamedWindowMadeAfterThePlacesIsCovered)
{
    // What a window that another part of the program adds gets without any
    // work of its own; windows that existed before, and unnamed ones, are
    // left alone.
    QWidget before;
    before.setObjectName(QStringLiteral("Before"));
    const QRect where(60, 70, 300, 200);
    {
        WindowPlaces places;
        QWidget added;
        added.setObjectName(QStringLiteral("TForm99"));
        QWidget unnamed;
        places.adopt();
        for (QWidget* w : {&before, &added, &unnamed}) {
            w->show();
            w->setGeometry(where);
            w->hide();
        }
    }
    ProgramSettings settings;
    EXPECT_TRUE(settings.contains(WindowPlaces::settingsKey(QStringLiteral("TForm99"))));
    EXPECT_FALSE(settings.contains(WindowPlaces::settingsKey(QStringLiteral("Before"))));
    EXPECT_EQ(settings.allKeys().filter(QStringLiteral("windows//")).size(), 0);

    WindowPlaces places;
    QWidget again;
    again.setObjectName(QStringLiteral("TForm99"));
    places.adopt();
    EXPECT_EQ(again.geometry(), where);
}

TEST_F(ProgramWindowsTest, IndicatorColourIsRememberedAcrossRuns)
{
    EXPECT_EQ(overview().indicatorColor(), QColor(Qt::black));
    QTest::mouseClick(button("sboverview"), Qt::LeftButton);
    platform_.colorAnswers.push_back(QColor(200, 30, 40));
    QTest::mouseClick(child<QPushButton>(overview(), "Button1"), Qt::LeftButton);
    ASSERT_EQ(overview().indicatorColor(), QColor(200, 30, 40));

    restart();
    EXPECT_EQ(overview().indicatorColor(), QColor(200, 30, 40));
}

TEST_F(ProgramWindowsTest, ACancelledColourDialogChangesNothingRemembered)
{
    QTest::mouseClick(button("sboverview"), Qt::LeftButton);
    platform_.colorAnswers.push_back(std::nullopt);
    QTest::mouseClick(child<QPushButton>(overview(), "Button1"), Qt::LeftButton);
    restart();
    EXPECT_EQ(overview().indicatorColor(), QColor(Qt::black));
}

TEST_F(ProgramWindowsTest, AnUnreadableRememberedColourIsIgnored)
{
    for (const char* stored : {"nonsense", "", "#12345"}) {
        ProgramSettings().setValue(QStringLiteral("overview/indicatorColor"), QString::fromLatin1(stored));
        restart();
        EXPECT_EQ(overview().indicatorColor(), QColor(Qt::black)) << "stored: " << stored;
    }
}

} // namespace
} // namespace tw::test
