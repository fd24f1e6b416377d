// The numeric spin edit's typing rule, driven by key presses and focus
// changes.
#include "ui/spin_edit.h"

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace tw::test {
namespace {

// A window with the spin edit and a second control that can take the focus.
class SpinEditWindow {
public:
    SpinEditWindow(int minimum, int maximum, int value, int maxLength)
    {
        window_ = std::make_unique<QWidget>();
        spin = new SpinEdit(minimum, maximum, value, window_.get());
        spin->setMaxLength(maxLength);
        other = new QLineEdit(window_.get());
        auto* layout = new QVBoxLayout(window_.get());
        layout->addWidget(spin);
        layout->addWidget(other);
        window_->show();
        window_->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window_.get()));
        spin->setFocus();
        QApplication::processEvents();
    }

    // Replaces the text by typing, as a user does.
    void type(const QString& text)
    {
        QTest::keyClick(spin, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(spin, Qt::Key_Backspace);
        QTest::keyClicks(spin, text);
    }
    void leave() { QTest::keyClick(spin, Qt::Key_Tab); }

    SpinEdit* spin = nullptr;
    QLineEdit* other = nullptr;

private:
    std::unique_ptr<QWidget> window_;
};

TEST(SpinEdit, TypedValueCountsWhileTypingAndComesIntoRangeOnFocusLoss)
{
    struct Row {
        const char* fault;
        int minimum, maximum, maxLength;
        const char* typed;
        const char* shownWhileTyping;
        int valueWhileTyping;
        const char* textAfterLeaving;
    };
    const Row rows[] = {
        {"above the range is kept while typing", 8, 64, 3, "999", "999", 999, "64"},
        {"below the range is kept while typing", 8, 64, 3, "3", "3", 3, "8"},
        {"a value in range stays", 8, 64, 3, "20", "20", 20, "20"},
        {"an empty field counts as the minimum", 8, 64, 3, "", "", 8, "8"},
        {"a lone sign counts as the minimum", 8, 64, 3, "-", "-", 8, "8"},
        {"a negative number is a number", 0, 20, 0, "-5", "-5", -5, "0"},
        {"too many digits for an int count as the minimum", 30, 1200, 0, "99999999999", "99999999999", 30, "30"},
        {"three characters at most", 8, 64, 3, "1234", "123", 123, "64"},
        {"letters cannot be typed", 8, 64, 3, "4a5", "45", 45, "45"},
        {"a sign only at the start", 8, 64, 3, "1-2", "12", 12, "12"},
        {"zero resolution is shown as typed", 30, 1200, 0, "0", "0", 0, "30"},
    };
    for (const Row& row : rows) {
        SpinEditWindow w(row.minimum, row.maximum, row.minimum, row.maxLength);
        w.type(QString::fromLatin1(row.typed));
        EXPECT_EQ(w.spin->text().toStdString(), row.shownWhileTyping) << row.fault;
        EXPECT_EQ(w.spin->value(), row.valueWhileTyping) << row.fault;
        w.leave();
        EXPECT_TRUE(w.other->hasFocus()) << row.fault;
        EXPECT_EQ(w.spin->text().toStdString(), row.textAfterLeaving) << row.fault;
    }
}

TEST(SpinEdit, StepsStayInsideTheRange)
{
    struct Row {
        const char* fault;
        int start;
        const char* typed;  // nullptr: keep the start text
        Qt::Key key;
        int expected;
    };
    const Row rows[] = {
        {"up adds one", 10, nullptr, Qt::Key_Up, 11},
        {"down subtracts one", 10, nullptr, Qt::Key_Down, 9},
        {"up stops at the maximum", 64, nullptr, Qt::Key_Up, 64},
        {"down stops at the minimum", 8, nullptr, Qt::Key_Down, 8},
        {"page up adds ten", 10, nullptr, Qt::Key_PageUp, 20},
        {"page up stops at the maximum", 60, nullptr, Qt::Key_PageUp, 64},
        {"stepping from a typed value beyond the range lands in it", 10, "999", Qt::Key_Down, 64},
        {"stepping from an empty field starts at the minimum", 10, "", Qt::Key_Up, 9},
    };
    for (const Row& row : rows) {
        SpinEditWindow w(8, 64, row.start, 3);
        if (row.typed)
            w.type(QString::fromLatin1(row.typed));
        QTest::keyClick(w.spin, row.key);
        EXPECT_EQ(w.spin->value(), row.expected) << row.fault;
        EXPECT_EQ(w.spin->text(), QString::number(row.expected)) << row.fault;
    }
}

TEST(SpinEdit, EveryTextChangeIsReportedAndSettingTheSameValueIsNot)
{
    SpinEditWindow w(1, 999, 10, 0);
    QSignalSpy changes(w.spin, &SpinEdit::changed);
    w.type(QStringLiteral("25"));
    // Select all and Backspace empty the field, then two digits.
    EXPECT_EQ(changes.count(), 3);
    w.spin->setValue(25);
    EXPECT_EQ(changes.count(), 3);
    w.spin->setValue(5000);
    EXPECT_EQ(changes.count(), 4);
    EXPECT_EQ(w.spin->text(), "999");
    QTest::keyClick(w.spin, Qt::Key_Down);
    EXPECT_EQ(changes.count(), 5);
    EXPECT_EQ(w.spin->value(), 998);
}

} // namespace
} // namespace tw::test
