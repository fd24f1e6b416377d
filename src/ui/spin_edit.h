#pragma once
// A numeric spin edit with the program's typing rule: the number typed is the
// field's value while the user types, even outside the range; when the field
// loses the input focus it brings its text into the range. A text that is not
// a whole number (empty, a lone sign, too many digits for an int) counts as
// the minimum. The arrows and the Up and Down keys step from the current value
// and stay inside the range.
#include <QAbstractSpinBox>

namespace tw {

class SpinEdit : public QAbstractSpinBox {
    Q_OBJECT
public:
    SpinEdit(int minimum, int maximum, int value, QWidget* parent = nullptr);

    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }

    // The number in the text (out of range while typing), or the minimum.
    int value() const;
    // Sets the text to value brought into the range; a text that already
    // says so is left alone (no change signal).
    void setValue(int value);
    // What losing the focus does: the text becomes value() within the range.
    void bringIntoRange();

    // Longest text the user may type (0: no limit).
    void setMaxLength(int characters);

    QValidator::State validate(QString& input, int& pos) const override;
    void stepBy(int steps) override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

Q_SIGNALS:
    // The text changed, by typing, stepping or setValue.
    void changed();

protected:
    StepEnabled stepEnabled() const override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int minimum_;
    int maximum_;
};

} // namespace tw
