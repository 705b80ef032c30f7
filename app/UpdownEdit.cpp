#include "UpdownEdit.h"

#include <QKeyEvent>
#include <QStyle>
#include <QToolButton>

#include <algorithm>
#include <limits>

bool IsInteger(const QString& S)
{
    qsizetype first = 0;
    qsizetype last = S.size();
    while (first < last && S[first].unicode() <= 32) ++first;
    while (last > first && S[last - 1].unicode() <= 32) --last;
    const QStringView text = QStringView(S).mid(first, last - first);
    const qsizetype digitsFrom = text.startsWith(u'-') ? 1 : 0;
    if (text.size() == digitsFrom) return false;
    for (qsizetype i = digitsFrom; i < text.size(); ++i)
        if (text[i] < u'0' || text[i] > u'9') return false;
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);  // digits only, so ok fails only on overflow
    return ok && value >= std::numeric_limits<std::int32_t>::min() &&
           value <= std::numeric_limits<std::int32_t>::max();
}

// ---- TUpDown -------------------------------------------------------------------

TUpDown::TUpDown(QWidget* Parent)
    : QWidget(Parent), FUp(new QToolButton(this)), FDown(new QToolButton(this))
{
    FUp->setObjectName(QStringLiteral("UpButton"));
    FDown->setObjectName(QStringLiteral("DownButton"));
    FUp->setArrowType(Qt::UpArrow);
    FDown->setArrowType(Qt::DownArrow);
    for (QToolButton* button : {FUp, FDown}) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
    }
    QObject::connect(FUp, &QToolButton::clicked, this, [this] { Step(btNext); });
    QObject::connect(FDown, &QToolButton::clicked, this, [this] { Step(btPrev); });
}

void TUpDown::SetMin(std::int16_t Value)
{
    FMin = Value;
    SetPosition(FPosition);
}

void TUpDown::SetMax(std::int16_t Value)
{
    FMax = Value;
    SetPosition(FPosition);
}

void TUpDown::SetPosition(int Value)
{
    const int low = std::min<int>(FMin, FMax);
    const int high = std::max<int>(FMin, FMax);
    FPosition = static_cast<std::int16_t>(std::clamp(Value, low, high));
    UpdateAssociate();
}

void TUpDown::Step(TUDBtnType Button)
{
    // Widened so that a step past the 16-bit range is clamped, not wrapped.
    const long long next = static_cast<long long>(FPosition) + (Button == btNext ? FIncrement : -static_cast<long long>(FIncrement));
    SetPosition(static_cast<int>(std::clamp<long long>(next, std::numeric_limits<std::int16_t>::min(),
                                                       std::numeric_limits<std::int16_t>::max())));
    if (OnClick) OnClick(Button);
}

void TUpDown::UpdateAssociate()
{
    if (!FAssociate) return;
    const QString text = QString::number(FPosition);  // no thousands separators
    // Rewriting equal text would only move the caret.
    if (FAssociate->text() != text) FAssociate->setText(text);
}

void TUpDown::resizeEvent(QResizeEvent* Event)
{
    QWidget::resizeEvent(Event);
    const int upHeight = height() / 2;
    FUp->setGeometry(0, 0, width(), upHeight);
    FDown->setGeometry(0, upHeight, width(), height() - upHeight);
}

// ---- TUpdownEdit ---------------------------------------------------------------

TUpdownEdit::TUpdownEdit(QWidget* Parent)
    : QWidget(Parent), FEdit(new QLineEdit(this)), FUpDown(new TUpDown(this))
{
    FEdit->setObjectName(QStringLiteral("FEdit"));
    FUpDown->setObjectName(QStringLiteral("FUpDown"));
    FEdit->setGeometry(0, 0, 121, 25);
    FEdit->setMaxLength(6);
    // Only typed digits may reach the text: no paste from a menu or by dropping.
    FEdit->setContextMenuPolicy(Qt::NoContextMenu);
    FEdit->setAcceptDrops(false);
    FEdit->installEventFilter(this);

    const int spinnerWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    FUpDown->setGeometry(FEdit->width(), 0, spinnerWidth, FEdit->height());
    FUpDown->SetAssociate(FEdit);
    FUpDown->OnClick = [this](TUDBtnType Button) { UpDownClick(Button); };

    setFocusProxy(FEdit);
    resize(FEdit->width() + FUpDown->width(), FEdit->height());
}

