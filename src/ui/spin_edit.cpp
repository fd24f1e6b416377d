#include "ui/spin_edit.h"

#include <QFocusEvent>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionSpinBox>

#include <algorithm>

namespace tw {

SpinEdit::SpinEdit(int minimum, int maximum, int value, QWidget* parent)
    : QAbstractSpinBox(parent), minimum_(minimum), maximum_(std::max(minimum, maximum))
{
    // The field never corrects a text on its own except on focus loss.
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setAccelerated(false);
    lineEdit()->setText(QString::number(std::clamp(value, minimum_, maximum_)));
    connect(lineEdit(), &QLineEdit::textChanged, this, [this] { Q_EMIT changed(); });
}

int SpinEdit::value() const
{
    bool ok = false;
    const int typed = lineEdit()->text().trimmed().toInt(&ok);
    return ok ? typed : minimum_;
}

void SpinEdit::setValue(int value)
{
    const QString text = QString::number(std::clamp(value, minimum_, maximum_));
    if (lineEdit()->text() != text)
        lineEdit()->setText(text);
}

void SpinEdit::bringIntoRange() { setValue(value()); }

void SpinEdit::setMaxLength(int characters)
{
    lineEdit()->setMaxLength(characters > 0 ? characters : 32767);
    updateGeometry();
}

QValidator::State SpinEdit::validate(QString& input, int&) const
{
    // Digits with an optional leading sign; anything else cannot be typed.
    for (qsizetype i = 0; i < input.size(); ++i) {
        const QChar c = input.at(i);
        if (c.isDigit() && c.unicode() < 128)
            continue;
        if (i == 0 && (c == QLatin1Char('-') || c == QLatin1Char('+')))
            continue;
        return QValidator::Invalid;
    }
    return QValidator::Acceptable;
}

void SpinEdit::stepBy(int steps)
{
    const long long next = static_cast<long long>(value()) + steps;
    setValue(static_cast<int>(std::clamp<long long>(next, minimum_, maximum_)));
    lineEdit()->selectAll();
}

QAbstractSpinBox::StepEnabled SpinEdit::stepEnabled() const
{
    if (isReadOnly())
        return StepNone;
    const int v = value();
    StepEnabled enabled = StepNone;
    if (v < maximum_)
        enabled |= StepUpEnabled;
    if (v > minimum_)
        enabled |= StepDownEnabled;
    return enabled;
}

void SpinEdit::focusOutEvent(QFocusEvent* event)
{
    QAbstractSpinBox::focusOutEvent(event);
    bringIntoRange();
}

QSize SpinEdit::sizeHint() const
{
    ensurePolished();
    const QFontMetrics metrics(font());
    // Room for the widest text the range or the length limit allows.
    const int limit = lineEdit()->maxLength();
    int digits = static_cast<int>(std::max(QString::number(minimum_).size(), QString::number(maximum_).size()));
    if (limit > 0 && limit < 12)
        digits = limit;
    const int textWidth = metrics.horizontalAdvance(QString(digits, QLatin1Char('8'))) + 6;
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    const QSize content(textWidth, lineEdit()->sizeHint().height());
    return style()->sizeFromContents(QStyle::CT_SpinBox, &option, content, this);
}

} // namespace tw