void TUpdownEdit::SetPosition(int Value)
{
    FUpDown->SetPosition(Value);
}

void TUpdownEdit::resizeEvent(QResizeEvent* Event)
{
    QWidget::resizeEvent(Event);
    const int spinnerWidth = FUpDown->width();
    FEdit->setGeometry(0, 0, std::max(0, width() - spinnerWidth), height());
    FUpDown->setGeometry(FEdit->width(), 0, spinnerWidth, height());
}

bool TUpdownEdit::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched != FEdit) return QWidget::eventFilter(Watched, Event);
    if (Event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(Event);
        // Control chords type control characters, which the edit rejects: no
        // select-all, copy, cut, paste or undo (Shift+Insert pastes too).
        const bool controlChord = (key->modifiers() & Qt::ControlModifier) && key->key() >= Qt::Key_A &&
                                  key->key() <= Qt::Key_Z;
        if (controlChord || key->matches(QKeySequence::Paste) || key->matches(QKeySequence::Cut) ||
            key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo))
            return true;
        return EditKeyDown(key->key()) || EditKeyPress(key->text(), key->key());
    }
    if (Event->type() == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(Event);
        if (!key->isAutoRepeat()) EditKeyUp(key->key(), key->modifiers());
    }
    return QWidget::eventFilter(Watched, Event);
}

bool TUpdownEdit::EditKeyDown(int Key)
{
    switch (Key) {
    case Qt::Key_PageUp:  // a fixed 10, not Increment
        SetPosition(Position() + 10);
        return false;
    case Qt::Key_PageDown:
        SetPosition(Position() - 10);
        return false;
    case Qt::Key_Up:
        FUpDown->Step(btNext);
        return true;
    case Qt::Key_Down:
        FUpDown->Step(btPrev);
        return true;
    default:
        return false;
    }
}

bool TUpdownEdit::EditKeyPress(const QString& Typed, int Key)
{
    // Keys that type nothing (caret movement, Delete) and the dialog's own keys
    // (Enter for OK, Esc for Cancel, Tab) are not characters of this edit.
    switch (Key) {
    case Qt::Key_Return: case Qt::Key_Enter: case Qt::Key_Escape: case Qt::Key_Tab: case Qt::Key_Backtab:
    case Qt::Key_Delete:
        return false;
    case Qt::Key_Backspace:
        return false;  // accepted
    default:
        break;
    }
    if (Typed.isEmpty()) return false;
    const QChar c = Typed.front();
    if (c != u'-' && (c < u'0' || c > u'9')) return true;  // rejected, control characters included
    if (FEdit->text().isEmpty() && c == u'-') return false;
    // The whole text with c at its end, wherever the caret or selection is.
    return !IsInteger(FEdit->text() + c);
}

void TUpdownEdit::EditKeyUp(int Key, Qt::KeyboardModifiers Shift)
{
    bool ok = false;
    const qlonglong parsed = FEdit->text().trimmed().toLongLong(&ok);
    const qlonglong v = ok && IsInteger(FEdit->text()) ? parsed : 0;
    if (v >= Min() && v <= Max()) {
        SetPosition(static_cast<int>(v));
    } else if (v > Max()) {
        SetPosition(Max());
        FEdit->setCursorPosition(static_cast<int>(FEdit->text().size()));
    } else {
        // Below Min: left alone so that a number can be typed digit by digit.
        FEdit->setCursorPosition(static_cast<int>(FEdit->text().size()));
    }
    int key = Key;
    if (OnKeyUp) OnKeyUp(this, key, Shift);
}

void TUpdownEdit::UpDownClick(TUDBtnType Button)
{
    if (OnUpDownClick) OnUpDownClick(this, Button);
}
